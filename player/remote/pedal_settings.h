#pragma once
// Which pedal does what, and how the transport answers it: the bindings the
// learn mode records and the timings of the transcription convention (hold
// play to listen, let go to stop a little further back; hold rewind or fast
// forward to move through the file). Kept in the INI file's section
// "FootPedal". Pure data and rules: no devices, no threads.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace murrel {

class ProfileFile;

enum class PedalAction { None, Play, Rewind, FastForward };

inline constexpr std::string_view kPedalSection = "FootPedal";

// An input device as the reader found it.
struct InputIdentity {
    std::string path;  // its event node
    std::string name;
    uint16_t vendor = 0, product = 0;
    std::vector<int> keys;  // the key and button codes it can send, ascending
    bool operator==(const InputIdentity&) const = default;
};

// One learned pedal: a key code, on one device model or (vendor and product
// 0) on any pedal.
struct PedalBinding {
    uint16_t vendor = 0, product = 0;
    int code = -1;  // none

    bool set() const { return code >= 0; }
    bool matches(const InputIdentity& device, int key) const;
    // "05f3:00ff:257", "257" for any pedal, "" when none.
    std::string to_text() const;
    // What to_text wrote; none for anything else.
    static std::optional<PedalBinding> parse(std::string_view text);
    bool operator==(const PedalBinding&) const = default;
};

struct PedalSettings {
    bool enabled = true;
    PedalBinding play, rewind, fast_forward;
    // How far back a release of the play pedal leaves the file, so that the
    // typist hears the last words again when playing on.
    int rewind_on_release_ms = 1000;
    // A held rewind or fast-forward pedal moves the file this far at once and
    // again every skip_repeat_ms.
    int skip_step_ms = 1000;
    int skip_repeat_ms = 250;

    PedalBinding& binding(PedalAction action);
    const PedalBinding& binding(PedalAction action) const;
    bool any_learned() const { return play.set() || rewind.set() || fast_forward.set(); }
    bool operator==(const PedalSettings&) const = default;
};

// Unreadable or out-of-range values fall back to the defaults.
PedalSettings load_pedal_settings(const ProfileFile& profile);
// Throws ProfileWriteError.
void save_pedal_settings(ProfileFile& profile, const PedalSettings& settings);

// The vendor and product IDs of the pedals commonly sold for transcription;
// the shipped udev rule grants the logged-in user the same ones.
struct PedalModel {
    uint16_t vendor, product;
};
const std::vector<PedalModel>& known_pedal_models();

// Whether the device is taken for a foot pedal: a known model, a name that
// says so, or a device a binding names. Anything else (a keyboard, a mouse)
// is never acted on, so that typing does not move the file.
bool is_pedal(const InputIdentity& device, const PedalSettings& settings);

// Whether the learn mode takes a press of `device`: a pedal, or anything
// that is neither a keyboard nor a mouse, so that the key or click that
// closes the dialog is not learned.
bool may_learn_from(const InputIdentity& device, const PedalSettings& settings);

// What `key` of `device` does. Until anything has been learned a pedal's keys
// take the usual layout in code order: one key plays; two are rewind and play;
// three are rewind, play and fast forward. More keys than that (a pedal that
// pretends to be a keyboard) need the learn mode.
PedalAction pedal_action(const PedalSettings& settings, const InputIdentity& device, int key);

// The kernel's name of a key code ("BTN_1", "KEY_F13"), or its number.
std::string key_name(int code);
const char* pedal_action_name(PedalAction action);

}  // namespace murrel
