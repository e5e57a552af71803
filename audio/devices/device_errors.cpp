#include "audio/devices/device_errors.h"

namespace murrel {

const char* const kCallbacksMessage =
    "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under "
    "Windows 95";

namespace {

const char* const kOutTexts[kWaveOutTextCount] = {
    "No wave audio playing device found",
    "Invalid DeviceID",
    "Invalid wave format",
    "The actual device can't play this format",
    "Could not create thread",
    "Unable to open device",
    "Unable to start device",
    "Unable to close device",
    "Unable to allocate memory for wave header",
    "Error filling wave buffer",
    "Change to property while device was open",
};

const char* const kOutPrefixes[kWaveOutCallCount] = {
    "WaveOutOpen:\n\r",  "WaveOutClose:\n\r",       "WaveOutPause:\n\r",
    "WaveOutRestart:\n\r", "WaveOutReset:\n\r",     "WaveOutWrite:\n\r",
    "WaveOutGetPosition:\n\r", "WaveOutStart:\n\r", "WaveOut:\n\r",
};

const char* const kInTexts[kWaveInTextCount] = {
    "No wave audio recording device found",
    "Invalid DeviceID",
    "Invalid wave format",
    "The actual device can't record this format",
    "Could not create thread",
    "Unable to open device",
    "Unable to close device",
    "Unable to allocate memory for wave header",
    "Change to property while device was open",
};

const char* const kInPrefixes[kWaveInCallCount] = {
    "WaveInOpen:\n\r",     "WaveInClose:\n\r",   "WaveInPrepareHeader:\n\r",
    "WaveInUnprepareHeader:\n\r", "WaveInAddBuffer:\n\r", "WaveInStart:\n\r",
    "WaveInStop:\n\r",     "WaveInReset:\n\r",   "WaveInPause:\n\r",
    "WaveInRestart:\n\r",  "WaveInGetPosition:\n\r", "WaveIn:\n\r",
};

}  // namespace

const char* WaveOutErrorText(WaveOutText text) { return kOutTexts[static_cast<int>(text)]; }
const char* WaveOutPrefix(WaveOutCall call) { return kOutPrefixes[static_cast<int>(call)]; }
const char* WaveInErrorText(WaveInText text) { return kInTexts[static_cast<int>(text)]; }
const char* WaveInPrefix(WaveInCall call) { return kInPrefixes[static_cast<int>(call)]; }

}  // namespace murrel
