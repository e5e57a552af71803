#pragma once
// sonadyn: decodes one MPEG audio Layer III frame per call.
//
// The caller owns both buffers. `ring` is 4096 entries, one stream byte in the
// low 8 bits of each; `position` and `length` locate the frame in it (low 16
// bits used, the length signed). `pcm` receives up to 2304 samples: channel 0 at
// 0..1151 and channel 1 at 1152..2303. The result is the number of samples per
// channel written, or 0 for a frame that was not decoded. Not thread-safe: the
// library keeps one decoder state for the whole process.
#include <cstdint>

#if defined(SONADYN_BUILD)
#define SONADYN_API extern "C" __attribute__((visibility("default")))
#else
#define SONADYN_API extern "C"
#endif

SONADYN_API int16_t mp3_lib(int32_t first_frame, const uint16_t* ring, int32_t position,
                            int32_t length, int16_t* pcm);
