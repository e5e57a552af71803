#pragma once
// The malformed inputs the command line must refuse without leaving output or
// claiming success: WAV files no codec here reads and voice files whose
// stream holds no decodable frame. Each row is made here, byte by byte.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "voicefile/tests/audio_fixtures.h"

namespace murrel::testfix {

struct BadInput {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string message;  // part of the error the command must print
};

// RIFF WAVE with one fmt chunk (cbSize and `extra` appended unless plain
// PCM without extra) and a data chunk of `data_bytes` zero bytes.
inline std::vector<uint8_t> wave_bytes(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                       uint16_t block_align, uint32_t data_bytes,
                                       const std::vector<uint8_t>& extra = {}) {
    std::vector<uint8_t> fmt;
    put16(fmt, tag);
    put16(fmt, channels);
    put32(fmt, rate);
    put32(fmt, static_cast<uint32_t>(uint64_t(rate) * block_align));
    put16(fmt, block_align);
    put16(fmt, bits);
    if (tag != 1 || !extra.empty()) {
        put16(fmt, static_cast<uint16_t>(extra.size()));
        fmt.insert(fmt.end(), extra.begin(), extra.end());
    }
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F'};
    put32(b, static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data_bytes));
    for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<uint8_t>(c));
    put32(b, static_cast<uint32_t>(fmt.size()));
    b.insert(b.end(), fmt.begin(), fmt.end());
    for (char c : std::string("data")) b.push_back(static_cast<uint8_t>(c));
    put32(b, data_bytes);
    b.resize(b.size() + data_bytes, 0);
    return b;
}

inline std::vector<BadInput> unreadable_waves() {
    // MS ADPCM whose coefficient table claims more pairs than it holds.
    std::vector<uint8_t> bad_adpcm;
    put16(bad_adpcm, 500);  // samples per block
    put16(bad_adpcm, 200);  // coefficient pairs, none of which follow
    // WAVE_FORMAT_EXTENSIBLE cut short: cbSize 22 announced, 6 bytes given.
    std::vector<uint8_t> short_ext = {16, 0, 4, 0, 0, 0};
    return {
        {"tag1234.wav", wave_bytes(0x1234, 1, 16000, 16, 2, 32000), "cannot be read"},
        {"mp3inwav.wav", wave_bytes(0x55, 1, 16000, 0, 1, 32000, {1, 0, 2, 0, 0, 0, 0, 1, 1, 0, 0, 0}),
         "cannot be read"},
        {"three.wav", wave_bytes(1, 3, 16000, 16, 6, 48000), "3 channels"},
        {"six.wav", wave_bytes(1, 6, 16000, 16, 12, 48000), "6 channels"},
        {"many.wav", wave_bytes(1, 65535, 8000, 8, 65535, 65535u * 2), "65535 channels"},
        {"extensible.wav", wave_bytes(0xFFFE, 1, 16000, 16, 2, 32000, short_ext), "cannot be read"},
        {"float16.wav", wave_bytes(3, 1, 16000, 16, 2, 32000), "cannot be read"},
        {"badadpcm.wav", wave_bytes(2, 1, 8000, 4, 256, 2560, bad_adpcm), "cannot be read"},
        {"pcm7.wav", wave_bytes(1, 1, 16000, 7, 1, 16000), "cannot be read"},
        {"rate.wav", wave_bytes(1, 1, 0xFFFFFFFFu, 16, 2, 32000), "4294967295 Hz"},
    };
}

// Streams with no decodable frame, each behind a valid SP header.
inline std::vector<BadInput> frameless_streams() {
    std::mt19937 gen(13);
    std::vector<uint8_t> random(8192);
    for (uint8_t& b : random) b = static_cast<uint8_t>(gen());
    auto repeat = [](std::vector<uint8_t> header, int times) {
        std::vector<uint8_t> out;
        for (int i = 0; i < times; ++i) out.insert(out.end(), header.begin(), header.end());
        return out;
    };
    // MPEG-2 Layer III headers: bit-rate index 15 (forbidden), sampling index 3
    // (reserved), and one good header with nothing after it.
    return {
        {"random.vkd", random, "no audio frames"},
        {"zeros.vkd", std::vector<uint8_t>(8192, 0), "no audio frames"},
        {"ones.vkd", std::vector<uint8_t>(8192, 0xFF), "no audio frames"},
        {"bitrate15.vkd", repeat({0xFF, 0xF3, 0xF8, 0xC4}, 2048), "no audio frames"},
        {"sampling3.vkd", repeat({0xFF, 0xF3, 0x8C, 0xC4}, 2048), "no audio frames"},
        {"lone.vkd", {0xFF, 0xF3, 0x88, 0xC4}, "no audio frames"},
    };
}

}  // namespace murrel::testfix
