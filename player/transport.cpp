#include "player/transport.h"

namespace murrel {

ButtonChanges transport_changes(TransportState state, int record_mode_code) {
    using B = TransportButton;
    ButtonChanges c;
    auto set = [&](std::initializer_list<B> buttons, bool on) {
        for (B b : buttons) c[b] = on;
    };
    switch (state) {
    case TransportState::Stopped:
        set({B::Convert, B::WavEdit, B::Email, B::Help, B::About, B::ShqRecord, B::HqRecord,
             B::SpRecord, B::Play, B::Pause},
            true);
        break;
    case TransportState::Recording:
        set({B::Convert, B::WavEdit, B::Email, B::Help, B::About, B::ShqRecord, B::HqRecord,
             B::SpRecord, B::Play},
            false);
        break;
    case TransportState::RecordingPaused:
        if (record_mode_code == 2) c[B::SpRecord] = true;
        if (record_mode_code == 3) c[B::HqRecord] = true;
        if (record_mode_code == 4) c[B::ShqRecord] = true;
        c[B::Play] = false;
        break;
    case TransportState::Playing:
        set({B::Help, B::About, B::ShqRecord, B::HqRecord, B::SpRecord, B::Play}, false);
        c[B::Pause] = true;
        break;
    case TransportState::Paused:
        set({B::Help, B::About, B::ShqRecord, B::HqRecord, B::SpRecord, B::Pause}, false);
        c[B::Play] = true;
        break;
    }
    return c;
}

void apply_changes(ButtonStates& states, const ButtonChanges& changes) {
    for (int i = 0; i < kTransportButtons; ++i)
        if (changes.change[i]) states.enabled[i] = *changes.change[i];
}

int state_image_index(TransportState state) {
    switch (state) {
    case TransportState::Recording: return 15;
    case TransportState::RecordingPaused: return 16;
    case TransportState::Playing: return 17;
    case TransportState::Paused: return 18;
    case TransportState::Stopped: break;
    }
    return 19;
}

const char* transport_button_name(TransportButton b) {
    static const char* const names[] = {"button_convert", "button_wavedit", "button_email",
                                        "button_help",    "button_about",   "button_shqrecord",
                                        "button_hqrecord", "button_sprecord", "button_play",
                                        "button_pause"};
    int i = static_cast<int>(b);
    return i >= 0 && i < kTransportButtons ? names[i] : "";
}

}  // namespace murrel
