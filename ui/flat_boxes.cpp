#include "ui/flat_boxes.h"

#include <QPainter>

#include "ui/skin.h"

namespace murrel::ui {

namespace {
constexpr int kBox = 13;
constexpr int kGap = 6;

QSize box_size_hint(const QAbstractButton& b) {
    const QFontMetrics fm(b.font());
    return {kBox + kGap + fm.horizontalAdvance(b.text()) + 2, std::max(kBox + 4, fm.height() + 4)};
}

void draw_label(QPainter& p, const QAbstractButton& b) {
    p.setPen(b.isEnabled() ? colours::text : QColor(0x5a, 0x60, 0x68));
    p.setFont(b.font());
    p.drawText(b.rect().adjusted(kBox + kGap, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, b.text());
}

QColor rim_of(const QAbstractButton& b) {
    if (!b.isEnabled()) return QColor(0x2a, 0x2f, 0x35);
    return b.underMouse() ? colours::accent : colours::rim;
}
}  // namespace

FlatCheckBox::FlatCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setAttribute(Qt::WA_Hover);
}

QSize FlatCheckBox::sizeHint() const { return box_size_hint(*this); }

bool FlatCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void FlatCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, (height() - kBox) / 2 + 0.5, kBox - 1, kBox - 1);
    p.setPen(rim_of(*this));
    p.setBrush(QColor(0x0b, 0x0d, 0x10));
    p.drawRect(box);
    if (isChecked()) {
        p.setPen(QPen(isEnabled() ? colours::accent : QColor(0x5a, 0x60, 0x68), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(box.left() + 3, box.center().y()), QPointF(box.center().x() - 1, box.bottom() - 3));
        p.drawLine(QPointF(box.center().x() - 1, box.bottom() - 3), QPointF(box.right() - 2.5, box.top() + 3));
    }
    draw_label(p, *this);
}

FlatRadioButton::FlatRadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) {
    setAttribute(Qt::WA_Hover);
}

QSize FlatRadioButton::sizeHint() const { return box_size_hint(*this); }

bool FlatRadioButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void FlatRadioButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, (height() - kBox) / 2 + 0.5, kBox - 1, kBox - 1);
    p.setPen(rim_of(*this));
    p.setBrush(QColor(0x0b, 0x0d, 0x10));
    p.drawEllipse(box);
    if (isChecked()) {
        p.setPen(Qt::NoPen);
        p.setBrush(isEnabled() ? colours::accent : QColor(0x5a, 0x60, 0x68));
        p.drawEllipse(box.center(), 3, 3);
    }
    draw_label(p, *this);
}

}  // namespace murrel::ui
