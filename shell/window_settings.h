#pragma once
// What the windows remember between runs, in a section of the program's INI
// file of our own ("[Window]"), beside the keys the program has always kept.
// Only plain values live here; the windows apply them (and check them against
// the screens there are now) themselves.
#include <optional>
#include <string>
#include <vector>

namespace murrel {

class ProfileFile;

inline constexpr const char* kWindowSection = "Window";

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WindowRect&) const = default;
};

struct WindowSettings {
    // The main window's place when it is not maximised.
    std::optional<WindowRect> normal;
    bool maximised = false;
    // Width of the folder tree left of the splitter; unset keeps the layout's.
    std::optional<int> tree_width;
    // "icon", "smallicon", "list" or "report"; empty keeps the default.
    std::string list_style;
    // Widths of the list's detail columns right of the name, left to right;
    // 0 for a column that fits its contents.
    std::vector<int> columns;
    // The conversion dialog's last recording mode (5 SP, 6 HQ, 7 SHQ) and
    // output folder. The overwrite box is left out on purpose: it is cleared
    // after every batch so that no run replaces files by a setting from
    // another day.
    std::optional<int> convert_mode;
    std::string convert_folder;

    bool operator==(const WindowSettings&) const = default;
};

// Values that are missing or make no sense (a negative width, a mode that
// does not exist, a column list with garbage) read as unset, each on its own.
WindowSettings read_window_settings(const ProfileFile& ini);

// Writes every key of the section at once; unset values remove nothing but
// are written empty. Throws ProfileWriteError.
void write_window_settings(ProfileFile& ini, const WindowSettings& settings);

}  // namespace murrel
