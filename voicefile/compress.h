#pragma once
// Writing voice files: a whole WAV file encoded into a new voice file, and a
// recording's buffers appended to the scratch voice file one at a time.
#include <cstddef>
#include <cstdint>
#include <string>

#include "shell/progress.h"

namespace murrel {

class TMMWave;
class TLameCoder;

// Encodes the WAV file open in `source` (16-bit mono at the rate of
// `codec_type`, read from its start) into a new voice file `target`, with
// `coder` set up for the codec type. True when all of the source was encoded.
// False, after an error box, when the target cannot be created, the encoder
// refuses its settings (the target is removed) or the disk fills up (the file
// is kept, ending after its last whole frame); false without a box when
// app().convert_cancel stops it (the file written so far is kept, its frames
// complete). `source` is freed on return except when the target could not be
// created. For codec types other than 5-7 only the header is written.
// `named` is the file name the header records and the progress shows when
// `target` is a scratch file that will replace it (default: target).
bool file_compress(TMMWave& source, const std::string& target, int codec_type, TLameCoder& coder,
                   ConversionProgress& progress = no_progress(), const std::string& named = {});

// Appends the encoding of one recorded buffer (`bytes` bytes of 16-bit
// samples, at most the coder's chunk) to app().temp_recording_path. The
// recorder opened `coder`'s stream. False when the file cannot be opened or
// the disk is full (the file then ends after its last whole frame); the
// recorder stops recording then. Runs on the input device's thread.
bool file_compressrec(TLameCoder& coder, const int16_t* samples, std::size_t bytes);

// Ends a recording's stream: appends what the encoder still holds to
// app().temp_recording_path and closes the stream. False when the file could
// not be written (the stream is closed all the same).
bool file_compressrec_close(TLameCoder& coder);

}  // namespace murrel
