// The region-file reader on arbitrary files. "$WAV" in the input stands for a
// small WAV file made at start, so inputs can reach the lists after FileName.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "editor/regionfile.h"

using namespace murrel;

namespace {

struct Files {
    std::string dir, wav, region;
    Files() {
        char templ[] = "/tmp/murrel_fuzz_region_XXXXXX";
        dir = ::mkdtemp(templ);
        wav = dir + "/a.wav";
        region = dir + "/clipcut.tmp";
        TMMWave w;
        w.FileMustExist = false;
        w.CreateFile(wav, MakePCMFormat(16, 1, 16000));
        std::vector<int16_t> s(3000, 7);
        w.WriteData(s.data(), int64_t(s.size() * 2));
        w.CloseFile();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Files files;
    std::string text(reinterpret_cast<const char*>(data), size);
    for (size_t at; (at = text.find("$WAV")) != std::string::npos;) text.replace(at, 4, files.wav);
    if (FILE* f = std::fopen(files.region.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    TMMEnhancedWave doc;
    TMMCutList cuts;
    TMMMarkerList markers;
    doc.SetCutList(&cuts);
    doc.SetMarkerList(&markers);
    if (ReadRegionFile(doc, files.region) && !doc.FileName().empty()) {
        // What was read must be usable: open and read a little through it.
        try {
            doc.OpenFile();
            std::vector<uint8_t> buf(1024);
            for (int i = 0; i < 8 && doc.ReadData(buf.data(), int64_t(buf.size())) > 0; ++i) {
            }
            doc.CloseFile();
        } catch (const std::exception&) {
        }
    }
    return 0;
}
