#include "player/gui/player_panel.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "player/gui/led_text.h"
#include "player/gui/level_meter.h"
#include "player/gui/meter_bar.h"
#include "player/gui/speed_control.h"
#include "ui/bitmap_slider.h"
#include "ui/skin.h"

namespace murrel {

namespace {
constexpr int kDigitPx = 22;
constexpr int kSmallPx = 11;

LedText* led(QWidget* parent, const char* name, const QString& text, int px) {
    auto* l = new LedText(text, px, parent);
    l->setObjectName(name);
    return l;
}

// The row of LEDs inside a readout, laid out as they were in the display's row.
QHBoxLayout* readout_row(QWidget* readout) {
    auto* row = new QHBoxLayout(readout);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    return row;
}

// What the state picture shows, for a screen reader.
QString state_name(int image) {
    switch (image) {
    case ui::StateRecording: return "Recording";
    case ui::StateRecordingPaused: return "Recording paused";
    case ui::StatePlaying: return "Playing";
    case ui::StatePaused: return "Paused";
    default: return "Stopped";
    }
}

LedText* caption(QWidget* parent, const QString& text) {
    auto* l = new LedText(text, 9, parent);
    l->set_colour(QColor(0x78, 0x8c, 0x96));
    // A crowded row must not squeeze a caption into unreadable slivers.
    l->setMinimumWidth(l->sizeHint().width());
    return l;
}

QString two(int v) { return QString::number(v).rightJustified(2, '0'); }

// Meter widths follow the slider: the thumb's travel, not the whole groove.
// The sliders keep their thumbs' centres over the meters' ends by leaving the
// rest of the inset as a margin at each end.
constexpr int kPositionMeterInset = 14;
constexpr int kVolumeMeterInset = 20;
constexpr int kMeterBarHeight = 3;
constexpr int kSliderY = 15;
constexpr int kMetersMs = 40;
// A stall (a modal box, a busy disk) must not make the meters jump to the floor
// in one frame.
constexpr int kLongestMeterStepMs = 250;

ui::BitmapSlider* slider(QWidget* host, const char* name, ui::SkinImage track, ui::SkinImage thumb, int inset) {
    auto* s = new ui::BitmapSlider(ui::skin_image(track), ui::skin_image(thumb), host);
    s->setObjectName(name);
    s->set_margin((inset - ui::logical_size(ui::skin_image(thumb)).width()) / 2);
    return s;
}
}  // namespace

PlayerPanel::PlayerPanel(PlayerStrip& strip, QWidget* display_host, QWidget* control_host, QObject* parent)
    : QObject(parent), strip_(strip) {
    build_display(display_host);
    build_controls(control_host);

    for (TMMConnector* c : {&strip_.MMConnector1(), &strip_.MMConnector2(), &strip_.MMConnector3()}) {
        c->AddDisplay(MMLevel4);
        c->AddDisplay(MMLevel3);
    }

    timer_timedisplay = new QTimer(this);
    timer_timedisplay->setInterval(kTimerMs);
    timer_timedisplay->setTimerType(Qt::PreciseTimer);
    connect(timer_timedisplay, &QTimer::timeout, this, &PlayerPanel::tick);
    strip_.OnTimerEnabled = [this](bool on) {
        if (on && !timer_timedisplay->isActive()) timer_timedisplay->start();
        if (!on) timer_timedisplay->stop();
    };
    if (strip_.timer_enabled()) timer_timedisplay->start();

    // The meters' timer runs from the first audio until they have fallen back
    // to rest, so an idle program does not wake up for them.
    timer_meters = new QTimer(this);
    timer_meters->setInterval(kMetersMs);
    connect(timer_meters, &QTimer::timeout, this, [this] {
        advance_meters(static_cast<int>(std::clamp<qint64>(meters_clock_.restart(), 0, kLongestMeterStepMs)));
    });
    for (LevelMeter* m : {MMLevel4, MMLevel3})
        connect(m, &LevelMeter::fed, this, [this] {
            if (timer_meters->isActive()) return;
            meters_clock_.start();
            timer_meters->start();
        });

    strip_.OnDisplayChanged = [this] { render(); };
    render();
}

PlayerPanel::~PlayerPanel() {
    strip_.OnDisplayChanged = nullptr;
    strip_.OnTimerEnabled = nullptr;
    for (TMMConnector* c : {&strip_.MMConnector1(), &strip_.MMConnector2(), &strip_.MMConnector3()}) {
        c->RemoveDisplay(MMLevel4);
        c->RemoveDisplay(MMLevel3);
    }
    if (strip_.MMWaveOut_vkdplay().Output() == &strip_.MMConnector2()) strip_.MMWaveOut_vkdplay().SetOutput(nullptr);
}

void PlayerPanel::build_display(QWidget* host) {
    auto* row = new QHBoxLayout(host);
    row->setContentsMargins(8, 3, 8, 3);
    // Tight enough that every readout and a file name of a dozen letters fit
    // the window's opening width.
    row->setSpacing(4);

    label_timedisplayhour = led(host, "label_timedisplayhour", "00", kDigitPx);
    label_timedisplaymin = led(host, "label_timedisplaymin", "00", kDigitPx);
    label_timedisplaysec = led(host, "label_timedisplaysec", "00", kDigitPx);
    readout_elapsed = new LedReadout("Elapsed time", [this] {
        return label_timedisplayhour->text() + ":" + label_timedisplaymin->text() + ":" + label_timedisplaysec->text();
    }, host);
    auto* elapsed = readout_row(readout_elapsed);
    elapsed->addWidget(label_timedisplayhour);
    elapsed->addWidget(led(host, "colon1", ":", kDigitPx));
    elapsed->addWidget(label_timedisplaymin);
    elapsed->addWidget(led(host, "colon2", ":", kDigitPx));
    elapsed->addWidget(label_timedisplaysec);
    row->addWidget(readout_elapsed);

    Image_state = new QLabel(host);
    Image_state->setObjectName("Image_state");
    Image_state->setFixedSize(24, 24);
    Image_state->setAlignment(Qt::AlignCenter);
    Image_state->setAccessibleDescription("Transport state");
    row->addWidget(Image_state);

    label_totalhour = led(host, "label_totalhour", "00", kSmallPx);
    label_totalmin = led(host, "label_totalmin", "00", kSmallPx);
    label_totalsec = led(host, "label_totalsec", "00", kSmallPx);
    for (LedText* l : {label_timedisplayhour, label_timedisplaymin, label_timedisplaysec, label_totalhour,
                       label_totalmin, label_totalsec})
        l->set_ghost("88");
    readout_total = new LedReadout("Total time", [this] {
        return label_totalhour->text() + ":" + label_totalmin->text() + ":" + label_totalsec->text();
    }, host);
    auto* total = readout_row(readout_total);
    total->addWidget(label_totalhour);
    total->addWidget(led(host, "colon3", ":", kSmallPx));
    total->addWidget(label_totalmin);
    total->addWidget(led(host, "colon4", ":", kSmallPx));
    total->addWidget(label_totalsec);
    row->addWidget(readout_total);

    // Upper meter left channel, the scale between, lower meter right channel.
    MMLevel4 = new LevelMeter(0, host);
    MMLevel4->setObjectName("MMLevel4");
    MMLevel3 = new LevelMeter(1, host);
    MMLevel3->setObjectName("MMLevel3");
    MMLevel4->setAccessibleName("Left level");
    MMLevel3->setAccessibleName("Right level");
    for (LevelMeter* m : {MMLevel4, MMLevel3}) {
        m->setFixedHeight(8);
        m->setMinimumWidth(110);
    }
    auto* scale = new LevelScale(host);
    scale->setObjectName("LevelScale");
    scale->setFixedHeight(11);
    auto* meters = new QGridLayout;
    meters->setSpacing(1);
    meters->addWidget(caption(host, "L"), 0, 0);
    meters->addWidget(MMLevel4, 0, 1);
    meters->addWidget(caption(host, "db"), 1, 0);
    meters->addWidget(scale, 1, 1);
    meters->addWidget(caption(host, "R"), 2, 0);
    meters->addWidget(MMLevel3, 2, 1);
    meters->setColumnStretch(1, 1);
    row->addLayout(meters, 2);

    led_shq = led(host, "led_shq", "SHQ", kSmallPx);
    led_hq = led(host, "led_hq", "HQ", kSmallPx);
    led_sp = led(host, "led_sp", "SP", kSmallPx);
    readout_mode = new LedReadout("Recording mode", [this] {
        for (LedText* l : {led_shq, led_hq, led_sp})
            if (l->lit()) return l->text();
        return QString("none");
    }, host);
    auto* modes = readout_row(readout_mode);
    modes->setSpacing(row->spacing());
    for (LedText* l : {led_shq, led_hq, led_sp}) {
        l->set_colour(QColor(0xf0, 0xb4, 0x28));
        modes->addWidget(l);
    }
    row->addWidget(readout_mode);

    label_bitup = led(host, "label_bitup", "", kSmallPx);
    label_bitup->setMinimumWidth(QFontMetrics(label_bitup->font()).horizontalAdvance("8888"));
    label_bitup->set_alignment(Qt::AlignRight | Qt::AlignVCenter);
    label_bitdown1 = led(host, "label_bitdown1", "0", kSmallPx);
    label_bitdown2 = led(host, "label_bitdown2", "0", kSmallPx);
    label_bitup->set_ghost("8888");
    label_bitdown1->set_ghost("8");
    label_bitdown2->set_ghost("8");
    readout_rate = new LedReadout("Bit rate", [this] {
        return label_bitup->text() + "." + label_bitdown1->text() + label_bitdown2->text() + " Kbps";
    }, host);
    auto* rate = readout_row(readout_rate);
    rate->addWidget(label_bitup);
    rate->addWidget(led(host, "point", ".", kSmallPx));
    rate->addWidget(label_bitdown1);
    rate->addWidget(label_bitdown2);
    rate->addSpacing(3);
    rate->addWidget(caption(host, "Kbps"));
    row->addWidget(readout_rate);

    speed_control = new SpeedControl(host);
    speed_control->OnStep = [this](int step) { strip_.set_speed(strip_.speed() + step); };
    row->addWidget(speed_control);

    ledlabel_mode = led(host, "ledlabel_mode", "MONO", kSmallPx);
    ledlabel_mode->setAccessibleName("Channels");
    row->addWidget(ledlabel_mode);

    Label_filetype = led(host, "Label_filetype", "___", kSmallPx);
    Label_filetype->setAccessibleName("File type");
    row->addWidget(Label_filetype);
    row->addWidget(caption(host, "File"));

    label_filename = led(host, "label_filename", "", kSmallPx);
    label_filename->setAccessibleName("File name");
    label_filename->set_alignment(Qt::AlignLeft | Qt::AlignVCenter);
    label_filename->setMinimumWidth(100);
    row->addWidget(label_filename, 1);
}

void PlayerPanel::build_controls(QWidget* host) {
    trackbar_wavvolume =
        slider(host, "trackbar_wavvolume", ui::SkinVolumeTrack, ui::SkinVolumeThumb, kVolumeMeterInset);
    trackbar_wavvolume->setAccessibleName("Volume");
    trackbar_wavvolume->setRange(0, 65536);
    trackbar_wavvolume->setSingleStep(65536 / 50);
    trackbar_wavvolume->setPageStep(65536 / 10);
    // Starts where the output device's volume is (its left channel).
    trackbar_wavvolume->setValue(static_cast<int>(strip_.volume() & 0xFFFFu));
    trackbar_wavvolume->setGeometry(305, kSliderY, 108, trackbar_wavvolume->sizeHint().height());
    // Made after its slider, so that it lies over the slider's groove.
    panel_volumemeter = new MeterBar(ui::skin_image(ui::SkinVolumeMeter), host);
    panel_volumemeter->setObjectName("panel_volumemeter");

    trackbar_position =
        slider(host, "trackbar_position", ui::SkinPositionTrack, ui::SkinPositionThumb, kPositionMeterInset);
    trackbar_position->setAccessibleName("Position");
    trackbar_position->setRange(0, 100);
    trackbar_position->setSingleStep(1);
    trackbar_position->setPageStep(10);
    trackbar_position->setGeometry(430, kSliderY, std::max(60, host->width() - 430 - 32),
                                   trackbar_position->sizeHint().height());
    panel_positionmeter = new MeterBar(ui::skin_image(ui::SkinPositionMeter), host);
    panel_positionmeter->setObjectName("panel_positionmeter");
    trackbar_position->installEventFilter(this);
    trackbar_wavvolume->installEventFilter(this);
    place_meters();

    connect(trackbar_position, &QAbstractSlider::sliderPressed, this, [this] { strip_.trackbar_positionTrack(); });
    connect(trackbar_position, &QAbstractSlider::sliderReleased, this, [this] {
        strip_.trackbar_positionTrackEnd(trackbar_position->value());
        place_meters();
        panel_positionmeter->show();
    });
    connect(trackbar_position, &QAbstractSlider::valueChanged, this, [this](int) { position_changed(); });
    panel_positionmeter->OnClick = [this](double at) {
        strip_.trackbar_positionTrack();
        seek_to(static_cast<int>(at * 100));
    };

    connect(trackbar_wavvolume, &QAbstractSlider::sliderPressed, this, [this] {
        volume_dragging_ = true;
        panel_volumemeter->hide();
    });
    connect(trackbar_wavvolume, &QAbstractSlider::sliderReleased, this, [this] {
        volume_dragging_ = false;
        place_meters();
        panel_volumemeter->show();
    });
    connect(trackbar_wavvolume, &QAbstractSlider::valueChanged, this, [this](int v) {
        strip_.trackbar_wavvolumeChange(v);
        if (!volume_dragging_) place_meters();
    });
    panel_volumemeter->OnClick = [this](double at) { trackbar_wavvolume->setValue(static_cast<int>(at * 65536)); };
}

// While the thumb is held the bar would only show where playback was, so it
// goes until the thumb is let go.
void PlayerPanel::position_changed() {
    if (trackbar_position->isSliderDown()) {
        panel_positionmeter->hide();
        return;
    }
    place_meters();
}

void PlayerPanel::seek_to(int percent) {
    percent = std::clamp(percent, 0, 100);
    {
        QSignalBlocker quiet(trackbar_position);
        trackbar_position->setValue(percent);
    }
    place_meters();
    strip_.trackbar_positionTrackEnd(percent);
}

void PlayerPanel::place_meters() {
    const QRect p = trackbar_position->geometry();
    panel_positionmeter->setGeometry(p.x() + kPositionMeterInset / 2,
                                     p.y() + trackbar_position->thumb_rect().top() + ui::kSliderMeterRow,
                                     std::max(0, p.width() - kPositionMeterInset), kMeterBarHeight);
    panel_positionmeter->set_fraction(static_cast<double>(trackbar_position->value()) / trackbar_position->maximum());
    const QRect v = trackbar_wavvolume->geometry();
    panel_volumemeter->setGeometry(v.x() + kVolumeMeterInset / 2,
                                   v.y() + trackbar_wavvolume->thumb_rect().top() + ui::kSliderMeterRow,
                                   std::max(0, v.width() - kVolumeMeterInset), kMeterBarHeight);
    panel_volumemeter->set_fraction(static_cast<double>(trackbar_wavvolume->value()) / trackbar_wavvolume->maximum());
}

bool PlayerPanel::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == trackbar_position || watched == trackbar_wavvolume) &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        place_meters();
    return QObject::eventFilter(watched, event);
}

void PlayerPanel::bind_buttons(const std::array<QAbstractButton*, kTransportButtons>& buttons,
                               QAbstractButton* stop) {
    for (size_t i = 0; i < buttons.size(); ++i) buttons_[i] = buttons[i];
    stop_ = stop;
    auto route = [this](TransportButton b, void (PlayerStrip::*handler)()) {
        if (QAbstractButton* button = buttons_[static_cast<int>(b)])
            connect(button, &QAbstractButton::clicked, this, [this, handler] { (strip_.*handler)(); });
    };
    route(TransportButton::Play, &PlayerStrip::button_playClick);
    route(TransportButton::Pause, &PlayerStrip::button_pauseClick);
    route(TransportButton::SpRecord, &PlayerStrip::button_sprecordClick);
    route(TransportButton::HqRecord, &PlayerStrip::button_hqrecordClick);
    route(TransportButton::ShqRecord, &PlayerStrip::button_shqrecordClick);
    if (stop_) connect(stop_, &QAbstractButton::clicked, this, [this] { strip_.button_stopClick(); });
    render();
}

QStringList PlayerPanel::install_keys(QWidget* window, const PlayerKeys& keys) {
    qDeleteAll(shortcuts_);
    shortcuts_.clear();
    QStringList refused;
    QList<QKeySequence> taken;
    auto add = [&](const char* name, const std::string& text, std::function<void()> action) {
        if (text.empty()) return;
        const QKeySequence seq = QKeySequence::fromString(QString::fromStdString(text), QKeySequence::PortableText);
        if (seq.isEmpty() || seq[0].key() == Qt::Key_unknown || taken.contains(seq)) {
            refused << QString("%1=%2").arg(name, QString::fromStdString(text));
            return;
        }
        taken << seq;
        auto* s = new QShortcut(seq, window);
        s->setObjectName(name);
        s->setContext(Qt::WindowShortcut);
        s->setAutoRepeat(true);
        connect(s, &QShortcut::activated, this, [this, action] {
            action();
            render();
        });
        shortcuts_ << s;
    };
    add("KeyPlayPause", keys.play_pause, [this] { strip_.play_pause_toggle(); });
    add("KeySkipBack", keys.skip_back, [this] { strip_.skip(-PlayerStrip::kSkipShortMs); });
    add("KeySkipBackLong", keys.skip_back_long, [this] { strip_.skip(-PlayerStrip::kSkipLongMs); });
    add("KeySkipForward", keys.skip_forward, [this] { strip_.skip(PlayerStrip::kSkipShortMs); });
    add("KeySkipForwardLong", keys.skip_forward_long, [this] { strip_.skip(PlayerStrip::kSkipLongMs); });
    add("KeySlower", keys.slower, [this] { strip_.speed_down(); });
    add("KeyFaster", keys.faster, [this] { strip_.speed_up(); });
    return refused;
}

void PlayerPanel::tick() {
    if (strip_.timer_enabled()) strip_.Timer_timedisplayTimer();
    render();
}

void PlayerPanel::advance_meters(int ms) {
    MMLevel4->advance(ms);
    MMLevel3->advance(ms);
    if (MMLevel4->at_rest() && MMLevel3->at_rest()) timer_meters->stop();
}

void PlayerPanel::render() {
    const PlayerDisplay& d = strip_.display();
    label_timedisplayhour->set_text(QString::fromStdString(d.hour));
    label_timedisplaymin->set_text(QString::fromStdString(d.minute));
    label_timedisplaysec->set_text(QString::fromStdString(d.second));
    label_totalhour->set_text(two(d.total_hour));
    label_totalmin->set_text(two(d.total_minute));
    label_totalsec->set_text(two(d.total_second));
    led_shq->set_lit(d.led_shq);
    led_hq->set_lit(d.led_hq);
    led_sp->set_lit(d.led_sp);
    // Leading zeros blank, but a rate under 1 kbit/s still shows its units digit.
    label_bitup->set_text(QString::number(d.bit_up));
    label_bitdown1->set_text(QString::number(d.bit_down1));
    label_bitdown2->set_text(QString::number(d.bit_down2));
    ledlabel_mode->set_text(d.stereo ? "STEREO" : "MONO");
    Label_filetype->set_text(QString::fromStdString(d.file_type));
    label_filename->set_text(QString::fromStdString(d.file_name));
    speed_control->show_speed(d.speed);
    if (d.state_image != shown_state_image_) {
        // Each playback or recording starts with a fresh maximum, so a clip
        // shown is one of the current file.
        const bool starting = shown_state_image_ == ui::StateStopped &&
                              (d.state_image == ui::StatePlaying || d.state_image == ui::StateRecording);
        if (starting) {
            MMLevel4->reset_max();
            MMLevel3->reset_max();
        }
        shown_state_image_ = d.state_image;
        Image_state->setPixmap(ui::button_image(d.state_image));
        Image_state->setAccessibleName(state_name(d.state_image));
    }
    for (LedReadout* r : {readout_elapsed, readout_total, readout_mode, readout_rate}) r->refresh();
    if (!trackbar_position->isSliderDown() && trackbar_position->value() != d.position) {
        QSignalBlocker quiet(trackbar_position);
        trackbar_position->setValue(d.position);
        place_meters();
    }
    const ButtonStates& states = strip_.buttons();
    for (int i = 0; i < kTransportButtons; ++i)
        if (buttons_[i]) buttons_[i]->setEnabled(states.enabled[i]);
    if (stop_) stop_->setEnabled(true);
}

}  // namespace murrel
