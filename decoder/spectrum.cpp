// Scale factors, Huffman decoding and requantisation of one granule and channel.
#include <cmath>
#include <cstring>

#include "decoder/decoder.h"
#include "decoder/tables.h"

namespace sonadyn {

namespace {

const uint8_t kSlen1[16] = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
const uint8_t kSlen2[16] = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};
const uint8_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
// First long band of each scfsi band, and the end of the last.
const uint8_t kScfsiBands[5] = {0, 6, 11, 16, 21};

// The powers of requantisation, filled once with the very calls the formulas
// name, so that they are the same doubles as computing them line by line.
// |h|^(4/3) for every value a Huffman code with linbits can give (15 + 2^13 - 1).
constexpr int kMaxHuffmanValue = 15 + 8191;
double g_power43[kMaxHuffmanValue + 1];
// 2^(0.25 * (global_gain - 210)) by global_gain.
double g_global_gain[256];
// 2^(-0.5 * n): the scale-factor factor 2^(-k * value) with k = 0.5 * steps.
constexpr int kScaleSteps = 128;
double g_scale_step[kScaleSteps];
// 2^(-2 * subblock_gain).
double g_subblock_gain[8];
bool g_powers_ready = false;

double scale_step(int halves) {
    if (halves < kScaleSteps) return g_scale_step[halves];
    return std::pow(2.0, -0.5 * halves);
}

}  // namespace

void Decoder::ensure_power_table() {
    if (g_powers_ready) return;
    const double exponent = 4.0 / 3.0;
    for (int i = 0; i <= kMaxHuffmanValue; ++i) g_power43[i] = std::pow(static_cast<double>(i), exponent);
    for (int g = 0; g < 256; ++g) g_global_gain[g] = std::pow(2.0, 0.25 * (g - 210));
    for (int n = 0; n < kScaleSteps; ++n) g_scale_step[n] = std::pow(2.0, -0.5 * n);
    for (int n = 0; n < 8; ++n) g_subblock_gain[n] = std::pow(2.0, -2.0 * n);
    g_powers_ready = true;
}

void Decoder::read_scalefactors_mpeg1(int gr, int ch) {
    const GranuleInfo& gi = side_[gr][ch];
    const int slen1 = kSlen1[gi.scalefac_compress & 15];
    const int slen2 = kSlen2[gi.scalefac_compress & 15];
    int16_t* l = scalefac_l_[ch];
    int16_t(*s)[13] = scalefac_s_[ch];
    if (gi.block_type == 2) {
        int first_short = 0;
        if (gi.mixed_block_flag) {
            for (int sfb = 0; sfb < 8; ++sfb) l[sfb] = static_cast<int16_t>(read_main(slen1));
            first_short = 3;
        }
        for (int sfb = first_short; sfb < 12; ++sfb) {
            const int bits = sfb < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w) s[w][sfb] = static_cast<int16_t>(read_main(bits));
        }
        for (int w = 0; w < 3; ++w) s[w][12] = 0;
        return;
    }
    for (int band = 0; band < 4; ++band) {
        if (scfsi_[ch][band] && gr != 0) continue;
        const int bits = band < 2 ? slen1 : slen2;
        for (int sfb = kScfsiBands[band]; sfb < kScfsiBands[band + 1]; ++sfb)
            l[sfb] = static_cast<int16_t>(read_main(bits));
    }
    l[21] = 0;
    l[22] = 0;
}

void Decoder::read_scalefactors_lsf(int ch) {
    const GranuleInfo& gi = side_[0][ch];
    const int block_type_number = gi.block_type == 2 ? (gi.mixed_block_flag ? 2 : 1) : 0;
    int slen[4] = {0, 0, 0, 0};
    int block_number = 0;
    GranuleInfo& writable = side_[0][ch];
    writable.preflag = 0;
    const bool intensity_right = ch == 1 && (header_.mode_extension == 1 || header_.mode_extension == 3);
    if (intensity_right) {
        const int isc = gi.scalefac_compress >> 1;
        if (isc < 180) {
            slen[0] = isc / 36;
            slen[1] = (isc % 36) / 6;
            slen[2] = (isc % 36) % 6;
            block_number = 3;
        } else if (isc < 244) {
            slen[0] = ((isc - 180) % 64) / 16;
            slen[1] = ((isc - 180) % 16) / 4;
            slen[2] = (isc - 180) % 4;
            block_number = 4;
        } else if (isc < 255) {
            slen[0] = (isc - 244) / 3;
            slen[1] = (isc - 244) % 3;
            block_number = 5;
        } else {
            // Outside the standard's ranges: no scale-factor bits at all.
            block_number = 3;
        }
    } else {
        const int sfc = gi.scalefac_compress;
        if (sfc < 400) {
            slen[0] = (sfc >> 4) / 5;
            slen[1] = (sfc >> 4) % 5;
            slen[2] = (sfc % 16) >> 2;
            slen[3] = sfc % 4;
            block_number = 0;
        } else if (sfc < 500) {
            slen[0] = ((sfc - 400) >> 2) / 5;
            slen[1] = ((sfc - 400) >> 2) % 5;
            slen[2] = (sfc - 400) % 4;
            block_number = 1;
        } else {
            slen[0] = (sfc - 500) / 3;
            slen[1] = (sfc - 500) % 3;
            writable.preflag = 1;
            block_number = 2;
        }
    }

    int16_t buffer[45] = {};
    uint8_t widths[45] = {};
    int n = 0;
    for (int part = 0; part < 4; ++part) {
        const int count = tables::kSfbPerPartition[block_number][block_type_number][part];
        for (int i = 0; i < count; ++i) {
            widths[n] = static_cast<uint8_t>(slen[part]);
            buffer[n++] = static_cast<int16_t>(read_main(slen[part]));
        }
    }

    int16_t* l = scalefac_l_[ch];
    int16_t(*s)[13] = scalefac_s_[ch];
    uint8_t* l_width = slen_l_[ch];
    uint8_t* s_width = slen_s_[ch];
    n = 0;
    if (block_type_number == 0) {
        for (int sfb = 0; sfb < 21; ++sfb) {
            l_width[sfb] = widths[n];
            l[sfb] = buffer[n++];
        }
        l[21] = 0;
        l[22] = 0;
        return;
    }
    int first_short = 0;
    if (block_type_number == 2) {
        for (int sfb = 0; sfb < 6; ++sfb) {
            l_width[sfb] = widths[n];
            l[sfb] = buffer[n++];
        }
        first_short = 3;
    }
    for (int sfb = first_short; sfb < 12; ++sfb) {
        s_width[sfb] = widths[n];
        for (int w = 0; w < 3; ++w) s[w][sfb] = buffer[n++];
    }
    for (int w = 0; w < 3; ++w) s[w][12] = 0;
}

namespace {

// Reads the reservoir from a local bit position, so that the position stays in
// a register while the spectrum is written. The next bits wait in a 64-bit
// window, loaded again only when a code might not fit in what is left of it.
struct BitReader {
    const uint8_t* reservoir;
    uint32_t pos;
    uint64_t bits = 0;
    unsigned avail = 0;

    void refill() {
        uint64_t w = 0;
        std::memcpy(&w, reservoir + (pos >> 3) % 2048, sizeof w);
        bits = __builtin_bswap64(w) << (pos & 7);
        avail = 64 - (pos & 7);
    }
    // Makes sure the window holds n bits (at most 57).
    void ensure(unsigned n) {
        if (avail < n) refill();
    }
    void skip(unsigned n) {
        bits <<= n;
        pos += n;
        avail -= n;
    }
    unsigned take(unsigned n) {
        const unsigned value = static_cast<unsigned>(bits >> (64 - n));
        skip(n);
        return value;
    }
    // The sign bit that follows a value, read only when the value is not 0
    // (`nonzero` 0 or 1); without branches, since signs are unpredictable.
    uint64_t sign_of(unsigned nonzero) {
        const uint64_t negative = (bits >> 63) & nonzero;
        skip(nonzero);
        return negative;
    }
    // One Huffman symbol: at most 19 bits.
    unsigned symbol(const tables::HuffmanTable& table) {
        unsigned width = table.width;
        uint32_t base = table.base;
        for (;;) {
            const uint32_t entry = tables::kHuffmanNodes[base + (bits >> (64 - width))];
            if (!(entry & 0x80000000u)) {
                skip((entry >> 16) & 0xFFu);
                return entry & 0xFFFFu;
            }
            skip(width);
            width = (entry >> 24) & 0x7Fu;
            base = entry & 0xFFFFFFu;
        }
    }
};

// Bits a pair code can take with its linbits and signs, and a quadruple.
constexpr unsigned pair_bits(unsigned linbits) { return 19 + 2 * (linbits + 1); }
constexpr unsigned kQuadBits = 6 + 4;

// The magnitude with its sign bit set when `negative` is 1.
inline double signed_line(double magnitude, uint64_t negative) {
    uint64_t bits = 0;
    std::memcpy(&bits, &magnitude, sizeof bits);
    bits ^= negative << 63;
    std::memcpy(&magnitude, &bits, sizeof bits);
    return magnitude;
}

}  // namespace

int Decoder::spectrum_segments(const GranuleInfo& gi, int ch, Segment* segments) const {
    const int16_t* lb = tables::kLongBands[rate_index_];
    const int16_t* sb = tables::kShortBands[rate_index_];
    const int16_t* l = scalefac_l_[ch];
    const int16_t(*s)[13] = scalefac_s_[ch];
    const int k_steps = gi.scalefac_scale ? 2 : 1;  // k = 0.5 * k_steps
    const double a = g_global_gain[gi.global_gain & 255];
    int n = 0;
    auto long_bands = [&](int last_band) {
        for (int sfb = 0; sfb <= last_band; ++sfb)
            segments[n++] = {lb[sfb + 1], scale_step(k_steps * (l[sfb] + gi.preflag * kPretab[sfb])) * a};
    };
    auto short_bands = [&](int first_band) {
        int end = 3 * sb[first_band];
        for (int sfb = first_band; sfb < 13; ++sfb) {
            const int width = sb[sfb + 1] - sb[sfb];
            for (int w = 0; w < 3; ++w) {
                end += width;
                segments[n++] = {end,
                                 scale_step(k_steps * s[w][sfb]) * g_subblock_gain[gi.subblock_gain[w] & 7] * a};
            }
        }
    };
    if (gi.block_type == 2) {
        if (gi.mixed_block_flag) {
            long_bands(header_.id ? 7 : 5);
            short_bands(3);
        } else {
            short_bands(0);
        }
    } else {
        long_bands(21);
    }
    // A count1 quadruple may start at line 574: its last two lines fall here.
    segments[n++] = {kSpectrumRoom, 0.0};
    return n;
}

int Decoder::decode_spectrum(const GranuleInfo& gi, int ch) {
    ensure_power_table();
    Segment segments[kMaxSegments];
    spectrum_segments(gi, ch, segments);

    const int16_t* bands = tables::kLongBands[rate_index_];
    int region1 = 0;
    int region2 = 0;
    if (gi.window_switching_flag && gi.block_type == 2) {
        // Three windows of short bands 0-2: 36 lines at every standard rate,
        // 72 at 8000 Hz, where encoders put the boundary after short band 2 too.
        region1 = 3 * tables::kShortBands[rate_index_][3];
        region2 = 576;
    } else {
        // region0_count + region1_count + 2 can name a boundary past the last.
        const int b1 = gi.region0_count + 1;
        const int b2 = gi.region0_count + gi.region1_count + 2;
        region1 = bands[b1 < 22 ? b1 : 22];
        region2 = bands[b2 < 22 ? b2 : 22];
    }
    const int big_end = 2 * gi.big_values;
    const int starts[4] = {0, region1, region2, 576};

    BitReader in{reservoir_, res_pos_};
    double* out = xr_[ch];
    const Segment* segment = segments;
    int i = 0;
    for (int r = 0; r < 3; ++r) {
        int end = starts[r + 1] < big_end ? starts[r + 1] : big_end;
        if (r == 2) end = big_end;
        if (i >= end) continue;
        const tables::HuffmanTable& table = tables::kPairTables[gi.table_select[r] & 31];
        if (!table.has_codes) {
            for (; i < end; ++i) out[i] = 0.0;
            continue;
        }
        // Band boundaries are even, so both lines of a pair share one gain.
        const unsigned linbits = table.linbits;
        const unsigned need = pair_bits(linbits);
        for (; i < end; i += 2) {
            while (i >= segment->end) ++segment;
            in.ensure(need);
            const unsigned value = in.symbol(table);
            unsigned x = value >> 4;
            unsigned y = value & 15;
            if (linbits && x == 15) x += in.take(linbits);
            const uint64_t x_negative = in.sign_of(x != 0);
            if (linbits && y == 15) y += in.take(linbits);
            const uint64_t y_negative = in.sign_of(y != 0);
            out[i] = signed_line(g_power43[x] * segment->gain, x_negative);
            out[i + 1] = signed_line(g_power43[y] * segment->gain, y_negative);
        }
    }

    const tables::HuffmanTable& quad = gi.count1table_select ? tables::kQuadTableB : tables::kQuadTableA;
    const uint32_t length = gi.part2_3_length;
    const uint32_t start = granule_start_;
    bool quad_decoded = false;
    while (in.pos - start < length && i < 576) {
        in.ensure(kQuadBits);
        const unsigned value = in.symbol(quad);
        for (int k = 0; k < 4; ++k) {
            const unsigned v = (value >> (3 - k)) & 1u;
            const uint64_t negative = in.sign_of(v);
            while (i + k >= segment->end) ++segment;
            out[i + k] = signed_line(segment->gain * v, negative);
        }
        i += 4;
        quad_decoded = true;
    }
    const uint32_t used = in.pos - start;
    // Either way the next granule starts right after this one's bits. Only a
    // quadruple that ran past the end is dropped; an overrun in the big-value
    // region keeps its values.
    if (used > length && quad_decoded) i -= 4;
    res_pos_ = start + length;
    if (i > 576) i = 576;
    for (int k = i; k < 576; ++k) out[k] = 0.0;
    return i;
}

}  // namespace sonadyn
