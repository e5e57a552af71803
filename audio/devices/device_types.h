#pragma once
// Records shared by the wave devices, their chain and the platform backends:
// the wave format, the buffer header, device positions and capabilities, the
// result codes of device operations and their texts.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/formats/mmwave.h"
#include "audio/formats/waveformat.h"

namespace murrel {

// WAVE_FORMAT_PCM and TWaveFormatEx come from the WAV engine.
inline constexpr uint16_t kWaveFormatIeeeFloat = 3;

// Flags of TMMWaveHdr::dwFlags.
inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_BEGINLOOP = 0x04;
inline constexpr uint32_t WHDR_ENDLOOP = 0x08;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

// One slot of a device's buffer ring: the device header followed by the
// ring's own bookkeeping. The data follows the header in the same allocation.
//
// Threads: the owner writes lpData..dwLoops while the header is not queued at
// the device; the backend writes dwBytesRecorded (input) and dwFlags while it
// is queued. dwFlags is atomic because the owner polls the done bit while the
// backend's thread sets it.
struct TMMWaveHdr {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0;    // bytes available at lpData
    uint32_t dwBytesRecorded = 0;   // bytes that hold audio
    uintptr_t dwUser = 0;
    std::atomic<uint32_t> dwFlags{0};
    uint32_t dwLoops = 0;
    TMMWaveHdr* lpNext = nullptr;   // the device's own queue link
    uintptr_t reserved = 0;

    uint32_t wh_spare = 0;            // left untouched by the device
    uint32_t wh_last_written = 0;     // bytes of the last write of this slot
    TMMWaveHdr* wh_next = nullptr;    // the next header of the ring
    int32_t wh_looping = 0;           // -1 when the device loops
    uint32_t wh_loop_count = 0;
    uint32_t wh_loops_left = 0;
    int32_t wh_looped = 0;            // an input wrapped around to the loop start
};

// Position units of a device.
enum class TimeType : uint32_t { Samples = 2, Bytes = 4, Milliseconds = 1 };
struct MMTime {
    TimeType wType = TimeType::Samples;
    uint32_t value = 0;
};

// Standard formats a device lists (the capability bits of the platform):
// rate class 11025/22050/44100 × mono/stereo × 8/16 bits.
inline constexpr uint32_t WAVE_FORMAT_1M08 = 0x001, WAVE_FORMAT_1S08 = 0x002,
                          WAVE_FORMAT_1M16 = 0x004, WAVE_FORMAT_1S16 = 0x008,
                          WAVE_FORMAT_2M08 = 0x010, WAVE_FORMAT_2S08 = 0x020,
                          WAVE_FORMAT_2M16 = 0x040, WAVE_FORMAT_2S16 = 0x080,
                          WAVE_FORMAT_4M08 = 0x100, WAVE_FORMAT_4S08 = 0x200,
                          WAVE_FORMAT_4M16 = 0x400, WAVE_FORMAT_4S16 = 0x800;
inline constexpr uint32_t kAllStandardFormats = 0xFFF;

// The standard-format bit for a PCM format of 1–2 channels and 8/16 bits in
// the rate classes 8000–11025, 11026–22050, 22051–48000 Hz; 0 outside them.
uint32_t standard_format_bit(const TWaveFormatEx& format);

struct WaveCaps {
    std::string product_name;
    uint32_t formats = 0;     // WAVE_FORMAT_* bits
    uint16_t channels = 0;
    bool has_volume = false;  // the device scales its output itself
};

// Result codes of backend operations. Codes from kBackendErrorBase up are the
// backend's own; their texts come from the backend.
using MMResult = uint32_t;
inline constexpr MMResult MMSYSERR_NOERROR = 0;
inline constexpr MMResult MMSYSERR_ERROR = 1;
inline constexpr MMResult MMSYSERR_BADDEVICEID = 2;
inline constexpr MMResult MMSYSERR_ALLOCATED = 4;
inline constexpr MMResult MMSYSERR_INVALHANDLE = 5;
inline constexpr MMResult MMSYSERR_NODRIVER = 6;
inline constexpr MMResult MMSYSERR_NOMEM = 7;
inline constexpr MMResult MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMResult MMSYSERR_INVALPARAM = 11;
inline constexpr MMResult WAVERR_BADFORMAT = 32;
inline constexpr MMResult WAVERR_STILLPLAYING = 33;
inline constexpr MMResult WAVERR_UNPREPARED = 34;
inline constexpr MMResult kBackendErrorBase = 0x10000;

// Text of a code below kBackendErrorBase; the fixed "out of range" text for
// codes nobody knows.
std::string mm_error_text(MMResult code);
extern const char* const kUnknownErrorText;

// Device numbers besides 0..n-1.
inline constexpr int MapperId = -1;
inline constexpr int InvalidId = -2;

enum class TMMCBMode { cmWindow, cmCallback, cmThread };
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest,
                             tpTimeCritical };

// Converts a position in samples to `format` units of `wf`.
int64_t samples_to_time(int64_t samples, TMMTimeFormats format, const TWaveFormatEx& wf);

}  // namespace murrel
