// Reordering, alias reduction, IMDCT with overlap-add, frequency inversion,
// polyphase synthesis and the conversion to 16-bit samples.
#include <cstring>

#include "decoder/decoder.h"
#include "decoder/filterbank.h"
#include "decoder/tables.h"

namespace sonadyn {

namespace {

void reorder_short(const double* in, double* out, const int16_t* sb, int first_band) {
    for (int sfb = first_band; sfb < 13; ++sfb) {
        const int start = sb[sfb];
        const int width = sb[sfb + 1] - start;
        for (int w = 0; w < 3; ++w) {
            const double* src = in + 3 * start + w * width;
            double* dst = out + 3 * start + w;
            for (int f = 0; f < width; ++f) dst[3 * f] = src[f];
        }
    }
}

void alias_reduce(double* x, int boundaries) {
    for (int sb = 0; sb < boundaries; ++sb) {
        double* up = x + 18 * sb + 17;
        double* down = x + 18 * (sb + 1);
        for (int i = 0; i < 8; ++i) {
            const double bu = up[-i];
            const double bd = down[i];
            up[-i] = bu * tables::kAliasCs[i] - bd * tables::kAliasCa[i];
            down[i] = bd * tables::kAliasCs[i] + bu * tables::kAliasCa[i];
        }
    }
}

bool all_zero(const double* x, int n) {
    for (int i = 0; i < n; ++i)
        if (x[i] != 0.0) return false;
    return true;
}

}  // namespace

void Decoder::synthesize_granule(int gr, int ch) {
    const GranuleInfo& gi = side_[gr][ch];
    const bool short_blocks = gi.block_type == 2;
    const bool mixed = short_blocks && gi.mixed_block_flag;
    // The mixed flag gives the two lowest subbands the normal window whatever
    // the block type; without switching the flag is a stale value.
    const bool normal_low = gi.window_switching_flag && gi.mixed_block_flag;
    double reordered[576];
    // A single channel passes the stereo stage unchanged, so it is read where
    // it was requantised.
    double* x = channels_ == 1 ? xr_[0] : lr_[ch];
    int active_lines = xr_end_[ch];

    if (short_blocks) {
        const int16_t* sb = tables::kShortBands[rate_index_];
        if (mixed) {
            std::memset(reordered, 0, sizeof reordered);
            std::memcpy(reordered, x, 36 * sizeof(double));
            reorder_short(x, reordered, sb, 3);
        } else {
            reorder_short(x, reordered, sb, 0);
        }
        x = reordered;
        // Reordering keeps each value inside its short band.
        int band = 0;
        while (band < 13 && 3 * sb[band] < active_lines) ++band;
        active_lines = 3 * sb[band];
        if (mixed) {
            const int boundaries = rate_index_ == 8 ? 3 : 1;
            alias_reduce(x, boundaries);
            if (active_lines < 18 * boundaries + 8) active_lines = 18 * boundaries + 8;
        }
    } else {
        alias_reduce(x, 31);
        // Alias reduction reaches 8 lines into the next subband.
        active_lines += 8;
    }

    // Subbands whose input and overlap are all zero give zero output, so the
    // transforms can stop at the highest subband that has either.
    int active = (active_lines + 17) / 18;
    if (active > 32) active = 32;
    while (active > 0 && all_zero(x + 18 * (active - 1), 18)) --active;
    // Only the subbands transformed last time can hold overlap.
    const int with_overlap = active > overlap_bands_[ch] ? active : overlap_bands_[ch];
    overlap_bands_[ch] = static_cast<uint8_t>(active);

    // The transforms first, two long subbands at a time where they can.
    const FilterBank& bank = filter_bank();
    alignas(32) double outs[32][36];
    auto type_of = [&](int sb) { return (normal_low && sb < 2) ? 0 : gi.block_type; };
    for (int sb = 0; sb < active;) {
        const int type = type_of(sb);
        if (type == 2) {
            bank.imdct_short(x + 18 * sb, outs[sb]);
            ++sb;
        } else if (sb + 1 < active && type_of(sb + 1) == type) {
            bank.imdct_long_pair(x + 18 * sb, type, outs[sb]);
            sb += 2;
        } else {
            bank.imdct_long(x + 18 * sb, type, outs[sb]);
            ++sb;
        }
    }
    // Overlap-add in groups of four subbands; those past with_overlap have
    // neither output nor overlap, so adding them changes nothing.
    const int groups = (with_overlap + 3) / 4;
    for (int sb = active; sb < 4 * groups; ++sb) std::memset(outs[sb], 0, sizeof outs[sb]);
    alignas(32) double slots[18][32];
    bank.overlap_add(outs, overlap_[ch], groups, slots);
    for (int q = 0; q < 18; ++q)
        for (int sb = 4 * groups; sb < 32; ++sb) slots[q][sb] = 0.0;

    int16_t* pcm = pcm_ + 1152 * ch + 576 * gr;
    double* fifo = fifo_[ch];
    for (int t = 0; t < 18; ++t) {
        fifo_offset_[ch] = static_cast<uint16_t>((fifo_offset_[ch] + 1024 - 64) % 1024);
        bank.polyphase(slots[t], with_overlap, fifo, fifo_offset_[ch], pcm + 32 * t);
    }
}

}  // namespace sonadyn
