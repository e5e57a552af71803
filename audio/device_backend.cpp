#include "audio/device_backend.h"

#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "audio/portaudio_backend.h"
#include "audio/virtual_backend.h"

namespace murrel {

namespace {

struct Selection {
    std::mutex mutex;
    std::string name;                 // what was asked for
    std::unique_ptr<AudioBackend> own;
    AudioBackend* installed = nullptr;
};

Selection& selection() {
    static Selection s;
    return s;
}

std::string env_name() {
    const char* v = std::getenv("MURREL_AUDIO");
    return (v && *v) ? v : "portaudio";
}

std::unique_ptr<AudioBackend> make_backend(const std::string& name) {
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

}  // namespace

AudioBackend& audio_backend() {
    Selection& s = selection();
    std::lock_guard lock(s.mutex);
    if (s.installed) return *s.installed;
    if (!s.own) {
        if (s.name.empty()) s.name = env_name();
        s.own = make_backend(s.name);
    }
    return *s.own;
}

void select_audio_backend(const std::string& name) {
    std::unique_ptr<AudioBackend> fresh = make_backend(name);
    Selection& s = selection();
    std::lock_guard lock(s.mutex);
    s.name = name;
    s.own = std::move(fresh);
}

void set_audio_backend(AudioBackend* backend) {
    Selection& s = selection();
    std::lock_guard lock(s.mutex);
    s.installed = backend;
}

std::string audio_backend_name() {
    Selection& s = selection();
    std::lock_guard lock(s.mutex);
    if (s.installed) return s.installed->name();
    return s.name.empty() ? env_name() : s.name;
}

int count_output_devices() { return audio_backend().out_num_devs(); }

}  // namespace murrel
