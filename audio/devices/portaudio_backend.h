#pragma once
// The real sound card through PortAudio (blocking streams, one thread per
// open device).
//
// How the device operations map:
// - a buffer is Done only once the listener has heard its last sample, so
//   the end of the data plays out before the owner stops the device;
// - pause keeps the stream running and writes silence, so queued audio is
//   kept (stopping a PortAudio stream would discard it);
// - reset aborts and restarts the stream, dropping what it still holds;
// - the position is the stream time since start times the rate, mapped back
//   to audio frames (silence written while paused or idle does not count) and
//   never more than the frames written;
// - volume is applied to the samples (PortAudio has none).
// Devices are enumerated once, when the backend is created.
#include <memory>

#include "audio/devices/device_backend.h"

namespace murrel {

std::unique_ptr<AudioBackend> make_portaudio_backend();

}  // namespace murrel
