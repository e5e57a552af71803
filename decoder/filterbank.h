#pragma once
// The arithmetic kernels of the hybrid filter bank, with a plain code path for
// any x86-64 and a vector path chosen at run time where the processor has it.
// All kernels work in double precision on the rounded constant tables.
#include <cstdint>

namespace sonadyn {

struct FilterBank {
    // Windowed 36-point IMDCT of 18 values for block types 0, 1 and 3.
    void (*imdct_long)(const double* x, int block_type, double* out);
    // The same for two consecutive subbands: x holds 36 values, out gets 72.
    void (*imdct_long_pair)(const double* x, int block_type, double* out);
    // The three windowed 12-point IMDCTs of a short block, overlapped into 36.
    void (*imdct_short)(const double* x, double* out);
    // Adds the first halves of the outputs of subbands 0 to 4 * groups - 1 to
    // their overlap, inverts the odd samples of odd subbands, writes them by
    // time slot, and keeps the second halves as the new overlap.
    void (*overlap_add)(const double (*outs)[36], double (*overlap)[18], int groups, double (*slots)[32]);
    // One time slot: shifts the 32 subband samples `s` (those from `subbands`
    // on are 0) into the FIFO at `offset` and writes 32 PCM samples.
    void (*polyphase)(const double* s, int subbands, double* fifo, int offset, int16_t* pcm);
};

// The kernels for this processor, chosen on first use.
const FilterBank& filter_bank();
// Both code paths, for comparing them; the vector one is null when the
// processor lacks AVX2 or FMA.
const FilterBank& plain_filter_bank();
const FilterBank* vector_filter_bank();
// Makes the decoder use `bank` from now on; null goes back to the processor's
// choice. For tests that decode the same stream through each path.
void select_filter_bank(const FilterBank* bank);

// Constant tables rearranged for the kernels; filled on first use.
struct KernelTables {
    // 0.5 times the IMDCT window, by block type (the 0.5 is exact).
    double half_window[4][36];
    // Long IMDCT: the 18 distinct output rows (p = 0-8 and 18-26), by input m,
    // padded to 20 rows: [m][row].
    alignas(32) double imdct_long_t[18][20];
    // Short IMDCT cosines by input m: [m][p].
    alignas(32) double imdct_short_t[6][12];
    // Matrixing coefficients by column k for the odd rows (16), the even rows
    // whose mirror k <-> 15-k keeps the sign (7, padded to 8) and those whose
    // mirror flips it (8).
    alignas(32) double odd[16][16];
    alignas(32) double even_same[8][8];
    alignas(32) double even_flip[8][8];
};
const KernelTables& kernel_tables();

// Conversion of one synthesis output to a 16-bit sample: clipped, otherwise
// truncated toward zero. Anything that is no number gives 0.
inline int16_t to_pcm(double y) {
    const double z = 32768.0 * y;
    if (z >= 32767.0) return 32767;
    if (z <= -32768.0) return -32768;
    if (z == z) return static_cast<int16_t>(z);
    return 0;
}

// Row numbers of the matrixing outputs in the order of KernelTables.
extern const uint8_t kOddRows[16];
extern const uint8_t kEvenSameRows[8];  // last entry unused
extern const uint8_t kEvenFlipRows[8];

}  // namespace sonadyn
