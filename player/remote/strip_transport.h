#pragma once
// The player strip as the desktop controls drive it: through the strip's
// own handlers (play, pause, stop), so that the buttons, the display and the
// state image follow a pedal or a media key exactly as they follow a click.
//
// Positions are the strip's own: file time as heard, whatever the speed, so
// that a seek here reads back the same from position_ms() and the display.
#include <map>

#include "player/remote/transport_control.h"

namespace murrel {

class PlayerStrip;

class StripTransport final : public TransportControl {
public:
    explicit StripTransport(PlayerStrip& strip) : strip_(strip) {}

    void play() override;
    void play_in_place() override;
    void pause() override;
    void play_pause() override;
    void stop() override;
    void seek(int64_t ms) override;
    int64_t position_ms() override;
    PlaybackStatus status() const override;
    std::optional<TrackInfo> track() const override;
    bool can_play() const override;
    // The strip's speed: 1.0 is 100 %. A rate between two of the speed's
    // steps is taken to the nearest step.
    double rate() const override;
    void set_rate(double rate) override;
    double min_rate() const override;
    double max_rate() const override;

private:
    // Bytes per second of the playing voice file; 0 when it has no usable bit rate.
    int64_t voice_bytes_per_second() const;

    PlayerStrip& strip_;
    // Read once per file from a handle of our own, not at every poll of the
    // desktop, and never through the player's wave, which its refill thread
    // is reading meanwhile: a voice file's header title, a WAV file's length.
    struct FileFacts {
        std::string title;
        int64_t length_ms = 0;
    };
    const FileFacts& facts(const std::string& path) const;
    mutable std::map<std::string, FileFacts> facts_;
};

}  // namespace murrel
