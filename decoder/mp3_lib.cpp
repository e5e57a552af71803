#define SONADYN_BUILD
#include "decoder/sonadyn.h"

#include "decoder/decoder.h"

SONADYN_API int16_t mp3_lib(int32_t first_frame, const uint16_t* ring, int32_t position,
                            int32_t length, int16_t* pcm) {
    return sonadyn::decoder().decode_frame((first_frame & 0xFF) != 0, ring,
                                           static_cast<uint16_t>(position & 0xFFFF),
                                           static_cast<int16_t>(length & 0xFFFF), pcm);
}
