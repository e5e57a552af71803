#pragma once
// TMMTimeStretch: a chain link that plays its Input faster or slower with
// the pitch kept (WSOLA time-stretch), placed between a source and the
// device, so that the device, the connectors and the meters after it see
// ordinary PCM and need not know.
//
// Speed is a percentage, 50–200 in steps of 5; 100 passes the audio through
// untouched (bit for bit) until the speed is first changed during a run.
// Passing through, each of the source's buffers is handed on in pieces of
// MaxChunkMs, so that the queue at the device is as short as while
// stretching.
// The device's position counts what it played, in output time; SourceFrames
// turns it back into frames of the source (file time), which is what every
// display and seek works in.
//
// Each device buffer carries at most MaxChunkMs of audio, so that the device
// sees many short buffers rather than a few long ones (kStretchQueueBuffers
// of them, about a third of a second: ten were heard dropping out now and
// then on a loaded machine). A change of speed does not wait for that queue:
// SetSpeed asks the device (TMMDSPComponent::Requeue) to hand back what it
// holds and has not yet played, and the link makes that audio again at the
// new speed from the source frames it keeps (TakeBack). The new audio is
// faded in from the old at the best-matching point a few milliseconds long,
// so the seam is neither a gap nor a click; what is heard late is only what
// the sound backend's stream already holds (some tens of milliseconds).
//
// Formats: PCM, 8 or 16 bits, 1 or 2 channels; anything else passes through
// at its own speed.
//
// Threads: SetSpeed/Speed, SourceFrames and HandedOn from any thread.
// BufferLoad and TakeBack run on the device's refilling thread (or the
// user-interface thread for the first buffers), never two at once; the chain notifications on the user-interface
// thread while no refill runs. Buffers are made at Opened: a refill allocates
// nothing.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/devices/mmdsp.h"

namespace soundtouch {
class SoundTouch;
}

namespace murrel {

inline constexpr int kSpeedMin = 50;
inline constexpr int kSpeedMax = 200;
inline constexpr int kSpeedStep = 5;
inline constexpr int kSpeedNormal = 100;
// The buffers a device behind a stretch link queues: with pieces of
// MaxChunkMs (20 ms) about a third of a second, of which the sound backend's
// stream holds up to 90 ms; the rest is what a refill held up by a busy
// machine may take before the writer finds too little and pads with silence.
inline constexpr int kStretchQueueBuffers = 16;

// `percent` clamped to 50–200 and rounded to the nearest step of 5.
int clamp_speed(int percent);

class TMMTimeStretch : public TMMDSPComponent {
public:
    TMMTimeStretch();
    ~TMMTimeStretch() override;

    // A change while playing is heard at once (see above).
    void SetSpeed(int percent);
    int Speed() const { return speed_.load(); }

    // Audio per device buffer, milliseconds (default 20).
    // Set while the chain is closed.
    int MaxChunkMs() const { return max_chunk_ms_; }
    void SetMaxChunkMs(int ms) { max_chunk_ms_ = ms < 1 ? 1 : ms; }

    // Frames of the source that the first `output_frames` frames since the
    // last Started or Reset stand for. Exact while passing through; within the
    // stretcher's window (some tens of milliseconds) while stretching.
    int64_t SourceFrames(int64_t output_frames) const;
    // The same in milliseconds at the chain's rate.
    int64_t SourceMs(int64_t output_ms) const;
    // Whether the stretcher is at work in this run (false: passing through).
    bool Stretching() const { return engaged_.load(); }
    // Frames handed on to the device since the last Started or Reset, less
    // those it gave back.
    int64_t HandedOn() const { return handed_.load(); }

    void Opened() override;
    void Closed() override;
    void Started() override;
    void WasReset() override;
    void BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) override;
    int64_t TakeBackLimit() override;
    void TakeBack(int64_t frames) override;

private:
    struct Checkpoint {
        std::atomic<int64_t> out{0}, src{0};
    };
    static constexpr int kCheckpoints = 2048;

    const TWaveFormatEx* ChainFormat() const;
    bool Supported() const;
    void Restart();
    size_t ChunkFrames() const;
    // One buffer's audio at the current speed; returns the source frames it
    // stands for. HandOn then counts it as given to the device.
    double Produce(TMMWaveHdr* hdr, bool& more);
    double PassThrough(TMMWaveHdr* hdr, bool& more);
    double Stretch(TMMWaveHdr* hdr, bool& more);
    void HandOn(TMMWaveHdr* hdr, double src_frames);
    // After a take-back: makes enough new audio ahead to find where it best
    // continues the old, fades it in there, and serves it in pieces.
    void Prime(TMMWaveHdr* hdr);
    void ServePending(TMMWaveHdr* hdr, bool& more);
    // Fades the seam's old audio into `frames` new ones at the best of the
    // first `search` offsets; returns that offset.
    size_t Splice(uint8_t* data, size_t frames, size_t search);
    // Pulls one buffer from the Input into the stretcher; false when it gave
    // nothing.
    bool Pull(TMMWaveHdr* hdr);
    // One buffer of the Input, at most `bytes`, into scratch_ (the loop
    // fields passed both ways); after a take-back, from the source kept.
    void Load(TMMWaveHdr* hdr, uint32_t bytes);
    // `frames` of PCM into the stretcher.
    void Feed(const uint8_t* data, size_t frames);
    void Mark(int64_t out_frames, int64_t src_frames);

    std::atomic<int> speed_{kSpeedNormal};
    int max_chunk_ms_ = 20;
    std::unique_ptr<soundtouch::SoundTouch> st_;

    // Refill side (one at a time).
    TWaveFormatEx format_{};
    bool format_ok_ = false;
    double tempo_ = 1.0;
    bool source_more_ = true;
    bool flushed_ = false;
    int64_t out_total_ = 0;   // frames handed on since Started/Reset
    double src_total_ = 0;    // source frames they stand for
    int64_t in_total_ = 0;    // source frames fed to the stretcher since it engaged
    std::vector<uint8_t> scratch_;  // one buffer of the Input
    // Passing through: what of scratch_ is still to be handed on.
    size_t carry_at_ = 0, carry_len_ = 0;
    bool carry_more_ = true;     // the Input has more after it
    bool carry_looped_ = false;  // it began the loop again: flag the next piece
    std::vector<float> in_f_, out_f_;
    TMMWaveHdr scratch_hdr_;

    // The last `frames` frames of a stream, by their absolute frame number.
    struct FrameRing {
        std::vector<uint8_t> bytes;
        int64_t frames = 1;
        size_t block = 1;
        void assign(int64_t count, size_t block_bytes);
        void write(int64_t at, const uint8_t* src, size_t n);
        void read(int64_t at, uint8_t* dst, size_t n) const;
    };
    // The source's frames as pulled (hist_end_ of them since Restart, the
    // last hist_.frames kept) and, after a take-back, where they are read
    // again from (replay_at_ < hist_end_).
    FrameRing hist_;
    int64_t hist_end_ = 0, replay_at_ = 0;
    bool input_more_ = true;
    // Kept-source frames at which a buffer that began the loop again began.
    static constexpr int kLoopMarks = 32;
    int64_t loop_at_[kLoopMarks] = {};
    uint64_t loop_count_ = 0;
    // The last frames handed on, for the seam's fade.
    FrameRing out_hist_;
    size_t lead_ = 0, fade_ = 0, search_max_ = 0;  // frames
    std::vector<uint8_t> seam_old_;
    size_t seam_len_ = 0;  // >0: a take-back waits for its fade
    // New audio made ahead at a seam and served from pend_at_.
    std::vector<uint8_t> pend_;
    size_t pend_at_ = 0, pend_len_ = 0;
    double pend_src_ = 0, pend_src_done_ = 0;
    bool pend_more_ = true, pend_looped_ = false;
    TMMWaveHdr pend_hdr_;
    double made_src_ = 0;        // source frames made into audio, handed on or not
    int64_t last_mark_src_ = 0;  // keeps the checkpoints' source frames rising
    std::atomic<int64_t> handed_{0};

    std::atomic<bool> engaged_{false};
    std::atomic<int> rate_{0};
    // Written by the refill, read by SourceFrames: (output, source) frame
    // pairs at the end of each buffer handed on.
    std::unique_ptr<Checkpoint[]> marks_;
    std::atomic<uint64_t> mark_count_{0};
};

}  // namespace murrel
