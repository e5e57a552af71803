// Feeds arbitrary bytes to the WAV parser as a file, reads what it accepts,
// then appends to it and checks that the finalised file parses again with at
// least the data it had.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"

using namespace murrel;

namespace {
std::string ScratchPath() {
    // A memory-backed folder keeps the file round trips of each input cheap.
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    return dir + "/fuzz_riff_parse_" + std::to_string(getpid()) + ".wav";
}

void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = ScratchPath();
    WriteAll(path, data, size);
    int64_t before = -1;
    {
        TMMWave w;
        try {
            w.SetFileName(path);
        } catch (const EMMWaveError&) {
            return 0;
        }
        const WaveIOBlock* b = w.IOBlock();
        if (b->data_bytes < 0 || b->data_offset + b->data_bytes > b->file_size) std::abort();
        before = b->data_bytes;
        try {
            w.OpenFile();
            std::vector<uint8_t> buf(4096);
            int64_t total = 0, n;
            while ((n = w.ReadData(buf.data(), int64_t(buf.size()))) > 0) total += n;
            if (total > w.LengthInBytes() + 4) std::abort();
            w.SetPosition(w.DataSize() / 2);
            w.ReadData(buf.data(), 7);
            w.SetPosition(w.DataSize());
            const uint8_t two[2] = {1, 2};
            w.WriteData(two, 2);
            w.CloseFile();
        } catch (const EMMWaveError&) {
            return 0;
        }
    }
    TMMWave again;
    try {
        again.SetFileName(path);
    } catch (const EMMWaveError&) {
        std::abort();  // a file we finalised must be a wave
    }
    if (again.IOBlock()->data_bytes < before) std::abort();
    return 0;
}
