#include "ui/bitmap_button.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>

#include "ui/skin.h"

namespace murrel::ui {

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent) {
    // Reached by Tab, never taken by a click: the mouse leaves the focus in
    // the list, where the keys of the list are expected.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

BitmapButton::BitmapButton(const QPixmap& strip, QWidget* parent) : BitmapButton(parent) {
    set_strip(strip);
}

void BitmapButton::set_strip(const QPixmap& strip) {
    strip_ = strip;
    updateGeometry();
    update();
}

void BitmapButton::set_highlight(bool on) {
    if (highlighted_ == on) return;
    highlighted_ = on;
    update();
}

int BitmapButton::shown_state() const {
    if (!isEnabled()) return 3;
    if (isDown()) return 2;
    return highlighted_ || hasFocus() ? 1 : 0;
}

QSize BitmapButton::sizeHint() const {
    if (strip_.isNull()) return {24, 24};
    const QSize whole = logical_size(strip_);
    return {whole.width() / 4, whole.height()};
}

void BitmapButton::paintEvent(QPaintEvent*) {
    if (strip_.isNull()) return;
    QPainter p(this);
    // The source counts the strip's device pixels.
    const int w = strip_.width() / 4;
    const QRect source(shown_state() * w, 0, w, strip_.height());
    p.drawPixmap(rect(), strip_, source);
    if (hasFocus()) {
        p.setPen(QPen(QColor(0x3f, 0xc8, 0xc4), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void BitmapButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (isEnabled()) click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void BitmapButton::focusInEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusInEvent(event);
}

void BitmapButton::focusOutEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusOutEvent(event);
}

void BitmapButton::enterEvent(QEnterEvent* event) {
    set_highlight(true);
    QAbstractButton::enterEvent(event);
}

void BitmapButton::leaveEvent(QEvent* event) {
    set_highlight(false);
    QAbstractButton::leaveEvent(event);
}

void BitmapButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) highlighted_ = false;
    QAbstractButton::changeEvent(event);
}

}  // namespace murrel::ui
