// Reading a document: cuts, gain and format presentation against references
// computed here from the raw samples.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/formats/mmwave.h"
#include "editor/mmenhancedwave.h"
#include "editor/mmenhancedwavefile.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;

namespace {

void write_wav(const std::string& path, const TWaveFormatEx& format, const void* data, size_t n) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, format);
    ASSERT_EQ(w.WriteData(data, int64_t(n)), int64_t(n));
    w.CloseFile();
    w.FreeWave();
}

void write_mono16(const std::string& path, const std::vector<int16_t>& s, uint32_t rate = 16000) {
    write_wav(path, MakePCMFormat(16, 1, rate), s.data(), s.size() * 2);
}

std::vector<int16_t> read_all16(TMMWave& w, int64_t block = 4096) {
    std::vector<int16_t> out;
    std::vector<uint8_t> buf(static_cast<size_t>(block));
    for (;;) {
        const int64_t n = w.ReadData(buf.data(), block);
        if (n <= 0) break;
        const size_t at = out.size();
        out.resize(at + size_t(n) / 2);
        std::memcpy(out.data() + at, buf.data(), size_t(n) / 2 * 2);
    }
    return out;
}

std::vector<int16_t> ramp(size_t n, int scale = 1) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = int16_t((int(i % 20000) - 10000) * scale);
    return s;
}

TMMCutRecord cut(int64_t start, int64_t length) {
    TMMCutRecord r;
    r.start = start;
    r.length = length;
    return r;
}

class Document : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
    TMMEnhancedWave wave;
    TMMCutList cuts;
};

}  // namespace

TEST_F(Document, AttachingResetsTheEnvelopeToFlatUnityOverTheFile) {
    write_mono16(dir.file("a.wav"), ramp(1000));
    wave.SourceFades().AddPoint(5, 1);
    wave.SetFileName(dir.file("a.wav"));
    ASSERT_EQ(wave.SourceFades().Count(), 2);
    EXPECT_EQ(wave.SourceFades()[0], (TMMFadeRecord{0, 16384, 16384, 16384, 0}));
    EXPECT_EQ(wave.SourceFades()[1], (TMMFadeRecord{1000, 16384, 16384, 16384, 0}));

    write_mono16(dir.file("empty.wav"), {});
    wave.SetFileName(dir.file("empty.wav"));
    EXPECT_EQ(wave.SourceFades().Count(), 0);
}

TEST_F(Document, AFlatEnvelopeLeavesEverySampleBitIdentical) {
    std::vector<int16_t> s = ramp(50000, 3);
    write_mono16(dir.file("a.wav"), s);
    wave.SetFileName(dir.file("a.wav"));
    wave.OpenFile();
    EXPECT_GT(wave.FadeList().Count(), 1);
    EXPECT_EQ(read_all16(wave, 1000), s);
    EXPECT_FALSE(wave.Clipped());
}

TEST_F(Document, PlayListFollowsTheCutsAtTheEdges) {
    write_mono16(dir.file("a.wav"), ramp(1000));
    wave.SetFileName(dir.file("a.wav"));
    wave.SetCutList(&cuts);
    struct Case {
        const char* name;
        std::vector<TMMCutRecord> cuts;
        int64_t start, end;
        std::vector<std::pair<int64_t, int64_t>> segments;
    };
    const std::vector<Case> cases = {
        {"start inside a cut moves to its end", {cut(0, 100), cut(500, 50)}, 50, 1000,
         {{100, 400}, {550, 450}}},
        {"touching cuts leave no empty segment", {cut(100, 100), cut(200, 100)}, 0, 1000,
         {{0, 100}, {300, 700}}},
        {"cuts covering everything give one empty segment", {cut(0, 1000)}, 0, 1000, {{1000, 0}}},
        {"a cut past the end is ignored", {cut(900, 500)}, 0, 800, {{0, 800}}},
    };
    for (const Case& c : cases) {
        cuts.Clear();
        for (const TMMCutRecord& r : c.cuts) ASSERT_TRUE(cuts.Add(r)) << c.name;
        wave.SetCutList(&cuts);
        wave.SetEndPos(c.end);
        wave.SetStartPos(c.start);
        std::vector<std::pair<int64_t, int64_t>> got;
        for (const TMMCutRecord& r : wave.PlayList().Items()) {
            got.emplace_back(r.start, r.length);
            EXPECT_EQ(r.start_bytes, r.start * 2) << c.name;
            EXPECT_EQ(r.length_bytes, r.length * 2) << c.name;
        }
        EXPECT_EQ(got, c.segments) << c.name;
        wave.SetStartPos(0);
        wave.SetEndPos(1000);
    }
}

TEST_F(Document, ReadingWithCutsAndGainMatchesAStraightforwardReference) {
    // 2 seconds, a sample value that differs at every frame.
    const int64_t frames = 32000;
    std::vector<int16_t> s(frames);
    for (int64_t i = 0; i < frames; ++i) s[size_t(i)] = int16_t(9000 * std::sin(double(i) * 0.01) + (i % 7));
    write_mono16(dir.file("a.wav"), s);

    ASSERT_TRUE(cuts.Add(cut(1000, 3000)));
    ASSERT_TRUE(cuts.Add(cut(10000, 1)));
    ASSERT_TRUE(cuts.Add(cut(20000, 5000)));
    // Envelope in file frames: silence rising to 1.5, back to unity, half.
    const std::vector<std::pair<int64_t, int32_t>> env = {
        {0, 0}, {2000, 24576}, {12000, 16384}, {22000, 8192}, {frames, 8192}};

    wave.SetFileName(dir.file("a.wav"));
    wave.SetCutList(&cuts);
    wave.SetStartPos(500);
    wave.SourceFades().Clear();
    for (auto [x, g] : env) wave.SourceFades().AddPoint(x, g);
    wave.OpenFile();
    const std::vector<int16_t> got = read_all16(wave, 777 * 2);

    // Reference: the frames not cut, from the start position on, each scaled
    // by the envelope's value at its own file position.
    std::vector<int16_t> want;
    for (int64_t i = 500; i < frames; ++i) {
        if ((i >= 1000 && i < 4000) || i == 10000 || (i >= 20000 && i < 25000)) continue;
        size_t k = 1;
        while (env[k].first <= i && k + 1 < env.size()) ++k;
        const double g = env[k - 1].second + double(env[k].second - env[k - 1].second) *
                                                 double(i - env[k - 1].first) /
                                                 double(env[k].first - env[k - 1].first);
        want.push_back(int16_t(std::clamp(std::floor(s[size_t(i)] * g / 16384.0), -32768.0, 32767.0)));
    }
    ASSERT_EQ(got.size(), want.size());
    // Each segment's ramp reaches the gain the envelope has after the segment
    // one frame early, so inside a segment the gain may run ahead by up to one
    // frame's change (12.3 units on the steepest ramp: 6.8 steps on a 9000
    // sample), plus the rounding of whole gain units.
    int worst = 0;
    size_t where = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const int d = std::abs(got[i] - want[i]);
        if (d > worst) worst = d, where = i;
    }
    EXPECT_LE(worst, 8) << "at stream frame " << where;
}

TEST_F(Document, GainSaturatesAndRaisesTheClipFlagAndZeroGainIsSilence) {
    write_mono16(dir.file("a.wav"), std::vector<int16_t>(1000, 30000));
    wave.SetFileName(dir.file("a.wav"));
    wave.SourceFades().Clear();
    wave.SourceFades().AddPoint(0, 24576);
    wave.SourceFades().AddPoint(1000, 24576);
    wave.OpenFile();
    auto got = read_all16(wave);
    ASSERT_EQ(got.size(), 1000u);
    // The last frame ramps toward the 0 point after the data.
    EXPECT_EQ(got[0], 32767);
    EXPECT_EQ(got[998], 32767);
    EXPECT_TRUE(wave.Clipped());
    wave.ClearClip();
    wave.CloseFile();

    wave.SourceFades().Clear();
    wave.SourceFades().AddPoint(0, 0);
    wave.SourceFades().AddPoint(1000, 0);
    wave.OpenFile();
    wave.SetPosition(0);
    got = read_all16(wave);
    EXPECT_EQ(got, std::vector<int16_t>(1000, 0));
    EXPECT_FALSE(wave.Clipped());
}

TEST_F(Document, EightBitGainWorksAroundTheMidpoint) {
    std::vector<uint8_t> s = {0, 64, 128, 192, 255, 250};
    write_wav(dir.file("a.wav"), MakePCMFormat(8, 1, 8000), s.data(), s.size());
    wave.SetFileName(dir.file("a.wav"));
    wave.SourceFades().Clear();
    wave.SourceFades().AddPoint(0, 8192);
    wave.SourceFades().AddPoint(100, 8192);
    wave.OpenFile();
    uint8_t out[8] = {};
    ASSERT_EQ(wave.ReadData(out, 6), 6);
    // (x - 128) * 0.5, floored, + 128
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), (std::vector<uint8_t>{64, 96, 128, 160, 191}));
}

TEST_F(Document, SeekingKeepsTheGainInStep) {
    std::vector<int16_t> s(20000, 10000);
    write_mono16(dir.file("a.wav"), s);
    wave.SetFileName(dir.file("a.wav"));
    wave.SourceFades().Clear();
    wave.SourceFades().AddPoint(0, 0);
    wave.SourceFades().AddPoint(20000, 32768);
    wave.OpenFile();
    wave.SetPosition(10000);
    int16_t x[2];
    ASSERT_EQ(wave.ReadData(x, 4), 4);
    EXPECT_NEAR(x[0], 10000, 2);  // gain 1.0 halfway
    wave.SetPosition(5000);
    ASSERT_EQ(wave.ReadData(x, 4), 4);
    EXPECT_NEAR(x[0], 5000, 2);
}

TEST_F(Document, OutputRateMapsPositionsWithHalfToEvenRounding) {
    write_mono16(dir.file("a.wav"), ramp(8001), 8000);
    wave.SetFileName(dir.file("a.wav"));
    const TWaveFormatEx up = MakePCMFormat(16, 1, 22050);
    wave.SetOutputFormat(&up);
    EXPECT_EQ(wave.OutputFormat()->nSamplesPerSec, 22050u);
    EXPECT_EQ(wave.DisplayFormat()->nChannels, 1);
    EXPECT_EQ(wave.FileToOutputFrames(8000), 22050);
    EXPECT_EQ(wave.FileToOutputFrames(1), 3);       // 2.75625
    EXPECT_EQ(wave.OutputToFileFrames(22050), 8000);
    EXPECT_EQ(wave.LengthInSamples(), wave.FileToOutputFrames(8001));
    // 3 and 2: halves go to the even neighbour.
    const TWaveFormatEx down = MakePCMFormat(16, 1, 4000);
    wave.SetOutputFormat(&down);
    EXPECT_EQ(wave.FileToOutputFrames(3), 2);  // 1.5
    EXPECT_EQ(wave.FileToOutputFrames(5), 2);  // 2.5
    // The data is converted on the way: every frame of 8 kHz mono -> 4 kHz.
    wave.OpenFile();
    EXPECT_EQ(read_all16(wave).size(), size_t(wave.LengthInSamples()));
}

TEST_F(Document, CompressedFilesArePresentedAsPcmAndSeekWithinTheirBlocks) {
    if (std::system("sox --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    const std::string ima = dir.file("ima.wav"), ref = dir.file("ref.wav");
    ASSERT_EQ(std::system(("sox -n -r 8000 -c 1 -e ima-adpcm " + ima +
                           " synth 2 sine 300-2000 gain -4 2>/dev/null").c_str()), 0);
    ASSERT_EQ(std::system(("sox " + ima + " -b 16 -e signed-integer " + ref + " 2>/dev/null").c_str()), 0);
    TMMWave plain;
    plain.SetFileName(ref);
    plain.OpenFile();
    const std::vector<int16_t> want = read_all16(plain);

    wave.SetFileName(ima);
    EXPECT_EQ(wave.FileFormat()->wFormatTag, 0x11);
    EXPECT_EQ(wave.OutputFormat()->wFormatTag, 1);
    EXPECT_EQ(wave.BitLength(), 16);
    EXPECT_EQ(wave.DataSize(), int64_t(want.size()));
    wave.OpenFile();
    EXPECT_EQ(wave.LengthInBytes(), int64_t(want.size() * 2));
    EXPECT_EQ(read_all16(wave, 4096), want);

    // ADPCM blocks decode on their own: a seek lands on the very sample.
    for (int64_t at : {int64_t(0), int64_t(504), int64_t(505), int64_t(7777)}) {
        wave.SetPosition(at);
        int16_t x[3];
        ASSERT_EQ(wave.ReadData(x, 6), 6);
        EXPECT_EQ(std::vector<int16_t>(x, x + 3),
                  std::vector<int16_t>(want.begin() + at, want.begin() + at + 3))
            << at;
    }
}

TEST_F(Document, AFileNoCodecReadsDeliversNoSamples) {
    // An MPEG-in-WAV header with junk data: no codec here reads tag 0x55.
    TWaveFormatEx mp3 = MakePCMFormat(16, 1, 16000);
    mp3.wFormatTag = 0x55;
    mp3.nBlockAlign = 1;
    mp3.nAvgBytesPerSec = 2000;
    std::vector<uint8_t> junk(4000, 0x5A);
    write_wav(dir.file("mp3.wav"), mp3, junk.data(), junk.size());
    // After a file that was presented in another format, the count comes
    // from this file's own byte rate: 4000 bytes at 2000 bytes/s.
    const std::vector<uint8_t> wide(3 * 100, 1);
    write_wav(dir.file("s24.wav"), MakePCMFormat(24, 1, 8000), wide.data(), wide.size());
    wave.SetFileName(dir.file("s24.wav"));
    EXPECT_EQ(wave.DataSize(), 100);
    EXPECT_EQ(wave.BitLength(), 16);
    wave.SetFileName(dir.file("mp3.wav"));
    EXPECT_EQ(wave.DataSize(), 32000);
    wave.OpenFile();
    uint8_t buf[4096];
    const int64_t n = wave.ReadData(buf, sizeof buf);
    EXPECT_LE(n, 4);  // at most the engine's end marker of zero bytes
    for (int64_t i = 0; i < n; ++i) EXPECT_EQ(buf[i], 0);
}

TEST(EnhancedWaveFile, EnvelopeFollowsTheWaveAndFeedsItsGain) {
    testsupport::ScratchDir dir;
    std::vector<int16_t> s(4000, 1000);
    write_mono16(dir.file("a.wav"), s);
    TMMEnhancedWaveFile doc;
    {
        TMMEnvelope env;
        doc.SetEnvelope(&env);
        doc.Wave().SetFileName(dir.file("a.wav"));
        EXPECT_EQ(env.RangeMinX(), 0);
        EXPECT_EQ(env.RangeMaxX(), 4000);
        EXPECT_EQ(env.RangeMaxY(), 32768);
        ASSERT_EQ(doc.Wave().SourceFades().Count(), 2);
        EXPECT_EQ(doc.Wave().SourceFades()[1].position, 4000);

        ASSERT_GE(env.AddPoint(2000, 32768), 0);
        ASSERT_EQ(doc.Wave().SourceFades().Count(), 3);
        EXPECT_EQ(doc.Wave().SourceFades()[1].value, 32768);
        doc.Wave().OpenFile();
        doc.Wave().SetPosition(2000);
        int16_t x;
        ASSERT_EQ(doc.Wave().ReadData(&x, 2), 2);
        EXPECT_EQ(x, 2000);
        doc.Wave().CloseFile();
    }
    // The envelope is gone: the component forgot it and keeps working.
    EXPECT_EQ(doc.Envelope(), nullptr);
    doc.Wave().SetFileName("");
    EXPECT_EQ(doc.Wave().SourceFades().Count(), 0);
}

TEST_F(Document, ConstantGainsFollowTheSaturationRuleExactlyOverTheWholeRange) {
    std::vector<int16_t> s(1003);
    uint32_t x = 99;
    for (size_t i = 0; i < s.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = int16_t(x >> 16);
    }
    s[0] = -32768;
    s[1] = 32767;
    s[2] = -1;
    write_mono16(dir.file("a.wav"), s);
    for (int32_t g : {1, 8191, 16383, 16385, 24576, 32767, 32768, 40001, 65535, 70000}) {
        wave.SetFileName("");
        wave.SetFileName(dir.file("a.wav"));
        wave.SourceFades().Clear();
        wave.SourceFades().AddPoint(0, g);
        wave.SourceFades().AddPoint(2000, g);  // flat past the end of the data
        wave.OpenFile();
        wave.ClearClip();
        const auto got = read_all16(wave, 998);
        ASSERT_EQ(got.size(), s.size());
        bool clip = false;
        for (size_t i = 0; i < s.size(); ++i) {
            const int64_t v = (int64_t(s[i]) * g) >> 14;
            const int64_t c = std::clamp<int64_t>(v, -32768, 32767);
            clip |= v != c;
            ASSERT_EQ(got[i], c) << "gain " << g << " sample " << i;
        }
        EXPECT_EQ(wave.Clipped(), clip) << g;
        wave.CloseFile();
    }
}

TEST_F(Document, AssignTakesOverFileRangeAndMarkerListReference) {
    write_mono16(dir.file("a.wav"), ramp(1000));
    TMMMarkerList markers;
    wave.SetFileName(dir.file("a.wav"));
    wave.SetMarkerList(&markers);
    wave.SetStartPos(100);
    TMMEnhancedWave copy;
    copy.Assign(wave);
    EXPECT_EQ(copy.FileName(), wave.FileName());
    EXPECT_EQ(copy.StartPos(), 100);
    EXPECT_EQ(copy.MarkerList(), &markers);
}
