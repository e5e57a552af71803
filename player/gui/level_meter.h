#pragma once
// The playback display's level meters: one horizontal meter per channel of the
// audio a connector hands over (16-bit samples), and the scale they share.
//
// What the meter shows, in linear amplitude from the sensitivity (-30 dB, the
// empty meter) to full scale:
// - the bar: steps up at once to a louder block's peak and falls back by an
//   eighth of its amplitude per 100 ms step (the step-up decay of 8), about
//   12 dB/s near full scale, like a programme meter;
// - two peaks: the held peak, a spot that stays at the loudest recent block
//   for 1.5 s and then falls at twice the bar's rate until it meets the bar;
//   and the maximum since the meter was last cleared (a new playback or
//   recording, or a click on the meter), which turns red once a sample has
//   reached full scale, so a clipped dictation is still visible afterwards;
// - segmented: spots two pixels wide with a one-pixel gap, in three colour
//   bands: green, lime from 50 %, yellow from 75 % of the meter's length.
//
// Time passes only through advance(ms), so the ballistics do not depend on the
// wall clock; the panel's timer feeds the elapsed time.
//
// Thread: user-interface thread only (connectors call ShowData there).
#include <QPixmap>
#include <QWidget>

#include "audio/devices/mmdsp_connector.h"
#include "ui/accessible.h"

namespace murrel {

// One channel's ballistics; amplitudes are linear, full scale 1.0.
class LevelBallistics {
public:
    static constexpr double kFloorDb = -30.0;
    static constexpr int kStepMs = 100;
    static constexpr int kDecaySteps = 8;
    static constexpr int kPeakHoldMs = 1500;

    // A block whose largest sample magnitude is `amplitude`.
    void feed(double amplitude);
    // Lets `ms` of time pass.
    void advance(int ms);
    // Everything back to silence, the maximum included.
    void reset();
    void reset_max();

    double level() const { return level_; }
    double held_peak() const { return held_; }
    double max_peak() const { return max_; }
    // A sample of the maximum reached full scale (32767 or -32768).
    bool clipped() const { return max_ >= kClipAmplitude; }

    // Where `amplitude` lies along the meter, 0.0-1.0: linear in amplitude
    // from the sensitivity floor to full scale.
    static double fraction(double amplitude);
    static double amplitude_of(double db);
    // dB of an amplitude, never below the floor.
    static double db_of(double amplitude);

    static constexpr double kClipAmplitude = 32767.0 / 32768.0;

private:
    double level_ = 0;
    double held_ = 0;
    double max_ = 0;
    int held_age_ms_ = 0;
};

class LevelMeter : public QWidget, public TMMDisplay, public ui::AccessibleReadout {
    Q_OBJECT
public:
    static constexpr double kFloorDb = LevelBallistics::kFloorDb;
    static constexpr int kSpotWidth = 2;
    static constexpr int kSpotGap = 1;
    // Where the second and third colour bands begin, as fractions of the length.
    static constexpr double kBand2From = 0.50;
    static constexpr double kBand3From = 0.75;

    // `channel` 0 left, 1 right; a mono block feeds both.
    LevelMeter(int channel, QWidget* parent = nullptr);

    void ShowData(const TWaveFormatEx& format, const uint8_t* pcm, size_t bytes) override;
    void advance(int ms);
    // Nothing would move any more without new audio: the bar and the held
    // peak are below the sensitivity.
    bool at_rest() const;
    void reset();
    void reset_max();

    const LevelBallistics& ballistics() const { return ballistics_; }
    double level_db() const { return LevelBallistics::db_of(ballistics_.level()); }
    double peak_db() const { return LevelBallistics::db_of(ballistics_.held_peak()); }
    double max_db() const { return LevelBallistics::db_of(ballistics_.max_peak()); }

    // The band (0, 1, 2) of a spot starting at `fraction` of the length, and
    // the colours a band's spots are drawn in.
    static int band_of(double fraction);
    static QColor lit_colour(int band);
    static QColor dark_colour(int band);
    static QColor max_colour(bool clipped);

    QSize sizeHint() const override { return {120, 8}; }
    // The level in whole dB, or "silence" at the floor.
    QString readout() const override;

signals:
    // A block of audio arrived.
    void fed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    static constexpr QRgb kBackground = 0xff050608;
    void draw_strips();

    int channel_;
    LevelBallistics ballistics_;
    QPixmap lit_strip_, dark_strip_;
};

// The dB scale between the two meters: ticks towards both, the labels between.
class LevelScale : public QWidget {
    Q_OBJECT
public:
    explicit LevelScale(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {120, 11}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace murrel
