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
#include "decoder/tests/stream_feeder.h"

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
    // Right channel empty: intensity starts at band 1. Positions: 3 (each
    // side half) for bands 1-10, 7 (not intensity, plain) for 11-20, and the
    // implicit 0 of band 21 (all to the right).
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
        left.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return (b >= 1 && b <= 10) ? 2 : 0; });
        left.quads = only_bands(pattern(gr), kBands44, [](int b) { return b != 21; });
        GranuleDesc& right = plain.granule[gr][1];
        right.global_gain = g;
        right.scalefac_compress = 13;
        right.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return (b >= 1 && b <= 10) ? 2 : 0; });
        right.quads = only_bands(pattern(gr), kBands44, [](int b) { return (b >= 1 && b <= 10) || b == 21; });
    }
    expect_close(decode_alone(is), decode_alone(plain), 2304);
}

TEST(IntensityStereo, Mpeg1BandsBelowTheRightChannelsLastContentGetMiddleSide) {
    // The right channel repeats the left in bands 0-4, so intensity starts
    // at band 5; below it middle/side gives sqrt(2) times the left on the
    // left and nothing on the right. Above it, MS is also what position 7
    // bands get (the right channel there is 0: each side 2^-0.5 of the left).
    const int g = 170;
    auto low = [](int phase) { return only_bands(pattern(phase), kBands44, [](int b) { return b < 5; }); };
    FrameDesc is;
    is.version = Version::Mpeg1;
    is.mode = 1;
    is.mode_extension = 3;
    for (int gr = 0; gr < 2; ++gr) {
        is.granule[gr][0].global_gain = g;
        is.granule[gr][0].quads = pattern(gr);
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
        left.quads = only_bands(pattern(gr), kBands44, [](int b) { return b != 21; });
        // Right: nothing below the start; half, 2^-0.5, and all of band 21.
        GranuleDesc& right = plain.granule[gr][1];
        right.global_gain = g;
        right.scalefac_compress = 13;
        right.scalefactors = long_scalefactors(3, 3, 11, [](int b) { return b < 5 ? 0 : (b <= 10 ? 2 : 1); });
        right.quads = only_bands(pattern(gr), kBands44, [](int b) { return b >= 5; });
    }
    expect_close(decode_alone(is), decode_alone(plain), 2304);
}

TEST(IntensityStereo, Mpeg2PositionsScaleOneSideByPowersOfTheIntensityBase) {
    // Left scalefac_compress even: base 2^-0.5. Position 1: left * 2^-0.5;
    // position 2: right * 2^-0.5; position 0: both the left's values;
    // position 7: not intensity (plain, right 0). Band 21: position 0.
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
    right.scalefac_compress = 258;  // intensity form: isc 129, slen 3, 3, 3
    right.scalefactors = long_scalefactors(3, 3, 21, position);
    FrameDesc plain;
    plain.version = Version::Mpeg2;
    plain.rate_code = 0;
    plain.mode = 0;
    GranuleDesc& l = plain.granule[0][0];
    l.global_gain = g;
    l.scalefac_compress = 101;  // slen 1, 1, 1, 1
    // Band 0 is below the intensity start: plain.
    l.scalefactors = long_scalefactors(1, 1, 21, [&](int b) { return b > 0 && position(b) == 1 ? 1 : 0; });
    l.quads = pattern(3);
    GranuleDesc& r = plain.granule[0][1];
    r.global_gain = g;
    r.scalefac_compress = 101;
    r.scalefactors = long_scalefactors(1, 1, 21, [&](int b) { return position(b) == 2 ? 1 : 0; });
    r.quads = only_bands(pattern(3), kBands22, [&](int b) { return b != 0 && (b == 21 || position(b) != 7); });
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
    // at band 1, each window's at short band 3. Positions: long bands 1-7 and
    // short bands 3-8 at 3 (halves), short bands 9-11 at 7 (plain), short
    // band 12 the implicit 0 (all right).
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
        left.scalefactors = mixed_scalefactors([](int b) { return b == 0 ? 0 : 2; }, [](int b) { return b <= 8 ? 2 : 0; });
        left.quads = short_only(pattern(gr), [](int b) { return b != 12; });
        GranuleDesc& right = plain.granule[gr][1];
        mixed(right);
        right.global_gain = g;
        right.scalefac_compress = 13;
        right.scalefactors = mixed_scalefactors([](int) { return 2; }, [](int b) { return b <= 8 ? 2 : 0; });
        std::vector<int> q = short_only(pattern(gr), [](int b) { return b <= 8 || b == 12; });
        for (int i = 0; i < 4; ++i) q[static_cast<size_t>(i)] = 0;  // long band 0: plain, right empty
        right.quads = q;
    }
    expect_close(decode_alone(is), decode_alone(plain), 2304);
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
