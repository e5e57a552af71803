#include "editor/mmenhancedwave.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "audio/formats/pcmconvert.h"

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

// Unaligned, aliasing view of 16-bit samples inside a byte buffer.
typedef int16_t __attribute__((may_alias, aligned(1))) sample16;

#if defined(__SSE2__)
// Eight samples at a time: x * g as 2 * (x * (g >> 1)) + (g & 1) * x in 32
// bits (just x * g below 32768), shifted by 14 and packed with signed
// saturation, which is exactly the clamp to -32768..32767. Gains up to unity
// cannot saturate, so they skip the check.
template <bool kWide, bool kCheck>
bool scale16_sse2(sample16* p, int64_t count, int32_t g) {
    const __m128i mul = _mm_set1_epi16(int16_t(kWide ? g >> 1 : g));
    const __m128i odd = _mm_set1_epi32((g & 1) ? -1 : 0);
    const __m128i top = _mm_set1_epi32(32767), bottom = _mm_set1_epi32(-32768);
    __m128i clip = _mm_setzero_si128();
    int64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i lo = _mm_mullo_epi16(x, mul), hi = _mm_mulhi_epi16(x, mul);
        __m128i v0 = _mm_unpacklo_epi16(lo, hi), v1 = _mm_unpackhi_epi16(lo, hi);
        if constexpr (kWide) {
            const __m128i x0 = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
            const __m128i x1 = _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16);
            v0 = _mm_add_epi32(_mm_slli_epi32(v0, 1), _mm_and_si128(x0, odd));
            v1 = _mm_add_epi32(_mm_slli_epi32(v1, 1), _mm_and_si128(x1, odd));
        }
        v0 = _mm_srai_epi32(v0, 14);
        v1 = _mm_srai_epi32(v1, 14);
        if constexpr (kCheck) {
            clip = _mm_or_si128(clip, _mm_or_si128(_mm_cmpgt_epi32(v0, top), _mm_cmplt_epi32(v0, bottom)));
            clip = _mm_or_si128(clip, _mm_or_si128(_mm_cmpgt_epi32(v1, top), _mm_cmplt_epi32(v1, bottom)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_packs_epi32(v0, v1));
    }
    bool clipped = _mm_movemask_epi8(clip) != 0;
    for (; i < count; ++i) {
        const int32_t v = (int32_t(p[i]) * g) >> 14;
        const int32_t c = v > 32767 ? 32767 : v < -32768 ? -32768 : v;
        clipped |= v != c;
        p[i] = int16_t(c);
    }
    return clipped;
}
#endif


// Multiplies `count` samples (every `stride`-th, starting at `bytes`) by the
// constant gain g (16384 = unity) with saturation. Returns whether any sample
// saturated.
bool scale16(uint8_t* bytes, int64_t count, int stride, int64_t g) {
    auto* p = reinterpret_cast<sample16*>(bytes);
#if defined(__SSE2__)
    if (stride == 1 && g >= 0 && g <= 16384) return scale16_sse2<false, false>(p, count, int32_t(g));
    if (stride == 1 && g >= 0 && g < 32768) return scale16_sse2<false, true>(p, count, int32_t(g));
    if (stride == 1 && g >= 0 && g < 65536) return scale16_sse2<true, true>(p, count, int32_t(g));
#endif
    bool clip = false;
    for (int64_t i = 0; i < count; ++i) {
        int64_t v = (int64_t(p[i * stride]) * g) >> 14;
        if (v > 32767) v = 32767, clip = true;
        else if (v < -32768) v = -32768, clip = true;
        p[i * stride] = int16_t(v);
    }
    return clip;
}

bool scale8(uint8_t* p, int64_t count, int stride, int64_t g) {
    bool clip = false;
    for (int64_t i = 0; i < count; ++i) {
        int64_t v = ((int64_t(p[i * stride]) - 128) * g) >> 14;
        if (v > 127) v = 127, clip = true;
        else if (v < -128) v = -128, clip = true;
        p[i * stride] = uint8_t(v + 128);
    }
    return clip;
}

// Frames from now on for which a gain accumulator (16.16 fixed point, moving
// by `step` per frame) keeps its whole value.
int64_t steady_frames(int64_t acc, int64_t step) {
    if (step == 0) return INT64_MAX;
    const int64_t floor_part = acc >> 16 << 16;
    if (step > 0) return (floor_part + 65536 - acc + step - 1) / step;
    return (acc - floor_part) / -step + 1;
}

// Gain over one span of frames, from (g0l, g0r) at frame f0 to (g1l, g1r) at
// frame f1, applied to frames [from, to) of `p` (which starts at frame
// `from`). Gains step per frame in 16.16 fixed point; runs of frames with the
// same whole gain are scaled together.
bool gain_span(uint8_t* p, bool k16, int64_t from, int64_t to, int channels, int64_t f0, int64_t f1,
               int32_t g0l, int32_t g1l, int32_t g0r, int32_t g1r) {
    const int bytes = k16 ? 2 : 1;
    const int64_t width = std::max<int64_t>(1, f1 - f0);
    const int64_t step_l = (int64_t(g1l - g0l) << 16) / width;
    const int64_t step_r = (int64_t(g1r - g0r) << 16) / width;
    int64_t acc_l = (int64_t(g0l) << 16) + step_l * (from - f0);
    int64_t acc_r = (int64_t(g0r) << 16) + step_r * (from - f0);
    bool clip = false;
    int64_t frames = to - from;
    while (frames > 0) {
        int64_t run = std::min(frames, steady_frames(acc_l, step_l));
        if (channels > 1) run = std::min(run, steady_frames(acc_r, step_r));
        run = std::max<int64_t>(run, 1);
        const int64_t gl = acc_l >> 16, gr = channels > 1 ? acc_r >> 16 : gl;
        if (gl == gr && (channels == 1 || gl == 0 || gl == TMMEnhancedWave::kUnityGain)) {
            const int64_t count = run * channels;
            if (gl == 0) std::memset(p, k16 ? 0 : 128, size_t(count * bytes));
            else if (gl != TMMEnhancedWave::kUnityGain)
                clip |= k16 ? scale16(p, count, 1, gl) : scale8(p, count, 1, gl);
        } else {
            // First channel at the left gain, every other at the right one.
            clip |= k16 ? scale16(p, run, channels, gl) : scale8(p, run, channels, gl);
            for (int c = 1; c < channels; ++c)
                clip |= k16 ? scale16(p + c * bytes, run, channels, gr)
                            : scale8(p + c * bytes, run, channels, gr);
        }
        p += run * channels * bytes;
        acc_l += step_l * run;
        acc_r += step_r * run;
        frames -= run;
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
            clip |= gain_span(p, k16, from, to, channels, a.position / align, b.position / align,
                              a.gain_left, b.gain_left, a.gain_right, b.gain_right);
        }
        pos = std::max(pos, span_end);
        if (pos >= b.position) ++i;
    }
    if (clip) clipped_ = true;
    return clip;
}

}  // namespace murrel
