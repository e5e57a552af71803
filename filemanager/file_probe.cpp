#include "filemanager/file_probe.h"

#include "voicefile/fileinfo.h"

namespace murrel {

FileProbeResult probe_file(const std::string& path) {
    Tkoltfile_info info;
    FileProbeResult r;
    r.kind = get_fileinfo(path, info);
    r.mode_code = info.mode_code;
    r.summary.bitrate = info.bitrate;
    r.summary.channels = info.channels;
    r.summary.hours = info.hours;
    r.summary.minutes = info.minutes;
    r.summary.seconds = info.seconds;
    return r;
}

}  // namespace murrel
