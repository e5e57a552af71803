// murrelphonic-cli convert, and encode taking any WAV file, run as a user
// runs them; the voice files are checked with the mpg123 command.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "testsupport/cli_program.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

const std::string kCli = murrel::testsupport::cli_program();

// The command's exit status.
int sh(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CliConvert : public ::testing::Test {
protected:
    void SetUp() override {
        MURREL_REQUIRE_CLI_PROGRAM();
        if (sh("sox --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
        ASSERT_EQ(sh("sox -n -r 44100 -c 2 -b 16 " + dir.file("stereo.wav") +
                     " synth 2 sine 440 sine 660 gain -6 2>/dev/null"), 0);
        ASSERT_EQ(sh("sox -n -r 8000 -c 1 -e ima-adpcm " + dir.file("ima.wav") +
                     " synth 2 sine 300-3000 gain -6 2>/dev/null"), 0);
    }
    int cli(const std::string& args) {
        return sh(kCli + " " + args + " >" + dir.file("out.txt") + " 2>" + dir.file("err.txt"));
    }
    std::string err() {
        std::ifstream in(dir.file("err.txt"));
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    testsupport::ScratchDir dir;
};

}  // namespace

TEST_F(CliConvert, ConvertWritesPcmInTheAskedFormatAndKeepsExistingOutputs) {
    ASSERT_EQ(cli("convert " + dir.file("ima.wav") + " --rate 22050 --channels 2 --bits 8 -o " +
                  dir.file("o.wav")), 0) << err();
    TMMWave w;
    w.SetFileName(dir.file("o.wav"));
    EXPECT_EQ(*w.FileFormat(), MakePCMFormat(8, 2, 22050));
    EXPECT_NEAR(double(w.DataSize()), 2 * 22050, 600);  // whole ADPCM blocks
    w.FreeWave();
    EXPECT_EQ(cli("convert " + dir.file("ima.wav") + " --rate 16000 --channels 1 --bits 16 -o " +
                  dir.file("o.wav")), 1);
    EXPECT_NE(err().find("exists"), std::string::npos) << err();
    EXPECT_EQ(cli("convert " + dir.file("ima.wav") + " --rate 16000 --channels 3 --bits 16"), 2);
    EXPECT_EQ(cli("convert " + dir.file("missing.wav") + " --rate 16000 --channels 1 --bits 16"), 1);
}

TEST_F(CliConvert, EncodeTakesStereoAndAdpcmWavFilesInEveryModeAndLeavesNoTemporaryFile) {
    const bool have_mpg123 = sh("mpg123 --version >/dev/null 2>&1") == 0;
    for (const char* mode : {"sp", "hq", "shq"}) {
        const std::string out = dir.file(mode);
        fs::create_directory(out);
        ASSERT_EQ(cli("encode -j 1 --mode " + std::string(mode) + " -o " + out + " " + dir.file("stereo.wav") +
                      " " + dir.file("ima.wav")), 0) << mode << ": " << err();
        for (const char* name : {"stereo", "ima"}) {
            const std::string vkd = out + "/" + name + ".vkd";
            ASSERT_TRUE(fs::exists(vkd)) << vkd;
            EXPECT_GT(fs::file_size(vkd), 512u + 2000u) << vkd;
            if (!have_mpg123) continue;
            // The stream after the 512-byte header plays to its end.
            const std::string mp3 = dir.file("x.mp3"), wav = dir.file("x.wav");
            ASSERT_EQ(sh("tail -c +513 " + vkd + " > " + mp3), 0);
            ASSERT_EQ(sh("mpg123 -q -w " + wav + " " + mp3 + " 2>/dev/null"), 0) << vkd;
            TMMWave w;
            w.SetFileName(wav);
            EXPECT_NEAR(double(w.DataSize()) / w.SampleRate(), 2.0, 0.25) << vkd;
        }
    }
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}
