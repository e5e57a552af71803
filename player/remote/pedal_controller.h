#pragma once
// What the pedals do to the transport, by the transcription convention:
// holding play plays; letting go pauses and moves the file back by the
// settings' rewind, so that playing on repeats the last words; rewind and
// fast forward move the file by a step at the press and at every repeat
// while held, whether it plays or is paused.
//
// Threads: the user-interface thread (the reader's events arrive there).
#include "player/remote/pedal_reader.h"
#include "player/remote/pedal_settings.h"
#include "player/remote/transport_control.h"

namespace murrel {

class PedalController {
public:
    explicit PedalController(TransportControl& transport) : transport_(transport) {}
    void set_settings(const PedalSettings& settings) { settings_ = settings; }
    void handle(const PedalEvent& event);

private:
    void move_by(int64_t ms);

    TransportControl& transport_;
    PedalSettings settings_;
};

}  // namespace murrel
