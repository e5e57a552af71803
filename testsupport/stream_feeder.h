#pragma once
// Test and benchmark helper: splits an MPEG audio Layer III stream into frames
// and feeds them one by one through a 4096-entry input ring to mp3_lib, the way
// the program's frame reader does (frames follow each other around the ring).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/sonadyn.h"

namespace sonadyn_test {

struct FrameRef {
    size_t offset;
    int length;  // whole frame, header included
};

struct StreamFormat {
    int rate = 0;
    int channels = 0;
    int samples_per_frame = 0;
};

inline int sample_rate_of(const uint8_t* h) {
    static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    const int code = (h[2] >> 2) & 3;
    if (code == 3) return 0;
    const bool mpeg25 = (h[1] & 0x10) == 0;
    const bool id = (h[1] & 0x08) != 0;
    return kRates[mpeg25 ? 2 : (id ? 0 : 1)][code];
}

// Length in bytes of the Layer III frame whose header starts at h, or 0.
inline int frame_length_of(const uint8_t* h) {
    static const int kMpeg1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kLsf[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
    if (((h[1] >> 1) & 3) != 1) return 0;  // Layer III only
    const int index = h[2] >> 4;
    const int rate = sample_rate_of(h);
    if (index == 0 || index == 15 || rate == 0) return 0;
    const bool id = (h[1] & 0x08) != 0;
    const int padding = (h[2] >> 1) & 1;
    if (id) return 144000 * kMpeg1[index] / rate + padding;
    return 72000 * kLsf[index] / rate + padding;
}

inline std::vector<FrameRef> split_frames(const std::vector<uint8_t>& bytes) {
    std::vector<FrameRef> frames;
    size_t at = 0;
    if (bytes.size() >= 10 && bytes[0] == 'I' && bytes[1] == 'D' && bytes[2] == '3') {
        at = 10 + ((size_t{bytes[6]} & 0x7F) << 21 | (size_t{bytes[7]} & 0x7F) << 14 |
                   (size_t{bytes[8]} & 0x7F) << 7 | (size_t{bytes[9]} & 0x7F));
    }
    while (at + 4 <= bytes.size()) {
        const int length = frame_length_of(&bytes[at]);
        if (length == 0 || at + static_cast<size_t>(length) > bytes.size()) {
            ++at;
            continue;
        }
        frames.push_back({at, length});
        at += static_cast<size_t>(length);
    }
    return frames;
}

inline std::vector<uint8_t> read_file(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[65536];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

// The caller's side of mp3_lib: owns the ring and the output buffer.
class FrameFeeder {
public:
    // Copies the frame into the ring after the previous one and decodes it.
    int16_t feed(const uint8_t* frame, int length, bool first) {
        const uint16_t start = position_;
        for (int i = 0; i < length; ++i) {
            position_ = static_cast<uint16_t>((position_ + 1) % 4096);
            ring_[position_] = frame[i];
        }
        return mp3_lib(first ? 1 : 0, ring_, start, length - 4, pcm_);
    }
    int16_t* pcm() { return pcm_; }
    uint16_t* ring() { return ring_; }
    uint16_t position() const { return position_; }

private:
    uint16_t ring_[4096] = {};
    int16_t pcm_[2304] = {};
    uint16_t position_ = 4095;
};

// Decodes a whole stream; samples interleaved by channel.
inline std::vector<int16_t> decode_stream(const std::vector<uint8_t>& bytes, StreamFormat* format = nullptr) {
    std::vector<int16_t> out;
    FrameFeeder feeder;
    bool first = true;
    for (const FrameRef& f : split_frames(bytes)) {
        const uint8_t* h = &bytes[f.offset];
        const int channels = ((h[3] >> 6) == 3) ? 1 : 2;
        const int n = feeder.feed(h, f.length, first);
        if (format && first) *format = {sample_rate_of(h), channels, n};
        first = false;
        for (int i = 0; i < n; ++i)
            for (int ch = 0; ch < channels; ++ch) out.push_back(feeder.pcm()[1152 * ch + i]);
    }
    return out;
}

}  // namespace sonadyn_test
