// Cost of the wave output device: a 16 kHz mono 16-bit stream played through
// TMMWaveOut (8000-byte buffers, 10 of them, refills on the worker) for a
// while, as the main window plays voice files. Reports the CPU share of one
// core the whole process used (device layer, worker, backend thread) and the
// longest refill against the buffer's duration; with the test sound server
// running, the same through PortAudio and, as the peer, pacat playing the
// same stream.
//
// usage: devices [SECONDS]   (default 60 per backend)
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/devices/portaudio_backend.h"
#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/virtual_backend.h"
#include "audio/devices/waveout.h"
#include "bench/sound_server.h"

extern char** environ;

using namespace murrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 16000;
constexpr int kBufferBytes = 8000;  // 250 ms

double cpu_seconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
    double seconds = 0;
    double cpu_percent = 0;
    double longest_refill_ms = 0;
    double mean_refill_ms = 0;
    int refills = 0;
};

Result play(AudioBackend& backend, double seconds) {
    PumpDispatcher ui;
    TMMWaveOut out(&backend, &ui);
    TWaveFormatEx f = MakePCMFormat(16, 1, kRate);
    out.SetWaveFormat(&f);
    out.SetBufferSize(kBufferBytes);
    out.SetNumBuffers(10);
    out.SetDeviceID(MapperId);
    out.SetCallBackMode(TMMCBMode::cmThread);
    // One second of a 1 kHz tone, copied into each buffer.
    std::vector<int16_t> table(kRate);
    for (int i = 0; i < kRate; ++i) table[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000.0 * i / kRate));
    const size_t total = static_cast<size_t>(seconds * kRate);
    size_t pos = 0;
    Clock::time_point refill_start;
    double longest = 0, sum = 0;
    int refills = 0;
    // OnBufferReady opens every refill, OnBufferFilled closes it.
    out.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) { refill_start = Clock::now(); };
    out.OnBufferFilled = [&](TMMDSPComponent*, TMMWaveHdr*) {
        if (refill_start == Clock::time_point{}) return;  // the first loads, by Start
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - refill_start).count();
        longest = std::max(longest, ms);
        sum += ms;
        ++refills;
    };
    out.OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
        auto* d = reinterpret_cast<int16_t*>(hdr->lpData);
        size_t n = std::min<size_t>(hdr->dwBufferLength / 2, total - pos);
        for (size_t i = 0; i < n; ++i) d[i] = table[(pos + i) % kRate];
        pos += n;
        hdr->dwBytesRecorded = static_cast<uint32_t>(n * 2);
        more = pos < total;
    };
    bool stopped = false;
    out.OnStop = [&](TMMDSPComponent*) { stopped = true; };
    double cpu0 = cpu_seconds(RUSAGE_SELF);
    auto t0 = Clock::now();
    out.Start();
    // The program's event loop sleeps until posted to; polling every 20 ms
    // stands in for it without adding much of its own.
    auto deadline = Clock::now() + std::chrono::seconds(static_cast<int>(seconds) + 30);
    while (!stopped && Clock::now() < deadline) {
        ui.pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Result r;
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpu_percent = 100.0 * (cpu_seconds(RUSAGE_SELF) - cpu0) / r.seconds;
    out.Close();
    r.longest_refill_ms = longest;
    r.mean_refill_ms = refills ? sum / refills : 0;
    r.refills = refills;
    return r;
}

void print(const char* name, const Result& r) {
    std::printf("%-22s %6.1f s played, CPU %.3f%% of a core, refills %d, mean %.3f ms, longest %.3f ms"
                " (buffer lasts 250 ms: %.4f of it)\n",
                name, r.seconds, r.cpu_percent, r.refills, r.mean_refill_ms, r.longest_refill_ms,
                r.longest_refill_ms / 250.0);
}

// pacat playing `seconds` of the same stream: its CPU share is the peer.
double pacat_percent(const std::string& address, double seconds) {
    std::string path = "/tmp/murrel-bench-devices.raw";
    {
        std::vector<int16_t> s(static_cast<size_t>(seconds * kRate));
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000.0 * double(i) / kRate));
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(s.data()), s.size() * 2);
    }
    std::vector<std::string> args = {"pacat", "-s", address, "--rate=16000", "--channels=1",
                                     "--format=s16le", "--playback", path};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    double cpu0 = cpu_seconds(RUSAGE_CHILDREN);
    auto t0 = Clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, "pacat", nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status;
    waitpid(pid, &status, 0);
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::remove(path.c_str());
    return 100.0 * (cpu_seconds(RUSAGE_CHILDREN) - cpu0) / wall;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    if (seconds <= 0) seconds = 60.0;
    std::printf("16 kHz mono 16-bit through TMMWaveOut, 10 × 8000-byte buffers, %.0f s per backend\n",
                seconds);

    VirtualBackend virt;
    virt.set_clock(VirtualClock::RealTime);
    Result v = play(virt, seconds);
    print("virtual (real time)", v);

    std::string address = bench::sound_server_address();
    if (address.empty()) {
        std::printf("portaudio: skipped (no test sound server: scripts/soundserver start)\n");
        return 0;
    }
    setenv("PULSE_SERVER", address.c_str(), 1);
    auto pa = make_portaudio_backend();
    if (pa->out_num_devs() == 0) {
        std::printf("portaudio: skipped (no output device)\n");
        return 0;
    }
    Result p = play(*pa, seconds);
    print("portaudio", p);
    double peer = pacat_percent(address, seconds);
    std::printf("%-22s CPU %.3f%% of a core; portaudio/pacat ratio %.2f\n", "peer: pacat", peer,
                peer > 0 ? p.cpu_percent / peer : 0.0);
    return 0;
}
