#pragma once
// What the program was asked to do on its command line. Parsed without Qt
// and before any window exists, so that --help and --version answer on a
// machine without a screen and a mistyped start says what was wrong instead
// of opening a window.
#include <string>
#include <vector>

namespace murrel {

struct CommandLine {
    // Files to show in the list; the first that exists is played.
    std::vector<std::string> files;
    // A file to open in the Voice Editor's lower pane; "" for none.
    std::string edit;
    // Save the main window's first paint to this PNG file and end.
    std::string screenshot;
    bool help = false;
    bool version = false;
    // Not empty: the arguments make no sense; the text says why, and the
    // program ends with status 2 after printing it and the usage line.
    std::string error;
};

// `arguments` without the program's name, as Qt leaves them once it has
// taken its own options. Anything after "--" is a file, even when it starts
// with '-'; other unknown options are ignored, as desktop launchers pass
// some of their own.
CommandLine parse_command_line(const std::vector<std::string>& arguments);

// The text of --help.
std::string command_line_help();

}  // namespace murrel
