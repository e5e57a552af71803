#include "player/gui/level_meter.h"

#include <QtMath>

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace murrel {

// --- ballistics ------------------------------------------------------------------

double LevelBallistics::amplitude_of(double db) { return std::pow(10.0, db / 20.0); }

double LevelBallistics::db_of(double amplitude) {
    if (amplitude <= 0) return kFloorDb;
    return std::max(kFloorDb, 20.0 * std::log10(amplitude));
}

double LevelBallistics::fraction(double amplitude) {
    const double floor = amplitude_of(kFloorDb);
    return std::clamp((amplitude - floor) / (1.0 - floor), 0.0, 1.0);
}

void LevelBallistics::feed(double amplitude) {
    amplitude = std::clamp(amplitude, 0.0, 1.0);
    level_ = std::max(level_, amplitude);
    if (amplitude >= held_) {
        held_ = amplitude;
        held_age_ms_ = 0;
    }
    max_ = std::max(max_, amplitude);
}

void LevelBallistics::advance(int ms) {
    if (ms <= 0) return;
    constexpr double kKeep = 1.0 - 1.0 / kDecaySteps;
    level_ *= std::pow(kKeep, static_cast<double>(ms) / kStepMs);
    const int age_before = held_age_ms_;
    held_age_ms_ = static_cast<int>(std::min<long long>(static_cast<long long>(held_age_ms_) + ms, 1 << 30));
    if (held_age_ms_ > kPeakHoldMs) {
        // Only the time past the hold makes the held peak fall.
        const int falling = held_age_ms_ - std::max(age_before, kPeakHoldMs);
        held_ *= std::pow(kKeep, 2.0 * falling / kStepMs);
    }
    held_ = std::max(held_, level_);
}

void LevelBallistics::reset() {
    level_ = held_ = max_ = 0;
    held_age_ms_ = 0;
}

void LevelBallistics::reset_max() { max_ = 0; }

// --- the meter -------------------------------------------------------------------

LevelMeter::LevelMeter(int channel, QWidget* parent) : QWidget(parent), channel_(channel) {
    setMinimumHeight(4);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LevelMeter::ShowData(const TWaveFormatEx& format, const uint8_t* pcm, size_t bytes) {
    // Connectors hand over 16-bit PCM (float is converted on the way); other
    // widths are not metered rather than misread.
    if (format.wBitsPerSample != 16 || format.nChannels == 0) return;
    const int channels = format.nChannels;
    const int ch = std::min(channel_, channels - 1);
    const size_t frames = bytes / (2u * static_cast<size_t>(channels));
    int peak = 0;
    for (size_t i = 0; i < frames; ++i) {
        int16_t s;
        std::memcpy(&s, pcm + (i * channels + ch) * 2, 2);
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    ballistics_.feed(peak / 32768.0);
    update();
    emit fed();
}

QString LevelMeter::readout() const {
    const double db = level_db();
    if (db <= kFloorDb) return "silence";
    return QString::number(static_cast<int>(std::lround(db))) + " dB";
}

bool LevelMeter::at_rest() const {
    return LevelBallistics::fraction(ballistics_.level()) == 0 &&
           LevelBallistics::fraction(ballistics_.held_peak()) == 0;
}

void LevelMeter::advance(int ms) {
    const LevelBallistics before = ballistics_;
    ballistics_.advance(ms);
    if (ballistics_.level() != before.level() || ballistics_.held_peak() != before.held_peak()) update();
}

void LevelMeter::reset() {
    ballistics_.reset();
    update();
}

void LevelMeter::reset_max() {
    ballistics_.reset_max();
    update();
}

int LevelMeter::band_of(double fraction) {
    if (fraction >= kBand3From) return 2;
    if (fraction >= kBand2From) return 1;
    return 0;
}

QColor LevelMeter::lit_colour(int band) {
    switch (band) {
    case 2: return {0xf6, 0xd4, 0x2a};
    case 1: return {0xa6, 0xe0, 0x32};
    default: return {0x2e, 0xd0, 0x5a};
    }
}

// Unlit spots keep a trace of their colour, as a dark LED does.
QColor LevelMeter::dark_colour(int band) {
    const QColor c = lit_colour(band);
    return QColor(c.red() / 6 + 6, c.green() / 6 + 7, c.blue() / 6 + 8);
}

QColor LevelMeter::max_colour(bool clipped) { return clipped ? QColor(0xf2, 0x3c, 0x2c) : QColor(0xe8, 0xee, 0xf2); }

// Both looks of the whole meter, lit and dark, are drawn once per size; a
// repaint copies the lit part of one and the rest of the other.
// They are drawn in device pixels, so that at two device pixels per pixel a
// spot's edge stays one device pixel sharp instead of a stretched copy.
void LevelMeter::draw_strips() {
    const int w = width(), h = height();
    const qreal ratio = devicePixelRatioF();
    const QSize device(qCeil(w * ratio), qCeil(h * ratio));
    QImage lit(device, QImage::Format_RGB32), dark(device, QImage::Format_RGB32);
    lit.setDevicePixelRatio(ratio);
    dark.setDevicePixelRatio(ratio);
    lit.fill(kBackground);
    dark.fill(kBackground);
    QPainter pl(&lit), pd(&dark);
    for (int x = 0; x < w; x += kSpotWidth + kSpotGap) {
        const QRect spot(x, 0, std::min(kSpotWidth, w - x), h);
        const int band = band_of(static_cast<double>(x) / w);
        // Lit spots are brighter at the top, like a lens over an LED.
        const QColor c = lit_colour(band);
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, c.lighter(115));
        g.setColorAt(1, c.darker(125));
        pl.fillRect(spot, g);
        pd.fillRect(spot, dark_colour(band));
    }
    pl.end();
    pd.end();
    lit_strip_ = QPixmap::fromImage(lit);
    dark_strip_ = QPixmap::fromImage(dark);
}

void LevelMeter::paintEvent(QPaintEvent*) {
    const int w = width(), h = height();
    if (w <= 0 || h <= 0) return;
    if (lit_strip_.deviceIndependentSize() != QSizeF(size()) || lit_strip_.devicePixelRatio() != devicePixelRatioF())
        draw_strips();
    QPainter p(this);
    constexpr int kPitch = kSpotWidth + kSpotGap;
    // The spot holding the last lit pixel of an amplitude, or -1 at the floor.
    auto spot_of = [&](double amplitude) {
        const double at = LevelBallistics::fraction(amplitude) * w;
        return at <= 0 ? -1 : std::min((w - 1) / kPitch, static_cast<int>(std::ceil(at) - 1) / kPitch);
    };
    const int lit_to = std::min(w, (spot_of(ballistics_.level()) + 1) * kPitch);
    // Part of a strip: sources count its device pixels.
    auto copy = [&p, ratio = lit_strip_.devicePixelRatio()](const QPixmap& strip, int x, int width, int height) {
        p.drawPixmap(QRectF(x, 0, width, height), strip, QRectF(x * ratio, 0, width * ratio, height * ratio));
    };
    copy(lit_strip_, 0, lit_to, h);
    copy(dark_strip_, lit_to, w - lit_to, h);
    if (const int held = spot_of(ballistics_.held_peak()); held >= 0) copy(lit_strip_, held * kPitch, kSpotWidth, h);
    if (const int top = spot_of(ballistics_.max_peak()); top >= 0)
        p.fillRect(QRect(top * kPitch, 0, std::min(kSpotWidth, w - top * kPitch), h),
                   max_colour(ballistics_.clipped()));
}

void LevelMeter::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) reset_max();
    QWidget::mousePressEvent(event);
}

// --- the scale -------------------------------------------------------------------

LevelScale::LevelScale(QWidget* parent) : QWidget(parent) {
    QFont f = font();
    f.setPixelSize(7);
    setFont(f);
}

void LevelScale::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    const int w = width(), h = height();
    auto x_of = [w](double db) {
        return std::min(w - 1, static_cast<int>(LevelBallistics::fraction(LevelBallistics::amplitude_of(db)) * w));
    };
    auto tick_colour = [w](int x) {
        return x >= LevelMeter::kBand3From * w ? QColor(0x8a, 0x7a, 0x30) : QColor(0x4e, 0x5a, 0x64);
    };
    // Minor ticks point at both meters, one pixel long.
    for (double db : {-30.0, -15.0, -12.0, -9.0, -5.0, -4.0, -2.0, -1.0}) {
        const int x = x_of(db);
        p.setPen(tick_colour(x));
        p.drawPoint(x, 0);
        p.drawPoint(x, h - 1);
    }
    for (int db : {-20, -10, -6, -3, 0}) {
        const int x = x_of(db);
        p.setPen(tick_colour(x));
        p.drawLine(x, 0, x, 1);
        p.drawLine(x, h - 2, x, h - 1);
        const QString label = QString::number(-db);
        const int tw = p.fontMetrics().horizontalAdvance(label);
        p.setPen(x >= LevelMeter::kBand3From * w ? QColor(0xc8, 0xb4, 0x50) : QColor(0x8c, 0x98, 0xa2));
        const QRect box(std::clamp(x - tw / 2, 0, w - tw), 2, tw, h - 4);
        p.drawText(box, Qt::AlignCenter, label);
    }
}

}  // namespace murrel
