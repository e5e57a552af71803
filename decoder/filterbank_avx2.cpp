// The filter-bank kernels for processors with AVX2 and FMA. Only called after
// the processor was found to have both (see filter_bank()).
#include <immintrin.h>

#include "decoder/filterbank.h"
#include "decoder/tables.h"

namespace sonadyn {

#define SONADYN_AVX2 __attribute__((target("avx2,fma")))

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
    alignas(32) double sums[20];
    _mm256_store_pd(sums, s0);
    _mm256_store_pd(sums + 4, s1);
    _mm256_store_pd(sums + 8, s2);
    _mm256_store_pd(sums + 12, s3);
    _mm256_store_pd(sums + 16, s4);
    const double* hw = k.half_window[block_type];
    for (int p = 0; p < 9; ++p) {
        out[p] = hw[p] * sums[p];
        out[17 - p] = hw[17 - p] * -sums[p];
        out[18 + p] = hw[18 + p] * sums[9 + p];
        out[35 - p] = hw[35 - p] * sums[9 + p];
    }
}

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
    alignas(32) double odd[16];
    alignas(32) double same[8];
    alignas(32) double flip[8];
    _mm256_store_pd(odd, _mm256_mul_pd(two, o0));
    _mm256_store_pd(odd + 4, _mm256_mul_pd(two, o1));
    _mm256_store_pd(odd + 8, _mm256_mul_pd(two, o2));
    _mm256_store_pd(odd + 12, _mm256_mul_pd(two, o3));
    _mm256_store_pd(same, _mm256_mul_pd(two, e0));
    _mm256_store_pd(same + 4, _mm256_mul_pd(two, e1));
    _mm256_store_pd(flip, _mm256_mul_pd(two, f0));
    _mm256_store_pd(flip + 4, _mm256_mul_pd(two, f1));
    // Sum of all subbands: c holds them folded twice.
    const __m256d c_sum = _mm256_add_pd(_mm256_load_pd(c), _mm256_load_pd(c + 4));
    alignas(32) double partial[4];
    _mm256_store_pd(partial, c_sum);
    const double total = (partial[0] + partial[1]) + (partial[2] + partial[3]);

    double* v = fifo + offset;
    for (int r = 0; r < 8; ++r) {
        v[kOddRows[r]] = odd[r];
        v[32 - kOddRows[r]] = -odd[r];
        v[kOddRows[8 + r]] = odd[8 + r];
        v[96 - kOddRows[8 + r]] = odd[8 + r];
    }
    for (int r = 0; r < 4; ++r) {
        v[kEvenSameRows[r]] = same[r];
        v[32 - kEvenSameRows[r]] = -same[r];
        v[kEvenFlipRows[r]] = flip[r];
        v[32 - kEvenFlipRows[r]] = -flip[r];
    }
    for (int r = 4; r < 7; ++r) {
        v[kEvenSameRows[r]] = same[r];
        v[96 - kEvenSameRows[r]] = same[r];
    }
    for (int r = 4; r < 8; ++r) {
        v[kEvenFlipRows[r]] = flip[r];
        v[96 - kEvenFlipRows[r]] = flip[r];
    }
    v[16] = 0.0;
    v[48] = -2.0 * total;

    // Eight named accumulators, so that they stay in registers.
    __m256d y0 = _mm256_setzero_pd();
    __m256d y1 = _mm256_setzero_pd();
    __m256d y2 = _mm256_setzero_pd();
    __m256d y3 = _mm256_setzero_pd();
    __m256d y4 = _mm256_setzero_pd();
    __m256d y5 = _mm256_setzero_pd();
    __m256d y6 = _mm256_setzero_pd();
    __m256d y7 = _mm256_setzero_pd();
    for (int n = 0; n < 16; ++n) {
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
