#pragma once
// The voice-file side of playback: produces one device buffer of decoded
// audio per request, reading one frame at the remembered byte position. The
// file is opened and closed again for every request, so the recorder's drive
// can be pulled out between two requests without a handle left open.
//
// Threads: start() and seek() on the user-interface thread; fill() on the
// device's refill thread (one request at a time, the device guarantees it);
// the time display reads read_pos from the timer. read_pos, seek_requested
// and first_frame are atomics; the rest is written by start() only, before
// the device starts.
#include <atomic>
#include <cstdint>
#include <string>

#include "voicefile/fileinfo.h"

namespace murrel {

class FrameReader;

// The local buffer of a request: 65,536 samples, of which fill may use 65,535.
inline constexpr int kVoiceRequestSamples = 65536;
// Bytes of silence a rejected frame or the end of the stream give.
inline constexpr int kSilenceBytes = 500;

class VoiceStream {
public:
    // Everything a playback starts from; `header` is the file's first 512 bytes.
    void start(FrameReader& reader, const std::string& path, const Tkoltfile_info& info,
               int64_t file_size, int device_channels);
    // Reads the next frame into `destination` (capacity + 1 samples available)
    // and decodes it; `length` receives bytes. Returns whether more buffers
    // follow. When the file cannot be opened: length 0, returns false and
    // open_failed() becomes true.
    bool fill_bufferfromdisk(int16_t* destination, int capacity, int& length);

    // Seek to a byte offset of the file (from its start). Safe against a
    // request running meanwhile: the next request reads from `offset`.
    void seek(int64_t offset) {
        seek_target_.store(offset);
        seek_requested_.store(true);
        read_pos_.store(offset);
    }

    int64_t read_pos() const { return read_pos_.load(); }
    int64_t data_size() const { return data_size_; }
    const Tkoltfile_info& info() const { return info_; }
    const std::string& path() const { return path_; }
    bool open_failed() const { return open_failed_.load(); }
    // The file ended before the size it had when playing started (it was cut
    // short or replaced while playing); read_pos() is where.
    bool cut_short() const { return cut_short_.load(); }
    bool seek_requested() const { return seek_requested_.load(); }
    bool first_frame() const { return first_frame_.load(); }
    int frame_samples() const { return frame_samples_.load(); }
    // Frames decoded and rejected since start (diagnostics, tests).
    int64_t frames_decoded() const { return frames_decoded_.load(); }
    int64_t frames_rejected() const { return frames_rejected_.load(); }

private:
    FrameReader* reader_ = nullptr;
    std::string path_;
    Tkoltfile_info info_;
    int64_t data_size_ = 0;
    int device_channels_ = 1;
    std::atomic<int64_t> read_pos_{0};
    std::atomic<bool> seek_requested_{false};
    std::atomic<int64_t> seek_target_{0};  // where the requested seek goes
    std::atomic<bool> first_frame_{false};
    std::atomic<bool> open_failed_{false};
    std::atomic<bool> cut_short_{false};
    std::atomic<int> frame_samples_{0};
    std::atomic<int64_t> frames_decoded_{0}, frames_rejected_{0};
};

}  // namespace murrel
