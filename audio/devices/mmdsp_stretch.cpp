#include "audio/devices/mmdsp_stretch.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace murrel {

int clamp_speed(int percent) {
    percent = std::clamp(percent, kSpeedMin, kSpeedMax);
    return (percent + kSpeedStep / 2) / kSpeedStep * kSpeedStep;
}

TMMTimeStretch::TMMTimeStretch()
    : st_(std::make_unique<soundtouch::SoundTouch>()), marks_(new Checkpoint[kCheckpoints]) {
    // Dictation is speech: short sequences keep syllables crisp, and the full
    // seek (instead of the quick one) keeps the voice from warbling at 50 %.
    // The figures of the comparison benchmark were measured with these.
    st_->setSetting(SETTING_USE_QUICKSEEK, 0);
    st_->setSetting(SETTING_SEQUENCE_MS, 40);
    st_->setSetting(SETTING_SEEKWINDOW_MS, 15);
    st_->setSetting(SETTING_OVERLAP_MS, 8);
}

TMMTimeStretch::~TMMTimeStretch() = default;

const TWaveFormatEx* TMMTimeStretch::ChainFormat() const {
    if (const TWaveFormatEx* f = GetWaveFormat()) return f;
    return Output() ? Output()->GetWaveFormat() : nullptr;
}

bool TMMTimeStretch::Supported() const {
    return format_ok_;
}

void TMMTimeStretch::Opened() {
    TMMDSPComponent::Opened();
    const TWaveFormatEx* f = ChainFormat();
    format_ok_ = f && f->wFormatTag == WAVE_FORMAT_PCM && (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) &&
                 (f->nChannels == 1 || f->nChannels == 2) && f->nSamplesPerSec > 0 &&
                 f->nBlockAlign == f->nChannels * f->wBitsPerSample / 8;
    if (f) format_ = *f;
    rate_.store(f ? static_cast<int>(f->nSamplesPerSec) : 0);
    if (!format_ok_) return;
    st_->setChannels(format_.nChannels);
    st_->setSampleRate(format_.nSamplesPerSec);
    const size_t block = format_.nBlockAlign;
    const size_t bytes = std::max<size_t>(static_cast<size_t>(EffectiveBufferSize()), 4096) / block * block;
    scratch_.assign(bytes, 0);
    in_f_.assign(bytes / block * format_.nChannels, 0.0f);
    out_f_.assign(static_cast<size_t>(EffectiveBufferSize()) / block * format_.nChannels + format_.nChannels, 0.0f);
    Restart();
}

void TMMTimeStretch::Closed() {
    TMMDSPComponent::Closed();
    engaged_.store(false);
}

void TMMTimeStretch::Started() {
    TMMDSPComponent::Started();
    Restart();
}

void TMMTimeStretch::WasReset() {
    TMMDSPComponent::WasReset();
    Restart();
}

void TMMTimeStretch::Restart() {
    st_->clear();
    engaged_.store(false);
    source_more_ = true;
    flushed_ = false;
    out_total_ = 0;
    src_total_ = 0;
    in_total_ = 0;
    carry_at_ = carry_len_ = 0;
    carry_more_ = true;
    carry_looped_ = false;
    mark_count_.store(0);
}

void TMMTimeStretch::Mark(int64_t out_frames, int64_t src_frames) {
    uint64_t n = mark_count_.load(std::memory_order_relaxed);
    Checkpoint& c = marks_[n % kCheckpoints];
    c.out.store(out_frames, std::memory_order_relaxed);
    c.src.store(src_frames, std::memory_order_relaxed);
    mark_count_.store(n + 1, std::memory_order_release);
}

int64_t TMMTimeStretch::SourceFrames(int64_t output_frames) const {
    if (output_frames <= 0) return 0;
    const uint64_t n = mark_count_.load(std::memory_order_acquire);
    // The device holds at most a few hundred buffers: half the ring reaches
    // further back than anything it can still be playing.
    const uint64_t oldest = n > kCheckpoints / 2 ? n - kCheckpoints / 2 : 0;
    int64_t hi_out = -1, hi_src = 0;
    for (uint64_t i = n; i > oldest; --i) {
        const Checkpoint& c = marks_[(i - 1) % kCheckpoints];
        const int64_t o = c.out.load(std::memory_order_relaxed);
        const int64_t s = c.src.load(std::memory_order_relaxed);
        if (o <= output_frames) {
            if (hi_out < 0 || hi_out <= o) return s;  // beyond what was handed on: clamp
            return s + (hi_src - s) * (output_frames - o) / (hi_out - o);
        }
        hi_out = o;
        hi_src = s;
    }
    if (hi_out <= 0) return output_frames;  // nothing handed on yet
    return hi_src * output_frames / hi_out;
}

int64_t TMMTimeStretch::SourceMs(int64_t output_ms) const {
    const int rate = rate_.load();
    if (rate <= 0) return output_ms;
    return SourceFrames(output_ms * rate / 1000) * 1000 / rate;
}

void TMMTimeStretch::BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) {
    if (!Input()) {
        TMMDSPComponent::BufferLoad(hdr, more_buffers);
        return;
    }
    const int speed = speed_.load();
    if (!engaged_.load()) {
        if (speed == kSpeedNormal || !Supported()) {
            PassThrough(hdr, more_buffers);
            if (OnBufferLoad) OnBufferLoad(this, hdr, more_buffers);
            return;
        }
        st_->clear();
        // What passed through counts as consumed source.
        in_total_ = static_cast<int64_t>(src_total_);
        engaged_.store(true);
        // The rest of the buffer being handed on in pieces goes on stretched.
        source_more_ = carry_more_;
        if (carry_looped_) hdr->wh_looped = 1;
        carry_looped_ = false;
        if (carry_len_ > 0) Feed(scratch_.data() + carry_at_, carry_len_ / format_.nBlockAlign);
        carry_at_ = carry_len_ = 0;
    }
    Stretch(hdr, more_buffers);
    if (OnBufferLoad) OnBufferLoad(this, hdr, more_buffers);
}

void TMMTimeStretch::PassThrough(TMMWaveHdr* hdr, bool& more) {
    const int block = std::max<int>(format_.nBlockAlign, 1);
    if (!Supported()) {
        // Not ours to cut into pieces: the source's buffers go on as they are.
        Input()->BufferLoad(hdr, more);
    } else {
        // The source's buffer is handed on in pieces of MaxChunkMs, so that
        // the device's queue is as short at normal speed as while stretching
        // and a change of speed is heard as soon from 100 % as between others.
        if (carry_len_ == 0 && carry_more_) {
            Load(hdr, static_cast<uint32_t>(std::min<size_t>(scratch_.size(), hdr->dwBufferLength)));
            carry_at_ = 0;
            carry_len_ = std::min<size_t>(scratch_hdr_.dwBytesRecorded, scratch_.size()) / block * block;
        }
        const size_t cap = std::max<size_t>(format_.nSamplesPerSec * max_chunk_ms_ / 1000, 1) * block;
        const size_t n = std::min({carry_len_, cap, static_cast<size_t>(hdr->dwBufferLength) / block * block});
        std::memcpy(hdr->lpData, scratch_.data() + carry_at_, n);
        carry_at_ += n;
        carry_len_ -= n;
        hdr->dwBytesRecorded = static_cast<uint32_t>(n);
        if (carry_looped_) hdr->wh_looped = 1;
        carry_looped_ = false;
        more = carry_len_ > 0 || carry_more_;
    }
    const int64_t frames = std::min(hdr->dwBytesRecorded, hdr->dwBufferLength) / block;
    out_total_ += frames;
    src_total_ += static_cast<double>(frames);
    Mark(out_total_, static_cast<int64_t>(src_total_));
}

void TMMTimeStretch::Load(TMMWaveHdr* hdr, uint32_t bytes) {
    TMMWaveHdr& s = scratch_hdr_;
    s.lpData = reinterpret_cast<char*>(scratch_.data());
    s.dwBufferLength = bytes;
    s.dwBytesRecorded = 0;
    s.wh_looping = hdr->wh_looping;
    s.wh_loop_count = hdr->wh_loop_count;
    s.wh_loops_left = hdr->wh_loops_left;
    s.wh_looped = 0;
    bool more = true;
    Input()->BufferLoad(&s, more);
    carry_more_ = source_more_ = more;
    hdr->wh_loops_left = s.wh_loops_left;
    if (s.wh_looped) carry_looped_ = true;
}

void TMMTimeStretch::Feed(const uint8_t* data, size_t frames) {
    if (frames == 0) return;
    const size_t values = frames * format_.nChannels;
    if (format_.wBitsPerSample == 16) {
        for (size_t i = 0; i < values; ++i) {
            int16_t v;
            std::memcpy(&v, data + i * 2, sizeof v);
            in_f_[i] = static_cast<float>(v) * (1.0f / 32768.0f);
        }
    } else {
        for (size_t i = 0; i < values; ++i) in_f_[i] = (static_cast<float>(data[i]) - 128.0f) * (1.0f / 128.0f);
    }
    st_->putSamples(in_f_.data(), static_cast<unsigned>(frames));
    in_total_ += static_cast<int64_t>(frames);
}

bool TMMTimeStretch::Pull(TMMWaveHdr* hdr) {
    Load(hdr, static_cast<uint32_t>(scratch_.size()));
    if (carry_looped_) hdr->wh_looped = 1;
    carry_looped_ = false;
    const size_t frames = std::min<size_t>(scratch_hdr_.dwBytesRecorded, scratch_.size()) / format_.nBlockAlign;
    if (frames == 0) return false;
    Feed(scratch_.data(), frames);
    return true;
}

void TMMTimeStretch::Stretch(TMMWaveHdr* hdr, bool& more) {
    const double tempo = speed_.load() / 100.0;
    if (tempo != tempo_) {
        tempo_ = tempo;
        st_->setTempo(tempo);
    }
    const size_t block = format_.nBlockAlign;
    const size_t channels = format_.nChannels;
    size_t cap = std::min<size_t>(hdr->dwBufferLength / block,
                                  std::max<size_t>(format_.nSamplesPerSec * max_chunk_ms_ / 1000, 1));
    cap = std::min(cap, out_f_.size() / channels);
    size_t produced = 0;
    // After the flush the stretcher pads with silence to empty its window:
    // the stream ends where the source's last frame is, not after the pad.
    auto room = [&] {
        if (!flushed_) return cap;
        const double left = (static_cast<double>(in_total_) - src_total_) / tempo - static_cast<double>(produced);
        return std::min(cap, produced + static_cast<size_t>(std::max(left, 0.0)));
    };
    while (produced < room()) {
        const unsigned got = st_->receiveSamples(out_f_.data(), static_cast<unsigned>(room() - produced));
        if (got > 0) {
            uint8_t* dst = reinterpret_cast<uint8_t*>(hdr->lpData) + produced * block;
            const size_t values = got * channels;
            if (format_.wBitsPerSample == 16) {
                for (size_t i = 0; i < values; ++i) {
                    const float x = std::clamp(out_f_[i] * 32768.0f, -32768.0f, 32767.0f);
                    const auto v = static_cast<int16_t>(std::lrint(x));
                    std::memcpy(dst + i * 2, &v, sizeof v);
                }
            } else {
                for (size_t i = 0; i < values; ++i)
                    dst[i] = static_cast<uint8_t>(std::lrint(std::clamp(out_f_[i] * 128.0f + 128.0f, 0.0f, 255.0f)));
            }
            produced += got;
            continue;
        }
        if (source_more_) {
            // A source that says there is more yet gives nothing would spin
            // here: hand on what there is and let the device judge.
            if (!Pull(hdr) && source_more_) break;
            continue;
        }
        if (!flushed_) {
            st_->flush();
            flushed_ = true;
            continue;
        }
        break;
    }
    hdr->dwBytesRecorded = static_cast<uint32_t>(produced * block);
    more = source_more_ || !flushed_ || (st_->numSamples() > 0 && produced == cap);
    if (produced == 0 && !source_more_) more = false;
    out_total_ += static_cast<int64_t>(produced);
    src_total_ += static_cast<double>(produced) * tempo;
    Mark(out_total_, static_cast<int64_t>(src_total_));
}

}  // namespace murrel
