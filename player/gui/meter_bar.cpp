#include "player/gui/meter_bar.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace murrel {

MeterBar::MeterBar(const QPixmap& fill, QWidget* parent) : QWidget(parent), fill_(fill) {
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(3);
}

void MeterBar::set_fraction(double fraction) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction == fraction_) return;
    fraction_ = fraction;
    update();
}

void MeterBar::paintEvent(QPaintEvent*) {
    // The unfilled part stays clear: the groove under the bar shows there.
    const int w = filled_width();
    if (w <= 0) return;
    QPainter p(this);
    const QRect filled(0, 0, w, height());
    if (fill_.isNull()) {
        p.fillRect(filled, QColor(0x3c, 0xa0, 0xf0));
        return;
    }
    // The fill image spans the whole bar, so its colour says how far along
    // the bar a pixel is, whatever the bar's width.
    p.setClipRect(filled);
    p.drawPixmap(rect(), fill_);
}

int MeterBar::filled_width() const { return static_cast<int>(width() * fraction_); }

void MeterBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || width() <= 0) return;
    const double at = std::clamp(event->position().x() / width(), 0.0, 1.0);
    if (OnClick) OnClick(at);
}

}  // namespace murrel
