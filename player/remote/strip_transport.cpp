#include "player/remote/strip_transport.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "audio/devices/mmdsp_stretch.h"
#include "audio/formats/mmwave.h"
#include "player/playerstrip.h"
#include "voicefile/koltheader.h"

namespace murrel {

namespace fs = std::filesystem;

void StripTransport::play() {
    if (!can_play() || status() == PlaybackStatus::Playing) return;
    strip_.button_playClick();
}

void StripTransport::play_in_place() {
    if (status() == PlaybackStatus::Paused && can_play())
        strip_.resume_in_place();
    else
        play();
}

void StripTransport::pause() {
    if (status() == PlaybackStatus::Playing) strip_.button_pauseClick();
}

void StripTransport::play_pause() {
    if (status() == PlaybackStatus::Playing)
        pause();
    else
        play();
}

void StripTransport::stop() {
    if (strip_.recording() || status() == PlaybackStatus::Stopped) return;
    strip_.button_stopClick();
}

PlaybackStatus StripTransport::status() const {
    switch (strip_.transport()) {
        case TransportState::Playing: return PlaybackStatus::Playing;
        case TransportState::Paused: return PlaybackStatus::Paused;
        default: return PlaybackStatus::Stopped;
    }
}

bool StripTransport::can_play() const { return !strip_.recording(); }

double StripTransport::rate() const { return strip_.speed() / 100.0; }

void StripTransport::set_rate(double rate) {
    if (!(rate > 0)) return;
    const int steps = static_cast<int>(std::lround(rate * 100.0 / kSpeedStep));
    strip_.set_speed(std::clamp(steps * kSpeedStep, kSpeedMin, kSpeedMax));
}

double StripTransport::min_rate() const { return kSpeedMin / 100.0; }
double StripTransport::max_rate() const { return kSpeedMax / 100.0; }

int64_t StripTransport::voice_bytes_per_second() const {
    return std::max<int64_t>(0, strip_.voice().info().bitrate >> 3);
}

void StripTransport::seek(int64_t ms) {
    if (strip_.recording()) return;
    const bool open = strip_.MMWavePlayer().IsOpen() || strip_.MMWaveOut_vkdplay().IsOpen();
    if (!open) return;
    strip_.set_position_ms(ms);
    // The display follows at once, not at the next tick: a paused file's
    // time must show where a rewind left it.
    if (strip_.MMWavePlayer().IsOpen() || strip_.MMWaveOut_vkdplay().IsOpen()) strip_.Timer_timedisplayTimer();
}

int64_t StripTransport::position_ms() { return std::max<int64_t>(0, strip_.position_ms()); }

const StripTransport::FileFacts& StripTransport::facts(const std::string& path) const {
    auto found = facts_.find(path);
    if (found != facts_.end()) return found->second;
    FileFacts f;
    if (strip_.play_kind() == kFileWav) {
        try {
            TMMWave wave;
            wave.SetFileName(path);
            wave.SetTimeFormat(TMMTimeFormats::tfMillisecond);
            wave.OpenFile();
            f.length_ms = wave.LengthInUnits();
            wave.CloseFile();
        } catch (const std::exception&) {
            // Unreadable now: the length the list showed, in whole seconds.
            Tkoltfile_info info;
            if (get_fileinfo(path, info) == kFileWav)
                f.length_ms = (info.hours * 3600LL + info.minutes * 60LL + info.seconds) * 1000;
        }
    } else {
        KoltHeader header{};
        std::ifstream in(path, std::ios::binary);
        if (in.read(reinterpret_cast<char*>(header.data()), kKoltHeaderSize)) f.title = header_title(header.data());
        // The recorder pads the field with blanks or zeros.
        while (!f.title.empty() && (f.title.back() == ' ' || f.title.back() == '\0')) f.title.pop_back();
    }
    return facts_.emplace(path, std::move(f)).first->second;
}

std::optional<TrackInfo> StripTransport::track() const {
    if (status() == PlaybackStatus::Stopped || strip_.playing_path().empty()) {
        facts_.clear();  // the file may be edited or replaced before it plays again
        return std::nullopt;
    }
    TrackInfo t;
    t.path = strip_.playing_path();
    const FileFacts& f = facts(t.path);
    t.title = f.title.empty() ? fs::path(t.path).stem().string() : f.title;
    if (strip_.play_kind() == kFileWav) {
        t.length_ms = f.length_ms;
    } else if (const int64_t bps = voice_bytes_per_second()) {
        t.length_ms = strip_.voice().data_size() * 1000 / bps;
    }
    return t;
}

}  // namespace murrel
