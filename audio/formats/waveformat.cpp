#include "audio/formats/waveformat.h"

#include <algorithm>
#include <iterator>

namespace murrel {

void MakePCMFormat(TWaveFormatEx& format, int bits, int channels, uint32_t rate) {
    format = TWaveFormatEx{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = uint16_t(channels);
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = uint16_t(bits);
    format.nBlockAlign = uint16_t(channels * bits / 8);
    format.nAvgBytesPerSec = uint32_t(format.nBlockAlign) * rate;
    format.cbSize = 0;
}

TWaveFormatEx MakePCMFormat(int bits, int channels, uint32_t rate) {
    TWaveFormatEx f;
    MakePCMFormat(f, bits, channels, rate);
    return f;
}

namespace {
struct TagName {
    uint16_t tag;
    const char* name;
};
// The registered tags a WAV file on this system is likely to carry.
constexpr TagName kTagNames[] = {
    {0x0001, "PCM"},           {0x0002, "ADPCM"},          {0x0003, "IEEE Float"},
    {0x0006, "A-Law"},         {0x0007, "mu-Law"},         {0x0010, "OKI ADPCM"},
    {0x0011, "IMA ADPCM"},     {0x0014, "G.723 ADPCM"},    {0x0022, "TrueSpeech"},
    {0x0031, "GSM 6.10"},      {0x0040, "G.721 ADPCM"},    {0x0042, "G.723.1"},
    {0x0050, "MPEG"},          {0x0055, "MPEG Layer-3"},   {0x0064, "G.726 ADPCM"},
    {0x0065, "G.722 ADPCM"},   {0x0092, "AC3 SPDIF"},{0x00FF, "AAC"},
    {0x1610, "MPEG-4 AAC"},    {0x2000, "AC-3"},           {0xFFFE, "Extensible"},
};
}  // namespace

std::string FormatTagName(uint16_t tag) {
    auto it = std::find_if(std::begin(kTagNames), std::end(kTagNames),
                           [tag](const TagName& t) { return t.tag == tag; });
    return it == std::end(kTagNames) ? "Unknown" : it->name;
}

bool FormatUsable(const TWaveFormatEx& f) {
    if (f.nChannels == 0 || f.nSamplesPerSec == 0 || f.nBlockAlign == 0 || f.nAvgBytesPerSec == 0)
        return false;
    if (f.wFormatTag == WAVE_FORMAT_PCM && (f.wBitsPerSample == 0 || f.wBitsPerSample > 32))
        return false;
    return true;
}

}  // namespace murrel
