#pragma once
// The player strip on screen: the playback display in Panel1, the position
// and volume sliders with their meter bars in the bottom strip, the level
// meters fed by the strip's connectors, and the routing of the transport
// buttons and sliders to PlayerStrip.
//
// Thread: user-interface thread. The panel does not own the strip, the two
// host panels or the buttons; it must be destroyed before the strip.
#include <QElapsedTimer>
#include <QObject>
#include <QList>
#include <QPointer>
#include <QStringList>

#include <array>

#include "player/playerstrip.h"

class QAbstractButton;
class QShortcut;
class QLabel;
class QTimer;

namespace murrel::ui {
class BitmapSlider;
}

namespace murrel {

class LedReadout;
class LedText;
class LevelMeter;
class MeterBar;
class SpeedControl;

class PlayerPanel : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 100;

    // `display_host` receives the display (Panel1), `control_host` the
    // sliders (MMPanelFill_control).
    PlayerPanel(PlayerStrip& strip, QWidget* display_host, QWidget* control_host, QObject* parent = nullptr);
    ~PlayerPanel() override;

    // The buttons the transport states enable and disable, by TransportButton,
    // and the stop button. Null entries are skipped. Clicks of play, pause,
    // stop and the record buttons go to the strip.
    void bind_buttons(const std::array<QAbstractButton*, kTransportButtons>& buttons, QAbstractButton* stop);

    // The keys for typing along as shortcuts of `window` (they work whichever
    // of its controls has the keyboard): play/pause, skips, speed. A key text
    // that is no key, or one another entry already took, is left out and
    // named in the returned list.
    QStringList install_keys(QWidget* window, const PlayerKeys& keys);
    QList<QShortcut*> shortcuts() const { return shortcuts_; }

    // One 100 ms step: the strip's time display (while its timer runs) and
    // the display. The QTimer calls it; tests may too.
    void tick();
    // Lets `ms` pass for both level meters. timer_meters calls it with the
    // time measured since its last call; tests call it directly.
    void advance_meters(int ms);
    // Shows the strip's display model and button states.
    void render();

    // Widgets, named as in the window's resource.
    LedText *label_timedisplayhour = nullptr, *label_timedisplaymin = nullptr, *label_timedisplaysec = nullptr;
    LedText *label_totalhour = nullptr, *label_totalmin = nullptr, *label_totalsec = nullptr;
    LedText *led_shq = nullptr, *led_hq = nullptr, *led_sp = nullptr;
    LedText *label_bitup = nullptr, *label_bitdown1 = nullptr, *label_bitdown2 = nullptr;
    LedText* ledlabel_mode = nullptr;
    LedText* Label_filetype = nullptr;
    LedText* label_filename = nullptr;
    // The playback speed, with its slower and faster buttons.
    SpeedControl* speed_control = nullptr;
    QLabel* Image_state = nullptr;
    // The LEDs a screen reader reads as one value each.
    LedReadout *readout_elapsed = nullptr, *readout_total = nullptr, *readout_mode = nullptr,
               *readout_rate = nullptr;
    LevelMeter *MMLevel4 = nullptr, *MMLevel3 = nullptr;
    ui::BitmapSlider *trackbar_position = nullptr, *trackbar_wavvolume = nullptr;
    MeterBar *panel_positionmeter = nullptr, *panel_volumemeter = nullptr;
    QTimer* timer_timedisplay = nullptr;
    // Drives the meters' ballistics more often than the time display, so
    // that they fall back smoothly.
    QTimer* timer_meters = nullptr;

    int shown_state_image() const { return shown_state_image_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_display(QWidget* host);
    void build_controls(QWidget* host);
    void place_meters();
    void seek_to(int percent);
    void position_changed();

    PlayerStrip& strip_;
    std::array<QPointer<QAbstractButton>, kTransportButtons> buttons_{};
    QPointer<QAbstractButton> stop_;
    int shown_state_image_ = -1;
    bool volume_dragging_ = false;
    QElapsedTimer meters_clock_;
    QList<QShortcut*> shortcuts_;
};

}  // namespace murrel
