#pragma once
// What the program knows about a file it lists, plays or converts, and the
// probe that tells voice files and WAV files apart.
#include <cstdint>
#include <string>

namespace murrel {

struct Tkoltfile_info {
    uint8_t codec_type = 0;  // header byte 16 (voice files only)
    int32_t bitrate = 0;     // bits per second
    int32_t channels = 0;    // 1 or 2
    uint8_t mode_code = 0;   // header byte 33 (voice files only)
    int32_t hours = 0;       // duration
    int32_t minutes = 0;
    int32_t seconds = 0;
};

enum FileKind { kFileNeither = 0, kFileWav = 1, kFileVoice = 2 };

// 0 = neither (or unreadable), 1 = WAV file, 2 = voice file with a valid
// header; decided by the extension (".wav", ".vkd" in any letter case) and the
// contents. Fields are filled as far as the file tells them; the others keep
// what they held. A voice file whose bit rate field is below 8 bits per second
// has the duration 0. Opens its own wave object, so a file being played is not
// disturbed.
int get_fileinfo(const std::string& path, Tkoltfile_info& info);

// Duration fields from whole seconds.
void set_duration(Tkoltfile_info& info, int64_t seconds);

// Upper-cased extension of the file name part of `path`, with its dot (".VKD"), or "".
std::string upper_extension(const std::string& path);

}  // namespace murrel
