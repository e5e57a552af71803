#include "player/gui/led_text.h"

#include <QFontDatabase>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace murrel {

namespace {
QFont led_font(int pixel_size) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(pixel_size);
    f.setBold(true);
    return f;
}
}  // namespace

LedText::LedText(const QString& text, int pixel_size, QWidget* parent)
    : QWidget(parent), text_(text), pixel_size_(pixel_size) {
    setFont(led_font(pixel_size));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void LedText::set_text(const QString& text) {
    if (text == text_) return;
    const QString before = readout();
    text_ = text;
    changed(this, before, readout());
    update();
}

void LedText::set_lit(bool lit) {
    if (lit == lit_) return;
    const QString before = readout();
    lit_ = lit;
    changed(this, before, readout());
    update();
}

LedReadout::LedReadout(const QString& name, std::function<QString()> value, QWidget* parent)
    : QWidget(parent), value_(std::move(value)) {
    setAccessibleName(name);
}

void LedReadout::refresh() {
    const QString now = readout();
    changed(this, last_, now);
    last_ = now;
}

void LedText::set_alignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void LedText::set_colour(const QColor& colour) {
    colour_ = colour;
    update();
}

void LedText::set_ghost(const QString& ghost) {
    ghost_ = ghost;
    updateGeometry();
    update();
}

QSize LedText::sizeHint() const {
    QFontMetrics m(font());
    return {std::max(m.horizontalAdvance(text_), m.horizontalAdvance(ghost_)) + 4, m.height()};
}

void LedText::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    if (!ghost_.isEmpty()) {
        p.setPen(colour_.darker(900));
        p.drawText(rect(), static_cast<int>(alignment_), ghost_);
    }
    if (lit_) {
        // A faint halo makes the lit digits read as light rather than ink.
        QColor glow = colour_;
        glow.setAlpha(60);
        p.setPen(glow);
        p.drawText(rect().translated(1, 0), static_cast<int>(alignment_), text_);
        p.setPen(colour_);
    } else {
        p.setPen(colour_.darker(420));
    }
    p.drawText(rect(), static_cast<int>(alignment_), text_);
}

}  // namespace murrel
