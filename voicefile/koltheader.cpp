#include "voicefile/koltheader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace murrel {

namespace {

struct CodecEntry {
    const char* name;
    uint32_t bitrate;
    uint8_t mode_code;
    uint16_t sample_rate;
};

// Indexed by codec type 1-7.
constexpr CodecEntry kCodecs[] = {
    {"G723", 5300, 1, 8000},   {"G723", 6300, 2, 8000},   {"ADPCM", 32000, 1, 8000},
    {"ADPCM", 44100, 2, 12000}, {"MP3", 16000, 2, 16000}, {"MP3", 32000, 3, 16000},
    {"MP3", 64000, 4, 22050},
};

void put_text(uint8_t* buffer, std::size_t offset, std::size_t width, const std::string& text) {
    std::memset(buffer + offset, 0, width);
    std::memcpy(buffer + offset, text.data(), std::min(width, text.size()));
}

std::string get_text(const uint8_t* buffer, std::size_t offset, std::size_t width) {
    const char* p = reinterpret_cast<const char*>(buffer + offset);
    return std::string(p, strnlen(p, width));
}

std::string file_name_of(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void put_date_time(uint8_t* buffer, const std::tm& now) {
    buffer[kolt::kYear] = static_cast<uint8_t>(now.tm_year % 100);
    buffer[kolt::kMonth] = static_cast<uint8_t>(now.tm_mon + 1);
    buffer[kolt::kDay] = static_cast<uint8_t>(now.tm_mday);
    buffer[kolt::kHour] = static_cast<uint8_t>(now.tm_hour);
    buffer[kolt::kMinute] = static_cast<uint8_t>(now.tm_min);
    buffer[kolt::kSecond] = static_cast<uint8_t>(std::min(now.tm_sec, 59));  // leap second
}

bool read_exact(int fd, uint8_t* data, std::size_t n, off_t offset) {
    while (n > 0) {
        ssize_t got = pread(fd, data, n, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) errno = EINVAL;  // shorter than a header
        if (got <= 0) return false;
        data += got;
        n -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

bool write_exact(int fd, const uint8_t* data, std::size_t n, off_t offset) {
    while (n > 0) {
        ssize_t put = pwrite(fd, data, n, offset);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = ENOSPC;
            return false;
        }
        data += put;
        n -= static_cast<std::size_t>(put);
        offset += put;
    }
    return true;
}

}  // namespace

const char* recording_mode_name(int codec_type) {
    switch (codec_type) {
    case 5: return "SP";
    case 6: return "HQ";
    case 7: return "SHQ";
    default: return "";
    }
}

void dwordtobytearray(uint32_t value, uint8_t* destination, bool two_bytes, int last_index) {
    int count = two_bytes ? 2 : (last_index >= 1 && last_index <= 3 ? last_index + 1 : 0);
    for (int i = 0; i < count; ++i)
        destination[i] = static_cast<uint8_t>(value >> (8 * (count - 1 - i)));
}

uint32_t bytearraytodword(const uint8_t* bytes, int last_index) {
    if (last_index < 1 || last_index > 3) return 0;
    uint32_t value = 0;
    for (int i = 0; i <= last_index; ++i) value = (value << 8) | bytes[i];
    return value;
}

void make_koltfileheader(uint8_t* buffer, int codec_type) {
    std::memcpy(buffer + kolt::kMagic, "QRVM", 4);
    std::memcpy(buffer + kolt::kVersion, "Ver1.00", 8);  // with its 0 byte
    buffer[kolt::kCodecType] = static_cast<uint8_t>(codec_type);
    buffer[23] = 0;
    buffer[32] = 0;
    std::memset(buffer + kolt::kCodecName, 0, 32);  // codec name and creator
    uint16_t rate = 8000;
    if (codec_type >= 1 && codec_type <= 7) {
        const CodecEntry& c = kCodecs[codec_type - 1];
        buffer[kolt::kModeCode] = c.mode_code;
        dwordtobytearray(c.bitrate, buffer + kolt::kBitrate, false, 3);
        rate = c.sample_rate;
        put_text(buffer, kolt::kCodecName, 16, c.name);
    }
    buffer[kolt::kBitsPerSample] = 16;
    dwordtobytearray(rate, buffer + kolt::kSampleRate, true, 0);
    buffer[kolt::kChannels] = 1;
    put_text(buffer, kolt::kCreator, 16, "Murrelphonic");
}

bool kolt_filecheck(const uint8_t* buffer) {
    return std::memcmp(buffer + kolt::kMagic, "QRVM", 4) == 0 && buffer[kolt::kCodecType] != 0;
}

std::tm local_now() {
    std::time_t t = std::time(nullptr);
    std::tm now{};
    localtime_r(&t, &now);
    return now;
}

std::string header_title_of(const std::string& path) {
    std::string name = file_name_of(path);
    std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string header_ext_of(const std::string& path) {
    std::string name = file_name_of(path);
    std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string header_title(const uint8_t* buffer) {
    return get_text(buffer, kolt::kFileTitle, kolt::kFileTitleSize);
}

std::string header_ext(const uint8_t* buffer) {
    return get_text(buffer, kolt::kFileExt, kolt::kFileExtSize);
}

KoltHeader make_encoding_header(int codec_type, const std::string& target_path, const std::tm& now) {
    KoltHeader h{};
    put_date_time(h.data(), now);
    put_text(h.data(), kolt::kFileTitle, kolt::kFileTitleSize, header_title_of(target_path));
    put_text(h.data(), kolt::kFileExt, kolt::kFileExtSize, header_ext_of(target_path));
    make_koltfileheader(h.data(), codec_type);
    return h;
}

KoltHeader make_encoding_header(int codec_type, const std::string& target_path) {
    return make_encoding_header(codec_type, target_path, local_now());
}

KoltHeader make_recording_header(int codec_type, int mode_code, const std::string& recording_path,
                                 const std::tm& now) {
    KoltHeader h{};
    make_koltfileheader(h.data(), codec_type);
    h[kolt::kModeCode] = static_cast<uint8_t>(mode_code);
    put_date_time(h.data(), now);
    put_text(h.data(), kolt::kFileTitle, kolt::kFileTitleSize, header_title_of(recording_path));
    put_text(h.data(), kolt::kFileExt, kolt::kFileExtSize, header_ext_of(recording_path));
    return h;
}

KoltHeader make_recording_header(int codec_type, int mode_code, const std::string& recording_path) {
    return make_recording_header(codec_type, mode_code, recording_path, local_now());
}

void patch_saved_recording_header(uint8_t* buffer, const std::string& saved_path) {
    std::string name = file_name_of(saved_path);
    name.resize(name.size() >= 4 ? name.size() - 4 : 0);
    put_text(buffer, kolt::kFileTitle, kolt::kFileTitleSize, name);
    std::memcpy(buffer + kolt::kFileExt, "VKD", 3);
}

bool patch_saved_recording(const std::string& saved_path) {
    int fd = ::open(saved_path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    KoltHeader h{};
    bool ok = read_exact(fd, h.data(), h.size(), 0);
    if (ok) {
        patch_saved_recording_header(h.data(), saved_path);
        ok = write_exact(fd, h.data() + kolt::kFileTitle, kolt::kFileTitleSize + 3, kolt::kFileTitle);
    }
    int saved_errno = errno;
    if (::close(fd) != 0 && ok) return false;
    errno = saved_errno;
    return ok;
}

}  // namespace murrel
