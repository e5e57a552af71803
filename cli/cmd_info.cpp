// murrelphonic-cli info: one line per file describing it as the file browser's
// information line does.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audio/formats/acmchain.h"
#include "audio/formats/mmwave.h"
#include "cli/commands.h"
#include "cli/batch_console.h"
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

// What the WAV file's own header holds, in full width: the shared file
// information keeps 32-bit fields for the file list.
struct WavFacts {
    int64_t bitrate = 0;
    int channels = 0;
    std::string unreadable;  // why it cannot be read, "" when it can
};

bool wav_facts(const std::string& path, WavFacts& facts) {
    TMMWave wave;
    try {
        wave.SetFileName(path);
    } catch (const std::exception&) {
        return false;
    }
    const TWaveFormatEx* f = wave.FileFormat();
    if (!f) return false;
    facts.channels = f->nChannels;
    facts.bitrate = int64_t(f->nSamplesPerSec) * f->nChannels * (f->wBitsPerSample ? f->wBitsPerSample : 0);
    if (f->wBitsPerSample == 0) facts.bitrate = int64_t(f->nAvgBytesPerSec) * 8;
    facts.unreadable = UnreadableReason(*f);
    return true;
}

std::string channels_text(int channels) {
    return channels == 1 ? "Mono" : channels == 2 ? "Stereo" : std::to_string(channels) + " channels";
}

std::string kbps_text(int64_t bitrate) {
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
        if (const std::string why = input_problem(file); !why.empty())
            std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", file.c_str(), why.c_str());
        const int kind = get_fileinfo(file, info);
        struct stat st {};
        const long long size = ::stat(file.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
        WavFacts wav;
        if (kind == kFileWav && wav_facts(file, wav)) {
            info.channels = wav.channels;
        }
        const int64_t bitrate = kind == kFileWav ? wav.bitrate : info.bitrate;
        if (kind == kFileNeither || !wav.unreadable.empty()) status = 1;
        const char* kind_name = kind == kFileVoice ? "VKD" : kind == kFileWav ? "WAV" : "none";
        // A voice file of an older codec has no computed duration; nor has a
        // WAV file nothing here reads.
        const bool has_duration = (kind == kFileWav && wav.unreadable.empty()) ||
                                  (kind == kFileVoice && is_mp3_codec(info.codec_type));
        const std::string channels = channels_text(info.channels);

        if (json) {
            std::string line = "{\"file\":" + json_string(file) + ",\"kind\":\"" + kind_name + "\"";
            if (kind == kFileVoice) {
                line += ",\"codec_type\":" + std::to_string(info.codec_type);
                line += ",\"mode\":" + json_string(recording_mode_name(info.codec_type));
                line += ",\"mode_code\":" + std::to_string(info.mode_code);
            }
            if (kind != kFileNeither) {
                line += ",\"bitrate\":" + std::to_string(bitrate);
                line += ",\"bitrate_text\":" + json_string(kbps_text(bitrate));
                line += ",\"channels\":" + std::to_string(info.channels);
                line += ",\"channel_mode\":" + json_string(channels);
                if (has_duration) {
                    line += ",\"duration\":" + json_string(duration_text(info));
                    line += ",\"duration_seconds\":" +
                            std::to_string(info.hours * 3600LL + info.minutes * 60 + info.seconds);
                } else {
                    line += ",\"duration\":null";
                }
                if (!wav.unreadable.empty()) line += ",\"unreadable\":" + json_string(wav.unreadable);
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
            line += "\t" + kbps_text(bitrate) + "\t" + channels;
            line += "\t[" + (has_duration ? duration_text(info) : std::string("--:--:--")) + "]";
            line += "\t" + std::to_string(size);
            if (!wav.unreadable.empty()) line += "\tcannot be read: " + wav.unreadable;
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
