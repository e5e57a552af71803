#pragma once
// What the desktop controls (the foot pedal, the keyboard's media keys and
// the desktop's player widgets) may do to the player and read of it. The
// controls know only this; the player strip is behind one implementation
// (StripTransport), a test behind another.
//
// Threads: every call on the user-interface thread.
#include <cstdint>
#include <optional>
#include <string>

namespace murrel {

enum class PlaybackStatus { Stopped, Playing, Paused };

// The file being played, as the desktop shows it.
struct TrackInfo {
    std::string path;   // full path
    std::string title;  // the voice file's own title, else the file name without extension
    int64_t length_ms = 0;
    bool operator==(const TrackInfo&) const = default;
};

class TransportControl {
public:
    virtual ~TransportControl() = default;

    // Resumes a paused file, or starts the file selected in the list; nothing
    // while playing or recording.
    virtual void play() = 0;
    // Resumes a paused file exactly where it is, without the player's own
    // rewind on resume: the pedal rewinds when it is let go, and a second
    // rewind at the next press would take the typist back twice as far.
    // Otherwise as play().
    virtual void play_in_place() { play(); }
    // Pauses playback; nothing unless playing.
    virtual void pause() = 0;
    virtual void play_pause() = 0;
    // Ends playback; a recording is never ended from here.
    virtual void stop() = 0;
    // Moves to `ms` from the start of the file, paused or playing; a place at
    // or past the end ends playback as the position slider's end does.
    // Nothing while no file is open.
    virtual void seek(int64_t ms) = 0;
    virtual int64_t position_ms() = 0;

    virtual PlaybackStatus status() const = 0;
    // The open file; none while stopped.
    virtual std::optional<TrackInfo> track() const = 0;
    // False while a recording runs (nothing can be played then).
    virtual bool can_play() const = 0;

    // Playback speed, 1.0 = as recorded. A player without a speed control
    // keeps 1.0 and reports the range [1, 1].
    virtual double rate() const = 0;
    virtual void set_rate(double rate) = 0;
    virtual double min_rate() const = 0;
    virtual double max_rate() const = 0;
};

}  // namespace murrel
