// Playback in the program as shipped: the real binary started from a copy of
// build/bin, a voice file and WAV files in its data folder, played with the
// play button, a double click and Enter, paused, resumed, sought with the
// position slider and made quieter with the volume slider, and heard at the
// test sound server's sink.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"
#include "testsupport/signal_match.h"
#include "testsupport/test_signals.h"

using namespace murrel::e2e;
using murrel::testsupport::find_signal;
using murrel::testsupport::rms;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 16000;
constexpr double kSeconds = 6.0;

// A glide from 300 Hz to 1.5 kHz with a slow swell, so that any half second
// of it is found at one place only.
std::vector<int16_t> glide() { return murrel::testsupport::glide(300, 1500, kSeconds, kRate, 9000, true); }

using murrel::testsupport::part;

class Playback : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new fs::path(fs::temp_directory_path() / ("murrel-e2e-play-" + std::to_string(::getpid())));
        fs::create_directories(*scratch_);
        const std::string wav = (*scratch_ / "a_voice.wav").string();
        write_wav16(wav, glide(), kRate, 1);
        ASSERT_TRUE(cli({"encode", wav, "--mode", "sp", "-o", scratch_->string(), "--quiet"}));
        fs::remove(wav);
        fs::create_directories(*scratch_ / "ref");
        ASSERT_TRUE(cli({"decode", (*scratch_ / "a_voice.vkd").string(), "-o", (*scratch_ / "ref").string(),
                         "--quiet"}));
        decoded_ = new std::vector<int16_t>(read_wav16((*scratch_ / "ref/a_voice.wav").string()));
        ASSERT_GT(decoded_->size(), static_cast<size_t>(kRate * (kSeconds - 0.2)));
        write_wav16((*scratch_ / "b_pcm.wav").string(), glide(), kRate, 1);
        // The same glide as µ-law, and what the peer decodes it to.
        const std::string ulaw = (*scratch_ / "c_ulaw.wav").string();
        const std::string back = (*scratch_ / "ref/c_ulaw.wav").string();
        ASSERT_EQ(run_command({"sox", (*scratch_ / "b_pcm.wav").string(), "-e", "u-law", "-b", "8", ulaw}).size(), 0u);
        int status = -1;
        run_command({"sox", ulaw, "-e", "signed-integer", "-b", "16", back}, &status);
        ASSERT_EQ(status, 0);
        ulaw_decoded_ = new std::vector<int16_t>(read_wav16(back));
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*scratch_, ec);
        delete scratch_;
        delete decoded_;
        delete ulaw_decoded_;
    }

    void SetUp() override {
        std::string why;
        if (sound_server(why).empty()) {
            if (std::getenv("CI")) FAIL() << why;
            GTEST_SKIP() << why;
        }
        for (const char* name : {"a_voice.vkd", "b_pcm.wav", "c_ulaw.wav"})
            fs::copy_file(*scratch_ / name, program.folders().data() / name);
    }

    // Starts the program and waits for its window.
    void start() {
        ASSERT_GT(program.start(), 0);
        ASSERT_NE(program.main_window(), 0u) << "the main window never appeared";
        ASSERT_EQ(program.geometry(program.main_window()).size(), QSize(layout::kWidth, layout::kHeight));
    }

    // `expected` is heard whole: three stretches found at one and the same
    // lag, each correlating above 0.95.
    static void expect_heard_whole(const std::vector<int16_t>& heard, const std::vector<int16_t>& expected,
                                   const std::string& how) {
        long first = 0;
        for (double at : {0.5, 2.5, 4.5}) {
            const auto m = find_signal(heard, part(expected, at, 0.5));
            EXPECT_GT(m.correlation, 0.95) << how << ": the stretch at " << at << " s";
            const long offset = static_cast<long>(m.lag) - static_cast<long>(at * kRate);
            if (at == 0.5)
                first = offset;
            else
                EXPECT_NEAR(offset, first, 16) << how << ": a dropout or a repeat before " << at << " s";
        }
    }

    static std::vector<int16_t>& decoded() { return *decoded_; }
    static std::vector<int16_t>& ulaw_decoded() { return *ulaw_decoded_; }

    Program program;

private:
    static fs::path* scratch_;
    static std::vector<int16_t>* decoded_;
    static std::vector<int16_t>* ulaw_decoded_;
};

fs::path* Playback::scratch_ = nullptr;
std::vector<int16_t>* Playback::decoded_ = nullptr;
std::vector<int16_t>* Playback::ulaw_decoded_ = nullptr;

TEST_F(Playback, AVoiceFileIsHeardWholeFromThePlayButtonAndStartsFromADoubleClickAndFromEnter) {
    start();
    {
        SinkRecording sink;
        ASSERT_TRUE(sink.ok());
        program.click(layout::list_row(0));
        program.click(layout::kPlay);
        layout::pause_s(1.0);
        program.shot("voice_playing");
        layout::pause_s(kSeconds);
        expect_heard_whole(sink.stop(), decoded(), "play button");
    }
    {
        SinkRecording sink;
        program.double_click(layout::list_row(0));
        layout::pause_s(1.6);
        program.click(layout::kStop);
        const auto m = find_signal(sink.stop(), part(decoded(), 0.3, 0.5));
        EXPECT_GT(m.correlation, 0.95) << "double click";
    }
    {
        SinkRecording sink;
        program.click(layout::list_row(0));
        program.key("Return");
        layout::pause_s(1.6);
        program.click(layout::kStop);
        const auto m = find_signal(sink.stop(), part(decoded(), 0.3, 0.5));
        EXPECT_GT(m.correlation, 0.95) << "Enter";
    }
}

TEST_F(Playback, PauseHoldsThePlaceAndPlayResumesThere) {
    // Without the rewind on resume that typing along wants: the place itself.
    {
        std::ofstream ini(program.folders().bin / "Murrelphonic.ini", std::ios::app);
        ini << "\n[Playback]\nRewindMs=0\n";
    }
    start();
    SinkRecording sink;
    program.click(layout::list_row(0));
    program.click(layout::kPlay);
    layout::pause_s(2.0);
    program.click(layout::kPause);
    layout::pause_s(1.5);
    program.shot("voice_paused");
    program.click(layout::kPlay);
    layout::pause_s(kSeconds - 1.0);
    const std::vector<int16_t> heard = sink.stop();

    const auto before = find_signal(heard, part(decoded(), 0.8, 0.5));
    const auto after = find_signal(heard, part(decoded(), 3.5, 0.5));
    EXPECT_GT(before.correlation, 0.95);
    EXPECT_GT(after.correlation, 0.95);
    // Between them: the 2.7 s of audio plus the pause, which was silent.
    const double gap = (double(after.lag) - double(before.lag)) / kRate - 2.7;
    EXPECT_GT(gap, 1.0) << "the pause did not hold";
    EXPECT_LT(gap, 2.5);
    const size_t pause_mid = before.lag + static_cast<size_t>((1.2 + 0.4 + gap / 2) * kRate);
    EXPECT_LT(rms(heard, pause_mid - kRate / 4, kRate / 2), 100.0) << "sound during the pause";
}

TEST_F(Playback, AClickOnThePositionSliderSeeksAndTheVolumeSliderMakesItQuieter) {
    start();
    {
        SinkRecording sink;
        program.click(layout::list_row(0));
        program.click(layout::kPlay);
        layout::pause_s(0.8);
        program.click(layout::position_slider(0.75));  // 4.5 s
        // Long enough for a loaded machine's latency: the file ends at 6 s.
        layout::pause_s(2.0);
        program.click(layout::kStop);
        const std::vector<int16_t> heard = sink.stop();
        // Some stretch past the seek's place is heard whole (which one depends
        // on how fast a loaded machine answers the click).
        double best = 0;
        for (double at = 4.6; at <= 5.4; at += 0.2)
            best = std::max(best, find_signal(heard, part(decoded(), at, 0.4)).correlation);
        EXPECT_GT(best, 0.95) << "not heard after the seek";
        EXPECT_LT(find_signal(heard, part(decoded(), 2.0, 0.4)).correlation, 0.6) << "the seek did not skip";
    }
    double full_level = 0;
    for (double volume : {1.0, 0.25}) {
        program.click(layout::volume_slider(volume));
        const std::vector<int16_t> heard = layout::hear_row(program, 0, 2.0);
        const auto m = find_signal(heard, part(decoded(), 0.5, 1.0));
        ASSERT_GT(m.correlation, 0.95) << "volume " << volume;
        const double level = rms(heard, m.lag, kRate);
        if (volume == 1.0) {
            full_level = level;
            EXPECT_GT(level, 0.5 * rms(decoded(), kRate / 2, kRate));
        } else {
            program.shot("volume_quarter");
            EXPECT_GT(level / full_level, 0.1);
            EXPECT_LT(level / full_level, 0.45);
        }
    }
}

TEST_F(Playback, AWavFileIsHeardWholeFromThePlayButton) {
    start();
    SinkRecording sink;
    program.click(layout::list_row(1));
    program.click(layout::kPlay);
    layout::pause_s(kSeconds + 1.0);
    program.shot("wav_played");
    expect_heard_whole(sink.stop(), glide(), "16-bit WAV");
}

TEST_F(Playback, AMuLawWavFileIsHeardWholeThroughTheConversionChain) {
    start();
    SinkRecording sink;
    program.click(layout::list_row(2));
    program.click(layout::kPlay);
    layout::pause_s(kSeconds + 1.0);
    expect_heard_whole(sink.stop(), ulaw_decoded(), "µ-law WAV");
}

}  // namespace
