#pragma once
// TMMWaveIn: records PCM from an input device of the backend. A ring of
// NumBuffers buffers of BufferSize bytes stays queued at the device; each
// buffer the device fills is handed to OnBufferReady and on to the Output,
// then queued again. MaxRecordTime ends the recording by itself: the buffer
// that crosses the limit is delivered shortened to it.
//
// OnBufferReady contract: lpData holds dwBytesRecorded bytes of recorded PCM;
// the handler copies or consumes them before it returns, because the buffer
// is queued again right after.
//
// Threads:
// - user-interface thread: every operation and property, OnOpen, OnStart,
//   OnPause, OnRestart, OnClose, OnError, and OnStop (also when the limit or
//   a stop request ends the recording).
// - deliveries (OnBufferReady, the Output's BufferReady): on the device's
//   worker (its TMMDSPThread) with cmThread, on the user-interface thread
//   with cmWindow, inside the backend's notification with cmCallback. A delivery
//   that reaches the limit only requests the stop; the user-interface thread
//   completes it, exactly once.
// - queued_, deliveries_, index_, bytes_delivered_ change under lock_; the
//   flags are atomics.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "audio/devices/device_errors.h"
#include "audio/devices/mmdsp_sound.h"
#include "audio/devices/mmdsp_thread.h"

namespace murrel {

enum class TMMBits { b8Bit, b16Bit };

class TMMWaveIn : public TMMCustomSoundComponent {
public:
    explicit TMMWaveIn(AudioBackend* backend = nullptr, UiDispatcher* ui = nullptr);
    ~TMMWaveIn() override;

    // Closes the device first; a PCM format also sets SampleRate, BitLength
    // and Mode.
    void SetWaveFormat(const TWaveFormatEx* format) override;

    // Only mMono and mStereo are taken.
    TMMMode Mode() const { return mode_; }
    void SetMode(TMMMode mode);
    TMMBits BitLength() const { return bits_; }
    void SetBitLength(TMMBits bits);
    // 8000–100000 Hz; values outside are clamped.
    int SampleRate() const { return rate_; }
    void SetSampleRate(int rate);
    // In TimeFormat units; negative = no limit.
    int64_t MaxRecordTime() const { return max_record_time_; }
    void SetMaxRecordTime(int64_t value) { max_record_time_ = value; }

    // Recorded time in TimeFormat units, never more than a positive
    // MaxRecordTime; 0 when not open.
    int64_t GetPosition();
    // Frames the device captured since Open that no buffer took (the owner
    // returned buffers too slowly, or the device overran); 0 when closed.
    uint64_t LostFrames() const;
    void Open();
    void Close() override;
    void Start();
    void Pause();
    void Restart();
    void Stop();
    // After Stop, on the user-interface thread: waits (about a second at
    // most) until every buffer the device returned has been handed to
    // OnBufferReady, so an owner can finish what it writes without losing
    // the last buffers. The stop itself may still complete later. True when
    // nothing is left to deliver.
    bool WaitDelivered();

    bool IsRecording() const { return State() & kStatePlaying; }
    bool IsDevicePaused() const { return State() & kStatePaused; }
    // The byte limit Start derived from MaxRecordTime (UINT64_MAX = none).
    uint64_t ByteLimit() const { return byte_limit_; }

protected:
    [[noreturn]] void Fail(const std::string& text) override;
    [[noreturn]] void ThrowPropertyWhileOpen() override;
    MMResult ReadCaps(int id, WaveCaps& caps) override;
    const char* NoDeviceName() const override;
    const char* ComponentName() const override { return "TMMWaveIn"; }

private:
    class Callback : public WaveCallback {
    public:
        explicit Callback(TMMWaveIn& owner) : owner_(owner) {}
        void wave_message(WaveMsg msg, TMMWaveHdr* hdr) override { owner_.Notification(msg, hdr); }

    private:
        TMMWaveIn& owner_;
    };

    void UpdateFormat();
    void Notification(WaveMsg msg, TMMWaveHdr* hdr);
    bool DeliverSafe(TMMWaveHdr* hdr);
    void Deliver(TMMWaveHdr* hdr);
    // Stops and resets the device; any thread. True when a delivery is still
    // running (it completes the stop).
    bool RequestStop();
    void FinishStop();
    // cmWindow: the filled buffers waiting for the user-interface thread.
    void DrainWindowQueue();
    bool WaitQueued(int steps);
    void AllocateBuffers();
    void FreeBuffers();
    void ForceClose() override;
    std::string ErrorText(MMResult code) { return backend_->in_error_text(code); }

    Callback callback_{*this};

    // Under lock_.
    int queued_ = 0;
    int deliveries_ = 0;
    int index_ = 0;
    uint64_t bytes_delivered_ = 0;
    std::deque<TMMWaveHdr*> window_queue_;  // cmWindow only; sized by NumBuffers

    uint64_t byte_limit_ = UINT64_MAX;
    std::atomic<bool> closing_{false}, close_requested_{false},
        dropping_{false}, stop_requested_{false}, ending_{false};

    TMMMode mode_ = TMMMode::mMono;
    TMMBits bits_ = TMMBits::b8Bit;
    int rate_ = 11025;
    int64_t max_record_time_ = -1;
};

}  // namespace murrel
