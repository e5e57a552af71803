#include "player/playback_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "audio/devices/mmdsp_stretch.h"
#include "shell/profile.h"

namespace murrel {

namespace {
std::string resume_key(int i) { return "Resume" + std::to_string(i); }
}  // namespace

std::optional<int64_t> ResumePositions::find(const std::string& path) const {
    for (const auto& [p, ms] : entries_)
        if (p == path) return ms;
    return std::nullopt;
}

void ResumePositions::remember(const std::string& path, int64_t ms) {
    forget(path);
    entries_.insert(entries_.begin(), {path, std::max<int64_t>(ms, 0)});
    if (entries_.size() > static_cast<size_t>(kResumeFiles)) entries_.resize(kResumeFiles);
}

void ResumePositions::forget(const std::string& path) {
    std::erase_if(entries_, [&](const auto& e) { return e.first == path; });
}

void ResumePositions::load(const ProfileFile& ini) {
    entries_.clear();
    for (int i = 1; i <= kResumeFiles; ++i) {
        const std::string value = ini.read_string(kPlaybackSection, resume_key(i));
        const size_t comma = value.find(',');
        if (comma == std::string::npos || comma == 0 || comma + 1 >= value.size()) continue;
        int64_t ms = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + comma, ms);
        if (ec != std::errc() || end != value.data() + comma || ms < 0) continue;
        const std::string path = value.substr(comma + 1);
        if (!find(path)) entries_.emplace_back(path, ms);
    }
}

void ResumePositions::save(ProfileFile& ini) const {
    ini.defer_writes();
    int i = 1;
    for (const auto& [path, ms] : entries_) {
        std::string value = std::to_string(ms) + "," + path;
        // A path the INI cannot hold whole would come back as another file.
        if (value.size() >= kProfileValueBuffer) continue;
        ini.write_string(kPlaybackSection, resume_key(i++), value);
    }
    for (; i <= kResumeFiles; ++i)
        if (ini.value_exists(kPlaybackSection, resume_key(i))) ini.write_string(kPlaybackSection, resume_key(i), "");
    ini.flush();
}

PlayerKeys read_player_keys(const ProfileFile& ini) {
    PlayerKeys k;
    auto read = [&](const char* key, std::string& value) {
        if (!ini.value_exists(kPlaybackSection, key)) return;
        std::string v = ini.read_string(kPlaybackSection, key);
        if (v.empty()) return;  // an empty entry keeps the default, as a missing one
        std::string lower = v;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        value = lower == "none" ? std::string() : v;
    };
    read("KeyPlayPause", k.play_pause);
    read("KeySkipBack", k.skip_back);
    read("KeySkipBackLong", k.skip_back_long);
    read("KeySkipForward", k.skip_forward);
    read("KeySkipForwardLong", k.skip_forward_long);
    read("KeySlower", k.slower);
    read("KeyFaster", k.faster);
    return k;
}

int read_window_speed(const ProfileFile& ini, const char* window_key) {
    const int v = ini.read_integer(kPlaybackSection, window_key, kSpeedNormal);
    if (v < kSpeedMin || v > kSpeedMax) return kSpeedNormal;
    return clamp_speed(v);
}

void write_window_speed(ProfileFile& ini, const char* window_key, int percent) {
    ini.write_integer(kPlaybackSection, window_key, clamp_speed(percent));
}

int read_rewind_ms(const ProfileFile& ini) {
    const int v = ini.read_integer(kPlaybackSection, "RewindMs", kRewindDefaultMs);
    return v < 0 || v > kRewindMaxMs ? kRewindDefaultMs : v;
}

void write_rewind_ms(ProfileFile& ini, int ms) {
    ini.write_integer(kPlaybackSection, "RewindMs", std::clamp(ms, 0, kRewindMaxMs));
}

}  // namespace murrel
