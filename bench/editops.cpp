// Edit operations of the Voice Editor on one hour of 16 kHz mono, each with
// the display-data build of its result, against the same work done plainly in
// the same run: `cp` of the WAV file plus building its display data (target:
// at most 2 times that). Also undo of a paste (target: under 0.2 s; it reuses
// the kept file and its display data).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/formats/acmwave.h"
#include "editor/displayregistry.h"
#include "editor/editsession.h"

using namespace murrel;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kRate = 16000;

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

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

double copy_and_build(const std::string& wav, const std::string& copy) {
    const auto t0 = Clock::now();
    if (std::system(("cp '" + wav + "' '" + copy + "'").c_str()) != 0) return -1;
    TMMDisplayRegistry& registry = TMMDisplayRegistry::Instance();
    TMMAcmWave w;
    w.SetFileName(copy);
    const std::string key = registry.Register(w);
    ::unlink(registry.DisplayFile(key).c_str());
    registry.Build(key, w, {});
    registry.Release(key, true);
    const double t = since(t0);
    ::unlink(copy.c_str());
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "murrel-bench-editops";
    fs::create_directories(dir);
    const std::string wav = (dir / "hour.wav").string();
    if (!fs::exists(wav)) make_file(wav, 3600);

    TMMEditSession session((dir / "tempdata").string());
    if (!session.OpenDocument(wav)) return 1;
    session.SetScreenWidth(1600);
    const int64_t frames = session.Document().DataSize();
    session.SetSelection(frames / 3, frames / 3 + 10 * kRate);
    if (!session.CopyToClipboard()) return 1;

    std::vector<double> peer, cut, paste, blank, undo;
    for (int round = 0; round < 3; ++round) {
        peer.push_back(copy_and_build(wav, (dir / "copy.wav").string()));
        auto t0 = Clock::now();
        session.SetSelection(frames / 2, frames / 2 + 30 * kRate);
        if (!session.CutSelection()) return 1;
        cut.push_back(since(t0));
        t0 = Clock::now();
        session.SetLocator(frames / 4);
        if (!session.PasteClipboard()) return 1;
        paste.push_back(since(t0));
        t0 = Clock::now();
        if (!session.Undo()) return 1;
        undo.push_back(since(t0));
        t0 = Clock::now();
        session.SetLocator(frames / 5);
        if (!session.InsertBlank()) return 1;
        blank.push_back(since(t0));
        session.ClearUndo();
    }
    auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    const double p = best(peer);
    std::printf("cp + display data of 1 h 16 kHz mono: %.3f s\n", p);
    std::printf("cut + display data:          %.3f s  (%.2fx, target <= 2)\n", best(cut), best(cut) / p);
    std::printf("paste + display data:        %.3f s  (%.2fx, target <= 2)\n", best(paste), best(paste) / p);
    std::printf("insert blank + display data: %.3f s  (%.2fx, target <= 2)\n", best(blank), best(blank) / p);
    std::printf("undo of a paste:             %.3f s  (target < 0.2)\n", best(undo));
    session.DeleteClipboardFiles();
    return 0;
}
