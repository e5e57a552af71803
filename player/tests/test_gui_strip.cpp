// The player strip on screen: the display widgets rendering a playback of a
// voice file on a virtual sound card, the buttons following the transport
// states, the sliders and meter bars seeking and setting the volume, and the
// level meters' ballistics and drawing.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <thread>

#include "player/gui/led_text.h"
#include "player/gui/level_meter.h"
#include "player/gui/meter_bar.h"
#include <QAccessible>

#include "player/gui/player_panel.h"
#include "ui/accessible.h"
#include "player/tests/player_fixture.h"
#include "ui/bitmap_slider.h"
#include "ui/skin.h"

using namespace murrel;
using namespace murrel::playertest;

namespace {

class GuiStripTest : public StripTest {
protected:
    void SetUp() override {
        StripTest::SetUp();
        backend.set_clock(VirtualClock::Manual);
        display_host.resize(900, 45);
        control_host.resize(900, 51);
        // The window's dark body behind both, for the kept picture.
        for (QWidget* host : {&display_host, &control_host}) {
            QPalette dark = host->palette();
            dark.setColor(QPalette::Window, ui::colours::body);
            host->setPalette(dark);
            host->setAutoFillBackground(true);
        }
        // As the program does before it builds a window: interfaces are made
        // (and kept) as the widgets are built.
        ui::install_accessibility();
        panel = std::make_unique<PlayerPanel>(*strip, &display_host, &control_host);
        std::array<QAbstractButton*, kTransportButtons> bound{};
        for (int i = 0; i < kTransportButtons; ++i) {
            buttons[i] = std::make_unique<QPushButton>(transport_button_name(static_cast<TransportButton>(i)));
            bound[i] = buttons[i].get();
        }
        panel->bind_buttons(bound, &stop);
    }
    void TearDown() override {
        strip->button_stopClick();
        play_to_end();
        panel.reset();
        StripTest::TearDown();
    }
    QAbstractButton& button(TransportButton b) { return *buttons[static_cast<int>(b)]; }
    // Enabled buttons in table order, as a string of 0/1 for readable failures.
    std::string enables() {
        std::string s;
        for (auto& b : buttons) s += b->isEnabled() ? '1' : '0';
        return s;
    }
    std::string elapsed() const {
        return (panel->label_timedisplayhour->text() + ":" + panel->label_timedisplaymin->text() + ":" +
                panel->label_timedisplaysec->text())
            .toStdString();
    }
    std::string total() const {
        return (panel->label_totalhour->text() + ":" + panel->label_totalmin->text() + ":" +
                panel->label_totalsec->text())
            .toStdString();
    }
    std::string bitrate() const {
        return (panel->label_bitup->text() + "." + panel->label_bitdown1->text() + panel->label_bitdown2->text())
            .toStdString();
    }
    static void click(QWidget& w, double fraction) {
        QPointF at(w.width() * fraction, 1);
        QMouseEvent press(QEvent::MouseButtonPress, at, w.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&w, &press);
    }

    // The display above the bottom strip, as the window shows them; also
    // written to build/screenshots/player_strip.png.
    QImage strip_picture() {
        QImage shot(display_host.width(), display_host.height() + control_host.height(), QImage::Format_RGB32);
        shot.fill(Qt::black);
        QPainter p(&shot);
        p.drawImage(0, 0, display_host.grab().toImage());
        p.drawImage(0, display_host.height(), control_host.grab().toImage());
        p.end();
        const QString dir = QStringLiteral(MURREL_BIN_DIR "/../screenshots");
        QDir().mkpath(dir);
        shot.save(dir + "/player_strip.png");
        return shot;
    }

    QWidget display_host, control_host;
    std::array<std::unique_ptr<QPushButton>, kTransportButtons> buttons;
    QPushButton stop{"stop"};
    std::unique_ptr<PlayerPanel> panel;
};

// Button order: convert, wavedit, email, help, about, shq, hq, sp, play, pause.
constexpr const char* kAllEnabled = "1111111111";
constexpr const char* kPlaying = "1110000001";
constexpr const char* kPaused = "1110000010";

TEST_F(GuiStripTest, PlayingAnSpVoiceFileFillsTheDisplayAndTheButtonsFollowTheTransportStates) {
    EXPECT_EQ(enables(), kAllEnabled);
    EXPECT_EQ(panel->shown_state_image(), ui::StateStopped);
    EXPECT_EQ(panel->Label_filetype->text(), "___");

    selected = sp_file("minute.vkd", 120000);
    button(TransportButton::Play).click();
    ASSERT_EQ(strip->transport(), TransportState::Playing);
    EXPECT_TRUE(panel->timer_timedisplay->isActive());
    EXPECT_EQ(panel->Label_filetype->text(), "VKD");
    EXPECT_EQ(bitrate(), "16.00");
    EXPECT_TRUE(panel->led_sp->lit());
    EXPECT_FALSE(panel->led_hq->lit() || panel->led_shq->lit());
    EXPECT_EQ(panel->ledlabel_mode->text(), "MONO");
    EXPECT_EQ(total(), "00:01:00");
    EXPECT_EQ(panel->label_filename->text(), "minute.vkd");
    EXPECT_EQ(panel->shown_state_image(), ui::StatePlaying);
    EXPECT_FALSE(panel->Image_state->pixmap().isNull());
    EXPECT_EQ(enables(), kPlaying);
    EXPECT_TRUE(stop.isEnabled());

    // Ten seconds heard (the header counts as the display counts it).
    ASSERT_TRUE(advance_until([&] { return strip->position_ms() > 10256; }));
    ui.pump();
    panel->tick();
    EXPECT_GE(panel->label_timedisplaysec->text().toInt(), 10) << elapsed();
    EXPECT_EQ(panel->label_timedisplaymin->text(), "00");
    EXPECT_GT(panel->trackbar_position->value(), 15);
    EXPECT_GT(panel->panel_positionmeter->fraction(), 0.15);
    // A mono 440 Hz tone of amplitude 8,000 is about -12 dB on both meters.
    EXPECT_GT(panel->MMLevel4->level_db(), -16);
    EXPECT_LT(panel->MMLevel4->level_db(), -8);
    EXPECT_NEAR(panel->MMLevel3->level_db(), panel->MMLevel4->level_db(), 0.01);
    // The picture of the playing strip is kept for people to look at. The
    // left meter is lit up to its level in it, and dark beyond.
    const QImage shot = strip_picture();
    const QRect meter(panel->MMLevel4->mapTo(&display_host, QPoint(0, 0)), panel->MMLevel4->size());
    const double lit_to = LevelBallistics::fraction(panel->MMLevel4->ballistics().level()) * meter.width();
    ASSERT_GT(lit_to, 30);
    int lit_beyond = 0;  // the held peak's and the maximum's spots
    for (int x = 0; x + 1 < meter.width(); x += 3) {
        const QColor c = shot.pixelColor(meter.x() + x, meter.center().y());
        if (x + 3 < lit_to) {
            EXPECT_GT(c.value(), 100) << x;
        }
        if (x > lit_to + 3 && c.value() > 100) ++lit_beyond;
    }
    EXPECT_LE(lit_beyond, 2);

    button(TransportButton::Pause).click();
    EXPECT_EQ(panel->shown_state_image(), ui::StatePaused);
    EXPECT_EQ(enables(), kPaused);
    button(TransportButton::Play).click();
    EXPECT_EQ(panel->shown_state_image(), ui::StatePlaying);
    EXPECT_EQ(enables(), kPlaying);

    stop.click();
    ASSERT_TRUE(play_to_end());
    ui.pump();
    EXPECT_EQ(panel->shown_state_image(), ui::StateStopped);
    EXPECT_EQ(enables(), kAllEnabled);
    EXPECT_EQ(elapsed(), "00:00:00");
    EXPECT_EQ(total(), "00:00:00");
    EXPECT_EQ(panel->Label_filetype->text(), "___");
    EXPECT_FALSE(panel->led_sp->lit());
    EXPECT_EQ(bitrate(), "0.00");
    EXPECT_FALSE(panel->timer_timedisplay->isActive());
    // Without audio the meters fall back to their floor within two seconds,
    // and then their timer rests until audio comes again.
    EXPECT_TRUE(panel->timer_meters->isActive());
    for (int i = 0; i < 20; ++i) panel->advance_meters(100);
    EXPECT_EQ(panel->MMLevel4->level_db(), LevelMeter::kFloorDb);
    EXPECT_EQ(panel->MMLevel3->level_db(), LevelMeter::kFloorDb);
    EXPECT_TRUE(panel->timer_meters->isActive());  // the held peak is still falling
    for (int i = 0; i < 10; ++i) panel->advance_meters(100);
    EXPECT_FALSE(panel->timer_meters->isActive());
    std::vector<int16_t> block(32, 4000);
    panel->MMLevel3->ShowData(MakePCMFormat(16, 1, 16000), reinterpret_cast<const uint8_t*>(block.data()), 64);
    EXPECT_TRUE(panel->timer_meters->isActive());
}

TEST_F(GuiStripTest, AScreenReaderReadsTheDisplayAsItLooksWhilePlaying) {
    auto reading = [](QWidget* w) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        return a ? a->text(QAccessible::Value) : QString("(no interface)");
    };
    auto name = [](QWidget* w) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        return a ? a->text(QAccessible::Name) : QString();
    };
    EXPECT_EQ(name(panel->readout_elapsed), "Elapsed time");
    EXPECT_EQ(reading(panel->readout_mode), "none");
    EXPECT_EQ(name(panel->Image_state), "Stopped");

    selected = sp_file("minute.vkd", 120000);
    button(TransportButton::Play).click();
    ASSERT_TRUE(advance_until([&] { return strip->voice().read_pos() > 20512; }));
    ui.pump();
    panel->tick();
    EXPECT_EQ(reading(panel->readout_elapsed), QString::fromStdString(elapsed()));
    EXPECT_NE(elapsed(), "00:00:00");
    EXPECT_EQ(reading(panel->readout_total), "00:01:00");
    EXPECT_EQ(reading(panel->readout_mode), "SP");
    EXPECT_EQ(reading(panel->readout_rate), "16.00 Kbps");
    EXPECT_EQ(reading(panel->label_filename), "minute.vkd");
    EXPECT_EQ(name(panel->Image_state), "Playing");
    // The tone of about -12 dB, in whole dB.
    const int db = reading(panel->MMLevel4).section(' ', 0, 0).toInt();
    EXPECT_GE(db, -16);
    EXPECT_LE(db, -8);
    QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(panel->trackbar_position);
    ASSERT_TRUE(slider && slider->valueInterface());
    EXPECT_EQ(slider->text(QAccessible::Name), "Position");
    EXPECT_GT(slider->valueInterface()->currentValue().toInt(), 15);
    stop.click();
}

TEST_F(GuiStripTest, AClickOnThePositionMeterBarSeeksAndOnTheVolumeMeterBarSetsTheVolume) {
    selected = sp_file("seek.vkd", 120000);
    button(TransportButton::Play).click();
    ASSERT_EQ(strip->transport(), TransportState::Playing);
    click(*panel->panel_positionmeter, 0.5);
    EXPECT_EQ(panel->trackbar_position->value(), 50);
    // The reset's refill has read on from 60,000 by one or two ring fills.
    EXPECT_TRUE(strip->voice().read_pos() == 60512 || strip->voice().read_pos() == 61024) << strip->voice().read_pos();
    EXPECT_NEAR(panel->panel_positionmeter->fraction(), 0.5, 1e-9);

    click(*panel->panel_volumemeter, 0.25);
    EXPECT_EQ(panel->trackbar_wavvolume->value(), 16384);
    EXPECT_EQ(strip->volume(), 16384u | (16384u << 16));
    EXPECT_NEAR(panel->panel_volumemeter->fraction(), 0.25, 1e-9);
    // The volume slider's top is clamped to the device's 16-bit range.
    panel->trackbar_wavvolume->setValue(65536);
    EXPECT_EQ(strip->volume(), 0xFFFFFFFFu);
    // Keys on the volume slider: the bar goes while the key is down, the
    // volume follows at once.
    QKeyEvent page(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(panel->trackbar_wavvolume, &page);
    EXPECT_TRUE(panel->panel_volumemeter->isHidden());
    EXPECT_EQ(strip->volume(), 58983u | (58983u << 16));
    QKeyEvent page_up(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(panel->trackbar_wavvolume, &page_up);
    EXPECT_FALSE(panel->panel_volumemeter->isHidden());
    EXPECT_NEAR(panel->panel_volumemeter->fraction(), 58983 / 65536.0, 1e-9);
}

TEST_F(GuiStripTest, DraggingThePositionThumbHidesItsBarAndTheReleaseSeeksThere) {
    selected = sp_file("drag.vkd", 120000);
    button(TransportButton::Play).click();
    ASSERT_EQ(strip->transport(), TransportState::Playing);
    ui::BitmapSlider& slider = *panel->trackbar_position;
    auto mouse = [&](QEvent::Type type, int x) {
        const QPointF at(x, 4);
        QMouseEvent e(type, at, slider.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&slider, &e);
    };
    const int from = slider.centre_of(slider.value());
    mouse(QEvent::MouseButtonPress, from);
    mouse(QEvent::MouseMove, slider.centre_of(75));
    EXPECT_EQ(slider.value(), 75);
    EXPECT_TRUE(panel->panel_positionmeter->isHidden());
    // The time display leaves the slider alone while it is held.
    panel->tick();
    EXPECT_EQ(slider.value(), 75);
    mouse(QEvent::MouseButtonRelease, slider.centre_of(75));
    EXPECT_FALSE(panel->panel_positionmeter->isHidden());
    EXPECT_NEAR(panel->panel_positionmeter->fraction(), 0.75, 1e-9);
    // 75 % of 120,000 bytes; the reset's refill has read on by a ring fill or two.
    EXPECT_TRUE(strip->voice().read_pos() == 90512 || strip->voice().read_pos() == 91024) << strip->voice().read_pos();

    // Keys seek once, when the last key is let go.
    slider.setFocus();
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(&slider, &home);
    EXPECT_TRUE(panel->panel_positionmeter->isHidden());
    QKeyEvent home_up(QEvent::KeyRelease, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(&slider, &home_up);
    EXPECT_EQ(slider.value(), 0);
    EXPECT_FALSE(panel->panel_positionmeter->isHidden());
    // Back at the start: the frame search has read on by a few ring fills.
    EXPECT_LT(strip->voice().read_pos(), 4096);
}

// Offscreen picture of the bottom strip: each thumb's grip line and the end of
// its meter bar are in the same column, the one the value puts the thumb at.
TEST_F(GuiStripTest, EachSlidersThumbSitsOverTheEndOfItsMeterBar) {
    panel->trackbar_wavvolume->setValue(40000);
    panel->trackbar_position->setValue(37);
    const QImage shot = control_host.grab().toImage();
    struct Pair {
        ui::BitmapSlider* slider;
        MeterBar* bar;
        ui::SkinImage thumb;
    };
    for (const Pair& p : {Pair{panel->trackbar_wavvolume, panel->panel_volumemeter, ui::SkinVolumeThumb},
                          Pair{panel->trackbar_position, panel->panel_positionmeter, ui::SkinPositionThumb}}) {
        const QColor grip = ui::skin_image(p.thumb).toImage().pixelColor(7, 5);
        const QRect thumb = p.slider->thumb_rect().translated(p.slider->pos());
        int grip_x = -1;
        for (int x = p.slider->x(); x < p.slider->geometry().right(); ++x)
            if (shot.pixelColor(x, thumb.top() + 5) == grip) grip_x = x;
        EXPECT_EQ(grip_x, p.slider->x() + p.slider->centre_of(p.slider->value()))
            << p.slider->objectName().toStdString();
        // The bar lies in the groove under the thumb's point and is lit up to
        // the point's column.
        EXPECT_EQ(p.bar->y(), thumb.top() + ui::kSliderMeterRow);
        const int bar_end = p.bar->x() + p.bar->filled_width();
        EXPECT_LE(std::abs(bar_end - grip_x), 1) << p.slider->objectName().toStdString();
        const QColor lit = shot.pixelColor(bar_end - 2, p.bar->y() + 1);
        const QColor unlit = shot.pixelColor(bar_end + 9, p.bar->y() + 1);
        EXPECT_GT(lit.value(), 100);
        EXPECT_LT(unlit.value(), 40);
    }
    EXPECT_EQ(panel->panel_volumemeter->width(), panel->trackbar_wavvolume->width() - 20);
    EXPECT_EQ(panel->panel_positionmeter->width(), panel->trackbar_position->width() - 14);
}

TEST_F(GuiStripTest, ANewPlaybackClearsTheMetersMaximum) {
    std::vector<int16_t> loud(64, 0);
    loud[3] = 32767;
    const TWaveFormatEx mono = MakePCMFormat(16, 1, 16000);
    panel->MMLevel4->ShowData(mono, reinterpret_cast<const uint8_t*>(loud.data()), loud.size() * 2);
    panel->advance_meters(5000);
    EXPECT_TRUE(panel->MMLevel4->ballistics().clipped());
    selected = sp_file("fresh.vkd", 12000);
    button(TransportButton::Play).click();
    ASSERT_EQ(strip->transport(), TransportState::Playing);
    EXPECT_FALSE(panel->MMLevel4->ballistics().clipped());
    EXPECT_LT(panel->MMLevel4->max_db(), -6);
}

// --- level meters ---------------------------------------------------------------------

TEST(LevelBallistics, TheBarStepsUpAtOnceAndFallsAnEighthOfItsAmplitudePerStep) {
    LevelBallistics b;
    b.feed(0.5);
    EXPECT_EQ(b.level(), 0.5);
    b.advance(100);
    EXPECT_DOUBLE_EQ(b.level(), 0.4375);
    b.advance(100);
    EXPECT_DOUBLE_EQ(b.level(), 0.3828125);
    b.feed(0.3);  // a softer block does not pull the bar down
    EXPECT_DOUBLE_EQ(b.level(), 0.3828125);
    b.feed(0.9);
    EXPECT_EQ(b.level(), 0.9);
    // The fall depends on the time only, not on how it is cut up.
    LevelBallistics halves = b;
    b.advance(100);
    halves.advance(50);
    halves.advance(50);
    EXPECT_NEAR(halves.level(), b.level(), 1e-12);
    EXPECT_DOUBLE_EQ(b.level(), 0.9 * 0.875);
    // About 12 dB a second from full scale.
    LevelBallistics top;
    top.feed(1.0);
    top.advance(1000);
    EXPECT_NEAR(LevelBallistics::db_of(top.level()), -11.6, 0.05);
}

TEST(LevelBallistics, TheHeldPeakStaysForItsHoldTimeThenFallsFasterUntilItMeetsTheBar) {
    LevelBallistics b;
    b.feed(0.8);
    b.advance(1000);
    b.feed(0.5);  // softer: the hold goes on
    b.advance(500);
    EXPECT_EQ(b.held_peak(), 0.8);
    b.advance(100);  // 100 ms past the hold, falling two steps' worth
    EXPECT_DOUBLE_EQ(b.held_peak(), 0.8 * 0.875 * 0.875);
    b.feed(0.7);  // a louder block than the falling peak is held afresh
    EXPECT_EQ(b.held_peak(), 0.7);
    b.advance(1500);
    EXPECT_EQ(b.held_peak(), 0.7);
    EXPECT_LT(b.level(), 0.2);
    b.advance(3000);
    EXPECT_EQ(b.held_peak(), b.level());  // never below the bar
    // A single long step past the hold only counts the time beyond it.
    LevelBallistics once;
    once.feed(0.8);
    once.advance(1600);
    EXPECT_DOUBLE_EQ(once.held_peak(), 0.8 * 0.875 * 0.875);
}

TEST(LevelBallistics, TheMaximumStaysUntilClearedAndTurnsToClippedAtFullScale) {
    LevelMeter m(0);
    const TWaveFormatEx mono = MakePCMFormat(16, 1, 16000);
    auto show = [&](int16_t peak) {
        std::vector<int16_t> block(32, 100);
        block[7] = peak;
        m.ShowData(mono, reinterpret_cast<const uint8_t*>(block.data()), block.size() * 2);
    };
    show(32766);
    m.advance(60000);
    EXPECT_NEAR(m.ballistics().max_peak(), 32766 / 32768.0, 1e-12);
    EXPECT_FALSE(m.ballistics().clipped());
    EXPECT_EQ(m.level_db(), LevelMeter::kFloorDb);
    show(-32768);
    EXPECT_TRUE(m.ballistics().clipped());
    m.reset_max();
    EXPECT_FALSE(m.ballistics().clipped());
    EXPECT_EQ(m.ballistics().max_peak(), 0.0);
    EXPECT_EQ(m.ballistics().level(), 1.0);  // the bar is not touched
    show(32767);
    EXPECT_TRUE(m.ballistics().clipped());
    // A click on the meter clears it too.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&m, &press);
    m.advance(10000);
    show(100);
    EXPECT_FALSE(m.ballistics().clipped());
    EXPECT_NEAR(m.max_db(), LevelMeter::kFloorDb, 1e-12);
}

TEST(LevelBallistics, TheMeterIsLinearInAmplitudeFromTheMinus30DbSensitivity) {
    const double floor = std::pow(10.0, -30 / 20.0);
    EXPECT_NEAR(LevelBallistics::fraction(floor), 0.0, 1e-12);
    EXPECT_EQ(LevelBallistics::fraction(floor * 0.9), 0.0);
    EXPECT_EQ(LevelBallistics::fraction(1.0), 1.0);
    EXPECT_NEAR(LevelBallistics::fraction(0.5), (0.5 - floor) / (1 - floor), 1e-12);
    // Equal steps of amplitude are equal steps along the meter.
    EXPECT_NEAR(LevelBallistics::fraction(0.6) - LevelBallistics::fraction(0.4),
                LevelBallistics::fraction(0.4) - LevelBallistics::fraction(0.2), 1e-12);
    EXPECT_EQ(LevelBallistics::db_of(0), LevelBallistics::kFloorDb);
    EXPECT_EQ(LevelBallistics::db_of(0.01), LevelBallistics::kFloorDb);
    EXPECT_NEAR(LevelBallistics::db_of(0.5), -6.0206, 1e-4);
}

// Stereo blocks: full scale on the left, a tenth of it on the right; mono
// blocks feed both meters; other sample widths are not metered.
TEST(LevelMeter, EachMeterShowsItsChannel) {
    LevelMeter left(0), right(1);
    std::vector<int16_t> block;
    for (int i = 0; i < 64; ++i) {
        block.push_back(i == 10 ? -32768 : 100);
        block.push_back(i == 20 ? 3277 : -50);
    }
    const TWaveFormatEx stereo = MakePCMFormat(16, 2, 16000);
    for (LevelMeter* m : {&left, &right})
        m->ShowData(stereo, reinterpret_cast<const uint8_t*>(block.data()), block.size() * 2);
    EXPECT_NEAR(left.level_db(), 0.0, 1e-9);
    EXPECT_NEAR(right.level_db(), -20.0, 0.01);

    std::vector<int16_t> mono(32, 0);
    right.reset();
    right.ShowData(MakePCMFormat(16, 1, 16000), reinterpret_cast<const uint8_t*>(mono.data()), 64);
    EXPECT_EQ(right.level_db(), LevelMeter::kFloorDb);
    mono[5] = 16384;
    right.ShowData(MakePCMFormat(16, 1, 16000), reinterpret_cast<const uint8_t*>(mono.data()), 64);
    EXPECT_NEAR(right.level_db(), -6.02, 0.01);
    right.reset();
    right.ShowData(MakePCMFormat(8, 1, 16000), reinterpret_cast<const uint8_t*>(mono.data()), 64);
    EXPECT_EQ(right.level_db(), LevelMeter::kFloorDb);
}

// The band a pixel of the meter's middle row shows: 0 green, 1 lime, 2 yellow
// by hue; -1 for a gap or an unlit spot; 3 for the maximum's spot.
int band_at(const QImage& shot, int x) {
    const QColor c = shot.pixelColor(x, shot.height() / 2);
    if (c.value() < 90) return -1;
    if (c.saturation() < 60) return 3;
    const int hue = c.hue();
    if (hue >= 110) return 0;
    if (hue >= 65) return 1;
    return hue >= 35 ? 2 : 3;
}

TEST(LevelMeter, SpotsAreTwoPixelsWideWithAGapAndTheYellowBandStartsAtThreeQuarters) {
    LevelMeter m(0);
    m.resize(300, 8);
    const TWaveFormatEx mono = MakePCMFormat(16, 1, 16000);
    std::vector<int16_t> block(16, 0);
    block[2] = 30000;  // 0.9155 of full scale: 0.9128 of the length, 273.8 pixels
    m.ShowData(mono, reinterpret_cast<const uint8_t*>(block.data()), block.size() * 2);
    QImage shot = m.grab().toImage();
    int first_lime = -1, first_yellow = -1, last_lit = -1, max_spot = -1;
    for (int x = 0; x < 300; ++x) {
        const int band = band_at(shot, x);
        if (x % 3 == 2) {
            EXPECT_EQ(band, -1) << "gap at " << x;
            continue;
        }
        if (band == 3) max_spot = x - x % 3;
        if (band >= 0 && band <= 2) last_lit = x;
        if (band == 1 && first_lime < 0) first_lime = x;
        if (band == 2 && first_yellow < 0) first_yellow = x;
        if (band >= 0 && band <= 2) {
            EXPECT_EQ(band, LevelMeter::band_of(x / 300.0)) << x;
        }
    }
    EXPECT_EQ(first_lime, 150);
    EXPECT_EQ(first_yellow, 225);
    // The spot holding pixel 273 is the maximum's (white, not clipped); every
    // spot before it is lit, every one after it dark.
    EXPECT_EQ(max_spot, 273);
    EXPECT_EQ(last_lit, 271);
    for (int x = 276; x < 300; ++x) EXPECT_EQ(band_at(shot, x), -1) << x;

    // Below the sensitivity nothing lights; the maximum's spot turns red when clipped.
    m.reset();
    block[2] = 1000;  // -30.3 dB
    m.ShowData(mono, reinterpret_cast<const uint8_t*>(block.data()), block.size() * 2);
    shot = m.grab().toImage();
    for (int x = 0; x < 300; ++x) EXPECT_EQ(band_at(shot, x), -1) << x;
    block[2] = -32768;
    m.ShowData(mono, reinterpret_cast<const uint8_t*>(block.data()), block.size() * 2);
    m.advance(400);
    shot = m.grab().toImage();
    const QColor top = shot.pixelColor(297, 4);
    EXPECT_GT(top.red(), 200);
    EXPECT_LT(top.green(), 100);
}

}  // namespace
