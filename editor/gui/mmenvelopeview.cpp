#include "editor/gui/mmenvelopeview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace murrel {

TMMEnvelopeView::TMMEnvelopeView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    // Room for the handles of points at the ends and at the limits of the gain.
    model_.SetBorder(3);
    model_.SetSize(width(), height());
}

void TMMEnvelopeView::SetEnvelope(TMMEnvelope* envelope) {
    if (envelope == envelope_.Get()) return;
    grabbed_ = -1;
    model_.SetSize(width(), height());
    envelope_.Set(
        envelope,
        [this] {
            FollowEnvelope();
            update();
        },
        [this] {
            grabbed_ = -1;
            update();
        });
    if (envelope_) {
        FollowEnvelope();
        model_.SetDisplayRange(model_.RangeMinX(), model_.RangeMaxX());
    }
    update();
}

void TMMEnvelopeView::FollowEnvelope() {
    if (!envelope_) return;
    // Only a changed range resets what is shown; edits of points keep it.
    if (model_.RangeMinX() != envelope_->RangeMinX() || model_.RangeMaxX() != envelope_->RangeMaxX())
        model_.SetRangeX(envelope_->RangeMinX(), envelope_->RangeMaxX());
    model_.SetRangeY(envelope_->RangeMinY(), envelope_->RangeMaxY());
    model_.SetDisplayRangeY(envelope_->RangeMinY(), envelope_->RangeMaxY());
    model_.BaseY = envelope_->BaseY();
}

void TMMEnvelopeView::SetDisplayRange(int64_t min, int64_t max) {
    model_.SetSize(width(), height());
    model_.SetDisplayRange(min, max);
    update();
}

void TMMEnvelopeView::resizeEvent(QResizeEvent*) { model_.SetSize(width(), height()); }

int64_t TMMEnvelopeView::PointAt(int x, int y) const {
    if (!envelope_) return -1;
    int64_t best = -1, best_distance = 2 * kGrab + 1;
    const auto& points = envelope_->Points();
    for (size_t i = 0; i < points.size(); ++i) {
        const int64_t dx = std::abs(model_.ValueToPixel(points[i].x) - x);
        const int64_t dy = std::abs(model_.ValueToPixelY(points[i].y) - y);
        if (dx <= kGrab && dy <= kGrab && dx + dy < best_distance) {
            best = int64_t(i);
            best_distance = dx + dy;
        }
    }
    return best;
}

void TMMEnvelopeView::paintEvent(QPaintEvent*) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    QPainter p(this);
    p.fillRect(rect(), Background);
    p.setPen(MidLineColor);
    const int base = int(model_.ValueToPixelY(model_.BaseY));
    p.drawLine(0, base, width() - 1, base);
    // What the line is, for a view that looks like one more wave otherwise.
    if (height() >= 14) {
        QFont small = font();
        small.setPixelSize(10);
        p.setFont(small);
        p.drawText(QRect(6, 1, 120, 12), Qt::AlignLeft | Qt::AlignTop, "Gain");
    }
    if (envelope_ && envelope_->Count() > 0) {
        const auto& points = envelope_->Points();
        QPainterPath line;
        for (size_t i = 0; i < points.size(); ++i) {
            const QPointF at(double(model_.ValueToPixel(points[i].x)) + 0.5,
                             double(model_.ValueToPixelY(points[i].y)) + 0.5);
            if (i == 0) line.moveTo(at);
            else line.lineTo(at);
        }
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(LineColor, 1.5));
        p.drawPath(line);
        p.setRenderHint(QPainter::Antialiasing, false);
        for (size_t i = 0; i < points.size(); ++i) {
            const int x = int(model_.ValueToPixel(points[i].x)), y = int(model_.ValueToPixelY(points[i].y));
            if (x < -kGrab || x > width() + kGrab) continue;
            const QRect handle(x - 2, y - 2, 5, 5);
            p.setPen(PointColor);
            if (points[i].selected || int64_t(i) == grabbed_) p.fillRect(handle, PointColor);
            else p.drawRect(handle.adjusted(0, 0, -1, -1));
        }
    }
    if (model_.Locator() >= 0) {
        const int x = int(model_.ValueToPixel(model_.Locator()));
        p.setPen(LocatorColor);
        p.drawLine(x, 0, x, height() - 1);
    }
}

void TMMEnvelopeView::MoveGrabbed(int x, int y) {
    std::vector<TMMEnvelopePoint> points = envelope_->Points();
    if (grabbed_ < 0 || grabbed_ >= int64_t(points.size())) return;
    TMMEnvelopePoint& pt = points[size_t(grabbed_)];
    pt.y = int32_t(std::clamp<int64_t>(model_.PixelToValueY(y), envelope_->RangeMinY(), envelope_->RangeMaxY()));
    // The end points stay at the ends of the range; inner ones keep their order.
    if (grabbed_ > 0 && grabbed_ + 1 < int64_t(points.size())) {
        const int64_t lo = points[size_t(grabbed_ - 1)].x + 1, hi = points[size_t(grabbed_ + 1)].x - 1;
        if (lo <= hi) pt.x = std::clamp(model_.Snap(model_.PixelToValue(x)), lo, hi);
    }
    if (points != envelope_->Points()) {
        changed_ = true;
        envelope_->SetPoints(std::move(points));
    }
}

bool TMMEnvelopeView::CanAdd(const TMMEnvelope& envelope, int64_t x) {
    const auto& points = envelope.Points();
    if (points.size() < 2) return true;
    return x > points.front().x && x < points.back().x &&
           std::none_of(points.begin(), points.end(), [x](const TMMEnvelopePoint& p) { return p.x == x; });
}

void TMMEnvelopeView::mousePressEvent(QMouseEvent* e) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    if (!envelope_ || e->button() != Qt::LeftButton) return;
    const int x = int(e->position().x()), y = int(e->position().y());
    const int64_t at = PointAt(x, y);
    const int64_t frame = model_.Snap(model_.PixelToValue(x));
    const bool adds = at < 0 && CanAdd(*envelope_.Get(), frame);
    if (at < 0 && !adds) return;
    if (OnEditBegin) OnEditBegin(*this);
    changed_ = adds;
    grabbed_ = at;
    if (adds) {
        const int32_t gain = int32_t(
            std::clamp<int64_t>(model_.PixelToValueY(y), envelope_->RangeMinY(), envelope_->RangeMaxY()));
        grabbed_ = envelope_->AddPoint(frame, gain);
    }
    update();
}

void TMMEnvelopeView::mouseMoveEvent(QMouseEvent* e) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    const int x = int(e->position().x()), y = int(e->position().y());
    if (envelope_ && grabbed_ >= 0) MoveGrabbed(x, y);
    else setCursor(PointAt(x, y) >= 0 ? Qt::SizeAllCursor : Qt::CrossCursor);
}

void TMMEnvelopeView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || grabbed_ < 0) return;
    grabbed_ = -1;
    if (OnEditEnd) OnEditEnd(*this, changed_);
    changed_ = false;
    update();
}

}  // namespace murrel
