#include "decoder/filterbank.h"

#include "decoder/tables.h"

namespace sonadyn {

const uint8_t kOddRows[16] = {1, 3, 5, 7, 9, 11, 13, 15, 33, 35, 37, 39, 41, 43, 45, 47};
const uint8_t kEvenSameRows[8] = {0, 4, 8, 12, 36, 40, 44, 0};
const uint8_t kEvenFlipRows[8] = {2, 6, 10, 14, 34, 38, 42, 46};

namespace {

KernelTables g_kernel_tables;
bool g_kernel_tables_ready = false;

void fill_kernel_tables(KernelTables& k) {
    for (int type = 0; type < 4; ++type)
        for (int p = 0; p < 36; ++p) k.half_window[type][p] = 0.5 * tables::kImdctWindow[type][p];
    for (int m = 0; m < 18; ++m) {
        for (int r = 0; r < 9; ++r) {
            k.imdct_long_t[m][r] = tables::kImdctLong[r][m];
            k.imdct_long_t[m][9 + r] = tables::kImdctLong[18 + r][m];
        }
        k.imdct_long_t[m][18] = 0.0;
        k.imdct_long_t[m][19] = 0.0;
    }
    for (int m = 0; m < 6; ++m)
        for (int p = 0; p < 12; ++p) k.imdct_short_t[m][p] = tables::kImdctShort[p][m];
    for (int c = 0; c < 16; ++c)
        for (int r = 0; r < 16; ++r) k.odd[c][r] = tables::kMatrixing[kOddRows[r]][c];
    for (int c = 0; c < 8; ++c) {
        for (int r = 0; r < 8; ++r) {
            k.even_same[c][r] = r < 7 ? tables::kMatrixing[kEvenSameRows[r]][c] : 0.0;
            k.even_flip[c][r] = tables::kMatrixing[kEvenFlipRows[r]][c];
        }
    }
}

// Expands the 18 distinct sums of a long IMDCT into the 36 windowed outputs.
inline void expand_long(const double* sums, const double* half_window, double* out) {
    for (int p = 0; p < 9; ++p) {
        out[p] = half_window[p] * sums[p];
        out[17 - p] = half_window[17 - p] * -sums[p];
        out[18 + p] = half_window[18 + p] * sums[9 + p];
        out[35 - p] = half_window[35 - p] * sums[9 + p];
    }
}

void imdct_long_plain(const double* x, int block_type, double* out) {
    const KernelTables& k = kernel_tables();
    double sums[20] = {};
    for (int m = 0; m < 18; ++m) {
        const double xm = x[m];
        for (int r = 0; r < 20; ++r) sums[r] += xm * k.imdct_long_t[m][r];
    }
    expand_long(sums, k.half_window[block_type], out);
}

void imdct_long_pair_plain(const double* x, int block_type, double* out) {
    imdct_long_plain(x, block_type, out);
    imdct_long_plain(x + 18, block_type, out + 36);
}

void imdct_short_plain(const double* x, double* out) {
    const KernelTables& k = kernel_tables();
    for (int p = 0; p < 36; ++p) out[p] = 0.0;
    for (int w = 0; w < 3; ++w) {
        for (int p = 0; p < 12; ++p) {
            double sum = 0.0;
            for (int m = 0; m < 6; ++m) sum += x[w + 3 * m] * tables::kImdctShort[p][m];
            out[6 * w + p + 6] += k.half_window[2][p] * sum;
        }
    }
}

void overlap_add_plain(const double (*outs)[36], double (*overlap)[18], int groups, double (*slots)[32]) {
    for (int sb = 0; sb < 4 * groups; ++sb) {
        const double* out = outs[sb];
        double sum[18];
        for (int q = 0; q < 18; ++q) sum[q] = out[q] + overlap[sb][q];
        if (sb & 1)
            for (int q = 1; q < 18; q += 2) sum[q] = -sum[q];
        for (int q = 0; q < 18; ++q) slots[q][sb] = sum[q];
        for (int q = 0; q < 18; ++q) overlap[sb][q] = out[18 + q];
    }
}

void polyphase_plain(const double* s, int subbands, double* fifo, int offset, int16_t* pcm) {
    const KernelTables& k = kernel_tables();
    double a[16];
    double b[16];
    for (int i = 0; i < 16; ++i) {
        a[i] = s[i] + s[31 - i];
        b[i] = s[i] - s[31 - i];
    }
    double c[8];
    double d[8];
    for (int i = 0; i < 8; ++i) {
        c[i] = a[i] + a[15 - i];
        d[i] = a[i] - a[15 - i];
    }
    double odd[16] = {};
    double same[8] = {};
    double flip[8] = {};
    for (int col = 0; col < 16; ++col)
        for (int r = 0; r < 16; ++r) odd[r] += k.odd[col][r] * b[col];
    for (int col = 0; col < 8; ++col) {
        for (int r = 0; r < 8; ++r) {
            same[r] += k.even_same[col][r] * c[col];
            flip[r] += k.even_flip[col][r] * d[col];
        }
    }
    double total = 0.0;
    for (int i = 0; i < subbands; ++i) total += s[i];

    double* v = fifo + offset;
    for (int r = 0; r < 16; ++r) v[kOddRows[r]] = 2.0 * odd[r];
    for (int r = 0; r < 7; ++r) v[kEvenSameRows[r]] = 2.0 * same[r];
    for (int r = 0; r < 8; ++r) v[kEvenFlipRows[r]] = 2.0 * flip[r];
    v[16] = 0.0;
    v[48] = -2.0 * total;
    for (int i = 0; i < 16; ++i) v[32 - i] = -v[i];
    for (int i = 33; i < 48; ++i) v[96 - i] = v[i];

    double y[32] = {};
    for (int n = 0; n < 16; ++n) {
        const int base = (offset + 32 * n + 64 * ((n + 1) / 2)) & 1023;
        const double* window = tables::kSynthesisWindow + 32 * n;
        const double* src = fifo + base;
        for (int j = 0; j < 32; ++j) y[j] += window[j] * src[j];
    }
    for (int j = 0; j < 32; ++j) pcm[j] = to_pcm(y[j]);
}

const FilterBank kPlain = {imdct_long_plain, imdct_long_pair_plain, imdct_short_plain, overlap_add_plain,
                          polyphase_plain};

}  // namespace

void imdct_long_avx2(const double* x, int block_type, double* out);
void imdct_long_pair_avx2(const double* x, int block_type, double* out);
void imdct_short_avx2(const double* x, double* out);
void overlap_add_avx2(const double (*outs)[36], double (*overlap)[18], int groups, double (*slots)[32]);
void polyphase_avx2(const double* s, int subbands, double* fifo, int offset, int16_t* pcm);

namespace {

const FilterBank kAvx2 = {imdct_long_avx2, imdct_long_pair_avx2, imdct_short_avx2, overlap_add_avx2, polyphase_avx2};
const FilterBank* g_bank = nullptr;

}  // namespace

const KernelTables& kernel_tables() {
    if (!g_kernel_tables_ready) {
        fill_kernel_tables(g_kernel_tables);
        g_kernel_tables_ready = true;
    }
    return g_kernel_tables;
}

const FilterBank& plain_filter_bank() {
    kernel_tables();
    return kPlain;
}

const FilterBank* vector_filter_bank() {
    kernel_tables();
    __builtin_cpu_init();
    const bool vector = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return vector ? &kAvx2 : nullptr;
}

void select_filter_bank(const FilterBank* bank) { g_bank = bank; }

const FilterBank& filter_bank() {
    if (!g_bank) {
        const FilterBank* vector = vector_filter_bank();
        g_bank = vector ? vector : &plain_filter_bank();
    }
    return *g_bank;
}

}  // namespace sonadyn
