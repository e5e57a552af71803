#pragma once
// The process-wide registry of display-data files: one record per WAV path
// with its display file, a reference count, an open handle, the last access
// and a 64 KB read window. At most kMaxOpen files are open at once; opening
// one more closes the least recently used and takes over its window.
//
// Views register a wave when they load it, build its display data when it is
// not valid, read entries while they draw and release it when they let go.
// Threads: the user-interface thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "editor/displaydata.h"

namespace murrel {

class TMMAcmWave;

// Errors of the wave editor views, with fixed English texts.
class EMMWaveEditError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
inline constexpr const char* kUnableToCreateDisplayData = "Unable to create Display Data";
inline constexpr const char* kCouldNotReadDisplayData = "Could not read Display Data";

class TMMDisplayRegistry {
public:
    static constexpr int kMaxOpen = 25;
    static constexpr int64_t kWindowBytes = 65536;

    // The registry every view shares.
    static TMMDisplayRegistry& Instance();

    TMMDisplayRegistry();
    ~TMMDisplayRegistry();

    // Adds a reference to the record of the wave's file (made on first use,
    // its place chosen then) and returns the key to use below, "" when the
    // wave has no usable file.
    std::string Register(TMMWave& wave);
    // Drops one reference; at zero closes the file, frees its window and,
    // when asked, deletes the display file.
    void Release(const std::string& key, bool delete_file);

    // Whether the record's display file is valid for its WAV file as it is now.
    bool Valid(const std::string& key);
    // Builds the display data when it is not valid. A file that cannot be
    // written where it was placed is built in the cache folder instead.
    // Returns Built also when nothing had to be done.
    DisplayBuildResult Build(const std::string& key, TMMWave& wave, const DisplayProgress& progress);

    // Levels 0..Levels() are present; -1 before the data is valid.
    int Levels(const std::string& key);
    int Channels(const std::string& key) const;
    int64_t Frames(const std::string& key) const;
    // Reads entry `index` (channels × (min, max)) into `out` through the
    // record's read window. Raises EMMWaveEditError "Could not read Display
    // Data" when the file cannot be opened or read.
    void ReadEntry(const std::string& key, int64_t index, int16_t* out);

    // Entries read through ReadEntry and reads of the file into a window so
    // far, over all records: what a redraw costs.
    uint64_t EntryReads() const { return entry_reads_; }
    uint64_t WindowReads() const { return window_reads_; }

    std::string DisplayFile(const std::string& key) const;
    int References(const std::string& key) const;
    int OpenFiles() const;
    bool IsOpen(const std::string& key) const;

    // Tests replace how volumes are examined.
    DisplayVolumeProbe Probe;

private:
    struct Record;
    Record* Find(const std::string& key) const;
    void EnsureOpen(Record& r);
    void Close(Record& r);

    std::map<std::string, std::unique_ptr<Record>> records_;
    uint64_t clock_ = 0;
    uint64_t entry_reads_ = 0, window_reads_ = 0;
};

// Algorithm of the pixel buffer: four int16 per column (minimum and maximum
// of the first channel, then of the second; mono repeats the first pair) for
// columns [from, to) of a virtual strip `strip` pixels wide that would show
// the whole file. When the finest level has fewer entries than the strip has
// pixels, the PCM data is read directly from `pcm` (the file, whole, no skip
// list), visible columns only; a non-PCM presentation is left blank.
// `out` holds 4 × (to - from) values.
void LoadPixelBuffer(TMMDisplayRegistry& registry, const std::string& key, TMMAcmWave& pcm,
                     int64_t from, int64_t to, int64_t strip, int16_t* out);

}  // namespace murrel
