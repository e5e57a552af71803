// The display-data reader on arbitrary cache files. The frame count, time
// stamp and WAV size of a small WAV made at start are written over the
// input's, so inputs get past the validity check and reach the level and
// entry arithmetic of the pixel buffer.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/formats/acmwave.h"
#include "editor/displaydata.h"
#include "editor/displayregistry.h"

using namespace murrel;

namespace {

struct Files {
    std::string dir, wav;
    DisplaySource source;
    Files() {
        char templ[] = "/tmp/murrel_fuzz_display_XXXXXX";
        dir = ::mkdtemp(templ);
        ::setenv("XDG_CACHE_HOME", dir.c_str(), 1);
        wav = dir + "/a.wav";
        TMMWave w;
        w.FileMustExist = false;
        w.CreateFile(wav, MakePCMFormat(16, 2, 8000));
        std::vector<int16_t> s(2 * 3000);
        for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(i * 37);
        w.WriteData(s.data(), int64_t(s.size() * 2));
        w.CloseFile();
        TMMAcmWave a;
        a.SetFileName(wav);
        DisplaySourceOf(a, source);
    }
};

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Files files;
    std::vector<uint8_t> bytes(data, data + size);
    put32(bytes, 4, uint32_t(files.source.frames));
    put32(bytes, 8, files.source.time_stamp);
    const uint32_t finest = bytes.size() >= 16 ? uint32_t(bytes[12] | bytes[13] << 8 | bytes[14] << 16) : 0;
    if (finest < (1u << 20)) {
        put32(bytes, 24 + 2 * size_t(finest), uint32_t(files.source.wav_size));
        put32(bytes, 28 + 2 * size_t(finest), 0);
    }
    TMMDisplayRegistry registry;
    registry.Probe = [](const std::string&) { return DisplayVolumeInfo{.removable = true}; };
    TMMAcmWave wave;
    wave.SetFileName(files.wav);
    const std::string key = registry.Register(wave);
    const std::string sdd = registry.DisplayFile(key);
    if (FILE* f = std::fopen(sdd.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    if (registry.Valid(key)) {
        std::vector<int16_t> out(4 * 64);
        for (int64_t strip : {int64_t(1), int64_t(64), int64_t(3000), int64_t(1) << 20}) {
            try {
                LoadPixelBuffer(registry, key, wave, 0, 64, strip, out.data());
            } catch (const EMMWaveEditError&) {
            }
        }
    }
    registry.Release(key, true);
    return 0;
}
