#include "audio/devices/device_types.h"

namespace murrel {

const char* const kUnknownErrorText = "Specified error number is out of range (unknown error)";

uint32_t standard_format_bit(const TWaveFormatEx& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return 0;
    if (f.nChannels != 1 && f.nChannels != 2) return 0;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return 0;
    int rate_class;
    if (f.nSamplesPerSec >= 8000 && f.nSamplesPerSec <= 11025) rate_class = 0;
    else if (f.nSamplesPerSec >= 11026 && f.nSamplesPerSec <= 22050) rate_class = 1;
    else if (f.nSamplesPerSec >= 22051 && f.nSamplesPerSec <= 48000) rate_class = 2;
    else return 0;
    // Within a class the order is 1M08, 1S08, 1M16, 1S16.
    int index = (f.wBitsPerSample == 16 ? 2 : 0) + (f.nChannels == 2 ? 1 : 0);
    return 1u << (rate_class * 4 + index);
}

// The texts the program shows after a device call's prefix.
std::string mm_error_text(MMResult code) {
    switch (code) {
    case MMSYSERR_NOERROR: return "The operation completed successfully";
    case MMSYSERR_ERROR: return "Unspecified error";
    case MMSYSERR_BADDEVICEID: return "The device number is out of range";
    case MMSYSERR_ALLOCATED: return "The device is already in use";
    case MMSYSERR_INVALHANDLE: return "The device handle is invalid";
    case MMSYSERR_NODRIVER: return "The audio device is no longer present";
    case MMSYSERR_NOMEM: return "Unable to allocate memory";
    case MMSYSERR_NOTSUPPORTED: return "The device does not support this operation";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to the device";
    case WAVERR_BADFORMAT: return "The device does not support this wave format";
    case WAVERR_STILLPLAYING: return "The device is still playing buffers";
    case WAVERR_UNPREPARED: return "The wave header was not prepared";
    default: return kUnknownErrorText;
    }
}

int64_t samples_to_time(int64_t samples, TMMTimeFormats format, const TWaveFormatEx& wf) {
    switch (format) {
    case TMMTimeFormats::tfMillisecond:
        return wf.nSamplesPerSec ? samples * 1000 / wf.nSamplesPerSec : 0;
    case TMMTimeFormats::tfByte: return samples * wf.nBlockAlign;
    case TMMTimeFormats::tfSample: return samples;
    }
    return samples;
}

}  // namespace murrel
