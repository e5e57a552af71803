// The filter-bank kernels for processors with AVX2 and FMA. Only called after
// the processor was found to have both (see filter_bank()).
#include <immintrin.h>

#include "decoder/filterbank.h"
#include "decoder/tables.h"

namespace sonadyn {

#define SONADYN_AVX2 __attribute__((target("avx2,fma")))

namespace {

// The 36 windowed outputs from the 18 distinct sums.
SONADYN_AVX2 inline void expand_long(__m256d s0, __m256d s1, __m256d s2, __m256d s3, __m256d s4,
                                     const double* hw, double* out) {
    alignas(32) double sums[20];
    _mm256_store_pd(sums, s0);
    _mm256_store_pd(sums + 4, s1);
    _mm256_store_pd(sums + 8, s2);
    _mm256_store_pd(sums + 12, s3);
    _mm256_store_pd(sums + 16, s4);
    for (int p = 0; p < 9; ++p) {
        out[p] = hw[p] * sums[p];
        out[17 - p] = hw[17 - p] * -sums[p];
        out[18 + p] = hw[18 + p] * sums[9 + p];
        out[35 - p] = hw[35 - p] * sums[9 + p];
    }
}

}  // namespace

SONADYN_AVX2 void imdct_long_avx2(const double* x, int block_type, double* out) {
    const KernelTables& k = kernel_tables();
    __m256d s0 = _mm256_setzero_pd();
    __m256d s1 = _mm256_setzero_pd();
    __m256d s2 = _mm256_setzero_pd();
    __m256d s3 = _mm256_setzero_pd();
    __m256d s4 = _mm256_setzero_pd();
    for (int m = 0; m < 18; ++m) {
        const __m256d xm = _mm256_broadcast_sd(x + m);
        const double* c = k.imdct_long_t[m];
        s0 = _mm256_fmadd_pd(xm, _mm256_load_pd(c), s0);
        s1 = _mm256_fmadd_pd(xm, _mm256_load_pd(c + 4), s1);
        s2 = _mm256_fmadd_pd(xm, _mm256_load_pd(c + 8), s2);
        s3 = _mm256_fmadd_pd(xm, _mm256_load_pd(c + 12), s3);
        s4 = _mm256_fmadd_pd(xm, _mm256_load_pd(c + 16), s4);
    }
    expand_long(s0, s1, s2, s3, s4, k.half_window[block_type], out);
}

// Two subbands at once: the same sums as two calls, but ten independent
// chains of multiply-adds instead of five keep the units busy.
SONADYN_AVX2 void imdct_long_pair_avx2(const double* x, int block_type, double* out) {
    const KernelTables& k = kernel_tables();
    __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0, s4 = s0;
    __m256d t0 = s0, t1 = s0, t2 = s0, t3 = s0, t4 = s0;
    for (int m = 0; m < 18; ++m) {
        const __m256d xm = _mm256_broadcast_sd(x + m);
        const __m256d ym = _mm256_broadcast_sd(x + 18 + m);
        const double* c = k.imdct_long_t[m];
        const __m256d c0 = _mm256_load_pd(c);
        const __m256d c1 = _mm256_load_pd(c + 4);
        const __m256d c2 = _mm256_load_pd(c + 8);
        const __m256d c3 = _mm256_load_pd(c + 12);
        const __m256d c4 = _mm256_load_pd(c + 16);
        s0 = _mm256_fmadd_pd(xm, c0, s0);
        t0 = _mm256_fmadd_pd(ym, c0, t0);
        s1 = _mm256_fmadd_pd(xm, c1, s1);
        t1 = _mm256_fmadd_pd(ym, c1, t1);
        s2 = _mm256_fmadd_pd(xm, c2, s2);
        t2 = _mm256_fmadd_pd(ym, c2, t2);
        s3 = _mm256_fmadd_pd(xm, c3, s3);
        t3 = _mm256_fmadd_pd(ym, c3, t3);
        s4 = _mm256_fmadd_pd(xm, c4, s4);
        t4 = _mm256_fmadd_pd(ym, c4, t4);
    }
    const double* hw = k.half_window[block_type];
    expand_long(s0, s1, s2, s3, s4, hw, out);
    expand_long(t0, t1, t2, t3, t4, hw, out + 36);
}

SONADYN_AVX2 void imdct_short_avx2(const double* x, double* out) {
    const KernelTables& k = kernel_tables();
    const __m256d zero = _mm256_setzero_pd();
    for (int p = 0; p < 36; p += 4) _mm256_storeu_pd(out + p, zero);
    const double* hw = k.half_window[2];
    for (int w = 0; w < 3; ++w) {
        __m256d s0 = zero, s1 = zero, s2 = zero;
        for (int m = 0; m < 6; ++m) {
            const __m256d xm = _mm256_broadcast_sd(x + w + 3 * m);
            const double* c = k.imdct_short_t[m];
            s0 = _mm256_fmadd_pd(xm, _mm256_load_pd(c), s0);
            s1 = _mm256_fmadd_pd(xm, _mm256_load_pd(c + 4), s1);
            s2 = _mm256_fmadd_pd(xm, _mm256_load_pd(c + 8), s2);
        }
        double* o = out + 6 * w + 6;
        _mm256_storeu_pd(o, _mm256_add_pd(_mm256_loadu_pd(o), _mm256_mul_pd(_mm256_loadu_pd(hw), s0)));
        _mm256_storeu_pd(o + 4, _mm256_add_pd(_mm256_loadu_pd(o + 4), _mm256_mul_pd(_mm256_loadu_pd(hw + 4), s1)));
        _mm256_storeu_pd(o + 8, _mm256_add_pd(_mm256_loadu_pd(o + 8), _mm256_mul_pd(_mm256_loadu_pd(hw + 8), s2)));
    }
}

SONADYN_AVX2 void overlap_add_avx2(const double (*outs)[36], double (*overlap)[18], int groups,
                                   double (*slots)[32]) {
    // Odd samples of the odd subbands change sign.
    const __m256d odd_signs = _mm256_set_pd(-0.0, 0.0, -0.0, 0.0);
    for (int g = 0; g < groups; ++g) {
        const int sb = 4 * g;
        for (int q = 0; q < 16; q += 4) {
            const __m256d r0 = _mm256_add_pd(_mm256_load_pd(outs[sb] + q), _mm256_loadu_pd(overlap[sb] + q));
            const __m256d r1 = _mm256_xor_pd(
                _mm256_add_pd(_mm256_load_pd(outs[sb + 1] + q), _mm256_loadu_pd(overlap[sb + 1] + q)), odd_signs);
            const __m256d r2 = _mm256_add_pd(_mm256_load_pd(outs[sb + 2] + q), _mm256_loadu_pd(overlap[sb + 2] + q));
            const __m256d r3 = _mm256_xor_pd(
                _mm256_add_pd(_mm256_load_pd(outs[sb + 3] + q), _mm256_loadu_pd(overlap[sb + 3] + q)), odd_signs);
            // Four subbands by four time slots, transposed.
            const __m256d t0 = _mm256_unpacklo_pd(r0, r1);
            const __m256d t1 = _mm256_unpackhi_pd(r0, r1);
            const __m256d t2 = _mm256_unpacklo_pd(r2, r3);
            const __m256d t3 = _mm256_unpackhi_pd(r2, r3);
            _mm256_store_pd(slots[q] + sb, _mm256_permute2f128_pd(t0, t2, 0x20));
            _mm256_store_pd(slots[q + 1] + sb, _mm256_permute2f128_pd(t1, t3, 0x20));
            _mm256_store_pd(slots[q + 2] + sb, _mm256_permute2f128_pd(t0, t2, 0x31));
            _mm256_store_pd(slots[q + 3] + sb, _mm256_permute2f128_pd(t1, t3, 0x31));
        }
        for (int i = 0; i < 4; ++i) {
            const double s16 = outs[sb + i][16] + overlap[sb + i][16];
            const double s17 = outs[sb + i][17] + overlap[sb + i][17];
            slots[16][sb + i] = s16;
            slots[17][sb + i] = (i & 1) ? -s17 : s17;
            for (int q = 0; q < 16; q += 4) _mm256_storeu_pd(overlap[sb + i] + q, _mm256_loadu_pd(outs[sb + i] + 18 + q));
            overlap[sb + i][16] = outs[sb + i][34];
            overlap[sb + i][17] = outs[sb + i][35];
        }
    }
}

namespace {

// Entries 0 of a and b, then 1 of both, ... : the two halves of the result.
SONADYN_AVX2 inline void interleave(__m256d a, __m256d b, __m256d& first, __m256d& second) {
    const __m256d lo = _mm256_unpacklo_pd(a, b);
    const __m256d hi = _mm256_unpackhi_pd(a, b);
    first = _mm256_permute2f128_pd(lo, hi, 0x20);
    second = _mm256_permute2f128_pd(lo, hi, 0x31);
}
// -high[0], -low[3], -low[2], -low[1].
SONADYN_AVX2 inline __m256d mirror(__m256d low, __m256d high, __m256d sign) {
    return _mm256_xor_pd(_mm256_permute4x64_pd(_mm256_blend_pd(low, high, 1), 0x6C), sign);
}
// x[3], x[0], x[1], x[2].
SONADYN_AVX2 inline __m256d rotate(__m256d x) { return _mm256_permute4x64_pd(x, 0x93); }
SONADYN_AVX2 inline __m256d reverse(__m256d x) { return _mm256_permute4x64_pd(x, 0x1B); }

}  // namespace

SONADYN_AVX2 void polyphase_avx2(const double* s, int subbands, double* fifo, int offset, int16_t* pcm) {
    const KernelTables& k = kernel_tables();
    alignas(32) double a[16];
    alignas(32) double b[16];
    for (int i = 0; i < 16; i += 4) {
        const __m256d lo = _mm256_loadu_pd(s + i);
        const __m256d hi = _mm256_permute4x64_pd(_mm256_loadu_pd(s + 28 - i), 0x1B);
        _mm256_store_pd(a + i, _mm256_add_pd(lo, hi));
        _mm256_store_pd(b + i, _mm256_sub_pd(lo, hi));
    }
    alignas(32) double c[8];
    alignas(32) double d[8];
    for (int i = 0; i < 8; i += 4) {
        const __m256d lo = _mm256_load_pd(a + i);
        const __m256d hi = _mm256_permute4x64_pd(_mm256_load_pd(a + 12 - i), 0x1B);
        _mm256_store_pd(c + i, _mm256_add_pd(lo, hi));
        _mm256_store_pd(d + i, _mm256_sub_pd(lo, hi));
    }

    // Columns past the last non-zero subband add nothing.
    const int odd_columns = subbands <= 16 ? subbands : 16;
    const int even_columns = subbands <= 8 ? subbands : 8;
    __m256d o0 = _mm256_setzero_pd();
    __m256d o1 = _mm256_setzero_pd();
    __m256d o2 = _mm256_setzero_pd();
    __m256d o3 = _mm256_setzero_pd();
    for (int col = 0; col < odd_columns; ++col) {
        const __m256d v = _mm256_broadcast_sd(b + col);
        const double* row = k.odd[col];
        o0 = _mm256_fmadd_pd(v, _mm256_load_pd(row), o0);
        o1 = _mm256_fmadd_pd(v, _mm256_load_pd(row + 4), o1);
        o2 = _mm256_fmadd_pd(v, _mm256_load_pd(row + 8), o2);
        o3 = _mm256_fmadd_pd(v, _mm256_load_pd(row + 12), o3);
    }
    __m256d e0 = _mm256_setzero_pd();
    __m256d e1 = _mm256_setzero_pd();
    __m256d f0 = _mm256_setzero_pd();
    __m256d f1 = _mm256_setzero_pd();
    for (int col = 0; col < even_columns; ++col) {
        const __m256d vc = _mm256_broadcast_sd(c + col);
        const __m256d vd = _mm256_broadcast_sd(d + col);
        e0 = _mm256_fmadd_pd(vc, _mm256_load_pd(k.even_same[col]), e0);
        e1 = _mm256_fmadd_pd(vc, _mm256_load_pd(k.even_same[col] + 4), e1);
        f0 = _mm256_fmadd_pd(vd, _mm256_load_pd(k.even_flip[col]), f0);
        f1 = _mm256_fmadd_pd(vd, _mm256_load_pd(k.even_flip[col] + 4), f1);
    }
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d o_lo0 = _mm256_mul_pd(two, o0);  // rows 1, 3, 5, 7
    const __m256d o_lo1 = _mm256_mul_pd(two, o1);  // rows 9, 11, 13, 15
    const __m256d o_hi0 = _mm256_mul_pd(two, o2);  // rows 33, 35, 37, 39
    const __m256d o_hi1 = _mm256_mul_pd(two, o3);  // rows 41, 43, 45, 47
    const __m256d same_lo = _mm256_mul_pd(two, e0);  // rows 0, 4, 8, 12
    const __m256d same_hi = _mm256_mul_pd(two, e1);  // rows 36, 40, 44 and a 0
    const __m256d flip_lo = _mm256_mul_pd(two, f0);  // rows 2, 6, 10, 14
    const __m256d flip_hi = _mm256_mul_pd(two, f1);  // rows 34, 38, 42, 46
    // Sum of all subbands: c holds them folded twice.
    const __m256d c_sum = _mm256_add_pd(_mm256_load_pd(c), _mm256_load_pd(c + 4));
    alignas(32) double partial[4];
    _mm256_store_pd(partial, c_sum);
    const double total = (partial[0] + partial[1]) + (partial[2] + partial[3]);

    // The 64 entries of V built in registers and stored whole: scattering
    // single entries would make the window's wide loads wait on them.
    const __m256d zero = _mm256_setzero_pd();
    const __m256d sign = _mm256_set1_pd(-0.0);
    __m256d even_a, even_b, v0, v1, v2, v3;
    interleave(same_lo, flip_lo, even_a, even_b);  // rows 0, 2, 4, 6 and 8, 10, 12, 14
    interleave(even_a, o_lo0, v0, v1);              // V[0..7]
    interleave(even_b, o_lo1, v2, v3);              // V[8..15]
    // V[16] = 0 and V[17..32] = -V[15..0]: each from one vector's first entry
    // and the previous one's last three, reversed.
    const __m256d v4 = _mm256_blend_pd(mirror(v3, zero, sign), zero, 1);  // V[16..19]
    const __m256d v5 = mirror(v2, v3, sign);                                // V[20..23]
    const __m256d v6 = mirror(v1, v2, sign);                                // V[24..27]
    const __m256d v7 = mirror(v0, v1, sign);                                // V[28..31]
    __m256d even_c, even_d, g0, g1, g2, g3;
    interleave(flip_hi, same_hi, even_c, even_d);  // rows 34, 36, 38, 40 and 42, 44, 46, 0
    interleave(o_hi0, even_c, g0, g1);              // rows 33-40
    interleave(o_hi1, even_d, g2, g3);              // rows 41-47 and a 0
    // V[32] = -V[0], V[33..47] the rows, V[48] = -2 total, V[49..63] = V[47..33].
    const __m256d v8 = _mm256_blend_pd(rotate(g0), _mm256_xor_pd(v0, sign), 1);
    const __m256d v9 = _mm256_blend_pd(rotate(g1), rotate(g0), 1);
    const __m256d v10 = _mm256_blend_pd(rotate(g2), rotate(g1), 1);
    const __m256d v11 = _mm256_blend_pd(rotate(g3), rotate(g2), 1);
    const __m256d v12 = _mm256_blend_pd(reverse(g3), _mm256_set1_pd(-2.0 * total), 1);
    const __m256d v13 = reverse(g2);
    const __m256d v14 = reverse(g1);
    const __m256d v15 = reverse(g0);
    double* v = fifo + offset;
    _mm256_store_pd(v, v0);
    _mm256_store_pd(v + 4, v1);
    _mm256_store_pd(v + 8, v2);
    _mm256_store_pd(v + 12, v3);
    _mm256_store_pd(v + 16, v4);
    _mm256_store_pd(v + 20, v5);
    _mm256_store_pd(v + 24, v6);
    _mm256_store_pd(v + 28, v7);
    _mm256_store_pd(v + 32, v8);
    _mm256_store_pd(v + 36, v9);
    _mm256_store_pd(v + 40, v10);
    _mm256_store_pd(v + 44, v11);
    _mm256_store_pd(v + 48, v12);
    _mm256_store_pd(v + 52, v13);
    _mm256_store_pd(v + 56, v14);
    _mm256_store_pd(v + 60, v15);

    // Eight named accumulators, so that they stay in registers. The first
    // term takes V[0..31] from the registers just stored.
    const double* w0 = tables::kSynthesisWindow;
    __m256d y0 = _mm256_mul_pd(_mm256_loadu_pd(w0), v0);
    __m256d y1 = _mm256_mul_pd(_mm256_loadu_pd(w0 + 4), v1);
    __m256d y2 = _mm256_mul_pd(_mm256_loadu_pd(w0 + 8), v2);
    __m256d y3 = _mm256_mul_pd(_mm256_loadu_pd(w0 + 12), v3);
    __m256d y4 = _mm256_mul_pd(_mm256_loadu_pd(w0 + 16), v4);
    __m256d y5 = _mm256_mul_pd(_mm256_loadu_pd(w0 + 20), v5);
    __m256d y6 = _mm256_mul_pd(_mm256_loadu_pd(w0 + 24), v6);
    __m256d y7 = _mm256_mul_pd(_mm256_loadu_pd(w0 + 28), v7);
    for (int n = 1; n < 16; ++n) {
        const int base = (offset + 32 * n + 64 * ((n + 1) / 2)) & 1023;
        const double* w = tables::kSynthesisWindow + 32 * n;
        const double* src = fifo + base;
        y0 = _mm256_fmadd_pd(_mm256_loadu_pd(w), _mm256_load_pd(src), y0);
        y1 = _mm256_fmadd_pd(_mm256_loadu_pd(w + 4), _mm256_load_pd(src + 4), y1);
        y2 = _mm256_fmadd_pd(_mm256_loadu_pd(w + 8), _mm256_load_pd(src + 8), y2);
        y3 = _mm256_fmadd_pd(_mm256_loadu_pd(w + 12), _mm256_load_pd(src + 12), y3);
        y4 = _mm256_fmadd_pd(_mm256_loadu_pd(w + 16), _mm256_load_pd(src + 16), y4);
        y5 = _mm256_fmadd_pd(_mm256_loadu_pd(w + 20), _mm256_load_pd(src + 20), y5);
        y6 = _mm256_fmadd_pd(_mm256_loadu_pd(w + 24), _mm256_load_pd(src + 24), y6);
        y7 = _mm256_fmadd_pd(_mm256_loadu_pd(w + 28), _mm256_load_pd(src + 28), y7);
    }
    const __m256d y[8] = {y0, y1, y2, y3, y4, y5, y6, y7};
    const __m256d scale = _mm256_set1_pd(32768.0);
    const __m256d high = _mm256_set1_pd(32767.0);
    const __m256d low = _mm256_set1_pd(-32768.0);
    for (int j = 0; j < 8; j += 2) {
        __m256d z0 = _mm256_mul_pd(y[j], scale);
        __m256d z1 = _mm256_mul_pd(y[j + 1], scale);
        // Anything that is no number becomes 0, as in to_pcm().
        z0 = _mm256_and_pd(z0, _mm256_cmp_pd(z0, z0, _CMP_ORD_Q));
        z1 = _mm256_and_pd(z1, _mm256_cmp_pd(z1, z1, _CMP_ORD_Q));
        z0 = _mm256_max_pd(_mm256_min_pd(z0, high), low);
        z1 = _mm256_max_pd(_mm256_min_pd(z1, high), low);
        const __m128i packed = _mm_packs_epi32(_mm256_cvttpd_epi32(z0), _mm256_cvttpd_epi32(z1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + 4 * j), packed);
    }
}

}  // namespace sonadyn
