#pragma once
// A transport that keeps a file's place and state as the player would and
// writes down every call, for the controls' tests.
#include <algorithm>
#include <string>
#include <vector>

#include "player/remote/transport_control.h"

namespace murrel::remotetest {

class FakeTransport final : public TransportControl {
public:
    // As the strip: a paused file resumes `rewind_on_resume_ms` earlier.
    void play() override {
        calls.push_back("play");
        if (!recording && status_ == PlaybackStatus::Paused) position = std::max<int64_t>(0, position - rewind_on_resume_ms);
        start();
    }
    void play_in_place() override {
        calls.push_back("play in place");
        start();
    }
    void pause() override {
        calls.push_back("pause");
        if (status_ == PlaybackStatus::Playing) status_ = PlaybackStatus::Paused;
    }
    void play_pause() override {
        if (status_ == PlaybackStatus::Playing)
            pause();
        else
            play();
    }
    void stop() override {
        calls.push_back("stop");
        status_ = PlaybackStatus::Stopped;
        position = 0;
    }
    void seek(int64_t ms) override {
        calls.push_back("seek " + std::to_string(ms));
        if (status_ == PlaybackStatus::Stopped) return;
        if (ms >= length_ms) {
            stop();
            return;
        }
        position = std::max<int64_t>(0, ms);
    }
    int64_t position_ms() override { return position; }
    PlaybackStatus status() const override { return status_; }
    std::optional<TrackInfo> track() const override {
        if (status_ == PlaybackStatus::Stopped) return std::nullopt;
        return TrackInfo{"/data/memo.vkd", "memo", length_ms};
    }
    bool can_play() const override { return !recording; }
    double rate() const override { return rate_; }
    void set_rate(double r) override { rate_ = r; }
    double min_rate() const override { return 0.5; }
    double max_rate() const override { return 2.0; }

    void set_status(PlaybackStatus s) { status_ = s; }
    void start() {
        if (!recording && (status_ == PlaybackStatus::Paused || (status_ == PlaybackStatus::Stopped && selected)))
            status_ = PlaybackStatus::Playing;
    }

    std::vector<std::string> calls;
    int64_t position = 0;
    int64_t rewind_on_resume_ms = 0;
    int64_t length_ms = 60000;
    bool selected = true;
    bool recording = false;

private:
    PlaybackStatus status_ = PlaybackStatus::Stopped;
    double rate_ = 1.0;
};

}  // namespace murrel::remotetest
