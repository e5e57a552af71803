#include "filemanager/popup_menu.h"

#include <QString>

namespace murrel {

int popup_kind(int selected_count, const std::string& single_caption, bool player_open) {
    if (selected_count >= 2) return 0;
    if (selected_count <= 0) return 4;
    const QString name = QString::fromStdString(single_caption).toUpper();
    const bool audio = name.endsWith(QLatin1String(".WAV")) || name.endsWith(QLatin1String(".VKD"));
    if (audio) return player_open ? 3 : 2;
    return player_open ? 4 : 1;
}

PopupItems popup_items(int kind, bool paste_available, bool list_not_empty, PopupItems current) {
    PopupItems p = current;
    p.paste = paste_available;
    auto set = [&p](bool open, bool convert, bool edit, bool mail, bool copy, bool select_all,
                    bool erase, bool attribute, bool rename, bool refresh) {
        p.open = open;
        p.convert = convert;
        p.edit = edit;
        p.mail = mail;
        p.copy = copy;
        p.select_all = select_all;
        p.erase = erase;
        p.attribute = attribute;
        p.rename = rename;
        p.refresh = refresh;
    };
    switch (kind) {
    case 0: set(false, true, true, true, true, true, true, true, false, true); break;
    case 1: set(true, false, false, true, true, true, true, true, true, true); break;
    case 2: set(true, true, true, true, true, true, true, true, true, true); break;
    case 3: set(false, false, false, false, false, true, false, false, false, false); break;
    case 4: set(false, false, false, false, false, list_not_empty, false, false, false, true); break;
    default: break;
    }
    return p;
}

}  // namespace murrel
