// The component library's widgets: button states, the bitmap slider, caption
// drag, splitter minimum, character sets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <string>
#include <vector>

#include "ui/bitmap_button.h"
#include "ui/bitmap_slider.h"
#include "ui/charset.h"
#include "ui/panels.h"
#include "ui/skin.h"
#include "ui/splitter.h"

namespace murrel::ui {
namespace {

TEST(BitmapButton, ShowsNormalHighlightedPressedAndDisabledImages) {
    BitmapButton b(button_image(ButtonPlay));
    EXPECT_EQ(b.sizeHint(), QSize(button_image(ButtonPlay).width() / 4, button_image(ButtonPlay).height()));
    EXPECT_EQ(b.shown_state(), 0);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&b, &enter);
    EXPECT_EQ(b.shown_state(), 1);
    b.setDown(true);
    EXPECT_EQ(b.shown_state(), 2);
    b.setDown(false);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&b, &leave);
    EXPECT_EQ(b.shown_state(), 0);
    b.set_highlight(true);
    b.setEnabled(false);
    EXPECT_EQ(b.shown_state(), 3);
    b.setEnabled(true);
    EXPECT_FALSE(b.highlighted());  // disabling drops a highlight
}

TEST(BitmapButton, TabReachesItAClickDoesNotTakeTheFocusAndEnterOrSpacePressesIt) {
    QWidget window;
    auto* before = new QLabel("x", &window);
    before->setFocusPolicy(Qt::StrongFocus);
    auto* b = new BitmapButton(button_image(ButtonPlay), &window);
    b->move(40, 0);
    int clicks = 0;
    QObject::connect(b, &QAbstractButton::clicked, [&] { ++clicks; });
    window.show();
    window.activateWindow();
    for (int i = 0; i < 50 && !window.isActiveWindow(); ++i) QApplication::processEvents();
    ASSERT_TRUE(window.isActiveWindow());
    before->setFocus();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, {}, {});
    QApplication::sendEvent(b, &press);
    QApplication::sendEvent(b, &release);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(b->hasFocus()) << "a click took the focus from the list";
    EXPECT_TRUE(b->focusPolicy() & Qt::TabFocus);
    b->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(b->hasFocus());
    // The focus is seen: the highlighted image and a dotted ring.
    EXPECT_EQ(b->shown_state(), 1);
    const QImage with_focus = b->grab().toImage();
    before->setFocus();
    const QImage without = b->grab().toImage();
    EXPECT_NE(with_focus, without);
    b->setFocus(Qt::TabFocusReason);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent k(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(b, &k);
    }
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QKeyEvent space_up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(b, &space);
    QApplication::sendEvent(b, &space_up);
    EXPECT_EQ(clicks, 4);
}

TEST(Skin, EveryListedImageIsThereInItsRole) {
    for (int i = 0; i <= 7; ++i) EXPECT_FALSE(skin_image(i).isNull()) << "skin " << i;
    for (int i = 0; i <= 19; ++i) EXPECT_FALSE(button_image(i).isNull()) << "button " << i;
    EXPECT_EQ(skin_image(SkinTopFill).height(), 101);
    EXPECT_EQ(skin_image(SkinBottomFill).height(), 51);
    EXPECT_EQ(button_image(ButtonConvert).size(), QSize(76 * 4, 35));
    EXPECT_EQ(button_image(ButtonClose).size(), QSize(30 * 4, 28));
    EXPECT_EQ(frame_image("logo").size(), QSize(370, 36));
    EXPECT_EQ(frame_image("topleft").width(), 5);
    EXPECT_EQ(frame_image("topright").width(), 13);
    EXPECT_EQ(frame_image("midleft").width(), 7);
    EXPECT_EQ(frame_image("rightdown").width(), 32);
    // The four states differ from one another.
    const QImage strip = button_image(ButtonHelp).toImage();
    const int w = strip.width() / 4;
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b)
            EXPECT_NE(strip.copy(a * w, 0, w, strip.height()), strip.copy(b * w, 0, w, strip.height()));
}

// The position slider's images: a 14-pixel thumb over a track 20 rows high.
// 214 pixels wide, the thumb's left edge travels 200 pixels.
class BitmapSliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        slider.set_images(skin_image(SkinPositionTrack), skin_image(SkinPositionThumb));
        slider.setRange(0, 100);
        slider.resize(214, 20);
        QObject::connect(&slider, &QAbstractSlider::sliderPressed, [this] { log.push_back("pressed"); });
        QObject::connect(&slider, &QAbstractSlider::sliderMoved,
                         [this](int v) { log.push_back("moved " + std::to_string(v)); });
        QObject::connect(&slider, &QAbstractSlider::valueChanged,
                         [this](int v) { log.push_back("value " + std::to_string(v)); });
        QObject::connect(&slider, &QAbstractSlider::sliderReleased, [this] { log.push_back("released"); });
    }
    void mouse(QEvent::Type type, int x, Qt::MouseButtons buttons) {
        const QPointF at(x, 5);
        QMouseEvent e(type, at, slider.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
        QApplication::sendEvent(&slider, &e);
    }
    void key(QEvent::Type type, int k, bool repeat = false) {
        QKeyEvent e(type, k, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(&slider, &e);
    }
    void wheel(int delta) {
        const QPointF at(50, 5);
        QWheelEvent e(at, slider.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(&slider, &e);
    }
    std::string joined() const {
        std::string s;
        for (const std::string& e : log) s += (s.empty() ? "" : ", ") + e;
        return s;
    }
    BitmapSlider slider;
    std::vector<std::string> log;
};

TEST_F(BitmapSliderTest, TheThumbCentreRunsOverTheTravelAndMapsBackToTheValue) {
    EXPECT_EQ(slider.travel(), 200);
    struct Case { int value, centre; };
    for (const Case c : {Case{0, 7}, Case{25, 57}, Case{50, 107}, Case{100, 207}}) {
        EXPECT_EQ(slider.centre_of(c.value), c.centre) << c.value;
        EXPECT_EQ(slider.value_at(c.centre), c.value) << c.value;
        slider.setValue(c.value);
        EXPECT_EQ(slider.thumb_rect(), QRect(c.centre - 7, 0, 14, 14)) << c.value;
    }
    // Beyond either end the value stays at the range's end.
    EXPECT_EQ(slider.value_at(-30), 0);
    EXPECT_EQ(slider.value_at(400), 100);
    // A margin narrows the travel at both ends: the volume slider's 20-pixel inset.
    slider.set_margin(3);
    EXPECT_EQ(slider.travel(), 194);
    EXPECT_EQ(slider.centre_of(0), 10);
    EXPECT_EQ(slider.centre_of(100), 204);
    // The volume range, 0-65536, reaches its top at the end of the travel.
    slider.setRange(0, 65536);
    EXPECT_EQ(slider.value_at(204), 65536);
    EXPECT_EQ(slider.value_at(10), 0);
}

TEST_F(BitmapSliderTest, AClickBesideTheThumbJumpsThereAndTheReleaseEndsTheMove) {
    slider.setValue(10);
    log.clear();
    mouse(QEvent::MouseButtonPress, 157, Qt::LeftButton);
    EXPECT_TRUE(slider.isSliderDown());
    mouse(QEvent::MouseButtonRelease, 157, Qt::NoButton);
    EXPECT_EQ(joined(), "pressed, moved 75, value 75, released");
    EXPECT_FALSE(slider.isSliderDown());
    // A right click does nothing.
    log.clear();
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(20, 5), QPointF(20, 5), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&slider, &right);
    EXPECT_EQ(joined(), "");
    EXPECT_EQ(slider.value(), 75);
}

TEST_F(BitmapSliderTest, DraggingTheThumbKeepsTheGrabPointAndSignalsPressedMovedReleasedInOrder) {
    slider.setValue(20);  // centre at 47
    log.clear();
    // Taken two pixels right of its centre, the thumb does not jump.
    mouse(QEvent::MouseButtonPress, 49, Qt::LeftButton);
    EXPECT_EQ(joined(), "pressed");
    mouse(QEvent::MouseMove, 111, Qt::LeftButton);  // centre to 109: value 51
    mouse(QEvent::MouseMove, 600, Qt::LeftButton);  // far past the end
    mouse(QEvent::MouseMove, 9, Qt::LeftButton);    // centre to 7: value 0
    mouse(QEvent::MouseButtonRelease, 9, Qt::NoButton);
    EXPECT_EQ(joined(), "pressed, moved 51, value 51, moved 100, value 100, moved 0, value 0, released");
    // After the release, moves are not drags.
    log.clear();
    mouse(QEvent::MouseMove, 150, Qt::NoButton);
    EXPECT_EQ(joined(), "");
}

TEST_F(BitmapSliderTest, AHoldWhoseReleaseNeverComesEndsWhenTheSliderIsHidden) {
    slider.show();
    slider.setValue(0);
    log.clear();
    mouse(QEvent::MouseButtonPress, 107, Qt::LeftButton);
    slider.hide();
    EXPECT_EQ(joined(), "pressed, moved 50, value 50, released");
    EXPECT_FALSE(slider.isSliderDown());
    // The next press starts a fresh move.
    slider.show();
    log.clear();
    mouse(QEvent::MouseButtonPress, 57, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 57, Qt::NoButton);
    EXPECT_EQ(joined(), "pressed, moved 25, value 25, released");
}

TEST_F(BitmapSliderTest, ARunOfKeysIsOneMoveReleasedWithTheLastKeyAndStopsAtTheRangeEnds) {
    slider.setValue(50);
    log.clear();
    key(QEvent::KeyPress, Qt::Key_Right);
    key(QEvent::KeyPress, Qt::Key_Right, true);
    key(QEvent::KeyRelease, Qt::Key_Right, true);  // auto-repeat releases don't end the move
    EXPECT_TRUE(slider.isSliderDown());
    key(QEvent::KeyRelease, Qt::Key_Right);
    EXPECT_EQ(joined(), "pressed, moved 51, value 51, moved 52, value 52, released");

    log.clear();
    key(QEvent::KeyPress, Qt::Key_End);
    key(QEvent::KeyRelease, Qt::Key_End);
    key(QEvent::KeyPress, Qt::Key_PageUp);  // already at the top
    key(QEvent::KeyRelease, Qt::Key_PageUp);
    EXPECT_EQ(slider.value(), 100);
    key(QEvent::KeyPress, Qt::Key_Home);
    key(QEvent::KeyRelease, Qt::Key_Home);
    EXPECT_EQ(slider.value(), 0);
    EXPECT_EQ(joined(),
              "pressed, moved 100, value 100, released, pressed, released, pressed, moved 0, value 0, released");
}

TEST_F(BitmapSliderTest, AWheelStepMovesOnceAndANotchAgainstAnEndSignalsNothing) {
    slider.setValue(40);
    log.clear();
    wheel(120);
    EXPECT_EQ(joined(), "pressed, moved 43, value 43, released");
    slider.setValue(100);
    log.clear();
    wheel(120);
    EXPECT_EQ(joined(), "");
    EXPECT_EQ(slider.value(), 100);
}

// The thumb's grip line (the accent colour, right of its centre) is painted
// where the value puts the thumb.
TEST_F(BitmapSliderTest, TheThumbIsPaintedWhereTheValueSays) {
    const QColor grip = skin_image(SkinPositionThumb).toImage().pixelColor(7, 5);
    for (int value : {0, 33, 100}) {
        slider.setValue(value);
        const QImage shot = slider.grab().toImage();
        std::vector<int> at;
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixelColor(x, 5) == grip) at.push_back(x);
        ASSERT_EQ(at.size(), 1u) << value;
        EXPECT_EQ(at[0], slider.centre_of(value)) << value;
    }
}

TEST(Skin, TheSliderTracksHaveAClearLaneAboveAGrooveWhereTheMeterBarsLie) {
    for (int index : {SkinVolumeTrack, SkinPositionTrack}) {
        const QImage track = skin_image(index).toImage();
        const QImage thumb = skin_image(index + 1).toImage();
        ASSERT_GE(track.height(), kSliderMeterRow + 3) << index;
        const int x = track.width() / 2;
        for (int y = 0; y < kSliderMeterRow - 2; ++y) EXPECT_EQ(track.pixelColor(x, y).alpha(), 0) << index << "," << y;
        // The groove's floor is opaque and dark, with its rim just above.
        for (int y = kSliderMeterRow; y < kSliderMeterRow + 3; ++y) {
            EXPECT_EQ(track.pixelColor(x, y).alpha(), 255) << index << "," << y;
            EXPECT_LT(track.pixelColor(x, y).value(), 40) << index << "," << y;
        }
        // The thumb's point touches the groove's rim and no more.
        EXPECT_EQ(thumb.height(), kSliderMeterRow);
        EXPECT_GT(thumb.pixelColor(thumb.width() / 2, kSliderMeterRow - 2).alpha(), 0) << index;
    }
}

TEST(CaptionPanel, DraggingTheCaptionMovesItsWindowAndTheReleaseIsNoClick) {
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setGeometry(100, 100, 300, 200);
    auto* caption = new CaptionPanel(&window);
    caption->setGeometry(0, 0, 300, 24);
    window.show();
    int presses = 0;
    QObject::connect(caption, &CaptionPanel::pressed, [&] { ++presses; });
    const QPoint start = caption->mapToGlobal(QPoint(3, 3));  // no border test on dialogs
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButton b, Qt::MouseButtons bs) {
        QMouseEvent e(type, QPointF(caption->mapFromGlobal(global)), QPointF(global), b, bs, Qt::NoModifier);
        QApplication::sendEvent(caption, &e);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, start + QPoint(40, -20), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + QPoint(40, -20), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(window.geometry(), QRect(140, 80, 300, 200));
}

TEST(Splitter, TheFirstPaneIsWidenedBackToItsMinimum) {
    Splitter s(Qt::Horizontal);
    s.addWidget(new QLabel("tree"));
    s.addWidget(new QLabel("list"));
    s.set_first_minimum(50);
    s.resize(400, 100);
    s.show();
    s.setSizes({20, 375});
    EXPECT_TRUE(s.enforce_first_minimum());
    EXPECT_EQ(s.sizes().at(0), 50);
    EXPECT_FALSE(s.enforce_first_minimum());
}

TEST(Charset, TheLowByteIsKeptAndItsWritingSystemChosen) {
    QLabel label;
    apply_charset(&label, 0x181);  // only the low byte counts: 129
    EXPECT_EQ(label.property("charset").toInt(), 129);
    EXPECT_EQ(to_qt(charset_info(129).writing_system), QFontDatabase::Korean);
    EXPECT_EQ(to_qt(charset_info(204).writing_system), QFontDatabase::Cyrillic);
    EXPECT_EQ(to_qt(charset_info(1).writing_system), QFontDatabase::Any);
}

}  // namespace
}  // namespace murrel::ui
