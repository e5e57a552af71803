// murrelphonic-cli decode and encode, run as a user runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "shell/appstate.h"
#include "testsupport/cli_program.h"
#include "testsupport/scratch_dir.h"
#include "voicefile/lamecoder.h"
#include "voicefile/tests/audio_fixtures.h"

extern char** environ;

using namespace murrel;
using namespace murrel::testfix;
namespace fs = std::filesystem;

namespace {

const std::string kCli = murrel::testsupport::cli_program();


class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        MURREL_REQUIRE_CLI_PROGRAM();
    }
    int cli(const std::string& args) { return run(kCli + " " + args + " >" + dir.file("out.txt") + " 2>" + dir.file("err.txt")); }
    std::string err() {
        std::vector<uint8_t> b = read_bytes(dir.file("err.txt"));
        return std::string(b.begin(), b.end());
    }
    testsupport::ScratchDir dir;
};

}  // namespace

TEST_F(Cli, DecodesSeveralFilesInWorkersLikeTheProgramDoes) {
    fs::create_directory(dir.file("out"));
    for (int i = 0; i < 3; ++i) write_voice_file(dir.file("memo" + std::to_string(i) + ".vkd"), 5, sp_stream(2.0 + i, i));
    ASSERT_EQ(cli("decode -j 3 -o " + dir.file("out") + " " + dir.file("memo0.vkd") + " " + dir.file("memo1.vkd") +
                  " " + dir.file("memo2.vkd")),
              0)
        << err();
    for (int i = 0; i < 3; ++i) {
        Pcm pcm = read_wav(dir.file("out/memo" + std::to_string(i) + ".wav"));
        ASSERT_TRUE(pcm.ok) << i;
        EXPECT_EQ(pcm.rate, 16000);
        // Whole stream decoded: frames of 576 samples covering the input and the codec delay.
        EXPECT_EQ(pcm.samples.size() % 576, 0u);
        EXPECT_GE(pcm.samples.size(), static_cast<std::size_t>((2.0 + i) * 16000));
    }
    // The same in one process gives the same files.
    fs::create_directory(dir.file("one"));
    ASSERT_EQ(cli("decode -j 1 -q -o " + dir.file("one") + " " + dir.file("memo1.vkd")), 0) << err();
    EXPECT_EQ(read_bytes(dir.file("one/memo1.wav")), read_bytes(dir.file("out/memo1.wav")));
}

TEST_F(Cli, ExistingTargetsAreKeptUnlessOverwriteIsAsked) {
    write_voice_file(dir.file("rec.vkd"), 5, sp_stream(1.0, 1));
    write_bytes(dir.file("rec.wav"), {'o', 'l', 'd'});
    EXPECT_EQ(cli("decode " + dir.file("rec.vkd")), 1);
    EXPECT_NE(err().find("[rec.wav] "), std::string::npos) << err();
    EXPECT_EQ(read_bytes(dir.file("rec.wav")).size(), 3u);
    EXPECT_EQ(cli("decode --overwrite " + dir.file("rec.vkd")), 0) << err();
    EXPECT_TRUE(read_wav(dir.file("rec.wav")).ok);

    write_wav(dir.file("note.wav"), speechlike(16000, 1.0), 16000);
    write_bytes(dir.file("note.vkd"), {'o', 'l', 'd'});
    EXPECT_EQ(cli("encode --mode sp " + dir.file("note.wav")), 1);
    EXPECT_NE(err().find("[note.vkd]"), std::string::npos) << err();
    EXPECT_EQ(cli("encode --mode sp --overwrite " + dir.file("note.wav")), 0) << err();
    EXPECT_GT(fs::file_size(dir.file("note.vkd")), 512u);
    // Written under a scratch name first, the header still records its own name.
    EXPECT_EQ(header_title(read_bytes(dir.file("note.vkd")).data()), "note");
}

TEST_F(Cli, EncodeWritesTheModesHeaderFromAnySourceRate) {
    write_wav(dir.file("a.wav"), speechlike(22050, 2.0), 22050);
    ASSERT_EQ(cli("encode --mode shq " + dir.file("a.wav")), 0) << err();
    std::vector<uint8_t> vkd = read_bytes(dir.file("a.vkd"));
    ASSERT_GT(vkd.size(), 512u);
    EXPECT_EQ(vkd[16], 7);
    EXPECT_EQ(header_title(vkd.data()), "a");

    // Another rate is converted first, and its temporary copy removed.
    write_wav(dir.file("b.wav"), speechlike(22050, 1.0), 22050);
    EXPECT_EQ(cli("encode --mode sp " + dir.file("b.wav")), 0) << err();
    std::vector<uint8_t> sp = read_bytes(dir.file("b.vkd"));
    ASSERT_GT(sp.size(), 512u);
    EXPECT_EQ(sp[16], 5);
    EXPECT_FALSE(fs::exists(dir.file("b.wav.tmp")));
    write_bytes(dir.file("c.wav"), {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'});
    EXPECT_EQ(cli("encode --mode sp " + dir.file("c.wav")), 1);
    EXPECT_NE(err().find("c.wav"), std::string::npos) << err();
    EXPECT_EQ(cli("encode " + dir.file("b.wav")), 2);  // no mode
    EXPECT_EQ(cli("encode --mode xq " + dir.file("b.wav")), 2);
    EXPECT_EQ(cli("decode " + dir.file("b.wav")), 1);  // not a voice file
}

TEST_F(Cli, CtrlCCancelsAndLeavesAValidShorterFile) {
    // Three hours of SP, made by repeating a minute of stream.
    const std::vector<uint8_t> minute = sp_stream(60.0, 5);
    std::vector<uint8_t> stream;
    for (int i = 0; i < 180; ++i) stream.insert(stream.end(), minute.begin(), minute.end());
    write_voice_file(dir.file("long.vkd"), 5, stream);

    const std::string out = dir.file("long.wav");
    std::vector<std::string> argv_s = {kCli, "decode", "-q", dir.file("long.vkd")};
    std::vector<char*> argv;
    for (std::string& s : argv_s) argv.push_back(s.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, kCli.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code ec;
        if (fs::file_size(out, ec) > 2'000'000 && !ec) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    Pcm part = read_wav(out);
    ASSERT_TRUE(part.ok);
    EXPECT_GT(part.samples.size(), 1'000'000u);
    EXPECT_LT(part.samples.size(), 180u * 60u * 16000u);
    EXPECT_EQ(part.samples.size() % 576, 0u);
}
