#include "shell/window_settings.h"

#include <sstream>

#include "shell/profile.h"

namespace murrel {

namespace {

// Wider than any screen one window could sit on, and far from overflow.
constexpr int kLargest = 100000;

std::optional<int> in_range(const ProfileFile& ini, const char* key, int low, int high) {
    const auto value = parse_int32(ini.read_string(kWindowSection, key));
    if (!value || *value < low || *value > high) return std::nullopt;
    return *value;
}

std::vector<int> parse_widths(const std::string& text) {
    std::vector<int> widths;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto width = parse_int32(item);
        if (!width || *width < 0 || *width > kLargest) return {};
        widths.push_back(*width);
    }
    return widths;
}

std::string optional_text(const std::optional<int>& value) {
    return value ? std::to_string(*value) : std::string();
}

}  // namespace

WindowSettings read_window_settings(const ProfileFile& ini) {
    WindowSettings s;
    const auto x = in_range(ini, "Left", -kLargest, kLargest), y = in_range(ini, "Top", -kLargest, kLargest);
    const auto w = in_range(ini, "Width", 1, kLargest), h = in_range(ini, "Height", 1, kLargest);
    if (x && y && w && h) s.normal = WindowRect{*x, *y, *w, *h};
    s.maximised = ini.read_bool(kWindowSection, "Maximized", false);
    s.tree_width = in_range(ini, "Tree_width", 0, kLargest);
    const std::string style = ini.read_string(kWindowSection, "List_style");
    if (style == "icon" || style == "smallicon" || style == "list" || style == "report") s.list_style = style;
    s.columns = parse_widths(ini.read_string(kWindowSection, "Columns"));
    s.convert_mode = in_range(ini, "Convert_mode", 5, 7);
    s.convert_folder = ini.read_string(kWindowSection, "Convert_folder");
    return s;
}

void write_window_settings(ProfileFile& ini, const WindowSettings& s) {
    ini.defer_writes();
    // Without a place the four keys are written empty.
    const WindowRect r = s.normal.value_or(WindowRect{});
    auto place = [&s](int value) { return s.normal ? std::to_string(value) : std::string(); };
    ini.write_string(kWindowSection, "Left", place(r.x));
    ini.write_string(kWindowSection, "Top", place(r.y));
    ini.write_string(kWindowSection, "Width", place(r.width));
    ini.write_string(kWindowSection, "Height", place(r.height));
    ini.write_bool(kWindowSection, "Maximized", s.maximised);
    ini.write_string(kWindowSection, "Tree_width", optional_text(s.tree_width));
    ini.write_string(kWindowSection, "List_style", s.list_style);
    std::string columns;
    for (const int width : s.columns) columns += (columns.empty() ? "" : ",") + std::to_string(width);
    ini.write_string(kWindowSection, "Columns", columns);
    ini.write_string(kWindowSection, "Convert_mode", optional_text(s.convert_mode));
    ini.write_string(kWindowSection, "Convert_folder", s.convert_folder);
    ini.flush();
}

}  // namespace murrel
