// The plain and the vector kernels decode the same streams to the same 16-bit
// samples, but for the rare sample that fused multiply-adds move across a
// truncation step: at most 1 LSB, in fewer than one sample in 100,000.
// MURREL_DECODER_CORPUS may name a folder of further streams (*.mp3) to compare.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "decoder/filterbank.h"
#include "decoder/tests/peer_support.h"
#include "testsupport/scratch_dir.h"

namespace {

using namespace sonadyn_test;
using murrel::testsupport::ScratchDir;

struct PathDifference {
    size_t samples = 0;
    size_t differing = 0;
    int largest = 0;
};

PathDifference compare_paths(const std::vector<uint8_t>& stream, const sonadyn::FilterBank& vector) {
    sonadyn::select_filter_bank(&sonadyn::plain_filter_bank());
    const std::vector<int16_t> plain = decode_stream(stream);
    sonadyn::select_filter_bank(&vector);
    const std::vector<int16_t> fast = decode_stream(stream);
    sonadyn::select_filter_bank(nullptr);
    PathDifference d;
    EXPECT_EQ(plain.size(), fast.size());
    d.samples = plain.size() < fast.size() ? plain.size() : fast.size();
    for (size_t i = 0; i < d.samples; ++i) {
        const int diff = std::abs(plain[i] - fast[i]);
        d.differing += diff != 0;
        if (diff > d.largest) d.largest = diff;
    }
    return d;
}

void expect_paths_agree(const std::string& name, const std::vector<uint8_t>& stream,
                        const sonadyn::FilterBank& vector) {
    const PathDifference d = compare_paths(stream, vector);
    EXPECT_GT(d.samples, 0u) << name;
    EXPECT_LE(d.largest, 1) << name;
    EXPECT_LT(static_cast<double>(d.differing), static_cast<double>(d.samples) / 100000.0) << name;
    std::printf("%-24s %10zu samples, %zu differ (largest %d)\n", name.c_str(), d.samples, d.differing, d.largest);
    testing::Test::RecordProperty(name + "_differing", std::to_string(d.differing));
}

TEST(KernelPaths, PlainAndVectorPathsDecodeTheRecordersAndStereoStreamsAlike) {
    const sonadyn::FilterBank* vector = sonadyn::vector_filter_bank();
    if (!vector) GTEST_SKIP() << "processor without the vector path";
    if (!have_peer_tools()) GTEST_SKIP() << "sox or lame not installed";
    struct Case {
        const char* name;
        int rate;
        int channels;
        const char* lame_args;
    };
    const Case cases[] = {
        {"SP", 16000, 1, "-m m -b 16 -p"},        {"HQ", 16000, 1, "-m m -b 32 -p"},
        {"SHQ", 22050, 1, "-m m -b 64 -p"},       {"JointStereo44k", 44100, 2, "-m j -b 128"},
        {"Mono8k", 8000, 1, "-m m -b 16 -p"},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        const std::string wav = dir.file(std::string(c.name) + ".wav");
        const std::string longer = dir.file(std::string(c.name) + "_long.wav");
        const std::string mp3 = dir.file(std::string(c.name) + ".mp3");
        ASSERT_TRUE(make_material(dir.path().string(), wav, c.rate, c.channels));
        // About half a minute, so that one differing sample in 100,000 can show.
        ASSERT_TRUE(run_quietly("sox -R -V1 " + wav + " " + longer + " repeat 9"));
        ASSERT_TRUE(run_quietly(std::string("lame --quiet -t ") + c.lame_args + " " + longer + " " + mp3));
        expect_paths_agree(c.name, read_file(mp3), *vector);
    }
}

TEST(KernelPaths, PlainAndVectorPathsDecodeTheCorpusAlike) {
    const sonadyn::FilterBank* vector = sonadyn::vector_filter_bank();
    const char* folder = std::getenv("MURREL_DECODER_CORPUS");
    if (!vector || !folder) GTEST_SKIP() << "no vector path, or MURREL_DECODER_CORPUS not set";
    int streams = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".mp3") continue;
        expect_paths_agree(entry.path().filename().string(), read_file(entry.path().string()), *vector);
        ++streams;
    }
    EXPECT_GT(streams, 0);
}

}  // namespace
