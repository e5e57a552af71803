#pragma once
// Subcommands of murrelphonic-cli. Each cmd_*.cpp defines one command and
// registers it with a static CommandRegistration; main() dispatches on the
// first argument.
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

namespace murrel::cli {

struct Command {
    std::string name;
    std::string usage;    // one line: "info [--json] FILE..."
    std::string summary;  // what it does, one line
    // Arguments after the command's name; returns the process exit status.
    int (*run)(const std::vector<std::string>& args);
};

void register_command(const Command& command);
const std::vector<Command>& commands();

// How often a command waiting on the devices looks at their state between
// posted events: often enough for a smooth elapsed time, seldom enough that
// the waiting costs next to nothing.
inline constexpr std::chrono::milliseconds kDevicePoll{20};

// Whether anything stands at `path`, a dangling link included: an output the
// user did not allow to be replaced is never written through one.
inline bool path_exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

struct CommandRegistration {
    explicit CommandRegistration(const Command& command) { register_command(command); }
};

}  // namespace murrel::cli
