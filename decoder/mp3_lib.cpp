#define SONADYN_BUILD
#include "decoder/sonadyn.h"

// Placeholder entry point until the decoder stages land: decodes nothing.
SONADYN_API int16_t mp3_lib(int32_t, const uint16_t*, int32_t, int32_t, int16_t*) { return 0; }
