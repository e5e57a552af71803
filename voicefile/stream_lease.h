#pragma once
// The right to use the process-wide frame reader and decoder state. Both keep
// the state of one stream between calls (the ring, the bit reservoir, the
// synthesis memories), so a playback and a decoding must never interleave:
// whoever decodes holds a lease for the whole stream, from its reset to its
// last frame. A second user waits (acquire) or is told the stream is busy
// (try_acquire).
//
// A lease may be released on another thread than the one that took it (a
// playback started on the user-interface thread ends from a device's stop).
#include <chrono>
#include <optional>
#include <string>

#include "shell/progress.h"
#include "voicefile/fileinfo.h"

namespace murrel {

class FrameReader;
class TMMWave;

class StreamLease {
public:
    // Waits until the stream is free.
    static StreamLease acquire();
    // Waits at most `wait`; none when the stream stayed busy.
    static std::optional<StreamLease> try_acquire(
        std::chrono::milliseconds wait = std::chrono::milliseconds(0));

    StreamLease(StreamLease&& other) noexcept;
    StreamLease& operator=(StreamLease&& other) noexcept;
    StreamLease(const StreamLease&) = delete;
    StreamLease& operator=(const StreamLease&) = delete;
    ~StreamLease();

    // The process-wide reader; only while held.
    FrameReader& reader();
    bool held() const { return held_; }
    void release();

    // Whether anybody holds the stream now (for tests and diagnostics).
    static bool busy();

private:
    StreamLease() = default;
    bool held_ = false;
};

// file_decompress over the process-wide reader, holding the lease for the
// whole run: what every decoding to WAV (conversion, mail, editor) should call
// so that it waits for a playback instead of corrupting it. While it waits it
// lets `progress` process events and gives up (false) when
// app().convert_cancel is set.
// `first_file` as for file_decompress.
bool file_decompress_leased(const std::string& source, const std::string& target,
                            const Tkoltfile_info& info, TMMWave& scratch,
                            ConversionProgress& progress = no_progress(), const std::string& first_file = {});

}  // namespace murrel
