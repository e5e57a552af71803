#pragma once
// Every text the wave devices fail with: one table for the output device, one
// for the input device, and the prefixes naming the device call that failed.
#include <stdexcept>
#include <string>

namespace murrel {

enum class WaveOutText {
    NoDevice,            // "No wave audio playing device found"
    InvalidDeviceId,     // "Invalid DeviceID"
    InvalidFormat,       // "Invalid wave format"
    CantPlayFormat,      // "The actual device can't play this format"
    CouldNotCreateThread,
    UnableToOpen,
    UnableToStart,
    UnableToClose,
    AllocHeader,         // "Unable to allocate memory for wave header"
    FillingBuffer,       // "Error filling wave buffer"
    PropertyWhileOpen,   // "Change to property while device was open"
};
inline constexpr int kWaveOutTextCount = 11;

enum class WaveOutCall { Open, Close, Pause, Restart, Reset, Write, GetPosition, Start, Thread };
inline constexpr int kWaveOutCallCount = 9;

enum class WaveInText {
    NoDevice,            // "No wave audio recording device found"
    InvalidDeviceId,
    InvalidFormat,
    CantRecordFormat,    // "The actual device can't record this format"
    CouldNotCreateThread,
    UnableToOpen,
    UnableToClose,
    AllocHeader,
    PropertyWhileOpen,
};
inline constexpr int kWaveInTextCount = 9;

enum class WaveInCall {
    Open, Close, PrepareHeader, UnprepareHeader, AddBuffer, Start, Stop, Reset, Pause, Restart,
    GetPosition, Thread
};
inline constexpr int kWaveInCallCount = 12;

const char* WaveOutErrorText(WaveOutText text);
const char* WaveOutPrefix(WaveOutCall call);  // "WaveOutOpen:\n\r", …
const char* WaveInErrorText(WaveInText text);
const char* WaveInPrefix(WaveInCall call);    // "WaveInOpen:\n\r", …

// Shown when cmCallback is chosen on a backend whose notifications may not
// run the refill.
extern const char* const kCallbacksMessage;

class EMMWaveOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EMMWaveInError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace murrel
