// Encoding 10 minutes of 16 kHz speech-like audio in SP with file_compress,
// against the lame command with the same settings (its replay-gain analysis,
// which does not change the stream, switched off), in the same run.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "shell/appstate.h"
#include "voicefile/compress.h"
#include "voicefile/lamecoder.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void put(std::ofstream& f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f.put(static_cast<char>(v >> (8 * i)));
}

void write_speechlike_wav(const std::string& path, int rate, double seconds) {
    const uint32_t n = static_cast<uint32_t>(rate * seconds);
    std::ofstream f(path, std::ios::binary);
    f.write("RIFF", 4);
    put(f, 36 + n * 2, 4);
    f.write("WAVEfmt ", 8);
    put(f, 16, 4);
    put(f, 1, 2);
    put(f, 1, 2);
    put(f, static_cast<uint32_t>(rate), 4);
    put(f, static_cast<uint32_t>(rate * 2), 4);
    put(f, 2, 2);
    put(f, 16, 2);
    f.write("data", 4);
    put(f, n * 2, 4);
    uint32_t noise = 99;
    double phase = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += 2 * M_PI * (130 + 60 * std::sin(2 * M_PI * 0.4 * t)) / rate;
        double v = 0;
        for (int h = 1; h < 14; ++h) v += std::sin(h * phase) / h;
        noise = noise * 1664525u + 1013904223u;
        v = 6000 * v * (0.5 + 0.5 * std::sin(2 * M_PI * 2.7 * t)) + static_cast<int>(noise >> 22) - 512;
        put(f, static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
    }
}

}  // namespace

int main() {
    app().messages["FM_text_system_errmsg2"] = "cannot create";
    const fs::path dir = fs::temp_directory_path() / ("bench_encode_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string wav = (dir / "speech16k.wav").string();
    write_speechlike_wav(wav, 16000, 600);

    std::printf("encoding 10 minutes of 16 kHz speech in SP (16 kbit/s mono, CBR, CRC)\n");
    double best_ours = 1e9, best_peer = 1e9;
    for (int round = 0; round < 3; ++round) {
        TMMWave source;
        source.SetFileName(wav);
        source.OpenFile();
        TLameCoder coder;
        double t0 = now();
        if (!file_compress(source, (dir / "ours.vkd").string(), 5, coder)) std::fprintf(stderr, "encode failed\n");
        best_ours = std::min(best_ours, now() - t0);

        t0 = now();
        const std::string cmd = "lame --silent --noreplaygain -t -m m --cbr -b 16 -p --resample 16 " + wav + " " +
                                (dir / "peer.mp3").string();
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "lame failed\n");
        best_peer = std::min(best_peer, now() - t0);
    }
    std::printf("  file_compress    %7.3f s  %6.0fx realtime  (%ju bytes after the header)\n", best_ours,
                600 / best_ours, static_cast<uintmax_t>(fs::file_size(dir / "ours.vkd") - 512));
    std::printf("  lame command     %7.3f s  %6.0fx realtime  (%ju bytes)\n", best_peer, 600 / best_peer,
                static_cast<uintmax_t>(fs::file_size(dir / "peer.mp3")));
    std::printf("  ratio ours/peer  %7.2f   (bar: <= 1.10)\n", best_ours / best_peer);
    fs::remove_all(dir);
    return 0;
}
