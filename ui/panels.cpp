#include "ui/panels.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include "ui/skin.h"

namespace murrel::ui {

SkinPanel::SkinPanel(const QPixmap& image, Fill fill, QWidget* parent)
    : QWidget(parent), image_(image), fill_(fill) {
    setAttribute(Qt::WA_OpaquePaintEvent, !image.hasAlphaChannel());
}

void SkinPanel::set_image(const QPixmap& image, Fill fill) {
    image_ = image;
    fill_ = fill;
    update();
}

void SkinPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (image_.isNull()) {
        p.fillRect(rect(), colours::body);
        return;
    }
    if (fill_ == Fill::Stretch) p.drawPixmap(rect(), image_);
    else p.drawTiledPixmap(rect(), image_);
}

FilledPanel::FilledPanel(const QColor& colour, QWidget* parent) : QWidget(parent), colour_(colour) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FilledPanel::set_colour(const QColor& colour) {
    colour_ = colour;
    update();
}

void FilledPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colour_);
    if (border_.isValid()) {
        p.setPen(border_);
        p.drawLine(0, 0, width() - 1, 0);
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
    }
}

CaptionPanel::CaptionPanel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    setFixedHeight(24);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

void CaptionPanel::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, QColor(0x2b, 0x31, 0x39));
        g.setColorAt(1, QColor(0x16, 0x1a, 0x1f));
        p.fillRect(rect(), g);
        p.setPen(colours::accent_deep);
        p.drawLine(0, height() - 1, width(), height() - 1);
    }
    QLabel::paintEvent(event);
}

void CaptionPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
    emit pressed();
    dragger_.begin(window(), event->globalPosition().toPoint());
}

void CaptionPanel::mouseMoveEvent(QMouseEvent* event) {
    if (dragger_.manual()) dragger_.move(event->globalPosition().toPoint());
    else QLabel::mouseMoveEvent(event);
}

void CaptionPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragger_.release()) QLabel::mouseReleaseEvent(event);
}

}  // namespace murrel::ui
