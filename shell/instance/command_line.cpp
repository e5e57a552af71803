#include "shell/instance/command_line.h"

#include <string_view>

namespace murrel {

namespace {
// "--name=value" or "--name value": the value, and whether one was there.
bool take_value(const std::vector<std::string>& args, size_t& i, std::string_view name, std::string& value,
                std::string& error) {
    const std::string& a = args[i];
    if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
        value = a.substr(name.size() + 1);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    } else {
        error = std::string(name) + " needs a file";
        return false;
    }
    if (value.empty()) {
        error = std::string(name) + " needs a file";
        return false;
    }
    return true;
}

bool is_option(const std::string& a, std::string_view name) {
    return a == name || (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=');
}
}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine c;
    bool edit_given = false;
    for (size_t i = 0; i < args.size() && c.error.empty(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            for (++i; i < args.size(); ++i) c.files.push_back(args[i]);
            break;
        }
        if (a == "-h" || a == "--help") {
            c.help = true;
        } else if (a == "--version") {
            c.version = true;
        } else if (is_option(a, "--edit")) {
            if (edit_given) {
                c.error = "--edit takes one file";
                break;
            }
            edit_given = true;
            take_value(args, i, "--edit", c.edit, c.error);
        } else if (is_option(a, "--screenshot")) {
            take_value(args, i, "--screenshot", c.screenshot, c.error);
        } else if (a.empty() || a[0] != '-') {
            c.files.push_back(a);
        }
    }
    // The editor shows one document, and opening it hides the main window
    // whose list the other files would play in.
    if (c.error.empty() && edit_given && !c.files.empty()) c.error = "--edit takes one file and no others";
    return c;
}

std::string command_line_help() {
    return "Usage: murrelphonic [FILE...]\n"
           "       murrelphonic --edit FILE\n"
           "\n"
           "Plays, records, converts and edits the voice files of a dictation recorder.\n"
           "\n"
           "  FILE...        show the first existing FILE in the file list and play it\n"
           "  --edit FILE    open FILE (a WAV or voice file) in the Voice Editor\n"
           "  --help         show this help and end\n"
           "  --version      show the version and end\n"
           "\n"
           "When the program is already running, a new start hands its files to the\n"
           "running window and ends.\n";
}

}  // namespace murrel
