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
    if (name == "--version" || name == "version") {
        std::printf("murrelphonic-cli %s\n", MURREL_VERSION);
        return 0;
    }
    // "--mode=hq" is "--mode hq", as in every other tool.
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const std::size_t eq = a.find('=');
        if (a.size() > 2 && a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            args.push_back(a.substr(0, eq));
            args.push_back(a.substr(eq + 1));
        } else {
            args.push_back(a);
        }
    }
    for (const Command& c : commands()) {
        if (c.name == name) return c.run(args);
    }
    std::fprintf(stderr, "murrelphonic-cli: unknown command '%s'\n", name.c_str());
    print_usage(stderr);
    return 2;
}
