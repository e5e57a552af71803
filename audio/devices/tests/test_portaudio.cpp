// The devices through PortAudio against the sound server that
// scripts/soundserver starts: what TMMWaveOut plays is recorded from the
// sink's monitor, what is played into the sink is recorded with TMMWaveIn.
// Skipped (with the reason) when the server cannot be reached.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "testsupport/sound_server.h"

#include <fcntl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/devices/portaudio_backend.h"
#include "audio/devices/wavein.h"
#include "audio/devices/waveout.h"
#include "testsupport/scratch_dir.h"


using namespace murrel;
using namespace murrel::testsupport;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kAmplitude = 16384;

std::vector<int16_t> read_samples(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), {});
    std::vector<int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// The tone found in a recording, measured over 10 ms windows.
struct ToneRegion {
    double seconds = 0;      // from the first to the last loud window
    double longest_gap = 0;  // longest run of quiet windows inside it, seconds
    double rms = 0;          // median RMS of the loud windows
    double frequency = 0;    // from zero crossings over the loud region
};

ToneRegion find_tone(const std::vector<int16_t>& s, int rate, double threshold) {
    size_t w = static_cast<size_t>(rate / 100);
    std::vector<double> rms;
    for (size_t i = 0; i + w <= s.size(); i += w) {
        double sum = 0;
        for (size_t j = i; j < i + w; ++j) sum += double(s[j]) * s[j];
        rms.push_back(std::sqrt(sum / w));
    }
    ToneRegion r;
    size_t first = rms.size(), last = 0;
    for (size_t i = 0; i < rms.size(); ++i)
        if (rms[i] > threshold) {
            first = std::min(first, i);
            last = i;
        }
    if (first >= rms.size()) return r;
    r.seconds = (last - first + 1) / 100.0;
    std::vector<double> loud;
    size_t gap = 0, longest = 0;
    for (size_t i = first; i <= last; ++i) {
        if (rms[i] > threshold) {
            loud.push_back(rms[i]);
            gap = 0;
        } else {
            longest = std::max(longest, ++gap);
        }
    }
    r.longest_gap = longest / 100.0;
    std::sort(loud.begin(), loud.end());
    r.rms = loud[loud.size() / 2];
    size_t crossings = 0;
    for (size_t i = first * w + 1; i < (last + 1) * w; ++i)
        if ((s[i - 1] < 0) != (s[i] < 0)) ++crossings;
    r.frequency = crossings / 2.0 / r.seconds;
    return r;
}

// A 1 kHz tone source for TMMWaveOut, `seconds` long; rewinds with Reset.
struct ToneSource : TMMDSPComponent {
    ToneSource(int rate, double seconds) : rate(rate), total(static_cast<size_t>(rate * seconds)) {}
    void WasReset() override { pos = 0; }
    void BufferLoad(TMMWaveHdr* hdr, bool& more) override {
        auto* out = reinterpret_cast<int16_t*>(hdr->lpData);
        size_t n = std::min<size_t>(hdr->dwBufferLength / 2, total - pos);
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<int16_t>(kAmplitude * std::sin(2 * kPi * 1000.0 * double(pos + i) / rate));
        pos += n;
        hdr->dwBytesRecorded = static_cast<uint32_t>(n * 2);
        more = pos < total;
        ++loads;
    }
    int rate;
    size_t total;
    size_t pos = 0;
    std::atomic<int> loads{0};
};

class PortAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        address = server_address();
        if (!server_reachable(address))
            GTEST_SKIP() << "sound server not reachable (scripts/soundserver start)";
        // ctest runs test cases side by side; they share one sink.
        lock_fd = open((sound_dir() + "/test.lock").c_str(), O_CREAT | O_RDWR, 0600);
        ASSERT_GE(lock_fd, 0);
        flock(lock_fd, LOCK_EX);
        setenv("PULSE_SERVER", address.c_str(), 1);
        backend = make_portaudio_backend();
        ASSERT_GT(backend->out_num_devs(), 0) << "the server runs but PortAudio sees no output";
        ASSERT_GT(backend->in_num_devs(), 0);
    }

    // Records the sink's monitor at `rate` mono into a file of the scratch folder.
    std::unique_ptr<Child> record_monitor(const std::string& path, int rate) {
        return std::make_unique<Child>(std::vector<std::string>{
            "parec", "-s", address, "-d", "murrel_sink.monitor", "--rate=" + std::to_string(rate),
            "--channels=1", "--format=s16le", "--latency-msec=20", "--file-format=raw", path});
    }

    // Waits (10 s at most) until the monitor's recording at `path` holds
    // `bytes` more than `from`; returns its size then.
    static uintmax_t wait_for_monitor(const std::string& path, uintmax_t from, uintmax_t bytes) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            std::error_code ec;
            uintmax_t size = std::filesystem::file_size(path, ec);
            if (ec) size = 0;
            if (size >= from + bytes || std::chrono::steady_clock::now() > deadline) return size;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // 200 ms of the monitor's 16 kHz mono 16-bit stream.
    static constexpr uintmax_t kMonitorMargin = 16000 * 2 / 5;

    std::unique_ptr<TMMWaveOut> make_out(ToneSource& tone) {
        auto out = std::make_unique<TMMWaveOut>(backend.get(), &ui);
        TWaveFormatEx f = MakePCMFormat(16, 1, static_cast<uint32_t>(tone.rate));
        out->SetWaveFormat(&f);
        out->SetBufferSize(3200);  // 100 ms
        out->SetNumBuffers(10);
        out->SetCallBackMode(TMMCBMode::cmThread);
        out->SetDeviceID(MapperId);
        out->SetTimeFormat(TMMTimeFormats::tfMillisecond);
        out->SetInput(&tone);
        out->OnStop = [this](TMMDSPComponent*) { ++stops; };
        return out;
    }

    void TearDown() override {
        backend.reset();
        if (lock_fd >= 0) close(lock_fd);
    }

    int lock_fd = -1;
    std::string address;
    std::unique_ptr<AudioBackend> backend;
    PumpDispatcher ui;
    testsupport::ScratchDir scratch;
    int stops = 0;
};

TEST_F(PortAudioTest, WaveOutPlaysTheToneWithoutGapsToItsEnd) {
    std::string path = scratch.file("monitor.raw");
    auto recorder = record_monitor(path, 16000);
    ASSERT_TRUE(recorder->ok());
    ASSERT_GE(wait_for_monitor(path, 0, kMonitorMargin), kMonitorMargin);  // the monitor is recording
    ToneSource tone(16000, 2.0);
    auto out = make_out(tone);
    out->Start();
    ASSERT_TRUE(ui.pump_until([&] { return stops > 0; }, std::chrono::seconds(10)));
    EXPECT_TRUE(out->IsOpen());
    out->Close();
    // The monitor has caught what followed the end of the tone.
    uintmax_t at_close = wait_for_monitor(path, 0, 0);
    ASSERT_GE(wait_for_monitor(path, at_close, 2 * kMonitorMargin), at_close + 2 * kMonitorMargin);
    recorder->stop();

    ToneRegion r = find_tone(read_samples(path), 16000, kAmplitude / 4.0);
    // The whole data was heard: nothing cut at the end by the stop.
    EXPECT_NEAR(r.seconds, 2.0, 0.06);
    EXPECT_LE(r.longest_gap, 0.1);  // never more than one buffer
    EXPECT_NEAR(r.rms, kAmplitude / std::sqrt(2.0), kAmplitude * 0.05);
    EXPECT_NEAR(r.frequency, 1000.0, 10.0);
}

TEST_F(PortAudioTest, PauseHoldsAudioAndPositionAndRestartLosesNothing) {
    std::string path = scratch.file("monitor.raw");
    auto recorder = record_monitor(path, 16000);
    ASSERT_TRUE(recorder->ok());
    ASSERT_GE(wait_for_monitor(path, 0, kMonitorMargin), kMonitorMargin);
    ToneSource tone(16000, 1.5);
    auto out = make_out(tone);
    out->Start();
    ASSERT_TRUE(ui.pump_until([&] { return out->GetPosition() >= 500; }, std::chrono::seconds(10)));
    const int64_t before_pause = out->GetPosition();
    out->Pause();
    const auto paused_at = std::chrono::steady_clock::now();
    // What the stream already held is still heard; then the position holds.
    int64_t at_pause = -1;
    auto changed_at = std::chrono::steady_clock::now();
    ASSERT_TRUE(ui.pump_until([&] {
        const int64_t now = out->GetPosition();
        const auto t = std::chrono::steady_clock::now();
        if (now != at_pause) {
            at_pause = now;
            changed_at = t;
        }
        return t - changed_at >= std::chrono::milliseconds(200);
    }, std::chrono::seconds(10), std::chrono::milliseconds(20)));
    EXPECT_GE(at_pause, before_pause);
    EXPECT_LE(at_pause, before_pause + 300);  // no more than the stream holds
    ui.pump_for(std::chrono::milliseconds(400));
    EXPECT_NEAR(static_cast<double>(out->GetPosition()), static_cast<double>(at_pause), 5);
    out->Restart();
    const double paused_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - paused_at).count();
    ASSERT_TRUE(ui.pump_until([&] { return stops > 0; }, std::chrono::seconds(10)));
    out->Close();
    uintmax_t at_close = wait_for_monitor(path, 0, 0);
    ASSERT_GE(wait_for_monitor(path, at_close, 2 * kMonitorMargin), at_close + 2 * kMonitorMargin);
    recorder->stop();

    ToneRegion r = find_tone(read_samples(path), 16000, kAmplitude / 4.0);
    // 1.5 s of tone with a hole as long as the pause, less what the stream
    // still played after it.
    const double held_s = static_cast<double>(at_pause - before_pause) / 1000.0;
    EXPECT_NEAR(r.longest_gap, paused_s - held_s, 0.1);
    EXPECT_NEAR(r.seconds, 1.5 + r.longest_gap, 0.12);
    EXPECT_NEAR(r.frequency * r.seconds / (r.seconds - r.longest_gap), 1000.0, 30.0);
}

TEST_F(PortAudioTest, ResetRewindsAndStopKeepsTheDeviceOpen) {
    ToneSource tone(16000, 10.0);
    auto out = make_out(tone);
    out->Start();
    ASSERT_TRUE(ui.pump_until([&] { return out->GetPosition() > 200; }, std::chrono::seconds(10)));
    out->Reset();
    const auto reset_at = std::chrono::steady_clock::now();
    EXPECT_GT(tone.loads.load(), 10);
    EXPECT_LT(out->GetPosition(), 100);
    EXPECT_TRUE(out->IsPlaying());
    // Playing goes on from the start again; the position never runs ahead of
    // the time played since the rewind.
    ASSERT_TRUE(ui.pump_until([&] { return out->GetPosition() > 150; }, std::chrono::seconds(10)));
    const int64_t after = out->GetPosition();
    const auto since_reset = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - reset_at);
    EXPECT_LE(after, since_reset.count() + 50);
    out->Stop();
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(out->IsOpen());
    EXPECT_FALSE(out->IsPlaying());
    out->Close();
    EXPECT_EQ(out->State(), kStateClosed);
}

class PortAudioRecordTest : public PortAudioTest, public ::testing::WithParamInterface<int> {};

TEST_P(PortAudioRecordTest, WaveInRecordsAToneFromTheSinkIntact) {
    int rate = GetParam();
    // The tone, played into the sink while recording from its monitor.
    std::string tone_path = scratch.file("tone.raw");
    {
        std::vector<int16_t> s(static_cast<size_t>(rate * 1.5));
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<int16_t>(kAmplitude * std::sin(2 * kPi * 1000.0 * double(i) / rate));
        std::ofstream(tone_path, std::ios::binary).write(reinterpret_cast<char*>(s.data()), s.size() * 2);
    }
    TMMWaveIn in(backend.get(), &ui);
    in.SetSampleRate(rate);
    in.SetBitLength(TMMBits::b16Bit);
    in.SetMode(TMMMode::mMono);
    in.SetBufferSize(rate / 10 * 2);
    in.SetNumBuffers(10);
    in.SetDeviceID(MapperId);
    in.SetCallBackMode(TMMCBMode::cmThread);
    in.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    in.SetMaxRecordTime(3000);
    std::mutex m;
    std::vector<int16_t> recorded;
    in.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr* hdr) {
        std::lock_guard lock(m);
        auto* p = reinterpret_cast<const int16_t*>(hdr->lpData);
        recorded.insert(recorded.end(), p, p + hdr->dwBytesRecorded / 2);
    };
    int stops = 0;
    in.OnStop = [&](TMMDSPComponent*) { ++stops; };
    in.Start();
    // The tone starts once the device is capturing, so that all of it is heard.
    ASSERT_TRUE(ui.pump_until([&] { return in.GetPosition() > 0; }, std::chrono::seconds(10)));
    Child player({"pacat", "-s", address, "-d", "murrel_sink", "--rate=" + std::to_string(rate),
                  "--channels=1", "--format=s16le", "--playback", tone_path});
    ASSERT_TRUE(player.ok());
    // The limit ends the recording by itself.
    ASSERT_TRUE(ui.pump_until([&] { return stops > 0; }, std::chrono::seconds(10)));
    player.wait();
    EXPECT_EQ(in.GetPosition(), 0);  // stopped: the device was reset
    in.Close();
    std::lock_guard lock(m);
    EXPECT_EQ(recorded.size(), static_cast<size_t>(rate * 3));
    ToneRegion r = find_tone(recorded, rate, kAmplitude / 4.0);
    EXPECT_NEAR(r.seconds, 1.5, 0.06);
    EXPECT_LE(r.longest_gap, 0.0);
    EXPECT_NEAR(r.rms, kAmplitude / std::sqrt(2.0), kAmplitude * 0.05);
    EXPECT_NEAR(r.frequency, 1000.0, 10.0);
}

INSTANTIATE_TEST_SUITE_P(Rates, PortAudioRecordTest, ::testing::Values(16000, 22050));

}  // namespace
