// Stereo processing against hand-computed expectations. Each intensity or
// middle/side frame is compared with a plain stereo frame whose spectra are
// what the rules must produce, written with gains and scale factors that give
// the same factors (within the last bits of the doubles, hence 1 LSB).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "decoder/tests/frame_builder.h"
#include "testsupport/stream_feeder.h"

namespace {

using namespace sonadyn_test;
using Pcm = std::array<int16_t, 2304>;

// 44.1 kHz long band boundaries; 22.05 kHz ones for the lower rates.
const int kBands44[23] = {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};
const int kBands22[23] = {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576};

// Spectral values: +1 throughout the first 20 lines (so that no band there
// sums to 0), then a mix of -1, 0 and +1.
std::vector<int> pattern(int phase) {
    std::vector<int> q(576);
    for (int i = 0; i < 576; ++i) {
        q[static_cast<size_t>(i)] =
            i < 20 ? 1 : (((i + phase) % 5 == 0) ? 0 : ((((i * 7 + phase) / 3) & 1) ? -1 : 1));
    }
    return q;
}

// The pattern with the lines of the bands for which keep(band) is false zeroed.
template <typename Keep>
std::vector<int> only_bands(const std::vector<int>& q, const int* bands, Keep keep) {
    std::vector<int> out = q;
    for (int b = 0; b < 22; ++b)
        if (!keep(b))
            for (int i = bands[b]; i < bands[b + 1]; ++i) out[static_cast<size_t>(i)] = 0;
    return out;
}

Pcm decode_alone(const FrameDesc& desc) {
    FrameFeeder feeder;
    const std::vector<uint8_t> frame = build_frame(desc);
    testing::internal::CaptureStdout();
    feeder.feed(frame.data(), static_cast<int>(frame.size()), true);
    testing::internal::GetCapturedStdout();
    Pcm p;
    std::copy(feeder.pcm(), feeder.pcm() + 2304, p.begin());
    return p;
}

void expect_close(const Pcm& actual, const Pcm& expected, int entries) {
    int worst = 0;
    int nonzero = 0;
    for (int i = 0; i < entries; ++i) {
        worst = std::max(worst, std::abs(actual[static_cast<size_t>(i)] - expected[static_cast<size_t>(i)]));
        nonzero += expected[static_cast<size_t>(i)] != 0;
    }
    EXPECT_LE(worst, 1);
    EXPECT_GT(nonzero, entries / 4);
}

// Scale factors for 21 long bands: (value, width) in transmission order.
template <typename Value>
std::vector<std::pair<int, int>> long_scalefactors(int width_low, int width_high, int split, Value value) {
    std::vector<std::pair<int, int>> sf;
    for (int b = 0; b < 21; ++b) sf.push_back({value(b), b < split ? width_low : width_high});
    return sf;
}

TEST(IntensityStereo, Mpeg1PositionsSplitTheLeftChannelByTangentRule) {
    // Right channel empty: intensity starts at band 0. Positions: 3 (each
    // side half) for bands 0-10, 7 (not intensity, plain) for 11-20; band 21
    // follows band 20 (plain: the left keeps it, the right is empty).
    const int g = 170;
    FrameDesc is;
    is.version = Version::Mpeg1;
    is.mode = 1;
    is.mode_extension = 1;
    for (int gr = 0; gr < 2; ++gr) {
        GranuleDesc& left = is.granule[gr][0];
        left.global_gain = g;
        left.quads = pattern(gr);
        GranuleDesc& right = is.granule[gr][1];
        right.scalefac_compress = 13;  // slen 3 and 3
        right.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return b < 11 ? 3 : 7; });
    }
    FrameDesc plain;
    plain.version = Version::Mpeg1;
    plain.mode = 0;
    for (int gr = 0; gr < 2; ++gr) {
        GranuleDesc& left = plain.granule[gr][0];
        left.global_gain = g;
        left.scalefac_compress = 13;
        // A scale factor of 2 halves a band (2^-0.5 per step).
        left.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return b <= 10 ? 2 : 0; });
        left.quads = pattern(gr);
        GranuleDesc& right = plain.granule[gr][1];
        right.global_gain = g;
        right.scalefac_compress = 13;
        right.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return b <= 10 ? 2 : 0; });
        right.quads = only_bands(pattern(gr), kBands44, [](int b) { return b <= 10; });
    }
    expect_close(decode_alone(is), decode_alone(plain), 2304);
}

TEST(IntensityStereo, Mpeg1BandsBelowTheRightChannelsLastContentGetMiddleSide) {
    // The right channel repeats the left in bands 0-4, so intensity starts
    // at band 5; below it middle/side gives sqrt(2) times the left on the
    // left and nothing on the right. Above it, MS is also what position 7
    // bands get (the right channel there is 0: each side 2^-0.5 of the left),
    // and band 21 with them. The left's band 21 is left empty: no plain frame
    // can scale it by 2^-0.5 against a sqrt(2) in band 0.
    const int g = 170;
    auto low = [](int phase) { return only_bands(pattern(phase), kBands44, [](int b) { return b < 5; }); };
    auto below_top = [](int phase) { return only_bands(pattern(phase), kBands44, [](int b) { return b != 21; }); };
    FrameDesc is;
    is.version = Version::Mpeg1;
    is.mode = 1;
    is.mode_extension = 3;
    for (int gr = 0; gr < 2; ++gr) {
        is.granule[gr][0].global_gain = g;
        is.granule[gr][0].quads = below_top(gr);
        GranuleDesc& right = is.granule[gr][1];
        right.global_gain = g;
        right.scalefac_compress = 13;
        // Below the start the scale factors scale the right channel itself.
        right.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return b < 5 ? 0 : (b < 11 ? 3 : 7); });
        right.quads = low(gr);
    }
    FrameDesc plain;
    plain.version = Version::Mpeg1;
    plain.mode = 0;
    for (int gr = 0; gr < 2; ++gr) {
        // Left: gain + 2 steps (sqrt 2); then 3 steps down for half, 2 for 2^-0.5.
        GranuleDesc& left = plain.granule[gr][0];
        left.global_gain = g + 2;
        left.scalefac_compress = 13;
        left.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return b < 5 ? 0 : (b <= 10 ? 3 : 2); });
        left.quads = below_top(gr);
        // Right: nothing below the start; half, then 2^-0.5.
        GranuleDesc& right = plain.granule[gr][1];
        right.global_gain = g;
        right.scalefac_compress = 13;
        right.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return b < 5 ? 0 : (b <= 10 ? 2 : 1); });
        right.quads = only_bands(pattern(gr), kBands44, [](int b) { return b >= 5 && b != 21; });
    }
    expect_close(decode_alone(is), decode_alone(plain), 2304);
}

TEST(IntensityStereo, Mpeg2PositionsScaleOneSideByPowersOfTheIntensityBase) {
    // Right scalefac_compress odd: base 2^-0.5. Position 1: left * 2^-0.5;
    // position 2: right * 2^-0.5; position 0: both the left's values;
    // position 7 (the largest of 3 bits): not intensity (plain, right 0).
    // The right channel is empty, so band 0 is intensity-coded too; band 21
    // follows band 20.
    const int g = 170;
    auto position = [](int b) { return b < 7 ? 1 : (b < 14 ? 2 : (b < 18 ? 0 : 7)); };
    FrameDesc is;
    is.version = Version::Mpeg2;
    is.rate_code = 0;  // 22.05 kHz
    is.mode = 1;
    is.mode_extension = 1;
    is.granule[0][0].global_gain = g;
    is.granule[0][0].quads = pattern(3);
    GranuleDesc& right = is.granule[0][1];
    right.scalefac_compress = 259;  // intensity form: isc 129, slen 3, 3, 3
    right.scalefactors = long_scalefactors(3, 3, 21, position);
    FrameDesc plain;
    plain.version = Version::Mpeg2;
    plain.rate_code = 0;
    plain.mode = 0;
    GranuleDesc& l = plain.granule[0][0];
    l.global_gain = g;
    l.scalefac_compress = 101;  // slen 1, 1, 1, 1
    l.scalefactors = long_scalefactors(1, 1, 21, [&](int b) { return position(b) == 1 ? 1 : 0; });
    l.quads = pattern(3);
    GranuleDesc& r = plain.granule[0][1];
    r.global_gain = g;
    r.scalefac_compress = 101;
    r.scalefactors = long_scalefactors(1, 1, 21, [&](int b) { return position(b) == 2 ? 1 : 0; });
    r.quads = only_bands(pattern(3), kBands22, [&](int b) { return position(b) != 7; });
    expect_close(decode_alone(is), decode_alone(plain), 1152);
}

TEST(IntensityStereo, Mpeg2RightChannelCompressValuesBeyondTheTableReadNoScaleFactors) {
    // 510 and 511 fall outside the standard's ranges; like 0 they read no
    // scale-factor bits, so the right channel's own spectrum follows directly.
    auto frame = [](int right_compress) {
        FrameDesc f;
        f.version = Version::Mpeg2;
        f.rate_code = 0;
        f.mode = 1;
        f.mode_extension = 1;
        f.granule[0][0].global_gain = 170;
        f.granule[0][0].quads = pattern(1);
        GranuleDesc& right = f.granule[0][1];
        right.global_gain = 170;
        right.scalefac_compress = right_compress;
        // Negative values in bands 0-2: codewords and sign bits that would
        // read as non-zero scale factors.
        right.quads = only_bands(pattern(2), kBands22, [](int b) { return b < 3; });
        for (int& v : right.quads) v = -v;
        return decode_alone(f);
    };
    const Pcm reference = frame(0);
    expect_close(frame(510), reference, 1152);
    expect_close(frame(511), reference, 1152);
    EXPECT_EQ(frame(510), reference);
}

TEST(IntensityStereo, WithoutIntensityTheSearchDoesNotMatterAndMiddleSideCoversEveryBand) {
    const int g = 170;
    FrameDesc ms;
    ms.version = Version::Mpeg1;
    ms.mode = 1;
    ms.mode_extension = 2;
    for (int gr = 0; gr < 2; ++gr) {
        ms.granule[gr][0].global_gain = g;
        ms.granule[gr][0].quads = pattern(gr);
        ms.granule[gr][1].global_gain = g;
        ms.granule[gr][1].quads = pattern(gr);  // right = left: all goes left
    }
    FrameDesc plain;
    plain.version = Version::Mpeg1;
    plain.mode = 0;
    for (int gr = 0; gr < 2; ++gr) {
        plain.granule[gr][0].global_gain = g + 2;
        plain.granule[gr][0].quads = pattern(gr);
        plain.granule[gr][1].global_gain = g;
    }
    expect_close(decode_alone(ms), decode_alone(plain), 2304);
}

TEST(IntensityStereo, MixedBlockTakesLongRulesOnTheLongPartAndShortRulesPerWindowOnTheRest) {
    // 44.1 kHz mixed block: long bands 0-7 (lines 0-35), then short bands
    // 3-12 by window. Right channel empty: the long part's intensity starts
    // at band 0, each window's at short band 3. Positions: long bands 0-7 and
    // short bands 3-8 at 3 (halves), short bands 9-11 at 7 (plain), short
    // band 12 following band 11 (plain).
    const int short_start[14] = {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192};
    auto mixed = [](GranuleDesc& g) {
        g.window_switching = 1;
        g.block_type = 2;
        g.mixed = 1;
    };
    // Zeroes the lines of the short bands (of every window) for which keep is false.
    auto short_only = [&](std::vector<int> q, auto keep) {
        for (int b = 3; b < 13; ++b) {
            if (keep(b)) continue;
            for (int i = 3 * short_start[b]; i < 3 * short_start[b + 1]; ++i) q[static_cast<size_t>(i)] = 0;
        }
        return q;
    };
    // Mixed-block scale factors: long 0-7 (slen1), short 3-11 x 3 windows
    // (slen1 for 3-5, slen2 for 6-11).
    auto mixed_scalefactors = [](auto long_value, auto short_value) {
        std::vector<std::pair<int, int>> sf;
        for (int b = 0; b < 8; ++b) sf.push_back({long_value(b), 3});
        for (int b = 3; b < 12; ++b)
            for (int w = 0; w < 3; ++w) sf.push_back({short_value(b), 3});
        return sf;
    };
    const int g = 170;
    FrameDesc is;
    is.version = Version::Mpeg1;
    is.mode = 1;
    is.mode_extension = 1;
    for (int gr = 0; gr < 2; ++gr) {
        GranuleDesc& left = is.granule[gr][0];
        mixed(left);
        left.global_gain = g;
        left.quads = pattern(gr);
        GranuleDesc& right = is.granule[gr][1];
        mixed(right);
        right.scalefac_compress = 13;  // slen 3 and 3
        right.scalefactors = mixed_scalefactors([](int) { return 3; }, [](int b) { return b <= 8 ? 3 : 7; });
    }
    FrameDesc plain;
    plain.version = Version::Mpeg1;
    plain.mode = 0;
    for (int gr = 0; gr < 2; ++gr) {
        GranuleDesc& left = plain.granule[gr][0];
        mixed(left);
        left.global_gain = g;
        left.scalefac_compress = 13;
        left.scalefactors = mixed_scalefactors([](int) { return 2; }, [](int b) { return b <= 8 ? 2 : 0; });
        left.quads = pattern(gr);
        GranuleDesc& right = plain.granule[gr][1];
        mixed(right);
        right.global_gain = g;
        right.scalefac_compress = 13;
        right.scalefactors = mixed_scalefactors([](int) { return 2; }, [](int b) { return b <= 8 ? 2 : 0; });
        right.quads = short_only(pattern(gr), [](int b) { return b <= 8; });
    }
    expect_close(decode_alone(is), decode_alone(plain), 2304);
}

// ------------------------------------------------- lower sampling frequencies
//
// MPEG-2 at 22.05 kHz with intensity on and MS off. The right channel sends
// big_values 0 and no count1 values, so it is empty and intensity starts at
// the lowest band; its positions are read with widths 4, 5 and 5, so that 15
// and 31 are the partition maxima (not intensity-coded) and 7 is a position.
// Each case is compared with a plain stereo frame. Its scale factors give the
// powers of the intensity base: with base 2^-0.5 one step per power, with
// 2^-0.25 one step per two (every power below is even). The top band has no
// scale factor: the intensity frame's left channel is lowered by e steps in
// every other band and the plain right channel's gain by e steps, where e is
// what the band below the top gives the right side.

const int kShort22[14] = {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192};
const int kRightWide = 358;  // intensity form: isc 179, slen 4, 5, 5
const int kPlainCompress = 303;  // slen 3, 3, 3, 3 for 6, 5, 5, 5 long / 9 x 4 short
const int kLongCounts[4] = {6, 5, 5, 5};
const int kShortCounts[4] = {9, 9, 9, 9};
const int kWideLongCounts[4] = {7, 7, 7, 0};
const int kWideShortCounts[4] = {12, 12, 12, 0};
const int kWideWidths[4] = {4, 5, 5, 0};
const int kPlainWidths[4] = {3, 3, 3, 3};

// What an MPEG-2 position gives each side, in scale-factor steps.
struct Sides {
    bool coded;
    int left;
    int right;
};
Sides sides_of(int position, int width, bool half_base) {
    if (position == (1 << width) - 1) return {false, 0, 0};
    const int power = (position & 1) ? (position + 1) / 2 : position / 2;
    EXPECT_TRUE(half_base || power % 2 == 0) << "position " << position;
    const int steps = half_base ? power : power / 2;
    return (position & 1) ? Sides{true, steps, 0} : Sides{true, 0, steps};
}

// Channel 1's granule moved next to channel 0's, for comparing both.
Pcm both_channels(Pcm p) {
    std::copy(p.begin() + 1152, p.begin() + 1728, p.begin() + 576);
    return p;
}

FrameDesc lsf_frame(int mode) {
    FrameDesc f;
    f.version = Version::Mpeg2;
    f.rate_code = 0;
    f.mode = mode;
    f.mode_extension = mode == 1 ? 1 : 0;
    return f;
}

std::vector<int> repeat(int value, size_t n) { return std::vector<int>(n, value); }

// The sides of `bands` bands (4-bit positions below first_wide, 5-bit from
// there), and of the top band, which follows the one below it.
std::vector<Sides> band_sides(const int* positions, int bands, int first_wide, bool half_base) {
    std::vector<Sides> sides;
    for (int b = 0; b < bands; ++b) sides.push_back(sides_of(positions[b], b < first_wide ? 4 : 5, half_base));
    sides.push_back(sides.back());
    return sides;
}

void check_lsf_long(int right_compress, int left_compress) {
    const int positions[21] = {3, 15, 7, 4, 0, 8, 0, 31, 7, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4};
    const std::vector<Sides> sides = band_sides(positions, 21, 7, right_compress & 1);
    const int e = sides[20].right;
    const int g = 170;

    FrameDesc is = lsf_frame(1);
    GranuleDesc& left = is.granule[0][0];
    left.global_gain = g;
    left.scalefac_compress = left_compress;
    const int left_widths[4] = {3, 3, 3, left_compress & 1 ? 3 : 2};
    left.scalefactors = partition_scalefactors(kLongCounts, left_widths, repeat(e, 21));
    left.quads = pattern(3);
    GranuleDesc& right = is.granule[0][1];
    right.global_gain = 140;
    right.scalefac_compress = right_compress;
    right.big_values = 0;
    right.scalefactors = partition_scalefactors(kWideLongCounts, kWideWidths, {positions, positions + 21});

    FrameDesc plain = lsf_frame(0);
    std::vector<int> left_steps;
    std::vector<int> right_steps;
    for (int b = 0; b < 21; ++b) {
        left_steps.push_back(e + sides[b].left);
        right_steps.push_back(sides[b].right);
    }
    GranuleDesc& l = plain.granule[0][0];
    l.global_gain = g;
    l.scalefac_compress = kPlainCompress;
    l.scalefactors = partition_scalefactors(kLongCounts, kPlainWidths, left_steps);
    l.quads = pattern(3);
    GranuleDesc& r = plain.granule[0][1];
    r.global_gain = g - 2 * e;
    r.scalefac_compress = kPlainCompress;
    r.scalefactors = partition_scalefactors(kLongCounts, kPlainWidths, right_steps);
    r.quads = only_bands(pattern(3), kBands22, [&](int b) { return sides[b].coded; });
    expect_close(both_channels(decode_alone(is)), both_channels(decode_alone(plain)), 1152);
}

TEST(LsfIntensityStereo, LongBandsTakeTheirMarkerFromTheirWidthAndTheBaseFromTheRightChannel) {
    // Right compress even: base 2^-0.25; odd: 2^-0.5; the left's parity with
    // and against it.
    for (const auto& [right, left] : {std::pair{kRightWide, 303}, std::pair{kRightWide + 1, 302},
                                      std::pair{kRightWide, 302}, std::pair{kRightWide + 1, 303}}) {
        SCOPED_TRACE(testing::Message() << "right " << right << " left " << left);
        check_lsf_long(right, left);
    }
}

void check_lsf_short(int right_compress, int left_compress) {
    const int positions[12] = {3, 15, 7, 4, 31, 7, 8, 0, 3, 3, 3, 4};
    const std::vector<Sides> sides = band_sides(positions, 12, 4, right_compress & 1);
    const int e = sides[11].right;
    const int g = 170;
    auto short_block = [](GranuleDesc& d) {
        d.window_switching = 1;
        d.block_type = 2;
    };
    // Transmission order: by band, the three windows within each.
    auto by_window = [](auto value) {
        std::vector<int> v;
        for (int b = 0; b < 12; ++b)
            for (int w = 0; w < 3; ++w) v.push_back(value(b));
        return v;
    };

    FrameDesc is = lsf_frame(1);
    GranuleDesc& left = is.granule[0][0];
    short_block(left);
    left.global_gain = g;
    left.scalefac_compress = left_compress;
    const int left_widths[4] = {3, 3, 3, left_compress & 1 ? 3 : 2};
    left.scalefactors = partition_scalefactors(kShortCounts, left_widths, by_window([&](int) { return e; }));
    left.quads = pattern(3);
    GranuleDesc& right = is.granule[0][1];
    short_block(right);
    right.global_gain = 140;
    right.scalefac_compress = right_compress;
    right.big_values = 0;
    right.scalefactors =
        partition_scalefactors(kWideShortCounts, kWideWidths, by_window([&](int b) { return positions[b]; }));

    FrameDesc plain = lsf_frame(0);
    GranuleDesc& l = plain.granule[0][0];
    short_block(l);
    l.global_gain = g;
    l.scalefac_compress = kPlainCompress;
    l.scalefactors =
        partition_scalefactors(kShortCounts, kPlainWidths, by_window([&](int b) { return e + sides[b].left; }));
    l.quads = pattern(3);
    GranuleDesc& r = plain.granule[0][1];
    short_block(r);
    r.global_gain = g - 2 * e;
    r.scalefac_compress = kPlainCompress;
    r.scalefactors = partition_scalefactors(kShortCounts, kPlainWidths, by_window([&](int b) { return sides[b].right; }));
    std::vector<int> q = pattern(3);
    for (int b = 0; b < 13; ++b)
        if (!sides[b].coded)
            for (int i = 3 * kShort22[b]; i < 3 * kShort22[b + 1]; ++i) q[static_cast<size_t>(i)] = 0;
    r.quads = q;
    expect_close(both_channels(decode_alone(is)), both_channels(decode_alone(plain)), 1152);
}

TEST(LsfIntensityStereo, ShortBandsFollowTheSameRulesAndBand12FollowsBand11) {
    for (const auto& [right, left] : {std::pair{kRightWide, 303}, std::pair{kRightWide + 1, 302}}) {
        SCOPED_TRACE(testing::Message() << "right " << right << " left " << left);
        check_lsf_short(right, left);
    }
}

TEST(LsfIntensityStereo, IntensityStartingAtTheTopBandUsesPositionZeroThere) {
    // Right-channel content in band 20 (all +1, so that it does not sum to 0)
    // puts the start at band 21, which then gets both sides of the left.
    const int g = 170;
    std::vector<int> band20(524, 0);
    for (int i = kBands22[20]; i < kBands22[21]; ++i) band20[static_cast<size_t>(i)] = 1;
    FrameDesc is = lsf_frame(1);
    is.granule[0][0].global_gain = g;
    is.granule[0][0].quads = pattern(4);
    GranuleDesc& right = is.granule[0][1];
    right.global_gain = g;
    right.scalefac_compress = kRightWide;
    right.scalefactors = partition_scalefactors(kWideLongCounts, kWideWidths, repeat(0, 21));
    right.quads = band20;
    FrameDesc plain = lsf_frame(0);
    plain.granule[0][0].global_gain = g;
    plain.granule[0][0].quads = pattern(4);
    plain.granule[0][1].global_gain = g;
    std::vector<int> q = only_bands(pattern(4), kBands22, [](int b) { return b == 21; });
    std::copy(band20.begin(), band20.end() - 2, q.begin());
    plain.granule[0][1].quads = q;
    expect_close(both_channels(decode_alone(is)), both_channels(decode_alone(plain)), 1152);
}

// ---------------------------------------------------------------- mode changes

FrameDesc stereo_frame(int phase_left, int phase_right) {
    FrameDesc f;
    f.version = Version::Mpeg1;
    f.mode = 0;
    for (int gr = 0; gr < 2; ++gr) {
        f.granule[gr][0].global_gain = 165;
        f.granule[gr][0].quads = pattern(phase_left + gr);
        f.granule[gr][1].global_gain = 165;
        f.granule[gr][1].quads = pattern(phase_right + gr);
    }
    return f;
}

FrameDesc mono_frame(int phase) {
    FrameDesc f;
    f.version = Version::Mpeg1;
    f.mode = 3;
    for (int gr = 0; gr < 2; ++gr) {
        f.granule[gr][0].global_gain = 165;
        f.granule[gr][0].quads = pattern(phase + gr);
    }
    return f;
}

std::vector<Pcm> decode_sequence(const std::vector<FrameDesc>& descs) {
    FrameFeeder feeder;
    std::vector<Pcm> out;
    bool first = true;
    for (const FrameDesc& s : descs) {
        const std::vector<uint8_t> frame = build_frame(s);
        feeder.feed(frame.data(), static_cast<int>(frame.size()), first);
        first = false;
        Pcm p;
        std::copy(feeder.pcm(), feeder.pcm() + 2304, p.begin());
        out.push_back(p);
    }
    return out;
}

TEST(ModeChanges, MonoFrameBetweenStereoFramesLeavesTheRightChannelsMemoriesAlone) {
    const auto with_mono = decode_sequence({stereo_frame(0, 1), mono_frame(2), stereo_frame(3, 4)});
    const auto without = decode_sequence({stereo_frame(0, 1), stereo_frame(3, 4)});
    // The right channel of the last frame continues from the first frame.
    EXPECT_TRUE(std::equal(with_mono[2].begin() + 1152, with_mono[2].end(), without[1].begin() + 1152));
    // The mono frame leaves the right channel's output entries as they were.
    EXPECT_TRUE(std::equal(with_mono[1].begin() + 1152, with_mono[1].end(), with_mono[0].begin() + 1152));
}

TEST(ModeChanges, LeftChannelContinuesAcrossStereoAndMonoFrames) {
    const auto mixed = decode_sequence({stereo_frame(0, 1), mono_frame(2), stereo_frame(3, 4)});
    const auto mono = decode_sequence({mono_frame(0), mono_frame(2), mono_frame(3)});
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(std::equal(mixed[static_cast<size_t>(k)].begin(), mixed[static_cast<size_t>(k)].begin() + 1152,
                               mono[static_cast<size_t>(k)].begin()))
            << "frame " << k;
}

}  // namespace
