#include "player/remote/pedal_settings.h"

#include <libevdev/libevdev.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "shell/profile.h"

namespace murrel {

namespace {

constexpr std::string_view kKeyEnabled = "Enabled";
constexpr std::string_view kKeyRewindOnRelease = "RewindOnRelease";
constexpr std::string_view kKeySkipStep = "SkipStep";
constexpr std::string_view kKeySkipRepeat = "SkipRepeat";

std::string_view action_key(PedalAction a) {
    switch (a) {
        case PedalAction::Play: return "Play";
        case PedalAction::Rewind: return "Rewind";
        case PedalAction::FastForward: return "FastForward";
        default: return "";
    }
}

constexpr PedalAction kActions[] = {PedalAction::Play, PedalAction::Rewind, PedalAction::FastForward};

std::optional<uint16_t> parse_hex16(std::string_view s) {
    if (s.empty() || s.size() > 4) return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : (c >= 'a' && c <= 'f')                     ? c - 'a' + 10
                : (c >= 'A' && c <= 'F')                     ? c - 'A' + 10
                                                             : -1;
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<unsigned>(d);
    }
    return static_cast<uint16_t>(v);
}

int read_ms(const ProfileFile& p, std::string_view key, int fallback, int lo, int hi) {
    const int32_t v = p.read_integer(kPedalSection, key, fallback);
    return v < lo || v > hi ? fallback : v;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool PedalBinding::matches(const InputIdentity& device, int key) const {
    if (!set() || key != code) return false;
    return (vendor == 0 && product == 0) || (vendor == device.vendor && product == device.product);
}

std::string PedalBinding::to_text() const {
    if (!set()) return {};
    if (vendor == 0 && product == 0) return std::to_string(code);
    char id[16];
    std::snprintf(id, sizeof id, "%04x:%04x:", vendor, product);
    return id + std::to_string(code);
}

std::optional<PedalBinding> PedalBinding::parse(std::string_view text) {
    PedalBinding b;
    std::string_view code = text;
    if (const size_t last = text.rfind(':'); last != std::string_view::npos) {
        const std::string_view id = text.substr(0, last);
        const size_t mid = id.find(':');
        if (mid == std::string_view::npos) return std::nullopt;
        auto v = parse_hex16(id.substr(0, mid));
        auto p = parse_hex16(id.substr(mid + 1));
        if (!v || !p) return std::nullopt;
        b.vendor = *v;
        b.product = *p;
        code = text.substr(last + 1);
    }
    auto n = parse_int32(code);
    if (!n || *n < 0 || *n > KEY_MAX) return std::nullopt;
    b.code = *n;
    return b;
}

PedalBinding& PedalSettings::binding(PedalAction a) {
    return a == PedalAction::Rewind ? rewind : a == PedalAction::FastForward ? fast_forward : play;
}
const PedalBinding& PedalSettings::binding(PedalAction a) const {
    return const_cast<PedalSettings*>(this)->binding(a);
}

PedalSettings load_pedal_settings(const ProfileFile& profile) {
    PedalSettings s;
    const PedalSettings d;
    s.enabled = profile.read_bool(kPedalSection, kKeyEnabled, d.enabled);
    for (PedalAction a : kActions)
        if (auto b = PedalBinding::parse(profile.read_string(kPedalSection, action_key(a)))) s.binding(a) = *b;
    s.rewind_on_release_ms = read_ms(profile, kKeyRewindOnRelease, d.rewind_on_release_ms, 0, 30000);
    s.skip_step_ms = read_ms(profile, kKeySkipStep, d.skip_step_ms, 100, 60000);
    s.skip_repeat_ms = read_ms(profile, kKeySkipRepeat, d.skip_repeat_ms, 50, 5000);
    return s;
}

void save_pedal_settings(ProfileFile& profile, const PedalSettings& s) {
    profile.defer_writes();
    profile.write_bool(kPedalSection, kKeyEnabled, s.enabled);
    for (PedalAction a : kActions) profile.write_string(kPedalSection, action_key(a), s.binding(a).to_text());
    profile.write_integer(kPedalSection, kKeyRewindOnRelease, s.rewind_on_release_ms);
    profile.write_integer(kPedalSection, kKeySkipStep, s.skip_step_ms);
    profile.write_integer(kPedalSection, kKeySkipRepeat, s.skip_repeat_ms);
    profile.flush();
}

const std::vector<PedalModel>& known_pedal_models() {
    static const std::vector<PedalModel> models{
        {0x05f3, 0x00ff},  // three-pedal USB transcription pedal
        {0x0c45, 0x7403},  // single and triple USB foot switches
        {0x0c45, 0x7404},
        {0x413d, 0x2107},
    };
    return models;
}

bool is_pedal(const InputIdentity& device, const PedalSettings& settings) {
    for (const PedalModel& m : known_pedal_models())
        if (m.vendor == device.vendor && m.product == device.product) return true;
    const std::string name = lower(device.name);
    if (name.find("foot") != std::string::npos || name.find("pedal") != std::string::npos) return true;
    for (PedalAction a : kActions) {
        const PedalBinding& b = settings.binding(a);
        if (b.set() && (b.vendor || b.product) && b.vendor == device.vendor && b.product == device.product)
            return true;
    }
    return false;
}

bool may_learn_from(const InputIdentity& device, const PedalSettings& settings) {
    if (is_pedal(device, settings)) return true;
    auto has = [&device](int code) { return std::binary_search(device.keys.begin(), device.keys.end(), code); };
    const bool keyboard = has(KEY_A) && has(KEY_Z) && has(KEY_SPACE) && has(KEY_ENTER);
    const bool mouse = has(BTN_LEFT) && has(BTN_RIGHT);
    return !keyboard && !mouse;
}

PedalAction pedal_action(const PedalSettings& settings, const InputIdentity& device, int key) {
    if (settings.any_learned()) {
        for (PedalAction a : kActions)
            if (settings.binding(a).matches(device, key)) return a;
        return PedalAction::None;
    }
    const auto& keys = device.keys;
    const auto at = std::find(keys.begin(), keys.end(), key);
    if (at == keys.end()) return PedalAction::None;
    const size_t i = static_cast<size_t>(at - keys.begin());
    switch (keys.size()) {
        case 1: return PedalAction::Play;
        case 2: return i == 0 ? PedalAction::Rewind : PedalAction::Play;
        case 3: return i == 0 ? PedalAction::Rewind : i == 1 ? PedalAction::Play : PedalAction::FastForward;
        default: return PedalAction::None;
    }
}

std::string key_name(int code) {
    if (const char* n = libevdev_event_code_get_name(EV_KEY, static_cast<unsigned>(code))) return n;
    return std::to_string(code);
}

const char* pedal_action_name(PedalAction a) {
    switch (a) {
        case PedalAction::Play: return "Play";
        case PedalAction::Rewind: return "Rewind";
        case PedalAction::FastForward: return "Fast forward";
        default: return "None";
    }
}

}  // namespace murrel
