#pragma once
// sonadyn: decodes one MPEG audio Layer III frame per call (MPEG-1, MPEG-2
// lower sampling frequencies, MPEG-2.5).
//
// first_frame: low 8 bits; non-zero starts a new stream (clears the bit
//   reservoir and filter memories) before this frame is decoded.
// ring: the caller's input ring of 4096 entries, one stream byte in the low 8
//   bits of each; the whole frame must be in it.
// position: low 16 bits; the entry just before the frame's first header byte.
// length: low 16 bits, signed; the frame's length in bytes minus its 4-byte
//   header.
// pcm: the caller's 2304 samples, planar: channel 0 at 0..1151 (granule 1 from
//   576), channel 1 at 1152..2303. Only the parts the frame has are written.
//
// Result: 1152 for an MPEG-1 frame, 576 for the lower sampling frequencies
// (samples per channel), 0 for a frame without a valid sync word. Frames of
// other layers return the count but decode nothing. Diagnostics go to standard
// output. The decoder state is one per process: calls must be serialised and
// serve one stream at a time.
#include <cstdint>

#if defined(SONADYN_BUILD)
#define SONADYN_API extern "C" __attribute__((visibility("default")))
#else
#define SONADYN_API extern "C"
#endif

SONADYN_API int16_t mp3_lib(int32_t first_frame, const uint16_t* ring, int32_t position,
                            int32_t length, int16_t* pcm);
