// Playback speed in the program as shipped: a voice file of a 1 kHz tone
// played at 50 % and at 200 %, set with the strip's slower and faster
// buttons, heard at the test sound server's sink for twice and half its
// length at its own pitch; the same at half speed in the Voice Editor, set by
// its keys; a change of speed while playing, heard at the sink without a
// break or a click and in force for the rest; and speech at 75 % from the
// command-line tool, whose voice keeps its fundamental.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <thread>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"
#include "testsupport/signal_match.h"

using namespace murrel::e2e;
using murrel::testsupport::rms;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 16000;

// The strip's speed buttons, either side of the speed LED in the display.
constexpr QPoint kSlower{584, 123};
constexpr QPoint kFaster{634, 123};

std::vector<int16_t> tone(double seconds, double hz) {
    std::vector<int16_t> s(static_cast<size_t>(kRate * seconds));
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * hz * i / kRate));
    return s;
}

// `first` Hz for `seconds_first`, then `then` Hz for `seconds_then`, the
// phase running on through the change.
std::vector<int16_t> two_tones(double seconds_first, double first, double seconds_then, double then) {
    std::vector<int16_t> s(static_cast<size_t>(kRate * (seconds_first + seconds_then)));
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        phase += 2 * M_PI * (i < kRate * seconds_first ? first : then) / kRate;
        s[i] = static_cast<int16_t>(9000 * std::sin(phase));
    }
    return s;
}

// Speech-like: a pulse train at `f0` through three vowel formants that change
// every 180 ms, in words of 1.08 s with pauses of 0.12 s.
std::vector<int16_t> speech(double seconds, double f0) {
    const double vowels[5][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {530, 1840, 2480},
                                 {570, 840, 2410}, {300, 870, 2240}};
    std::vector<double> y(static_cast<size_t>(kRate * seconds));
    double state[3][2] = {};
    double phase = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        const double t = double(i) / kRate;
        const double word = std::fmod(t, 1.2);
        const int v = static_cast<int>(t / 0.18) % 5;
        phase += f0 / kRate;
        const double x = phase >= 1 ? (phase -= 1, 1.0) : 0.0;
        double out = 0;
        for (int k = 0; k < 3; ++k) {
            const double r = std::exp(-M_PI * (60 + 30 * k) / kRate);
            const double a1 = 2 * r * std::cos(2 * M_PI * vowels[v][k] / kRate), a2 = -r * r;
            const double s = (1 - r) * x + a1 * state[k][0] + a2 * state[k][1];
            state[k][1] = state[k][0];
            state[k][0] = s;
            out += s * (k == 0 ? 1.0 : 0.6);
        }
        y[i] = word < 1.08 ? out * std::min(1.0, std::min(word, 1.08 - word) / 0.03) : 0;
    }
    double peak = 1e-9;
    for (double v : y) peak = std::max(peak, std::fabs(v));
    std::vector<int16_t> s(y.size());
    for (size_t i = 0; i < y.size(); ++i) s[i] = static_cast<int16_t>(20000 * y[i] / peak);
    return s;
}

// First and last sample of the audible part (10 ms windows above a floor).
std::pair<size_t, size_t> audible_span(const std::vector<int16_t>& s) {
    const size_t w = kRate / 100;
    size_t first = 0, last = 0;
    bool found = false;
    for (size_t at = 0; at + w <= s.size(); at += w) {
        if (rms(s, at, w) > 500) {
            if (!found) first = at;
            found = true;
            last = at + w;
        }
    }
    return {first, last};
}

// Frequency from rising zero crossings over [from, to).
double frequency(const std::vector<int16_t>& x, size_t from, size_t to) {
    double first = -1, last = -1;
    int n = 0;
    for (size_t i = from + 1; i < to && i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = double(i - 1) + double(x[i - 1]) / (double(x[i - 1]) - x[i]);
            if (first < 0) first = t;
            else ++n;
            last = t;
        }
    }
    return n > 0 ? n * double(kRate) / (last - first) : 0;
}

// Median fundamental of the voiced 40 ms frames (normalised autocorrelation).
double median_f0(const std::vector<int16_t>& x) {
    std::vector<double> f;
    const size_t len = kRate * 40 / 1000;
    for (size_t at = 0; at + len + kRate / 60 < x.size(); at += kRate / 100) {
        if (rms(x, at, len) < 800) continue;
        double best = 0;
        int lag_best = 0;
        for (int lag = kRate / 400; lag <= kRate / 60; ++lag) {
            double c = 0, e1 = 0, e2 = 0;
            for (size_t i = 0; i < len; ++i) {
                c += double(x[at + i]) * x[at + i + lag];
                e1 += double(x[at + i]) * x[at + i];
                e2 += double(x[at + i + lag]) * x[at + i + lag];
            }
            const double r = c / std::sqrt(e1 * e2 + 1e-9);
            if (r > best) {
                best = r;
                lag_best = lag;
            }
        }
        if (best > 0.6 && lag_best > 0) f.push_back(double(kRate) / lag_best);
    }
    if (f.empty()) return 0;
    std::nth_element(f.begin(), f.begin() + f.size() / 2, f.end());
    return f[f.size() / 2];
}

// A 1 kHz tone heard for `seconds` (within 2 % and the encoder's and
// decoder's delay with the 10 ms windows, about 0.05 s) at its own pitch.
void expect_tone_lasting(const std::vector<int16_t>& heard, double seconds) {
    const auto [first, last] = audible_span(heard);
    ASSERT_GT(last, first) << "nothing heard";
    EXPECT_NEAR(double(last - first) / kRate, seconds, seconds * 0.02 + 0.05);
    const size_t margin = (last - first) / 10;
    EXPECT_NEAR(frequency(heard, first + margin, last - margin), 1000.0, 20.0);
}

// The program's INI file once it has ended.
std::string ini_text(const Program& program) {
    std::ifstream ini(program.folders().bin / "Murrelphonic.ini");
    return std::string((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
}

class Speed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new fs::path(fs::temp_directory_path() / ("murrel-e2e-speed-" + std::to_string(::getpid())));
        fs::create_directories(*scratch_);
        const std::string wav = (*scratch_ / "a_tone.wav").string();
        write_wav16(wav, tone(4.0, 1000), kRate, 1);
        ASSERT_TRUE(cli({"encode", wav, "--mode", "sp", "-o", scratch_->string(), "--quiet"}));
        const std::string steps = (*scratch_ / "c_steps.wav").string();
        write_wav16(steps, two_tones(3.0, 800, 2.0, 1200), kRate, 1);
        ASSERT_TRUE(cli({"encode", steps, "--mode", "sp", "-o", scratch_->string(), "--quiet"}));
        const std::string talk = (*scratch_ / "b_talk.wav").string();
        write_wav16(talk, speech(4.8, 150), kRate, 1);
        ASSERT_TRUE(cli({"encode", talk, "--mode", "hq", "-o", scratch_->string(), "--quiet"}));
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*scratch_, ec);
        delete scratch_;
    }
    void SetUp() override {
        std::string why;
        if (sound_server(why).empty()) {
            if (std::getenv("CI")) FAIL() << why;
            GTEST_SKIP() << why;
        }
        fs::copy_file(*scratch_ / "a_tone.vkd", program.folders().data() / "a_tone.vkd");
    }
    static fs::path& scratch() { return *scratch_; }

    Program program;

private:
    static fs::path* scratch_;
};

fs::path* Speed::scratch_ = nullptr;

TEST_F(Speed, AToneVoiceFileLastsTwiceAsLongAtHalfSpeedAndHalfAsLongAtDoubleAtItsOwnPitch) {
    ASSERT_GT(program.start(), 0);
    ASSERT_NE(program.main_window(), 0u) << "the main window never appeared";
    program.click(layout::list_row(0));
    struct Case {
        int clicks;
        QPoint button;
        double seconds;
        const char* shot;
    };
    // From 100 %: ten steps down to 50 %, then thirty up to 200 %.
    for (Case c : {Case{10, kSlower, 8.0, "speed_50"}, Case{30, kFaster, 2.0, "speed_200"}}) {
        SCOPED_TRACE(c.shot);
        for (int i = 0; i < c.clicks; ++i) program.click(c.button);
        layout::pause_s(0.3);
        program.shot(c.shot);
        SinkRecording sink;
        ASSERT_TRUE(sink.ok());
        program.click(layout::list_row(0));
        program.click(layout::kPlay);
        layout::pause_s(c.seconds + 1.5);
        expect_tone_lasting(sink.stop(), c.seconds);
    }
    // The speed is kept for the window in the INI file.
    program.close();
    EXPECT_NE(ini_text(program).find("MainSpeed=200"), std::string::npos);
}

TEST_F(Speed, SlowingDownWhilePlayingIsHeardWithoutABreakOrAClickAndHoldsForTheRest) {
    // Three seconds at 800 Hz, then two at 1200 Hz; ten steps slower clicked
    // while the first tone plays, each taking back the audio queued at the
    // speed before it.
    fs::copy_file(scratch() / "c_steps.vkd", program.folders().data() / "c_steps.vkd");
    ASSERT_GT(program.start(), 0);
    ASSERT_NE(program.main_window(), 0u) << "the main window never appeared";
    program.click(layout::list_row(1));
    SinkRecording sink;
    ASSERT_TRUE(sink.ok());
    program.click(layout::kPlay);
    layout::pause_s(0.3);
    for (int i = 0; i < 10; ++i) program.click(kSlower);
    layout::pause_s(7.5);
    const std::vector<int16_t> heard = sink.stop();
    const auto [first, last] = audible_span(heard);
    ASSERT_GT(last, first + kRate) << "nothing heard";
    // Where the second tone begins (20 ms windows).
    const size_t w = kRate / 50;
    size_t change = 0;
    for (size_t at = first + w; at + w <= last; at += w / 2) {
        if (frequency(heard, at, at + w) > 1000) {
            change = at;
            break;
        }
    }
    ASSERT_GT(change, first) << "the second tone was never heard";
    // All of the second tone at half speed; the first slowed down before its end.
    EXPECT_NEAR(double(last - change) / kRate, 4.0, 4.0 * 0.02 + 0.05);
    EXPECT_GT(double(change - first) / kRate, 3.4);
    EXPECT_NEAR(frequency(heard, first + w, change - w), 800.0, 16.0);
    EXPECT_NEAR(frequency(heard, change + w, last - w), 1200.0, 24.0);
    // No break: every 5 ms of the tone near its usual loudness (but the first
    // few, where the codec sets in, and the last, where the stretcher empties
    // its window); no click:
    // no step between two samples beyond what the tone itself takes
    // (9000 × 2π × 1200 / 16000 ≈ 4200) and the codec's noise.
    const size_t v = kRate / 200;
    std::vector<double> levels;
    for (size_t at = first + kRate / 25; at + v + kRate / 25 <= last; at += v) levels.push_back(rms(heard, at, v));
    std::vector<double> sorted = levels;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double typical = sorted[sorted.size() / 2];
    const auto quietest = std::min_element(levels.begin(), levels.end());
    EXPECT_GT(*quietest, typical * 0.5) << "a break "
                                        << (double(quietest - levels.begin()) * v + kRate / 25) / kRate
                                        << " s into the sound";
    int steepest = 0;
    for (size_t i = first + 1; i < last; ++i) steepest = std::max(steepest, std::abs(heard[i] - heard[i - 1]));
    EXPECT_LT(steepest, 6500);
    program.close();
    EXPECT_NE(ini_text(program).find("MainSpeed=50"), std::string::npos);
}

TEST_F(Speed, InTheVoiceEditorATwoSecondToneLastsFourSecondsAtHalfSpeedAtItsOwnPitch) {
    const std::string wav = (program.folders().root / "memo.wav").string();
    write_wav16(wav, tone(2.0, 1000), kRate, 1);
    ASSERT_GT(program.start({"--edit", wav}), 0);
    const auto editor = program.find_window("^Voice Editor$", 20s);
    ASSERT_TRUE(editor) << "the editor did not open";
    layout::pause_s(0.5);
    // An empty stretch of the transport bar, so that the editor has the keys;
    // then ten steps slower by the typing-along key.
    const QSize size = program.geometry(*editor).size();
    program.click({size.width() / 2 + 60, size.height() - 22 - 25}, 1, *editor);
    for (int i = 0; i < 10; ++i) program.key("ctrl+F7");
    layout::pause_s(0.3);
    program.shot("editor_speed_50", *editor);
    SinkRecording sink;
    ASSERT_TRUE(sink.ok());
    program.key("space");
    layout::pause_s(4.0 + 1.5);
    expect_tone_lasting(sink.stop(), 4.0);
    // The editor's speed is its own, kept beside the main window's.
    program.close();
    const std::string text = ini_text(program);
    EXPECT_NE(text.find("EditSpeed=50"), std::string::npos);
    EXPECT_EQ(text.find("MainSpeed=50"), std::string::npos);
}

TEST_F(Speed, SpeechAtThreeQuartersSpeedKeepsItsFundamental) {
    const std::string file = (scratch() / "b_talk.vkd").string();
    const std::vector<int16_t> plain = [&] {
        SinkRecording sink;
        EXPECT_TRUE(cli({"play", file}));
        return sink.stop();
    }();
    SinkRecording sink;
    ASSERT_TRUE(sink.ok());
    ASSERT_TRUE(cli({"play", file, "--speed", "75"}));
    const std::vector<int16_t> slow = sink.stop();
    const double f_plain = median_f0(plain), f_slow = median_f0(slow);
    ASSERT_GT(f_plain, 100.0);
    EXPECT_NEAR(f_slow / f_plain, 1.0, 0.03);
    const auto [a0, a1] = audible_span(plain);
    const auto [b0, b1] = audible_span(slow);
    EXPECT_NEAR(double(b1 - b0) / double(a1 - a0), 4.0 / 3.0, 0.05);
}

}  // namespace
