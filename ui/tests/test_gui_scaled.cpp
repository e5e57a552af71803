// The skin on a screen that scales the interface by two: the pictures come
// painted for two device pixels per pixel, keep their sizes in the widgets'
// coordinates, and the buttons and sliders put every device pixel of them
// on the screen instead of enlarging the plain pictures.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "ui/bitmap_button.h"
#include "ui/bitmap_slider.h"
#include "ui/panels.h"
#include "ui/skin.h"

namespace {
// Before main() creates the application, which reads it once.
const bool scaled = qputenv("QT_SCALE_FACTOR", "2");
}  // namespace

namespace murrel::ui {
namespace {

QImage picture(const QString& file) { return QImage(":/skin/" + file).convertToFormat(QImage::Format_ARGB32); }

// The number of opaque pixels of `expected` that differ from `shown` by more
// than `tolerance` in a channel.
int differing(const QImage& shown, const QImage& expected, int tolerance = 2) {
    int count = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb e = expected.pixel(x, y);
            if (qAlpha(e) != 255) continue;
            const QRgb s = shown.pixel(x, y);
            if (std::abs(qRed(e) - qRed(s)) > tolerance || std::abs(qGreen(e) - qGreen(s)) > tolerance ||
                std::abs(qBlue(e) - qBlue(s)) > tolerance)
                ++count;
        }
    return count;
}

QImage grabbed(QWidget& w) {
    QImage image = w.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1);
    return image;
}

TEST(ScaledSkin, EveryPictureComesAtTwiceItsPixelsAndKeepsItsSizeInTheWindow) {
    ASSERT_TRUE(scaled);
    ASSERT_EQ(skin_pixel_ratio(), 2);
    struct Case {
        QPixmap pixmap;
        QString file;
    };
    const std::vector<Case> cases = {
        {skin_image(SkinTopFill), "skin_0"},          {skin_image(SkinPositionTrack), "skin_6"},
        {skin_image(SkinVolumeThumb), "skin_5"},      {button_image(ButtonPlay), "button_5"},
        {button_image(ButtonClose), "button_14"},     {button_image(StatePlaying), "button_17"},
        {frame_image("logo"), "logo"},                {frame_image("topright"), "topright"},
        {frame_image("midleft"), "midleft"},          {frame_image("about"), "about"},
        {frame_image("tool_copy"), "tool_copy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const QImage plain = picture(c.file + ".png"), sharp = picture(c.file + "@2x.png");
        ASSERT_FALSE(plain.isNull());
        ASSERT_EQ(sharp.size(), plain.size() * 2);
        EXPECT_EQ(c.pixmap.devicePixelRatio(), 2.0);
        EXPECT_EQ(logical_size(c.pixmap), plain.size());
        EXPECT_EQ(c.pixmap.size(), sharp.size());
    }
    // The window icons are painted at each size they are wanted in.
    EXPECT_EQ(frame_image("icon_32").devicePixelRatio(), 1.0);
}

TEST(ScaledSkin, AButtonShowsEachStateOfItsSharpPicturePixelForPixel) {
    BitmapButton b(button_image(ButtonPlay));
    const QImage plain = picture("button_5.png"), sharp = picture("button_5@2x.png");
    EXPECT_EQ(b.sizeHint(), QSize(plain.width() / 4, plain.height()));
    b.resize(b.sizeHint());
    const int w = sharp.width() / 4;
    auto state = [&](int s) { return sharp.copy(s * w, 0, w, sharp.height()); };
    QImage shown = grabbed(b);
    ASSERT_EQ(shown.size(), state(0).size());
    EXPECT_EQ(differing(shown, state(0)), 0);
    b.setEnabled(false);
    shown = grabbed(b);
    EXPECT_EQ(differing(shown, state(3)), 0);
    // What the plain picture enlarged would show is told apart: the glyph's
    // and the rim's edges lose their sharpness.
    const QImage enlarged = plain.copy(0, 0, plain.width() / 4, plain.height())
                                .scaled(state(0).size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GT(differing(enlarged, state(0)), 100);
}

TEST(ScaledSkin, ASliderKeepsItsGeometryAndDrawsItsTrackEndsAndThumbFromTheSharpPictures) {
    BitmapSlider s(skin_image(SkinVolumeTrack), skin_image(SkinVolumeThumb));
    const QImage track = picture("skin_4@2x.png"), thumb = picture("skin_5@2x.png");
    EXPECT_EQ(s.sizeHint().height(), track.height() / 2);
    s.setRange(0, 100);
    s.setValue(100);
    s.resize(200, s.sizeHint().height());
    const QRect knob = s.thumb_rect();
    EXPECT_EQ(knob.size(), thumb.size() / 2);
    EXPECT_EQ(knob.right(), 199);
    const QImage shown = grabbed(s);
    ASSERT_EQ(shown.size(), QSize(400, track.height()));
    // The left end, which is drawn unstretched.
    EXPECT_EQ(differing(shown.copy(0, 0, 12, track.height()), track.copy(0, 0, 12, track.height())), 0);
    // The thumb, drawn over the track at its place.
    EXPECT_EQ(differing(shown.copy(knob.x() * 2, knob.y() * 2, thumb.width(), thumb.height()), thumb), 0);
}

TEST(ScaledSkin, APanelTilesItsBandAtFullResolution) {
    const QPixmap band = skin_image(SkinBottomFill);
    SkinPanel panel(band);
    panel.resize(150, logical_size(band).height());
    const QImage shown = grabbed(panel);
    const QImage sharp = picture("skin_1@2x.png");
    ASSERT_EQ(shown.height(), sharp.height());
    // The second tile starts where the first ends, in device pixels too.
    EXPECT_EQ(differing(shown.copy(0, 0, sharp.width(), sharp.height()), sharp), 0);
    EXPECT_EQ(differing(shown.copy(sharp.width(), 0, sharp.width(), sharp.height()), sharp), 0);
}

}  // namespace
}  // namespace murrel::ui
