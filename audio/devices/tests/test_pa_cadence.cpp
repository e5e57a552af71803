// How the PortAudio output stream's writer spends its time, against the sound
// server of scripts/soundserver: a reset reaches the stream at once (a seek
// is heard within the stream's latency), and while playing the writer wakes
// about once per chunk: never polling, never for each buffer queued. Skipped
// when the server cannot be reached.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/devices/device_stream.h"
#include "audio/devices/portaudio_backend.h"
#include "audio/formats/waveformat.h"
#include "audio/devices/waveout.h"
#include "testsupport/sound_server.h"

using namespace murrel;
using namespace murrel::testsupport;
using Clock = std::chrono::steady_clock;

namespace {

// A quiet 440 Hz tone, `seconds` long; rewinds with Reset.
struct Tone : TMMDSPComponent {
    explicit Tone(double seconds) : total(static_cast<size_t>(16000 * seconds)) {}
    void WasReset() override { pos = 0; }
    void BufferLoad(TMMWaveHdr* hdr, bool& more) override {
        auto* out = reinterpret_cast<int16_t*>(hdr->lpData);
        size_t n = std::min<size_t>(hdr->dwBufferLength / 2, total - pos);
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<int16_t>(2000 * std::sin(2 * 3.14159265358979 * 440.0 * double(pos + i) / 16000));
        pos += n;
        hdr->dwBytesRecorded = static_cast<uint32_t>(n * 2);
        more = pos < total;
    }
    size_t total;
    size_t pos = 0;
};

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Voluntary context switches (waits) of this process's thread called `name`
// (-1 when none); switches forced by other load do not count.
long switches_of(const std::string& name) {
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(e.path() / "comm");
        std::string c;
        std::getline(comm, c);
        if (c != name) continue;
        std::ifstream status(e.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(line.find(':') + 1));
        return -1;
    }
    return -1;
}

class PortAudioCadenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string address = server_address();
        if (!server_reachable(address)) GTEST_SKIP() << "sound server not reachable (scripts/soundserver start)";
        lock_fd = open((sound_dir() + "/test.lock").c_str(), O_CREAT | O_RDWR, 0600);
        ASSERT_GE(lock_fd, 0);
        flock(lock_fd, LOCK_EX);
        setenv("PULSE_SERVER", address.c_str(), 1);
        backend = make_portaudio_backend();
        ASSERT_GT(backend->out_num_devs(), 0);
        // The voice device's settings: 10 buffers of one 36 ms frame.
        out = std::make_unique<TMMWaveOut>(backend.get(), &ui);
        TWaveFormatEx f = MakePCMFormat(16, 1, 16000);
        out->SetWaveFormat(&f);
        out->SetBufferSize(1152);
        out->SetNumBuffers(10);
        out->SetCallBackMode(TMMCBMode::cmThread);
        out->SetDeviceID(MapperId);
        out->SetInput(&tone);
    }
    void TearDown() override {
        if (out) {
            out->Close();
            out->SetInput(nullptr);
        }
        out.reset();
        backend.reset();
        if (lock_fd >= 0) close(lock_fd);
    }
    OutputStream* stream() {
        auto* streams = dynamic_cast<StreamBackend*>(backend.get());
        return streams ? streams->output_stream(out->Handle()) : nullptr;
    }

    int lock_fd = -1;
    std::unique_ptr<AudioBackend> backend;
    PumpDispatcher ui;
    Tone tone{30};
    std::unique_ptr<TMMWaveOut> out;
};

TEST_F(PortAudioCadenceTest, AResetIsHandedToTheStreamAtOnceNotAfterTheWriteInProgress) {
    out->Start();
    ui.pump_for(std::chrono::milliseconds(300));
    ASSERT_NE(stream(), nullptr);
    EXPECT_GT(stream()->output_latency(), 0.0);
    std::vector<double> ms;
    for (int i = 0; i < 9; ++i) {
        // Resets fall at different places of the 30 ms chunk cadence.
        ui.pump_for(std::chrono::milliseconds(97 + 13 * i));
        int64_t t0 = now_ns();
        out->Reset();
        ASSERT_TRUE(ui.pump_until([&] { return stream()->first_audio_handed_ns() >= t0; },
                                  std::chrono::milliseconds(500)));
        ms.push_back((stream()->first_audio_handed_ns() - t0) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    // Waiting for a write of the old audio to finish would take half a chunk
    // (15 ms) in the median.
    EXPECT_LT(ms[ms.size() / 2], 8.0) << "worst " << ms.back() << " ms";
    EXPECT_TRUE(out->IsPlaying());
}

TEST_F(PortAudioCadenceTest, WhilePlayingTheWriterWakesAboutOncePerChunk) {
    out->Start();
    ui.pump_for(std::chrono::milliseconds(400));
    long before = switches_of("pa-output");
    ASSERT_GE(before, 0) << "no writer thread";
    ui.pump_for(std::chrono::milliseconds(2000));
    long per_second = (switches_of("pa-output") - before) / 2;
    // 33 chunks of 30 ms a second, each one wait for room (about 31 here). A
    // writer also woken by every buffer the owner queues (28 a second) would
    // wait about twice as often; one polling the stream, hundreds of times.
    EXPECT_GE(per_second, 10);
    EXPECT_LE(per_second, 50);
    EXPECT_TRUE(out->IsPlaying());
}

}  // namespace
