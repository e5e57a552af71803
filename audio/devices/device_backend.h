#pragma once
// The platform's wave device operations behind one interface: the input
// device's table of thirteen operations and its output twin (plus the output
// volume). TMMWaveOut and TMMWaveIn call the platform only through this.
//
// Backends: "portaudio" (the real one) and "virtual" (tests, machines without
// sound). The process-wide backend is chosen by the MURREL_AUDIO environment
// variable or by select_audio_backend(); an unknown name is an error, never a
// silent fallback.
#include <memory>
#include <string>
#include <vector>

#include "audio/devices/device_types.h"

namespace murrel {

enum class WaveMsg { Open, Done, Close };

// Receives a device's three notifications. Called on a thread of the backend
// (or inside the operation that caused it, on the caller's thread); after Done
// the header belongs to the owner again and the backend no longer touches it.
class WaveCallback {
public:
    virtual ~WaveCallback() = default;
    virtual void wave_message(WaveMsg msg, TMMWaveHdr* hdr) = 0;
};

using WaveHandle = uintptr_t;
inline constexpr unsigned kWaveFormatQuery = 1;  // only ask whether the format is accepted
inline constexpr unsigned kWaveMapped = 2;

class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual std::string name() const = 0;
    // Whether refills may run inside the backend's notification (cmCallback).
    virtual bool callbacks_allowed() const { return true; }

    // Output devices. `device` is 0..n-1 or MapperId.
    virtual int out_num_devs() = 0;
    virtual MMResult out_get_caps(int device, WaveCaps& caps) = 0;
    virtual std::string out_error_text(MMResult code) { return mm_error_text(code); }
    virtual MMResult out_open(WaveHandle* handle, int device, const TWaveFormatEx& format,
                              WaveCallback* callback, unsigned flags) = 0;
    virtual MMResult out_close(WaveHandle h) = 0;
    virtual MMResult out_prepare(WaveHandle h, TMMWaveHdr* hdr) = 0;
    virtual MMResult out_unprepare(WaveHandle h, TMMWaveHdr* hdr) = 0;
    virtual MMResult out_write(WaveHandle h, TMMWaveHdr* hdr) = 0;
    virtual MMResult out_pause(WaveHandle h) = 0;
    virtual MMResult out_restart(WaveHandle h) = 0;
    // Returns every queued buffer (Done) and sets the position to 0.
    virtual MMResult out_reset(WaveHandle h) = 0;
    virtual MMResult out_get_position(WaveHandle h, MMTime& time) = 0;
    // Takes the queued audio not yet handed to the platform off the end of
    // the queue, at most `max_bytes` of it, so that the owner can fill those
    // buffers anew (a change of speed heard at once instead of after the
    // queue): whole buffers from the end in `chain` (linked by lpNext, in
    // queue order, still in the queue's keeping) and, when they all go, the
    // unplayed end of the buffer being played (its dwBufferLength shortened).
    // `bytes` is all that was taken. Until out_put_back the device waits a
    // little for them instead of playing silence. Only one take at a time.
    virtual MMResult out_take_unplayed(WaveHandle, uint64_t /*max_bytes*/, TMMWaveHdr*& chain, uint64_t& bytes) {
        chain = nullptr;
        bytes = 0;
        return MMSYSERR_NOTSUPPORTED;
    }
    // Queues the chain of out_take_unplayed again, refilled (dwBufferLength
    // holding the audio now in each); returns them Done instead when a reset
    // came in between.
    virtual MMResult out_put_back(WaveHandle, TMMWaveHdr* /*chain*/) { return MMSYSERR_NOTSUPPORTED; }
    virtual MMResult out_get_id(WaveHandle h, int& device) = 0;
    // Volume: left in the low 16 bits, right in the high 16 bits, 0xFFFF =
    // unity. A mono device uses the left half.
    virtual MMResult out_get_volume(WaveHandle h, uint32_t& volume) = 0;
    virtual MMResult out_set_volume(WaveHandle h, uint32_t volume) = 0;

    // Input devices.
    virtual int in_num_devs() = 0;
    virtual MMResult in_get_caps(int device, WaveCaps& caps) = 0;
    virtual std::string in_error_text(MMResult code) { return mm_error_text(code); }
    virtual MMResult in_open(WaveHandle* handle, int device, const TWaveFormatEx& format,
                             WaveCallback* callback, unsigned flags) = 0;
    virtual MMResult in_close(WaveHandle h) = 0;
    virtual MMResult in_prepare(WaveHandle h, TMMWaveHdr* hdr) = 0;
    virtual MMResult in_unprepare(WaveHandle h, TMMWaveHdr* hdr) = 0;
    virtual MMResult in_add_buffer(WaveHandle h, TMMWaveHdr* hdr) = 0;
    virtual MMResult in_start(WaveHandle h) = 0;
    // Stops capturing; the buffer being filled comes back with what it holds,
    // the empty ones stay queued.
    virtual MMResult in_stop(WaveHandle h) = 0;
    // Stops and returns every queued buffer; the position goes back to 0.
    virtual MMResult in_reset(WaveHandle h) = 0;
    virtual MMResult in_get_position(WaveHandle h, MMTime& time) = 0;
    virtual MMResult in_get_id(WaveHandle h, int& device) = 0;
    // Frames the open input device captured but could not deliver (no free
    // buffer, or an overrun of the device); 0 when the backend cannot tell.
    virtual uint64_t in_lost_frames(WaveHandle) { return 0; }
};

// The process-wide backend, created on first use from MURREL_AUDIO
// ("portaudio" when unset). Throws std::runtime_error for an unknown name.
AudioBackend& audio_backend();
// Chooses the backend by name ("portaudio", "virtual"); replaces the current
// one. Only while no device is open. Throws std::runtime_error for an unknown
// name.
void select_audio_backend(const std::string& name);
// Installs a backend the caller owns (tests); nullptr goes back to the choice
// by name.
void set_audio_backend(AudioBackend* backend);
// The name the environment or the last select_audio_backend asked for.
std::string audio_backend_name();

// Number of output devices of the process-wide backend; what the start-up
// stores in sound_output_present (> 0).
int count_output_devices();

}  // namespace murrel
