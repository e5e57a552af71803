#include "player/remote/pedal_controller.h"

#include <algorithm>

namespace murrel {

void PedalController::move_by(int64_t ms) {
    if (transport_.status() == PlaybackStatus::Stopped) return;
    int64_t target = std::max<int64_t>(0, transport_.position_ms() + ms);
    // Fast forward stops short of the end: running off it would end the
    // playback and lose the place the typist is working at.
    if (ms > 0)
        if (auto t = transport_.track(); t && t->length_ms > 0) target = std::min(target, t->length_ms - 1);
    transport_.seek(target);
}

void PedalController::handle(const PedalEvent& event) {
    using Kind = PedalEvent::Kind;
    switch (event.action) {
        case PedalAction::Play:
            if (event.kind == Kind::Press) {
                transport_.play_in_place();
            } else if (event.kind == Kind::Release && transport_.status() == PlaybackStatus::Playing) {
                transport_.pause();
                if (settings_.rewind_on_release_ms > 0) move_by(-settings_.rewind_on_release_ms);
            }
            break;
        case PedalAction::Rewind:
            if (event.kind != Kind::Release) move_by(-settings_.skip_step_ms);
            break;
        case PedalAction::FastForward:
            if (event.kind != Kind::Release) move_by(settings_.skip_step_ms);
            break;
        case PedalAction::None: break;
    }
}

}  // namespace murrel
