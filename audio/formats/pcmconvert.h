#pragma once
// The PCM block converter: changes bits per sample (8/16), channel count (1/2)
// and sampling rate of plain PCM data one block at a time, keeping no state
// between blocks. 8-bit samples are unsigned (silence 128), 16-bit samples
// signed little-endian, stereo frames left first.
#include <cstdint>

#include "audio/formats/waveformat.h"

namespace murrel {

// 0 = 8-bit mono, 2 = 8-bit stereo, 4 = 16-bit mono, 6 = 16-bit stereo; -1 for
// anything the converter does not take (not tag 1, 3+ channels, other bit
// depths, rate 0).
int PCMFormatCode(const TWaveFormatEx& format);

// Destination bytes that converting `src_bytes` produces, or -1 for an invalid
// format. Callers allocate this plus 4 bytes.
int32_t PCMConvertSize(int32_t src_bytes, const TWaveFormatEx& src, const TWaveFormatEx& dst);

// Converts whole source frames of `src_buf` into `dst_buf` and returns the
// destination bytes written; a count <= 0 is returned unchanged, -1 for an
// invalid format.
int32_t PCMConvert(int32_t src_bytes, const void* src_buf, const TWaveFormatEx& src, void* dst_buf,
                   const TWaveFormatEx& dst);

}  // namespace murrel
