#include "player/gui/level_meter.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace murrel {

double LevelMeter::fraction_of(double db) {
    const double floor = std::pow(10.0, kFloorDb / 20.0);
    return std::clamp((std::pow(10.0, db / 20.0) - floor) / (1.0 - floor), 0.0, 1.0);
}

LevelMeter::LevelMeter(int channel, QWidget* parent) : QWidget(parent), channel_(channel) {
    setMinimumHeight(4);
}

double LevelMeter::to_db(int peak) {
    if (peak <= 0) return kFloorDb;
    return std::max(kFloorDb, 20.0 * std::log10(peak / 32768.0));
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
    const double db = to_db(peak);
    if (db >= level_db_) level_db_ = db;
    if (db >= peak_db_) {
        peak_db_ = db;
        peak_age_ms_ = 0;
    }
    update();
}

void LevelMeter::decay(int ms) {
    const double before = level_db_, peak_before = peak_db_;
    level_db_ = std::max(kFloorDb, level_db_ - kDecayDbPerSecond * ms / 1000.0);
    peak_age_ms_ += ms;
    if (peak_age_ms_ >= kPeakHoldMs) peak_db_ = std::max(level_db_, peak_db_ - kDecayDbPerSecond * ms / 1000.0);
    if (level_db_ != before || peak_db_ != peak_before) update();
}

void LevelMeter::reset() {
    level_db_ = peak_db_ = kFloorDb;
    peak_age_ms_ = 0;
    update();
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, QColor(0x0a, 0x0d, 0x10));
    // Green to yellow to red over the scale, cut into segments like an LED bar.
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0.0, QColor(0x1e, 0xc8, 0x50));
    g.setColorAt(0.7499, QColor(0x6e, 0xdc, 0x3c));
    g.setColorAt(0.75, QColor(0xf0, 0xd2, 0x28));
    g.setColorAt(0.92, QColor(0xf0, 0xa0, 0x28));
    g.setColorAt(1.0, QColor(0xf0, 0x3c, 0x28));
    const int lit = static_cast<int>(r.width() * fraction_of(level_db_) + 0.5);
    constexpr int segment = 3;
    for (int x = 0; x < r.width(); x += segment) {
        const QRect seg(x, 0, segment - 1, r.height());
        if (x < lit)
            p.fillRect(seg, g);
        else
            p.fillRect(seg, QColor(0x16, 0x1c, 0x20));
    }
    if (peak_db_ > kFloorDb) {
        const int x = std::min(r.width() - 2, static_cast<int>(r.width() * fraction_of(peak_db_)));
        p.fillRect(QRect(x, 0, 2, r.height()), QColor(0xf0, 0xf0, 0xe0));
    }
}

LevelScale::LevelScale(QWidget* parent) : QWidget(parent) {
    QFont f = font();
    f.setPixelSize(7);
    setFont(f);
}

void LevelScale::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QColor(0x78, 0x8c, 0x96));
    p.setFont(font());
    const int w = width();
    for (int db : {-20, -10, -6, -3, 0}) {
        const int x = static_cast<int>(w * LevelMeter::fraction_of(db));
        p.drawLine(x == w ? w - 1 : x, 0, x == w ? w - 1 : x, 2);
        const QString label = QString::number(-db);
        const int tw = p.fontMetrics().horizontalAdvance(label);
        p.drawText(std::clamp(x - tw / 2, 0, w - tw), height() - 1, label);
    }
}

}  // namespace murrel
