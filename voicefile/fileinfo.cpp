#include "voicefile/fileinfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "audio/formats/mmwave.h"
#include "voicefile/koltheader.h"

namespace murrel {

namespace {

int wav_info(const std::string& path, Tkoltfile_info& info) {
    TMMWave wave;
    try {
        wave.SetFileName(path);
        wave.OpenFile();
    } catch (const std::exception&) {
        wave.FreeWave();
        return kFileNeither;
    }
    if (!wave.FileFormat()) {
        wave.FreeWave();
        return kFileNeither;
    }
    const int bits = wave.BitLength();
    const int64_t rate = wave.SampleRate();
    info.bitrate = bits != 0 ? static_cast<int32_t>(rate * bits) : 13000;
    if (wave.Mode() != TMMMode::mMono) {
        info.channels = 2;
        info.bitrate *= 2;
    } else {
        info.channels = 1;
    }
    set_duration(info, rate > 0 ? wave.LengthInSamples() / rate : 0);
    wave.FreeWave();
    return kFileWav;
}

int voice_info(const std::string& path, Tkoltfile_info& info) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kFileNeither;
    struct stat st {};
    KoltHeader header{};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              st.st_size >= static_cast<off_t>(kKoltHeaderSize);
    if (ok) {
        std::size_t got = 0;
        while (got < header.size()) {
            ssize_t n = ::pread(fd, header.data() + got, header.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        ok = got == header.size();
    }
    ::close(fd);
    if (!ok || !kolt_filecheck(header.data())) return kFileNeither;

    info.mode_code = header[kolt::kModeCode];
    info.bitrate = static_cast<int32_t>(bytearraytodword(header.data() + kolt::kBitrate, 3));
    info.codec_type = header[kolt::kCodecType];
    info.channels = header[kolt::kChannels];
    if (is_mp3_codec(info.codec_type)) {
        // Bytes per second is bitrate / 8; a field below 8 would divide by 0.
        const int64_t bytes_per_second = info.bitrate / 8;
        set_duration(info, bytes_per_second > 0 ? static_cast<int64_t>(st.st_size) / bytes_per_second : 0);
    }
    return kFileVoice;
}

}  // namespace

void set_duration(Tkoltfile_info& info, int64_t seconds) {
    info.hours = static_cast<int32_t>(seconds / 3600);
    info.minutes = static_cast<int32_t>(seconds % 3600 / 60);
    info.seconds = static_cast<int32_t>(seconds % 60);
}

std::string upper_extension(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

int get_fileinfo(const std::string& path, Tkoltfile_info& info) {
    const std::string ext = upper_extension(path);
    if (ext == ".WAV") return wav_info(path, info);
    if (ext == ".VKD") return voice_info(path, info);
    return kFileNeither;
}

}  // namespace murrel
