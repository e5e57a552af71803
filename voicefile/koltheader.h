#pragma once
// The 512-byte voice file header: layout, the routines that build, check and
// patch it. Numbers in the header are big-endian; every writer starts from a
// cleared buffer, so bytes not named here are 0. The MPEG stream follows at
// offset 512 and runs to the end of the file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace murrel {

inline constexpr std::size_t kKoltHeaderSize = 512;
using KoltHeader = std::array<uint8_t, kKoltHeaderSize>;

// Byte offsets of the header fields.
namespace kolt {
inline constexpr std::size_t kMagic = 0;            // "QRVM"
inline constexpr std::size_t kVersion = 5;          // "Ver1.00\0"
inline constexpr std::size_t kCodecType = 16;
inline constexpr std::size_t kYear = 17;            // two digits
inline constexpr std::size_t kMonth = 18;
inline constexpr std::size_t kDay = 19;
inline constexpr std::size_t kHour = 20;
inline constexpr std::size_t kMinute = 21;
inline constexpr std::size_t kSecond = 22;
inline constexpr std::size_t kModeCode = 33;
inline constexpr std::size_t kBitrate = 34;         // 4 bytes, bits per second
inline constexpr std::size_t kBitsPerSample = 38;
inline constexpr std::size_t kSampleRate = 39;      // 2 bytes, Hz
inline constexpr std::size_t kChannels = 41;
inline constexpr std::size_t kCodecName = 80;       // 16 bytes
inline constexpr std::size_t kCreator = 96;         // 16 bytes
inline constexpr std::size_t kFileTitle = 112;      // 128 bytes, not terminated when full
inline constexpr std::size_t kFileTitleSize = 128;
inline constexpr std::size_t kFileExt = 240;        // 16 bytes
inline constexpr std::size_t kFileExtSize = 16;
}  // namespace kolt

// The three recording modes and their codec types.
enum class RecordingMode { SP = 5, HQ = 6, SHQ = 7 };

// Codec types 5-7 are MP3 and the only ones the program plays, decodes and writes.
inline constexpr bool is_mp3_codec(int codec_type) { return codec_type >= 5 && codec_type <= 7; }
// Rate of the decoded audio and of the encoder's input, by codec type 5-7.
inline constexpr int mp3_sample_rate(int codec_type) { return codec_type == 7 ? 22050 : 16000; }
// kbit/s of the encoded stream, by codec type 5-7.
inline constexpr int mp3_kbitrate(int codec_type) {
    return codec_type == 5 ? 16 : codec_type == 6 ? 32 : 64;
}
// "SP", "HQ", "SHQ" for codec types 5-7, "" otherwise.
const char* recording_mode_name(int codec_type);

// Stores `value` big-endian at `destination`: 2 bytes when `two_bytes`, else 2,
// 3 or 4 bytes for `last_index` 1, 2 or 3; any other `last_index` writes nothing.
void dwordtobytearray(uint32_t value, uint8_t* destination, bool two_bytes, int last_index);
// Reads 2, 3 or 4 big-endian bytes for `last_index` 1, 2 or 3; 0 otherwise.
uint32_t bytearraytodword(const uint8_t* bytes, int last_index);

// Fills the fixed fields for `codec_type` (magic, version, codec, mode code,
// bit rate, sample format, codec name, creator). Leaves date, time, title and
// extension as they are.
void make_koltfileheader(uint8_t* buffer, int codec_type);
// True when the magic is "QRVM" and the codec type is not 0; nothing else is checked.
bool kolt_filecheck(const uint8_t* buffer);

// Header of a voice file written from a WAV file: cleared, date and time from
// `now` (local time), title and extension of `target_path`'s file name.
KoltHeader make_encoding_header(int codec_type, const std::string& target_path, const std::tm& now);
KoltHeader make_encoding_header(int codec_type, const std::string& target_path);

// Header of a recording just started into `recording_path` (the scratch file).
KoltHeader make_recording_header(int codec_type, int mode_code, const std::string& recording_path,
                                 const std::tm& now);
KoltHeader make_recording_header(int codec_type, int mode_code, const std::string& recording_path);

// The save-time patch of a recording kept as `saved_path`: the title becomes
// the file name less its last four characters (its ".vkd"), the extension
// "VKD". Nothing else changes.
void patch_saved_recording_header(uint8_t* buffer, const std::string& saved_path);
// The same patch applied in place to the file at `saved_path`. False (with
// errno set) when the file cannot be read or written or is shorter than a header.
bool patch_saved_recording(const std::string& saved_path);

// The current local time, read from the clock once, so that date and time
// fields always belong to one instant.
std::tm local_now();

// Title and extension as the header stores them: the file name part of `path`
// without its last extension, and that extension without the dot.
std::string header_title_of(const std::string& path);
std::string header_ext_of(const std::string& path);

// Title field as text (stops at the first 0 byte or after 128 bytes).
std::string header_title(const uint8_t* buffer);
std::string header_ext(const uint8_t* buffer);

}  // namespace murrel
