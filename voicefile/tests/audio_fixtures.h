#pragma once
// Signals, raw WAV files, voice files and peer commands for the voice file
// tests. WAV files are written and read here byte by byte, so the tests do not
// lean on the engine they check.
#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "voicefile/koltheader.h"
#include "voicefile/lamecoder.h"

namespace murrel::testfix {

// Voiced-speech-like test signal: a gliding harmonic tone with a syllable
// envelope over a low noise bed; fixed seed.
inline std::vector<int16_t> speechlike(int rate, double seconds, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 300.0);
    const std::size_t n = static_cast<std::size_t>(rate * seconds);
    std::vector<int16_t> out(n);
    double phase = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f0 = 140 + 40 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * f0 / rate;
        double v = 0;
        for (int h = 1; h <= 12; ++h) v += std::sin(h * phase) / h;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3.1 * t);
        double s = 6000 * envelope * v + noise(rng);
        out[i] = static_cast<int16_t>(std::clamp(s, -32000.0, 32000.0));
    }
    return out;
}

inline void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void write_wav(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels = 1) {
    std::vector<uint8_t> b;
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + data);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1);
    put16(b, static_cast<uint16_t>(channels));
    put32(b, static_cast<uint32_t>(rate));
    put32(b, static_cast<uint32_t>(rate * channels * 2));
    put16(b, static_cast<uint16_t>(channels * 2));
    put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, data);
    for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
    write_bytes(path, b);
}

struct Pcm {
    bool ok = false;
    int rate = 0;
    int channels = 0;
    int bits = 0;
    uint32_t declared_data = 0;  // size field of the data chunk
    std::vector<int16_t> samples;
};

// A 16-bit PCM WAV file as its chunks say; ok only when the RIFF size and the
// data size agree with the file.
inline Pcm read_wav(const std::string& path) {
    Pcm pcm;
    std::vector<uint8_t> b = read_bytes(path);
    auto u32 = [&](std::size_t o) { return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | static_cast<uint32_t>(b[o + 3]) << 24; };
    auto u16 = [&](std::size_t o) { return static_cast<uint16_t>(b[o] | b[o + 1] << 8); };
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return pcm;
    if (u32(4) + 8 != b.size()) return pcm;
    std::size_t o = 12;
    bool have_fmt = false;
    while (o + 8 <= b.size()) {
        const uint32_t size = u32(o + 4);
        if (std::memcmp(b.data() + o, "fmt ", 4) == 0) {
            pcm.channels = u16(o + 10);
            pcm.rate = static_cast<int>(u32(o + 12));
            pcm.bits = u16(o + 22);
            have_fmt = true;
        } else if (std::memcmp(b.data() + o, "data", 4) == 0) {
            if (o + 8 + size > b.size()) return pcm;
            pcm.declared_data = size;
            pcm.samples.resize(size / 2);
            if (size >= 2) std::memcpy(pcm.samples.data(), b.data() + o + 8, size / 2 * 2);
        }
        o += 8 + size + (size & 1);
    }
    pcm.ok = have_fmt;
    return pcm;
}

inline int run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool have_tool(const std::string& name) { return run("command -v " + name + " >/dev/null 2>&1") == 0; }

// Voice file from a raw MPEG stream: our header for `codec_type`, then the stream.
inline void write_voice_file(const std::string& path, int codec_type, const std::vector<uint8_t>& stream) {
    KoltHeader h = make_encoding_header(codec_type, path);
    std::vector<uint8_t> b(h.begin(), h.end());
    b.insert(b.end(), stream.begin(), stream.end());
    write_bytes(path, b);
}

// Signal-to-noise ratio of `test` against `ref` in dB, at the lag (test
// delayed by min_lag..max_lag samples) that fits best, over the overlap.
// An encoder and decoder pair delays by 1105 samples (576 + 529).
inline double snr_db(const std::vector<int16_t>& ref, const std::vector<int16_t>& test, int max_lag = 1200,
                     int min_lag = 1000) {
    double best = -1e9;
    for (int lag = min_lag; lag <= max_lag; ++lag) {
        double signal = 0, error = 0;
        const std::size_t n = std::min(ref.size(), test.size() > static_cast<std::size_t>(lag) ? test.size() - lag : 0);
        for (std::size_t i = 0; i < n; ++i) {
            const double d = static_cast<double>(test[i + lag]) - ref[i];
            signal += static_cast<double>(ref[i]) * ref[i];
            error += d * d;
        }
        if (n == 0 || error <= 0) continue;
        const double snr = 10 * std::log10(signal / error);
        best = std::max(best, snr);
    }
    return best;
}

// `seconds` of SP stream from our encoder, of speechlike() with `seed`.
inline std::vector<uint8_t> sp_stream(double seconds, uint32_t seed) {
    TLameCoder coder;
    setup_coder_for_mode(coder, 5);
    if (coder.PrepareEncoding() != BE_ERR_SUCCESSFUL) return {};
    const std::vector<int16_t> pcm = speechlike(16000, seconds, seed);
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

}  // namespace murrel::testfix
