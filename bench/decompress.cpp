// Decoding voice files to WAV with file_decompress, against `mpg123 -w` on the
// same stream (header stripped), in the same run; and the peak memory of a
// 10-hour decode in a child process.
//
// usage: decompress [--hours-rss N] [--keep DIR]
#include <sys/resource.h>
#include <sys/wait.h>
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
#include "voicefile/decompress.h"
#include "voicefile/fileinfo.h"
#include "voicefile/koltheader.h"
#include "voicefile/lamecoder.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<int16_t> signal(int rate, double seconds) {
    std::vector<int16_t> out(static_cast<std::size_t>(rate * seconds));
    uint32_t noise = 12345;
    double phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += 2 * M_PI * (150 + 50 * std::sin(2 * M_PI * 0.5 * t)) / rate;
        double v = 0;
        for (int h = 1; h < 10; ++h) v += std::sin(h * phase) / h;
        noise = noise * 1664525u + 1013904223u;
        v = 5000 * v * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t)) + static_cast<int>(noise >> 23) - 256;
        out[i] = static_cast<int16_t>(v);
    }
    return out;
}

// One minute of stream for a codec type, from our encoder.
std::vector<uint8_t> minute_stream(int codec_type) {
    TLameCoder coder;
    setup_coder_for_mode(coder, codec_type);
    coder.PrepareEncoding();
    const std::vector<int16_t> pcm = signal(mp3_sample_rate(codec_type), 60.0);
    std::vector<uint8_t> out;
    uint32_t n = 0;
    for (std::size_t off = 0; off + 576 <= pcm.size(); off += 576) {
        coder.EncodeBuffer(pcm.data() + off, 576, coder.output_buffer().data(), n);
        out.insert(out.end(), coder.output_buffer().begin(), coder.output_buffer().begin() + n);
    }
    coder.FlushEncoding(coder.output_buffer().data(), n);
    out.insert(out.end(), coder.output_buffer().begin(), coder.output_buffer().begin() + n);
    return out;
}

// A voice file and the bare stream of `minutes` minutes (one minute repeated).
void make_files(int codec_type, int minutes, const std::string& vkd, const std::string& mp3) {
    const std::vector<uint8_t> one = minute_stream(codec_type);
    KoltHeader h = make_encoding_header(codec_type, vkd);
    std::ofstream v(vkd, std::ios::binary), m(mp3, std::ios::binary);
    v.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    for (int i = 0; i < minutes; ++i) {
        v.write(reinterpret_cast<const char*>(one.data()), static_cast<std::streamsize>(one.size()));
        m.write(reinterpret_cast<const char*>(one.data()), static_cast<std::streamsize>(one.size()));
    }
}

double time_decode(const std::string& vkd, const std::string& wav) {
    Tkoltfile_info info;
    get_fileinfo(vkd, info);
    TMMWave scratch;
    const double t0 = now();
    if (!file_decompress(vkd, wav, info, scratch)) std::fprintf(stderr, "decode failed\n");
    return now() - t0;
}

double time_command(const std::string& command) {
    const double t0 = now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    return now() - t0;
}

}  // namespace

int main(int argc, char** argv) {
    int rss_hours = 10;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--hours-rss") rss_hours = std::atoi(argv[i + 1]);
    app().messages["FM_text_system_errmsg3"] = "cannot open";
    const fs::path dir = fs::temp_directory_path() / ("bench_decompress_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string vkd = (dir / "shq.vkd").string(), mp3 = (dir / "shq.mp3").string();

    std::printf("decoding 1 hour of SHQ (22.05 kHz, 64 kbit/s mono)\n");
    make_files(7, 60, vkd, mp3);
    double best_ours = 1e9, best_peer = 1e9;
    for (int round = 0; round < 3; ++round) {
        best_ours = std::min(best_ours, time_decode(vkd, (dir / "ours.wav").string()));
        best_peer = std::min(best_peer, time_command("mpg123 -q -w " + (dir / "peer.wav").string() + " " + mp3));
    }
    const double ours_size = static_cast<double>(fs::file_size(dir / "ours.wav"));
    const double peer_size = static_cast<double>(fs::file_size(dir / "peer.wav"));
    std::printf("  file_decompress  %7.3f s  %7.0fx realtime  (%.0f bytes)\n", best_ours, 3600 / best_ours, ours_size);
    std::printf("  mpg123 -w        %7.3f s  %7.0fx realtime  (%.0f bytes)\n", best_peer, 3600 / best_peer, peer_size);
    std::printf("  ratio ours/peer  %7.2f   (bar: <= 1.50; realtime bar: >= 200x)\n", best_ours / best_peer);
    fs::remove(dir / "ours.wav");
    fs::remove(dir / "peer.wav");

    if (rss_hours > 0) {
        std::printf("peak memory decoding %d hours of SP in a child process\n", rss_hours);
        const std::string big = (dir / "long.vkd").string();
        make_files(5, rss_hours * 60, big, (dir / "long.mp3").string());
        fs::remove(dir / "long.mp3");
        std::fflush(stdout);
        const double t0 = now();
        pid_t pid = fork();
        if (pid == 0) {
            time_decode(big, (dir / "long.wav").string());
            _exit(0);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        std::printf("  %d hours: %.1f s, peak RSS %.1f MB (bar: < 50 MB)\n", rss_hours, now() - t0,
                    usage.ru_maxrss / 1024.0);
    }
    fs::remove_all(dir);
    return 0;
}
