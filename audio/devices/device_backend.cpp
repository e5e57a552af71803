#include "audio/devices/device_backend.h"

#include <cstdlib>
#include <mutex>

#include "audio/devices/device_factory.h"

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

}  // namespace

AudioBackend& audio_backend() {
    Selection& s = selection();
    std::lock_guard lock(s.mutex);
    if (s.installed) return *s.installed;
    if (!s.own) {
        if (s.name.empty()) s.name = env_name();
        s.own = make_audio_backend(s.name);
    }
    return *s.own;
}

void select_audio_backend(const std::string& name) {
    std::unique_ptr<AudioBackend> fresh = make_audio_backend(name);
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
