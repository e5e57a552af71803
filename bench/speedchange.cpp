// How soon a change of speed is heard while a WAV file plays through the
// player's chain (wave → time-stretch → device) on the test sound server:
// from the call to the moment the device's heard position reaches the first
// frame made at the new speed. The change is gapless. Peer, in the same run:
// a seek, which drops the queue (and is heard with a gap), timed from the
// call to the first frame heard of the new place.
//
// usage: speedchange [CHANGES]   (default 20 of each kind)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/devices/portaudio_backend.h"
#include "audio/devices/ui_dispatcher.h"
#include "audio/formats/mmwave.h"
#include "bench/sound_server.h"
#include "player/waveplayer.h"

using namespace murrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 16000;

void write_tone(const std::string& path, double seconds) {
    std::vector<int16_t> s(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / kRate));
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(16, 1, kRate));
    w.WriteData(s.data(), static_cast<int64_t>(s.size() * 2));
    w.CloseFile();
}

void pump_for(PumpDispatcher& ui, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        ui.pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

struct Figures {
    std::vector<double> ms;
    double median() {
        if (ms.empty()) return 0;
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    }
    double worst() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string address = bench::sound_server_address();
    if (address.empty()) {
        std::printf("skipped: no test sound server (scripts/soundserver start)\n");
        return 0;
    }
    setenv("PULSE_SERVER", address.c_str(), 1);
    auto backend = make_portaudio_backend();
    if (backend->out_num_devs() == 0) {
        std::printf("skipped: no output device\n");
        return 0;
    }
    const std::string path = (std::filesystem::temp_directory_path() / "murrel-bench-speedchange.wav").string();
    write_tone(path, 600);

    PumpDispatcher ui;
    TMMWavePlayer player(backend.get(), &ui);
    // At a change, the first frame made at the new speed is the start of the
    // earliest piece the stretch hands on after it (a piece made again after
    // the device gave its queue back starts before those made since).
    std::atomic<bool> armed{false};
    std::atomic<int64_t> seam{-1};
    player.Stretch().OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr* hdr, bool&) {
        if (!armed.load()) return;
        const int64_t start = player.Stretch().HandedOn() - int64_t(hdr->dwBytesRecorded / 2);
        const int64_t s = seam.load();
        if (s < 0 || start < s) seam.store(start);
    };
    // From the call until the device has played up to that frame.
    auto change = [&](int speed) {
        seam = -1;
        armed = true;
        const auto t0 = Clock::now();
        player.Stretch().SetSpeed(speed);
        double late = 0;
        while (Clock::now() - t0 < std::chrono::seconds(3)) {
            ui.pump();
            const int64_t s = seam.load();
            // The device counts milliseconds of its output since the last
            // reset, moved on once per chunk the backend writes: the frame
            // was heard as long before as the position is past it.
            const double seam_ms = double(s) * 1000.0 / kRate;
            const double heard_ms = double(player.Device().GetPosition());
            if (s >= 0 && heard_ms >= seam_ms) {
                late = heard_ms - seam_ms;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        armed = false;
        return std::max(0.0, std::chrono::duration<double, std::milli>(Clock::now() - t0).count() - late);
    };
    player.Wave().SetFileName(path);

    // From 100 % (the link passing the file's buffers through), then between
    // stretched speeds.
    Figures from_plain, between;
    for (int i = 0; i < changes; ++i) {
        player.Stretch().SetSpeed(100);
        player.SetPosition(int64_t(i) * 20000 % 500000);
        player.Play();
        pump_for(ui, 1500);
        from_plain.ms.push_back(change(75));
        pump_for(ui, 700);
        between.ms.push_back(change(125));
        pump_for(ui, 300);
        player.Stop();
        pump_for(ui, 100);
    }

    // The peer: a seek while playing; the new place is heard when the device's
    // position, reset by the seek, moves again.
    Figures seek;
    player.Stretch().SetSpeed(75);
    player.SetPosition(0);
    player.Play();
    pump_for(ui, 1000);
    for (int i = 0; i < changes; ++i) {
        const int64_t to = 30000 + int64_t(i) * 7000;
        const auto t0 = Clock::now();
        player.SetPosition(to);
        int64_t heard = 0;  // as for a change: heard that long before it was seen
        while ((heard = player.Device().GetPosition()) <= 0 && Clock::now() - t0 < std::chrono::seconds(2)) {
            ui.pump();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        seek.ms.push_back(
            std::max(0.0, std::chrono::duration<double, std::milli>(Clock::now() - t0).count() - double(heard)));
        pump_for(ui, 400);
    }
    player.Stop();
    pump_for(ui, 100);
    std::filesystem::remove(path);

    std::printf("a 16 kHz mono WAV file through wave -> time-stretch -> device, PortAudio on the test sound server\n");
    std::printf("from a change of speed to the first frame heard at the new speed, %d changes each:\n", changes);
    std::printf("  %-34s median %6.1f ms, worst %6.1f ms\n", "from 100 % (buffers passed through)", from_plain.median(),
                from_plain.worst());
    std::printf("  %-34s median %6.1f ms, worst %6.1f ms\n", "between stretched speeds", between.median(),
                between.worst());
    const double peer = seek.median();
    std::printf("  %-34s median %6.1f ms, worst %6.1f ms (drops the queue: heard with a gap)\n",
                "peer: a seek, call to first frame", peer, seek.worst());
    if (peer > 0)
        std::printf("ratio to the seek: from 100 %% %.1fx, between speeds %.1fx\n", from_plain.median() / peer,
                    between.median() / peer);
    return 0;
}
