// Recording through PortAudio from the test sound server's monitor while a
// tone plays into its sink: a dictation in SHQ saved and decoded back, and a
// recording whose program is killed outright, which must leave a voice file
// of whole frames that the next start recovers. Skipped (with the reason)
// when the server cannot be reached.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

#include "audio/devices/portaudio_backend.h"
#include "player/tests/player_fixture.h"
#include "shell/startup.h"
#include "testsupport/cli_program.h"
#include "testsupport/sound_server.h"

using namespace murrel;
using namespace murrel::testsupport;
using namespace murrel::playertest;
namespace fs = std::filesystem;

namespace {

constexpr double kToneHz = 1000;

// Share of the power of `s` (from `from`, `n` samples) that lies at `hz`:
// 1 for a clean tone, about 0 for noise or silence.
double tone_share(const std::vector<int16_t>& s, size_t from, size_t n, int rate, double hz) {
    double c = 0, q = 0, power = 0;
    for (size_t i = 0; i < n; ++i) {
        double v = s[from + i];
        double w = 2 * 3.14159265358979 * hz * static_cast<double>(i) / rate;
        c += v * std::cos(w);
        q += v * std::sin(w);
        power += v * v;
    }
    if (power <= 0) return 0;
    return 2 * (c * c + q * q) / (static_cast<double>(n) * power);
}

// Walks the MPEG-2 Layer III frame headers of `stream`: false when one is
// not a frame header. `frames` counts them; `missing` is how many bytes the
// last frame lacks (0 when the stream ends on a frame boundary).
bool frame_walk(const std::vector<uint8_t>& stream, int& frames, size_t& missing) {
    static const int kbps[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    static const int rates[2][3] = {{11025, 12000, 8000}, {22050, 24000, 16000}};
    size_t pos = 0;
    frames = 0;
    while (pos + 4 <= stream.size()) {
        const uint8_t* h = &stream[pos];
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
        int version = (h[1] >> 3) & 3;  // 0: MPEG-2.5, 2: MPEG-2
        int rate_index = (h[2] >> 2) & 3;
        int bitrate = kbps[h[2] >> 4];
        if ((version != 0 && version != 2) || rate_index == 3 || bitrate == 0) return false;
        int rate = rates[version == 2 ? 1 : 0][rate_index];
        pos += static_cast<size_t>(72000 * bitrate / rate + ((h[2] >> 1) & 1));
        ++frames;
    }
    if (pos < stream.size()) return false;  // a stray tail shorter than a header
    missing = pos - stream.size();
    return true;
}

class PortAudioRecording : public ::testing::Test {
protected:
    void SetUp() override {
        address = server_address();
        if (!server_reachable(address)) GTEST_SKIP() << "sound server not reachable (scripts/soundserver start)";
        lock_fd = open((sound_dir() + "/test.lock").c_str(), O_CREAT | O_RDWR, 0600);
        ASSERT_GE(lock_fd, 0);
        flock(lock_fd, LOCK_EX);
        setenv("PULSE_SERVER", address.c_str(), 1);
        app().reset();
        write_wav(scratch.file("tone.wav"), tone(48000, 12.0, kToneHz, 9000), 48000, 1);
    }
    void TearDown() override {
        app().reset();
        if (lock_fd >= 0) close(lock_fd);
    }
    // The tone playing into the sink, whose monitor is the default source.
    std::unique_ptr<Child> play_tone() {
        auto player = std::make_unique<Child>(
            std::vector<std::string>{"paplay", "-s", address, "-d", "murrel_sink", scratch.file("tone.wav")});
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return player;
    }

    std::string address;
    int lock_fd = -1;
    testsupport::ScratchDir scratch;
    testsupport::ScriptedDialogs dialogs;
};

TEST_F(PortAudioRecording, AToneRecordedInShqIsSavedAndDecodesBackToTheTone) {
    std::unique_ptr<AudioBackend> backend = make_portaudio_backend();
    ASSERT_GT(backend->in_num_devs(), 0);
    PumpDispatcher ui;
    app().temp_dir = scratch.file("tempdata");
    fs::create_directories(app().temp_dir);
    app().temp_recording_path = app().temp_dir + "/temp_recording.vkd";
    std::unique_ptr<Child> player = play_tone();
    {
        PlayerStrip strip(backend.get(), &ui);
        strip.ListDirectory = [&] { return scratch.path().string(); };
        strip.button_shqrecordClick();
        ASSERT_TRUE(strip.recording());
        ASSERT_TRUE(ui.pump_until([&] { return strip.recorder().Position() >= 2000; }, std::chrono::seconds(10)));
        dialogs.save_answers.push_back(scratch.file("memo"));
        strip.button_stopClick();
        ASSERT_TRUE(ui.pump_until([&] { return !strip.recorder().Device().IsOpen(); }, std::chrono::seconds(10)));
    }
    player->stop();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.texts().front();

    std::vector<uint8_t> file = read_file(scratch.file("memo.vkd"));
    ASSERT_GT(file.size(), 512u);
    EXPECT_EQ(file[kolt::kCodecType], 7);
    EXPECT_EQ(header_title(file.data()), "memo");
    std::vector<uint8_t> stream(file.begin() + 512, file.end());
    int frames = 0;
    size_t missing = 0;
    EXPECT_TRUE(frame_walk(stream, frames, missing));
    EXPECT_EQ(missing, 0u) << "the flush at the stop completes the last frame";
    std::vector<int16_t> decoded = as_samples(expected_playback(stream, 1));
    // Two seconds at 22,050 Hz, and the tone throughout its middle.
    ASSERT_GE(decoded.size(), 44100u);
    for (size_t from : {11025u, 22050u, 33075u}) {
        SCOPED_TRACE(from);
        EXPECT_GT(tone_share(decoded, from, 4410, 22050, kToneHz), 0.9);
    }
}

TEST_F(PortAudioRecording, ARecordingKilledMidwayLeavesWholeFramesThatTheNextStartRecovers) {
    MURREL_REQUIRE_CLI_PROGRAM();
    const std::string cli = murrel::testsupport::cli_program();
    const std::string target = scratch.file("killed.vkd");
    const std::string part = scratch.file("killed.recording.vkd");
    std::unique_ptr<Child> player = play_tone();
    {
        Child recorder({cli, "record", "--mode", "sp", "--seconds", "60", "-o", target});
        ASSERT_TRUE(recorder.ok());
        // About three seconds of SP (2,000 bytes a second) behind the header.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        std::error_code ec;
        while (std::chrono::steady_clock::now() < deadline &&
               !(fs::exists(part, ec) && fs::file_size(part, ec) > 512 + 6000))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        recorder.kill_now();
    }
    player->stop();
    ASSERT_TRUE(fs::exists(part));
    EXPECT_FALSE(fs::exists(target));
    std::vector<uint8_t> file = read_file(part);
    ASSERT_GT(file.size(), 512u + 6000u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "QRVM");
    EXPECT_EQ(file[kolt::kCodecType], 5);
    std::vector<uint8_t> stream(file.begin() + 512, file.end());
    // The encoder hands out a frame's header ahead of the rest of its data,
    // so a killed recording may end inside its last frame (which decoding
    // drops); everything before it is whole frames.
    int frames = 0;
    size_t missing = 0;
    EXPECT_TRUE(frame_walk(stream, frames, missing));
    EXPECT_LT(missing, 72u);
    EXPECT_GT(frames, 80);  // 36 ms each
    std::vector<int16_t> decoded = as_samples(expected_playback(stream, 1));
    ASSERT_GT(decoded.size(), 16000u * 2);
    EXPECT_GT(tone_share(decoded, 16000, 8000, 16000, kToneHz), 0.9);

    // The next start finds it as the leftover scratch recording.
    testsupport::ScratchDir program;
    fs::create_directories(program.file("tempdata"));
    fs::copy_file(part, program.file("tempdata/temp_recording.vkd"));
    app().reset();
    StartupOptions options;
    options.program_dir = program.path().string();
    options.fallback_dir = program.file("fallback");
    options.patch_recovered = [](const std::string& path) { return patch_saved_recording(path); };
    StartupResult started = start_up(options);
    ASSERT_TRUE(started.ok);
    ASSERT_EQ(started.recovered.size(), 1u);
    EXPECT_FALSE(fs::exists(program.file("tempdata/temp_recording.vkd")));
    std::vector<uint8_t> recovered = read_file(started.recovered.front());
    ASSERT_EQ(recovered.size(), file.size());
    EXPECT_TRUE(std::equal(recovered.begin() + 512, recovered.end(), file.begin() + 512));
    EXPECT_EQ(std::string(recovered.begin() + 240, recovered.begin() + 244), std::string("VKD\0", 4));
    EXPECT_EQ(header_title(recovered.data()), fs::path(started.recovered.front()).stem().string());
    EXPECT_EQ(dialogs.messages.size(), 1u);  // told once where it went
}

}  // namespace
