// Feeds arbitrary text to the mount-table reader and builds the volume list
// from what it accepts; every accepted mount point must be absolute and every
// volume must lie below a media root (or be the root or home).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filemanager/volumes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto mounts = murrel::parse_mountinfo(text);
    for (const auto& m : mounts)
        if (m.mount_point.empty() || m.mount_point.front() != '/') std::abort();
    murrel::VolumeSources sources;
    sources.sys_dir = "/nonexistent-sys";
    sources.home = "/nonexistent-home";
    sources.media_roots = {"/media", "/mnt"};
    const auto volumes = murrel::volumes_from_mounts(mounts, sources);
    if (volumes.empty() || volumes.front().mount_point != "/") std::abort();
    for (size_t i = 1; i < volumes.size(); ++i)
        if (!murrel::path_within(volumes[i].mount_point, "/media") &&
            !murrel::path_within(volumes[i].mount_point, "/mnt"))
            std::abort();
    return 0;
}
