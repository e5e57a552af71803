#pragma once
// TMMWavePlayer: plays a WAV file. Its chain is the wave (presented as PCM by
// the conversion chain when AutoConvert is on) → the player itself → its
// time-stretch link → an optional tap (a connector for the level meters) →
// its own output device. Positions are milliseconds of the file, whatever
// the speed.
//
// Threads: every operation on the user-interface thread; BufferLoad on the
// device's refill thread. The wave is only read by the refill while the device
// is started; the operations that touch it stop the device first, and a seek
// moves the wave inside the device's reset, once no refill runs.
#include <cstdint>
#include <memory>
#include <optional>

#include "audio/formats/acmwave.h"
#include "audio/formats/mmwavefile.h"
#include "audio/devices/mmdsp_stretch.h"
#include "audio/devices/waveout.h"

namespace murrel {

class TMMWavePlayer : public TMMDSPComponent {
public:
    explicit TMMWavePlayer(AudioBackend* backend = nullptr, UiDispatcher* ui = nullptr);
    ~TMMWavePlayer() override;

    TMMWave& Wave() { return wave_file_.Wave(); }
    TMMWaveOut& Device() { return device_; }
    // Playback speed with the pitch kept; see TMMTimeStretch.
    TMMTimeStretch& Stretch() { return stretch_; }
    // Inserts `tap` between the player and its device (nullptr removes it).
    // While the device is closed.
    void SetTap(TMMDSPComponent* tap);

    bool AutoConvert() const { return auto_convert_; }
    void SetAutoConvert(bool on) { auto_convert_ = on; }
    bool ResetPosition = true;

    void Play();
    void Pause();
    void Restart();
    void Stop();
    int64_t Position();
    void SetPosition(int64_t ms);
    bool IsOpen() const { return device_.IsOpen(); }

    TNotifyEvent OnStop;

    void BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) override;
    void WasReset() override;

    // Device settings pass through.
    void SetBufferSize(int bytes) override { device_.SetBufferSize(bytes); }
    void SetNumBuffers(int n) { device_.SetNumBuffers(n); }

private:
    TMMAcmWave& Acm() { return *acm_; }
    void Chain();

    TMMAcmWave* acm_;  // owned by wave_file_
    TMMWaveFile wave_file_;
    TMMTimeStretch stretch_;
    TMMWaveOut device_;
    TMMDSPComponent* tap_ = nullptr;
    int64_t start_position_ = 0;
    int64_t stop_position_ = 0;
    std::optional<int64_t> pending_position_;  // a seek waiting for the device's reset
    bool auto_convert_ = true;
};

}  // namespace murrel
