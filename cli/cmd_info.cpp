// murrelphonic-cli info: one line per file describing it as the file browser's
// information line does.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "voicefile/fileinfo.h"
#include "voicefile/koltheader.h"

namespace murrel::cli {

namespace {

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string kbps_text(int32_t bitrate) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f Kbps", bitrate / 1000.0);
    return buf;
}

std::string duration_text(const Tkoltfile_info& info) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", info.hours, info.minutes, info.seconds);
    return buf;
}

int run_info(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--json")
            json = true;
        else if (a == "-h" || a == "--help") {
            std::printf("usage: murrelphonic-cli info FILE... [--json]\n");
            return 0;
        } else
            files.push_back(a);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: murrelphonic-cli info FILE... [--json]\n");
        return 2;
    }

    int status = 0;
    for (const std::string& file : files) {
        Tkoltfile_info info;
        const int kind = get_fileinfo(file, info);
        struct stat st {};
        const long long size = ::stat(file.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
        if (kind == kFileNeither) status = 1;
        const char* kind_name = kind == kFileVoice ? "VKD" : kind == kFileWav ? "WAV" : "none";
        // A voice file of an older codec has no computed duration.
        const bool has_duration = kind == kFileWav || (kind == kFileVoice && is_mp3_codec(info.codec_type));
        const char* channels = info.channels == 1 ? "Mono" : "Stereo";

        if (json) {
            std::string line = "{\"file\":" + json_string(file) + ",\"kind\":\"" + kind_name + "\"";
            if (kind == kFileVoice) {
                line += ",\"codec_type\":" + std::to_string(info.codec_type);
                line += ",\"mode\":" + json_string(recording_mode_name(info.codec_type));
                line += ",\"mode_code\":" + std::to_string(info.mode_code);
            }
            if (kind != kFileNeither) {
                line += ",\"bitrate\":" + std::to_string(info.bitrate);
                line += ",\"bitrate_text\":" + json_string(kbps_text(info.bitrate));
                line += ",\"channels\":" + std::to_string(info.channels);
                line += ",\"channel_mode\":" + json_string(channels);
                if (has_duration) {
                    line += ",\"duration\":" + json_string(duration_text(info));
                    line += ",\"duration_seconds\":" +
                            std::to_string(info.hours * 3600LL + info.minutes * 60 + info.seconds);
                } else {
                    line += ",\"duration\":null";
                }
            }
            if (size >= 0) line += ",\"size\":" + std::to_string(size);
            line += "}";
            std::printf("%s\n", line.c_str());
            continue;
        }

        std::string line = file + "\t" + kind_name;
        if (kind == kFileVoice) {
            line += "\tcodec " + std::to_string(info.codec_type);
            const std::string mode = recording_mode_name(info.codec_type);
            line += "\t" + (mode.empty() ? std::string("-") : mode);
        }
        if (kind != kFileNeither) {
            line += "\t" + kbps_text(info.bitrate) + "\t" + channels;
            line += "\t[" + (has_duration ? duration_text(info) : std::string("--:--:--")) + "]";
            line += "\t" + std::to_string(size);
        }
        std::printf("%s\n", line.c_str());
    }
    return status;
}

const CommandRegistration registration({
    "info",
    "info FILE... [--json]",
    "describe voice files and WAV files (kind, mode, bit rate, channels, duration, size)",
    run_info,
});

}  // namespace

}  // namespace murrel::cli
