#pragma once
// Display data: a multi-resolution table of minimum/maximum pairs of a WAV
// file, built once and kept in a cache file (".SDD") so that a view of any
// length draws from at most one entry per pixel column.
//
// File layout (little-endian):
//   0  int32 signature 2000
//   4  int32 frames of the WAV file
//   8  int32 modification time of the WAV file (seconds, low 32 bits)
//   12 int32 bytes of the finest level
//   16 int32 time resolution in milliseconds: 1
//   20 int32 0
//   24 entries: level k (0..L) holds 2^k entries from entry index 2^k on
//      (index 0 unused); an entry is (min, max) int16 per channel.
//   after entry 2^(L+1) - 1: uint64 size of the WAV file in bytes, so that a
//      WAV replaced by one of equal length within the same second of
//      modification time is not taken for the old one.
//
// Units: frames of the file; sample values 16-bit (8-bit data scaled).
// Threads: one at a time, like the waves it reads.
#include <cstdint>
#include <functional>
#include <string>

namespace murrel {

class TMMAcmWave;
class TMMWave;

inline constexpr int32_t kDisplaySignature = 2000;
inline constexpr int64_t kDisplayHeaderBytes = 24;
inline constexpr int64_t kDisplayTrailerBytes = 8;

// What the display data of a WAV file is built from and checked against.
struct DisplaySource {
    std::string wav_path;   // absolute
    int64_t frames = 0;
    uint32_t rate = 0;
    int channels = 0;
    uint32_t time_stamp = 0;  // modification time, seconds (low 32 bits)
    int64_t wav_size = 0;     // bytes
};

// Reads the numbers of a wave's attached file (whole file, frames of its
// display format). False without a usable file.
bool DisplaySourceOf(TMMWave& wave, DisplaySource& out);

// L = Trunc(log2((frames + 1) / rate * 1000)), never below 0.
int DisplayLevels(int64_t frames, uint32_t rate);
inline int64_t DisplayEntryBytes(int channels) { return 4 * int64_t(channels); }
// Bytes of a complete file with levels 0..levels.
int64_t DisplayFileBytes(int levels, int channels);

// The display file's name for a WAV path: upper-cased file name, extension
// ".SDD", the letters of an extension other than ".wav" kept in front of it
// ("clip.tmp" -> "CLIPTMP.SDD"). No folder.
std::string DisplayFileName(const std::string& wav_path);
// $XDG_CACHE_HOME/Murrelphonic, else ~/.cache/Murrelphonic (not created).
std::string DisplayCacheFolder();
// The name a WAV file's display data takes in the cache folder. Folders hold
// recordings of the same names (every recorder counts its memos the same
// way), so the WAV's folder is folded into a short prefix.
std::string DisplayCachePath(const std::string& wav_path);

// The volume a WAV file lies on, as far as the choice of the place matters.
struct DisplayVolumeInfo {
    bool removable = false;
    bool read_only = false;
    bool ram_disk = false;    // tmpfs, ramfs
    bool unknown = false;     // could not be examined
    int64_t free_bytes = -1;  // -1 unknown
};
using DisplayVolumeProbe = std::function<DisplayVolumeInfo(const std::string& folder)>;
DisplayVolumeInfo ProbeDisplayVolume(const std::string& folder);

// The header as stored.
struct DisplayHeader {
    int32_t signature = 0;
    uint32_t frames = 0;
    uint32_t time_stamp = 0;
    int32_t finest_bytes = 0;
    int32_t resolution = 0;
    int32_t reserved = 0;
};
// Parses the first 24 bytes; false when fewer are given.
bool ParseDisplayHeader(const uint8_t* data, int64_t n, DisplayHeader& out);

// Whether the file at `sdd_path` is valid display data for `source`:
// signature, frames, time stamp, resolution 1, finest level a whole power of
// two of entries, size at least twice the finest level, and the WAV's size.
bool DisplayFileValid(const std::string& sdd_path, const DisplaySource& source);

// Where the display data of `source` lives: an existing valid file in the
// cache folder first; the cache folder for removable, read-only, RAM-disk or
// unknown volumes and when the volume lacks the room; else beside the WAV.
std::string ChooseDisplayFile(const DisplaySource& source, const DisplayVolumeProbe& probe);

// (percent 0..100, cancel): called whenever the percent of the work done changes.
using DisplayProgress = std::function<void(int percent, bool& cancel)>;

enum class DisplayBuildResult { Built, Cancelled, Failed };

// Builds the display file `sdd_path` for the wave's file (read through a
// private copy: whole file, no skip list, the file's display format). A
// cancelled or failed build leaves no file behind.
DisplayBuildResult BuildDisplayFile(TMMWave& wave, const std::string& sdd_path,
                                    const DisplayProgress& progress);

}  // namespace murrel
