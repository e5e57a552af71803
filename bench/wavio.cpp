// WAV file access speed: writing 200 MB through WriteData in 2-byte calls
// against 64 KiB calls, and reading it through ReadData in 4 KiB blocks against
// a plain read() loop over the same file. Each figure is the best of three runs
// in this process, so both sides see the same disk and page cache. Wall time
// and the process's CPU time (user + system) are both shown: on a machine
// shared with other jobs the wall time of a CPU-bound loop mostly measures the
// scheduler, and the CPU time is the fairer comparison.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"

using namespace murrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kBytes = 200LL * 1000 * 1000;

struct Span {
    double wall = 1e9, cpu = 1e9;
    void keep_best(const Span& o) {
        wall = std::min(wall, o.wall);
        cpu = std::min(cpu, o.cpu);
    }
};

double CpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct Timer {
    Clock::time_point wall = Clock::now();
    double cpu = CpuNow();
    Span stop() const {
        return {std::chrono::duration<double>(Clock::now() - wall).count(), CpuNow() - cpu};
    }
};

// The call size is a constant, as in the converters that write one sample per call.
template <int64_t call>
Span WriteWave(const std::string& path, const std::vector<uint8_t>& data) {
    Timer t;
    TMMWave w;
    w.CreateFile(path, MakePCMFormat(16, 1, 16000));
    // 200 passes over a 1 MB source, as a converter hands over its output.
    constexpr int64_t kChunk = 1000 * 1000;
    for (int64_t pass = 0; pass < kBytes / kChunk; ++pass) {
        const uint8_t* p = data.data() + (pass % 16) * 4096;
        for (int64_t off = 0; off < kChunk; off += call) {
            int64_t n = std::min(call, kChunk - off);
            if (w.WriteData(p + off, n) != n) {
                std::fprintf(stderr, "write failed: %s\n", w.LastError());
                std::exit(1);
            }
        }
    }
    w.CloseFile();
    w.FreeWave();
    return t.stop();
}

Span ReadWave(const std::string& path, uint64_t& sum) {
    Timer t;
    TMMWave w;
    w.SetFileName(path);
    w.OpenFile();
    std::vector<uint8_t> buf(4096);
    int64_t n;
    while ((n = w.ReadData(buf.data(), 4096)) > 0) sum += buf[size_t(n - 1)];
    w.CloseFile();
    return t.stop();
}

Span ReadPlain(const std::string& path, uint64_t& sum) {
    Timer t;
    int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<uint8_t> buf(4096);
    ssize_t n;
    while ((n = ::read(fd, buf.data(), 4096)) > 0) sum += buf[size_t(n - 1)];
    ::close(fd);
    return t.stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    std::string path = dir + "/wavio_bench.wav";
    std::vector<uint8_t> data((1 << 20) + 65536);
    uint32_t x = 12345;
    for (auto& b : data) b = uint8_t((x = x * 1103515245 + 12345) >> 24);

    Span big, small, wave, plain;
    uint64_t sum_wave = 0, sum_plain = 0;
    for (int round = 0; round < 3; ++round) {
        big.keep_best(WriteWave<65536>(path, data));
        small.keep_best(WriteWave<2>(path, data));
        plain.keep_best(ReadPlain(path, sum_plain));
        wave.keep_best(ReadWave(path, sum_wave));
    }
    std::filesystem::remove(path);
    if (sum_wave == 0 || sum_plain == 0) std::printf("(checksums %llu %llu)\n",
        (unsigned long long)sum_wave, (unsigned long long)sum_plain);
    auto row = [](const char* what, const Span& s) {
        std::printf("%-40s wall %.3f s  cpu %.3f s\n", what, s.wall, s.cpu);
    };
    row("write 200 MB, 64 KiB WriteData calls:", big);
    row("write 200 MB, 2-byte WriteData calls:", small);
    row("read 200 MB, plain read() in 4 KiB:", plain);
    row("read 200 MB, ReadData in 4 KiB:", wave);
    std::printf("ratio write 2 B / 64 KiB: wall %.2f  cpu %.2f (limit 3)\n", small.wall / big.wall,
                small.cpu / big.cpu);
    std::printf("ratio read ReadData / read(): wall %.2f  cpu %.2f (limit 1.5)\n",
                wave.wall / plain.wall, wave.cpu / plain.cpu);
    return 0;
}
