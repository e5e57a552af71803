// WAV-to-WAV conversion into the encoder's format, and the temporary copy the
// encoding of another format goes through.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "audio/formats/mmwave.h"
#include "audio/formats/pcmconvert.h"
#include "shell/appstate.h"
#include "testsupport/scratch_dir.h"
#include "voicefile/wavetowave.h"

using namespace murrel;

namespace {

void write_wav(const std::string& path, const TWaveFormatEx& format, const void* data, size_t n) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, format);
    ASSERT_EQ(w.WriteData(data, int64_t(n)), int64_t(n));
    w.CloseFile();
}

struct Read {
    TWaveFormatEx format;
    std::vector<uint8_t> data;
};

Read read_wav(const std::string& path) {
    TMMWave w;
    w.SetFileName(path);
    w.OpenFile();
    Read r{*w.FileFormat(), {}};
    std::vector<uint8_t> buf(4096);
    for (int64_t n; (n = w.ReadData(buf.data(), 4096)) > 0;) r.data.insert(r.data.end(), buf.begin(), buf.begin() + n);
    return r;
}

std::vector<int16_t> as16(const std::vector<uint8_t>& b) {
    std::vector<int16_t> s(b.size() / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

struct Recorder : ConversionProgress {
    std::vector<std::string> captions, filenames;
    std::vector<int> percents;
    std::string target, filebyte;
    void set_caption(const std::string& s) override { captions.push_back(s); }
    void set_filename(const std::string& s) override { filenames.push_back(s); }
    void set_target(const std::string& s) override { target = s; }
    void set_filebyte(const std::string& s) override { filebyte = s; }
    void set_current(int p) override { percents.push_back(p); }
};

class WavToWav : public ::testing::Test {
protected:
    void SetUp() override {
        app().reset();
        app().messages["FE_wav_msg6"] = "Converting the WAV file";
    }
    void TearDown() override { app().reset(); }
    testsupport::ScratchDir dir;
    TMMWave scratch;
};

}  // namespace

TEST_F(WavToWav, StereoAt44100BecomesMonoAt22050FromEverySecondFrame) {
    std::vector<int16_t> s(44100 * 2);
    for (size_t f = 0; f < 44100; ++f) {
        s[2 * f] = int16_t(f % 30000);
        s[2 * f + 1] = int16_t(-int(f % 7));
    }
    write_wav(dir.file("st.wav"), MakePCMFormat(16, 2, 44100), s.data(), s.size() * 2);
    Recorder progress;
    ASSERT_TRUE(convert_wavetowave(dir.file("st.wav"), dir.file("out.wav"), 1, 16, 22050, scratch, progress,
                                   {"Converting", "st.wav"}));
    EXPECT_EQ(scratch.FileName(), "");  // freed
    const Read out = read_wav(dir.file("out.wav"));
    EXPECT_EQ(out.format, MakePCMFormat(16, 1, 22050));
    const auto got = as16(out.data);
    ASSERT_EQ(got.size(), 22050u);
    for (size_t k = 0; k < got.size(); ++k) {
        // Every second frame, the second of each pair (the accumulator starts
        // at half the source rate); 4096-byte blocks keep the phase.
        const size_t f = 2 * k + 1;
        ASSERT_EQ(got[k], (s[2 * f] + s[2 * f + 1]) >> 1) << k;
    }
    // The display: caption and name while running, put back at the end.
    EXPECT_EQ(progress.captions, (std::vector<std::string>{"Converting the WAV file", "Converting"}));
    EXPECT_EQ(progress.filenames, (std::vector<std::string>{"st.wav", "st.wav"}));
    EXPECT_EQ(progress.target, ">> out.wav");
    EXPECT_EQ(progress.filebyte, "172.27 Kbyte(s)");
    EXPECT_EQ(progress.percents.front(), 0);
    EXPECT_EQ(progress.percents.back(), 100);
}

TEST_F(WavToWav, EightBitAt8000BecomesSixteenBitAt16000WithEverySampleDoubled) {
    std::vector<uint8_t> s(8000);
    for (size_t i = 0; i < s.size(); ++i) s[i] = uint8_t(i * 13);
    write_wav(dir.file("a.wav"), MakePCMFormat(8, 1, 8000), s.data(), s.size());
    ASSERT_TRUE(convert_wavetowave(dir.file("a.wav"), dir.file("out.wav"), 1, 16, 16000, scratch));
    const auto got = as16(read_wav(dir.file("out.wav")).data);
    ASSERT_EQ(got.size(), 16000u);
    for (size_t i = 0; i < s.size(); ++i) {
        ASSERT_EQ(got[2 * i], (s[i] - 128) * 256) << i;
        ASSERT_EQ(got[2 * i + 1], (s[i] - 128) * 256) << i;
    }
}

TEST_F(WavToWav, CompressedSourcesConvertForEveryRecordingMode) {
    if (std::system("sox --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    const std::string ima = dir.file("ima.wav"), ref = dir.file("ref.wav");
    ASSERT_EQ(std::system(("sox -n -r 11025 -c 2 -e ima-adpcm " + ima +
                           " synth 1.5 sine 300 sine 2000 gain -4 2>/dev/null").c_str()), 0);
    ASSERT_EQ(std::system(("sox " + ima + " -b 16 -e signed-integer " + ref + " 2>/dev/null").c_str()), 0);
    const Read decoded = read_wav(ref);
    for (uint32_t rate : {16000u, 22050u}) {
        ASSERT_TRUE(convert_wavetowave(ima, dir.file("out.wav"), 1, 16, rate, scratch));
        const Read out = read_wav(dir.file("out.wav"));
        EXPECT_EQ(out.format, MakePCMFormat(16, 1, rate));
        // The same as converting sox's decoding in the same 4096-byte blocks.
        std::vector<uint8_t> want;
        const TWaveFormatEx dst = MakePCMFormat(16, 1, rate);
        for (size_t at = 0; at < decoded.data.size(); at += 4096) {
            const int32_t n = int32_t(std::min<size_t>(4096, decoded.data.size() - at));
            std::vector<uint8_t> buf(size_t(PCMConvertSize(n, decoded.format, dst)) + 4);
            const int32_t u = PCMConvert(n, decoded.data.data() + at, decoded.format, buf.data(), dst);
            want.insert(want.end(), buf.begin(), buf.begin() + u);
        }
        EXPECT_EQ(out.data, want) << rate;
    }
}

TEST_F(WavToWav, CancelEndsAfterTheCurrentBlockWithACompleteFile) {
    std::vector<int16_t> s(16000 * 3, 5);
    write_wav(dir.file("a.wav"), MakePCMFormat(16, 2, 16000), s.data(), s.size() * 2);
    app().convert_cancel = true;
    ASSERT_TRUE(convert_wavetowave(dir.file("a.wav"), dir.file("out.wav"), 1, 16, 16000, scratch));
    EXPECT_EQ(read_wav(dir.file("out.wav")).data.size(), 2048u);  // one 4096-byte stereo block
}

TEST_F(WavToWav, UnreadableSourcesAndTargetsRaiseTheWaveErrors) {
    EXPECT_THROW(convert_wavetowave(dir.file("none.wav"), dir.file("out.wav"), 1, 16, 16000, scratch),
                 EMMWaveError);
    std::vector<int16_t> s(100, 1);
    write_wav(dir.file("a.wav"), MakePCMFormat(16, 2, 16000), s.data(), s.size() * 2);
    EXPECT_THROW(convert_wavetowave(dir.file("a.wav"), dir.file("no/such/dir/out.wav"), 1, 16, 16000, scratch),
                 EMMWaveError);
}

TEST_F(WavToWav, EncodingSourcesAreConvertedIntoATemporaryCopyThatACancelRemoves) {
    std::vector<int16_t> s(16000 * 2, 300);
    const std::string src = dir.file("memo.wav");
    write_wav(src, MakePCMFormat(16, 2, 44100), s.data(), s.size() * 2);
    {
        TMMWave wave;
        wave.SetFileName(src);
        std::string temp;
        // A user's own file named like the old intermediate is never touched.
        if (std::FILE* f = std::fopen((src + ".tmp").c_str(), "wb")) {
            std::fputs("mine", f);
            std::fclose(f);
        }
        ASSERT_TRUE(prepare_encoding_source(wave, 16000, temp));
        EXPECT_EQ(std::filesystem::path(temp).parent_path(), std::filesystem::path(src).parent_path());
        EXPECT_EQ(std::filesystem::path(temp).filename().string().rfind(".murrel-", 0), 0u) << temp;
        EXPECT_EQ(std::filesystem::file_size(src + ".tmp"), 4u);
        EXPECT_EQ(wave.FileName(), temp);
        EXPECT_TRUE(wave.Opened());
        EXPECT_TRUE(fits_encoder(wave, 16000));
        wave.FreeWave();
        ::unlink(temp.c_str());
    }
    {
        TMMWave wave;
        wave.SetFileName(src);
        app().convert_cancel = true;
        std::string temp = "x";
        EXPECT_FALSE(prepare_encoding_source(wave, 22050, temp));
        EXPECT_EQ(temp, "");
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            EXPECT_NE(e.path().filename().string().rfind(".murrel-", 0), 0u) << e.path();
    }
    {
        // A source already in the encoder's format is used as it is.
        write_wav(dir.file("ok.wav"), MakePCMFormat(16, 1, 16000), s.data(), 200);
        app().convert_cancel = false;
        TMMWave wave;
        wave.SetFileName(dir.file("ok.wav"));
        std::string temp;
        ASSERT_TRUE(prepare_encoding_source(wave, 16000, temp));
        EXPECT_EQ(temp, "");
        EXPECT_EQ(wave.FileName(), dir.file("ok.wav"));
    }
}
