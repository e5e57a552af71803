// Display data of the wave editor views:
//  1. building the display data of one hour of 16 kHz mono against
//     `sox FILE -n stat` reading and measuring the same file, alternately in
//     the same run (target: at most 1.5 times sox's time);
//  2. the peak memory (VmHWM) of a process building the display data of a
//     10-hour file (target: under 50 MB);
//  3. loading the pixel buffer of a 1600-pixel view of a 2-hour file: the
//     first frame after opening, and the median of scrolling and zooming
//     frames, from the display data and zoomed beyond it from the PCM data;
//  4. the same through the view itself (TMMWaveEditor, offscreen): opening
//     the file whose display data exists up to the first painted frame, and
//     painted frames while scrolling and zooming (targets: under 0.3 s, under
//     8 ms a frame), with the display entries each redraw reads (at most one
//     a column).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>

#include "audio/formats/acmwave.h"
#include "audio/formats/mmwave.h"
#include "editor/displaydata.h"
#include "editor/displayregistry.h"
#include "editor/gui/mmwaveeditor.h"

using namespace murrel;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kRate = 16000;
constexpr int kWidth = 1600;

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Speech-like enough for min/max: a slowly varying level over noise.
void make_file(const std::string& path, int64_t seconds) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(16, 1, kRate));
    std::vector<int16_t> block(kRate);
    uint32_t x = 12345;
    for (int64_t s = 0; s < seconds; ++s) {
        const int level = 2000 + int((s * 7919) % 28000);
        for (int16_t& v : block) {
            x = x * 1664525u + 1013904223u;
            v = int16_t(int((x >> 16) % uint32_t(2 * level + 1)) - level);
        }
        w.WriteData(block.data(), int64_t(block.size() * 2));
    }
    w.CloseFile();
}

DisplayBuildResult build(TMMDisplayRegistry& registry, const std::string& wav) {
    TMMAcmWave w;
    w.SetFileName(wav);
    const std::string key = registry.Register(w);
    ::unlink(registry.DisplayFile(key).c_str());
    const DisplayBuildResult r = registry.Build(key, w, {});
    registry.Release(key, false);
    return r;
}

long vm_hwm_kb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const bool skip_long = argc > 1 && std::strcmp(argv[1], "--no-10h") == 0;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("murrel_displaydata_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    TMMDisplayRegistry registry;
    registry.Probe = [](const std::string&) { return DisplayVolumeInfo{}; };

    // 1. One hour against sox.
    const std::string hour = (dir / "hour.wav").string();
    std::printf("making one hour of 16-bit mono at %u Hz ...\n", kRate);
    make_file(hour, 3600);
    const std::string sox = "sox " + hour + " -n stat >/dev/null 2>&1";
    double best_ours = 1e9, best_sox = 1e9;
    for (int round = 0; round < 3; ++round) {
        auto t0 = Clock::now();
        if (build(registry, hour) != DisplayBuildResult::Built) {
            std::fprintf(stderr, "building failed\n");
            return 1;
        }
        best_ours = std::min(best_ours, since(t0));
        t0 = Clock::now();
        if (std::system(sox.c_str()) != 0) {
            std::fprintf(stderr, "sox failed\n");
            return 1;
        }
        best_sox = std::min(best_sox, since(t0));
    }
    std::printf("1 h build  : %.3f s   sox stat: %.3f s   ratio %.2f (target <= 1.50)\n", best_ours, best_sox,
                best_ours / best_sox);
    fs::remove(hour);

    // 2. Peak memory of a build of ten hours, in a child of its own.
    if (!skip_long) {
        const std::string ten = (dir / "ten.wav").string();
        std::printf("making ten hours ...\n");
        make_file(ten, 36000);
        int fds[2];
        if (::pipe(fds) != 0) return 1;
        const pid_t child = ::fork();
        if (child == 0) {
            TMMDisplayRegistry own;
            own.Probe = registry.Probe;
            const long before = vm_hwm_kb();
            const auto t0 = Clock::now();
            const bool ok = build(own, ten) == DisplayBuildResult::Built;
            char line[128];
            const int n = std::snprintf(line, sizeof line, "%d %ld %ld %.3f", ok, before, vm_hwm_kb(), since(t0));
            if (::write(fds[1], line, size_t(n)) != n) _exit(2);
            _exit(0);
        }
        ::close(fds[1]);
        char line[128] = {};
        const ssize_t got = ::read(fds[0], line, sizeof line - 1);
        ::waitpid(child, nullptr, 0);
        int ok = 0;
        long before = 0, peak = 0;
        double secs = 0;
        if (got <= 0 || std::sscanf(line, "%d %ld %ld %lf", &ok, &before, &peak, &secs) != 4 || !ok) {
            std::fprintf(stderr, "ten-hour build failed\n");
            return 1;
        }
        std::printf("10 h build : %.2f s, peak memory %.1f MB (%.1f MB before the build; target < 50 MB)\n", secs,
                    peak / 1024.0, before / 1024.0);
        fs::remove(ten);
    }

    // 3. A 2-hour document at 1600 pixels.
    const std::string two = (dir / "two.wav").string();
    std::printf("making two hours ...\n");
    make_file(two, 7200);
    build(registry, two);
    std::vector<int16_t> columns(4 * kWidth);
    auto t0 = Clock::now();
    TMMAcmWave wave;
    wave.SetFileName(two);
    const std::string key = registry.Register(wave);
    if (!registry.Valid(key)) return 1;
    LoadPixelBuffer(registry, key, wave, 0, kWidth, kWidth, columns.data());
    const double first = since(t0);

    const int64_t frames = registry.Frames(key);
    const int levels = registry.Levels(key);
    std::vector<double> scroll, zoom, pcm;
    // Scrolling a view zoomed to 16 times the overview, in steps of 40 px.
    const int64_t strip16 = int64_t(kWidth) * 16;
    for (int64_t from = 0; from + kWidth <= strip16; from += 40) {
        t0 = Clock::now();
        LoadPixelBuffer(registry, key, wave, from, from + kWidth, strip16, columns.data());
        scroll.push_back(since(t0));
    }
    // Zooming in step by step, centred, down to the finest level.
    for (int64_t strip = kWidth; strip <= (int64_t(1) << levels); strip = strip * 5 / 4) {
        const int64_t from = strip / 2 - kWidth / 2;
        t0 = Clock::now();
        LoadPixelBuffer(registry, key, wave, from, from + kWidth, strip, columns.data());
        zoom.push_back(since(t0));
    }
    // Beyond the finest level: 8 frames a column, scrolled across the file.
    const int64_t strip_pcm = frames / 8;
    for (int i = 0; i < 100; ++i) {
        const int64_t from = (strip_pcm - kWidth) * i / 100;
        t0 = Clock::now();
        LoadPixelBuffer(registry, key, wave, from, from + kWidth, strip_pcm, columns.data());
        pcm.push_back(since(t0));
    }
    std::printf("2 h view at %d px: first frame after opening %.2f ms (target < 300 ms)\n", kWidth, first * 1e3);
    std::printf("  scrolling (16x zoom, %zu frames): median %.3f ms\n", scroll.size(), median(scroll) * 1e3);
    std::printf("  zooming (%zu frames): median %.3f ms\n", zoom.size(), median(zoom) * 1e3);
    std::printf("  beyond the finest level, from the PCM (%zu frames): median %.3f ms (target < 8 ms)\n",
                pcm.size(), median(pcm) * 1e3);
    registry.Release(key, false);

    // 4. Through the view, painted.
    {
        TMMEnhancedWave doc;
        doc.SetFileName(two);
        TMMWaveEditor view;
        view.Registry = &registry;
        view.resize(kWidth, 200);
        QImage frame(kWidth, 200, QImage::Format_ARGB32_Premultiplied);
        t0 = Clock::now();
        view.SetWave(&doc);
        view.render(&frame);
        const double opened = since(t0);
        const int64_t total = view.Model().RangeMaxX();
        uint64_t most_reads = 0;
        auto painted = [&](int64_t min, int64_t max) {
            const uint64_t reads = registry.EntryReads();
            const auto t = Clock::now();
            view.SetDisplayRange(min, max);
            view.render(&frame);
            most_reads = std::max(most_reads, registry.EntryReads() - reads);
            return since(t);
        };
        std::vector<double> vscroll, vzoom, vpcm;
        // Dragging the range slider over a view zoomed to 1/16 of the file.
        const int64_t shown = total / 16;
        for (int i = 0; i <= 200; ++i) {
            const int64_t min = (total - shown) * i / 200;
            vscroll.push_back(painted(min, min + shown));
        }
        // Zooming in around the middle by 5/4 a step, down to a column a frame.
        for (int64_t width = total; width >= kWidth; width = width * 4 / 5)
            vzoom.push_back(painted(total / 2 - width / 2, total / 2 + width / 2));
        // Scrolling at 8 frames a column, beyond the finest level.
        for (int i = 0; i < 100; ++i) {
            const int64_t min = (total - 8 * kWidth) * i / 100;
            vpcm.push_back(painted(min, min + 8 * kWidth));
        }
        std::printf("view (TMMWaveEditor, %d x 200, painted): open to first frame %.1f ms (target < 300 ms)\n",
                    kWidth, opened * 1e3);
        std::printf("  scrolling (1/16 of the file, %zu frames): median %.3f ms (target < 8 ms)\n", vscroll.size(),
                    median(vscroll) * 1e3);
        std::printf("  zooming (%zu frames): median %.3f ms (target < 8 ms)\n", vzoom.size(), median(vzoom) * 1e3);
        std::printf("  beyond the finest level (%zu frames): median %.3f ms\n", vpcm.size(), median(vpcm) * 1e3);
        std::printf("  display entries read by one redraw: at most %llu for %d columns (target <= %d)\n",
                    static_cast<unsigned long long>(most_reads), view.Model().InnerWidth(),
                    view.Model().InnerWidth());
    }
    fs::remove_all(dir);
    return 0;
}
