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
// True when the loop ended normally, by cancel (check app().convert_cancel)
// or because a block converted to nothing (a file no codec reads gives an
// empty target); false when a block could not be written or reading failed
// midway (the target keeps what was written). The wave engine's errors for a
// source that cannot be attached or opened and a target that cannot be
// created (EMMWaveError) pass to the caller.
bool convert_wavetowave(const std::string& source, const std::string& target, int channels, int bits,
                        uint32_t rate, TMMWave& scratch, ConversionProgress& progress = no_progress(),
                        const ProgressTexts& restore = {});

// The temporary copy the batch conversion encodes instead of a WAV file of
// another format: NAME.wav.tmp beside the source.
std::string encoding_temp_path(const std::string& source);

// Whether `wave` (attached) already holds what the encoder takes: 16-bit mono
// PCM at `rate`.
bool fits_encoder(const TMMWave& wave, uint32_t rate);

// Leaves `wave` open on what the encoder takes at `rate`. When the file it is
// attached to has another format, converts it into encoding_temp_path() (its
// name returned in `temp_path`, for the caller to delete after encoding) and
// attaches `wave` to that. False, with the temporary file already deleted,
// when the conversion failed or was cancelled (app().convert_cancel tells
// which); an EMMWaveError of the conversion is caught and counts as failure.
bool prepare_encoding_source(TMMWave& wave, uint32_t rate, std::string& temp_path,
                             ConversionProgress& progress = no_progress());

}  // namespace murrel
