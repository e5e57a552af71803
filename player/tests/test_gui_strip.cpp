// The player strip on screen: the display widgets rendering a playback of a
// voice file on a virtual sound card, the buttons following the transport
// states, the meter bars seeking and setting the volume, and the level
// meters' ballistics.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>

#include <thread>

#include "player/gui/led_text.h"
#include "player/gui/level_meter.h"
#include "player/gui/meter_bar.h"
#include "player/gui/player_panel.h"
#include "player/tests/player_fixture.h"
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
    std::string sp_file(const std::string& name, size_t bytes) {
        std::vector<uint8_t> stream = encode_stream(5, tone(16000, bytes / 2000.0 + 1.0, 440));
        stream.resize(bytes);
        std::string path = scratch.file(name);
        write_voice_file(path, 5, stream);
        return path;
    }
    bool advance_until(const std::function<bool()>& done) {
        return ui.pump_until([&] {
            if (done()) return true;
            backend.advance_output(2880);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return done();
        }, std::chrono::seconds(30));
    }
    static void click(QWidget& w, double fraction) {
        QPointF at(w.width() * fraction, 1);
        QMouseEvent press(QEvent::MouseButtonPress, at, w.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&w, &press);
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

    // 20,000 bytes read are ten seconds of SP audio.
    ASSERT_TRUE(advance_until([&] { return strip->voice().read_pos() > 20512; }));
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
    // Without audio the meters fall back to their floor within two seconds.
    for (int i = 0; i < 20; ++i) panel->tick();
    EXPECT_EQ(panel->MMLevel4->level_db(), LevelMeter::kFloorDb);
    EXPECT_EQ(panel->MMLevel3->level_db(), LevelMeter::kFloorDb);
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
}

// Stereo blocks: full scale on the left, a tenth of it on the right.
TEST(LevelMeter, ShowsEachChannelsPeakFallsBackAtItsRateAndHoldsThePeakMarker) {
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

    left.decay(500);
    EXPECT_NEAR(left.level_db(), -12.0, 1e-9);
    EXPECT_NEAR(left.peak_db(), 0.0, 1e-9);  // held for a second
    left.decay(600);
    EXPECT_LT(left.peak_db(), 0.0);
    left.decay(5000);
    EXPECT_EQ(left.level_db(), LevelMeter::kFloorDb);

    // A mono block feeds the right meter too; silence reads as the floor.
    std::vector<int16_t> mono(32, 0);
    right.reset();
    right.ShowData(MakePCMFormat(16, 1, 16000), reinterpret_cast<const uint8_t*>(mono.data()), 64);
    EXPECT_EQ(right.level_db(), LevelMeter::kFloorDb);
    mono[5] = 16384;
    right.ShowData(MakePCMFormat(16, 1, 16000), reinterpret_cast<const uint8_t*>(mono.data()), 64);
    EXPECT_NEAR(right.level_db(), -6.02, 0.01);

    // Linear amplitude from the -30 dB sensitivity to full scale.
    EXPECT_EQ(LevelMeter::fraction_of(-30), 0.0);
    EXPECT_EQ(LevelMeter::fraction_of(-40), 0.0);
    EXPECT_NEAR(LevelMeter::fraction_of(0), 1.0, 1e-12);
    EXPECT_NEAR(LevelMeter::fraction_of(-6.0206), (0.5 - 0.031623) / (1 - 0.031623), 1e-4);
}

}  // namespace
