// The time-stretch link between a source and the device: speed with the
// pitch kept, file time from the device's position, and speed changes that
// neither break nor click the signal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "audio/devices/mmdsp_stretch.h"
#include "audio/devices/virtual_backend.h"
#include "audio/devices/waveout.h"
#include "testsupport/scripted_dialogs.h"

using namespace murrel;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A sine of `frames` frames on every channel (the right channel at half the
// amplitude, so that a swap would show), in 16 or 8 bits.
class ToneSource : public TMMDSPComponent {
public:
    ToneSource(const TWaveFormatEx& f, double hz, size_t frames) : f_(f), hz_(hz), frames_(frames) {}
    void BufferLoad(TMMWaveHdr* hdr, bool& more) override {
        const size_t block = f_.nBlockAlign;
        size_t n = std::min<size_t>(hdr->dwBufferLength / block, frames_ - pos_);
        for (size_t i = 0; i < n; ++i) {
            const double s = 0.5 * std::sin(2 * kPi * hz_ * double(pos_ + i) / f_.nSamplesPerSec);
            for (int c = 0; c < f_.nChannels; ++c) {
                const double v = c == 0 ? s : s / 2;
                uint8_t* p = reinterpret_cast<uint8_t*>(hdr->lpData) + i * block + c * (f_.wBitsPerSample / 8);
                if (f_.wBitsPerSample == 16) {
                    auto x = static_cast<int16_t>(std::lrint(v * 32767));
                    std::memcpy(p, &x, 2);
                } else {
                    *p = static_cast<uint8_t>(std::lrint(128 + v * 127));
                }
            }
        }
        pos_ += n;
        hdr->dwBytesRecorded = static_cast<uint32_t>(n * block);
        more = pos_ < frames_;
    }
    void WasReset() override { pos_ = 0; }
    size_t pos() const { return pos_; }

private:
    TWaveFormatEx f_;
    double hz_;
    size_t frames_;
    size_t pos_ = 0;
};

// Channel `channel` of what the device played, as doubles of full scale 1.
std::vector<double> channel_of(const std::vector<uint8_t>& bytes, const TWaveFormatEx& f, int channel) {
    std::vector<double> out;
    const size_t block = f.nBlockAlign;
    for (size_t i = 0; i + block <= bytes.size(); i += block) {
        const uint8_t* p = bytes.data() + i + channel * (f.wBitsPerSample / 8);
        if (f.wBitsPerSample == 16) {
            int16_t v;
            std::memcpy(&v, p, 2);
            out.push_back(v / 32768.0);
        } else {
            out.push_back((*p - 128) / 128.0);
        }
    }
    return out;
}

// Frequency from rising zero crossings (interpolated) over [from, to).
double frequency(const std::vector<double>& x, size_t from, size_t to, int rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = std::max<size_t>(from, 1); i < std::min(to, x.size()); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = double(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0) first = t;
            else ++crossings;
            last = t;
        }
    }
    if (crossings == 0) return 0;
    return crossings * rate / (last - first);
}

class StretchTest : public ::testing::Test {
protected:
    std::unique_ptr<TMMWaveOut> make_device(const TWaveFormatEx& f) {
        auto out = std::make_unique<TMMWaveOut>(&backend, &ui);
        out->SetBufferSize(4000);
        out->SetNumBuffers(10);
        out->SetCallBackMode(TMMCBMode::cmThread);
        out->SetTimeFormat(TMMTimeFormats::tfSample);
        out->OnStop = [this](TMMDSPComponent*) { ++stops; };
        (void)f;
        return out;
    }
    // Source → stretch → device, the format set on the source as a player does.
    void chain(ToneSource& source, TMMTimeStretch& stretch, TMMWaveOut& out, const TWaveFormatEx& f) {
        source.SetOutput(&stretch);
        stretch.SetOutput(&out);
        source.SetWaveFormat(&f);
    }
    void unchain(ToneSource& source, TMMTimeStretch& stretch) {
        stretch.SetOutput(nullptr);
        source.SetOutput(nullptr);
    }
    bool play_to_end() {
        return ui.pump_until([&] { return stops > 0; }, std::chrono::seconds(30));
    }

    VirtualBackend backend;
    PumpDispatcher ui;
    testsupport::ScriptedDialogs dialogs;
    int stops = 0;
};

TEST(StretchSpeed, IsClampedToHalfAndDoubleInStepsOfFive) {
    const std::pair<int, int> table[] = {{0, 50}, {49, 50}, {52, 50}, {53, 55}, {98, 100}, {102, 100},
                                         {103, 105}, {147, 145}, {148, 150}, {199, 200}, {350, 200}};
    for (auto [asked, kept] : table) {
        EXPECT_EQ(clamp_speed(asked), kept) << asked;
        TMMTimeStretch s;
        s.SetSpeed(asked);
        EXPECT_EQ(s.Speed(), kept) << asked;
    }
}

TEST_F(StretchTest, AtNormalSpeedTheSourcePlaysBitForBit) {
    backend.set_clock(VirtualClock::Fast);
    const TWaveFormatEx f = MakePCMFormat(16, 2, 16000);
    ToneSource source(f, 440, 16000);
    TMMTimeStretch stretch;
    auto out = make_device(f);
    chain(source, stretch, *out, f);
    out->Start();
    ASSERT_TRUE(play_to_end());
    std::vector<uint8_t> played = backend.played();

    // The same source straight into a device.
    backend.clear_played();
    ToneSource plain(f, 440, 16000);
    auto direct = make_device(f);
    plain.SetOutput(direct.get());
    plain.SetWaveFormat(&f);
    stops = 0;
    direct->Start();
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(played, backend.played());
    EXPECT_FALSE(stretch.Stretching());
    out->Close();
    direct->Close();
    plain.SetOutput(nullptr);
    unchain(source, stretch);
}

TEST_F(StretchTest, ATonePlaysLongerOrShorterAtItsOwnPitch) {
    backend.set_clock(VirtualClock::Fast);
    struct Case {
        int speed, bits, channels, rate;
    };
    const Case cases[] = {{50, 16, 1, 16000}, {75, 16, 1, 16000}, {150, 16, 1, 16000},
                          {200, 16, 1, 16000}, {50, 16, 2, 22050}, {200, 8, 1, 8000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.speed << " % " << c.bits << " bits " << c.channels << " ch "
                                          << c.rate << " Hz");
        const TWaveFormatEx f = MakePCMFormat(c.bits, c.channels, c.rate);
        const size_t frames = size_t(c.rate) * 2;  // 2 s of 1 kHz
        ToneSource source(f, 1000, frames);
        TMMTimeStretch stretch;
        stretch.SetSpeed(c.speed);
        auto out = make_device(f);
        chain(source, stretch, *out, f);
        backend.clear_played();
        stops = 0;
        out->Start();
        ASSERT_TRUE(play_to_end());
        EXPECT_TRUE(stretch.Stretching());
        const std::vector<double> left = channel_of(backend.played(), f, 0);
        const double expected = frames * 100.0 / c.speed;
        EXPECT_NEAR(double(left.size()), expected, expected * 0.02);
        // Away from the ends, where the stretcher fills its window.
        const size_t a = left.size() / 10, b = left.size() * 9 / 10;
        EXPECT_NEAR(frequency(left, a, b, c.rate), 1000.0, 20.0);
        if (c.channels == 2) {
            const std::vector<double> right = channel_of(backend.played(), f, 1);
            double peak_l = 0, peak_r = 0;
            for (size_t i = a; i < b; ++i) {
                peak_l = std::max(peak_l, std::fabs(left[i]));
                peak_r = std::max(peak_r, std::fabs(right[i]));
            }
            EXPECT_NEAR(peak_r / peak_l, 0.5, 0.08);  // the channels stay apart
        }
        out->Close();
        unchain(source, stretch);
    }
}

TEST_F(StretchTest, TheDevicePositionTurnsIntoFileTime) {
    // Manual clock: exactly `n` frames have been played when the position is read.
    const TWaveFormatEx f = MakePCMFormat(16, 1, 16000);
    for (int speed : {50, 100, 150}) {
        SCOPED_TRACE(speed);
        ToneSource source(f, 1000, 16000 * 4);
        TMMTimeStretch stretch;
        stretch.SetSpeed(speed);
        auto out = make_device(f);
        chain(source, stretch, *out, f);
        out->Start();
        for (int step = 0; step < 20; ++step) {
            backend.advance_output(800);
            ui.pump_until([&] { return false; }, std::chrono::milliseconds(5));
        }
        const int64_t played = out->GetPosition();
        ASSERT_EQ(played, 16000);
        // Within the stretcher's window of some tens of milliseconds.
        EXPECT_NEAR(double(stretch.SourceFrames(played)), 16000.0 * speed / 100, 16000 * 0.05);
        EXPECT_NEAR(double(stretch.SourceMs(1000)), 10.0 * speed, 50.0);
        out->Close();
        unchain(source, stretch);
    }
}

// Counts the take-backs, so that a test knows when the device has redone its
// queue.
struct CountingStretch : TMMTimeStretch {
    std::atomic<int> takes{0};
    void TakeBack(int64_t frames) override {
        TMMTimeStretch::TakeBack(frames);
        ++takes;
    }
};

TEST_F(StretchTest, ASpeedChangeIsHeardAtOnceWithoutABreakOrAClick) {
    // Manual clock: the change is made when exactly `played` frames have been
    // heard, with the device's whole queue made at the old speed still
    // waiting. Heard at once, the rest of the source lasts its length at the
    // new speed from there; heard after the queue, the total would be off by
    // the queue's tenth of a second and more.
    struct Case {
        std::vector<int> speeds;
        int channels;
    };
    for (const Case& c : {Case{{100, 50, 150}, 1}, Case{{50, 200, 100}, 1}, Case{{150, 75}, 2}, Case{{200, 100, 50}, 2}}) {
        SCOPED_TRACE(::testing::Message() << c.speeds[0] << " -> " << c.speeds[1] << ", " << c.channels << " channels");
        const TWaveFormatEx f = MakePCMFormat(16, c.channels, 16000);
        const size_t frames = 16000 * 3;
        // Not a whole number of periods in any round span of milliseconds: a seam
        // out of phase shows.
        ToneSource source(f, 1130, frames);
        CountingStretch stretch;
        stretch.SetSpeed(c.speeds[0]);
        auto out = make_device(f);
        out->SetBufferSize(8000);  // long buffers, as the player asks for: the link cuts them short
        chain(source, stretch, *out, f);
        backend.clear_played();
        stops = 0;
        out->Start();
        auto settle = [&] { ui.pump_until([] { return false; }, std::chrono::milliseconds(3)); };
        size_t played = 0;
        size_t played_at_change = 0;
        int64_t src_at_change = 0;
        size_t next = 1;
        for (int idle = 0; stops == 0 && idle < 200;) {
            // A change every 0.7 s of what was heard.
            if (next < c.speeds.size() && played >= 11200 * next) {
                played_at_change = played;
                src_at_change = stretch.SourceFrames(static_cast<int64_t>(played));
                const int takes = stretch.takes.load();
                stretch.SetSpeed(c.speeds[next++]);
                ASSERT_TRUE(ui.pump_until([&] { return stretch.takes.load() > takes; }, std::chrono::seconds(5)));
            }
            const size_t moved = backend.advance_output(640);
            played += moved;
            idle = moved ? 0 : idle + 1;
            settle();
        }
        ASSERT_GT(stops, 0);
        EXPECT_EQ(played * f.nBlockAlign, backend.played().size());
        // 800 frames (50 ms): the stretcher's window, well short of the queue.
        const double expected = double(played_at_change) + double(int64_t(frames) - src_at_change) * 100 / c.speeds.back();
        EXPECT_NEAR(double(played), expected, 800.0);
        for (int ch = 0; ch < c.channels; ++ch) {
            const std::vector<double> x = channel_of(backend.played(), f, ch);
            // A 1.13 kHz sine of amplitude 0.5 at 16 kHz moves at most
            // 0.5 × 2π × 1.13/16 ≈ 0.22 between two samples; a break or a click moves further, and
            // a gap is a run of silence.
            double worst = 0;
            size_t silent = 0, longest_silence = 0, silence_end = 0;
            // The last 25 ms fade out as the stretcher empties its window.
            for (size_t i = 1; i + 400 < x.size(); ++i) {
                worst = std::max(worst, std::fabs(x[i] - x[i - 1]));
                silent = std::fabs(x[i]) < 0.01 ? silent + 1 : 0;
                if (silent > longest_silence) {
                    longest_silence = silent;
                    silence_end = i;
                }
            }
            EXPECT_LT(worst, ch == 0 ? 0.3 : 0.15) << "channel " << ch;
            EXPECT_LT(longest_silence, 16u) << "a gap ending at frame " << silence_end << " of " << x.size();
            EXPECT_NEAR(frequency(x, x.size() / 10, x.size() * 9 / 10, 16000), 1130.0, 20.0);
        }
        out->Close();
        unchain(source, stretch);
    }
}

TEST_F(StretchTest, SpeedChangesRacingResetsAndStopsNeitherHangNorLoseTheRest) {
    // Each change asks the device's worker to redo its queue while the user
    // interface resets or stops it: whatever wins, the run goes on whole.
    backend.set_clock(VirtualClock::RealTime);
    const TWaveFormatEx f = MakePCMFormat(16, 1, 16000);
    const size_t frames = 16000;
    ToneSource source(f, 1130, frames);
    CountingStretch stretch;
    auto out = make_device(f);
    chain(source, stretch, *out, f);
    const int speeds[] = {50, 155, 80, 200, 65, 125};
    for (int round = 0; round < 3; ++round) {
        stops = 0;
        out->Start();
        for (int i = 0; i < 12; ++i) {
            stretch.SetSpeed(speeds[(i + round) % 6]);
            ui.pump_until([] { return false; }, std::chrono::milliseconds(7 + i % 5));
            if (i == 5) out->Reset();
        }
        if (round < 2) {
            stretch.SetSpeed(speeds[round]);
            out->Stop();
            EXPECT_TRUE(ui.pump_until([&] { return stops > 0; }, std::chrono::seconds(5)));
            continue;
        }
        stretch.SetSpeed(200);
        out->Reset();
        backend.clear_played();
        ASSERT_TRUE(play_to_end());
        // From the last reset: the whole source at the last speed.
        EXPECT_NEAR(double(backend.played().size() / 2), frames / 2.0, frames * 0.05);
    }
    EXPECT_GT(stretch.takes.load(), 0);
    out->Close();
    unchain(source, stretch);
}

TEST_F(StretchTest, EachBufferCarriesAShortStretchOfAudioAtNormalSpeedAndWhileStretching) {
    // What is queued at the device is what a speed change waits behind: at
    // 100 % too, the source's large buffers go on in short pieces, all of it.
    backend.set_clock(VirtualClock::Fast);
    const TWaveFormatEx f = MakePCMFormat(16, 1, 16000);
    for (int speed : {100, 75}) {
        SCOPED_TRACE(speed);
        ToneSource source(f, 1000, 16000);
        TMMTimeStretch stretch;
        stretch.SetSpeed(speed);
        auto out = make_device(f);
        out->SetBufferSize(8000);  // a quarter second each, as the player asks for
        uint32_t largest = 0;
        out->OnBufferFilled = [&](TMMDSPComponent*, TMMWaveHdr* hdr) {
            largest = std::max(largest, hdr->dwBytesRecorded);
        };
        chain(source, stretch, *out, f);
        backend.clear_played();
        stops = 0;
        out->Start();
        ASSERT_TRUE(play_to_end());
        EXPECT_GT(largest, 0u);
        EXPECT_LE(largest, 16000u * 2 * stretch.MaxChunkMs() / 1000);
        if (speed == 100) EXPECT_EQ(backend.played().size(), 16000u * 2);
        out->Close();
        unchain(source, stretch);
    }
}

TEST_F(StretchTest, AFormatItCannotStretchPlaysAtItsOwnSpeed) {
    backend.set_clock(VirtualClock::Fast);
    const TWaveFormatEx f = MakePCMFormat(16, 1, 16000);
    TWaveFormatEx odd = MakePCMFormat(24, 1, 16000);  // 24 bits: not ours to stretch
    ToneSource source(f, 1000, 8000);
    TMMTimeStretch stretch;
    stretch.SetSpeed(50);
    backend.set_output_devices({VirtualDevice{"any", kAllStandardFormats, 2, [](const TWaveFormatEx&) { return true; }}});
    auto out = make_device(odd);
    source.SetOutput(&stretch);
    stretch.SetOutput(out.get());
    source.SetWaveFormat(&odd);
    out->Start();
    ASSERT_TRUE(play_to_end());
    EXPECT_FALSE(stretch.Stretching());
    EXPECT_EQ(backend.played().size(), 8000u * 2);  // the source's bytes, unstretched
    out->Close();
    unchain(source, stretch);
}

}  // namespace
