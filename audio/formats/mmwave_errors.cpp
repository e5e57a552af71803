#include "audio/formats/mmwave_errors.h"

#include <string>

namespace murrel {

namespace {
constexpr const char* kWaveErrorTexts[kWaveErrorCount] = {
    "Error reading wave file",
    "Invalid wave file...",
    "Unable to open wave file",
    "Unable to setup file IO buffer",
    "Unable to create wave file",
    "Invalid param passed!",
    "Unable to save wave file",
    "Saving was aborted",
    "Error seeking file position",
    "Change to property while file was open",
    "Wave file would exceed the 4 GiB limit of the WAV format",
    "Unable to write wave file",
};
}  // namespace

const char* WaveErrorText(WaveError code) {
    int i = int(code);
    return i >= 0 && i < kWaveErrorCount ? kWaveErrorTexts[i] : "Unknown wave error";
}

EMMListError::EMMListError(long long index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

}  // namespace murrel
