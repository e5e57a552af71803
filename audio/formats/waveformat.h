#pragma once
// The wave format record every WAV file carries in its "fmt " chunk, with its
// extra bytes, and the helpers the engine shares for it.
#include <cstdint>
#include <string>
#include <vector>

namespace murrel {

constexpr uint16_t WAVE_FORMAT_PCM = 1;

// Field for field the "fmt " chunk (little-endian on disk). `extra` holds the
// format-specific bytes; `cbSize` is kept equal to extra.size() by every
// routine of the engine.
struct TWaveFormatEx {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
    std::vector<uint8_t> extra;

    bool operator==(const TWaveFormatEx&) const = default;
};

// Tag 1, the given channels, rate and bits; block alignment channels × bits ÷ 8,
// average bytes per second block alignment × rate, no extra bytes.
void MakePCMFormat(TWaveFormatEx& format, int bits, int channels, uint32_t rate);
TWaveFormatEx MakePCMFormat(int bits, int channels, uint32_t rate);

// Name of a format tag ("PCM", "IMA ADPCM", …), "Unknown" for tags not in
// the engine's table.
std::string FormatTagName(uint16_t tag);

// Whether the numbers of `format` allow byte <-> sample arithmetic: channels,
// rate, block alignment and average rate all above 0 (PCM: bits 1..32 too).
bool FormatUsable(const TWaveFormatEx& format);

}  // namespace murrel
