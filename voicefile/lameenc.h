#pragma once
// The chunk-encoder entry points the program calls (beInitStream,
// beEncodeChunk, beDeinitStream, beCloseStream, beVersion), as a small adapter
// over the LAME library's own interface. The configuration record is the
// "LAME" form: 32-bit little-endian fields, 331 bytes in all.
#include <cstdint>

namespace murrel {

using HBE_STREAM = uintptr_t;
using BE_ERR = uint32_t;

inline constexpr BE_ERR BE_ERR_SUCCESSFUL = 0;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT = 1;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 2;
inline constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 3;
inline constexpr BE_ERR BE_ERR_INVALID_HANDLE = 4;
inline constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 5;

inline constexpr uint32_t BE_CONFIG_LAME = 256;
inline constexpr uint32_t BE_CONFIG_SIZE = 331;

#pragma pack(push, 1)
struct BE_CONFIG {
    uint32_t dwConfig = 0;          // BE_CONFIG_LAME
    uint32_t dwStructVersion = 0;   // 1
    uint32_t dwStructSize = 0;      // 331
    uint32_t dwSampleRate = 0;      // input rate, Hz
    uint32_t dwReSampleRate = 0;    // output rate, Hz; 0 = the input rate
    int32_t nMode = 0;              // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    uint32_t dwBitrate = 0;         // kbit/s (minimum with VBR)
    uint32_t dwMaxBitrate = 0;      // kbit/s, VBR only
    int32_t nPreset = 0;            // 0 normal, 1 low, 2 high, 3 voice
    uint32_t dwMpegVersion = 0;     // informative; the library picks it from the rate
    uint32_t dwPsyModel = 0;
    uint32_t dwEmphasis = 0;
    int32_t bPrivate = 0;
    int32_t bCRC = 0;
    int32_t bCopyright = 0;
    int32_t bOriginal = 0;
    int32_t bWriteVBRHeader = 0;
    int32_t bEnableVBR = 0;
    int32_t nVBRQuality = 0;
    uint8_t reserved[BE_CONFIG_SIZE - 19 * 4] = {};
};

struct BE_VERSION {
    uint8_t byDLLMajorVersion = 0;
    uint8_t byDLLMinorVersion = 0;
    uint8_t byMajorVersion = 0;    // encoder engine
    uint8_t byMinorVersion = 0;
    uint8_t byDay = 0;             // release date
    uint8_t byMonth = 0;
    uint16_t wYear = 0;
    char zHomepage[129] = {};
    uint8_t byAlphaLevel = 0;
    uint8_t byBetaLevel = 0;
    uint8_t byMMXEnabled = 0;
    uint8_t btReserved[125] = {};
};
#pragma pack(pop)
static_assert(sizeof(BE_CONFIG) == BE_CONFIG_SIZE);

// Opens an encoder stream. On success `samples_per_chunk` is the number of
// 16-bit samples (all channels) one beEncodeChunk call takes at most, and
// `output_buffer_size` the bytes its output must hold. On failure nothing is
// allocated and the handle is 0.
BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samples_per_chunk,
                    uint32_t* output_buffer_size, HBE_STREAM* stream);
// Encodes up to samples_per_chunk samples (interleaved when stereo); writes
// the MP3 bytes ready so far to `output` (may be none).
BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t samples, const int16_t* input, uint8_t* output,
                     uint32_t* output_bytes);
// Encodes what the encoder still holds and writes the last frames to `output`
// (output_buffer_size bytes). Call once, before beCloseStream.
BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* output_bytes);
// Releases the stream; the handle is invalid afterwards.
BE_ERR beCloseStream(HBE_STREAM stream);
void beVersion(BE_VERSION* version);

}  // namespace murrel
