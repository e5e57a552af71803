#pragma once
// A horizontal level meter for one channel of the audio a connector hands
// over: the bar's length is linear in amplitude down to the sensitivity
// (-30 dB), follows each block's peak and falls back at a fixed rate, with a
// peak marker that holds for a while; the last quarter is the yellow/red band. LevelScale draws the dB
// ticks the meters share.
//
// Thread: user-interface thread only (connectors call ShowData there).
#include <QWidget>

#include "audio/mmdsp_connector.h"

namespace murrel {

class LevelMeter : public QWidget, public TMMDisplay {
    Q_OBJECT
public:
    static constexpr double kFloorDb = -30.0;
    static constexpr double kDecayDbPerSecond = 24.0;
    static constexpr int kPeakHoldMs = 1000;

    // `channel` 0 left, 1 right; a mono block feeds both.
    LevelMeter(int channel, QWidget* parent = nullptr);

    void ShowData(const TWaveFormatEx& format, const uint8_t* pcm, size_t bytes) override;
    // Lets `ms` of time pass: the bar falls, the held peak expires.
    void decay(int ms);
    void reset();

    double level_db() const { return level_db_; }
    double peak_db() const { return peak_db_; }
    // The dB value of a sample peak (full scale 0 dB), floored.
    static double to_db(int peak);
    // Where `db` lies along the bar, 0.0-1.0 (linear amplitude).
    static double fraction_of(double db);

    QSize sizeHint() const override { return {200, 6}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int channel_;
    double level_db_ = kFloorDb;
    double peak_db_ = kFloorDb;
    int peak_age_ms_ = 0;
};

class LevelScale : public QWidget {
    Q_OBJECT
public:
    explicit LevelScale(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {200, 9}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace murrel
