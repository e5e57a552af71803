#pragma once
// TMMEnhancedWaveLink: the editor's working wave as the first link of the
// output chain. It fills the device's buffers from the wave's play list (its
// cuts skipped, its envelope applied by the wave), rewinds on the device's
// Reset, and when the device loops it starts the next buffer at the play
// list's start and marks that buffer as looped so that OnLooping fires.
//
// Threads: SetWave, SetStreamPosition, SetLoopStart and the segment queries on the
// user-interface thread while the device is closed or paused; BufferLoad on
// the device's refill thread. The segments are a copy taken on the
// user-interface thread, so the locator's arithmetic never touches the wave.
#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/devices/mmdsp.h"
#include "audio/formats/mmwave_cutlist.h"
#include "editor/mmenhancedwave.h"

namespace murrel {

class TMMEnhancedWaveLink : public TMMDSPComponent {
public:
    // Not owned. Opens the wave when needed, takes a copy of its play list
    // and puts the wave at the list's start. nullptr detaches.
    void SetWave(TMMEnhancedWave* wave);
    TMMEnhancedWave* Wave() const { return wave_; }

    // The play list's segments in file frames, as copied by SetWave.
    const std::vector<TMMCutRecord>& Segments() const { return segments_; }
    int64_t StreamLength() const;
    // Stream offset of file frame `frame`: frames inside a cut count as the
    // start of the next segment, frames past the end as the end.
    int64_t StreamOffsetOf(int64_t frame) const;
    // File frame reached after `offset` frames of the stream.
    int64_t FrameAt(int64_t offset) const;

    // Where the next buffer starts, in stream frames; also where a Reset
    // rewinds to.
    void SetStreamPosition(int64_t offset);
    int64_t StreamStart() const { return start_offset_; }
    // Where a looping device goes on after the end, in stream frames (0 unless
    // set; SetWave resets it).
    void SetLoopStart(int64_t offset);
    int64_t LoopStart() const { return loop_offset_.load(); }

    void BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) override;
    void WasReset() override;

private:
    TMMEnhancedWave* wave_ = nullptr;
    std::vector<TMMCutRecord> segments_;
    int64_t start_offset_ = 0;
    std::atomic<int64_t> loop_offset_{0};  // read by the refill thread
};

}  // namespace murrel
