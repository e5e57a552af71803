#include "ui/charset.h"

#include <QWidget>

namespace murrel::ui {

QFontDatabase::WritingSystem writing_system_of(int charset_byte) {
    switch (charset_byte) {
    case 128: return QFontDatabase::Japanese;
    case 129:
    case 130: return QFontDatabase::Korean;
    case 134: return QFontDatabase::SimplifiedChinese;
    case 136: return QFontDatabase::TraditionalChinese;
    case 161: return QFontDatabase::Greek;
    case 162:
    case 186:
    case 238: return QFontDatabase::Latin;
    case 163: return QFontDatabase::Vietnamese;
    case 177: return QFontDatabase::Hebrew;
    case 178: return QFontDatabase::Arabic;
    case 204: return QFontDatabase::Cyrillic;
    case 222: return QFontDatabase::Thai;
    default: return QFontDatabase::Any;
    }
}

void apply_charset(QWidget* widget, int charset) {
    if (!widget) return;
    const int byte = charset & 0xff;
    widget->setProperty("charset", byte);
    const QFontDatabase::WritingSystem ws = writing_system_of(byte);
    if (ws == QFontDatabase::Any) return;
    QFont font = widget->font();
    if (QFontDatabase::writingSystems(font.family()).contains(ws)) return;
    const QStringList families = QFontDatabase::families(ws);
    if (families.isEmpty()) return;
    font.setFamilies({families.first(), font.family()});
    widget->setFont(font);
}

}  // namespace murrel::ui
