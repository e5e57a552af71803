#include "editor/gui/mmenhancedwavelink.h"

#include <algorithm>

namespace murrel {

void TMMEnhancedWaveLink::SetWave(TMMEnhancedWave* wave) {
    wave_ = wave;
    segments_.clear();
    start_offset_ = 0;
    loop_offset_ = 0;
    if (!wave_) return;
    wave_->SetTimeFormat(TMMTimeFormats::tfSample);
    if (!wave_->Opened()) wave_->OpenFile();
    wave_->RebuildFadeList();
    segments_ = wave_->PlayList().Items();
    wave_->SetPosition(0);
}

int64_t TMMEnhancedWaveLink::StreamLength() const {
    int64_t n = 0;
    for (const TMMCutRecord& s : segments_) n += s.length;
    return n;
}

int64_t TMMEnhancedWaveLink::StreamOffsetOf(int64_t frame) const {
    int64_t offset = 0;
    for (const TMMCutRecord& s : segments_) {
        if (frame < s.start) return offset;
        if (frame < s.end()) return offset + frame - s.start;
        offset += s.length;
    }
    return offset;
}

int64_t TMMEnhancedWaveLink::FrameAt(int64_t offset) const {
    if (segments_.empty()) return 0;
    for (const TMMCutRecord& s : segments_) {
        if (offset < s.length) return s.start + std::max<int64_t>(offset, 0);
        offset -= s.length;
    }
    return segments_.back().end();
}

void TMMEnhancedWaveLink::SetStreamPosition(int64_t offset) {
    start_offset_ = std::clamp<int64_t>(offset, 0, StreamLength());
    if (wave_ && wave_->Opened()) wave_->SetPosition(start_offset_);
}

void TMMEnhancedWaveLink::SetLoopStart(int64_t offset) {
    loop_offset_.store(std::clamp<int64_t>(offset, 0, std::max<int64_t>(StreamLength() - 1, 0)));
}

void TMMEnhancedWaveLink::WasReset() {
    TMMDSPComponent::WasReset();
    if (wave_ && wave_->Opened()) wave_->SetPosition(start_offset_);
}

void TMMEnhancedWaveLink::BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) {
    hdr->dwBytesRecorded = 0;
    if (!wave_ || !wave_->Opened()) {
        more_buffers = false;
        return;
    }
    auto* out = reinterpret_cast<uint8_t*>(hdr->lpData);
    // A looping device goes on from the loop start in a buffer of its
    // own: the device counts its position from the start of the buffer
    // marked as looped.
    if (wave_->BytesLeft() <= 0 && hdr->wh_looping != 0 && StreamLength() > 0) {
        wave_->SetPosition(loop_offset_.load());
        hdr->wh_looped = 1;
    }
    int64_t filled = 0;
    while (filled < int64_t(hdr->dwBufferLength) && wave_->BytesLeft() > 0) {
        const int64_t n = wave_->ReadData(out + filled, int64_t(hdr->dwBufferLength) - filled);
        if (n <= 0) break;
        filled += n;
    }
    hdr->dwBytesRecorded = static_cast<uint32_t>(filled);
    more_buffers = filled > 0 && (hdr->wh_looping != 0 || wave_->BytesLeft() > 0);
    if (OnBufferLoad) OnBufferLoad(this, hdr, more_buffers);
}

}  // namespace murrel
