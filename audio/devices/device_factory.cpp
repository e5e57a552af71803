#include "audio/devices/device_factory.h"

#include <stdexcept>

#include "audio/devices/portaudio_backend.h"
#include "audio/devices/virtual_backend.h"

namespace murrel {

std::unique_ptr<AudioBackend> make_audio_backend(const std::string& name) {
    if (name == "portaudio") return make_portaudio_backend();
    if (name == "virtual") {
        // Chosen for a machine without sound: it must play in real time.
        auto v = std::make_unique<VirtualBackend>();
        v->set_clock(VirtualClock::RealTime);
        return v;
    }
    throw std::runtime_error("Unknown audio backend \"" + name +
                             "\" (MURREL_AUDIO): use portaudio or virtual");
}

}  // namespace murrel
