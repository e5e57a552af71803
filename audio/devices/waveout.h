#pragma once
// TMMWaveOut: plays audio through an output device of the backend, keeping a
// ring of NumBuffers buffers of BufferSize bytes queued at the device. The
// data comes from OnBufferLoad and then from the Input link; finished buffers
// are refilled and written again until a load says there is no more, then the
// device stops itself and fires OnStop.
//
// OnBufferLoad contract: lpData points at EffectiveBufferSize bytes and
// dwBufferLength holds that size; the handler writes at most that many bytes,
// sets dwBytesRecorded to the count and clears MoreBuffers with the last data.
// A load of 0 bytes that still says MoreBuffers is an error ("Error filling
// wave buffer"); 0 bytes with MoreBuffers cleared simply ends the data.
//
// Threads:
// - user-interface thread: every operation and property, OnOpen, OnStart,
//   OnPause, OnRestart, OnStop (also the stop after the end of the data),
//   OnClose, OnLooping, OnError; the loads done by Start and Reset.
// - refills (OnBufferLoad, OnBufferFilled, OnBufferReady, the chain's
//   BufferLoad/BufferReady): on the device's worker (its TMMDSPThread) with cmThread, on
//   the user-interface thread with cmWindow, inside the backend's
//   notification with cmCallback. A refill takes no lock the user-interface
//   thread holds while waiting, and allocates nothing.
// - queued_, refills_, index_, bytes_played_ change under lock_; the flags
//   are atomics.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/devices/device_errors.h"
#include "audio/devices/mmdsp_sound.h"
#include "audio/devices/mmdsp_thread.h"

namespace murrel {

class TMMWaveOut : public TMMCustomSoundComponent {
public:
    explicit TMMWaveOut(AudioBackend* backend = nullptr, UiDispatcher* ui = nullptr);
    ~TMMWaveOut() override;

    // Closes the device first.
    void SetWaveFormat(const TWaveFormatEx* format) override;

    bool Looping() const { return looping_; }
    void SetLooping(bool on) { looping_ = on; }
    uint16_t LoopCount() const { return loop_count_; }
    void SetLoopCount(uint16_t n) { loop_count_ = n; }

    TNotifyEvent OnLooping;
    TMMBufferEvent OnBufferFilled;

    // Samples played since Start (since the last loop's start while looping),
    // in TimeFormat units; 0 when not open.
    int64_t GetPosition();
    // The same counted from the last Start or Reset, every loop included, for
    // a link between the source and the device (a time-stretch) whose own
    // count runs on across the loops.
    int64_t GetRunPosition();
    void Open();
    void Close() override;
    void Reset();
    void Start();
    void Pause();
    void Restart();
    void Stop();

    // Takes back what is queued but not yet played and loads it again from
    // the chain (see TMMDSPComponent::Requeue), on the device's worker; only
    // with cmThread, while playing. Any thread.
    void Requeue() override;

    bool IsPlaying() const { return State() & kStatePlaying; }
    bool IsDevicePaused() const { return State() & kStatePaused; }

    // Volume of the open device: left low 16 bits, right high 16 bits.
    void SetVolume(uint32_t volume);
    uint32_t Volume();

protected:
    [[noreturn]] void Fail(const std::string& text) override;
    [[noreturn]] void ThrowPropertyWhileOpen() override;
    MMResult ReadCaps(int id, WaveCaps& caps) override;
    const char* NoDeviceName() const override;
    const char* ComponentName() const override { return "TMMWaveOut"; }

private:
    int64_t PlayedPosition(bool from_loop);
    class Callback : public WaveCallback {
    public:
        explicit Callback(TMMWaveOut& owner) : owner_(owner) {}
        void wave_message(WaveMsg msg, TMMWaveHdr* hdr) override { owner_.Notification(msg, hdr); }

    private:
        TMMWaveOut& owner_;
    };

    void Notification(WaveMsg msg, TMMWaveHdr* hdr);
    // Refill of one finished buffer; false when it failed (reported already).
    bool RefillSafe(TMMWaveHdr* hdr, uint64_t generation);
    void Refill(TMMWaveHdr* hdr, uint64_t generation);
    void RequeueNow(uint64_t generation);
    // Ends a refill counted in refills_ when it leaves its scope, failing or
    // not, unless disarmed (the refill then ends it under its own lock).
    struct RefillCount {
        TMMWaveOut& self;
        bool armed = true;
        ~RefillCount();
    };
    // Loads and writes the ring as Start does; returns the buffers written.
    int QueueRing(WaveOutCall call);
    void LoadBuffer(TMMWaveHdr* hdr);
    // After loading: shows the buffer to OnBufferFilled and fixes its length
    // at what it holds.
    void SealBuffer(TMMWaveHdr* hdr);
    void WriteBuffer(TMMWaveHdr* hdr);
    void FreeBuffers();
    void FinishStop();
    // What a Reset starts again from: the queue, the position, and a new
    // generation so that stale refills do nothing. A refill still running
    // keeps its count.
    void ClearQueueAndPosition();
    // All of it, once no refill runs (stop, close).
    void ClearCounters();
    uint64_t DeviceSamples(WaveOutCall call);
    // Releases everything without events; used when a failure closes the device.
    void ForceClose() override;
    std::string ErrorText(MMResult code) { return backend_->out_error_text(code); }

    Callback callback_{*this};

    // Under lock_.
    int queued_ = 0;
    int refills_ = 0;
    // Refills announced by a finished buffer but not yet begun (posted to the
    // worker or the user-interface thread). Until they have run, an empty
    // device queue is an underrun, not the end of the data.
    int pending_refills_ = 0;
    int index_ = 0;
    int ring_count_ = 0;  // slots written by the last Start/Reset
    uint64_t bytes_played_ = 0;
    uint64_t generation_ = 1;  // bumped by Stop and Reset: stale refills do nothing

    std::atomic<uint64_t> generation_seen_{1};  // copy of generation_ for lock-free reads
    std::atomic<bool> more_buffers_{true};
    std::atomic<bool> requeue_posted_{false};  // one at a time: the worker's queue is for buffers
    std::atomic<bool> closing_{false}, stop_requested_{false}, resetting_{false},
        ending_{false}, close_requested_{false};
    std::atomic<uint32_t> loops_left_{0};
    // Position bookkeeping, in samples.
    std::atomic<int64_t> loop_start_{0};
    std::atomic<int64_t> pause_samples_{0};
    std::atomic<int64_t> stop_position_{0};

    bool pause_reset_ = false;  // Pause dropped the queue of a live source
    uint32_t volume_ = 0xFFFFFFFFu;
    bool volume_set_ = false;
    bool looping_ = false;
    uint16_t loop_count_ = 0;
};

}  // namespace murrel
