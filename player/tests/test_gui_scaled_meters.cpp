// The level meter on a screen that scales the interface by two: its spots
// are drawn in device pixels, with edges one device pixel sharp and their
// shading in every device row, instead of a picture made at the plain size
// and enlarged.
#include <gtest/gtest.h>

#include <QImage>
#include <set>
#include <vector>

#include "audio/formats/waveformat.h"
#include "player/gui/level_meter.h"

namespace {
// Before main() creates the application, which reads it once.
const bool scaled = qputenv("QT_SCALE_FACTOR", "2");
}  // namespace

namespace murrel {
namespace {

QImage grabbed(QWidget& w) {
    QImage image = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(1);
    return image;
}

TEST(ScaledMeters, ALitSpotIsShadedInEveryDeviceRowAndEndsWithinOneDevicePixel) {
    ASSERT_TRUE(scaled);
    LevelMeter m(0);
    m.resize(60, 8);
    std::vector<int16_t> block(64, 100);
    block[10] = -32768;
    m.ShowData(MakePCMFormat(16, 1, 16000), reinterpret_cast<const uint8_t*>(block.data()), block.size() * 2);
    const QImage shown = grabbed(m);
    ASSERT_EQ(shown.size(), QSize(120, 16));
    // The first spot: logical columns 0-1, device columns 0-3; the gap after
    // it device columns 4-5.
    std::set<QRgb> shades;
    for (int y = 0; y < 16; ++y) shades.insert(shown.pixel(1, y));
    EXPECT_GE(shades.size(), 12u) << "the shading has the plain picture's rows only";
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(shown.pixel(3, y), shown.pixel(0, y)) << y;
        EXPECT_EQ(shown.pixel(4, y), shown.pixel(5, y)) << y;
        EXPECT_EQ(qRed(shown.pixel(4, y)), 0x05) << "no blend between spot and gap at " << y;
    }
}

}  // namespace
}  // namespace murrel
