// Decodes streams made by an independent encoder and compares the samples with
// an independent decoder's floating-point output. The bar: RMS difference
// below 1 LSB of 16 bits (truncating instead of rounding alone costs about
// 0.58 LSB) and no difference above 3 LSB outside clipped samples.
#include <gtest/gtest.h>

#include <string>

#include "decoder/tests/peer_support.h"
#include "testsupport/scratch_dir.h"

namespace {

using namespace sonadyn_test;
using murrel::testsupport::ScratchDir;

struct PeerCase {
    const char* name;
    int rate;
    int channels;
    const char* lame_args;
    int peak_db;
};

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.name; }

const PeerCase kCases[] = {
    // MPEG-1
    {"Mpeg1_44k_Stereo", 44100, 2, "-m s -b 128", -1},
    {"Mpeg1_44k_JointStereo", 44100, 2, "-m j -b 128", -1},
    {"Mpeg1_44k_JointStereoLowRate", 44100, 2, "-m j -b 64", -1},
    {"Mpeg1_44k_Mono_Crc", 44100, 1, "-m m -b 96 -p", -1},
    {"Mpeg1_48k_Stereo_Crc", 48000, 2, "-m s -b 160 -p", -1},
    {"Mpeg1_48k_JointStereo", 48000, 2, "-m j -b 112", -1},
    {"Mpeg1_48k_Mono", 48000, 1, "-m m -b 64", -1},
    {"Mpeg1_32k_Stereo", 32000, 2, "-m s -b 96", -1},
    {"Mpeg1_32k_JointStereo_Crc", 32000, 2, "-m j -b 80 -p", -1},
    {"Mpeg1_32k_Mono", 32000, 1, "-m m -b 48", -1},
    {"Mpeg1_44k_JointStereo_Clipping", 44100, 2, "-m j -b 128", 0},
    // MPEG-2: the recorder's three settings, then other rates and stereo
    {"Mpeg2_16k_Mono_SP_Crc", 16000, 1, "-m m -b 16 -p", -1},
    {"Mpeg2_16k_Mono_HQ_Crc", 16000, 1, "-m m -b 32 -p", -1},
    {"Mpeg2_22k_Mono_SHQ_Crc", 22050, 1, "-m m -b 64 -p", -1},
    {"Mpeg2_16k_Mono_NoCrc", 16000, 1, "-m m -b 24", -1},
    {"Mpeg2_24k_Mono", 24000, 1, "-m m -b 40", -1},
    {"Mpeg2_22k_JointStereo", 22050, 2, "-m j -b 64", -1},
    {"Mpeg2_24k_Stereo_Crc", 24000, 2, "-m s -b 80 -p", -1},
    {"Mpeg2_16k_JointStereo", 16000, 2, "-m j -b 48", -1},
    {"Mpeg2_16k_Mono_SP_Clipping", 16000, 1, "-m m -b 16 -p", 0},
    // MPEG-2.5
    {"Mpeg25_8k_Mono_Crc", 8000, 1, "-m m -b 16 -p", -1},
    {"Mpeg25_11k_Mono", 11025, 1, "-m m -b 24", -1},
    {"Mpeg25_12k_JointStereo", 12000, 2, "-m j -b 32", -1},
    {"Mpeg25_8k_Stereo", 8000, 2, "-m s -b 24", -1},
};

std::string lame_rate(int rate) {
    switch (rate) {
    case 44100: return "44.1";
    case 22050: return "22.05";
    case 11025: return "11.025";
    default: return std::to_string(rate / 1000);
    }
}

class PeerComparison : public testing::TestWithParam<PeerCase> {};

TEST_P(PeerComparison, DecodesWithinOneLsbRmsAndThreeLsbPeakOfThePeer) {
    if (!have_peer_tools()) GTEST_SKIP() << "sox, lame or mpg123 not installed";
    const PeerCase& c = GetParam();
    ScratchDir dir;
    const std::string wav = dir.file("in.wav");
    const std::string mp3 = dir.file("in.mp3");
    ASSERT_TRUE(make_material(dir.path().string(), wav, c.rate, c.channels, c.peak_db));
    ASSERT_TRUE(run_quietly(std::string("lame --quiet -t ") + c.lame_args + " --resample " + lame_rate(c.rate) +
                            " " + wav + " " + mp3));

    const std::vector<uint8_t> stream = read_file(mp3);
    const auto frames = split_frames(stream);
    ASSERT_GT(frames.size(), 20u);
    int short_granules = 0;
    for (const auto& f : frames) short_granules += summarise_side_info(&stream[f.offset], f.length).short_granules;
    // The clicks are there to bring short blocks into the comparison.
    EXPECT_GT(short_granules, 0);

    StreamFormat format;
    const std::vector<int16_t> ours = decode_stream(stream, &format);
    EXPECT_EQ(format.rate, c.rate);
    EXPECT_EQ(format.channels, c.channels);
    const std::vector<float> peer = peer_decode(mp3, dir.file("peer.f32"));
    ASSERT_EQ(ours.size(), peer.size());

    const Difference d = compare(ours, peer);
    EXPECT_GT(d.compared, ours.size() * 9 / 10);
    EXPECT_LT(d.rms_lsb, 1.0);
    EXPECT_LE(d.max_lsb, 3.0);
    RecordProperty("rms_lsb", std::to_string(d.rms_lsb));
}

INSTANTIATE_TEST_SUITE_P(Streams, PeerComparison, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<PeerCase>& info) { return std::string(info.param.name); });

// Joining a stream in the middle: the first frame reaches back into main data
// the decoder never received, so it reports the shortage and gives silence;
// from the next frame on decoding is normal, and once the filter memories have
// filled again the samples agree with the peer's decoding of the whole stream.
TEST(PeerComparisonMidStream, StartingInsideTheReservoirGivesSilenceOnceThenThePeersSamples) {
    if (!have_peer_tools()) GTEST_SKIP() << "sox, lame or mpg123 not installed";
    ScratchDir dir;
    const std::string wav = dir.file("in.wav");
    const std::string mp3 = dir.file("in.mp3");
    ASSERT_TRUE(make_material(dir.path().string(), wav, 16000, 1));
    ASSERT_TRUE(run_quietly("lame --quiet -t -m m -b 16 -p " + wav + " " + mp3));
    const std::vector<uint8_t> stream = read_file(mp3);
    const auto frames = split_frames(stream);
    const std::vector<float> peer = peer_decode(mp3, dir.file("peer.f32"));
    ASSERT_EQ(peer.size(), frames.size() * 576);

    // A frame that reaches back, followed by one that only reaches into it.
    size_t start = 0;
    for (size_t k = 10; k + 1 < frames.size() && start == 0; ++k) {
        const auto here = summarise_side_info(&stream[frames[k].offset], frames[k].length);
        const auto next = summarise_side_info(&stream[frames[k + 1].offset], frames[k + 1].length);
        if (here.main_data_begin > 0 && next.main_data_begin <= here.main_bytes) start = k;
    }
    ASSERT_NE(start, 0u) << "no frame that reaches back into the reservoir";

    FrameFeeder feeder;
    std::vector<int16_t> ours;
    std::vector<std::string> messages;
    for (size_t k = start; k < frames.size(); ++k) {
        std::fill(feeder.pcm(), feeder.pcm() + 2304, int16_t{77});
        testing::internal::CaptureStdout();
        const int n = feeder.feed(&stream[frames[k].offset], frames[k].length, k == start);
        messages.push_back(testing::internal::GetCapturedStdout());
        ASSERT_EQ(n, 576);
        if (k == start) {
            for (int i = 0; i < 2304; ++i) ASSERT_EQ(feeder.pcm()[i], 0) << "entry " << i;
        }
        ours.insert(ours.end(), feeder.pcm(), feeder.pcm() + 576);
    }
    EXPECT_EQ(messages[0], "Frame error due to shortage of main_data!!\n");
    for (size_t i = 1; i < messages.size(); ++i) EXPECT_EQ(messages[i], "") << "frame " << start + i;

    const std::vector<float> peer_tail(peer.begin() + static_cast<long>(start * 576), peer.end());
    const Difference d = compare(ours, peer_tail, 3 * 576);
    EXPECT_LT(d.rms_lsb, 1.0);
    EXPECT_LE(d.max_lsb, 3.0);
}

}  // namespace
