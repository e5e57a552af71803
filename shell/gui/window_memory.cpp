// ProgramWindows' settings between runs, kept apart from building the windows.
#include <QLineEdit>

#include <array>
#include <filesystem>
#include <utility>

#include "filemanager/gui/file_browser.h"
#include "filemanager/gui/file_list.h"
#include "shell/appstate.h"
#include "shell/gui/form_main.h"
#include "shell/gui/program_windows.h"
#include "shell/profile.h"
#include "shell/window_settings.h"
#include "voicefile/gui/form_convdialog.h"

namespace murrel {

namespace {

constexpr std::array<std::pair<ViewStyle, const char*>, 4> kStyleNames{{
    {ViewStyle::Icon, "icon"},
    {ViewStyle::SmallIcon, "smallicon"},
    {ViewStyle::List, "list"},
    {ViewStyle::Report, "report"},
}};

}  // namespace

void ProgramWindows::restore_settings() {
    const WindowSettings s = read_window_settings(ProfileFile(app().ini_path));
    if (s.normal) {
        main->restore_geometry(QRect(s.normal->x, s.normal->y, s.normal->width, s.normal->height), s.maximised);
    } else if (s.maximised) {
        main->restore_geometry(main->geometry(), true);
    }
    if (s.tree_width) main->set_tree_width(*s.tree_width);
    TFileList& list = *main->browser().file_mycomputer;
    for (const auto& [style, name] : kStyleNames)
        if (s.list_style == name) list.setViewStyle(style);
    if (!s.columns.empty()) list.setColumnWidths(s.columns);
    if (s.convert_mode) convdialog->set_codec_type(*s.convert_mode);
    std::error_code ec;
    // A folder of a recorder that is not plugged in today: the dialog keeps
    // the data folder it starts at.
    if (!s.convert_folder.empty() && std::filesystem::is_directory(s.convert_folder, ec))
        convdialog->edit_outdirectory->setText(QString::fromStdString(s.convert_folder));
}

void ProgramWindows::save_settings() const {
    WindowSettings s;
    const QRect normal = main->normal_geometry();
    s.normal = WindowRect{normal.x(), normal.y(), normal.width(), normal.height()};
    s.maximised = main->maximised();
    s.tree_width = main->tree_width();
    const TFileList& list = *main->browser().file_mycomputer;
    for (const auto& [style, name] : kStyleNames)
        if (list.viewStyle() == style) s.list_style = name;
    s.columns = list.columnWidths();
    s.convert_mode = convdialog->codec_type();
    s.convert_folder = convdialog->edit_outdirectory->text().toStdString();
    ProfileFile ini(app().ini_path);
    write_window_settings(ini, s);
}

}  // namespace murrel
