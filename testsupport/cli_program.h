#pragma once
// The command-line program that the CLI suites run, and the check their
// fixtures start with. The suites depend on the program in the build, so a
// missing one under CI means the build is broken: that fails rather than
// skips. A partial local build (one test target built by hand) skips.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace murrel::testsupport {

inline std::string cli_program() { return std::string(MURREL_BIN_DIR) + "/murrelphonic-cli"; }

// CI services set CI to "true" (some to "1"); unset, empty, "0" or "false"
// mean a developer's machine.
inline bool running_in_ci() {
    const char* ci = std::getenv("CI");
    if (!ci || !*ci) return false;
    const std::string v = ci;
    return v != "0" && v != "false" && v != "FALSE" && v != "False";
}

}  // namespace murrel::testsupport

// For a fixture's SetUp (or a test body): fails under CI, skips elsewhere,
// when the program was not built.
#define MURREL_REQUIRE_CLI_PROGRAM()                                                              \
    do {                                                                                         \
        if (!std::filesystem::exists(::murrel::testsupport::cli_program())) {                    \
            if (::murrel::testsupport::running_in_ci())                                          \
                FAIL() << ::murrel::testsupport::cli_program() << " was not built (CI is set)";  \
            GTEST_SKIP() << "murrelphonic-cli not built";                                        \
        }                                                                                        \
    } while (0)
