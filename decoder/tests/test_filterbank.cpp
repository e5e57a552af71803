// The filter-bank kernels against direct evaluations of their formulas, the
// vector path against the plain one, and the conversion to 16 bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "decoder/filterbank.h"
#include "decoder/tables.h"

namespace {

using namespace sonadyn;

TEST(PcmConversion, TruncatesTowardZeroAndClipsAtFullScale) {
    struct Row {
        double y;
        int16_t expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Row rows[] = {
        {1.5 / 32768, 1},        {-1.5 / 32768, -1},      {0.99 / 32768, 0},       {-0.99 / 32768, 0},
        {32767.9 / 32768, 32767}, {1.0, 32767},           {-1.0, -32768},          {-1.5, -32768},
        {40000.0 / 32768, 32767}, {-32767.5 / 32768, -32767}, {nan, 0},            {inf, 32767},
        {-inf, -32768},
    };
    for (const Row& r : rows) EXPECT_EQ(to_pcm(r.y), r.expected) << r.y * 32768;
}

// The long IMDCT as its formula states it, on the full rounded table.
void direct_long(const double* x, int type, double* out) {
    for (int p = 0; p < 36; ++p) {
        double sum = 0.0;
        for (int m = 0; m < 18; ++m) sum += x[m] * tables::kImdctLong[p][m];
        out[p] = 0.5 * tables::kImdctWindow[type][p] * sum;
    }
}

void direct_short(const double* x, double* out) {
    for (int p = 0; p < 36; ++p) out[p] = 0.0;
    for (int w = 0; w < 3; ++w)
        for (int p = 0; p < 12; ++p) {
            double sum = 0.0;
            for (int m = 0; m < 6; ++m) sum += x[w + 3 * m] * tables::kImdctShort[p][m];
            out[6 * w + p + 6] += 0.5 * tables::kImdctWindow[2][p] * sum;
        }
}

std::vector<const FilterBank*> banks() {
    std::vector<const FilterBank*> all{&plain_filter_bank()};
    if (const FilterBank* v = vector_filter_bank()) all.push_back(v);
    return all;
}

TEST(Imdct, KernelsMatchTheDirectSumsForEveryBlockType) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (const FilterBank* bank : banks()) {
        for (int trial = 0; trial < 20; ++trial) {
            double x[18];
            for (double& v : x) v = value(rng);
            for (int type : {0, 1, 3}) {
                double expected[36];
                double actual[36];
                direct_long(x, type, expected);
                bank->imdct_long(x, type, actual);
                for (int p = 0; p < 36; ++p) ASSERT_NEAR(actual[p], expected[p], 1e-12) << "type " << type << " p " << p;
                // A pair gives exactly what each subband gives alone.
                double pair_in[36];
                double pair[72];
                for (int m = 0; m < 18; ++m) {
                    pair_in[m] = x[17 - m];
                    pair_in[18 + m] = x[m];
                }
                double reversed[36];
                bank->imdct_long(pair_in, type, reversed);
                bank->imdct_long_pair(pair_in, type, pair);
                for (int p = 0; p < 36; ++p) {
                    ASSERT_EQ(pair[p], reversed[p]) << "pair, first, type " << type << " p " << p;
                    ASSERT_EQ(pair[36 + p], actual[p]) << "pair, second, type " << type << " p " << p;
                }
            }
            double expected[36];
            double actual[36];
            direct_short(x, expected);
            bank->imdct_short(x, actual);
            for (int p = 0; p < 36; ++p) ASSERT_NEAR(actual[p], expected[p], 1e-12) << "short p " << p;
        }
    }
}

TEST(Imdct, WindowsHaveTheirStatedShapes) {
    // Type 1 ends in zeros, type 3 starts with them, type 2 uses only 0-11.
    for (int i = 30; i < 36; ++i) EXPECT_EQ(tables::kImdctWindow[1][i], 0.0);
    for (int i = 18; i < 24; ++i) EXPECT_EQ(tables::kImdctWindow[1][i], 1.0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(tables::kImdctWindow[3][i], 0.0);
    for (int i = 12; i < 36; ++i) EXPECT_EQ(tables::kImdctWindow[2][i], 0.0);
    EXPECT_DOUBLE_EQ(tables::kImdctWindow[0][0], 0.043619);
    EXPECT_DOUBLE_EQ(tables::kAliasCs[0], 0.857493);
    EXPECT_DOUBLE_EQ(tables::kAliasCa[7], -0.0037);
}

// One time slot of the synthesis as its formulas state it: the full 64 x 32
// matrixing with 9-decimal cosines, then the window over the FIFO.
void direct_polyphase(const double* s, double* fifo, int offset, double* y) {
    for (int i = 0; i < 64; ++i) {
        double sum = 0.0;
        for (int k = 0; k < 32; ++k) {
            const double n = std::round(std::cos((16 + i) * (2 * k + 1) * M_PI / 64) * 1e9) / 1e9;
            sum += n * s[k];
        }
        fifo[offset + i] = 2.0 * sum;
    }
    for (int j = 0; j < 32; ++j) {
        double sum = 0.0;
        for (int n = 0; n < 16; ++n)
            sum += tables::kSynthesisWindow[j + 32 * n] * fifo[(offset + j + 32 * n + 64 * ((n + 1) / 2)) % 1024];
        y[j] = sum;
    }
}

TEST(OverlapAdd, VectorPathGivesThePlainPathsSlotsAndOverlap) {
    const FilterBank* vector = vector_filter_bank();
    if (!vector) GTEST_SKIP() << "processor without AVX2 and FMA";
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int groups : {8, 5, 1}) {
        alignas(32) double outs[32][36];
        double overlap_plain[32][18];
        double overlap_vector[32][18];
        for (auto& row : outs)
            for (double& v : row) v = value(rng);
        for (int sb = 0; sb < 32; ++sb)
            for (int q = 0; q < 18; ++q) overlap_plain[sb][q] = overlap_vector[sb][q] = value(rng);
        double before[32][18];
        std::memcpy(before, overlap_plain, sizeof before);
        alignas(32) double plain[18][32] = {};
        alignas(32) double fast[18][32] = {};
        plain_filter_bank().overlap_add(outs, overlap_plain, groups, plain);
        vector->overlap_add(outs, overlap_vector, groups, fast);
        for (int q = 0; q < 18; ++q)
            for (int sb = 0; sb < 32; ++sb) ASSERT_EQ(plain[q][sb], fast[q][sb]) << "q " << q << " sb " << sb;
        for (int sb = 0; sb < 32; ++sb)
            for (int q = 0; q < 18; ++q) ASSERT_EQ(overlap_plain[sb][q], overlap_vector[sb][q]) << "sb " << sb;
        // Odd samples of odd subbands are inverted, the new overlap is the second half.
        EXPECT_EQ(plain[3][1], -(outs[1][3] + before[1][3]));
        EXPECT_EQ(plain[2][1], outs[1][2] + before[1][2]);
        EXPECT_EQ(plain[3][2], outs[2][3] + before[2][3]);
        EXPECT_EQ(overlap_plain[1][5], outs[1][23]);
        EXPECT_EQ(overlap_plain[31][0], groups == 8 ? outs[31][18] : before[31][0]);
    }
}

TEST(Polyphase, KernelsMatchTheDirectMatrixingAndWindow) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> value(-0.3, 0.3);
    for (const FilterBank* bank : banks()) {
        for (int subbands : {32, 17, 16, 9, 8, 3, 0}) {
            alignas(32) static double fifo[1024];
            alignas(32) static double reference[1024];
            for (int i = 0; i < 1024; ++i) fifo[i] = reference[i] = value(rng);
            int offset = 64 * static_cast<int>(rng() % 16);
            for (int slot = 0; slot < 40; ++slot) {
                double s[32] = {};
                for (int k = 0; k < subbands; ++k) s[k] = value(rng);
                offset = (offset + 1024 - 64) % 1024;
                int16_t pcm[32];
                double y[32];
                bank->polyphase(s, subbands, fifo, offset, pcm);
                direct_polyphase(s, reference, offset, y);
                for (int i = 0; i < 64; ++i) ASSERT_NEAR(fifo[offset + i], reference[offset + i], 1e-12);
                for (int j = 0; j < 32; ++j) {
                    const double z = 32768.0 * y[j];
                    // Near an integer, summation order may move the result by one.
                    if (std::fabs(z - std::round(z)) < 1e-6) continue;
                    ASSERT_EQ(pcm[j], to_pcm(y[j])) << "subbands " << subbands << " slot " << slot << " j " << j;
                }
            }
        }
    }
}

TEST(Polyphase, VectorPathClipsAndTruncatesLikeThePlainOne) {
    const FilterBank* vector = vector_filter_bank();
    if (!vector) GTEST_SKIP() << "processor without AVX2 and FMA";
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double level : {40.0, -40.0, 3e-5, -3e-5, 1e300, nan}) {
        alignas(32) static double a[1024];
        alignas(32) static double b[1024];
        for (int i = 0; i < 1024; ++i) a[i] = b[i] = level * ((i % 7) - 3);
        double s[32];
        for (int k = 0; k < 32; ++k) s[k] = level * ((k % 5) - 2);
        int16_t plain[32];
        int16_t fast[32];
        plain_filter_bank().polyphase(s, 32, a, 128, plain);
        vector->polyphase(s, 32, b, 128, fast);
        for (int j = 0; j < 32; ++j) EXPECT_NEAR(plain[j], fast[j], 1) << "level " << level << " j " << j;
    }
}

}  // namespace
