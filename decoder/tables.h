#pragma once
// Constant tables of the Layer III decoder. The definitions are generated from
// the standard's table data by decoder/gen/gen_tables.py into tables_data.cpp.
#include <cstdint>

namespace sonadyn::tables {

// A Huffman code as a multi-level lookup in kHuffmanNodes. The first level is
// indexed by the next `width` bits. An entry with bit 31 clear is a leaf:
// codeword length in bits 16-23, value in bits 0-15 (pairs: x << 4 | y; quads:
// v, w, x, y in bits 3..0). An entry with bit 31 set continues in the level at
// bits 0-23, indexed by the next (bits 24-30) bits after this level's ones.
struct HuffmanTable {
    bool has_codes;
    uint8_t width;
    uint8_t linbits;
    uint32_t base;
};

extern const uint32_t kHuffmanNodes[];
extern const HuffmanTable kPairTables[32];
extern const HuffmanTable kQuadTableA;
extern const HuffmanTable kQuadTableB;

// Synthesis window D[0..511] in the standard's order.
extern const double kSynthesisWindow[512];

// Scale-factor band boundaries by sample-rate index 0-8 (44.1, 48, 32, 22.05,
// 24, 16, 11.025, 12, 8 kHz): 22 long bands and 13 short bands (per window).
extern const int16_t kLongBands[9][23];
extern const int16_t kShortBands[9][14];

// Scale factors per partition for the lower sampling frequencies, by block
// number (0-5), block-type number (0 long, 1 short, 2 mixed) and partition.
extern const uint8_t kSfbPerPartition[6][3][4];

// Alias-reduction butterflies, IMDCT cosines and windows (6 decimals).
extern const double kAliasCs[8];
extern const double kAliasCa[8];
extern const double kImdctLong[36][18];
extern const double kImdctShort[12][6];
extern const double kImdctWindow[4][36];

// Matrixing cosines cos((16 + i)(2k + 1)pi/64), 9 decimals; rows 0-15 and 33-48
// are filled, even rows for k 0-7 and odd rows for k 0-15.
extern const double kMatrixing[49][16];

}  // namespace sonadyn::tables
