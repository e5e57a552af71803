// Voice file <-> WAV conversions end to end, checked against the mpg123 and
// lame commands where a peer says what is right.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>

#include "audio/formats/mmwave.h"
#include "shell/appstate.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"
#include "voicefile/compress.h"
#include "voicefile/decompress.h"
#include "voicefile/fileinfo.h"
#include "voicefile/framereader.h"
#include "voicefile/lamecoder.h"
#include "voicefile/stream_lease.h"
#include "voicefile/tests/audio_fixtures.h"

using namespace murrel;
using namespace murrel::testfix;
namespace fs = std::filesystem;

namespace {

// Stops a conversion after `limit` blocks, as the progress dialog's Cancel does.
class CancelAfter final : public ConversionProgress {
public:
    explicit CancelAfter(int limit) : limit_(limit) {}
    void process_events() override {
        if (++calls_ == limit_) app().convert_cancel = true;
    }
    void set_target(const std::string& t) override { targets.push_back(t); }
    std::vector<std::string> targets;

private:
    int limit_;
    int calls_ = 0;
};

class Conversion : public ::testing::Test {
protected:
    void SetUp() override {
        app().reset();
        app().messages["FM_text_system_errmsg2"] = "cannot create voice file";
        app().messages["FM_text_system_errmsg3"] = "cannot open voice file";
        app().messages["FM_text_system_errmsg11"] = "cannot play or decode";
    }
    void TearDown() override { app().reset(); }

    // WAV -> voice file through the program's path.
    bool encode(const std::string& wav, const std::string& vkd, int codec_type,
                ConversionProgress& progress = no_progress()) {
        TMMWave source;
        source.SetFileName(wav);
        source.OpenFile();
        TLameCoder coder;
        return file_compress(source, vkd, codec_type, coder, progress);
    }
    bool decode(const std::string& vkd, const std::string& wav, ConversionProgress& progress = no_progress(),
                int64_t threshold = kSplitThreshold) {
        Tkoltfile_info info;
        EXPECT_EQ(get_fileinfo(vkd, info), kFileVoice);
        TMMWave scratch;
        return file_decompress(vkd, wav, info, scratch, progress, frame_reader(), threshold);
    }
    std::vector<uint8_t> stream_of(const std::string& vkd) {
        std::vector<uint8_t> b = read_bytes(vkd);
        return std::vector<uint8_t>(b.begin() + 512, b.end());
    }

    testsupport::ScratchDir dir;
    testsupport::ScriptedDialogs dialogs;
};

struct Mode {
    int codec_type;
    int rate;
    int kbps;
    int frame_bytes;  // unpadded frame
};
constexpr Mode kModes[] = {{5, 16000, 16, 72}, {6, 16000, 32, 144}, {7, 22050, 64, 208}};

}  // namespace

TEST_F(Conversion, RoundTripInEveryModeKeepsLengthAndHeaderFields) {
    for (const Mode& m : kModes) {
        SCOPED_TRACE(m.codec_type);
        const std::vector<int16_t> source = speechlike(m.rate, 10.0);
        write_wav(dir.file("src.wav"), source, m.rate);
        ASSERT_TRUE(encode(dir.file("src.wav"), dir.file("Take One.vkd"), m.codec_type));

        std::vector<uint8_t> vkd = read_bytes(dir.file("Take One.vkd"));
        ASSERT_GT(vkd.size(), 512u);
        EXPECT_TRUE(kolt_filecheck(vkd.data()));
        EXPECT_EQ(vkd[16], m.codec_type);
        EXPECT_EQ(vkd[33], m.codec_type - 3);
        EXPECT_EQ(bytearraytodword(vkd.data() + 34, 3), static_cast<uint32_t>(m.kbps * 1000));
        EXPECT_EQ(bytearraytodword(vkd.data() + 39, 1), static_cast<uint32_t>(m.rate));
        EXPECT_EQ(header_title(vkd.data()), "Take One");
        EXPECT_EQ(header_ext(vkd.data()), "vkd");
        // Constant bit rate: ten seconds of stream, plus the frames the flush adds.
        const double expected_stream = m.kbps * 1000 / 8.0 * 10;
        EXPECT_NEAR(static_cast<double>(vkd.size() - 512), expected_stream, expected_stream * 0.03);

        ASSERT_TRUE(decode(dir.file("Take One.vkd"), dir.file("back.wav")));
        Pcm back = read_wav(dir.file("back.wav"));
        ASSERT_TRUE(back.ok);
        EXPECT_EQ(back.rate, m.rate);
        EXPECT_EQ(back.channels, 1);
        // The codec delays the audio by its encoder delay (576) and the
        // decoder's (529); the output then ends within one frame after that.
        const std::size_t delayed = source.size() + 576 + 529;
        EXPECT_GE(back.samples.size(), delayed);
        EXPECT_LT(back.samples.size(), delayed + 576);
        EXPECT_GT(snr_db(source, back.samples, 1200), 8.0);
    }
}

TEST_F(Conversion, TenSecondsOfSpIsAboutTwentyThousandBytesAfterTheHeader) {
    write_wav(dir.file("ten.wav"), speechlike(16000, 10.0), 16000);
    ASSERT_TRUE(encode(dir.file("ten.wav"), dir.file("ten.vkd"), 5));
    const auto size = fs::file_size(dir.file("ten.vkd")) - 512;
    EXPECT_GE(size, 20000u);
    EXPECT_LE(size, 20000u + 1000u);  // the flushed tail is under 0.2 s
    EXPECT_EQ((size) % 72, 0u);       // whole frames only
}

TEST_F(Conversion, OurEncodingIsAcceptedWholeByMpg123AndMatchesTheLameCommand) {
    if (!have_tool("mpg123") || !have_tool("lame")) GTEST_SKIP() << "mpg123 or lame missing";
    for (const Mode& m : kModes) {
        SCOPED_TRACE(m.codec_type);
        const std::vector<int16_t> source = speechlike(m.rate, 8.0, 11);
        write_wav(dir.file("src.wav"), source, m.rate);
        ASSERT_TRUE(encode(dir.file("src.wav"), dir.file("ours.vkd"), m.codec_type));
        write_bytes(dir.file("ours.mp3"), stream_of(dir.file("ours.vkd")));
        const int frames = static_cast<int>(
            (fs::file_size(dir.file("ours.mp3")) + m.frame_bytes / 2) / (m.frame_bytes + (m.rate == 22050 ? 0.5 : 0)));

        ASSERT_EQ(run("mpg123 -q -w " + dir.file("ours_peer.wav") + " " + dir.file("ours.mp3") + " 2>" +
                      dir.file("mpg123.err")),
                  0);
        EXPECT_EQ(read_bytes(dir.file("mpg123.err")).size(), 0u) << "mpg123 complained";
        Pcm ours = read_wav(dir.file("ours_peer.wav"));
        ASSERT_TRUE(ours.ok);
        // Every frame decoded: 576 samples each.
        EXPECT_NEAR(static_cast<double>(ours.samples.size()) / 576.0, frames, 1.0);

        const std::string rate_khz = m.rate == 16000 ? "16" : "22.05";
        ASSERT_EQ(run("lame --silent -t -m m --cbr -b " + std::to_string(m.kbps) + " -p --resample " + rate_khz +
                      " " + dir.file("src.wav") + " " + dir.file("peer.mp3")),
                  0);
        ASSERT_EQ(run("mpg123 -q -w " + dir.file("peer.wav") + " " + dir.file("peer.mp3")), 0);
        Pcm peer = read_wav(dir.file("peer.wav"));
        const double snr_ours = snr_db(source, ours.samples, 1200);
        const double snr_peer = snr_db(source, peer.samples, 1200);
        EXPECT_NEAR(snr_ours, snr_peer, 1.0);
    }
}

TEST_F(Conversion, DecodingLameStreamsMatchesMpg123) {
    if (!have_tool("mpg123") || !have_tool("lame")) GTEST_SKIP() << "mpg123 or lame missing";
    for (const Mode& m : kModes) {
        SCOPED_TRACE(m.codec_type);
        write_wav(dir.file("src.wav"), speechlike(m.rate, 6.0, 3), m.rate);
        const std::string rate_khz = m.rate == 16000 ? "16" : "22.05";
        ASSERT_EQ(run("lame --silent -t -m m --cbr -b " + std::to_string(m.kbps) + " -p --resample " + rate_khz +
                      " " + dir.file("src.wav") + " " + dir.file("peer.mp3")),
                  0);
        ASSERT_EQ(run("mpg123 -q -w " + dir.file("peer.wav") + " " + dir.file("peer.mp3")), 0);
        write_voice_file(dir.file("lame.vkd"), m.codec_type, read_bytes(dir.file("peer.mp3")));
        ASSERT_TRUE(decode(dir.file("lame.vkd"), dir.file("ours.wav")));

        Pcm ours = read_wav(dir.file("ours.wav"));
        Pcm peer = read_wav(dir.file("peer.wav"));
        ASSERT_TRUE(ours.ok);
        // The last frame included: as many samples as the peer.
        ASSERT_EQ(ours.samples.size(), peer.samples.size());
        double sum = 0;
        int worst = 0;
        for (std::size_t i = 0; i < ours.samples.size(); ++i) {
            const int d = std::abs(ours.samples[i] - peer.samples[i]);
            sum += static_cast<double>(d) * d;
            worst = std::max(worst, d);
        }
        EXPECT_LT(std::sqrt(sum / static_cast<double>(ours.samples.size())), 1.0);
        EXPECT_LE(worst, 3);
    }
}

TEST_F(Conversion, CancelledDecodeKeepsAValidShorterWavAndReturnsFalse) {
    write_wav(dir.file("src.wav"), speechlike(16000, 5.0), 16000);
    ASSERT_TRUE(encode(dir.file("src.wav"), dir.file("memo.vkd"), 5));
    CancelAfter cancel(20);
    EXPECT_FALSE(decode(dir.file("memo.vkd"), dir.file("memo.wav"), cancel));
    Pcm part = read_wav(dir.file("memo.wav"));
    ASSERT_TRUE(part.ok);
    // Cancel pressed during the 20th frame's events: the 21st is the last one.
    EXPECT_EQ(part.samples.size(), 21u * 576u);
    EXPECT_TRUE(dialogs.messages.empty());
}

// A decoding started on the user-interface thread while a stopping playback
// still holds the stream: the playback gives it back from an event, so the
// wait must let events run; Cancel during the wait ends it with nothing made.
TEST_F(Conversion, ALeasedDecodingWaitsForTheStreamWhileEventsRunAndCanBeCancelled) {
    write_wav(dir.file("src.wav"), speechlike(16000, 1.0), 16000);
    ASSERT_TRUE(encode(dir.file("src.wav"), dir.file("memo.vkd"), 5));
    Tkoltfile_info info;
    ASSERT_EQ(get_fileinfo(dir.file("memo.vkd"), info), kFileVoice);

    struct ReleaseOnEvents final : ConversionProgress {
        std::optional<StreamLease> held = StreamLease::acquire();
        int events = 0;
        void process_events() override {
            if (++events == 3) held.reset();  // the device's close arrives
        }
    } releasing;
    TMMWave scratch;
    EXPECT_TRUE(file_decompress_leased(dir.file("memo.vkd"), dir.file("memo.wav"), info, scratch, releasing));
    EXPECT_GE(releasing.events, 3);
    EXPECT_GT(read_wav(dir.file("memo.wav")).samples.size(), 16000u);
    EXPECT_FALSE(StreamLease::busy());

    StreamLease held = StreamLease::acquire();
    CancelAfter cancel(2);
    TMMWave scratch2;
    EXPECT_FALSE(file_decompress_leased(dir.file("memo.vkd"), dir.file("other.wav"), info, scratch2, cancel));
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.wav")));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Conversion, CancelledEncodeKeepsWholeFramesAfterACompleteHeader) {
    write_wav(dir.file("src.wav"), speechlike(16000, 5.0), 16000);
    CancelAfter cancel(30);
    EXPECT_FALSE(encode(dir.file("src.wav"), dir.file("part.vkd"), 5, cancel));
    std::vector<uint8_t> vkd = read_bytes(dir.file("part.vkd"));
    ASSERT_GT(vkd.size(), 512u);
    EXPECT_TRUE(kolt_filecheck(vkd.data()));
    EXPECT_EQ((vkd.size() - 512) % 72, 0u);
    // 30 blocks of 576 samples went in; with the flush they all come out.
    EXPECT_GE((vkd.size() - 512) / 72, 30u);
    EXPECT_LT((vkd.size() - 512) / 72, 35u);
    ASSERT_TRUE(decode(dir.file("part.vkd"), dir.file("part.wav")));
    EXPECT_EQ(read_wav(dir.file("part.wav")).samples.size(), (vkd.size() - 512) / 72 * 576);
}

TEST_F(Conversion, LargeOutputIsSplitIntoCompleteNumberedFiles) {
    write_wav(dir.file("src.wav"), speechlike(16000, 6.0), 16000);
    ASSERT_TRUE(encode(dir.file("src.wav"), dir.file("long.vkd"), 5));
    ASSERT_TRUE(decode(dir.file("long.vkd"), dir.file("whole.wav")));
    const std::vector<int16_t> whole = read_wav(dir.file("whole.wav")).samples;

    CancelAfter no_cancel(-1);
    const int64_t threshold = 44 + 100 * 1152;  // a new file every 100 frames
    ASSERT_TRUE(decode(dir.file("long.vkd"), dir.file("out.wav"), no_cancel, threshold));
    std::vector<int16_t> joined;
    std::vector<std::string> names = {dir.file("out.wav")};
    for (int i = 0; fs::exists(split_file_name(dir.file("out.wav"), i)); ++i)
        names.push_back(split_file_name(dir.file("out.wav"), i));
    ASSERT_EQ(names.size(), (whole.size() / 576 + 99) / 100);
    EXPECT_EQ(names[1], dir.file("out_0.wav"));
    for (std::size_t i = 0; i < names.size(); ++i) {
        Pcm part = read_wav(names[i]);
        ASSERT_TRUE(part.ok) << names[i];
        if (i + 1 < names.size()) EXPECT_EQ(part.samples.size(), 100u * 576u) << names[i];
        joined.insert(joined.end(), part.samples.begin(), part.samples.end());
    }
    EXPECT_EQ(joined, whole);
    ASSERT_GE(no_cancel.targets.size(), 2u);
    EXPECT_EQ(no_cancel.targets[0], ">> out.wav");
    EXPECT_EQ(no_cancel.targets[1], dir.file("out_0.wav"));
}

TEST_F(Conversion, UnreadableOrForeignVoiceFilesAreRefusedBeforeAnythingIsCreated) {
    Tkoltfile_info info;
    info.codec_type = 5;
    TMMWave scratch;
    EXPECT_FALSE(file_decompress(dir.file("absent.vkd"), dir.file("a.wav"), info, scratch));
    write_voice_file(dir.file("adpcm.vkd"), 3, std::vector<uint8_t>(4000, 0x11));
    ASSERT_EQ(get_fileinfo(dir.file("adpcm.vkd"), info), kFileVoice);
    EXPECT_FALSE(file_decompress(dir.file("adpcm.vkd"), dir.file("b.wav"), info, scratch));
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string>{"cannot open voice file", "cannot play or decode"}));
    EXPECT_FALSE(fs::exists(dir.file("a.wav")));
    EXPECT_FALSE(fs::exists(dir.file("b.wav")));
}

TEST_F(Conversion, AVoiceFileWithoutFramesWritesNothingAndSaysSo) {
    write_voice_file(dir.file("empty.vkd"), 7, {});
    EXPECT_FALSE(decode(dir.file("empty.vkd"), dir.file("empty.wav")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty.wav")));
    ASSERT_EQ(dialogs.texts().size(), 1u);
    EXPECT_NE(dialogs.texts()[0].find("no audio frames"), std::string::npos) << dialogs.texts()[0];
}

TEST_F(Conversion, TargetThatCannotBeCreatedIsReportedAndTheSourceStaysAttached) {
    write_wav(dir.file("src.wav"), speechlike(16000, 1.0), 16000);
    TMMWave source;
    source.SetFileName(dir.file("src.wav"));
    source.OpenFile();
    TLameCoder coder;
    EXPECT_FALSE(file_compress(source, dir.file("no/such/folder/x.vkd"), 5, coder));
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"cannot create voice file"});
    EXPECT_EQ(source.FileName(), dir.file("src.wav"));
}

// A disk that fills up midway: the process may write only so many bytes per
// file. The encoding stops with the error box and false; what is on disk is a
// valid voice file of whole frames.
TEST_F(Conversion, FullDiskStopsTheEncodingAndKeepsAValidPartialFile) {
    write_wav(dir.file("src.wav"), speechlike(16000, 5.0), 16000);
    const rlim_t limit = 512 + 72 * 40 + 30;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        testsupport::ScriptedDialogs child_dialogs;
        TMMWave source;
        source.SetFileName(dir.file("src.wav"));
        source.OpenFile();
        rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        TLameCoder coder;
        const bool ok = file_compress(source, dir.file("full.vkd"), 5, coder);
        const bool told = child_dialogs.texts() == std::vector<std::string>{"cannot create voice file"};
        _exit(!ok && told ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "file_compress did not fail with the box";
    std::vector<uint8_t> vkd = read_bytes(dir.file("full.vkd"));
    ASSERT_GT(vkd.size(), 512u);
    EXPECT_LE(vkd.size(), limit);
    EXPECT_TRUE(kolt_filecheck(vkd.data()));
    EXPECT_EQ((vkd.size() - 512) % 72, 0u);
    ASSERT_TRUE(decode(dir.file("full.vkd"), dir.file("full.wav")));
    EXPECT_EQ(read_wav(dir.file("full.wav")).samples.size(), (vkd.size() - 512) / 72 * 576);
}

TEST_F(Conversion, RecordingBuffersAppendFramesAndTheCloseFlushesTheTail) {
    app().temp_recording_path = dir.file("temp_recording.vkd");
    KoltHeader h = make_recording_header(5, 2, app().temp_recording_path);
    write_bytes(app().temp_recording_path, std::vector<uint8_t>(h.begin(), h.end()));
    TLameCoder coder;
    setup_coder_for_mode(coder, 5);
    ASSERT_EQ(coder.PrepareEncoding(), BE_ERR_SUCCESSFUL);
    const std::vector<int16_t> audio = speechlike(16000, 2.0);
    std::size_t last_size = 512;
    for (std::size_t off = 0; off + 576 <= audio.size(); off += 576) {
        ASSERT_TRUE(file_compressrec(coder, audio.data() + off, 576 * 2));
        const std::size_t size = fs::file_size(app().temp_recording_path);
        EXPECT_GE(size, last_size);  // on disk after every buffer
        last_size = size;
    }
    ASSERT_TRUE(file_compressrec_close(coder));
    EXPECT_FALSE(coder.stream_open());
    const std::size_t final_size = fs::file_size(app().temp_recording_path);
    EXPECT_GT(final_size, last_size);  // the held-back frames
    EXPECT_GE((final_size - 512) / 72 * 576, audio.size());

    fs::remove(app().temp_recording_path);
    ASSERT_EQ(coder.PrepareEncoding(), BE_ERR_SUCCESSFUL);
    EXPECT_FALSE(file_compressrec(coder, audio.data(), 1152));
}
