#include "editor/mmenhancedwave.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/pcmconvert.h"

namespace murrel {

namespace {

// File frames a data chunk of `bytes` holds: whole blocks times the frames
// each decodes to. The codec's own block layout counts, not the byte rate of
// the "fmt " chunk, which is only approximate for ADPCM.
std::optional<int64_t> decoded_frames(const TWaveFormatEx& f, int64_t bytes) {
    if (f.wFormatTag == WAVE_FORMAT_PCM && f.nBlockAlign > 0 &&
        (f.wBitsPerSample == 8 || f.wBitsPerSample == 16))
        return bytes / f.nBlockAlign;
    AcmSourceFormat s{f.wFormatTag, f.nChannels, f.nSamplesPerSec, f.nAvgBytesPerSec,
                      f.nBlockAlign, f.wBitsPerSample, f.extra};
    auto codec = AcmCodecStream::Open(s);
    if (!codec) return std::nullopt;
    return bytes / codec->block_bytes() * codec->frames_per_block();
}

inline int32_t clamp_gain(int32_t g) { return std::max(g, 0); }

}  // namespace

TMMEnhancedWave::TMMEnhancedWave() = default;
TMMEnhancedWave::~TMMEnhancedWave() {
    // The base destructor cannot reach our hooks any more; close while it can.
    try {
        CloseFile();
    } catch (...) {
    }
}

void TMMEnhancedWave::Assign(const TMMWave& source) {
    TMMWave::Assign(source);
    if (const auto* other = dynamic_cast<const TMMEnhancedWave*>(&source))
        marker_list_ = other->marker_list_;
}

// ---------------------------------------------------------------------------
// Formats

void TMMEnhancedWave::SetOutputFormat(const TWaveFormatEx* format) {
    const bool reopen = Opened();
    if (reopen) CloseFile();
    BeginUpdate();
    explicit_output_ = format && format->wFormatTag == WAVE_FORMAT_PCM;
    if (explicit_output_) output_format_ = *format;
    ChooseOutputFormat();
    InvalidatePlayList();
    EndUpdate();
    if (reopen) OpenFile();
}

void TMMEnhancedWave::ChooseOutputFormat() {
    display_format_.reset();
    if (explicit_output_) return;
    const TWaveFormatEx* file = FileFormat();
    output_format_.reset();
    if (file) output_format_ = SuggestPCM(*file);
}

const TWaveFormatEx* TMMEnhancedWave::EffectiveFormat() const {
    const TWaveFormatEx* file = FileFormat();
    if (!file) return nullptr;
    return output_format_ ? &*output_format_ : file;
}

const TWaveFormatEx* TMMEnhancedWave::DisplayFormat() const {
    const TWaveFormatEx* eff = EffectiveFormat();
    if (!eff) return nullptr;
    if (!display_format_)
        display_format_ = MakePCMFormat(eff->wBitsPerSample, FileFormat()->nChannels,
                                        eff->nSamplesPerSec);
    return &*display_format_;
}

int64_t TMMEnhancedWave::ToStreamFrames(int64_t frames) const {
    const TWaveFormatEx* file = FileFormat();
    const TWaveFormatEx* out = EffectiveFormat();
    if (!file || !out || file->nSamplesPerSec == out->nSamplesPerSec || file->nSamplesPerSec == 0 ||
        out->nSamplesPerSec == 0)
        return frames;
    // The quotient is the larger rate over the smaller one, as stored
    // documents were positioned with it.
    if (out->nSamplesPerSec > file->nSamplesPerSec)
        return int64_t(std::nearbyint(frames * (double(out->nSamplesPerSec) / file->nSamplesPerSec)));
    return int64_t(std::nearbyint(frames / (double(file->nSamplesPerSec) / out->nSamplesPerSec)));
}

int64_t TMMEnhancedWave::FromStreamFrames(int64_t frames) const {
    const TWaveFormatEx* file = FileFormat();
    const TWaveFormatEx* out = EffectiveFormat();
    if (!file || !out || file->nSamplesPerSec == out->nSamplesPerSec || file->nSamplesPerSec == 0 ||
        out->nSamplesPerSec == 0)
        return frames;
    if (out->nSamplesPerSec > file->nSamplesPerSec)
        return int64_t(std::nearbyint(frames / (double(out->nSamplesPerSec) / file->nSamplesPerSec)));
    return int64_t(std::nearbyint(frames * (double(file->nSamplesPerSec) / out->nSamplesPerSec)));
}

// ---------------------------------------------------------------------------
// Attaching, opening, closing

void TMMEnhancedWave::SetFileName(const std::string& path) {
    TMMWave::SetFileName(path);
    if (!Block()) {
        ChooseOutputFormat();
        ResetSourceFades();
    }
}

void TMMEnhancedWave::OnFileAttached() {
    ChooseOutputFormat();
    // The base counted the data in output-format bytes; a document counts
    // file frames.
    if (WaveIOBlock* b = Block()) {
        if (auto frames = decoded_frames(b->format, b->data_bytes)) {
            b->sample_count = *frames;
            b->last_sample = *frames;
            b->current_sample = 0;
            end_pos_ = *frames;
        }
    }
    InvalidatePlayList();
    ResetSourceFades();
}

void TMMEnhancedWave::ResetSourceFades() {
    source_fades_.BeginUpdate();
    source_fades_.Clear();
    const WaveIOBlock* b = Block();
    if (b && b->sample_count > 0) {
        source_fades_.AddPoint(0, kUnityGain);
        source_fades_.AddPoint(b->sample_count, kUnityGain);
    }
    source_fades_.EndUpdate();
}

void TMMEnhancedWave::OpenFile() {
    if (Opened()) {
        TMMWave::OpenFile();
        return;
    }
    const TWaveFormatEx* file = FileFormat();
    const TWaveFormatEx* out = EffectiveFormat();
    // A file that is not PCM and that no codec reads is converted by an
    // absent converter: it delivers nothing rather than its raw bytes.
    converting_ = file && out && (FormatsDiffer(file, out) || file->wFormatTag != WAVE_FORMAT_PCM);
    convert_ended_ = false;
    skip_bytes_ = 0;
    chain_.reset();
    if (converting_) {
        // Room for at least one source block, however large the codec's.
        const int32_t size = std::max<int32_t>(kSourceBlock, file->nBlockAlign);
        source_buffer_.assign(size_t(size), 0);
        if (FormatsDiffer(file, out))
            chain_ = OpenChain(*file, *out, source_buffer_.data(), false, size);
        if (chain_ && !chain_->stages.empty()) {
            const AcmStage& first = chain_->stages.front();
            unit_bytes_ = first.unit;
            frames_per_unit_ = first.codec ? first.codec->frames_per_block() : 1;
        }
    }
    try {
        TMMWave::OpenFile();
    } catch (...) {
        chain_.reset();
        converting_ = false;
        throw;
    }
    RebuildFadeList();
}

void TMMEnhancedWave::CloseFile() {
    struct Release {
        TMMEnhancedWave& w;
        ~Release() {
            w.chain_.reset();
            w.source_buffer_.clear();
            w.converting_ = false;
        }
    } release{*this};
    TMMWave::CloseFile();
}

// ---------------------------------------------------------------------------
// Reading through the converter

int64_t TMMEnhancedWave::ReadRaw(void* buffer, int64_t n) {
    if (!converting_) return TMMWave::ReadRaw(buffer, n);
    // No codec reads this file: it delivers nothing.
    if (!chain_) return 0;
    return ReadConverted(static_cast<uint8_t*>(buffer), n);
}

int64_t TMMEnhancedWave::ReadConverted(uint8_t* out, int64_t n) {
    int64_t got = 0;
    while (got < n) {
        const int64_t avail = chain_->out_bytes - chain_->read_offset;
        if (avail > 0) {
            const uint8_t* from = chain_->output() + chain_->read_offset;
            if (skip_bytes_ > 0) {
                const int64_t d = std::min(avail, skip_bytes_);
                chain_->read_offset += int32_t(d);
                skip_bytes_ -= d;
                continue;
            }
            const int64_t c = std::min(avail, n - got);
            std::memcpy(out + got, from, size_t(c));
            chain_->read_offset += int32_t(c);
            got += c;
            continue;
        }
        if (convert_ended_ || !RefillConverter()) break;
    }
    return got;
}

bool TMMEnhancedWave::RefillConverter() {
    WaveIOBlock* b = Block();
    if (!b) return false;
    const int64_t left = b->data_offset + b->data_bytes - b->handle.tell();
    if (left <= 0) {
        convert_ended_ = true;
        return false;
    }
    const int64_t want = std::min<int64_t>(chain_->input_capacity, left);
    const int64_t r = b->handle.read(chain_->input, want);
    if (r <= 0) {
        convert_ended_ = true;
        return false;
    }
    const bool last = r >= left;
    const int32_t out = last ? ChainConvertEnd(*chain_, int32_t(r)) : ChainConvert(*chain_, int32_t(r));
    if (last) convert_ended_ = true;
    if (out < 0) {
        convert_ended_ = true;
        return false;
    }
    return true;
}

bool TMMEnhancedWave::SeekRaw(int64_t stream_byte) {
    if (!converting_) return TMMWave::SeekRaw(stream_byte);
    WaveIOBlock* b = Block();
    if (!b) return false;
    skip_bytes_ = 0;
    if (!chain_) return true;
    const int64_t align = std::max<int64_t>(1, EffectiveFormat()->nBlockAlign);
    const int64_t stream_frame = std::max<int64_t>(0, stream_byte / align);
    // Decoding restarts at the source unit holding the target; what it
    // delivers before the target is dropped.
    int64_t unit = FromStreamFrames(stream_frame) / frames_per_unit_;
    unit = std::clamp<int64_t>(unit, 0, b->data_bytes / unit_bytes_);
    ChainReset(*chain_);
    convert_ended_ = false;
    if (!b->handle.seek(b->data_offset + unit * unit_bytes_)) return false;
    skip_bytes_ = std::max<int64_t>(0, (stream_frame - ToStreamFrames(unit * frames_per_unit_)) * align);
    return true;
}

// ---------------------------------------------------------------------------
// Gain

void TMMEnhancedWave::RebuildFadeList() {
    fade_list_.BeginUpdate();
    fade_list_.Clear();
    const WaveIOBlock* b = Block();
    if (source_fades_.Count() > 0 && b && b->sample_count > 0 &&
        TimeFormat() == TMMTimeFormats::tfSample) {
        auto add = [this](int64_t stream_frame, int32_t gain) {
            fade_list_.AddPoint(SamplesToBytes(stream_frame), clamp_gain(gain));
        };
        auto source_gain = [this](int64_t stream_frame) {
            return source_fades_.InterpolatedGain(FromStreamFrames(stream_frame));
        };
        int64_t streamed = 0;
        for (const TMMCutRecord& seg : PlayList().Items()) {
            const int64_t a = seg.start, l = seg.length;
            const int64_t gap = a - streamed;
            add(a - gap, source_gain(a));
            for (const TMMFadeRecord& p : source_fades_.Items()) {
                const int64_t at = ToStreamFrames(p.position);
                if (at > a && at < a + l) add(at - gap, p.value);
            }
            add(a + l - 1 - gap, source_gain(a + l));
            streamed += l;
        }
        add(ToStreamFrames(b->sample_count), 0);
    }
    fade_list_.EndUpdate();
    SyncCursor();
}

void TMMEnhancedWave::PositionChanged() { SyncCursor(); }

void TMMEnhancedWave::SyncCursor() {
    TMMFadeCursor& c = fade_list_.cursor;
    c.byte_pos = Block() ? SamplesToBytes(ToStreamFrames(position_)) : 0;
    c.index = std::max<int64_t>(fade_list_.InsertionIndex(c.byte_pos), 0);
    c.gain_left = c.gain_right = fade_list_.InterpolatedGain(c.byte_pos);
}

void TMMEnhancedWave::ProcessReadData(void* buffer, int64_t n) {
    const TWaveFormatEx* f = EffectiveFormat();
    if (fade_list_.Count() > 1 && f && f->wFormatTag == WAVE_FORMAT_PCM &&
        (f->wBitsPerSample == 8 || f->wBitsPerSample == 16))
        ApplyGain(static_cast<uint8_t*>(buffer), n);
    TMMFadeCursor& c = fade_list_.cursor;
    c.byte_pos += n;
    c.index = std::max<int64_t>(fade_list_.InsertionIndex(c.byte_pos), 0);
}

namespace {

// Gain over one span of frames, from (g0l, g0r) at frame f0 to (g1l, g1r) at
// frame f1, applied to frames [from, to) of `p` (which starts at frame
// `from`). Gains step per frame in 16.16 fixed point.
template <typename Sample>
bool gain_span(uint8_t* p, int64_t from, int64_t to, int channels, int64_t f0, int64_t f1,
               int32_t g0l, int32_t g1l, int32_t g0r, int32_t g1r) {
    constexpr bool k16 = sizeof(Sample) == 2;
    const int64_t frames = to - from;
    const int64_t width = std::max<int64_t>(1, f1 - f0);
    const int64_t step_l = (int64_t(g1l - g0l) << 16) / width;
    const int64_t step_r = (int64_t(g1r - g0r) << 16) / width;
    int64_t acc_l = (int64_t(g0l) << 16) + step_l * (from - f0);
    int64_t acc_r = (int64_t(g0r) << 16) + step_r * (from - f0);
    bool clip = false;
    auto apply = [&clip](uint8_t* s, int64_t g) {
        if constexpr (k16) {
            int16_t x;
            std::memcpy(&x, s, 2);
            int64_t v = (int64_t(x) * g) >> 14;
            if (v > 32767) v = 32767, clip = true;
            else if (v < -32768) v = -32768, clip = true;
            const int16_t y = int16_t(v);
            std::memcpy(s, &y, 2);
        } else {
            int64_t v = ((int64_t(*s) - 128) * g) >> 14;
            if (v > 127) v = 127, clip = true;
            else if (v < -128) v = -128, clip = true;
            *s = uint8_t(v + 128);
        }
    };
    const bool flat = step_l == 0 && step_r == 0;
    if (flat && g0l == g0r) {
        const int64_t g = g0l;
        if (g == TMMEnhancedWave::kUnityGain) return false;
        const int64_t count = frames * channels;
        if (g == 0) {
            std::memset(p, k16 ? 0 : 128, size_t(count * int64_t(sizeof(Sample))));
            return false;
        }
        if constexpr (k16) {
            for (int64_t i = 0; i < count; ++i, p += 2) apply(p, g);
        } else {
            for (int64_t i = 0; i < count; ++i, ++p) apply(p, g);
        }
        return clip;
    }
    for (int64_t i = 0; i < frames; ++i) {
        const int64_t gl = acc_l >> 16, gr = acc_r >> 16;
        apply(p, gl);
        p += sizeof(Sample);
        for (int c = 1; c < channels; ++c, p += sizeof(Sample)) apply(p, gr);
        acc_l += step_l;
        acc_r += step_r;
    }
    return clip;
}

}  // namespace

bool TMMEnhancedWave::ApplyGain(uint8_t* data, int64_t n) {
    const TWaveFormatEx* f = EffectiveFormat();
    const int64_t align = std::max<int64_t>(1, f->nBlockAlign);
    const int channels = std::max<int>(1, f->nChannels);
    const bool k16 = f->wBitsPerSample == 16;
    const std::vector<TMMFadeRecord>& pts = fade_list_.Items();
    const int64_t count = int64_t(pts.size());

    int64_t pos = fade_list_.cursor.byte_pos;
    const int64_t end = pos + n;
    int64_t i = std::max<int64_t>(fade_list_.InsertionIndex(pos), 0);
    bool clip = false;
    while (pos < end && i < count) {
        if (i == 0) {
            // Nothing is defined before the first point: left as it is.
            pos = std::min(end, pts[0].position);
            if (pos >= pts[0].position) i = 1;
            continue;
        }
        const TMMFadeRecord& a = pts[size_t(i - 1)];
        const TMMFadeRecord& b = pts[size_t(i)];
        const int64_t span_end = std::min(end, b.position);
        // Whole frames only: a read that split a frame leaves its pieces as
        // they are.
        const int64_t from = (pos + align - 1) / align, to = span_end / align;
        if (to > from && b.position > a.position) {
            uint8_t* p = data + (from * align - fade_list_.cursor.byte_pos);
            clip |= k16 ? gain_span<int16_t>(p, from, to, channels, a.position / align,
                                             b.position / align, a.gain_left, b.gain_left,
                                             a.gain_right, b.gain_right)
                        : gain_span<uint8_t>(p, from, to, channels, a.position / align,
                                             b.position / align, a.gain_left, b.gain_left,
                                             a.gain_right, b.gain_right);
        }
        pos = std::max(pos, span_end);
        if (pos >= b.position) ++i;
    }
    if (clip) clipped_ = true;
    return clip;
}

}  // namespace murrel
