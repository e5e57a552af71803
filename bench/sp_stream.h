#pragma once
// The speech-like signal and its SP encoding that the playback benchmarks
// share, so their figures are about the same stream.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "voicefile/lamecoder.h"

namespace murrel::bench {

// A 16-bit mono signal: a slowly swelling tone under noise, from a fixed seed.
inline std::vector<int16_t> speechlike_signal(int rate, int seconds) {
    std::vector<int16_t> pcm(static_cast<size_t>(rate) * seconds);
    uint32_t seed = 12345;
    for (size_t i = 0; i < pcm.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        double noise = static_cast<int32_t>(seed >> 16 & 0x7FF) - 1024;
        pcm[i] = static_cast<int16_t>(6000 * std::sin(i * 0.07) * std::sin(i * 0.0003) + noise);
    }
    return pcm;
}

// The SP stream of `pcm` (16 kHz mono); empty when the encoder refuses.
inline std::vector<uint8_t> encode_sp(const std::vector<int16_t>& pcm) {
    TLameCoder coder;
    setup_coder_for_mode(coder, 5);
    if (coder.PrepareEncoding() != 0) return {};
    std::vector<uint8_t> stream;
    for (size_t i = 0; i < pcm.size(); i += coder.samples_per_chunk()) {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(coder.samples_per_chunk(), pcm.size() - i)), out = 0;
        coder.EncodeBuffer(pcm.data() + i, n, coder.output_buffer().data(), out);
        stream.insert(stream.end(), coder.output_buffer().begin(), coder.output_buffer().begin() + out);
    }
    coder.CloseEncoding();
    return stream;
}

}  // namespace murrel::bench
