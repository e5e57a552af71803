// The chain against the sox command as a peer: a test signal that differs per
// channel is written by sox in each codec, decoded by sox to 16-bit PCM, and
// decoded here through the chain in the block sizes the edit document uses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/formats/acmchain.h"
#include "audio/formats/acmwave.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;

namespace {

struct WavFile {
    TWaveFormatEx format;
    std::vector<uint8_t> data;
};

uint32_t le(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// Just enough RIFF reading for files sox writes.
WavFile read_wav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), {});
    WavFile w;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string id(reinterpret_cast<const char*>(&b[at]), 4);
        const uint32_t size = le(&b[at + 4], 4);
        const uint8_t* p = &b[at + 8];
        if (id == "fmt ") {
            w.format.wFormatTag = uint16_t(le(p, 2));
            w.format.nChannels = uint16_t(le(p + 2, 2));
            w.format.nSamplesPerSec = le(p + 4, 4);
            w.format.nAvgBytesPerSec = le(p + 8, 4);
            w.format.nBlockAlign = uint16_t(le(p + 12, 2));
            w.format.wBitsPerSample = uint16_t(le(p + 14, 2));
            if (size >= 18) {
                w.format.cbSize = uint16_t(le(p + 16, 2));
                w.format.extra.assign(p + 18, p + 18 + w.format.cbSize);
            }
        } else if (id == "data") {
            w.data.assign(p, p + std::min<size_t>(size, b.size() - at - 8));
        }
        at += 8 + size + (size & 1);
    }
    return w;
}

std::vector<int16_t> pcm16(const std::vector<uint8_t>& b) {
    std::vector<int16_t> s(b.size() / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

void sox(const std::string& args) {
    const std::string cmd = "sox " + args + " 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

bool have_sox() { return std::system("sox --version >/dev/null 2>&1") == 0; }

// Feeds `data` through a chain in blocks of `block` bytes, ending with the
// end flag, and returns everything that came out.
std::vector<uint8_t> run_chain(const TWaveFormatEx& src, const TWaveFormatEx& dst,
                               const std::vector<uint8_t>& data, int32_t block) {
    std::vector<uint8_t> input(static_cast<size_t>(block));
    auto chain = OpenChain(src, dst, input.data(), false, block);
    EXPECT_NE(chain, nullptr);
    std::vector<uint8_t> out;
    if (!chain) return out;
    size_t at = 0;
    while (at < data.size()) {
        const int32_t n = int32_t(std::min<size_t>(chain->input_capacity, data.size() - at));
        std::memcpy(chain->input, data.data() + at, size_t(n));
        at += size_t(n);
        const int32_t got = at < data.size() ? ChainConvert(*chain, n) : ChainConvertEnd(*chain, n);
        EXPECT_GE(got, 0);
        if (got <= 0) continue;
        out.insert(out.end(), chain->output(), chain->output() + got);
    }
    CloseChain(chain);
    return out;
}

class AcmChainPeer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_sox()) GTEST_SKIP() << "sox is not installed";
        // Left: two tones; right: a sweep, so swapped channels would show.
        sox("-n -r 8000 -c 2 -b 16 " + dir.file("src.wav") +
            " synth 1.3 sine 440 sine 1000 remix 1 2 gain -3");
        sox("-n -r 8000 -c 2 -b 16 " + dir.file("src2.wav") +
            " synth 1.3 sine 440 sine 300-3000 gain -3");
    }
    testsupport::ScratchDir dir;
};

}  // namespace

TEST_F(AcmChainPeer, EveryCodecDecodesToTheSamplesSoxDecodesItTo) {
    struct Codec {
        const char* name;
        const char* encode;   // sox output options
        const char* rate_ch;  // sox options for rate and channels
    };
    // ADPCM, the companding laws and GSM are fully specified integer codecs,
    // and wider PCM and float are rounded to the nearest 16-bit value here as
    // sox rounds them (without dither, -D): the samples must agree exactly,
    // lossy codecs included.
    const Codec codecs[] = {
        {"ima", "-e ima-adpcm", "-r 8000 -c 1"},
        {"ima_st", "-e ima-adpcm", "-r 22050 -c 2"},
        {"ms", "-e ms-adpcm", "-r 8000 -c 1"},
        {"ms_st", "-e ms-adpcm", "-r 44100 -c 2"},
        {"alaw", "-e a-law", "-r 8000 -c 2"},
        {"ulaw", "-e u-law", "-r 8000 -c 1"},
        {"gsm", "-e gsm-full-rate", "-r 8000 -c 1"},
        {"s24", "-b 24", "-r 16000 -c 2"},
        {"s32", "-b 32", "-r 22050 -c 1"},
        {"f32", "-e floating-point -b 32", "-r 44100 -c 2"},
    };
    for (const Codec& c : codecs) {
        SCOPED_TRACE(c.name);
        const std::string enc = dir.file(std::string(c.name) + ".wav");
        const std::string dec = dir.file(std::string(c.name) + ".dec.wav");
        sox(dir.file("src2.wav") + " " + c.rate_ch + " " + c.encode + " " + enc);
        sox("-D " + enc + " -b 16 -e signed-integer " + dec);
        const WavFile in = read_wav(enc), ref = read_wav(dec);

        const auto pcm = SuggestPCM(in.format);
        ASSERT_TRUE(pcm.has_value());
        EXPECT_EQ(pcm->wFormatTag, 1);
        EXPECT_EQ(pcm->wBitsPerSample, 16);
        EXPECT_EQ(pcm->nChannels, in.format.nChannels);
        EXPECT_EQ(pcm->nSamplesPerSec, in.format.nSamplesPerSec);
        EXPECT_TRUE(CanConvert(in.format, *pcm, false));

        // A block size that is no multiple of the codec's block leaves bytes over
        // at every call.
        for (int32_t block : {4096, 3 * in.format.nBlockAlign + 7}) {
            const auto got = pcm16(run_chain(in.format, *pcm, in.data, block));
            const auto want = pcm16(ref.data);
            ASSERT_EQ(got.size(), want.size()) << "block " << block;
            size_t first_diff = 0;
            while (first_diff < got.size() && got[first_diff] == want[first_diff]) ++first_diff;
            EXPECT_EQ(first_diff, got.size()) << "block " << block << ": samples differ from index "
                                              << first_diff;
        }
    }
}

TEST_F(AcmChainPeer, ImaAdpcmToSixteenBitPcmIsOneStageAndToTheRecorderFormatTwo) {
    sox(dir.file("src.wav") + " -e ima-adpcm " + dir.file("ima.wav"));
    const WavFile in = read_wav(dir.file("ima.wav"));
    auto one = OpenChain(in.format, *SuggestPCM(in.format), nullptr, false, 4096);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->stages.size(), 1u);
    EXPECT_TRUE(one->owns_input);
    // Whole ADPCM blocks only: 4096 rounded down to the block size.
    EXPECT_EQ(one->input_capacity % in.format.nBlockAlign, 0);

    // To 16 kHz mono: decode, then the block converter (average, double).
    const TWaveFormatEx sp = MakePCMFormat(16, 1, 16000);
    auto two = OpenChain(in.format, sp, nullptr, false, 4096);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->stages.size(), 2u);
    const auto stereo = pcm16(run_chain(in.format, *SuggestPCM(in.format), in.data, 4096));
    const auto mono = pcm16(run_chain(in.format, sp, in.data, 4096));
    ASSERT_EQ(mono.size(), stereo.size());  // 2 channels at 8 kHz -> 1 at 16 kHz
    for (size_t f = 0; f < stereo.size() / 2; ++f) {
        const int avg = (stereo[2 * f] + stereo[2 * f + 1]) >> 1;
        ASSERT_EQ(mono[2 * f], avg) << f;
        ASSERT_EQ(mono[2 * f + 1], avg) << f;
    }
}

TEST(AcmChain, PlainPcmNeedsNoStageOrOnlyTheBlockConverter) {
    const TWaveFormatEx a = MakePCMFormat(16, 1, 16000);
    EXPECT_FALSE(FormatsDiffer(&a, &a));
    EXPECT_FALSE(FormatsDiffer(&a, nullptr));
    const TWaveFormatEx b = MakePCMFormat(8, 2, 8000);
    EXPECT_TRUE(FormatsDiffer(&a, &b));
    EXPECT_EQ(*SuggestPCM(b), b);

    auto same = OpenChain(a, a, nullptr, false, 4096);
    ASSERT_NE(same, nullptr);
    EXPECT_TRUE(same->stages.empty());

    // Partial frames wait for the next call.
    auto chain = OpenChain(b, a, nullptr, false, 4096);
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(chain->stages.size(), 1u);
    chain->input[0] = 200;
    chain->input[1] = 56;
    chain->input[2] = 255;
    EXPECT_EQ(ChainConvert(*chain, 3), 4);  // one frame, doubled in rate
    EXPECT_TRUE(chain->pending);
    chain->input[0] = 255;
    EXPECT_EQ(ChainConvert(*chain, 1), 4);
    int16_t s[2];
    std::memcpy(s, chain->output(), 4);
    EXPECT_EQ(s[0], 127 * 256);
    EXPECT_FALSE(chain->pending);
    ChainReset(*chain);
    EXPECT_FALSE(chain->pending);
}

TEST(AcmChain, FormatsNoCodecReadsGiveNoChainAndNeverCrash) {
    TWaveFormatEx mp3 = MakePCMFormat(16, 1, 16000);
    mp3.wFormatTag = 0x55;
    EXPECT_FALSE(SuggestPCM(mp3).has_value());
    EXPECT_FALSE(CanConvert(mp3, MakePCMFormat(16, 1, 16000), false));
    EXPECT_EQ(OpenChain(mp3, MakePCMFormat(16, 1, 16000), nullptr, false, 4096), nullptr);

    // IMA ADPCM whose declared samples per block do not fit its block size.
    TWaveFormatEx ima{0x11, 1, 8000, 4055, 256, 4, 2, {0x00, 0x10}};
    EXPECT_FALSE(SuggestPCM(ima).has_value());
    ima.extra = {0xF9, 0x01};  // 505, what 256-byte mono blocks hold
    EXPECT_TRUE(SuggestPCM(ima).has_value());
    // A destination the block converter cannot write.
    EXPECT_FALSE(CanConvert(ima, MakePCMFormat(24, 1, 8000), false));
    // GSM 6.10 stereo does not exist.
    TWaveFormatEx gsm{0x31, 2, 8000, 1625, 65, 0, 2, {0x40, 0x01}};
    EXPECT_FALSE(SuggestPCM(gsm).has_value());
}

// A file whose data ends inside a codec block: the chain and the wave reading
// it give the frames that block holds whole, the same samples as the whole
// block decodes to, instead of dropping the block.
TEST_F(AcmChainPeer, APartialLastCodecBlockIsDecodedForTheFramesItHolds) {
    struct Row { const char* encoding; int32_t cut; };
    for (const Row& row : {Row{"ima-adpcm", 100}, Row{"ms-adpcm", 120}, Row{"gsm-full-rate", 40}}) {
        SCOPED_TRACE(row.encoding);
        const std::string coded = dir.file(std::string(row.encoding) + ".wav");
        sox(dir.file("src.wav") + " -c 1 -e " + row.encoding + " " + coded);
        const WavFile whole = read_wav(coded);
        const int32_t block = whole.format.nBlockAlign;
        ASSERT_GT(whole.data.size(), size_t(3 * block));
        std::vector<uint8_t> full(whole.data.begin(), whole.data.begin() + 3 * block);
        std::vector<uint8_t> cut(whole.data.begin(), whole.data.begin() + 2 * block + row.cut);

        const TWaveFormatEx dst = MakePCMFormat(16, 1, whole.format.nSamplesPerSec);
        const std::vector<int16_t> all = pcm16(run_chain(whole.format, dst, full, 4096));
        const std::vector<int16_t> part = pcm16(run_chain(whole.format, dst, cut, 4096));
        ASSERT_GT(part.size(), all.size() * 2 / 3 + 1);
        ASSERT_LT(part.size(), all.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin()));

        // The same file cut short, read as PCM by the wave.
        const TWaveFormatEx& f = whole.format;
        std::vector<uint8_t> fmt;
        auto put = [](std::vector<uint8_t>& b, uint32_t v, int n) {
            for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
        };
        put(fmt, f.wFormatTag, 2), put(fmt, f.nChannels, 2), put(fmt, f.nSamplesPerSec, 4);
        put(fmt, f.nAvgBytesPerSec, 4), put(fmt, f.nBlockAlign, 2), put(fmt, f.wBitsPerSample, 2);
        put(fmt, uint32_t(f.extra.size()), 2);
        fmt.insert(fmt.end(), f.extra.begin(), f.extra.end());
        std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
        put(file, uint32_t(4 + 8 + fmt.size() + 8 + cut.size()), 4);
        for (char c : std::string("WAVEfmt ")) file.push_back(uint8_t(c));
        put(file, uint32_t(fmt.size()), 4);
        file.insert(file.end(), fmt.begin(), fmt.end());
        for (char c : std::string("data")) file.push_back(uint8_t(c));
        put(file, uint32_t(cut.size()), 4);
        file.insert(file.end(), cut.begin(), cut.end());
        const std::string cut_path = dir.file("cut.wav");
        std::ofstream(cut_path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), long(file.size()));
        TMMAcmWave wave;
        wave.SetFileName(cut_path);
        wave.OpenFile();
        std::vector<int16_t> read;
        std::vector<int16_t> buf(512);
        for (int64_t n; (n = wave.ReadData(buf.data(), 1024)) > 0;) read.insert(read.end(), buf.begin(), buf.begin() + n / 2);
        wave.CloseFile();
        ASSERT_GE(read.size(), all.size() * 2 / 3 + 1);
        EXPECT_TRUE(std::equal(read.begin(), read.begin() + long(std::min(read.size(), part.size())), part.begin()));
        EXPECT_NEAR(double(read.size()), double(part.size()), 8.0);
    }
}
