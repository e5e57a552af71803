// Compressed WAV input through the conversion chain: a format record (tag
// from the codecs the chain knows, channels, rate, block size, bits, extra
// bytes) and data fed in uneven blocks, to the codec's own PCM and on to the
// recorder's format.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/formats/acmchain.h"

using namespace murrel;

namespace {

const uint16_t kTags[] = {0x0001, 0x0002, 0x0003, 0x0006, 0x0007, 0x0011, 0x0031, 0xFFFE, 0x0055};
const uint32_t kRates[] = {8000, 11025, 16000, 22050, 44100, 48000, 1, 768000};

void run(const TWaveFormatEx& src, const TWaveFormatEx& dst, const uint8_t* data, size_t size,
         uint8_t step_seed) {
    std::vector<uint8_t> input(4096);
    auto chain = OpenChain(src, dst, input.data(), false, int32_t(input.size()));
    if (!chain) return;
    size_t at = 0;
    uint32_t step = step_seed | 1u;
    while (at < size) {
        step = step * 1103515245u + 12345u;
        const size_t n = std::min({size - at, size_t(chain->input_capacity), size_t((step >> 16) % 5000 + 1)});
        std::memcpy(chain->input, data + at, n);
        at += n;
        const int32_t out = at < size ? ChainConvert(*chain, int32_t(n)) : ChainConvertEnd(*chain, int32_t(n));
        if (out > 0) {
            volatile uint8_t sink = chain->output()[out - 1];
            (void)sink;
        }
        if ((step & 0xFF) == 7) ChainReset(*chain);
    }
    CloseChain(chain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 10) return 0;
    TWaveFormatEx f;
    f.wFormatTag = kTags[data[0] % (sizeof kTags / sizeof kTags[0])];
    f.nChannels = uint16_t(data[1] % 4);
    f.nSamplesPerSec = kRates[data[2] % (sizeof kRates / sizeof kRates[0])];
    f.nBlockAlign = uint16_t(data[3] | (data[4] << 8));
    f.wBitsPerSample = uint16_t(data[5] % 72);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    const size_t extra = std::min<size_t>(data[6] % 48, size - 8);
    f.extra.assign(data + 8, data + 8 + extra);
    f.cbSize = uint16_t(extra);
    const uint8_t* body = data + 8 + extra;
    const size_t body_size = size - 8 - extra;

    auto pcm = SuggestPCM(f);
    if (pcm) run(f, *pcm, body, body_size, data[7]);
    run(f, MakePCMFormat(16, 1, 16000), body, body_size, data[7]);
    return 0;
}
