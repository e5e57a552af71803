// murrelphonic-cli waveform, run as a user runs it, the pictures read back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio/formats/mmwave.h"
#include "editor/displaydata.h"
#include "testsupport/cli_program.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

const std::string kCli = murrel::testsupport::cli_program();

// Stereo: a loud square wave on the first channel, silence on the second;
// mono: the square wave in its second half only.
void write_wav(const std::string& path, int channels, int64_t frames) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(16, channels, 8000));
    std::vector<int16_t> s;
    for (int64_t i = 0; i < frames; ++i) {
        const int16_t loud = (i / 20) % 2 ? 30000 : -30000;
        if (channels == 2) {
            s.push_back(loud);
            s.push_back(0);
        } else {
            s.push_back(i < frames / 2 ? 0 : loud);
        }
    }
    ASSERT_EQ(w.WriteData(s.data(), int64_t(s.size() * 2)), int64_t(s.size() * 2));
    w.CloseFile();
}

// Pixels of a column that differ from the black background.
int lit(const QImage& img, int x, int y0, int y1) {
    const QRgb bg = qRgb(0, 0, 0);
    int n = 0;
    for (int y = y0; y < y1; ++y) n += img.pixel(x, y) != bg;
    return n;
}

class WaveformCli : public ::testing::Test {
protected:
    void SetUp() override {
        MURREL_REQUIRE_CLI_PROGRAM();
        setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
    }
    // Where the program keeps a WAV's display data in this scratch folder
    // (the cache folder when the system's temporary folder is a RAM disk).
    std::string display_file(const std::string& wav) {
        const DisplayVolumeInfo v = ProbeDisplayVolume(dir.path().string());
        return v.ram_disk || v.removable || v.read_only ? DisplayCachePath(wav) : dir.file(DisplayFileName(wav));
    }
    int cli(const std::string& args) {
        const std::string cmd = "XDG_CACHE_HOME=" + dir.file("cache") + " " + kCli + " waveform " + args + " >" +
                                dir.file("out.txt") + " 2>" + dir.file("err.txt");
        const int st = std::system(cmd.c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    std::string text(const std::string& name) {
        std::ifstream in(dir.file(name));
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    testsupport::ScratchDir dir;
};

}  // namespace

TEST_F(WaveformCli, DrawsTheFirstChannelAboveTheSecondAtTheAskedSize) {
    write_wav(dir.file("st.wav"), 2, 16000);
    ASSERT_EQ(cli(dir.file("st.wav") + " -o " + dir.file("st.png") + " --width 300 --height 101"), 0) << text("err.txt");
    QImage img(QString::fromStdString(dir.file("st.png")));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.width(), 300);
    EXPECT_EQ(img.height(), 101);
    for (int x : {0, 150, 299}) {
        EXPECT_GT(lit(img, x, 0, 49), 40) << "the loud first channel fills its strip, column " << x;
        EXPECT_LE(lit(img, x, 52, 101), 1) << "the silent second channel is a line, column " << x;
    }
}

TEST_F(WaveformCli, ReusesAValidDisplayFileAndRebuildsAfterTheWavChanged) {
    write_wav(dir.file("memo.wav"), 1, 24000);
    const std::string args = dir.file("memo.wav") + " -o " + dir.file("m.png") + " --width 200 --height 50";
    ASSERT_EQ(cli(args), 0) << text("err.txt");
    EXPECT_NE(text("out.txt").find("(display data built)"), std::string::npos);
    const std::string sdd = display_file(dir.file("memo.wav"));
    ASSERT_TRUE(fs::exists(sdd));
    const auto built = fs::last_write_time(sdd);
    ASSERT_EQ(cli(args), 0);
    EXPECT_EQ(text("out.txt").find("(display data built)"), std::string::npos);
    EXPECT_EQ(fs::last_write_time(sdd), built);

    QImage img(QString::fromStdString(dir.file("m.png")));
    ASSERT_EQ(img.width(), 200);
    EXPECT_LE(lit(img, 20, 0, 50), 1) << "silent first half";
    EXPECT_GT(lit(img, 180, 0, 50), 40) << "loud second half";

    write_wav(dir.file("memo.wav"), 1, 30000);
    ASSERT_EQ(cli(args), 0);
    EXPECT_NE(text("out.txt").find("(display data built)"), std::string::npos);
}

TEST_F(WaveformCli, WritesOnePicturePerFileIntoAFolderAndGoesOnAfterABadFile) {
    write_wav(dir.file("a.wav"), 1, 9000);
    write_wav(dir.file("b.wav"), 2, 9000);
    std::ofstream(dir.file("bad.wav")) << "not a wave";
    fs::create_directory(dir.file("pics"));
    EXPECT_EQ(cli(dir.file("a.wav") + " " + dir.file("bad.wav") + " " + dir.file("b.wav") + " -o " +
                  dir.file("pics")),
              1);
    EXPECT_TRUE(fs::exists(dir.file("pics/a.png")));
    EXPECT_TRUE(fs::exists(dir.file("pics/b.png")));
    EXPECT_FALSE(fs::exists(dir.file("pics/bad.png")));
    EXPECT_NE(text("err.txt").find("bad.wav: "), std::string::npos);
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("pics/b.png"))).width(), 800) << "default width";
}

TEST_F(WaveformCli, RefusesBadArgumentsWithTheUsage) {
    write_wav(dir.file("a.wav"), 1, 9000);
    for (const std::string& args :
         {dir.file("a.wav"), "-o " + dir.file("x.png"), dir.file("a.wav") + " -o x.png --width 0",
          dir.file("a.wav") + " -o x.png --height abc", dir.file("a.wav") + " -o x.png --frobnicate",
          dir.file("a.wav") + " " + dir.file("a.wav") + " -o " + dir.file("nofolder")}) {
        EXPECT_EQ(cli(args), 2) << args;
        EXPECT_NE(text("err.txt").find("usage:"), std::string::npos) << args;
    }
    EXPECT_FALSE(fs::exists(dir.file("x.png")));
}
