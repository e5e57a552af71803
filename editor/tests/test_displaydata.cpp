// Display data: the cache file against min/max computed here from the
// generated samples, where it is placed, when it is reused, and the pixel
// buffer drawn from it.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio/formats/acmwave.h"
#include "editor/displaydata.h"
#include "editor/displayregistry.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

// A riff file written byte by byte, so that a test can give two files the
// same frames but different sizes (a trailing "junk" chunk).
void write_riff(const std::string& path, int bits, int channels, uint32_t rate,
                const std::vector<uint8_t>& data, size_t junk = 0) {
    std::string s;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) s += char(v >> (8 * i)); };
    auto u16 = [&](uint16_t v) { s += char(v); s += char(v >> 8); };
    const uint32_t align = uint32_t(channels * bits / 8);
    s += "RIFF";
    u32(uint32_t(4 + 24 + 8 + data.size() + (data.size() & 1) + (junk ? 8 + junk : 0)));
    s += "WAVEfmt ";
    u32(16); u16(1); u16(uint16_t(channels)); u32(rate); u32(rate * align); u16(uint16_t(align));
    u16(uint16_t(bits));
    s += "data";
    u32(uint32_t(data.size()));
    s.append(reinterpret_cast<const char*>(data.data()), data.size());
    if (data.size() & 1) s += '\0';
    if (junk) { s += "junk"; u32(uint32_t(junk)); s.append(junk, 'j'); }
    std::ofstream(path, std::ios::binary) << s;
}

// Samples per channel that differ between the channels and hold extremes.
std::vector<std::vector<int>> signal(int64_t frames, int channels, int bits, uint32_t seed) {
    std::vector<std::vector<int>> ch(static_cast<size_t>(channels), std::vector<int>(static_cast<size_t>(frames)));
    uint32_t x = seed;
    for (int c = 0; c < channels; ++c)
        for (int64_t i = 0; i < frames; ++i) {
            x = x * 1664525u + 1013904223u;
            const int span = bits == 16 ? 65536 : 256;
            int v = int((x >> 8) % uint32_t(span)) - (bits == 16 ? 32768 : 0);
            if (i % 977 == 0) v = bits == 16 ? (c ? -32768 : 32767) : (c ? 0 : 255);
            ch[size_t(c)][size_t(i)] = (c == 1) ? v / 3 : v;  // second channel quieter
        }
    return ch;
}

std::vector<uint8_t> interleave(const std::vector<std::vector<int>>& ch, int bits) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < ch[0].size(); ++i)
        for (const auto& c : ch) {
            if (bits == 16) { out.push_back(uint8_t(c[i])); out.push_back(uint8_t(c[i] >> 8)); }
            else out.push_back(uint8_t(c[i]));
        }
    return out;
}

int to16(int v, int bits) { return bits == 16 ? v : v * 256 - 32768; }

std::vector<uint8_t> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}
int16_t i16(const std::vector<uint8_t>& b, size_t at) { return int16_t(uint16_t(b[at] | b[at + 1] << 8)); }
uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Largest k with 2^k <= (frames + 1) * 1000 / rate, in integers.
int expected_levels(int64_t frames, uint32_t rate) {
    int k = 0;
    while ((int64_t(2) << k) * int64_t(rate) <= (frames + 1) * 1000) ++k;
    return k;
}

class DisplayData : public ::testing::Test {
protected:
    void SetUp() override {
        cache = dir.file("cache");
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        registry.Probe = [](const std::string&) { return DisplayVolumeInfo{}; };
    }
    std::string wav(const std::string& name, int bits, int channels, uint32_t rate, int64_t frames,
                    uint32_t seed = 7) {
        samples = signal(frames, channels, bits, seed);
        const std::string path = dir.file(name);
        write_riff(path, bits, channels, rate, interleave(samples, bits));
        return path;
    }
    std::string build(const std::string& path, std::vector<int>* percents = nullptr) {
        TMMAcmWave w;
        w.SetFileName(path);
        const std::string key = registry.Register(w);
        EXPECT_EQ(registry.Build(key, w, [&](int p, bool&) { if (percents) percents->push_back(p); }),
                  DisplayBuildResult::Built);
        return key;
    }
    testsupport::ScratchDir dir;
    std::string cache;
    TMMDisplayRegistry registry;
    std::vector<std::vector<int>> samples;
};

void check_entries(const std::vector<uint8_t>& f, const std::vector<std::vector<int>>& s, int bits,
                   uint32_t rate) {
    const int channels = int(s.size());
    const int64_t frames = int64_t(s[0].size());
    const int L = expected_levels(frames, rate);
    const size_t entry = size_t(4 * channels);
    ASSERT_EQ(f.size(), 24 + entry * (size_t(2) << L) + 8);
    EXPECT_EQ(u32(f, 0), 2000u);
    EXPECT_EQ(u32(f, 4), uint32_t(frames));
    EXPECT_EQ(u32(f, 12), uint32_t(entry << L));
    EXPECT_EQ(u32(f, 16), 1u);
    EXPECT_EQ(u32(f, 20), 0u);
    int bad = 0;
    for (int k = 0; k <= L; ++k)
        for (int64_t j = 0; j < (int64_t(1) << k); ++j) {
            const int64_t parts = int64_t(1) << L, span = int64_t(1) << (L - k);
            const int64_t a = j * span * frames / parts, b = (j + 1) * span * frames / parts;
            for (int c = 0; c < channels; ++c) {
                int lo = 99999, hi = -99999;
                for (int64_t i = a; i < b; ++i) {
                    lo = std::min(lo, to16(s[size_t(c)][size_t(i)], bits));
                    hi = std::max(hi, to16(s[size_t(c)][size_t(i)], bits));
                }
                const size_t at = 24 + size_t((int64_t(1) << k) + j) * entry + size_t(4 * c);
                if (i16(f, at) != lo || i16(f, at + 2) != hi) {
                    if (++bad < 5) ADD_FAILURE() << "level " << k << " entry " << j << " channel " << c;
                }
            }
        }
    EXPECT_EQ(bad, 0);
}

}  // namespace

TEST_F(DisplayData, EveryEntryOfAStereoAndAMonoFileIsTheMinMaxOfItsFrames) {
    for (auto [bits, channels, rate, frames] :
         {std::tuple{16, 2, 8000u, int64_t(20011)}, std::tuple{16, 1, 11025u, int64_t(33333)},
          std::tuple{8, 1, 8000u, int64_t(9001)}, std::tuple{8, 2, 16000u, int64_t(17000)}}) {
        SCOPED_TRACE(testing::Message() << bits << " bit, " << channels << " ch");
        const std::string path = wav("s" + std::to_string(bits) + std::to_string(channels) + ".wav", bits,
                                     channels, rate, frames);
        const std::string key = build(path);
        EXPECT_EQ(registry.DisplayFile(key), fs::path(path).parent_path() / DisplayFileName(path));
        const auto f = slurp(registry.DisplayFile(key));
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(u32(f, 8), uint32_t(st.st_mtim.tv_sec));
        check_entries(f, samples, bits, rate);
    }
}

TEST_F(DisplayData, EightBitSamplesAreStoredScaledToSixteenBits) {
    const std::string path = dir.file("eight.wav");
    write_riff(path, 8, 1, 8000, std::vector<uint8_t>(8000, 0));
    std::vector<uint8_t> data(8000, 128);
    data[10] = 0;
    data[20] = 255;
    write_riff(path, 8, 1, 8000, data);
    const auto f = slurp(registry.DisplayFile(build(path)));
    // Entry 1 is level 0: the whole file.
    EXPECT_EQ(i16(f, 24 + 4), -32768);
    EXPECT_EQ(i16(f, 24 + 6), 255 * 256 - 32768);
    // A finest entry of silence: 128 is 0.
    EXPECT_EQ(i16(f, 24 + 4 * 1000), 0);
    EXPECT_EQ(i16(f, 24 + 4 * 1000 + 2), 0);
}

TEST_F(DisplayData, OneSecondAtEightKilohertzHasNineLevelsAndFiveHundredTwelveFinestEntries) {
    EXPECT_EQ(DisplayLevels(8000, 8000), 9);
    EXPECT_EQ(DisplayLevels(0, 8000), 0);
    EXPECT_EQ(DisplayLevels(3600 * 16000, 16000), 21);
    EXPECT_EQ(DisplayLevels(2047, 2048000), 0);  // under a millisecond: no negative level
    const auto f = slurp(registry.DisplayFile(build(wav("one.wav", 16, 1, 8000, 8000))));
    EXPECT_EQ(u32(f, 12), 512u * 4);
    EXPECT_EQ(f.size(), 24u + 1024 * 4 + 8);
}

TEST(DisplayDataName, TakesTheUpperCasedNameWithTheExtensionRuleAndKeepsTheFolder) {
    EXPECT_EQ(DisplayFileName("/home/ann/Memos/memo.wav"), "MEMO.SDD");
    EXPECT_EQ(DisplayFileName("/x/clip.tmp"), "CLIPTMP.SDD");
    EXPECT_EQ(DisplayFileName("/x/Take.2.WAV"), "TAKE.2.SDD");
    EXPECT_EQ(DisplayFileName("/x/noext"), "NOEXT.SDD");
    setenv("XDG_CACHE_HOME", "/c/x", 1);
    EXPECT_EQ(DisplayCacheFolder(), "/c/x/Murrelphonic");
    EXPECT_EQ(fs::path(DisplayCachePath("/a/MEMO.WAV")).parent_path(), "/c/x/Murrelphonic");
    EXPECT_NE(DisplayCachePath("/a/memo.wav"), DisplayCachePath("/b/memo.wav"));
    unsetenv("XDG_CACHE_HOME");
    setenv("HOME", "/h/ann", 1);
    EXPECT_EQ(DisplayCacheFolder(), "/h/ann/.cache/Murrelphonic");
}

TEST_F(DisplayData, AnUnchangedWavReusesItsFileAndATouchedOneRebuilds) {
    const std::string path = wav("memo.wav", 16, 1, 8000, 16000);
    const std::string key = build(path);
    const std::string sdd = registry.DisplayFile(key);
    struct stat before {};
    ASSERT_EQ(stat(sdd.c_str(), &before), 0);

    TMMDisplayRegistry fresh;  // as after a restart
    fresh.Probe = registry.Probe;
    TMMAcmWave w;
    w.SetFileName(path);
    const std::string k2 = fresh.Register(w);
    EXPECT_TRUE(fresh.Valid(k2));
    int reports = 0;
    EXPECT_EQ(fresh.Build(k2, w, [&](int, bool&) { ++reports; }), DisplayBuildResult::Built);
    EXPECT_EQ(reports, 0);

    struct timespec t[2] = {{before.st_mtim.tv_sec + 10, 0}, {before.st_mtim.tv_sec + 10, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
    EXPECT_FALSE(fresh.Valid(k2));
    EXPECT_EQ(fresh.Build(k2, w, [&](int, bool&) { ++reports; }), DisplayBuildResult::Built);
    EXPECT_GT(reports, 0);
    EXPECT_TRUE(fresh.Valid(k2));
    EXPECT_EQ(u32(slurp(sdd), 8), uint32_t(before.st_mtim.tv_sec + 10));
}

TEST_F(DisplayData, AWavReplacedByOneOfEqualLengthWithinTheSameSecondIsNotTakenForTheOld) {
    const std::string path = wav("memo.wav", 16, 1, 8000, 16000);
    const std::string key = build(path);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    write_riff(path, 16, 1, 8000, interleave(signal(16000, 1, 16, 99), 16), 6);
    struct timespec t[2] = {st.st_mtim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
    EXPECT_FALSE(registry.Valid(key));
}

TEST_F(DisplayData, ValidityRejectsEachBrokenField) {
    const std::string path = wav("memo.wav", 16, 2, 8000, 9000);
    const std::string sdd = registry.DisplayFile(build(path));
    TMMAcmWave w;
    w.SetFileName(path);
    DisplaySource src;
    ASSERT_TRUE(DisplaySourceOf(w, src));
    ASSERT_TRUE(DisplayFileValid(sdd, src));
    const auto good = slurp(sdd);
    for (size_t at : {size_t(0), size_t(4), size_t(8), size_t(12), size_t(16)}) {
        auto bad = good;
        bad[at] ^= 1;
        std::ofstream(sdd, std::ios::binary).write(reinterpret_cast<const char*>(bad.data()), long(bad.size()));
        EXPECT_FALSE(DisplayFileValid(sdd, src)) << "field at " << at;
    }
    std::ofstream(sdd, std::ios::binary).write(reinterpret_cast<const char*>(good.data()), long(good.size() / 2));
    EXPECT_FALSE(DisplayFileValid(sdd, src)) << "truncated";
    EXPECT_FALSE(DisplayFileValid(dir.file("none.SDD"), src));
}

TEST_F(DisplayData, ThePlaceFollowsTheVolumeAndPrefersAValidCacheFile) {
    const std::string path = wav("memo.wav", 16, 1, 8000, 8000);
    TMMAcmWave w;
    w.SetFileName(path);
    DisplaySource src;
    ASSERT_TRUE(DisplaySourceOf(w, src));
    const std::string beside = dir.file("MEMO.SDD"), cached = DisplayCachePath(path);
    auto place = [&](DisplayVolumeInfo v) { return ChooseDisplayFile(src, [&](const std::string&) { return v; }); };
    EXPECT_EQ(place({}), beside);
    EXPECT_EQ(place({.removable = true}), cached);
    EXPECT_EQ(place({.read_only = true}), cached);
    EXPECT_EQ(place({.ram_disk = true}), cached);
    EXPECT_EQ(place({.unknown = true}), cached);
    EXPECT_EQ(place({.free_bytes = 512 * 4 * 2 - 1}), cached);
    EXPECT_EQ(place({.free_bytes = 512 * 4 * 2}), beside);

    registry.Probe = [](const std::string&) { return DisplayVolumeInfo{.removable = true}; };
    EXPECT_EQ(registry.DisplayFile(build(path)), cached);
    EXPECT_TRUE(fs::exists(cached));
    EXPECT_FALSE(fs::exists(beside));
    EXPECT_EQ(place({}), cached) << "an existing valid cache file comes first";
}

TEST_F(DisplayData, AWavOnATmpfsGetsItsDisplayFileInTheCacheFolder) {
    const std::string mnt = dir.file("ram");
    fs::create_directory(mnt);
    if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    registry.Probe = nullptr;  // the real volume
    {
        const std::string path = mnt + "/memo.wav";
        write_riff(path, 16, 1, 8000, interleave(signal(8000, 1, 16, 3), 16));
        const std::string key = build(path);
        EXPECT_EQ(registry.DisplayFile(key), DisplayCachePath(path));
        EXPECT_TRUE(fs::exists(DisplayCachePath(path)));
        EXPECT_FALSE(fs::exists(mnt + "/MEMO.SDD"));
        registry.Release(key, true);
    }
    umount(mnt.c_str());
}

TEST_F(DisplayData, ADisplayFileThatCannotBeWrittenBesideTheWavGoesToTheCacheFolder) {
    const std::string path = wav("memo.wav", 16, 1, 8000, 8000);
    fs::create_directory(dir.file("MEMO.SDD"));  // the name is taken by a folder
    const std::string key = build(path);
    EXPECT_EQ(registry.DisplayFile(key), DisplayCachePath(path));
    EXPECT_TRUE(registry.Valid(key));
}

TEST_F(DisplayData, ProgressRisesToOneHundredAndACancelLeavesNoFile) {
    const std::string path = wav("memo.wav", 16, 2, 16000, 200000);
    std::vector<int> percents;
    build(path, &percents);
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end()) << "only changes";
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(std::count(percents.begin(), percents.end(), 100), 1);

    const std::string other = wav("other.wav", 16, 2, 16000, 200000);
    TMMAcmWave w;
    w.SetFileName(other);
    const std::string key = registry.Register(w);
    int last = 0;
    EXPECT_EQ(registry.Build(key, w, [&](int p, bool& cancel) { last = p; cancel = p >= 30; }),
              DisplayBuildResult::Cancelled);
    EXPECT_GE(last, 30);
    EXPECT_LT(last, 100);
    EXPECT_FALSE(fs::exists(registry.DisplayFile(key)));
}

TEST_F(DisplayData, ReferencesCountAndTheLastReleaseMayDeleteTheFile) {
    const std::string path = wav("memo.wav", 16, 1, 8000, 8000);
    const std::string key = build(path);
    TMMAcmWave w;
    w.SetFileName(path);
    EXPECT_EQ(registry.Register(w), key);
    EXPECT_EQ(registry.References(key), 2);
    int16_t e[2];
    registry.ReadEntry(key, 1, e);
    registry.Release(key, true);
    EXPECT_TRUE(fs::exists(registry.DisplayFile(key)));
    EXPECT_TRUE(registry.IsOpen(key));
    const std::string sdd = registry.DisplayFile(key);
    registry.Release(key, true);
    EXPECT_EQ(registry.References(key), 0);
    EXPECT_FALSE(fs::exists(sdd));
}

TEST_F(DisplayData, AtMostTwentyFiveAreOpenAndTheLeastRecentlyUsedIsClosed) {
    std::vector<std::string> keys;
    for (int i = 0; i < 27; ++i) keys.push_back(build(wav("m" + std::to_string(i) + ".wav", 16, 1, 8000, 2000)));
    int16_t e[2];
    for (const auto& k : keys) registry.ReadEntry(k, 1, e);
    EXPECT_EQ(registry.OpenFiles(), 25);
    EXPECT_FALSE(registry.IsOpen(keys[0]));
    EXPECT_FALSE(registry.IsOpen(keys[1]));
    registry.ReadEntry(keys[2], 2, e);  // now the most recent
    registry.ReadEntry(keys[0], 1, e);
    EXPECT_TRUE(registry.IsOpen(keys[0]));
    EXPECT_TRUE(registry.IsOpen(keys[2]));
    EXPECT_FALSE(registry.IsOpen(keys[3]));
    EXPECT_EQ(registry.OpenFiles(), 25);
}

TEST_F(DisplayData, AMissingDisplayFileCannotBeRead) {
    const std::string key = build(wav("memo.wav", 16, 1, 8000, 8000));
    fs::remove(registry.DisplayFile(key));
    int16_t e[2];
    try {
        registry.ReadEntry(key, 1, e);
        FAIL() << "no error";
    } catch (const EMMWaveEditError& err) {
        EXPECT_STREQ(err.what(), "Could not read Display Data");
    }
}

TEST_F(DisplayData, ThePixelBufferTakesOneEntryPerColumnFromTheLevelOfTheStrip) {
    const int64_t frames = 40000;
    const std::string path = wav("memo.wav", 16, 2, 8000, frames);
    const std::string key = build(path);
    const int L = expected_levels(frames, 8000);  // 12: 4096 finest entries
    const auto f = slurp(registry.DisplayFile(key));
    TMMAcmWave pcm;
    pcm.SetFileName(path);
    for (int64_t strip : {int64_t(700), int64_t(1600), int64_t(4096)}) {
        int level = 0;
        while ((int64_t(2) << level) <= 2 * strip) ++level;  // 2^level > strip, the next power
        level = std::min(level, L);
        std::vector<int16_t> out(4 * 100);
        LoadPixelBuffer(registry, key, pcm, 300, 400, strip, out.data());
        for (int64_t c = 300; c < 400; ++c) {
            const size_t at = 24 + size_t((int64_t(1) << level) + (int64_t(1) << level) * c / strip) * 8;
            for (int v = 0; v < 4; ++v) ASSERT_EQ(out[size_t(4 * (c - 300) + v)], i16(f, at + 2 * v)) << strip;
        }
    }
}

TEST_F(DisplayData, ZoomedBeyondTheFinestLevelTheVisibleColumnsComeFromThePcm) {
    const int64_t frames = 40000;
    for (int channels : {1, 2}) {
        const std::string path = wav("z" + std::to_string(channels) + ".wav", 16, channels, 8000, frames);
        const std::string key = build(path);
        TMMAcmWave pcm;
        pcm.SetFileName(path);
        for (int64_t strip : {int64_t(10000), int64_t(100000)}) {  // 4 and 0.4 frames per column
            std::vector<int16_t> out(4 * 50, 123);
            LoadPixelBuffer(registry, key, pcm, 7000, 7050, strip, out.data());
            for (int64_t c = 7000; c < 7050; ++c) {
                const int64_t a = c * frames / strip, b = std::max(a + 1, (c + 1) * frames / strip);
                for (int ch = 0; ch < 2; ++ch) {
                    const auto& s = samples[size_t(std::min(ch, channels - 1))];
                    int lo = 99999, hi = -99999;
                    for (int64_t i = a; i < b; ++i) { lo = std::min(lo, s[size_t(i)]); hi = std::max(hi, s[size_t(i)]); }
                    ASSERT_EQ(out[size_t(4 * (c - 7000) + 2 * ch)], lo) << strip << " column " << c;
                    ASSERT_EQ(out[size_t(4 * (c - 7000) + 2 * ch + 1)], hi) << strip << " column " << c;
                }
            }
        }
    }
}
