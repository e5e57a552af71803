#pragma once
// WAV-to-WAV conversion: brings any readable WAV file (8-bit, stereo, another
// rate, ADPCM, A-law, ...) into the format the encoder takes, writing a new
// PCM WAV file. The source is read through a wave of its own that presents it
// as PCM; each 4096-byte block goes through the PCM block converter; the
// target is written through the caller's scratch wave.
//
// Runs on the user-interface thread (or the command line's); polls
// app().convert_cancel once per block.
#include <cstdint>
#include <string>

#include "shell/progress.h"

namespace murrel {

class TMMWave;

// Texts the progress display showed before the conversion; they are put back
// at the end, also after an error.
struct ProgressTexts {
    std::string caption;
    std::string filename;
};

// Converts `source` into a new PCM WAV file `target` with the given channels,
// bits and rate, written through `scratch` (closed and freed on return).
// True when the loop ended normally or by cancel (check app().convert_cancel);
// false when a block could not be written or reading failed midway (the
// target keeps what was written). The wave engine's errors for a source that
// cannot be attached or opened and a target that cannot be created
// (EMMWaveError) pass to the caller, and so does a std::runtime_error naming
// why a source no codec reads (UnreadableReason) is refused: then no target
// is created.
bool convert_wavetowave(const std::string& source, const std::string& target, int channels, int bits,
                        uint32_t rate, TMMWave& scratch, ConversionProgress& progress = no_progress(),
                        const ProgressTexts& restore = {});

// Whether `wave` (attached) already holds what the encoder takes: 16-bit mono
// PCM at `rate`.
bool fits_encoder(const TMMWave& wave, uint32_t rate);

// Leaves `wave` open on what the encoder takes at `rate`. When the file it is
// attached to has another format, converts it into a fresh scratch file
// (reserve_scratch_file) in `scratch_folder` ("" = the source's folder), its
// name returned in `temp_path` for the caller to delete after encoding, and
// attaches `wave` to that. False, with the temporary file already deleted,
// when the conversion failed or was cancelled (app().convert_cancel tells
// which); `why` then says what failed (empty after a cancel).
bool prepare_encoding_source(TMMWave& wave, uint32_t rate, std::string& temp_path,
                             ConversionProgress& progress = no_progress(), const std::string& scratch_folder = {},
                             std::string* why = nullptr);

}  // namespace murrel
