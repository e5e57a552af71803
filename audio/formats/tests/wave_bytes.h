#pragma once
// Builders for WAV files byte by byte, so tests can state exactly which
// defect a file carries.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace murrel::wavetest {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
inline uint32_t Get32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// A chunk; `declared` replaces the size field when not -1; `pad` adds the pad
// byte after an odd payload.
inline Bytes Chunk(const char* id, const Bytes& payload, int64_t declared = -1, bool pad = true) {
    Bytes b;
    PutId(b, id);
    Put32(b, declared >= 0 ? uint32_t(declared) : uint32_t(payload.size()));
    b.insert(b.end(), payload.begin(), payload.end());
    if (pad && (payload.size() & 1)) b.push_back(0);
    return b;
}

// The 16-byte "fmt " payload; block alignment and byte rate as given.
inline Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t align,
                 uint32_t avg) {
    Bytes b;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, avg);
    Put16(b, align);
    Put16(b, bits);
    return b;
}
inline Bytes Pcm16Mono(uint32_t rate = 8000) { return Fmt(1, 1, rate, 16, 2, rate * 2); }

// RIFF/WAVE around `body`; `declared` replaces the RIFF size when not -1.
inline Bytes Riff(const Bytes& body, int64_t declared = -1) {
    Bytes b;
    PutId(b, "RIFF");
    Put32(b, declared >= 0 ? uint32_t(declared) : uint32_t(body.size() + 4));
    PutId(b, "WAVE");
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// Frames 0, 1, 2, … as 16-bit samples.
inline Bytes Ramp16(int frames) {
    Bytes b;
    for (int i = 0; i < frames; ++i) Put16(b, uint16_t(i));
    return b;
}

inline void WriteFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), long(b.size()));
}
inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace murrel::wavetest
