#pragma once
// The transport states shared by playback and recording, and the button
// enables each state sets. Pure: the strip applies the result to its buttons.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace murrel {

// The argument of playandrec_buttonset.
enum class TransportState : int { Stopped = -1, Recording = 0, RecordingPaused = 1, Playing = 2, Paused = 3 };

// The buttons a state touches; the stop button is never disabled.
enum class TransportButton : int {
    Convert, WavEdit, Email, Help, About, ShqRecord, HqRecord, SpRecord, Play, Pause, Count
};
inline constexpr int kTransportButtons = static_cast<int>(TransportButton::Count);

// Per button: set enabled, set disabled, or unset = keep the previous state.
struct ButtonChanges {
    std::array<std::optional<bool>, kTransportButtons> change{};
    std::optional<bool>& operator[](TransportButton b) { return change[static_cast<int>(b)]; }
    const std::optional<bool>& operator[](TransportButton b) const { return change[static_cast<int>(b)]; }
};

// Current enabled state of the buttons; all enabled at start-up.
struct ButtonStates {
    std::array<bool, kTransportButtons> enabled{true, true, true, true, true, true, true, true, true, true};
    bool operator[](TransportButton b) const { return enabled[static_cast<int>(b)]; }
    bool operator==(const ButtonStates&) const = default;
};

// What a state changes. `record_mode_code` (2 SP, 3 HQ, 4 SHQ) picks the
// record button that resumes a paused recording.
ButtonChanges transport_changes(TransportState state, int record_mode_code);
// Applies `changes` to `states`.
void apply_changes(ButtonStates& states, const ButtonChanges& changes);
// Index in the button bitmap list of the state image: 15 recording … 19 stopped.
int state_image_index(TransportState state);
const char* transport_button_name(TransportButton b);

}  // namespace murrel
