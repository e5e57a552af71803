#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/formats/pcmconvert.h"

using namespace murrel;

namespace {

std::vector<uint8_t> bytes16(const std::vector<int16_t>& s) {
    std::vector<uint8_t> b(s.size() * 2);
    std::memcpy(b.data(), s.data(), b.size());
    return b;
}

std::vector<int16_t> samples16(const std::vector<uint8_t>& b, int32_t n) {
    std::vector<int16_t> s(static_cast<size_t>(n) / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

std::vector<int16_t> convert16(const std::vector<uint8_t>& in, const TWaveFormatEx& src,
                               const TWaveFormatEx& dst) {
    std::vector<uint8_t> out(static_cast<size_t>(PCMConvertSize(int32_t(in.size()), src, dst)) + 64);
    const int32_t n = PCMConvert(int32_t(in.size()), in.data(), src, out.data(), dst);
    EXPECT_GE(n, 0);
    return samples16(out, n);
}

const TWaveFormatEx kMono16k = MakePCMFormat(16, 1, 16000);

}  // namespace

TEST(PCMFormatCode, CodesFollowChannelsAndBitsAndRejectEverythingElse) {
    EXPECT_EQ(PCMFormatCode(MakePCMFormat(8, 1, 8000)), 0);
    EXPECT_EQ(PCMFormatCode(MakePCMFormat(8, 2, 8000)), 2);
    EXPECT_EQ(PCMFormatCode(MakePCMFormat(16, 1, 8000)), 4);
    EXPECT_EQ(PCMFormatCode(MakePCMFormat(16, 2, 8000)), 6);
    EXPECT_EQ(PCMFormatCode(MakePCMFormat(24, 1, 8000)), -1);
    EXPECT_EQ(PCMFormatCode(MakePCMFormat(16, 3, 8000)), -1);
    EXPECT_EQ(PCMFormatCode(MakePCMFormat(16, 1, 0)), -1);
    TWaveFormatEx adpcm = MakePCMFormat(16, 1, 8000);
    adpcm.wFormatTag = 0x11;
    EXPECT_EQ(PCMFormatCode(adpcm), -1);

    uint8_t buf[8] = {};
    EXPECT_EQ(PCMConvertSize(4, adpcm, kMono16k), -1);
    EXPECT_EQ(PCMConvert(4, buf, adpcm, buf, kMono16k), -1);
    EXPECT_EQ(PCMConvert(4, buf, kMono16k, buf, adpcm), -1);
    // A count of zero or less comes back unchanged, even with a bad format.
    EXPECT_EQ(PCMConvert(0, buf, adpcm, buf, kMono16k), 0);
    EXPECT_EQ(PCMConvert(-7, buf, kMono16k, buf, kMono16k), -7);
}

TEST(PCMConvert, DoublingTheRateWritesEverySampleTwice) {
    const TWaveFormatEx src = MakePCMFormat(16, 1, 8000);
    std::vector<int16_t> in(2048);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(i * 7 - 5000);
    EXPECT_EQ(PCMConvertSize(4096, src, kMono16k), 8192);
    const auto out = convert16(bytes16(in), src, kMono16k);
    ASSERT_EQ(out.size(), 4096u);
    for (size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(out[2 * i], in[i]) << i;
        ASSERT_EQ(out[2 * i + 1], in[i]) << i;
    }
}

TEST(PCMConvert, From22050To16000KeepsFirstFrameAndDropsEvenlySpreadFrames) {
    const TWaveFormatEx src = MakePCMFormat(16, 1, 22050);
    std::vector<int16_t> in(22050);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(i % 30000);
    const auto out = convert16(bytes16(in), src, kMono16k);
    ASSERT_EQ(out.size(), 16000u);
    EXPECT_EQ(out[0], 0);
    // Output frame k holds source frame floor(k * 22050 / 16000) or its
    // neighbour: the kept frames never bunch up.
    int prev = -1;
    for (size_t k = 0; k < out.size(); ++k) {
        const int idx = out[k];
        const int ideal = int(k * 22050 / 16000);
        ASSERT_LE(std::abs(idx - ideal), 1) << k;
        ASSERT_GE(idx - prev, 1);
        ASSERT_LE(idx - prev, 2);
        prev = idx;
    }
    // The phase restarts per call: a second block starts with its first frame.
    const std::vector<uint8_t> b = bytes16(std::vector<int16_t>(in.begin() + 100, in.begin() + 200));
    EXPECT_EQ(convert16(b, src, kMono16k).front(), 100);
}

TEST(PCMConvert, SampleReadersForTheSixteenBitMonoDestination) {
    struct Case {
        int bits, channels;
        std::vector<uint8_t> frame;
        int16_t expect;
    };
    const std::vector<Case> cases = {
        {8, 1, {128}, 0},
        {8, 1, {0}, -32768},
        {8, 1, {255}, 127 * 256},
        {8, 2, {200, 56}, 0},
        {8, 2, {255, 255}, 127 * 256},
        {8, 2, {129, 128}, 0},          // (1 + 0) / 2 rounded down
        {8, 2, {127, 128}, -256},       // (-1 + 0) / 2 rounded down
        {16, 2, {0xFD, 0xFF, 0, 0}, -2},  // (-3, 0)
        {16, 2, {3, 0, 0, 0}, 1},         // (3, 0)
        {16, 2, {0xFF, 0x7F, 0xFF, 0x7F}, 32767},
        {16, 1, {0x34, 0x12}, 0x1234},
    };
    for (const Case& c : cases) {
        const TWaveFormatEx src = MakePCMFormat(c.bits, c.channels, 16000);
        const auto out = convert16(c.frame, src, kMono16k);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0], c.expect) << c.bits << " bits, " << c.channels << " ch";
    }
}

TEST(PCMConvert, EightBitAndStereoDestinationsFollowTheSampleRepresentation) {
    uint8_t out[8] = {};
    // 16-bit mono to 8-bit mono: top byte, re-biased to 128.
    const std::vector<uint8_t> s16 = bytes16({-32768, 0, 32767, -1});
    const TWaveFormatEx m16 = MakePCMFormat(16, 1, 8000), m8 = MakePCMFormat(8, 1, 8000);
    ASSERT_EQ(PCMConvert(8, s16.data(), m16, out, m8), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 128, 255, 127}));
    // 8-bit mono to 16-bit stereo: the sample on both channels.
    const uint8_t s8[1] = {200};
    ASSERT_EQ(PCMConvert(1, s8, m8, out, MakePCMFormat(16, 2, 8000)), 4);
    int16_t lr[2];
    std::memcpy(lr, out, 4);
    EXPECT_EQ(lr[0], 72 * 256);
    EXPECT_EQ(lr[1], 72 * 256);
    // 16-bit stereo to 8-bit stereo keeps the channels apart.
    const std::vector<uint8_t> st = bytes16({256, -512});
    ASSERT_EQ(PCMConvert(4, st.data(), MakePCMFormat(16, 2, 8000), out, MakePCMFormat(8, 2, 8000)), 2);
    EXPECT_EQ(out[0], 129);
    EXPECT_EQ(out[1], 126);
}

TEST(PCMConvert, PartialFramesAreIgnoredAndSizesMatchWrittenBytesForWholeRatios) {
    const TWaveFormatEx st = MakePCMFormat(16, 2, 44100);
    const TWaveFormatEx shq = MakePCMFormat(16, 1, 22050);
    std::vector<uint8_t> in(4096 + 3, 0);
    std::vector<uint8_t> out(8192);
    const int32_t size = PCMConvertSize(int32_t(in.size()), st, shq);
    EXPECT_EQ(size, 512 * 2);
    EXPECT_EQ(PCMConvert(int32_t(in.size()), in.data(), st, out.data(), shq), size);
    // Sizes for large blocks do not overflow.
    EXPECT_EQ(PCMConvertSize(8 << 20, MakePCMFormat(16, 1, 48000), MakePCMFormat(16, 1, 44100)),
              (4 << 20) * int64_t(44100) / 48000 * 2);
}
