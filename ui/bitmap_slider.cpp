#include "ui/bitmap_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QWheelEvent>

#include "ui/skin.h"

#include <algorithm>

namespace murrel::ui {

namespace {
// Without images the slider still works and shows a plain groove and knob.
constexpr int kBareThumbWidth = 11;
constexpr int kBareHeight = 16;
// The track's ends keep their shape; only its middle is stretched.
constexpr int kTrackCap = 6;

bool moves_thumb(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

// The pictures' sizes in the slider's coordinates.
int thumb_width(const QPixmap& thumb) { return thumb.isNull() ? kBareThumbWidth : logical_size(thumb).width(); }
int thumb_height(const QPixmap& thumb) { return thumb.isNull() ? kBareHeight : logical_size(thumb).height(); }
int track_height(const QPixmap& track) { return track.isNull() ? kBareHeight : logical_size(track).height(); }

QPixmap lightened(const QPixmap& source) {
    if (source.isNull()) return source;
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    p.fillRect(image.rect(), QColor(255, 255, 255, 56));
    p.end();
    return QPixmap::fromImage(image);
}
}  // namespace

BitmapSlider::BitmapSlider(QWidget* parent) : QAbstractSlider(parent) {
    setOrientation(Qt::Horizontal);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

BitmapSlider::BitmapSlider(const QPixmap& track, const QPixmap& thumb, QWidget* parent) : BitmapSlider(parent) {
    set_images(track, thumb);
}

void BitmapSlider::set_images(const QPixmap& track, const QPixmap& thumb) {
    track_ = track;
    thumb_ = thumb;
    thumb_lit_ = lightened(thumb);
    updateGeometry();
    update();
}

void BitmapSlider::set_margin(int margin) {
    margin_ = std::max(0, margin);
    update();
}

int BitmapSlider::travel() const {
    const int thumb_w = thumb_width(thumb_);
    return std::max(0, width() - 2 * margin_ - thumb_w);
}

int BitmapSlider::centre_of(int value) const {
    const int thumb_w = thumb_width(thumb_);
    return margin_ + thumb_w / 2 + QStyle::sliderPositionFromValue(minimum(), maximum(), value, travel());
}

int BitmapSlider::value_at(int x) const {
    const int thumb_w = thumb_width(thumb_);
    return QStyle::sliderValueFromPosition(minimum(), maximum(), x - margin_ - thumb_w / 2, travel());
}

QRect BitmapSlider::thumb_rect() const {
    const int thumb_w = thumb_width(thumb_);
    const int thumb_h = thumb_height(thumb_);
    const int content_h = std::max(thumb_h, track_height(track_));
    const int top = (height() - content_h) / 2;
    const int left = margin_ + QStyle::sliderPositionFromValue(minimum(), maximum(), sliderPosition(), travel());
    return {left, top, thumb_w, thumb_h};
}

QSize BitmapSlider::sizeHint() const {
    const int h = std::max(thumb_height(thumb_), track_height(track_));
    return {120, h};
}

QSize BitmapSlider::minimumSizeHint() const {
    const int thumb_w = thumb_width(thumb_);
    return {thumb_w + 2 * margin_ + 2, sizeHint().height()};
}

void BitmapSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!isEnabled()) p.setOpacity(0.45);
    const QRect thumb = thumb_rect();
    if (track_.isNull()) {
        const int y = thumb.center().y();
        p.fillRect(QRect(0, y - 2, width(), 4), QColor(0x0b, 0x0d, 0x10));
    } else {
        const QSize track = logical_size(track_);
        const int cap = std::min({kTrackCap, track.width() / 2, width() / 2});
        const int h = track.height();
        // The track image carries the thumb's lane above its groove, so both
        // start at the same row.
        const int top = thumb.top();
        // Sources count the image's device pixels.
        const qreal s = track_.devicePixelRatio();
        auto source = [s](int x, int w, int h) { return QRectF(x * s, 0, w * s, h * s); };
        p.drawPixmap(QRectF(0, top, cap, h), track_, source(0, cap, h));
        p.drawPixmap(QRectF(cap, top, width() - 2 * cap, h), track_, source(cap, track.width() - 2 * cap, h));
        p.drawPixmap(QRectF(width() - cap, top, cap, h), track_, source(track.width() - cap, cap, h));
    }
    const bool lit = hovered_ || hold_ != Hold::None || hasFocus();
    if (thumb_.isNull()) {
        p.setPen(QColor(0x05, 0x06, 0x08));
        p.setBrush(lit ? QColor(0xe8, 0xee, 0xf2) : QColor(0xb4, 0xbe, 0xc8));
        p.drawRoundedRect(thumb.adjusted(0, 0, -1, -1), 2, 2);
    } else {
        p.drawPixmap(thumb.topLeft(), lit ? thumb_lit_ : thumb_);
    }
}

void BitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    // A hold whose release never came (the slider was hidden or a popup took
    // the mouse) ends before a new one starts.
    if (hold_ != Hold::None) end_hold();
    const int x = qRound(event->position().x());
    const QRect thumb = thumb_rect();
    const bool on_thumb = x >= thumb.left() && x <= thumb.right();
    grab_offset_ = on_thumb ? x - (thumb.left() + thumb.width() / 2) : 0;
    hold_ = Hold::Mouse;
    setSliderDown(true);
    if (!on_thumb) setSliderPosition(value_at(x));
    update();
}

void BitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (hold_ != Hold::Mouse) {
        event->ignore();
        return;
    }
    event->accept();
    setSliderPosition(value_at(qRound(event->position().x()) - grab_offset_));
}

void BitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (hold_ != Hold::Mouse || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    setSliderPosition(value_at(qRound(event->position().x()) - grab_offset_));
    end_hold();
}

void BitmapSlider::keyPressEvent(QKeyEvent* event) {
    if (!moves_thumb(event->key()) || hold_ == Hold::Mouse) {
        QAbstractSlider::keyPressEvent(event);
        return;
    }
    // A run of keys is one move: pressed with the first, released with the
    // last key's release, so that a seek happens once at the end.
    if (hold_ == Hold::None) {
        hold_ = Hold::Keys;
        setSliderDown(true);
    }
    QAbstractSlider::keyPressEvent(event);
    update();
}

void BitmapSlider::keyReleaseEvent(QKeyEvent* event) {
    if (hold_ == Hold::Keys && moves_thumb(event->key()) && !event->isAutoRepeat()) {
        event->accept();
        end_hold();
        return;
    }
    QAbstractSlider::keyReleaseEvent(event);
}

void BitmapSlider::wheelEvent(QWheelEvent* event) {
    if (hold_ != Hold::None) {
        event->accept();
        return;
    }
    // Let the base class work out the step without telling anyone, then
    // replay it as one press-move-release only when the thumb really moves:
    // a notch against an end must not seek to where the thumb already is.
    const int before = value();
    {
        const QSignalBlocker quiet(this);
        QAbstractSlider::wheelEvent(event);
    }
    const int after = value();
    if (after == before) return;
    {
        const QSignalBlocker quiet(this);
        setValue(before);
    }
    setSliderDown(true);
    setSliderPosition(after);
    setSliderDown(false);
    update();
}

void BitmapSlider::focusOutEvent(QFocusEvent* event) {
    if (hold_ == Hold::Keys) end_hold();
    QAbstractSlider::focusOutEvent(event);
    update();
}

void BitmapSlider::hideEvent(QHideEvent* event) {
    if (hold_ != Hold::None) end_hold();
    QAbstractSlider::hideEvent(event);
}

void BitmapSlider::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractSlider::enterEvent(event);
}

void BitmapSlider::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractSlider::leaveEvent(event);
}

void BitmapSlider::end_hold() {
    hold_ = Hold::None;
    setSliderDown(false);
    update();
}

}  // namespace murrel::ui
