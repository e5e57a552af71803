#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace murrel::cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> all;
    return all;
}

void print_usage(std::FILE* out) {
    std::fprintf(out, "usage: murrelphonic-cli COMMAND [ARGS...]\n\ncommands:\n");
    for (const Command& c : registry())
        std::fprintf(out, "  %-50s %s\n", c.usage.c_str(), c.summary.c_str());
}
}  // namespace

void register_command(const Command& command) { registry().push_back(command); }

const std::vector<Command>& commands() { return registry(); }

}  // namespace murrel::cli

int main(int argc, char** argv) {
    using namespace murrel::cli;
    if (argc < 2) {
        print_usage(stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        print_usage(stdout);
        return 0;
    }
    for (const Command& c : commands()) {
        if (c.name == name) return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "murrelphonic-cli: unknown command '%s'\n", name.c_str());
    print_usage(stderr);
    return 2;
}
