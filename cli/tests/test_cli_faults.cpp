// murrelphonic-cli against bad input, full disks, signals and kill -9: no
// command destroys a user's file or reports success for work it did not do,
// and what a crash leaves can be read.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "cli/tests/bad_inputs.h"
#include "testsupport/cli_program.h"
#include "testsupport/scratch_dir.h"
#include "voicefile/lamecoder.h"

extern char** environ;

using namespace murrel;
using namespace murrel::testfix;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kCli = murrel::testsupport::cli_program();


// A voice file of `minutes` of SP stream, made by repeating one minute.
void write_long_voice_file(const std::string& path, int minutes) {
    const std::vector<uint8_t> minute = sp_stream(60.0, 5);
    std::vector<uint8_t> stream;
    for (int i = 0; i < minutes; ++i) stream.insert(stream.end(), minute.begin(), minute.end());
    write_voice_file(path, 5, stream);
}

std::string text_of(const std::string& path) {
    std::vector<uint8_t> b = read_bytes(path);
    return std::string(b.begin(), b.end());
}

// The sizes a WAV file's header claims against what the file holds.
struct HeaderSizes {
    uint32_t riff = 0, data = 0;
    uint64_t data_offset = 0, file = 0;
};
HeaderSizes header_sizes(const std::string& path) {
    std::vector<uint8_t> b = read_bytes(path);
    HeaderSizes h;
    h.file = b.size();
    auto u32 = [&](std::size_t o) {
        return uint32_t(b[o]) | uint32_t(b[o + 1]) << 8 | uint32_t(b[o + 2]) << 16 | uint32_t(b[o + 3]) << 24;
    };
    if (b.size() < 12) return h;
    h.riff = u32(4);
    for (std::size_t o = 12; o + 8 <= b.size(); o += 8 + u32(o + 4) + (u32(o + 4) & 1)) {
        if (std::memcmp(b.data() + o, "data", 4) == 0) {
            h.data = u32(o + 4);
            h.data_offset = o + 8;
            break;
        }
    }
    return h;
}

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        MURREL_REQUIRE_CLI_PROGRAM();
    }
    int cli(const std::string& args, const std::string& prefix = "") {
        return run(prefix + kCli + " " + args + " >" + dir.file("out.txt") + " 2>" + dir.file("err.txt"));
    }
    // The same on a disk that takes at most `blocks` blocks per file.
    int cli_on_small_disk(const std::string& args, int blocks) {
        return run("sh -c \"trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; exec " + kCli + " " + args +
                   "\" >" + dir.file("out.txt") + " 2>" + dir.file("err.txt"));
    }
    std::string err() { return text_of(dir.file("err.txt")); }
    std::string out() { return text_of(dir.file("out.txt")); }

    // Starts the tool with the virtual sound backend; standard output and
    // error go to out.txt and err.txt.
    pid_t spawn(std::vector<std::string> args) {
        args.insert(args.begin(), kCli);
        std::vector<char*> argv;
        for (std::string& s : args) argv.push_back(s.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, dir.file("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&files, 2, dir.file("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::setenv("MURREL_AUDIO", "virtual", 1);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, kCli.c_str(), &files, nullptr, argv.data(), environ), 0);
        ::unsetenv("MURREL_AUDIO");
        posix_spawn_file_actions_destroy(&files);
        return pid;
    }
    // Waits until `path` holds more than `bytes` (false after 30 s).
    static bool wait_for_size(const std::string& path, uintmax_t bytes) {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < deadline) {
            std::error_code ec;
            if (fs::file_size(path, ec) > bytes && !ec) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    // Sends `sig` and returns the exit status (or 128 + the killing signal)
    // and how long the process took to end after it.
    static int stop(pid_t pid, int sig, double& seconds) {
        const auto sent = Clock::now();
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        seconds = std::chrono::duration<double>(Clock::now() - sent).count();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    testsupport::ScratchDir dir;
};

}  // namespace

TEST_F(CliFaults, UnreadableWavFilesAreRefusedByEveryCommandAndLeaveNoOutput) {
    fs::create_directory(dir.file("out"));
    for (const BadInput& bad : unreadable_waves()) {
        SCOPED_TRACE(bad.name);
        const std::string path = dir.file(bad.name);
        write_bytes(path, bad.bytes);
        const std::string stem = bad.name.substr(0, bad.name.size() - 4);

        EXPECT_EQ(cli("info " + path), 1);
        EXPECT_NE(out().find("cannot be read"), std::string::npos) << out();
        EXPECT_EQ(out().find("-0.00"), std::string::npos) << out();

        EXPECT_EQ(cli("convert " + path + " --rate 16000 --channels 1 --bits 16 -o " + dir.file("out/c.wav")), 1);
        EXPECT_NE(err().find(bad.name), std::string::npos) << err();
        EXPECT_NE(err().find(bad.message), std::string::npos) << err();
        EXPECT_FALSE(fs::exists(dir.file("out/c.wav")));

        EXPECT_EQ(cli("encode --mode sp -o " + dir.file("out") + " " + path), 1);
        EXPECT_NE(err().find(bad.name), std::string::npos) << err();
        EXPECT_NE(err().find(bad.message), std::string::npos) << err();
        EXPECT_FALSE(fs::exists(dir.file("out/" + stem + ".vkd")));
    }
    // Nothing of ours is left in either folder.
    for (const std::string& folder : {dir.file("out"), dir.path().string()})
        for (const auto& e : fs::directory_iterator(folder))
            EXPECT_EQ(e.path().filename().string().rfind(".murrel-", 0), std::string::npos) << e.path();
}

TEST_F(CliFaults, VoiceFilesWithoutAudioFramesDecodeToNothingAndFail) {
    for (const BadInput& bad : frameless_streams()) {
        SCOPED_TRACE(bad.name);
        write_voice_file(dir.file(bad.name), 5, bad.bytes);
        EXPECT_EQ(cli("decode -q " + dir.file(bad.name)), 1);
        EXPECT_NE(err().find(bad.name), std::string::npos) << err();
        EXPECT_NE(err().find(bad.message), std::string::npos) << err();
        EXPECT_FALSE(fs::exists(dir.file(bad.name.substr(0, bad.name.size() - 4) + ".wav")));
    }
}

TEST_F(CliFaults, TheStreamsOwnRateDecidesWhenTheHeaderDisagrees) {
    // An SP (16 kHz) stream under an SHQ (22,050 Hz) header.
    const std::vector<uint8_t> stream = sp_stream(5.0, 3);
    write_voice_file(dir.file("odd.vkd"), 7, stream);
    ASSERT_EQ(cli("decode -q " + dir.file("odd.vkd")), 0) << err();
    Pcm pcm = read_wav(dir.file("odd.wav"));
    ASSERT_TRUE(pcm.ok);
    EXPECT_EQ(pcm.rate, 16000);
    EXPECT_NEAR(double(pcm.samples.size()) / pcm.rate, 5.0, 0.2);
    EXPECT_NE(err().find("22050 Hz"), std::string::npos) << err();
    EXPECT_NE(err().find("16000 Hz"), std::string::npos) << err();
}

TEST_F(CliFaults, AFailedReplacementLeavesTheOldFileAndANewOneKeepsAReadablePart) {
    write_voice_file(dir.file("memo.vkd"), 5, sp_stream(30.0, 2));
    write_wav(dir.file("memo.wav"), speechlike(16000, 0.5), 16000);
    const std::vector<uint8_t> old = read_bytes(dir.file("memo.wav"));
    // 400 blocks (200 or 400 KiB) per file: the 30 s decode (960 KB) cannot fit.
    EXPECT_EQ(cli_on_small_disk("decode -q --overwrite " + dir.file("memo.vkd"), 400), 1) << err();
    EXPECT_EQ(read_bytes(dir.file("memo.wav")), old);
    EXPECT_NE(err().find("left as it was"), std::string::npos) << err();

    write_wav(dir.file("song.wav"), speechlike(16000, 20.0), 16000);
    write_wav(dir.file("song_8000.wav"), speechlike(8000, 0.5), 8000);
    const std::vector<uint8_t> old_song = read_bytes(dir.file("song_8000.wav"));
    EXPECT_EQ(cli_on_small_disk("convert --overwrite " + dir.file("song.wav") + " --rate 8000 --channels 2 --bits 16",
                                400),
              1);
    EXPECT_EQ(read_bytes(dir.file("song_8000.wav")), old_song);

    // Without an old file, what fitted is kept and its header says so.
    fs::remove(dir.file("memo.wav"));
    EXPECT_EQ(cli_on_small_disk("decode -q " + dir.file("memo.vkd"), 400), 1);
    const HeaderSizes h = header_sizes(dir.file("memo.wav"));
    EXPECT_GT(h.data, 150000u);
    EXPECT_EQ(h.data + h.data_offset, h.file);
    EXPECT_EQ(h.riff + 8, h.file);
    EXPECT_NE(err().find("kept"), std::string::npos) << err();
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().rfind(".murrel-", 0), std::string::npos) << e.path();
}

TEST_F(CliFaults, SignalsEndConversionsPromptlyWithAValidShorterOutput) {
    write_long_voice_file(dir.file("long.vkd"), 120);
    const std::string wav = dir.file("long.wav");
    for (int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        fs::remove(wav);
        pid_t pid = spawn({"decode", "-q", dir.file("long.vkd")});
        ASSERT_TRUE(wait_for_size(wav, 1'000'000));
        double took = 0;
        EXPECT_EQ(stop(pid, sig, took), 128 + sig) << err();
        EXPECT_LT(took, 0.2);
        Pcm part = read_wav(wav);
        ASSERT_TRUE(part.ok);
        EXPECT_GT(part.samples.size(), 400'000u);
        EXPECT_EQ(part.samples.size() % 576, 0u);
    }

    // The frame search meets a cancel too: a short stream, then 400 MB of zeros.
    const std::vector<uint8_t> stream = sp_stream(2.0, 4);
    write_voice_file(dir.file("zeros.vkd"), 5, stream);
    fs::resize_file(dir.file("zeros.vkd"), 400'000'000);
    pid_t pid = spawn({"decode", "-q", dir.file("zeros.vkd")});
    ASSERT_TRUE(wait_for_size(dir.file("zeros.wav"), 44));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    double took = 0;
    EXPECT_EQ(stop(pid, SIGTERM, took), 143) << err();
    EXPECT_LT(took, 0.2);
    EXPECT_TRUE(read_wav(dir.file("zeros.wav")).ok);
}

TEST_F(CliFaults, SignalsEndEncodingAndConvertingPromptlyToo) {
    // Nine hours of silence at 16 kHz, stored sparsely.
    std::vector<uint8_t> header = wave_bytes(1, 1, 16000, 16, 2, 0);
    const uint32_t data = 1'000'000'000;
    for (int i = 0; i < 4; ++i) header[40 + i] = uint8_t(data >> (8 * i));
    const uint32_t riff = data + 36;
    for (int i = 0; i < 4; ++i) header[4 + i] = uint8_t(riff >> (8 * i));
    write_bytes(dir.file("quiet.wav"), header);
    fs::resize_file(dir.file("quiet.wav"), 44 + uint64_t(data));

    pid_t pid = spawn({"encode", "-q", "--mode", "sp", dir.file("quiet.wav")});
    ASSERT_TRUE(wait_for_size(dir.file("quiet.vkd"), 20000));
    double took = 0;
    EXPECT_EQ(stop(pid, SIGTERM, took), 143) << err();
    EXPECT_LT(took, 0.2);
    EXPECT_GT(fs::file_size(dir.file("quiet.vkd")), 20000u);

    pid = spawn({"convert", "-q", dir.file("quiet.wav"), "--rate", "1000", "--channels", "1", "--bits", "8", "-o",
                 dir.file("low.wav")});
    ASSERT_TRUE(wait_for_size(dir.file("low.wav"), 100000));
    EXPECT_EQ(stop(pid, SIGTERM, took), 143) << err();
    EXPECT_LT(took, 0.2);
    const HeaderSizes h = header_sizes(dir.file("low.wav"));
    EXPECT_GT(h.data, 100000u);
    EXPECT_LE(h.data + h.data_offset, h.file);
    EXPECT_EQ(h.riff + 8, h.file);  // finalised: its sizes cover the whole file
}

TEST_F(CliFaults, AWavBeingWrittenIsReadableAfterKill9) {
    write_long_voice_file(dir.file("long.vkd"), 120);
    const std::string wav = dir.file("long.wav");
    pid_t pid = spawn({"decode", "-q", dir.file("long.vkd")});
    ASSERT_TRUE(wait_for_size(wav, 3'000'000));
    double took = 0;
    EXPECT_EQ(stop(pid, SIGKILL, took), 128 + SIGKILL);
    const HeaderSizes h = header_sizes(wav);
    // The header covers all but the last couple of seconds written.
    EXPECT_GT(h.data, 2'000'000u);
    EXPECT_LE(h.data + h.data_offset, h.file);
    EXPECT_GE(h.data + h.data_offset + 2 * 2 * 32000 + 65536, h.file);
    EXPECT_EQ(h.riff + 8, h.data + h.data_offset);
}

TEST_F(CliFaults, EncodingNeverTouchesAUsersFileNamedLikeItsIntermediate) {
    write_wav(dir.file("note.wav"), speechlike(22050, 1.0), 22050);
    write_bytes(dir.file("note.wav.tmp"), {'m', 'i', 'n', 'e'});
    fs::create_directory(dir.file("out"));
    // A scratch file of a process that died is swept; the user's files stay.
    write_bytes(dir.file("out/.murrel-999999999-1-x.wav"), {'x'});
    write_bytes(dir.file("out/.murrel-notes"), {'u'});
    ASSERT_EQ(cli("encode --mode sp -o " + dir.file("out") + " " + dir.file("note.wav")), 0) << err();
    EXPECT_EQ(read_bytes(dir.file("note.wav.tmp")), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
    EXPECT_GT(fs::file_size(dir.file("out/note.vkd")), 512u);
    EXPECT_FALSE(fs::exists(dir.file("out/.murrel-999999999-1-x.wav")));
    EXPECT_TRUE(fs::exists(dir.file("out/.murrel-notes")));
    for (const auto& e : fs::directory_iterator(dir.file("out")))
        EXPECT_NE(e.path().filename().string().rfind(".murrel-", 0) == 0 && e.path().filename() != ".murrel-notes",
                  true)
            << e.path();
    if (::geteuid() != 0) {
        // From a folder that cannot be written, with a writable output folder.
        fs::create_directory(dir.file("ro"));
        write_wav(dir.file("ro/a.wav"), speechlike(44100, 0.5), 44100);
        fs::permissions(dir.file("ro"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(cli("encode --mode sp -o " + dir.file("out") + " " + dir.file("ro/a.wav")), 0) << err();
        fs::permissions(dir.file("ro"), fs::perms::owner_all);
        EXPECT_TRUE(fs::exists(dir.file("out/a.vkd")));
    }
}

TEST_F(CliFaults, RecordingKeepsExistingFilesAndLeftRecordings) {
    write_bytes(dir.file("x.vkd"), {'o', 'l', 'd'});
    write_bytes(dir.file("y.wav"), {'o', 'l', 'd'});
    EXPECT_EQ(cli("record --mode sp --seconds 1 -o " + dir.file("x.vkd"), "MURREL_AUDIO=virtual "), 1);
    EXPECT_NE(err().find("--overwrite"), std::string::npos) << err();
    EXPECT_EQ(cli("record --mode sp --seconds 1 -o " + dir.file("y.wav"), "MURREL_AUDIO=virtual "), 1);
    EXPECT_EQ(read_bytes(dir.file("x.vkd")).size(), 3u);
    EXPECT_EQ(read_bytes(dir.file("y.wav")).size(), 3u);
    EXPECT_EQ(cli("record --mode sp --seconds 0 -o " + dir.file("z.wav"), "MURREL_AUDIO=virtual "), 2);
    EXPECT_NE(err().find("--seconds"), std::string::npos) << err();

    // A crashed recording's scratch file is moved aside, never deleted.
    const std::vector<uint8_t> left = {'l', 'e', 'f', 't'};
    write_bytes(dir.file("x.recording.vkd"), left);
    write_bytes(dir.file("x.recovered-1.vkd"), {'1'});
    pid_t pid = spawn({"record", "--mode", "sp", "--seconds", "30", "--overwrite", "-o", dir.file("x.vkd")});
    ASSERT_TRUE(wait_for_size(dir.file("x.recording.vkd"), 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    double took = 0;
    EXPECT_EQ(stop(pid, SIGTERM, took), 143) << err();
    EXPECT_LT(took, 0.2);
    EXPECT_EQ(read_bytes(dir.file("x.recovered-2.vkd")), left);
    EXPECT_NE(err().find("x.recovered-2.vkd"), std::string::npos) << err();
    EXPECT_GT(fs::file_size(dir.file("x.vkd")), 512u);
    EXPECT_FALSE(fs::exists(dir.file("x.recording.vkd")));

    // A WAV recording ends the same way, finalised.
    pid = spawn({"record", "--mode", "sp", "--seconds", "30", "-o", dir.file("w.wav")});
    ASSERT_TRUE(wait_for_size(dir.file("w.wav"), 8000));
    EXPECT_EQ(stop(pid, SIGHUP, took), 129) << err();
    EXPECT_LT(took, 0.2);
    const HeaderSizes h = header_sizes(dir.file("w.wav"));
    EXPECT_GT(h.data, 8000u);
    EXPECT_EQ(h.riff + 8, h.file);
}

TEST_F(CliFaults, PlayReportsAFileCutShortWhilePlaying) {
    write_wav(dir.file("p.wav"), speechlike(16000, 6.0), 16000);
    pid_t pid = spawn({"play", dir.file("p.wav")});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    fs::resize_file(dir.file("p.wav"), 44 + 16000 * 2);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << out() << err();
    EXPECT_NE(err().find("became shorter"), std::string::npos) << err();
    EXPECT_EQ(out().find("played to the end"), std::string::npos) << out();
}

TEST_F(CliFaults, PlayReportsAVoiceFileCutShortOrRemovedWhilePlaying) {
    const std::vector<uint8_t> stream = sp_stream(6.0, 8);
    for (bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "removed" : "cut short");
        write_voice_file(dir.file("v.vkd"), 5, stream);
        pid_t pid = spawn({"play", dir.file("v.vkd")});
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        if (remove) fs::remove(dir.file("v.vkd"));
        else fs::resize_file(dir.file("v.vkd"), 512 + 2000);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1) << out() << err();
        EXPECT_NE(err().find("became shorter or unreadable at 00:00:0"), std::string::npos) << err();
        EXPECT_EQ(out().find("played to the end"), std::string::npos) << out();
    }
}

TEST_F(CliFaults, PlayTakesEveryWavFormatTheProgramReads) {
    if (!have_tool("sox")) GTEST_SKIP() << "sox is not installed";
    write_wav(dir.file("src.wav"), speechlike(8000, 0.4), 8000);
    for (const std::string& encoding : {"-e u-law", "-e a-law", "-e ima-adpcm", "-e ms-adpcm", "-e floating-point", "-b 24"}) {
        SCOPED_TRACE(encoding);
        ASSERT_EQ(run("sox " + dir.file("src.wav") + " " + encoding + " " + dir.file("t.wav") + " 2>/dev/null"), 0);
        pid_t pid = spawn({"play", dir.file("t.wav")});
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << err();
        EXPECT_NE(out().find("played to the end"), std::string::npos) << out() << err();
    }
}

TEST_F(CliFaults, MessagesSayWhatIsWrongAndEveryErrorIsPrefixed) {
    fs::create_directory(dir.file("folder.wav"));
    EXPECT_EQ(cli("info " + dir.file("missing.wav")), 1);
    EXPECT_NE(err().find("missing.wav: No such file or directory"), std::string::npos) << err();
    EXPECT_EQ(cli("decode " + dir.file("missing.vkd") + " " + dir.file("folder.wav")), 1);
    EXPECT_NE(err().find("murrelphonic-cli: " + dir.file("missing.vkd") + ": No such file"), std::string::npos) << err();
    EXPECT_NE(err().find("folder.wav: is a directory"), std::string::npos) << err();
    EXPECT_EQ(err().find("neither"), std::string::npos) << err();
    EXPECT_EQ(cli("play " + dir.file("folder.wav")), 1);
    EXPECT_NE(err().find("is a directory"), std::string::npos) << err();

    write_wav(dir.file("a.wav"), speechlike(16000, 0.3), 16000);
    EXPECT_EQ(cli("encode --mode=hq -q " + dir.file("a.wav")), 0) << err();
    EXPECT_EQ(read_bytes(dir.file("a.vkd"))[16], 6);
    EXPECT_EQ(cli("convert " + dir.file("a.wav") + " --rate=500 --channels 1 --bits 16"), 2);
    EXPECT_NE(err().find("from 1000 to 768000 Hz"), std::string::npos) << err();
    EXPECT_EQ(cli("--version"), 0);
    EXPECT_EQ(out().rfind("murrelphonic-cli ", 0), 0u) << out();

    // Off a terminal no progress line or escape reaches standard error.
    EXPECT_EQ(cli("convert --overwrite " + dir.file("a.wav") + " --rate 8000 --channels 1 --bits 16 -o " +
                  dir.file("b.wav")),
              0);
    EXPECT_EQ(cli("convert " + dir.file("a.wav") + " --rate 8000 --channels 1 --bits 16 -o " + dir.file("b.wav")), 1);
    EXPECT_EQ(err().find('\r'), std::string::npos);
    EXPECT_EQ(err().find('\033'), std::string::npos);
    // Every line of an error begins with the program's name.
    std::istringstream lines(err());
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) EXPECT_EQ(line.rfind("murrelphonic-cli: ", 0), 0u) << line;
}

TEST_F(CliFaults, DecoderMessagesStayOffStandardOutput) {
    // A stream cut out of a longer one: its first frames refer to data before
    // the cut, and the decoder library complains about them.
    std::vector<uint8_t> stream = sp_stream(2.0, 6);
    stream.erase(stream.begin(), stream.begin() + 72 * 20 + 36);
    write_voice_file(dir.file("hurt.vkd"), 5, stream);
    fs::create_directory(dir.file("o"));
    ASSERT_EQ(cli("decode -o " + dir.file("o") + " " + dir.file("hurt.vkd")), 0) << err();
    EXPECT_EQ(out().find("Frame error"), std::string::npos) << out();
    EXPECT_NE(out().find("hurt.vkd -> "), std::string::npos) << out();
    EXPECT_NE(err().find("decoder message(s)"), std::string::npos) << err();
    ASSERT_EQ(cli("decode -q --overwrite -o " + dir.file("o") + " " + dir.file("hurt.vkd")), 0) << err();
    EXPECT_EQ(out(), "");
    EXPECT_EQ(err(), "");
}

TEST_F(CliFaults, StandardInputAndOutputStandForTheFileWithADash) {
    write_voice_file(dir.file("memo.vkd"), 5, sp_stream(2.0, 9));
    const std::string tmp = "TMPDIR=" + dir.path().string() + " ";
    ASSERT_EQ(run("cat " + dir.file("memo.vkd") + " | " + tmp + kCli + " decode -o - - >" + dir.file("piped.wav") + " 2>" +
                  dir.file("err.txt")),
              0)
        << err();
    ASSERT_EQ(cli("decode -q " + dir.file("memo.vkd")), 0) << err();
    // The same file, its header complete, and nothing else on standard output.
    EXPECT_EQ(read_bytes(dir.file("piped.wav")), read_bytes(dir.file("memo.wav")));

    ASSERT_EQ(run("cat " + dir.file("memo.wav") + " | " + tmp + kCli + " encode --mode sp -o - - >" + dir.file("back.vkd") +
                  " 2>" + dir.file("err.txt")),
              0)
        << err();
    EXPECT_GT(read_bytes(dir.file("back.vkd")).size(), 4000u);
    EXPECT_EQ(cli("info " + dir.file("back.vkd")), 0);
    // One file only, and a failure writes nothing to the pipe.
    EXPECT_EQ(cli("decode -o - " + dir.file("memo.vkd") + " " + dir.file("memo.vkd"), tmp), 1);
    EXPECT_EQ(cli("decode -o - " + dir.file("missing.vkd"), tmp), 1);
    EXPECT_EQ(out(), "");
    // Nothing is left in the scratch folder.
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().rfind("murrelphonic-", 0), std::string::npos) << e.path();
}
