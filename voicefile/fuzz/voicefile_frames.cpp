// Voice file bytes through the header probe, the frame reader and the decoder
// library, as decoding and playback take them.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "voicefile/bytesource.h"
#include "voicefile/fileinfo.h"
#include "voicefile/framereader.h"
#include "voicefile/koltheader.h"

using namespace murrel;

// The decoder library reports damaged frames on standard output; libFuzzer
// talks on standard error.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= kKoltHeaderSize && kolt_filecheck(data)) {
        volatile uint32_t rate = bytearraytodword(data + kolt::kBitrate, 3);
        (void)rate;
        (void)header_title(data);
        (void)header_ext(data);
    }

    static const std::string path = "/tmp/fuzz_voicefile_" + std::to_string(getpid()) + ".vkd";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        Tkoltfile_info info;
        get_fileinfo(path, info);
        std::remove(path.c_str());
    }

    // Decoding reads from offset 0 and lets the search pass over the header.
    MemorySource source(data, size);
    FrameReader& reader = frame_reader();
    reader.reset();
    bool first = true;
    while (!reader.at_end()) {
        int channels = 0;
        const int n = reader.decode_next_frame(source, first, channels);
        if (reader.at_end()) break;
        first = false;
        if (n < 0 || n > kPcmChannelOffset || (channels != 1 && channels != 2)) __builtin_trap();
        if (reader.state.frame_start >= kRingSize) __builtin_trap();
    }
    return 0;
}
