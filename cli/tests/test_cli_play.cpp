// murrelphonic-cli play --speed and --from: what the options take, what they
// refuse, and that a file really plays faster or slower (on the virtual
// sound card, whose clock runs in real time) and from the point asked for.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "testsupport/cli_program.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;

namespace {

struct PlayRun {
    int status = -1;
    std::string out, err;
    double seconds = 0;
};

class CliPlay : public ::testing::Test {
protected:
    void SetUp() override {
        MURREL_REQUIRE_CLI_PROGRAM();
        wav = dir.file("tone.wav");
        std::vector<int16_t> s(16000 * 2);
        for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / 16000));
        TMMWave w;
        w.CreateFile(wav, MakePCMFormat(16, 1, 16000));
        w.WriteData(s.data(), static_cast<int64_t>(s.size() * 2));
        w.CloseFile();
    }
    PlayRun play(const std::string& args) {
        const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
        const auto t0 = std::chrono::steady_clock::now();
        PlayRun r;
        const int rc = std::system(("MURREL_AUDIO=virtual " + testsupport::cli_program() + " play " + args + " >" +
                                    out + " 2>" + err).c_str());
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = text(out);
        r.err = text(err);
        return r;
    }
    static std::string text(const std::string& path) {
        std::ifstream f(path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    // The file time reached, from "... after N ms".
    static long reached_ms(const std::string& out) {
        const size_t at = out.find("after ");
        return at == std::string::npos ? -1 : std::atol(out.c_str() + at + 6);
    }

    testsupport::ScratchDir dir;
    std::string wav;
};

TEST_F(CliPlay, OptionsOutsideTheirRangeAreRefusedWithTheReasonAndTheUsage) {
    const std::pair<const char*, const char*> table[] = {
        {"--speed 30", "--speed takes a percentage from 50 to 200 in steps of 5"},
        {"--speed 103", "--speed takes a percentage from 50 to 200 in steps of 5"},
        {"--speed 250", "--speed takes a percentage from 50 to 200 in steps of 5"},
        {"--speed fast", "--speed takes a percentage"},
        {"--speed", "--speed needs a value"},
        {"--from -1", "--from takes a number of seconds"},
        {"--from 1x", "--from takes a number of seconds"},
        {"--frm 2", "unexpected argument \"--frm\""},
    };
    for (auto [args, says] : table) {
        const PlayRun r = play(wav + " " + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(says), std::string::npos) << args << ": " << r.err;
        EXPECT_NE(r.err.find("usage: murrelphonic-cli play FILE.wav|FILE.vkd [--speed PCT] [--from SECONDS]"),
                  std::string::npos)
            << args;
    }
    const PlayRun past = play(wav + " --from 2.5");
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.err.find("--from 2.500 s is past the end of the file (2.000 s)"), std::string::npos) << past.err;
}

TEST_F(CliPlay, TheSpeedChangesHowLongTheFileTakesButNotHowMuchOfItIsHeard) {
    struct Case {
        const char* args;
        double seconds;  // wall time the two-second file takes
        long from_ms;
    };
    for (Case c : {Case{"", 2.0, 0}, Case{"--speed 200", 1.0, 0}, Case{"--speed 50", 4.0, 0},
                   Case{"--from 1 --speed 200", 0.5, 1000}}) {
        SCOPED_TRACE(c.args);
        const PlayRun r = play(wav + " " + c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("played to the end"), std::string::npos) << r.out;
        // The program's start and the device's drain add a little.
        EXPECT_GT(r.seconds, c.seconds - 0.1);
        EXPECT_LT(r.seconds, c.seconds + 1.2);
        // File time heard: the rest of the file, whatever the speed.
        EXPECT_NEAR(double(reached_ms(r.out)), 2000.0 - c.from_ms, 120.0) << r.out;
    }
}

}  // namespace
