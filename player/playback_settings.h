#pragma once
// What playback remembers between runs, in a section of the program's INI
// file of our own ("[Playback]"): each window's speed, the rewind on resume,
// and where each of the last files played was left.
//
// Threads: user-interface thread.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace murrel {

class ProfileFile;

inline constexpr const char* kPlaybackSection = "Playback";
// Resume positions kept; the oldest goes when a new file comes.
inline constexpr int kResumeFiles = 100;
inline constexpr int kRewindMaxMs = 5000;
inline constexpr int kRewindDefaultMs = 2000;

// Where each file was left, newest first, one entry per path.
class ResumePositions {
public:
    std::optional<int64_t> find(const std::string& path) const;
    // Moves `path` to the front with `ms`; drops the oldest past kResumeFiles.
    void remember(const std::string& path, int64_t ms);
    void forget(const std::string& path);
    const std::vector<std::pair<std::string, int64_t>>& entries() const { return entries_; }

    // Keys "Resume1".."Resume100" as "<ms>,<path>"; unreadable ones are skipped.
    void load(const ProfileFile& ini);
    // Writes every key, emptying the ones no longer used. Throws
    // ProfileWriteError.
    void save(ProfileFile& ini) const;

private:
    std::vector<std::pair<std::string, int64_t>> entries_;
};

// The keys for typing along, as key-sequence text ("F8", "Shift+F7"); read
// from "Key…" entries, the default where one is missing, empty for a key the
// user switched off ("KeyFaster=none"). The defaults are function keys the
// program uses for nothing else, so they work while the file list (or any
// other control) has the keyboard: the F7 family goes back and slower, F9
// forward and faster, F8 plays and pauses.
struct PlayerKeys {
    std::string play_pause = "F8";
    std::string skip_back = "F7";
    std::string skip_back_long = "Shift+F7";
    std::string skip_forward = "F9";
    std::string skip_forward_long = "Shift+F9";
    std::string slower = "Ctrl+F7";
    std::string faster = "Ctrl+F9";
};
PlayerKeys read_player_keys(const ProfileFile& ini);

// The speed of the window whose key is `window_key` ("MainSpeed",
// "EditSpeed"), 50–200 in steps of 5; 100 when missing or nonsense.
int read_window_speed(const ProfileFile& ini, const char* window_key);
void write_window_speed(ProfileFile& ini, const char* window_key, int percent);
// 0–5000 ms; the default when missing or out of range.
int read_rewind_ms(const ProfileFile& ini);
void write_rewind_ms(ProfileFile& ini, int ms);

}  // namespace murrel
