// Creating, writing, reading, positioning and finalising WAV files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "audio/formats/mmwave.h"
#include "audio/formats/mmwavefile.h"
#include "audio/formats/tests/wave_bytes.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
using namespace murrel::wavetest;

namespace {

TEST(WaveErrors, EveryErrorHasItsFixedText) {
    const std::pair<WaveError, const char*> table[] = {
        {WaveError::ReadError, "Error reading wave file"},
        {WaveError::InvalidFile, "Invalid wave file..."},
        {WaveError::OpenError, "Unable to open wave file"},
        {WaveError::BufferError, "Unable to setup file IO buffer"},
        {WaveError::CreateError, "Unable to create wave file"},
        {WaveError::InvalidParam, "Invalid param passed!"},
        {WaveError::SaveError, "Unable to save wave file"},
        {WaveError::SaveAborted, "Saving was aborted"},
        {WaveError::SeekError, "Error seeking file position"},
        {WaveError::PropertyWhileOpen, "Change to property while file was open"},
        {WaveError::TooLarge, "Wave file would exceed the 4 GiB limit of the WAV format"},
        {WaveError::WriteError, "Unable to write wave file"},
    };
    static_assert(std::size(table) == kWaveErrorCount);
    for (auto [code, text] : table) {
        EXPECT_STREQ(WaveErrorText(code), text);
        EXPECT_STREQ(EMMWaveError(code).what(), text);
    }
    EXPECT_STREQ(EMMListError(7).what(), "List index out of bounds (7)");
}

TEST(WaveFormat, MakePCMFormatDerivesAlignmentAndRate) {
    TWaveFormatEx f = MakePCMFormat(16, 2, 22050);
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(FormatTagName(1), "PCM");
    EXPECT_EQ(FormatTagName(0x4242), "Unknown");
}

TEST(WaveCreate, ThreeBytesGiveAPaddedDataChunkThenFact) {
    testsupport::ScratchDir dir;
    std::string path = dir.file("odd.wav");
    TMMWave w;
    w.CreateFile(path, MakePCMFormat(16, 1, 16000));
    const uint8_t three[3] = {1, 2, 3};
    EXPECT_EQ(w.WriteData(three, 3), 3);
    w.CloseFile();
    Bytes f = ReadFile(path);
    Bytes expect = Riff(Cat({Chunk("fmt ", Cat({Fmt(1, 1, 16000, 16, 2, 32000), Bytes{0, 0}})),
                             Chunk("data", Bytes{1, 2, 3}), Chunk("fact", Bytes{2, 0, 0, 0})}));
    // 3 bytes of 16-bit mono are 1.5 frames: rounded to nearest, 2.
    EXPECT_EQ(f, expect);
    EXPECT_EQ(Get32(f, 4), f.size() - 8);
    EXPECT_EQ(f[49], 0);  // the pad byte after data at 46..48
}

TEST(WaveCreate, RoundTripOfManyWriteSizesIsExact) {
    testsupport::ScratchDir dir;
    std::mt19937 rng(42);
    Bytes all;
    TMMWave w;
    w.CreateFile(dir.file("rt.wav"), MakePCMFormat(8, 2, 11025));
    const int sizes[] = {1, 2, 4, 3, 40000, 2, 2, 70000, 1, 4, 8191, 2};
    for (int round = 0; round < 50; ++round)
        for (int n : sizes) {
            Bytes b(static_cast<size_t>(n));
            for (auto& x : b) x = uint8_t(rng());
            ASSERT_EQ(w.WriteData(b.data(), n), n);
            all.insert(all.end(), b.begin(), b.end());
        }
    EXPECT_EQ(w.DataSize(), int64_t(all.size() / 2));
    w.CloseFile();
    w.FreeWave();

    w.SetFileName(dir.file("rt.wav"));
    EXPECT_EQ(w.BitLength(), 8);
    EXPECT_EQ(w.Mode(), TMMMode::mStereo);
    EXPECT_EQ(w.SampleRate(), 11025u);
    EXPECT_EQ(w.LengthInBytes(), int64_t(all.size() & ~size_t(1)));
    w.OpenFile();
    Bytes back;
    std::vector<uint8_t> buf(5000);
    int64_t n;
    while ((n = w.ReadData(buf.data(), int64_t(buf.size()))) > 0) back.insert(back.end(), buf.begin(), buf.begin() + n);
    w.CloseFile();
    all.resize(all.size() & ~size_t(1));
    EXPECT_EQ(back, all);
}

TEST(WaveCreate, AskingTheLengthWhileWritingNeverMovesTheWritePosition) {
    // The decoder's split check asks LengthInBytes after every frame.
    testsupport::ScratchDir dir;
    TMMWave w;
    w.CreateFile(dir.file("len.wav"), MakePCMFormat(16, 1, 16000));
    for (int16_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(w.WriteData(&i, 2), 2);
        ASSERT_EQ(w.LengthInBytes(), int64_t(i + 1) * 2);
    }
    w.CloseFile();
    w.FreeWave();
    w.SetFileName(dir.file("len.wav"));
    ASSERT_EQ(w.LengthInBytes(), 2000);
    w.OpenFile();
    std::vector<int16_t> back(1000);
    ASSERT_EQ(w.ReadData(back.data(), 2000), 2000);
    for (int16_t i = 0; i < 1000; ++i) ASSERT_EQ(back[size_t(i)], i) << "sample " << i;
    w.CloseFile();
}

TEST(WaveCreate, RefusesPathsThatCannotBeFiles) {
    testsupport::ScratchDir dir;
    TMMWave w;
    for (std::string bad : {std::string(), dir.path().string() + "/", dir.path().string(),
                            dir.file("no/such/folder/x.wav")}) {
        try {
            w.CreateFile(bad, MakePCMFormat(16, 1, 8000));
            FAIL() << bad;
        } catch (const EMMWaveError& e) {
            EXPECT_EQ(e.code(), WaveError::CreateError) << bad;
        }
    }
    EXPECT_THROW(w.CreateFile(dir.file("x.wav"), TWaveFormatEx{}), EMMWaveError);
}

TEST(WaveCreate, ReplacesAnExistingFile) {
    testsupport::ScratchDir dir;
    WriteFile(dir.file("x.wav"), Bytes(1000, 'z'));
    TMMWave w;
    w.CreateFile(dir.file("x.wav"), MakePCMFormat(16, 1, 8000));
    w.CloseFile();
    // Closed without data, it is still finalised: RIFF, fmt, empty data, fact.
    Bytes f = ReadFile(dir.file("x.wav"));
    EXPECT_EQ(f.size(), 12u + 26 + 8 + 12);
    EXPECT_EQ(Get32(f, 4), f.size() - 8);
}

TEST(WaveUnits, ConversionsRoundToNearestAndBytesToWholeBlocks) {
    testsupport::ScratchDir dir;
    TMMWave pcm;
    pcm.CreateFile(dir.file("p.wav"), MakePCMFormat(16, 1, 16000));
    EXPECT_EQ(pcm.SamplesToBytes(3), 6);
    EXPECT_EQ(pcm.BytesToSamples(3), 2);   // 1.5 rounds up
    EXPECT_EQ(pcm.BytesToSamples(1), 1);   // 0.5 rounds up
    pcm.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    EXPECT_EQ(pcm.SamplesToUnits(16000), 1000);
    EXPECT_EQ(pcm.SamplesToUnits(8), 1);    // 0.5 ms
    EXPECT_EQ(pcm.SamplesToUnits(7), 0);    // 0.4375 ms
    EXPECT_EQ(pcm.UnitsToSamples(250), 4000);
    pcm.SetTimeFormat(TMMTimeFormats::tfByte);
    EXPECT_EQ(pcm.SamplesToUnits(5), 10);
    EXPECT_EQ(pcm.UnitsToSamples(10), 5);

    TWaveFormatEx ima{0x11, 1, 22050, 11100, 1024, 4, 2, {0xF9, 0x07}};
    TMMWave adpcm;
    adpcm.CreateFile(dir.file("a.wav"), ima);
    EXPECT_EQ(adpcm.SamplesToBytes(2041), 2048);  // 1027.4 bytes, up to whole blocks
    EXPECT_EQ(adpcm.SamplesToBytes(0), 0);
    EXPECT_EQ(adpcm.BytesToSamples(1024), 2034);  // 2034.16
}

class WaveRead : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("r.wav");
        WriteFile(path, Riff(Cat({Chunk("fmt ", Pcm16Mono(1000)), Chunk("data", Ramp16(100))})));
        w.SetFileName(path);
    }
    std::vector<int16_t> Read(int64_t bytes) {
        std::vector<int16_t> s(size_t(bytes / 2));
        int64_t n = w.ReadData(s.data(), bytes);
        s.resize(n > 0 ? size_t(n / 2) : 0);
        return s;
    }
    testsupport::ScratchDir dir;
    std::string path;
    TMMWave w;
};

TEST_F(WaveRead, PositionsAreClampedAndFollowReads) {
    w.OpenFile();
    w.SetPosition(90);
    EXPECT_EQ(w.BytesLeft(), 20);
    EXPECT_EQ(Read(4), (std::vector<int16_t>{90, 91}));
    EXPECT_EQ(w.Position(), 92);
    w.SetPosition(500);
    EXPECT_EQ(w.Position(), 100);
    EXPECT_EQ(w.ReadData(nullptr, 0), -1);
    w.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    w.SetPosition(25);  // 1000 Hz: 25 frames
    EXPECT_EQ(Read(2), (std::vector<int16_t>{25}));
    EXPECT_EQ(w.Position(), 26);
}

TEST_F(WaveRead, RangeLimitsWhatIsReadAndIsClamped) {
    w.SetStartPos(10);
    w.SetEndPos(20);
    EXPECT_EQ(w.LengthInSamples(), 10);
    EXPECT_EQ(w.LengthInBytes(), 20);
    w.OpenFile();
    auto s = Read(100);
    ASSERT_EQ(s.size(), 10u);
    EXPECT_EQ(s.front(), 10);
    EXPECT_EQ(s.back(), 19);
    EXPECT_EQ(w.ReadData(s.data(), 2), -1);
    w.SetEndPos(5000);
    EXPECT_EQ(w.EndPos(), 100);
    w.SetStartPos(200);
    EXPECT_EQ(w.StartPos(), 100);
    EXPECT_EQ(w.LengthInSamples(), 0);
}

TEST_F(WaveRead, FileShorterThanItsPlayListGivesFourZeroBytesOnce) {
    w.OpenFile();
    ASSERT_EQ(Read(190).size(), 95u);
    ASSERT_EQ(::truncate(path.c_str(), 44 + 190), 0);
    w.CloseFile();
    w.OpenFile();  // still the parsed length of 100 frames
    w.SetPosition(95);
    uint8_t b[16];
    std::memset(b, 0xAA, sizeof b);
    EXPECT_EQ(w.ReadData(b, 16), 4);
    EXPECT_EQ(Bytes(b, b + 5), (Bytes{0, 0, 0, 0, 0xAA}));
    EXPECT_EQ(w.ReadData(b, 16), -1);
    // A caller asking for fewer than 4 bytes never gets more than it asked for.
    w.SetPosition(95);
    EXPECT_EQ(w.ReadData(b, 2), 2);
}

TEST_F(WaveRead, NoFadesMayOnlyChangeWhileClosed) {
    w.OpenFile();
    try {
        w.SetNoFades(true);
        FAIL();
    } catch (const EMMWaveError& e) {
        EXPECT_STREQ(e.what(), "Change to property while file was open");
    }
    w.CloseFile();
    w.SetNoFades(true);
    EXPECT_TRUE(w.NoFades());
}

TEST_F(WaveRead, VanishedFileCannotBeOpened) {
    std::filesystem::remove(path);
    try {
        w.OpenFile();
        FAIL();
    } catch (const EMMWaveError& e) {
        EXPECT_STREQ(e.what(), "Unable to open wave file");
    }
}

TEST_F(WaveRead, BufferSizeNeverDropsBelow8192) {
    w.SetIOBufferSize(100);
    EXPECT_EQ(w.IOBufferSize(), 8192);
    w.OpenFile();
    w.SetIOBufferSize(65536);
    EXPECT_EQ(Read(6), (std::vector<int16_t>{0, 1, 2}));
}

TEST(WaveAppend, WritingIntoAnOpenedFileKeepsInfoAndFixesSizes) {
    testsupport::ScratchDir dir;
    std::string path = dir.file("a.wav");
    Bytes info = Cat({Bytes{'I', 'N', 'F', 'O'}, Chunk("INAM", Bytes{'M', 'e', 'm', 'o', 0})});
    // Unfinished: sizes 0, INFO before the data.
    WriteFile(path, Riff(Cat({Chunk("fmt ", Pcm16Mono()), Chunk("LIST", info), Chunk("data", Ramp16(4), 0)}), 0));
    TMMWave w;
    w.SetFileName(path);
    w.OpenFile();
    w.SetPosition(4);
    int16_t more[3] = {4, 5, 6};
    EXPECT_EQ(w.WriteData(more, 6), 6);
    w.CloseFile();
    EXPECT_EQ(w.DataSize(), 7);
    Bytes f = ReadFile(path);
    EXPECT_EQ(Get32(f, 4), f.size() - 8);
    w.FreeWave();
    w.SetFileName(path);
    EXPECT_EQ(w.IOBlock()->data_chunk.size, 14u);
    EXPECT_EQ(w.IOBlock()->info_list.size(), 1u);
    EXPECT_EQ(w.IOBlock()->fact_samples, 7);
    w.OpenFile();
    int16_t all[8];
    EXPECT_EQ(w.ReadData(all, 16), 14);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(all[i], i);
}

TEST(WaveLimit, DataThatWouldPassFourGiBIsRefusedNotWrapped) {
    testsupport::ScratchDir dir;
    std::string path = dir.file("big.wav");
    // A sparse file whose data chunk already holds nearly 4 GiB.
    const uint32_t data = 0xFFFFFF00u;
    WriteFile(path, Riff(Cat({Chunk("fmt ", Pcm16Mono()), Chunk("data", {}, data)}), 4 + 24 + 8 + int64_t(data)));
    ASSERT_EQ(::truncate(path.c_str(), 44 + int64_t(data)), 0);
    TMMWave w;
    w.SetFileName(path);
    EXPECT_EQ(w.IOBlock()->data_bytes, int64_t(data));
    w.OpenFile();
    w.SetPosition(w.DataSize());
    Bytes block(1024, 1);
    EXPECT_EQ(w.WriteData(block.data(), 1024), -1);
    EXPECT_STREQ(w.LastError(), "Wave file would exceed the 4 GiB limit of the WAV format");
    int16_t s = 1;
    EXPECT_EQ(w.WriteData(&s, 2), 2);  // what still fits is taken
    w.CloseFile();
    w.FreeWave();
    w.SetFileName(path);
    EXPECT_EQ(w.IOBlock()->data_bytes, int64_t(data) + 2);
    EXPECT_LE(w.FileSize(), int64_t(UINT32_MAX) + 8);
}

TEST(WaveComponent, WaveFileForwardsOpenCloseAndChangeEvents) {
    testsupport::ScratchDir dir;
    TMMWaveFile wf;
    std::string log;
    wf.OnOpen = [&](TMMWaveFile&) { log += "o"; };
    wf.OnClose = [&](TMMWaveFile&) { log += "c"; };
    wf.OnChange = [&](TMMWaveFile&) { log += "<"; };
    wf.OnChanged = [&](TMMWaveFile&) { log += ">"; };
    wf.Wave().CreateFile(dir.file("c.wav"), MakePCMFormat(16, 1, 8000));
    int16_t s = 3;
    for (int i = 0; i < 100; ++i) wf.Wave().WriteData(&s, 2);
    wf.Wave().CloseFile();
    EXPECT_EQ(log, "<>o<>c");  // created, opened; one change for all the writes; closed

    TMMWave other;
    other.SetFileName(dir.file("c.wav"));
    other.SetStartPos(10);
    wf.Wave().FreeWave();
    wf.SetWave(other);
    EXPECT_EQ(wf.Wave().FileName(), dir.file("c.wav"));
    EXPECT_EQ(wf.Wave().StartPos(), 10);
    EXPECT_EQ(wf.Wave().LengthInSamples(), 90);
}

}  // namespace
