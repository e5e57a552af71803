// The tool's own help: every command answers --help, every option its usage
// line names is explained, and the manual page carries the same text.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "testsupport/cli_program.h"

namespace {

const std::string kCli = murrel::testsupport::cli_program();

std::string output_of(const std::string& args, int* status = nullptr) {
    std::string out;
    if (FILE* p = ::popen((kCli + " " + args + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        const int s = ::pclose(p);
        if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    }
    return out;
}

std::vector<std::string> command_names() {
    const std::string overview = output_of("--help");
    std::vector<std::string> names;
    static const std::regex row(R"(\n  ([a-z]+) +\S)");
    for (std::sregex_iterator it(overview.begin(), overview.end(), row), end; it != end; ++it)
        names.push_back((*it)[1]);
    return names;
}

// The options a usage line names: --long and -x words.
std::set<std::string> options_in(const std::string& usage) {
    std::set<std::string> found;
    static const std::regex option(R"((?:^|[\s\[|])(--?[a-z][a-z-]*))");
    for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it) found.insert((*it)[1]);
    return found;
}

TEST(CliHelp, EveryCommandExplainsEachOptionOfItsUsageLineAndHelpCommandSaysTheSame) {
    MURREL_REQUIRE_CLI_PROGRAM();
    ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli << " was not built";
    const std::vector<std::string> names = command_names();
    ASSERT_GE(names.size(), 9u) << output_of("--help");
    for (const std::string& name : names) {
        int status = -1;
        const std::string help = output_of(name + " --help", &status);
        EXPECT_EQ(status, 0) << name;
        ASSERT_EQ(help.rfind("usage: murrelphonic-cli " + name, 0), 0u) << help;
        const std::string usage = help.substr(0, help.find('\n'));
        const std::string body = help.substr(usage.size());
        for (const std::string& option : options_in(usage.substr(std::string("usage: murrelphonic-cli ").size())))
            EXPECT_TRUE(std::regex_search(body, std::regex("\n  (\\S+, )?" + option + "[ ,]")))
                << name << " --help does not explain " << option << ":\n" << help;
        EXPECT_EQ(output_of("help " + name), help) << name;
    }
}

TEST(CliHelp, TheManualPageCarriesEveryCommandAndOptionOfTheHelp) {
    MURREL_REQUIRE_CLI_PROGRAM();
    ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli << " was not built";
    int status = -1;
    const std::string man = output_of("help --man", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(man.rfind(".TH MURRELPHONIC-CLI 1", 0), 0u);
    // roff spells a hyphen \-.
    auto roff = [](std::string text) {
        std::string out;
        for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
        return out;
    };
    for (const std::string& name : command_names()) {
        const std::string help = output_of(name + " --help");
        const std::string usage = help.substr(0, help.find('\n'));
        EXPECT_NE(man.find(".B " + roff(usage.substr(std::string("usage: murrelphonic-cli ").size())) + "\n"),
                  std::string::npos)
            << name;
        static const std::regex option_line(R"(\n  (\S[^\n]*?)  +\S)");
        const std::string body = help.substr(usage.size());
        for (std::sregex_iterator it(body.begin(), body.end(), option_line), end; it != end; ++it)
            EXPECT_NE(man.find(".B " + roff((*it)[1]) + "\n"), std::string::npos) << name << ": " << (*it)[1];
    }
}

TEST(CliHelp, TheUsersManualNamesEveryCommandAndShowsPicturesThatShip) {
    MURREL_REQUIRE_CLI_PROGRAM();
    std::ifstream in(std::string(MURREL_SOURCE_DIR) + "/resources/manual.html");
    const std::string manual{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(manual.empty());
    for (const std::string& name : command_names())
        EXPECT_NE(manual.find("<td><code>" + name + "</code></td>"), std::string::npos) << name;
    static const std::regex picture(R"RX(<img src="([^"]+)")RX");
    int pictures = 0;
    for (std::sregex_iterator it(manual.begin(), manual.end(), picture), end; it != end; ++it, ++pictures)
        EXPECT_TRUE(std::filesystem::exists(std::string(MURREL_SOURCE_DIR) + "/resources/" + (*it)[1].str()))
            << (*it)[1];
    EXPECT_GE(pictures, 3);
}

}  // namespace
