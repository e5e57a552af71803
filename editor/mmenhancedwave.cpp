#include "editor/mmenhancedwave.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/pcmconvert.h"

namespace murrel {

namespace {

inline int32_t clamp_gain(int32_t g) { return std::max(g, 0); }

}  // namespace

TMMEnhancedWave::TMMEnhancedWave() = default;
TMMEnhancedWave::~TMMEnhancedWave() = default;

void TMMEnhancedWave::Assign(const TMMWave& source) {
    TMMAcmWave::Assign(source);
    if (const auto* other = dynamic_cast<const TMMEnhancedWave*>(&source))
        marker_list_ = other->marker_list_;
}

// ---------------------------------------------------------------------------
// Attaching, opening, closing

void TMMEnhancedWave::SetFileName(const std::string& path) {
    TMMAcmWave::SetFileName(path);
    if (!Block()) ResetSourceFades();
}

void TMMEnhancedWave::OnFileAttached() {
    TMMAcmWave::OnFileAttached();
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
    const bool was_open = Opened();
    TMMAcmWave::OpenFile();
    if (!was_open) RebuildFadeList();
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
