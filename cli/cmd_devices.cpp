// murrelphonic-cli devices: the backend in use and its output and input
// devices, as the program sees them at start.
#include <cstdio>
#include <exception>

#include "audio/devices/device_backend.h"
#include "cli/commands.h"

namespace murrel::cli {
namespace {

void list(const char* kind, int count, MMResult (AudioBackend::*caps)(int, WaveCaps&)) {
    std::printf("%s devices: %d\n", kind, count);
    for (int i = 0; i < count; ++i) {
        WaveCaps c;
        if ((audio_backend().*caps)(i, c) != MMSYSERR_NOERROR) continue;
        std::printf("  %d: %s (%u channel%s)\n", i, c.product_name.c_str(), c.channels,
                    c.channels == 1 ? "" : "s");
    }
}

int run(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: murrelphonic-cli devices\n");
        return 2;
    }
    try {
        AudioBackend& backend = audio_backend();
        std::printf("backend: %s\n", backend.name().c_str());
        int outputs = backend.out_num_devs();
        std::printf("sound_output_present: %s\n", outputs > 0 ? "true" : "false");
        list("output", outputs, &AudioBackend::out_get_caps);
        list("input", backend.in_num_devs(), &AudioBackend::in_get_caps);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "murrelphonic-cli: %s\n", e.what());
        return 1;
    }
    return 0;
}

const CommandRegistration registration({"devices", "devices",
                                        "list the sound backend (MURREL_AUDIO) and its devices", run});

}  // namespace
}  // namespace murrel::cli
