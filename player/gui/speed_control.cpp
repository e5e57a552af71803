#include "player/gui/speed_control.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPainter>
#include <QWheelEvent>

#include "audio/devices/mmdsp_stretch.h"
#include "player/gui/led_text.h"

namespace murrel {

namespace {
constexpr int kPx = 11;
const QColor kAmber(0xf0, 0xb4, 0x28);
}  // namespace

LedButton::LedButton(const QString& text, const QString& accessible_name, QWidget* parent)
    : QAbstractButton(parent) {
    setText(text);
    setAccessibleName(accessible_name);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(kPx + 2);
    f.setBold(true);
    setFont(f);
    setAutoRepeat(true);
    setAutoRepeatDelay(400);
    setAutoRepeatInterval(150);
}

QSize LedButton::sizeHint() const {
    const QFontMetrics m(font());
    return {m.horizontalAdvance("+") + 8, m.height() + 2};
}

void LedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A lit segment that dims while held down, and dark when it cannot act.
    QColor c = !isEnabled() ? kAmber.darker(300) : isDown() ? kAmber.darker(160) : kAmber;
    p.setPen(QPen(c.darker(200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(rect().adjusted(0, 0, -1, -1), 3, 3);
    p.setPen(c);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
}

SpeedControl::SpeedControl(QWidget* parent) : QWidget(parent) {
    setObjectName("speed_control");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    button_slower = new LedButton(QString::fromUtf8("\xe2\x88\x92"), "Slower", this);
    button_slower->setObjectName("button_slower");
    button_faster = new LedButton("+", "Faster", this);
    button_faster->setObjectName("button_faster");
    label_speed = new LedText("100%", kPx, this);
    label_speed->setObjectName("label_speed");
    label_speed->set_colour(kAmber);
    label_speed->set_ghost("888%");
    label_speed->setAccessibleName("Speed");
    label_speed->setMinimumWidth(label_speed->sizeHint().width());
    row->addWidget(button_slower);
    row->addWidget(label_speed);
    row->addWidget(button_faster);
    connect(button_slower, &QAbstractButton::clicked, this, [this] {
        if (OnStep) OnStep(-kSpeedStep);
    });
    connect(button_faster, &QAbstractButton::clicked, this, [this] {
        if (OnStep) OnStep(kSpeedStep);
    });
    setToolTip("Playback speed (the pitch stays as recorded)");
}

void SpeedControl::show_speed(int percent) {
    label_speed->set_text(QString::number(percent) + "%");
    button_slower->setEnabled(percent > kSpeedMin);
    button_faster->setEnabled(percent < kSpeedMax);
}

void SpeedControl::wheelEvent(QWheelEvent* event) {
    // A notch is 120; touchpads send it in pieces.
    wheel_rest_ += event->angleDelta().y();
    while (wheel_rest_ >= 120) {
        wheel_rest_ -= 120;
        if (OnStep) OnStep(kSpeedStep);
    }
    while (wheel_rest_ <= -120) {
        wheel_rest_ += 120;
        if (OnStep) OnStep(-kSpeedStep);
    }
    event->accept();
}

}  // namespace murrel
