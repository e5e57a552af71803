// Feeds mp3_lib arbitrary rings, positions, lengths and first-frame flags over
// many calls. The input is a sequence of call records:
//   first (1 byte), position (2), length (2), count (2), then `count` bytes that
//   are written into the ring from the entry after `position` on.
// The ring and the output are exact-size heap blocks, so that any access
// outside them is caught.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decoder/sonadyn.h"

namespace {

uint16_t* g_ring = nullptr;
int16_t* g_pcm = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_ring = new uint16_t[4096];
    g_pcm = new int16_t[2304];
    // The decoder's diagnostics would only slow the run down.
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::memset(g_ring, 0, 4096 * sizeof(uint16_t));
    std::memset(g_pcm, 0, 2304 * sizeof(int16_t));
    size_t at = 0;
    bool first_call = true;
    while (at + 7 <= size) {
        const uint8_t first = data[at];
        const uint16_t position = static_cast<uint16_t>(data[at + 1] | data[at + 2] << 8);
        const uint16_t length = static_cast<uint16_t>(data[at + 3] | data[at + 4] << 8);
        size_t count = static_cast<size_t>(data[at + 5] | data[at + 6] << 8) % 4097;
        at += 7;
        if (count > size - at) count = size - at;
        for (size_t i = 0; i < count; ++i) {
            // The high byte of each entry must not matter; give it noise.
            g_ring[(position + 1 + i) % 4096] = static_cast<uint16_t>(data[at + i] | (first ^ i) << 8);
        }
        at += count;
        // Unused high bits of the arguments carry noise as well.
        const int32_t first_arg = first_call ? 1 : static_cast<int32_t>(first) | (position << 8);
        const int32_t position_arg = static_cast<int32_t>(position) | (static_cast<int32_t>(length) << 16);
        const int32_t length_arg = static_cast<int32_t>(length) | (static_cast<int32_t>(first) << 16);
        const int16_t result = mp3_lib(first_arg, g_ring, position_arg, length_arg, g_pcm);
        if (result != 0 && result != 576 && result != 1152) std::abort();
        first_call = false;
    }
    return 0;
}
