#pragma once
// Voice file to WAV: every frame of a voice file decoded by the decoder
// library and appended to 16-bit PCM WAV files.
#include <cstdint>
#include <string>

#include "shell/progress.h"
#include "voicefile/fileinfo.h"

namespace murrel {

class TMMWave;
class FrameReader;

// A WAV file is never let grow to this size: the output continues in a new
// file before it would.
inline constexpr int64_t kSplitThreshold = 1073741824;

// Name of the split file number `counter`: the target without its extension,
// "_", the counter, ".wav".
std::string split_file_name(const std::string& target, int counter);

// Decodes `source` into `target` (then target's stem + "_0.wav", "_1.wav", …
// whenever a file's data and header would reach `split_threshold` bytes),
// writing through `scratch` and reading through `reader`; the first file goes
// to `first_file` instead when that is given (a replacement being prepared),
// splits are named after `target`. The rate and channel count are those of the
// first decodable frame; a header (info.codec_type, info.channels) that
// disagrees is reported once as a warning. A stream with no decodable frame
// writes nothing and returns false after an error box ("no audio frames").
// The frame search stops within 64 KiB once app().convert_cancel is set. Returns true when the whole file
// was decoded; false after an error box when the source cannot be opened
// (FM_text_system_errmsg3) or is not an MP3 voice file (FM_text_system_errmsg11),
// and false when app().convert_cancel stopped it (the output so far is
// finalised and kept). Errors of the wave engine (a WAV file that cannot be
// created or written) are raised as EMMWaveError after the output written so
// far has been finalised. Uses the process-wide decoder state: one run at a
// time per process.
bool file_decompress(const std::string& source, const std::string& target, const Tkoltfile_info& info,
                     TMMWave& scratch, ConversionProgress& progress, FrameReader& reader,
                     int64_t split_threshold = kSplitThreshold, const std::string& first_file = {});
// The same with the process-wide frame reader.
bool file_decompress(const std::string& source, const std::string& target, const Tkoltfile_info& info,
                     TMMWave& scratch, ConversionProgress& progress = no_progress());

}  // namespace murrel
