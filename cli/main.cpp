#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/help_texts.h"

namespace murrel::cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> all;
    return all;
}

void print_usage(std::FILE* out) {
    std::fprintf(out, "usage: murrelphonic-cli COMMAND [ARGS...]\n\ncommands:\n");
    for (const Command& c : registry()) std::fprintf(out, "  %-10s %s\n", c.name.c_str(), c.summary.c_str());
    std::fprintf(out, "\n'murrelphonic-cli COMMAND --help' tells a command's arguments and options.\n");
}

// Words of `text` in lines of at most `width` characters, each after `indent`.
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width) {
    std::string out, line;
    auto flush = [&] {
        if (!out.empty()) out += "\n" + std::string(indent, ' ');
        out += line;
        line.clear();
    };
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        if (!line.empty() && line.size() + 1 + word.size() > width) flush();
        if (!line.empty()) line += ' ';
        line += word;
        at = end + 1;
    }
    if (!line.empty()) flush();
    return out;
}

void print_command_help(const Command& c) {
    std::printf("usage: murrelphonic-cli %s\n\n%s.\n", c.usage.c_str(),
                wrapped(c.summary, 0, 78).c_str());
    const auto& options = command_options(c.name);
    if (options.empty()) return;
    std::printf("\n");
    for (const auto& [option, meaning] : options) {
        if (option.size() > 24) std::printf("  %s\n  %-24s %s\n", std::string(option).c_str(), "",
                                             wrapped(meaning, 27, 51).c_str());
        else std::printf("  %-24s %s\n", std::string(option).c_str(), wrapped(meaning, 27, 51).c_str());
    }
}
// roff needs its backslashes doubled and a line must not begin with a dot.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

// The manual page, from the same registry as the usage text.
void print_manual(std::FILE* out) {
    std::fprintf(out,
                 ".TH MURRELPHONIC-CLI 1 \"\" \"murrelphonic-cli %s\" \"User Commands\"\n"
                 ".SH NAME\nmurrelphonic\\-cli \\- voice files and WAV files of a dictation recorder on the command line\n"
                 ".SH SYNOPSIS\n.B murrelphonic\\-cli\n.I COMMAND\n[\\fIARGS\\fR...]\n"
                 ".br\n.B murrelphonic\\-cli\n.I COMMAND\n.B \\-\\-help\n"
                 ".SH DESCRIPTION\nThe command-line tool of Murrelphonic: it describes, plays, records and converts "
                 "the recorder's voice files and WAV files, and draws WAV files as pictures. A file being replaced "
                 "stays as it was until the new one is complete; Ctrl+C, SIGTERM and SIGHUP stop a long command "
                 "with a valid shorter output.\n.SH COMMANDS\n",
                 MURREL_VERSION);
    for (const Command& c : registry()) {
        std::fprintf(out, ".TP\n.B %s\n%s.\n", roff(c.usage).c_str(), roff(c.summary).c_str());
        const auto& options = command_options(c.name);
        if (options.empty()) continue;
        std::fprintf(out, ".RS\n");
        for (const auto& [option, meaning] : options)
            std::fprintf(out, ".TP\n.B %s\n%s\n", roff(std::string(option)).c_str(), roff(std::string(meaning)).c_str());
        std::fprintf(out, ".RE\n");
    }
    std::fprintf(out,
                 ".SH ENVIRONMENT\n.TP\n.B MURREL_AUDIO\nThe sound backend (see \\fBdevices\\fR).\n"
                 ".SH EXIT STATUS\n0 when the command did its work, 1 when it failed (the reason is on standard "
                 "error), 2 for a command line it does not understand, 128 plus the signal's number when a signal "
                 "stopped it.\n"
                 ".SH SEE ALSO\n.BR murrelphonic (1)\n");
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
    if ((name == "help" || name == "--help") && argc > 2 && std::string(argv[2]) == "--man") {
        print_manual(stdout);
        return 0;
    }
    if (name == "-h" || name == "--help" || name == "help") {
        // "help COMMAND" is "COMMAND --help".
        if (argc > 2) {
            for (const Command& c : commands())
                if (c.name == argv[2]) {
                    print_command_help(c);
                    return 0;
                }
        }
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
        if (c.name != name) continue;
        for (const std::string& a : args)
            if (a == "--help" || a == "-h") {
                print_command_help(c);
                return 0;
            }
        return c.run(args);
    }
    std::fprintf(stderr, "murrelphonic-cli: unknown command '%s'\n", name.c_str());
    print_usage(stderr);
    return 2;
}
