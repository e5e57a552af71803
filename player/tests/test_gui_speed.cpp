// The strip's speed control and the keys for typing along on screen: the
// buttons and the wheel step the speed and the LED shows it, and the keys
// reach the strip while a list in the same window has the keyboard.
#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "player/gui/led_text.h"
#include "player/gui/player_panel.h"
#include "player/gui/speed_control.h"
#include "player/tests/player_fixture.h"

// Qt Gui's own entry for a key press that may be a shortcut (what a real key
// goes through before the focused widget sees it).
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text = QString(), bool autorep = false,
                                               ushort count = 1);

using namespace murrel;
using namespace murrel::playertest;

namespace {

class GuiSpeedTest : public StripTest {
protected:
    void SetUp() override {
        StripTest::SetUp();
        backend.set_clock(VirtualClock::Manual);
        auto* column = new QVBoxLayout(&window);
        display_host = new QWidget(&window);
        control_host = new QWidget(&window);
        display_host->setMinimumSize(900, 45);
        control_host->setMinimumSize(900, 51);
        list = new QListWidget(&window);
        list->addItems({"one.vkd", "two.wav"});
        column->addWidget(display_host);
        column->addWidget(list);
        column->addWidget(control_host);
        panel = std::make_unique<PlayerPanel>(*strip, display_host, control_host);
        window.show();
        QApplication::setActiveWindow(&window);
        list->setFocus();
        QApplication::processEvents();
    }
    void TearDown() override {
        strip->button_stopClick();
        play_to_end();
        panel.reset();
        StripTest::TearDown();
    }
    // A key as the keyboard delivers it: shortcuts first, then the focus widget.
    bool press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        return qt_sendShortcutOverrideEvent(QApplication::focusWidget(), 0, key, mods);
    }
    void play_for(int ms) {
        for (int t = 0; t < ms; t += 10) {
            backend.advance_output(160);
            ui.pump();
        }
    }

    QWidget window;
    QWidget* display_host = nullptr;
    QWidget* control_host = nullptr;
    QListWidget* list = nullptr;
    std::unique_ptr<PlayerPanel> panel;
};

TEST_F(GuiSpeedTest, TheButtonsAndTheWheelStepTheSpeedAndTheLedShowsIt) {
    SpeedControl& c = *panel->speed_control;
    EXPECT_EQ(c.label_speed->text(), "100%");
    c.button_slower->click();
    c.button_slower->click();
    EXPECT_EQ(strip->speed(), 90);
    EXPECT_EQ(c.label_speed->text(), "90%");
    QWheelEvent up(QPointF(5, 5), c.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 360), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&c, &up);  // three notches
    EXPECT_EQ(strip->speed(), 105);
    strip->set_speed(200);
    EXPECT_EQ(c.label_speed->text(), "200%");
    EXPECT_FALSE(c.button_faster->isEnabled());  // nothing faster to go to
    EXPECT_TRUE(c.button_slower->isEnabled());
    // The buttons leave the keyboard with the list.
    c.button_slower->click();
    EXPECT_EQ(QApplication::focusWidget(), list);
    EXPECT_EQ(c.button_slower->focusPolicy(), Qt::NoFocus);
}

TEST_F(GuiSpeedTest, TheKeysReachTheStripWhileTheListHasTheKeyboard) {
    const QStringList refused = panel->install_keys(&window, PlayerKeys{});
    EXPECT_TRUE(refused.isEmpty()) << refused.join(", ").toStdString();
    ASSERT_EQ(QApplication::focusWidget(), list);
    selected = scratch.file("keys.wav");
    write_wav(selected, tone(16000, 30, 500), 16000, 1);
    strip->set_rewind_ms(0);

    EXPECT_TRUE(press(Qt::Key_F8));  // play the selection
    EXPECT_EQ(strip->transport(), TransportState::Playing);
    play_for(1000);
    EXPECT_TRUE(press(Qt::Key_F9, Qt::ShiftModifier));  // 10 s on
    EXPECT_NEAR(double(strip->position_ms()), 11000.0, 150.0);
    EXPECT_TRUE(press(Qt::Key_F7));  // 2 s back
    EXPECT_NEAR(double(strip->position_ms()), 9000.0, 150.0);
    EXPECT_TRUE(press(Qt::Key_F9, Qt::ControlModifier));
    EXPECT_TRUE(press(Qt::Key_F9, Qt::ControlModifier));
    EXPECT_EQ(strip->speed(), 110);
    EXPECT_EQ(panel->speed_control->label_speed->text(), "110%");
    EXPECT_TRUE(press(Qt::Key_F7, Qt::ControlModifier));
    EXPECT_EQ(strip->speed(), 105);
    EXPECT_TRUE(press(Qt::Key_F8));
    EXPECT_EQ(strip->transport(), TransportState::Paused);
    EXPECT_EQ(QApplication::focusWidget(), list);  // the list kept the keyboard throughout
    // A key that is none of ours goes on to the list.
    EXPECT_FALSE(press(Qt::Key_Down));
}

TEST_F(GuiSpeedTest, KeysThatAreNoKeysOrTakenTwiceAreLeftOutAndNamed) {
    PlayerKeys k;
    k.play_pause = "Ctrl+Space";
    k.skip_back = "Bogus+Q";      // no key
    k.skip_forward = "Ctrl+Space";  // taken by play/pause
    k.faster = "";                // switched off
    const QStringList refused = panel->install_keys(&window, k);
    EXPECT_EQ(refused, (QStringList{"KeySkipBack=Bogus+Q", "KeySkipForward=Ctrl+Space"}));
    EXPECT_EQ(panel->shortcuts().size(), 4);  // play/pause, back long, forward long, slower
    selected = scratch.file("space.wav");
    write_wav(selected, tone(16000, 3, 500), 16000, 1);
    EXPECT_TRUE(press(Qt::Key_Space, Qt::ControlModifier));
    EXPECT_EQ(strip->transport(), TransportState::Playing);
    EXPECT_FALSE(press(Qt::Key_F9, Qt::ControlModifier));  // faster is off
    EXPECT_EQ(strip->speed(), 100);
}

}  // namespace
