#pragma once
// How the browser classifies a file: the part of get_fileinfo's answer the Type
// column and the information line use. Injectable so the list can be tested
// with files whose description is fixed, and measured without the WAV reader.
#include <cstdint>
#include <functional>
#include <string>

#include "filemanager/info_line.h"

namespace murrel {

struct FileProbeResult {
    int kind = 0;           // get_fileinfo's code: 0 neither, 1 WAV file, 2 voice file
    int mode_code = 0;      // voice files: header byte 33
    VoiceSummary summary;   // bit rate, channels, duration
};

using FileProbe = std::function<FileProbeResult(const std::string& path)>;

// get_fileinfo itself: reads at most the 512-byte header of a voice file.
FileProbeResult probe_file(const std::string& path);

}  // namespace murrel
