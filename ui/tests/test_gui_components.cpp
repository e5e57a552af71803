// The component library's widgets: button states, caption drag, splitter
// minimum, character sets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>

#include "ui/bitmap_button.h"
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
