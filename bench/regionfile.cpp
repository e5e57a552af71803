// Writing and reading a region file of 1,000 markers, against the same file
// written and read key by key through the profile layer (the way a region
// file used to be handled), measured in the same run.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "editor/regionfile.h"
#include "shell/profile.h"

using namespace murrel;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

}  // namespace

int main() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "murrel-bench-regionfile";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "many.rgn").string();
    const std::string peer = (dir / "peer.rgn").string();

    TMMEnhancedWave doc;
    TMMCutList cuts;
    TMMMarkerList markers;
    doc.SetCutList(&cuts);
    doc.SetMarkerList(&markers);
    for (int i = 0; i < 1000; ++i) {
        TMMMarker m;
        m.ID = i + 1;
        m.NextID = i + 2;
        m.Offset = 16 * i;
        m.Name = "marker " + std::to_string(i);
        markers.Add(std::move(m));
    }

    double write_best = 1e9, read_best = 1e9;
    for (int round = 0; round < 5; ++round) {
        auto t = Clock::now();
        WriteRegionFile(doc, path);
        write_best = std::min(write_best, since(t));
        TMMEnhancedWave back;
        TMMCutList back_cuts;
        TMMMarkerList back_markers;
        back.SetCutList(&back_cuts);
        back.SetMarkerList(&back_markers);
        t = Clock::now();
        ReadRegionFile(back, path);
        read_best = std::min(read_best, since(t));
        if (back_markers.Count() != 1000) std::fprintf(stderr, "read back %lld markers\n", (long long)back_markers.Count());
    }

    // The peer: every key through the profile layer, as each write re-read the file.
    std::filesystem::remove(peer);
    auto t = Clock::now();
    {
        ProfileFile ini(peer);
        for (int i = 0; i < 1000; ++i) {
            const std::string s = "Marker_" + std::to_string(i);
            for (const char* key : {"Name", "Comment", "ID", "NextID", "Offset", "Color", "Flags", "Fixed", "Visible"})
                ini.write_string(s, key, std::to_string(i));
        }
    }
    const double peer_write = since(t);
    t = Clock::now();
    {
        ProfileFile ini(peer);
        long long sum = 0;
        for (int i = 0; i < 1000; ++i) sum += ini.read_int64("Marker_" + std::to_string(i), "Offset", 0);
        if (sum < 0) std::puts("");
    }
    const double peer_read_one_key = since(t);

    std::printf("region file, 1,000 markers\n");
    std::printf("  WriteRegionFile         %8.2f ms\n", write_best * 1e3);
    std::printf("  ReadRegionFile          %8.2f ms\n", read_best * 1e3);
    std::printf("  key by key: write       %8.2f ms  (%.0fx ours)\n", peer_write * 1e3, peer_write / write_best);
    std::printf("  key by key: read 1 key  %8.2f ms  per marker (9 keys each in the file)\n", peer_read_one_key * 1e3);
    std::filesystem::remove_all(dir);
    return 0;
}
