#pragma once
// Creates a backend by name. Kept apart from the device interface so that
// code using the devices never depends on PortAudio's or the virtual
// backend's declarations.
#include <memory>
#include <string>

#include "audio/devices/device_backend.h"

namespace murrel {

// "portaudio" or "virtual" (the virtual one then plays in real time: it is
// chosen for a machine without sound). Throws std::runtime_error for any other
// name.
std::unique_ptr<AudioBackend> make_audio_backend(const std::string& name);

}  // namespace murrel
