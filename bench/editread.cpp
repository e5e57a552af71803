// Reading an edit document: one hour of 16-bit mono at 16 kHz read through
// ReadData in 4096-byte blocks, plain (no cuts, flat gain) and as a document
// with 20 cuts and a 10-point gain envelope, in the same run. Prints the
// speeds and their ratio; the document should read at least half as fast.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "editor/mmenhancedwave.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kRate = 16000;
constexpr int64_t kFrames = int64_t(kRate) * 3600;

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void make_file(const std::string& path) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(16, 1, kRate));
    std::vector<int16_t> block(kRate);
    uint32_t x = 12345;
    for (int64_t done = 0; done < kFrames; done += kRate) {
        for (int16_t& s : block) {
            x = x * 1664525u + 1013904223u;
            s = int16_t(x >> 17) - 16384;
        }
        w.WriteData(block.data(), int64_t(block.size() * 2));
    }
    w.CloseFile();
}

// Reads the whole play list; returns bytes read (and a checksum so the work
// cannot be optimised away).
int64_t read_through(TMMWave& w, uint64_t& sum) {
    std::vector<uint8_t> buf(4096);
    w.SetPosition(0);
    int64_t total = 0;
    for (int64_t n; (n = w.ReadData(buf.data(), int64_t(buf.size()))) > 0;) {
        total += n;
        sum += buf[0] + buf[size_t(n) - 1];
    }
    return total;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("murrel_editread_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "hour.wav").string();
    std::printf("making one hour of 16-bit mono at %u Hz ...\n", kRate);
    make_file(path);

    TMMWave plain;
    plain.SetFileName(path);
    plain.OpenFile();

    TMMEnhancedWave doc;
    TMMCutList cuts;
    for (int i = 0; i < 20; ++i) {
        TMMCutRecord c;
        c.start = (i * 180 + 30) * int64_t(kRate);  // one second every three minutes
        c.length = kRate;
        cuts.Add(c);
    }
    doc.SetFileName(path);
    doc.SetCutList(&cuts);
    doc.SourceFades().Clear();
    const int32_t gains[10] = {16384, 20000, 8000, 16384, 32768, 12000, 16384, 4000, 24000, 16384};
    for (int i = 0; i < 10; ++i) doc.SourceFades().AddPoint(kFrames * i / 9, gains[i]);
    doc.OpenFile();

    double best_plain = 1e9, best_doc = 1e9;
    int64_t plain_bytes = 0, doc_bytes = 0;
    uint64_t sum = 0;
    for (int round = 0; round < 5; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        plain_bytes = read_through(plain, sum);
        best_plain = std::min(best_plain, seconds_since(t0));
        t0 = std::chrono::steady_clock::now();
        doc_bytes = read_through(doc, sum);
        best_doc = std::min(best_doc, seconds_since(t0));
    }
    const double plain_speed = double(plain_bytes) / best_plain / 1e6;
    const double doc_speed = double(doc_bytes) / best_doc / 1e6;
    std::printf("plain file : %10lld bytes in %.3f s  %8.1f MB/s  %6.0fx realtime\n", (long long)plain_bytes,
                best_plain, plain_speed, 3600.0 / best_plain);
    std::printf("document   : %10lld bytes in %.3f s  %8.1f MB/s  %6.0fx realtime (20 cuts, 10-point gain)\n",
                (long long)doc_bytes, best_doc, doc_speed, 3600.0 * double(doc_bytes) / double(plain_bytes) / best_doc);
    std::printf("ratio document/plain speed: %.2f (target >= 0.50)  [checksum %llu]\n", doc_speed / plain_speed,
                (unsigned long long)(sum & 0xFFFF));
    plain.FreeWave();
    doc.FreeWave();
    fs::remove_all(dir);
    return 0;
}
