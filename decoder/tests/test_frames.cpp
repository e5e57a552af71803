// The entry point's contract on hand-made frames: results, what is written and
// what is left alone, the diagnostics, the bit reservoir and the side
// information cases the peer streams never contain.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "decoder/sonadyn.h"
#include "decoder/tests/frame_builder.h"
#include "testsupport/stream_feeder.h"

namespace {

using namespace sonadyn_test;
using Pcm = std::array<int16_t, 2304>;

const char kSyncMessage[] = "Frame error due to sync error!!\n";
const char kShortageMessage[] = "Frame error due to shortage of main_data!!\n";

// Alternating signs over `lines` lines, then zeros, as count1 quadruples.
std::vector<int> ramp_quads(int lines, int phase = 0) {
    std::vector<int> q(static_cast<size_t>(lines));
    for (int i = 0; i < lines; ++i) q[static_cast<size_t>(i)] = ((i + phase) % 3 == 0) ? 0 : (((i / 2 + phase) & 1) ? -1 : 1);
    return q;
}

GranuleDesc tone_granule(int lines = 96, int phase = 0) {
    GranuleDesc g;
    g.global_gain = 160;
    g.quads = ramp_quads(lines, phase);
    return g;
}

FrameDesc mono_mpeg1() {
    FrameDesc f;
    f.version = Version::Mpeg1;
    f.mode = 3;
    f.granule[0][0] = tone_granule(96, 0);
    f.granule[1][0] = tone_granule(96, 1);
    return f;
}

FrameDesc mono_lsf(Version v = Version::Mpeg2, int rate_code = 2) {
    FrameDesc f;
    f.version = v;
    f.rate_code = rate_code;
    f.mode = 3;
    f.granule[0][0] = tone_granule(120, 0);
    return f;
}

struct Call {
    int16_t result;
    std::string output;  // standard output during the call
};

// Decodes one frame with a feeder, capturing standard output.
Call feed(FrameFeeder& feeder, const std::vector<uint8_t>& frame, bool first) {
    testing::internal::CaptureStdout();
    const int16_t r = feeder.feed(frame.data(), static_cast<int>(frame.size()), first);
    return {r, testing::internal::GetCapturedStdout()};
}

Pcm snapshot(FrameFeeder& feeder) {
    Pcm p;
    std::copy(feeder.pcm(), feeder.pcm() + 2304, p.begin());
    return p;
}

void prefill(FrameFeeder& feeder, int16_t value) { std::fill(feeder.pcm(), feeder.pcm() + 2304, value); }

bool any_nonzero(const Pcm& p, int from, int to) {
    return std::any_of(p.begin() + from, p.begin() + to, [](int16_t v) { return v != 0; });
}

Pcm decode_alone(const std::vector<uint8_t>& frame) {
    FrameFeeder feeder;
    feed(feeder, frame, true);
    return snapshot(feeder);
}

// ---------------------------------------------------------------- results

TEST(FrameResults, InvalidSyncFieldsReturnZeroReportAndLeaveTheOutputAlone) {
    for (unsigned sync : {0xFFDu, 0x000u, 0x7FFu, 0xFFCu, 0xEFFu}) {
        std::vector<uint8_t> frame = build_frame(mono_mpeg1());
        frame[0] = static_cast<uint8_t>(sync >> 4);
        frame[1] = static_cast<uint8_t>((frame[1] & 0x0F) | ((sync & 0xF) << 4));
        FrameFeeder feeder;
        prefill(feeder, 1234);
        const Call c = feed(feeder, frame, true);
        EXPECT_EQ(c.result, 0) << std::hex << sync;
        EXPECT_EQ(c.output, kSyncMessage);
        EXPECT_TRUE(std::all_of(feeder.pcm(), feeder.pcm() + 2304, [](int16_t v) { return v == 1234; }));
    }
}

TEST(FrameResults, ReservedSamplingFrequencyIsTreatedAsASyncError) {
    FrameDesc desc = mono_mpeg1();
    desc.rate_code = 3;
    FrameFeeder feeder;
    prefill(feeder, 99);
    const Call c = feed(feeder, build_frame(desc), true);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.output, kSyncMessage);
    EXPECT_EQ(feeder.pcm()[0], 99);
}

TEST(FrameResults, FramesOfOtherLayersReturnTheSampleCountAndDecodeNothing) {
    struct Row {
        Version version;
        int layer_field;
        int16_t expected;
    };
    const Row rows[] = {{Version::Mpeg1, 2, 1152}, {Version::Mpeg1, 3, 1152}, {Version::Mpeg1, 0, 1152},
                        {Version::Mpeg2, 2, 576},  {Version::Mpeg25, 3, 576}};
    for (const Row& row : rows) {
        FrameDesc desc = row.version == Version::Mpeg1 ? mono_mpeg1() : mono_lsf(row.version);
        desc.layer_field = row.layer_field;
        FrameFeeder feeder;
        prefill(feeder, -7);
        const Call c = feed(feeder, build_frame(desc), true);
        EXPECT_EQ(c.result, row.expected) << "layer field " << row.layer_field;
        EXPECT_EQ(c.output, "");
        EXPECT_TRUE(std::all_of(feeder.pcm(), feeder.pcm() + 2304, [](int16_t v) { return v == -7; }));
    }
}

TEST(FrameResults, LayerTwoFrameBetweenLayerThreeFramesLeavesTheStreamUnchanged) {
    // Its bytes do not enter the reservoir: the next frame reaching back
    // finds the previous Layer III frame's main data.
    FrameDesc first = mono_mpeg1();
    const std::vector<uint8_t> a = build_frame(first);
    FrameDesc layer2 = mono_mpeg1();
    layer2.layer_field = 2;
    const std::vector<uint8_t> b = build_frame(layer2);
    FrameDesc back = mono_mpeg1();
    back.granule[0][0].quads.clear();
    back.granule[1][0].quads.clear();
    back.main_data_begin = static_cast<int>(build_frame_parts(first).main_data.size());
    const std::vector<uint8_t> c = build_frame(back);  // decodes a's main data again

    FrameFeeder with_layer2;
    feed(with_layer2, a, true);
    feed(with_layer2, b, false);
    const Call call = feed(with_layer2, c, false);
    EXPECT_EQ(call.output, "");
    FrameFeeder without;
    feed(without, a, true);
    feed(without, c, false);
    EXPECT_EQ(snapshot(with_layer2), snapshot(without));
}

TEST(FrameResults, MonoLsfFrameWritesOnlyTheFirstGranuleOfChannelZero) {
    FrameFeeder feeder;
    prefill(feeder, 555);
    const Call c = feed(feeder, build_frame(mono_lsf()), true);
    EXPECT_EQ(c.result, 576);
    const Pcm p = snapshot(feeder);
    EXPECT_TRUE(std::none_of(p.begin(), p.begin() + 576, [](int16_t v) { return v == 555; }));
    EXPECT_TRUE(std::all_of(p.begin() + 576, p.end(), [](int16_t v) { return v == 555; }));
}

TEST(FrameResults, StereoLsfFrameWritesTheFirstGranuleOfBothChannels) {
    FrameDesc desc = mono_lsf();
    desc.mode = 0;
    desc.granule[0][1] = tone_granule(60, 2);
    FrameFeeder feeder;
    prefill(feeder, 555);
    EXPECT_EQ(feed(feeder, build_frame(desc), true).result, 576);
    const Pcm p = snapshot(feeder);
    EXPECT_TRUE(std::none_of(p.begin(), p.begin() + 576, [](int16_t v) { return v == 555; }));
    EXPECT_TRUE(std::all_of(p.begin() + 576, p.begin() + 1152, [](int16_t v) { return v == 555; }));
    EXPECT_TRUE(std::none_of(p.begin() + 1152, p.begin() + 1728, [](int16_t v) { return v == 555; }));
    EXPECT_TRUE(std::all_of(p.begin() + 1728, p.end(), [](int16_t v) { return v == 555; }));
}

TEST(FrameResults, FfeSyncSelectsTheMpeg25RowsOfTheBandTables) {
    // Scale factors that differ per band make the output depend on the band
    // boundaries: 11025 Hz shares the 16000 Hz row, 8000 Hz has its own.
    auto with_scalefactors = [](Version v, int rate_code) {
        FrameDesc f = mono_lsf(v, rate_code);
        GranuleDesc& g = f.granule[0][0];
        g.scalefac_compress = 202;  // slen 2, 2, 2, 2 for 6, 5, 5, 5 bands
        for (int band = 0; band < 21; ++band) g.scalefactors.push_back({band % 4, 2});
        g.quads = ramp_quads(400);
        return build_frame(f);
    };
    const Pcm at16k = decode_alone(with_scalefactors(Version::Mpeg2, 2));
    const Pcm at11k = decode_alone(with_scalefactors(Version::Mpeg25, 0));
    const Pcm at8k = decode_alone(with_scalefactors(Version::Mpeg25, 2));
    FrameFeeder feeder;
    EXPECT_EQ(feed(feeder, with_scalefactors(Version::Mpeg25, 2), true).result, 576);
    EXPECT_TRUE(any_nonzero(at16k, 0, 576));
    EXPECT_EQ(at11k, at16k);
    EXPECT_NE(at8k, at16k);
}

// ---------------------------------------------------------------- state

TEST(FrameState, FirstFlagMakesTheSameFrameDecodeTheSameEveryTime) {
    const std::vector<uint8_t> a = build_frame(mono_mpeg1());
    FrameDesc other = mono_mpeg1();
    other.granule[0][0] = tone_granule(200, 2);
    const std::vector<uint8_t> b = build_frame(other);

    FrameFeeder feeder;
    feed(feeder, a, true);
    const Pcm once = snapshot(feeder);
    feed(feeder, a, true);
    EXPECT_EQ(snapshot(feeder), once);
    feed(feeder, b, false);
    feed(feeder, b, false);
    feed(feeder, a, false);
    EXPECT_NE(snapshot(feeder), once);  // the filter memories carry b
    feed(feeder, a, true);
    EXPECT_EQ(snapshot(feeder), once);
}

TEST(FrameState, OnlyTheLowEightBitsOfTheFirstFlagCount) {
    const std::vector<uint8_t> a = build_frame(mono_mpeg1());
    const Pcm reference = decode_alone(a);
    FrameFeeder feeder;
    feed(feeder, a, true);
    feed(feeder, a, false);
    ASSERT_NE(snapshot(feeder), reference);
    // 0x100 has no bit in the low byte: no reset.
    const uint16_t start = feeder.position();
    for (size_t i = 0; i < a.size(); ++i) feeder.ring()[(start + 1 + i) % 4096] = a[i];
    testing::internal::CaptureStdout();
    mp3_lib(0x100, feeder.ring(), start, static_cast<int32_t>(a.size()) - 4, feeder.pcm());
    testing::internal::GetCapturedStdout();
    EXPECT_NE(snapshot(feeder), reference);
    testing::internal::CaptureStdout();
    mp3_lib(0x101, feeder.ring(), start | 0x10000, (static_cast<int32_t>(a.size()) - 4) | 0x70000, feeder.pcm());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(snapshot(feeder), reference);
}

TEST(FrameState, CrcWordIsSkippedWithoutBeingChecked) {
    FrameDesc desc = mono_lsf();
    desc.crc = true;
    desc.crc_word = 0x1234;
    const Pcm one = decode_alone(build_frame(desc));
    desc.crc_word = 0xBEEF;
    const Pcm other = decode_alone(build_frame(desc));
    EXPECT_TRUE(any_nonzero(one, 0, 576));
    EXPECT_EQ(one, other);
    desc.crc = false;
    EXPECT_EQ(decode_alone(build_frame(desc)), one);
}

TEST(FrameState, ShortageClearsTheOutputOnceAndKeepsTheMainDataForTheNextFrame) {
    // Frame 2 starts its main data inside frame 1, which itself reaches back
    // before the start of the stream.
    FrameDesc second = mono_mpeg1();
    second.granule[0][0] = tone_granule(300, 1);
    FrameParts parts = build_frame_parts(second);
    const size_t carried = 40;
    std::vector<uint8_t> carried_bytes(parts.main_data.begin(), parts.main_data.begin() + carried);
    second.main_data_begin = static_cast<int>(carried);
    FrameParts second_parts = build_frame_parts(second);
    std::vector<uint8_t> frame2 = second_parts.head;
    frame2.insert(frame2.end(), parts.main_data.begin() + carried, parts.main_data.end());

    FrameDesc first = mono_mpeg1();
    first.main_data_begin = 5;
    first.granule[0][0] = GranuleDesc{};
    first.granule[1][0] = GranuleDesc{};
    std::vector<uint8_t> frame1 = build_frame_parts(first).head;
    frame1.insert(frame1.end(), 17, uint8_t{0x5A});
    frame1.insert(frame1.end(), carried_bytes.begin(), carried_bytes.end());

    FrameFeeder feeder;
    prefill(feeder, 321);
    const Call c1 = feed(feeder, frame1, true);
    EXPECT_EQ(c1.result, 1152);
    EXPECT_EQ(c1.output, kShortageMessage);
    EXPECT_TRUE(std::all_of(feeder.pcm(), feeder.pcm() + 2304, [](int16_t v) { return v == 0; }));

    const Call c2 = feed(feeder, frame2, false);
    EXPECT_EQ(c2.output, "");
    const Pcm expected = decode_alone(parts.whole());
    EXPECT_TRUE(any_nonzero(expected, 0, 1152));
    EXPECT_EQ(snapshot(feeder), expected);

    // Primed: reaching back further than anything received is no longer checked.
    FrameDesc far = mono_mpeg1();
    far.main_data_begin = 500;
    EXPECT_EQ(feed(feeder, build_frame(far), false).output, "");
    // A reset checks again.
    EXPECT_EQ(feed(feeder, build_frame(far), true).output, kShortageMessage);
}

TEST(FrameState, FrameWithoutMainDataBytesAppendsNothing) {
    FrameDesc desc = mono_lsf();
    desc.granule[0][0] = GranuleDesc{};
    desc.main_data_begin = 1;
    const std::vector<uint8_t> bare = build_frame_parts(desc).head;  // header and side information only
    FrameFeeder feeder;
    EXPECT_EQ(feed(feeder, bare, true).output, kShortageMessage);
    EXPECT_EQ(feed(feeder, bare, false).output, kShortageMessage);
    std::vector<uint8_t> with_byte = bare;
    with_byte.push_back(0);
    EXPECT_EQ(feed(feeder, with_byte, false).output, kShortageMessage);  // W was still 0
    EXPECT_EQ(feed(feeder, bare, false).output, "");                     // now 1 byte back fits
}

TEST(FrameState, MainDataIsReadOnAcrossTheEndOfTheReservoir) {
    // Silent frames (no spectral bits) fill the reservoir to 2000 bytes; the
    // frame under test starts 30 to 34 bytes before their end and wraps. Several
    // spectra put codewords at different bit offsets across the wrap.
    FrameDesc silent = mono_mpeg1();
    silent.granule[0][0] = GranuleDesc{};
    silent.granule[1][0] = GranuleDesc{};
    const std::vector<uint8_t> silent_head = build_frame_parts(silent).head;

    for (int variant = 0; variant < 20; ++variant) {
        const int back = 30 + variant % 5;
        FrameDesc tested = mono_mpeg1();
        tested.granule[0][0] = tone_granule(576, variant / 5);
        tested.granule[1][0] = tone_granule(576, 2);
        const FrameParts alone = build_frame_parts(tested);
        ASSERT_GT(alone.main_data.size(), 100u);
        const Pcm expected = decode_alone(alone.whole());
        EXPECT_TRUE(any_nonzero(expected, 0, 1152));

        FrameFeeder feeder;
        for (int k = 0; k < 10; ++k) {
            std::vector<uint8_t> frame = silent_head;
            frame.insert(frame.end(), static_cast<size_t>(k == 9 ? 200 - back : 200), uint8_t{0xA5});
            if (k == 9) frame.insert(frame.end(), alone.main_data.begin(), alone.main_data.begin() + back);
            const Call c = feed(feeder, frame, k == 0);
            ASSERT_EQ(c.output, "");
            ASSERT_FALSE(any_nonzero(snapshot(feeder), 0, 1152)) << "silent frame " << k;
        }
        tested.main_data_begin = back;
        std::vector<uint8_t> frame = build_frame_parts(tested).head;
        frame.insert(frame.end(), alone.main_data.begin() + back, alone.main_data.end());
        feed(feeder, frame, false);
        EXPECT_EQ(snapshot(feeder), expected) << "variant " << variant;
    }
}

// ---------------------------------------------------------------- side information

TEST(SideInformation, BigValuesAboveTheSpectrumAreClampedTo288Pairs) {
    FrameDesc desc = mono_mpeg1();
    GranuleDesc& g = desc.granule[0][0];
    g.quads.clear();
    g.pairs = ramp_quads(576);
    g.big_values = 288;
    const Pcm full = decode_alone(build_frame(desc));
    g.big_values = 511;
    FrameFeeder feeder;
    EXPECT_EQ(feed(feeder, build_frame(desc), true).result, 1152);
    EXPECT_EQ(snapshot(feeder), full);
}

TEST(SideInformation, SwitchedGranuleWithBlockTypeZeroIsALongBlockWithRegionCounts7And13) {
    // Table 1 in region 0, table 0 (no bits, zeros) from region 1 on: the
    // region boundary decides which lines carry the coded values.
    auto make = [](bool switching) {
        FrameDesc desc = mono_mpeg1();
        GranuleDesc& g = desc.granule[0][0];
        g.quads.clear();
        g.pairs = ramp_quads(36);  // long band 8 starts at line 36 at 44.1 kHz
        g.big_values = 100;
        g.window_switching = switching ? 1 : 0;
        g.block_type = 0;
        g.table_select[0] = 1;
        g.table_select[1] = 0;
        g.table_select[2] = 0;
        g.region0_count = 7;
        g.region1_count = 13;
        return build_frame(desc);
    };
    const Pcm plain = decode_alone(make(false));
    EXPECT_TRUE(any_nonzero(plain, 0, 576));
    EXPECT_EQ(decode_alone(make(true)), plain);
}

TEST(SideInformation, ScfsiReusesTheFirstGranulesScaleFactorsInTheSecond) {
    auto make = [](bool reuse, int resent_value) {
        FrameDesc desc = mono_mpeg1();
        desc.scfsi[0][2] = reuse ? 1 : 0;
        for (int gr = 0; gr < 2; ++gr) {
            GranuleDesc& g = desc.granule[gr][0];
            g.scalefac_compress = 15;  // slen1 4, slen2 3
            g.quads = ramp_quads(300, gr);
            for (int band = 0; band < 21; ++band) {
                const int width = band < 11 ? 4 : 3;
                const bool sent = !(reuse && gr == 1 && band >= 11 && band <= 15);
                const int value = (gr == 1 && band >= 11 && band <= 15) ? resent_value : (band * 5 + gr) % 8;
                if (sent) g.scalefactors.push_back({value % (1 << width), width});
            }
        }
        // Granule 0's values of bands 11-15:
        return build_frame(desc);
    };
    // Granule 0 sends (band * 5) % 8 for bands 11-15: 7, 4, 1, 6, 3. Resending
    // one fixed value differs from reusing them.
    const Pcm reused = decode_alone(make(true, 0));
    const Pcm resent_other = decode_alone(make(false, 2));
    EXPECT_NE(reused, resent_other);
    // Resending exactly granule 0's values gives the reused result.
    FrameDesc desc = mono_mpeg1();
    for (int gr = 0; gr < 2; ++gr) {
        GranuleDesc& g = desc.granule[gr][0];
        g.scalefac_compress = 15;
        g.quads = ramp_quads(300, gr);
        for (int band = 0; band < 21; ++band) {
            const int width = band < 11 ? 4 : 3;
            const int value = (gr == 1 && band >= 11 && band <= 15) ? (band * 5) % 8 : (band * 5 + gr) % 8;
            g.scalefactors.push_back({value, width});
        }
    }
    EXPECT_EQ(decode_alone(build_frame(desc)), reused);
}

TEST(SideInformation, Count1QuadrupleRunningPastTheGranuleIsDroppedAndTheNextGranuleStartsOnTime) {
    FrameDesc cut = mono_mpeg1();
    cut.granule[0][0] = tone_granule(96, 0);
    cut.granule[0][0].quads.insert(cut.granule[0][0].quads.end(), {1, -1, 1, 1});
    cut.granule[0][0].cut_bits = 3;  // the last quadruple's code and signs are incomplete
    cut.granule[1][0] = tone_granule(200, 1);
    FrameDesc whole = cut;
    whole.granule[0][0] = tone_granule(96, 0);
    const Pcm expected = decode_alone(build_frame(whole));
    EXPECT_TRUE(any_nonzero(expected, 576, 1152));
    EXPECT_EQ(decode_alone(build_frame(cut)), expected);
}

// ---------------------------------------------------------------- mixed blocks

// A mono frame whose first granule has energy in lines 0-27 only: subbands 0
// and 1, clear of the alias butterflies between subbands 1 and 2, so that
// nothing reaches the subbands that take the block type's window.
std::vector<uint8_t> low_subband_frame(int block_type, bool mixed) {
    FrameDesc desc = mono_mpeg1();
    GranuleDesc& g = desc.granule[0][0];
    g = tone_granule(28, 0);
    g.window_switching = block_type != 0 ? 1 : 0;
    g.block_type = block_type;
    g.mixed = mixed ? 1 : 0;
    desc.granule[1][0] = tone_granule(96, 1);
    return build_frame(desc);
}

TEST(MixedBlocks, StopBlockWithTheMixedFlagGivesSubbandsZeroAndOneTheNormalWindow) {
    const Pcm normal = decode_alone(low_subband_frame(0, false));
    EXPECT_TRUE(any_nonzero(normal, 0, 576));
    EXPECT_EQ(decode_alone(low_subband_frame(3, true)), normal);
    // Without the flag the stop window's silent start shows at once.
    const Pcm stop = decode_alone(low_subband_frame(3, false));
    EXPECT_FALSE(std::equal(stop.begin(), stop.begin() + 576, normal.begin()));
}

TEST(MixedBlocks, StartBlockWithTheMixedFlagHandsTheNextGranuleTheNormalOverlap) {
    const Pcm normal = decode_alone(low_subband_frame(0, false));
    EXPECT_EQ(decode_alone(low_subband_frame(1, true)), normal);
    // The start window differs only in its second half: without the flag the
    // first granule is the same and the second is not.
    const Pcm start = decode_alone(low_subband_frame(1, false));
    EXPECT_TRUE(std::equal(start.begin(), start.begin() + 576, normal.begin()));
    EXPECT_FALSE(std::equal(start.begin() + 576, start.begin() + 1152, normal.begin() + 576));
}

TEST(SideInformation, EmptyGranulesAfterAResetGiveSilence) {
    FrameDesc desc = mono_mpeg1();
    desc.granule[0][0] = GranuleDesc{};
    desc.granule[1][0] = GranuleDesc{};
    FrameFeeder feeder;
    prefill(feeder, 3);
    EXPECT_EQ(feed(feeder, build_frame(desc), true).result, 1152);
    EXPECT_FALSE(any_nonzero(snapshot(feeder), 0, 1152));
}

}  // namespace
