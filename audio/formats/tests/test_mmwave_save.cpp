// The play list over skip lists, and saving it to a new file.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "audio/formats/mmwave.h"
#include "audio/formats/tests/wave_bytes.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
using namespace murrel::wavetest;

namespace {

using Segs = std::vector<std::pair<int64_t, int64_t>>;

TMMCutList Cuts(const Segs& cuts) {
    TMMCutList l;
    for (auto [s, n] : cuts) {
        TMMCutRecord r;
        r.start = s;
        r.length = n;
        EXPECT_TRUE(l.Add(r));
    }
    return l;
}

Segs Play(int64_t s, int64_t e, const TMMCutList* cuts) {
    TMMCutList out;
    BuildPlayListFromCuts(s, e, cuts, [](int64_t f) { return f * 4; }, out);
    Segs r;
    for (const auto& seg : out.Items()) {
        EXPECT_EQ(seg.start_bytes, seg.start * 4);
        EXPECT_EQ(seg.length_bytes, seg.length * 4);
        r.emplace_back(seg.start, seg.length);
    }
    return r;
}

TEST(PlayList, EdgeCasesOfTheSegmentBuilder) {
    struct Case {
        const char* what;
        int64_t s, e;
        Segs cuts, expect;
    } cases[] = {
        {"no cuts", 5, 50, {}, {{5, 45}}},
        {"start inside a cut moves to its end", 5, 100, {{0, 10}}, {{10, 90}}},
        {"cuts covering everything leave one empty segment", 0, 50, {{0, 50}}, {{50, 0}}},
        {"touching cuts leave no empty segment between them", 0, 40, {{10, 10}, {20, 10}}, {{0, 10}, {30, 10}}},
        {"cut after the end changes nothing", 0, 50, {{60, 10}}, {{0, 50}}},
        {"cut across the end shortens the last segment", 0, 50, {{40, 20}}, {{0, 40}}},
        {"cut ending at the start", 10, 30, {{0, 10}}, {{10, 20}}},
        {"empty range", 20, 20, {{5, 2}}, {{20, 0}}},
    };
    for (const Case& c : cases) {
        TMMCutList cuts = Cuts(c.cuts);
        EXPECT_EQ(Play(c.s, c.e, c.cuts.empty() ? nullptr : &cuts), c.expect) << c.what;
    }
    EXPECT_EQ(Play(5, 50, nullptr), (Segs{{5, 45}}));
}

TEST(PlayList, OverlappingCutsNeverBringBackCutFrames) {
    TMMCutList cuts = Cuts({{10, 5}, {20, 5}});
    cuts.SetEntry(0, 10, 20);  // now 10..29 overlaps 20..24
    EXPECT_EQ(Play(0, 50, &cuts), (Segs{{0, 10}, {30, 20}}));
}

// What a play list must be: the runs of frames in [s, e) no cut covers.
Segs Reference(int64_t s, int64_t e, const Segs& cuts) {
    std::vector<bool> cut(size_t(std::max<int64_t>(e, 0)) + 1, false);
    for (auto [a, n] : cuts)
        for (int64_t f = a; f < a + n && f < e; ++f) cut[size_t(f)] = true;
    Segs runs;
    for (int64_t f = s; f < e; ++f) {
        if (cut[size_t(f)]) continue;
        if (!runs.empty() && runs.back().first + runs.back().second == f) ++runs.back().second;
        else runs.emplace_back(f, 1);
    }
    return runs;
}

TEST(PlayList, AgreesWithAFrameByFrameReferenceOnRandomCutLists) {
    std::mt19937 rng(7);
    for (int iter = 0; iter < 2000; ++iter) {
        int64_t e = int64_t(rng() % 200);
        int64_t s = e ? int64_t(rng() % uint32_t(e + 1)) : 0;
        Segs cuts;
        int64_t at = int64_t(rng() % 20);
        while (at < 230) {
            int64_t n = 1 + int64_t(rng() % 25);
            cuts.emplace_back(at, n);
            at += n + int64_t(rng() % 30);  // gaps of 0 make touching cuts
        }
        TMMCutList list = Cuts(cuts);
        Segs got = Play(s, e, &list);
        Segs want = Reference(s, e, cuts);
        if (want.empty()) {
            ASSERT_EQ(got.size(), 1u) << iter;
            EXPECT_EQ(got[0].second, 0) << iter;
        } else {
            ASSERT_EQ(got, want) << "iteration " << iter << " s=" << s << " e=" << e;
        }
    }
}

TEST(CutList, AddRefusesStartsInsideAnEntryAndIndexErrorsAreRaised) {
    TMMCutList l = Cuts({{10, 5}});
    TMMCutRecord inside{12, 0, 3, 0, 0}, after{15, 0, 1, 0, 0}, before{0, 0, 2, 0, 0};
    EXPECT_FALSE(l.Add(inside));
    EXPECT_TRUE(l.Add(after));
    EXPECT_TRUE(l.Add(before));
    ASSERT_EQ(l.Count(), 3);
    EXPECT_EQ(l[0].start, 0);
    EXPECT_EQ(l[2].start, 15);
    EXPECT_EQ(l.InsertionIndex(10), 2);
    EXPECT_EQ(l.ContainingIndex(14), 1);
    EXPECT_EQ(l.ContainingIndex(5), -1);
    EXPECT_EQ(TMMCutList().InsertionIndex(3), -1);
    try {
        l.Delete(3);
        FAIL();
    } catch (const EMMListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
}

class WaveSave : public ::testing::Test {
protected:
    void SetUp() override {
        src = dir.file("src.wav");
        Bytes info = Cat({Bytes{'I', 'N', 'F', 'O'}, Chunk("INAM", Bytes{'M', 'e', 'm', 'o', 0})});
        Bytes disp = Cat({Bytes{1, 0, 0, 0}, Bytes{'T', 0}});
        WriteFile(src, Riff(Cat({Chunk("fmt ", Pcm16Mono(1000)), Chunk("data", Ramp16(5000)),
                                 Chunk("LIST", info), Chunk("DISP", disp)})));
        w.SetFileName(src);
        cuts = Cuts({{10, 10}, {50, 25}});
    }
    std::vector<int16_t> ReadAll(TMMWave& wave) {
        wave.OpenFile();
        wave.SetPosition(0);
        std::vector<int16_t> all, buf(333);
        int64_t n;
        while ((n = wave.ReadData(buf.data(), 666)) > 0) all.insert(all.end(), buf.begin(), buf.begin() + n / 2);
        wave.CloseFile();
        return all;
    }
    std::set<std::string> Files() {
        std::set<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(dir.path())) names.insert(e.path().filename());
        return names;
    }
    testsupport::ScratchDir dir;
    std::string src;
    TMMWave w;
    TMMCutList cuts;
};

TEST_F(WaveSave, ReadingSkipsTheCutsAndPositionsCountPlayedFrames) {
    w.SetSkipList(&cuts);
    w.SetEndPos(100);
    EXPECT_EQ(w.LengthInSamples(), 65);
    std::vector<int16_t> all = ReadAll(w);
    std::vector<int16_t> want;
    for (int f = 0; f < 100; ++f)
        if (!(f >= 10 && f < 20) && !(f >= 50 && f < 75)) want.push_back(int16_t(f));
    EXPECT_EQ(all, want);
    w.OpenFile();
    w.SetPosition(15);  // the 16th frame played is file frame 25
    int16_t s[2];
    EXPECT_EQ(w.ReadData(s, 4), 4);
    EXPECT_EQ(s[0], 25);
    EXPECT_EQ(s[1], 26);
    EXPECT_EQ(w.Position(), 17);
    w.SetPosition(39);  // the last frame before the second cut, then across it
    EXPECT_EQ(w.ReadData(s, 4), 4);
    EXPECT_EQ(s[0], 49);
    EXPECT_EQ(s[1], 75);
    w.CloseFile();
    w.SetStartPos(12);  // inside the first cut: playing starts at its end
    EXPECT_EQ(ReadAll(w).front(), 20);
}

TEST_F(WaveSave, SavedFileHoldsThePlayListInfoAndDisp) {
    w.SetSkipList(&cuts);
    std::vector<std::pair<int64_t, int64_t>> progress;
    w.OnProgress = [&](TMMWave&, int64_t done, int64_t total, bool&) { progress.emplace_back(done, total); };
    w.SaveToFile(dir.file("out.wav"));
    EXPECT_FALSE(w.Opened());
    const int64_t total = (5000 - 35) * 2;
    ASSERT_EQ(progress.size(), 5u);  // blocks of one second (2000 bytes)
    EXPECT_EQ(progress.front(), std::make_pair(int64_t(2000), total));
    EXPECT_EQ(progress.back(), std::make_pair(total, total));

    TMMWave out;
    out.SetFileName(dir.file("out.wav"));
    EXPECT_EQ(out.DataSize(), 5000 - 35);
    EXPECT_EQ(*out.FileFormat(), *w.FileFormat());
    EXPECT_EQ(out.IOBlock()->info_list, w.IOBlock()->info_list);
    EXPECT_EQ(out.IOBlock()->disp_list, w.IOBlock()->disp_list);
    EXPECT_EQ(ReadAll(out), ReadAll(w));
    EXPECT_EQ(Files(), (std::set<std::string>{"src.wav", "out.wav"}));
}

TEST_F(WaveSave, CancelLeavesTheTargetAndNoTemporaryFile) {
    WriteFile(dir.file("out.wav"), Bytes{'o', 'l', 'd'});
    int calls = 0;
    w.OnProgress = [&](TMMWave&, int64_t, int64_t, bool& cancel) { cancel = ++calls == 2; };
    try {
        w.SaveToFile(dir.file("out.wav"));
        FAIL();
    } catch (const EMMWaveError& e) {
        EXPECT_STREQ(e.what(), "Saving was aborted");
    }
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(ReadFile(dir.file("out.wav")), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(Files(), (std::set<std::string>{"src.wav", "out.wav"}));
    EXPECT_FALSE(w.Opened());
}

TEST_F(WaveSave, TooLittleFreeSpaceFailsBeforeWriting) {
    std::vector<std::string> asked;
    int64_t room = 2000 + 32768 + 10240 - 1;  // one byte short of block + buffer + reserve
    w.FreeSpace = [&](const std::string& folder) {
        asked.push_back(folder);
        return room;
    };
    try {
        w.SaveToFile(dir.file("out.wav"));
        FAIL();
    } catch (const EMMWaveError& e) {
        EXPECT_STREQ(e.what(), "Unable to save wave file");
    }
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], dir.path().string());
    EXPECT_EQ(Files(), (std::set<std::string>{"src.wav"}));
    room += 1;
    EXPECT_NO_THROW(w.SaveToFile(dir.file("out.wav")));
    EXPECT_EQ(Files(), (std::set<std::string>{"src.wav", "out.wav"}));
}

TEST_F(WaveSave, TemporaryNameNeverTakesAnExistingFile) {
    std::set<std::string> before{"src.wav"};
    for (int n = 1; n <= 256; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "w%X.tmp", n);
        WriteFile(dir.file(name), Bytes{'k', 'e', 'e', 'p'});
        before.insert(name);
    }
    w.SaveToFile(dir.file("out.wav"));
    std::set<std::string> after = before;
    after.insert("out.wav");
    EXPECT_EQ(Files(), after);
    for (const std::string& n : before)
        if (n != "src.wav") EXPECT_EQ(ReadFile(dir.file(n)), (Bytes{'k', 'e', 'e', 'p'})) << n;
}

TEST_F(WaveSave, SavingOverItsOwnFileReadsTheNewFile) {
    w.SetSkipList(&cuts);
    w.OpenFile();
    w.SetPosition(3);
    w.SaveToFile(src);
    w.SetSkipList(nullptr);
    EXPECT_EQ(w.DataSize(), 5000 - 35);
    EXPECT_TRUE(w.Opened());
    EXPECT_EQ(w.Position(), 3);
    int16_t s;
    EXPECT_EQ(w.ReadData(&s, 2), 2);
    EXPECT_EQ(s, 3);
    w.CloseFile();
}

TEST_F(WaveSave, SavingNeedsAFileAndAName) {
    TMMWave empty;
    for (auto* wave : {&empty, &w}) {
        try {
            wave->SaveToFile(wave == &w ? "" : dir.file("x.wav"));
            FAIL();
        } catch (const EMMWaveError& e) {
            EXPECT_STREQ(e.what(), "Invalid param passed!");
        }
    }
}

}  // namespace
