// The Voice Editor window's responsiveness on one hour of 16 kHz mono,
// offscreen, on a virtual sound card:
//  1. opening the file whose display data exists, up to the loaded window
//     (target: under 0.5 s), against opening it without display data (the
//     build) in the same run;
//  2. the locator's tick to the paint of the zoomed view during playback
//     (target: median under 10 ms), against a bare widget's update to paint;
//  3. the longest time the event loop waited while display data was built,
//     and during a cut, a paste and an undo (target: 50 ms), against the
//     longest wait of the idle loop over the same span.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/virtual_backend.h"
#include "audio/formats/mmwave.h"
#include "editor/gui/editorpane.h"
#include "shell/appstate.h"
#include "shell/gui/form_edit.h"

using namespace murrel;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kRate = 16000;

double ms_since(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

void make_file(const std::string& path, int64_t seconds) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(16, 1, kRate));
    std::vector<int16_t> block(kRate);
    uint32_t x = 12345;
    for (int64_t s = 0; s < seconds; ++s) {
        for (int16_t& v : block) {
            x = x * 1664525u + 1013904223u;
            v = int16_t(int(x >> 16) % 20001 - 10000);
        }
        w.WriteData(block.data(), int64_t(block.size() * 2));
    }
    w.CloseFile();
}

// The longest gap between two passes of the event loop while `work` runs,
// seen by a 2 ms timer; and how long `work` took.
template <class F>
std::pair<double, double> longest_wait(F work) {
    QTimer timer;
    timer.setInterval(2);
    timer.setTimerType(Qt::PreciseTimer);
    Clock::time_point last = Clock::now();
    double longest = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longest = std::max(longest, ms_since(last));
        last = Clock::now();
    });
    timer.start();
    const Clock::time_point t0 = last = Clock::now();
    work();
    longest = std::max(longest, ms_since(last));
    return {longest, ms_since(t0)};
}

// Catches the paints of one widget.
class PaintClock : public QObject {
public:
    explicit PaintClock(QWidget* w) { w->installEventFilter(this); }
    Clock::time_point last{};
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            last = Clock::now();
            ++paints;
        }
        return false;
    }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "murrel-bench-editorwindow";
    fs::create_directories(dir / "tempdata");
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    app().app_dir = AddSlash(dir.string());
    app().temp_dir = (dir / "tempdata").string();
    app().data_dir = dir.string();
    const std::string wav = (dir / "hour.wav").string();
    if (!fs::exists(wav)) make_file(wav, 3600);

    VirtualBackend backend;
    backend.set_clock(VirtualClock::Manual);
    PumpDispatcher ui;
    Tform_edit edit(nullptr, &backend, &ui);
    edit.resize(1600, 900);
    edit.show();
    QApplication::processEvents();
    TEditorPane& pane = edit.Pane(2);

    // 1 and the build half of 3: without display data, then with it.
    for (const fs::path& sdd : {fs::path(dir / "HOUR.SDD")}) fs::remove(sdd);
    const auto [build_wait, build_ms] = longest_wait([&] { edit.OpenFileIntoPane(2, wav); });
    if (!edit.document_loaded) return 1;
    edit.ClosePane(2);
    std::vector<double> opens;
    for (int i = 0; i < 3; ++i) {
        const Clock::time_point t0 = Clock::now();
        edit.OpenFileIntoPane(2, wav);
        QApplication::processEvents();
        opens.push_back(ms_since(t0));
        if (i < 2) edit.ClosePane(2);
    }
    const double open_ms = *std::min_element(opens.begin(), opens.end());
    std::printf("open 1 h without display data: %8.1f ms\n", build_ms);
    std::printf("open 1 h with display data:    %8.1f ms  (%.3fx the build, target < 500 ms)\n", open_ms,
                open_ms / build_ms);

    // 2: ticks during playback, each painted in the loop's next pass.
    pane.ShowZoom(0, 10 * kRate);
    edit.button_playClick();
    ui.pump_for(std::chrono::milliseconds(20));
    QApplication::processEvents();
    if (!edit.Playing()) return 1;
    std::vector<double> ticks;
    {
        PaintClock clock(pane.CutterView);
        for (int i = 0; i < 100; ++i) {
            backend.advance_output(480);
            ui.pump();
            const int before = clock.paints;
            const Clock::time_point t0 = Clock::now();
            edit.LocatorTimerTick();
            for (int k = 0; k < 50 && clock.paints == before; ++k) QApplication::processEvents();
            if (clock.paints > before) ticks.push_back(std::chrono::duration<double, std::milli>(clock.last - t0).count());
        }
    }
    edit.button_stopClick();
    ui.pump_for(std::chrono::milliseconds(20));
    QApplication::processEvents();
    std::vector<double> bare;
    {
        QWidget plain;
        plain.resize(1600, 200);
        plain.show();
        QApplication::processEvents();
        PaintClock clock(&plain);
        for (int i = 0; i < 100; ++i) {
            const int before = clock.paints;
            const Clock::time_point t0 = Clock::now();
            plain.update();
            for (int k = 0; k < 50 && clock.paints == before; ++k) QApplication::processEvents();
            if (clock.paints > before) bare.push_back(std::chrono::duration<double, std::milli>(clock.last - t0).count());
        }
    }
    std::printf("tick to paint: median %.2f ms of %zu ticks (%.2fx a bare widget's %.2f ms, target < 10 ms)\n",
                median(ticks), ticks.size(), median(ticks) / std::max(median(bare), 1e-3), median(bare));

    // 3: the edits, and the idle loop over as long.
    const int64_t frames = pane.Frames();
    pane.SetSelection(frames / 2, frames / 2 + 600 * kRate);
    edit.RefreshState();
    const auto [cut_wait, cut_ms] = longest_wait([&] { edit.button_cutClick(); });
    pane.SetLocator(frames / 4);
    const auto [paste_wait, paste_ms] = longest_wait([&] { edit.button_pasteClick(); });
    const auto [undo_wait, undo_ms] = longest_wait([&] { edit.button_undoClick(); });
    const double span = std::max({build_ms, cut_ms, paste_ms});
    const auto [idle_wait, idle_ms] = longest_wait([&] {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(int(span));
        while (Clock::now() < end) QApplication::processEvents(QEventLoop::AllEvents, 5);
    });
    std::printf("longest wait of the event loop (target 50 ms; idle loop %.1f ms over %.0f ms):\n", idle_wait, idle_ms);
    const double peer = std::max(idle_wait, 1.0);
    std::printf("  display data build: %6.1f ms over %8.0f ms  (%.1fx idle)\n", build_wait, build_ms, build_wait / peer);
    std::printf("  cut of 10 minutes:  %6.1f ms over %8.0f ms  (%.1fx idle)\n", cut_wait, cut_ms, cut_wait / peer);
    std::printf("  paste:              %6.1f ms over %8.0f ms  (%.1fx idle)\n", paste_wait, paste_ms, paste_wait / peer);
    std::printf("  undo:               %6.1f ms over %8.0f ms  (%.1fx idle)\n", undo_wait, undo_ms, undo_wait / peer);
    return 0;
}
