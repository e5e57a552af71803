// The encoder wrapper's properties and configuration record, its stream
// operations over the LAME library, and the naming helpers of conversions.
#include <gtest/gtest.h>

#include "voicefile/lamecoder.h"
#include "voicefile/naming.h"
#include "voicefile/tests/audio_fixtures.h"

using namespace murrel;

TEST(LameCoder, ANewInstanceFillsTheRecordWithTheInitialSettings) {
    TLameCoder coder;
    coder.fill_config();
    // Packed fields are compared by value (+): a reference to one may be misaligned.
    const BE_CONFIG& c = coder.config();
    EXPECT_EQ(+c.dwConfig, 256u);
    EXPECT_EQ(+c.dwStructVersion, 1u);
    EXPECT_EQ(+c.dwStructSize, 331u);
    EXPECT_EQ(+c.dwSampleRate, 44100u);
    EXPECT_EQ(+c.dwReSampleRate, 0u);
    EXPECT_EQ(+c.nMode, 0);
    EXPECT_EQ(+c.dwBitrate, 128u);
    EXPECT_EQ(+c.dwMaxBitrate, 320u);
    EXPECT_EQ(+c.nPreset, 0);
    EXPECT_EQ(+c.dwMpegVersion, 1u);
    EXPECT_EQ(+c.bCRC, 1);
    EXPECT_EQ(+c.bEnableVBR, 0);
    EXPECT_EQ(+c.bWriteVBRHeader, 0);
    EXPECT_EQ(+c.nVBRQuality, 4);
    for (uint8_t b : c.reserved) ASSERT_EQ(b, 0);
    EXPECT_GE(coder.LameVersion().MajorVersion, 3);
}

TEST(LameCoder, PropertyCouplingsAndAssign) {
    TLameCoder coder;
    coder.SetEnableVBR(true);
    EXPECT_TRUE(coder.WriteVBRHeader);
    coder.SetEnableVBR(false);
    EXPECT_FALSE(coder.WriteVBRHeader);
    coder.SetInputFiles({"a.wav", "/x/b.WAV", "noext"});
    EXPECT_EQ(coder.OutputFiles, (std::vector<std::string>{"a.mp3", "/x/b.mp3", "noext.mp3"}));

    coder.Bitrate = 64;
    coder.SampleRate = 22050;
    coder.Mode = MONO;
    coder.CRC = false;
    TLameCoder copy;
    copy.Assign(coder);
    EXPECT_EQ(copy.Bitrate, 64u);
    EXPECT_EQ(copy.SampleRate, 22050u);
    EXPECT_EQ(copy.Mode, MONO);
    EXPECT_FALSE(copy.CRC);
    EXPECT_EQ(copy.InputFiles().size(), 3u);
    EXPECT_FALSE(copy.stream_open());
}

TEST(LameCoder, RecorderModesOpenWithTheLibrarysChunkAndBufferSizes) {
    for (int codec : {5, 6, 7}) {
        TLameCoder coder;
        setup_coder_for_mode(coder, codec);
        ASSERT_EQ(coder.PrepareEncoding(), BE_ERR_SUCCESSFUL) << codec;
        EXPECT_EQ(lame_last_open_result(), BE_ERR_SUCCESSFUL);
        EXPECT_EQ(coder.samples_per_chunk(), 576u);
        EXPECT_EQ(coder.output_buffer_size(), 7920u);
        EXPECT_EQ(coder.output_buffer().size(), 7920u);
        EXPECT_EQ(coder.CloseEncoding(), BE_ERR_SUCCESSFUL);
        EXPECT_TRUE(coder.output_buffer().empty());
    }
}

TEST(LameCoder, ARefusedConfigurationOpensNothingAndEncodesNothing) {
    struct Bad { uint32_t rate; uint32_t kbps; };
    for (Bad bad : {Bad{1234, 16}, Bad{16000, 17}, Bad{0, 16}, Bad{16000, 999}}) {
        TLameCoder coder;
        coder.Mode = MONO;
        coder.SampleRate = bad.rate;
        coder.Bitrate = bad.kbps;
        EXPECT_NE(coder.PrepareEncoding(), BE_ERR_SUCCESSFUL) << bad.rate << " " << bad.kbps;
        EXPECT_NE(lame_last_open_result(), BE_ERR_SUCCESSFUL);
        EXPECT_FALSE(coder.stream_open());
        EXPECT_TRUE(coder.output_buffer().empty());
        int16_t pcm[576] = {};
        uint8_t out[8000];
        uint32_t n = 99;
        EXPECT_NE(coder.EncodeBuffer(pcm, 576, out, n), BE_ERR_SUCCESSFUL);
        EXPECT_EQ(n, 0u);
    }
}

TEST(LameCoder, FlushingWritesOutTheAudioTheEncoderHeldBack) {
    TLameCoder coder;
    setup_coder_for_mode(coder, 5);
    ASSERT_EQ(coder.PrepareEncoding(), BE_ERR_SUCCESSFUL);
    const std::vector<int16_t> pcm = testfix::speechlike(16000, 1.0);
    uint32_t produced = 0, total = 0;
    std::size_t fed = 0;
    for (; fed + 576 <= pcm.size(); fed += 576) {
        ASSERT_EQ(coder.EncodeBuffer(pcm.data() + fed, 576, coder.output_buffer().data(), produced), BE_ERR_SUCCESSFUL);
        total += produced;
    }
    // A shorter last block takes only its own samples.
    ASSERT_EQ(coder.EncodeBuffer(pcm.data() + fed, static_cast<uint32_t>(pcm.size() - fed),
                                 coder.output_buffer().data(), produced),
              BE_ERR_SUCCESSFUL);
    total += produced;
    EXPECT_LT(total / 72 * 576, pcm.size());  // without the flush the end is missing
    ASSERT_EQ(coder.FlushEncoding(coder.output_buffer().data(), produced), BE_ERR_SUCCESSFUL);
    total += produced;
    EXPECT_GE(total / 72 * 576, pcm.size() + 576);
    EXPECT_EQ(total % 72, 0u);
    // Oversized blocks are refused rather than overrunning the output buffer.
    std::vector<int16_t> big(5000);
    EXPECT_NE(coder.EncodeBuffer(big.data(), 5000, coder.output_buffer().data(), produced), BE_ERR_SUCCESSFUL);
}

TEST(Naming, AutoFileNameReplacesOrRemovesTheLastExtension) {
    struct Case { const char* name; int kind; const char* expected; };
    const Case cases[] = {
        {"rec01.vkd", 1, "rec01.wav"},   {"memo.WAV", 2, "memo.vkd"},       {"a.b.c", 0, "a.b"},
        {"noext", 1, "noext.wav"},       {"/d.ir/file", 2, "/d.ir/file.vkd"}, {"x.vkd", 7, "x"},
    };
    for (const Case& c : cases) EXPECT_EQ(make_autofilename(c.name, c.kind), c.expected) << c.name;
}

TEST(Naming, NumbersShowTwoDecimalsAndThousandsSeparators) {
    EXPECT_EQ(format_n(0), "0.00");
    EXPECT_EQ(format_n(999.999), "1,000.00");
    EXPECT_EQ(format_n(1234567.891), "1,234,567.89");
    EXPECT_EQ(format_n(-12345.5), "-12,345.50");
    EXPECT_EQ(folder_of("/a/b/c.wav"), "/a/b");
    EXPECT_EQ(file_name_of("/a/b/c.wav"), "c.wav");
    EXPECT_EQ(folder_of("c.wav"), "");
}
