// The wave view on a screen that scales the interface by two: it reads a
// column of the wave for every device pixel and paints each one device pixel
// wide, so the wave shows twice the detail rather than widened columns.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "audio/formats/mmwave.h"
#include "editor/gui/mmwaveeditor.h"
#include "testsupport/scratch_dir.h"

namespace {
// Before main() creates the application, which reads it once.
const bool scaled = qputenv("QT_SCALE_FACTOR", "2");
}  // namespace

using namespace murrel;

namespace {

constexpr uint32_t kRate = 16000;

class ScaledWave : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scaled);
        setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
        const std::string path = dir.file("tone.wav");
        // A 330 Hz tone: neighbouring frames differ by several device rows.
        for (int64_t i = 0; i < 10 * int64_t(kRate); ++i)
            samples.push_back(int16_t(28000 * std::sin(2 * M_PI * 330 * double(i) / kRate)));
        TMMWave w;
        w.FileMustExist = false;
        w.CreateFile(path, MakePCMFormat(16, 1, kRate));
        ASSERT_EQ(w.WriteData(samples.data(), int64_t(samples.size() * 2)), int64_t(samples.size() * 2));
        w.CloseFile();
        wave.SetFileName(path);
        wave.SetTimeFormat(TMMTimeFormats::tfSample);
    }
    testsupport::ScratchDir dir;
    std::vector<int16_t> samples;
    TMMEnhancedWave wave;
};

TEST_F(ScaledWave, EveryDevicePixelColumnIsAFrameOfItsOwnWhenZoomedToOneFrameADeviceColumn) {
    TMMWaveEditor view;
    view.MinimumSamples = 0;
    view.resize(400, 100);
    view.SetWave(&wave);
    const int inner = view.Model().InnerWidth();
    ASSERT_EQ(view.PixelBuffer().size(), size_t(4 * inner * 2));
    // The view's mapping spans (inner - 1) pixel steps, two device columns each.
    const int64_t from = 50000;
    view.SetDisplayRange(from, from + 2 * (inner - 1));
    const auto& px = view.PixelBuffer();
    ASSERT_EQ(px.size(), size_t(4 * inner * 2));
    for (int c : {0, 1, 2, 3, 301, 2 * inner - 1}) {
        EXPECT_EQ(px[size_t(4 * c)], samples[size_t(from + c)]) << c;
        EXPECT_EQ(px[size_t(4 * c + 1)], samples[size_t(from + c)]) << c;
    }

    // On the screen: the two device columns of a pixel differ, which a wave
    // read per pixel and widened never shows.
    view.show();
    QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.devicePixelRatio(), 2.0);
    shown.setDevicePixelRatio(1);
    const int b = view.Model().Border();
    int pairs = 0, differing = 0;
    for (int x = 2 * (b + 10); x + 1 < 2 * (b + inner - 10); x += 2) {
        ++pairs;
        for (int y = 2 * b; y < shown.height() - 2 * b; ++y)
            if (shown.pixel(x, y) != shown.pixel(x + 1, y)) {
                ++differing;
                break;
            }
    }
    EXPECT_GT(differing, pairs / 2) << differing << " of " << pairs << " pixels show two columns";
}

}  // namespace
