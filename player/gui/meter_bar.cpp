#include "player/gui/meter_bar.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace murrel {

MeterBar::MeterBar(const QPixmap& fill, QWidget* parent) : QWidget(parent), fill_(fill) {
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(4);
}

void MeterBar::set_fraction(double fraction) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction == fraction_) return;
    fraction_ = fraction;
    update();
}

void MeterBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x10, 0x14, 0x18));
    const int w = static_cast<int>(width() * fraction_ + 0.5);
    if (w <= 0) return;
    QRect filled(0, 0, w, height());
    if (fill_.isNull())
        p.fillRect(filled, QColor(0x3c, 0xa0, 0xf0));
    else
        p.drawTiledPixmap(filled, fill_);
}

void MeterBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || width() <= 0) return;
    const double at = std::clamp(event->position().x() / width(), 0.0, 1.0);
    if (OnClick) OnClick(at);
}

}  // namespace murrel
