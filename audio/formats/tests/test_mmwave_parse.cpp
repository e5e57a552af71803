// Reading WAV files as they come: well-formed, unfinished, misdeclared and
// broken. Harmless defects are repaired; what cannot be a wave is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "audio/formats/mmwave.h"
#include "audio/formats/tests/wave_bytes.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
using namespace murrel::wavetest;

namespace {

struct ParseCase {
    const char* name;
    Bytes file;
    bool valid;
    int64_t data_bytes = 0;   // expected when valid
    int64_t first_byte = 0;   // file offset of the first sample byte
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

std::vector<ParseCase> Cases() {
    const Bytes fmt = Chunk("fmt ", Pcm16Mono());
    const Bytes data10 = Chunk("data", Ramp16(10));
    std::vector<ParseCase> c;
    c.push_back({"empty file", {}, false});
    c.push_back({"one byte", {'R'}, false});
    c.push_back({"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', ',', ' ', 'n', 'o'}, false});
    c.push_back({"truncated header", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'}, false});
    c.push_back({"other RIFF form", Cat({Bytes{'R', 'I', 'F', 'F', 40, 0, 0, 0, 'A', 'V', 'I', ' '}, fmt, data10}), false});
    c.push_back({"missing data chunk", Riff(fmt), false});
    c.push_back({"missing fmt chunk", Riff(data10), false});
    c.push_back({"fmt chunk too short", Riff(Cat({Chunk("fmt ", Bytes(12, 1)), data10})), false});
    c.push_back({"zero channels", Riff(Cat({Chunk("fmt ", Fmt(1, 0, 8000, 16, 2, 16000)), data10})), false});
    c.push_back({"well-formed", Riff(Cat({fmt, data10})), true, 20, 44});
    c.push_back({"sizes never filled in (0)",
                 Riff(Cat({fmt, Chunk("data", Ramp16(10), 0)}), 0), true, 20, 44});
    c.push_back({"data size too large", Riff(Cat({fmt, Chunk("data", Ramp16(10), 0xFFFFFFFF)})), true, 20, 44});
    c.push_back({"data shorter than declared", Riff(Cat({fmt, Chunk("data", Ramp16(10), 40)})), true, 20, 44});
    c.push_back({"RIFF size larger than the file", Riff(Cat({fmt, data10}), 5000), true, 20, 44});
    c.push_back({"really empty data then fact",
                 Riff(Cat({fmt, Chunk("data", {}), Chunk("fact", Bytes{0, 0, 0, 0})})), true, 0, 44});
    c.push_back({"odd data size, padded, then INFO",
                 Riff(Cat({fmt, Chunk("data", Cat({Ramp16(10), Bytes{7}})),
                           Chunk("LIST", Cat({Bytes{'I', 'N', 'F', 'O'}, Chunk("INAM", Bytes{'x', 0})}))})),
                 true, 20, 44});
    c.push_back({"odd chunk without its pad byte",
                 Riff(Cat({Chunk("junk", Bytes{1, 2, 3}, -1, false), fmt, data10})), true, 20, 55});
    c.push_back({"odd chunk with its pad byte", Riff(Cat({Chunk("junk", Bytes{1, 2, 3}), fmt, data10})), true, 20, 56});
    c.push_back({"data before fmt", Riff(Cat({data10, fmt})), true, 20, 20});
    c.push_back({"fact after data", Riff(Cat({fmt, data10, Chunk("fact", Bytes{0xE7, 3, 0, 0})})), true, 20, 44});
    c.push_back({"wrong block alignment and byte rate",
                 Riff(Cat({Chunk("fmt ", Fmt(1, 1, 8000, 16, 7, 3)), data10})), true, 20, 44});
    Bytes fmt14 = Pcm16Mono();
    fmt14.resize(14);
    c.push_back({"old 14-byte fmt", Riff(Cat({Chunk("fmt ", fmt14), data10})), true, 20, 42});
    c.push_back({"half a frame at the end", Riff(Cat({fmt, Chunk("data", Cat({Ramp16(10), Bytes{9}}), -1, false)})),
                 true, 20, 44});
    c.push_back({"second data chunk ignored", Riff(Cat({fmt, data10, Chunk("data", Ramp16(3))})), true, 20, 44});
    c.push_back({"garbage after the RIFF chunk", Cat({Riff(Cat({fmt, data10})), Bytes{'x', 'y', 'z'}}), true, 20, 44});
    return c;
}

class WaveParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(WaveParse, FileIsAcceptedOrRefusedAsTheTableSays) {
    testsupport::ScratchDir dir;
    const ParseCase& pc = GetParam();
    std::string path = dir.file("case.wav");
    WriteFile(path, pc.file);
    TMMWave w;
    if (!pc.valid) {
        try {
            w.SetFileName(path);
            FAIL() << "accepted";
        } catch (const EMMWaveError& e) {
            EXPECT_EQ(e.code(), WaveError::InvalidFile);
        }
        EXPECT_EQ(w.FileName(), "");
        return;
    }
    ASSERT_NO_THROW(w.SetFileName(path));
    const WaveIOBlock* b = w.IOBlock();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->data_bytes, pc.data_bytes);
    EXPECT_EQ(b->data_offset, pc.first_byte);
    EXPECT_EQ(b->sample_count, pc.data_bytes / 2);
    EXPECT_EQ(b->format.nBlockAlign, 2);
    EXPECT_EQ(b->format.nAvgBytesPerSec, 16000u);
    // The samples read are the ramp the file holds.
    w.OpenFile();
    std::vector<int16_t> s(64, -1);
    int64_t n = w.ReadData(s.data(), 128);
    if (pc.data_bytes == 0) {
        EXPECT_EQ(n, -1);
    } else {
        ASSERT_EQ(n, pc.data_bytes);
        for (int i = 0; i < n / 2; ++i) EXPECT_EQ(s[size_t(i)], i);
    }
    w.CloseFile();
    // Reading alone never changes the file.
    EXPECT_EQ(ReadFile(path), pc.file);
}

INSTANTIATE_TEST_SUITE_P(BadInputTable, WaveParse, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (!isalnum(uint8_t(ch))) ch = '_';
                             return n;
                         });

TEST(WaveParseDetails, InfoAndDispChunksAreReadAndUnknownInfoItemsDropped) {
    testsupport::ScratchDir dir;
    Bytes info = Cat({Bytes{'I', 'N', 'F', 'O'}, Chunk("INAM", Bytes{'M', 'e', 'm', 'o', 0}),
                      Chunk("IXYZ", Bytes{'n', 'o', 0}), Chunk("ICMT", Bytes{'a', 'b', 'c', 0})});
    Bytes disp = Cat({Bytes{1, 0, 0, 0}, Bytes{'T', 'i', 't', 'l', 'e', 0}});
    WriteFile(dir.file("a.wav"),
              Riff(Cat({Chunk("fmt ", Pcm16Mono()), Chunk("LIST", info), Chunk("DISP", disp),
                        Chunk("data", Ramp16(4))})));
    TMMWave w;
    w.SetFileName(dir.file("a.wav"));
    const WaveIOBlock* b = w.IOBlock();
    ASSERT_EQ(b->info_list.size(), 2u);
    EXPECT_EQ(b->info_list[0], (WaveInfoItem{FourCC('I', 'N', 'A', 'M'), "Memo"}));
    EXPECT_EQ(b->info_list[1], (WaveInfoItem{FourCC('I', 'C', 'M', 'T'), "abc"}));
    ASSERT_EQ(b->disp_list.size(), 1u);
    EXPECT_EQ(b->disp_list[0].type, 1u);
    EXPECT_EQ(b->disp_list[0].data, (Bytes{'T', 'i', 't', 'l', 'e', 0}));
}

// Without the pad byte, the data chunk's header one byte on reads "ata" plus
// the first byte of its size. While that size is 0 it is no chunk; once the
// size is filled in (124 = '|') it passes for one, and the walk must still
// find the real data chunk.
TEST(WaveParseDetails, MissingPadByteStillParsesAfterTheFileIsFinalised) {
    testsupport::ScratchDir dir;
    const std::string path = dir.file("a.wav");
    WriteFile(path, Riff(Cat({Chunk("fmt ", Pcm16Mono()), Chunk("junk", Bytes{1, 2, 3}, -1, false),
                              Chunk("data", Ramp16(61), 0)}),
                         0));
    {
        TMMWave w;
        w.SetFileName(path);
        ASSERT_EQ(w.IOBlock()->data_bytes, 122);
        w.OpenFile();
        w.SetPosition(w.DataSize());
        const int16_t more = 61;
        w.WriteData(&more, 2);
        w.CloseFile();
    }
    ASSERT_EQ(Get32(ReadFile(path), 51), 124u) << "the data size was not filled in";
    TMMWave again;
    ASSERT_NO_THROW(again.SetFileName(path));
    EXPECT_EQ(again.IOBlock()->data_offset, 55);
    ASSERT_EQ(again.IOBlock()->data_bytes, 124);
    again.OpenFile();
    std::vector<int16_t> s(62, -1);
    ASSERT_EQ(again.ReadData(s.data(), 124), 124);
    for (int i = 0; i < 62; ++i) EXPECT_EQ(s[size_t(i)], i);
}

TEST(WaveParseDetails, FactValueIsReplacedByTheCountedFrames) {
    testsupport::ScratchDir dir;
    WriteFile(dir.file("a.wav"),
              Riff(Cat({Chunk("fmt ", Pcm16Mono()), Chunk("fact", Bytes{99, 0, 0, 0}), Chunk("data", Ramp16(6))})));
    TMMWave w;
    w.SetFileName(dir.file("a.wav"));
    EXPECT_EQ(w.IOBlock()->fact_samples, 99);
    EXPECT_EQ(w.DataSize(), 6);
}

TEST(WaveParseDetails, NonPcmFormatKeepsItsExtraBytesAndDeclaredRates) {
    testsupport::ScratchDir dir;
    Bytes fmt = Fmt(0x11, 1, 22050, 4, 1024, 11100);
    Put16(fmt, 2);
    Put16(fmt, 2041);
    WriteFile(dir.file("a.wav"), Riff(Cat({Chunk("fmt ", fmt), Chunk("data", Bytes(2048 + 100, 0))})));
    TMMWave w;
    w.SetFileName(dir.file("a.wav"));
    const WaveIOBlock* b = w.IOBlock();
    EXPECT_EQ(b->format.nBlockAlign, 1024);
    EXPECT_EQ(b->format.nAvgBytesPerSec, 11100u);
    EXPECT_EQ(b->format.extra, (Bytes{0xF9, 0x07}));
    // The ADPCM block cut short stays: its codec decodes what it holds.
    EXPECT_EQ(b->data_bytes, 2048 + 100);
    EXPECT_EQ(w.FormatString(), "IMA ADPCM");
}

TEST(WaveAttach, ErrorsDependOnWhetherTheWaveHoldsAValidFile) {
    testsupport::ScratchDir dir;
    WriteFile(dir.file("good.wav"), Riff(Cat({Chunk("fmt ", Pcm16Mono()), Chunk("data", Ramp16(3))})));
    WriteFile(dir.file("bad.wav"), Bytes{'n', 'o', 'p', 'e'});
    TMMWave w;
    try {
        w.SetFileName(dir.file("missing.wav"));
        FAIL();
    } catch (const EMMWaveError& e) {
        EXPECT_STREQ(e.what(), "Error reading wave file");
    }
    try {
        w.SetFileName(dir.file("bad.wav"));
        FAIL();
    } catch (const EMMWaveError& e) {
        EXPECT_STREQ(e.what(), "Invalid wave file...");
    }
    w.SetFileName(dir.file("good.wav"));
    try {
        w.SetFileName(dir.file("bad.wav"));
        FAIL();
    } catch (const EMMWaveError& e) {
        EXPECT_STREQ(e.what(), "Error reading wave file");
    }
    // The valid file stays attached.
    EXPECT_EQ(w.FileName(), dir.file("good.wav"));
    EXPECT_EQ(w.DataSize(), 3);

    w.FileMustExist = false;
    w.SetFileName(dir.file("later.wav"));
    EXPECT_EQ(w.FileName(), dir.file("later.wav"));
    EXPECT_EQ(w.IOBlock(), nullptr);
    EXPECT_EQ(w.SampleRate(), 11025u);
    EXPECT_EQ(w.FormatString(), "");
    EXPECT_THROW(w.OpenFile(), EMMWaveError);
}

TEST(WaveAttach, ReadOnlyFileIsReadAndClosedWithoutWriting) {
    testsupport::ScratchDir dir;
    std::string path = dir.file("ro.wav");
    Bytes file = Riff(Cat({Chunk("fmt ", Pcm16Mono()), Chunk("data", Ramp16(8), 0)}), 0);
    WriteFile(path, file);
    ::chmod(path.c_str(), 0444);
    TMMWave w;
    w.SetFileName(path);
    w.OpenFile();
    EXPECT_TRUE(w.IOBlock()->read_only);
    int16_t s[2] = {5, 6};
    EXPECT_EQ(w.WriteData(s, 4), -1);
    int16_t r[8];
    EXPECT_EQ(w.ReadData(r, 16), 16);
    w.CloseFile();
    EXPECT_EQ(ReadFile(path), file);
}

TEST(WaveAttach, SameNameWithUnchangedSizeDoesNothingAndEmptyNameFrees) {
    testsupport::ScratchDir dir;
    WriteFile(dir.file("a.wav"), Riff(Cat({Chunk("fmt ", Pcm16Mono()), Chunk("data", Ramp16(3))})));
    TMMWave w;
    int changes = 0;
    w.AddObserver([&](ObjectEvent e) { changes += e == ObjectEvent::Changed; });
    w.SetFileName(dir.file("a.wav"));
    EXPECT_EQ(changes, 1);
    w.SetEndPos(2);
    EXPECT_EQ(changes, 2);
    w.SetFileName(dir.file("a.wav"));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(w.EndPos(), 2);  // not re-attached
    w.SetFileName("");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(w.FileName(), "");
    w.FreeWave();
    EXPECT_EQ(changes, 3);
}

}  // namespace
