#pragma once
// A picture of a whole WAV file as the overview draws it, through its
// display data (built where the program would keep it, or reused).
#include <string>

#include "editor/displayregistry.h"

namespace murrel {

struct WaveformImageResult {
    bool ok = false;
    bool built = false;  // the display data had to be built
    std::string error;   // the reason when not ok
};

// Writes `png_path` (width × height pixels) for `wav_path`.
WaveformImageResult WriteWaveformImage(TMMDisplayRegistry& registry, const std::string& wav_path,
                                       const std::string& png_path, int width, int height,
                                       const DisplayProgress& progress = {});

}  // namespace murrel
