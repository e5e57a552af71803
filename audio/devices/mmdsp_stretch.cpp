#include "audio/devices/mmdsp_stretch.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace murrel {

namespace {

// Copies `frames` frames between `flat` and the ring at absolute frame `at`,
// in as many pieces as the ring's end cuts them into.
template <typename Copy>
void ring_pieces(int64_t cap, size_t block, int64_t at, size_t frames, Copy copy) {
    size_t done = 0;
    while (done < frames) {
        const size_t pos = static_cast<size_t>((at + static_cast<int64_t>(done)) % cap);
        const size_t n = std::min(frames - done, static_cast<size_t>(cap) - pos);
        copy(pos * block, done * block, n * block);
        done += n;
    }
}

float sample_at(const uint8_t* data, size_t i, int bits) {
    if (bits == 16) {
        int16_t v;
        std::memcpy(&v, data + i * 2, sizeof v);
        return static_cast<float>(v);
    }
    return (static_cast<float>(data[i]) - 128.0f) * 256.0f;
}

void put_sample(uint8_t* data, size_t i, int bits, float x) {
    if (bits == 16) {
        const auto v = static_cast<int16_t>(std::lrint(std::clamp(x, -32768.0f, 32767.0f)));
        std::memcpy(data + i * 2, &v, sizeof v);
    } else {
        data[i] = static_cast<uint8_t>(std::lrint(std::clamp(x / 256.0f + 128.0f, 0.0f, 255.0f)));
    }
}

// How much is kept. The device gives back at most about a second; the source
// kept reaches back that second at double speed, plus what the stretcher and
// one source buffer hold ahead.
constexpr int kOutKeptMs = 1000;
constexpr int kSourceKeptMs = 2 * kOutKeptMs + 500;
// At a seam the new audio starts this far before the old one's source point
// and is matched to the old within twice that (at the new tempo), then faded
// in over kFadeMs.
constexpr int kLeadMs = 10;
constexpr int kFadeMs = 5;

}  // namespace

void TMMTimeStretch::FrameRing::assign(int64_t count, size_t block_bytes) {
    frames = std::max<int64_t>(count, 1);
    block = block_bytes;
    bytes.assign(static_cast<size_t>(frames) * block, 0);
}

void TMMTimeStretch::FrameRing::write(int64_t at, const uint8_t* src, size_t n) {
    ring_pieces(frames, block, at, n, [&](size_t ring, size_t flat, size_t len) {
        std::memcpy(bytes.data() + ring, src + flat, len);
    });
}

void TMMTimeStretch::FrameRing::read(int64_t at, uint8_t* dst, size_t n) const {
    ring_pieces(frames, block, at, n, [&](size_t ring, size_t flat, size_t len) {
        std::memcpy(dst + flat, bytes.data() + ring, len);
    });
}

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

void TMMTimeStretch::SetSpeed(int percent) {
    const int s = clamp_speed(percent);
    if (speed_.exchange(s) != s) TMMDSPComponent::Requeue();
}

size_t TMMTimeStretch::ChunkFrames() const {
    return std::max<size_t>(static_cast<size_t>(format_.nSamplesPerSec) * max_chunk_ms_ / 1000, 1);
}

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
    const size_t rate = format_.nSamplesPerSec;
    hist_.assign(static_cast<int64_t>(rate * kSourceKeptMs / 1000 + bytes / block), block);
    lead_ = std::max<size_t>(rate * kLeadMs / 1000, 1);
    fade_ = std::max<size_t>(rate * kFadeMs / 1000, 1);
    if (in_f_.size() < fade_ * format_.nChannels) in_f_.resize(fade_ * format_.nChannels);  // the seam's old side
    out_hist_.assign(static_cast<int64_t>(rate * kOutKeptMs / 1000 + fade_), block);
    seam_old_.assign(fade_ * block, 0);
    // Twice the lead at the slowest tempo, the fade, and one more piece.
    search_max_ = static_cast<size_t>(2 * lead_ * 100 / kSpeedMin);
    pend_.assign((search_max_ + fade_ + ChunkFrames() + 1) * block, 0);
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
    hist_end_ = replay_at_ = 0;
    input_more_ = true;
    loop_count_ = 0;
    seam_len_ = 0;
    pend_at_ = pend_len_ = 0;
    pend_src_ = pend_src_done_ = 0;
    made_src_ = 0;
    last_mark_src_ = 0;
    handed_.store(0);
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
    if (format_ok_ && seam_len_ > 0) Prime(hdr);
    if (pend_at_ < pend_len_) ServePending(hdr, more_buffers);
    else HandOn(hdr, Produce(hdr, more_buffers));
    if (OnBufferLoad) OnBufferLoad(this, hdr, more_buffers);
}

double TMMTimeStretch::Produce(TMMWaveHdr* hdr, bool& more) {
    if (!engaged_.load()) {
        if (speed_.load() == kSpeedNormal || !Supported()) return PassThrough(hdr, more);
        st_->clear();
        // What passed through counts as consumed source.
        in_total_ = static_cast<int64_t>(made_src_);
        engaged_.store(true);
        // The rest of the buffer being handed on in pieces goes on stretched.
        source_more_ = carry_more_;
        if (carry_looped_) hdr->wh_looped = 1;
        carry_looped_ = false;
        if (carry_len_ > 0) Feed(scratch_.data() + carry_at_, carry_len_ / format_.nBlockAlign);
        carry_at_ = carry_len_ = 0;
    }
    return Stretch(hdr, more);
}

void TMMTimeStretch::HandOn(TMMWaveHdr* hdr, double src_frames) {
    const size_t block = std::max<size_t>(format_.nBlockAlign, 1);
    const size_t n = std::min(hdr->dwBytesRecorded, hdr->dwBufferLength) / block;
    if (format_ok_ && n > 0)
        out_hist_.write(out_total_, reinterpret_cast<const uint8_t*>(hdr->lpData), n);
    out_total_ += static_cast<int64_t>(n);
    src_total_ += src_frames;
    last_mark_src_ = std::max(last_mark_src_, static_cast<int64_t>(src_total_));
    Mark(out_total_, last_mark_src_);
    handed_.store(out_total_);
}

int64_t TMMTimeStretch::TakeBackLimit() {
    if (!format_ok_ || !Input()) return 0;
    return out_hist_.frames - static_cast<int64_t>(fade_);
}

void TMMTimeStretch::TakeBack(int64_t frames) {
    frames = std::min({frames, out_total_, TakeBackLimit()});
    if (frames <= 0) return;
    const int64_t out = out_total_ - frames;
    const int64_t src = SourceFrames(out);
    // What would have followed the cut: the new audio is faded in from it.
    seam_len_ = std::min(static_cast<size_t>(frames), fade_);
    out_hist_.read(out, seam_old_.data(), seam_len_);
    // Checkpoints past the cut are forgotten. A reader in between may read
    // one stale pair: a position some milliseconds off, once.
    uint64_t n = mark_count_.load(std::memory_order_relaxed);
    const uint64_t floor = n > kCheckpoints / 2 ? n - kCheckpoints / 2 : 0;
    while (n > floor && marks_[(n - 1) % kCheckpoints].out.load(std::memory_order_relaxed) > out) --n;
    mark_count_.store(n, std::memory_order_release);
    Mark(out, src);
    last_mark_src_ = src;
    out_total_ = out;
    handed_.store(out);
    // The source is made again from a little before that point (kept frames
    // only), so that the seam can be matched on both sides of it.
    const int64_t oldest = std::max<int64_t>(0, hist_end_ - hist_.frames);
    const int64_t from = std::clamp<int64_t>(src - static_cast<int64_t>(lead_), oldest, hist_end_);
    replay_at_ = from;
    src_total_ = made_src_ = static_cast<double>(from);
    st_->clear();
    engaged_.store(false);
    flushed_ = false;
    carry_at_ = carry_len_ = 0;
    carry_looped_ = false;
    carry_more_ = source_more_ = replay_at_ < hist_end_ || input_more_;
    pend_at_ = pend_len_ = 0;
    pend_src_ = pend_src_done_ = 0;
}

void TMMTimeStretch::Prime(TMMWaveHdr* hdr) {
    const size_t block = format_.nBlockAlign;
    const size_t search = std::min(search_max_, static_cast<size_t>(2 * lead_ * 100 / std::max(speed_.load(), 1)));
    const size_t need = search + seam_len_;
    const size_t cap = pend_.size() / block;
    pend_at_ = pend_len_ = 0;
    pend_src_ = pend_src_done_ = 0;
    pend_more_ = true;
    pend_looped_ = false;
    while (pend_len_ < need && pend_more_ && pend_len_ < cap) {
        TMMWaveHdr& p = pend_hdr_;
        p.lpData = reinterpret_cast<char*>(pend_.data() + pend_len_ * block);
        p.dwBufferLength = static_cast<uint32_t>((cap - pend_len_) * block);
        p.dwBytesRecorded = 0;
        p.wh_looping = hdr->wh_looping;
        p.wh_loop_count = hdr->wh_loop_count;
        p.wh_loops_left = hdr->wh_loops_left;
        p.wh_looped = 0;
        bool more = true;
        pend_src_ += Produce(&p, more);
        hdr->wh_loops_left = p.wh_loops_left;
        if (p.wh_looped) pend_looped_ = true;
        const size_t got = std::min(p.dwBytesRecorded, p.dwBufferLength) / block;
        pend_len_ += got;
        pend_more_ = more;
        if (got == 0) break;  // nothing yet: the seam is made with what there is
    }
    pend_at_ = Splice(pend_.data(), pend_len_, search);
}

void TMMTimeStretch::ServePending(TMMWaveHdr* hdr, bool& more) {
    const size_t block = format_.nBlockAlign;
    const size_t n = std::min({ChunkFrames(), static_cast<size_t>(hdr->dwBufferLength) / block, pend_len_ - pend_at_});
    std::memcpy(hdr->lpData, pend_.data() + pend_at_ * block, n * block);
    hdr->dwBytesRecorded = static_cast<uint32_t>(n * block);
    pend_at_ += n;
    if (pend_looped_) hdr->wh_looped = 1;
    pend_looped_ = false;
    // The frames cut off before the seam count with the first piece.
    const double done = pend_src_ * static_cast<double>(pend_at_) / static_cast<double>(pend_len_);
    const double src = done - pend_src_done_;
    pend_src_done_ = done;
    more = pend_at_ < pend_len_ || pend_more_;
    if (pend_at_ >= pend_len_) pend_at_ = pend_len_ = 0;
    HandOn(hdr, src);
}

size_t TMMTimeStretch::Splice(uint8_t* data, size_t frames, size_t search) {
    const size_t f = std::min(seam_len_, frames);
    seam_len_ = 0;
    if (f == 0) return 0;
    const size_t ch = format_.nChannels;
    const int bits = format_.wBitsPerSample;
    const size_t kmax = std::min(search, frames - f);
    std::vector<float>& old = in_f_;  // free between refills, and long enough
    double e_old = 0;
    for (size_t j = 0; j < f * ch; ++j) {
        old[j] = sample_at(seam_old_.data(), j, bits);
        e_old += double(old[j]) * old[j];
    }
    // Where the old source point should fall in the new audio, failing a
    // better match (silence matches anywhere).
    size_t best_k = std::min(kmax, static_cast<size_t>(lead_ * 100 / std::max(speed_.load(), 1)));
    if (e_old > double(f * ch)) {
        double best = -2;
        for (size_t k = 0; k <= kmax; ++k) {
            double c = 0, e_new = 0;
            for (size_t j = 0; j < f * ch; ++j) {
                const double x = sample_at(data, k * ch + j, bits);
                c += old[j] * x;
                e_new += x * x;
            }
            const double score = c / std::sqrt(e_old * e_new + 1.0);
            if (score > best) {
                best = score;
                best_k = k;
            }
        }
    }
    for (size_t i = 0; i < f; ++i) {
        const float w = (static_cast<float>(i) + 0.5f) / static_cast<float>(f);
        for (size_t c = 0; c < ch; ++c) {
            const size_t at = (best_k + i) * ch + c;
            put_sample(data, at, bits, old[i * ch + c] * (1.0f - w) + sample_at(data, at, bits) * w);
        }
    }
    return best_k;
}

double TMMTimeStretch::PassThrough(TMMWaveHdr* hdr, bool& more) {
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
    const double frames = std::min(hdr->dwBytesRecorded, hdr->dwBufferLength) / block;
    made_src_ += frames;
    return frames;
}

void TMMTimeStretch::Load(TMMWaveHdr* hdr, uint32_t bytes) {
    TMMWaveHdr& s = scratch_hdr_;
    const size_t block = format_.nBlockAlign;
    s.lpData = reinterpret_cast<char*>(scratch_.data());
    s.dwBufferLength = bytes;
    s.dwBytesRecorded = 0;
    s.wh_looping = hdr->wh_looping;
    s.wh_loop_count = hdr->wh_loop_count;
    s.wh_loops_left = hdr->wh_loops_left;
    s.wh_looped = 0;
    if (replay_at_ < hist_end_) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(bytes / block, hist_end_ - replay_at_));
        hist_.read(replay_at_, scratch_.data(), n);
        for (uint64_t i = loop_count_ > kLoopMarks ? loop_count_ - kLoopMarks : 0; i < loop_count_; ++i) {
            const int64_t at = loop_at_[i % kLoopMarks];
            if (at >= replay_at_ && at < replay_at_ + static_cast<int64_t>(n)) carry_looped_ = true;
        }
        replay_at_ += static_cast<int64_t>(n);
        s.dwBytesRecorded = static_cast<uint32_t>(n * block);
        carry_more_ = source_more_ = replay_at_ < hist_end_ || input_more_;
        return;
    }
    if (!input_more_) {
        carry_more_ = source_more_ = false;
        return;
    }
    bool more = true;
    Input()->BufferLoad(&s, more);
    input_more_ = carry_more_ = source_more_ = more;
    hdr->wh_loops_left = s.wh_loops_left;
    const size_t n = std::min<size_t>(s.dwBytesRecorded, scratch_.size()) / block;
    if (s.wh_looped) {
        carry_looped_ = true;
        loop_at_[loop_count_++ % kLoopMarks] = hist_end_;
    }
    hist_.write(hist_end_, scratch_.data(), n);
    hist_end_ += static_cast<int64_t>(n);
    replay_at_ = hist_end_;
}

void TMMTimeStretch::Feed(const uint8_t* data, size_t frames) {
    if (frames == 0) return;
    const size_t values = frames * format_.nChannels;
    for (size_t i = 0; i < values; ++i) in_f_[i] = sample_at(data, i, format_.wBitsPerSample) * (1.0f / 32768.0f);
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

double TMMTimeStretch::Stretch(TMMWaveHdr* hdr, bool& more) {
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
        const double left = (static_cast<double>(in_total_) - made_src_) / tempo - static_cast<double>(produced);
        return std::min(cap, produced + static_cast<size_t>(std::max(left, 0.0)));
    };
    while (produced < room()) {
        const unsigned got = st_->receiveSamples(out_f_.data(), static_cast<unsigned>(room() - produced));
        if (got > 0) {
            uint8_t* dst = reinterpret_cast<uint8_t*>(hdr->lpData) + produced * block;
            const size_t values = got * channels;
            for (size_t i = 0; i < values; ++i) put_sample(dst, i, format_.wBitsPerSample, out_f_[i] * 32768.0f);
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
    const double src = static_cast<double>(produced) * tempo;
    made_src_ += src;
    return src;
}

}  // namespace murrel
