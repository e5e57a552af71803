#pragma once
// Errors of WAV file access. Every text lives in the one table behind
// WaveErrorText; EMMWaveError carries the code and that text.
#include <stdexcept>
#include <string>

namespace murrel {

enum class WaveError {
    ReadError,        // "Error reading wave file"
    InvalidFile,      // "Invalid wave file..."
    OpenError,        // "Unable to open wave file"
    BufferError,      // "Unable to setup file IO buffer"
    CreateError,      // "Unable to create wave file"
    InvalidParam,     // "Invalid param passed!"
    SaveError,        // "Unable to save wave file"
    SaveAborted,      // "Saving was aborted"
    SeekError,        // "Error seeking file position"
    PropertyWhileOpen,// "Change to property while file was open"
    TooLarge,         // data would carry the file past the 4 GiB limit of RIFF
    WriteError,       // finalising a written file failed (full disk, vanished file)
};
constexpr int kWaveErrorCount = 12;

const char* WaveErrorText(WaveError code);

class EMMWaveError : public std::runtime_error {
public:
    explicit EMMWaveError(WaveError code) : std::runtime_error(WaveErrorText(code)), code_(code) {}
    WaveError code() const { return code_; }

private:
    WaveError code_;
};

// "List index out of bounds (%d)" of the engine's growable lists.
class EMMListError : public std::out_of_range {
public:
    explicit EMMListError(long long index);
};

}  // namespace murrel
