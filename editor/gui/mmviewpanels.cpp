#include "editor/gui/mmviewpanels.h"

#include "editor/paint/wavepaint.h"

#include <QMouseEvent>
#include <QPainter>

namespace murrel {

// ---------------------------------------------------------------------------
// Time ruler

TMMTimePanel::TMMTimePanel(QWidget* parent) : QWidget(parent) {
    model_.LabelWidth = [this](const std::string& s) { return fontMetrics().horizontalAdvance(QString::fromStdString(s)); };
    setMinimumHeight(fontMetrics().height() + 8);
}

void TMMTimePanel::resizeEvent(QResizeEvent*) { model_.SetSize(width(), height()); }

void TMMTimePanel::paintEvent(QPaintEvent*) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    QPainter p(this);
    p.fillRect(rect(), Background);
    p.setPen(Foreground);
    const int64_t interval = model_.Interval();
    const uint32_t rate = model_.SampleRate ? model_.SampleRate : 1;
    const int64_t first_ms = model_.DispMinX() * 1000 / rate / interval * interval;
    const int steps = std::max(1, model_.GridStepsX);
    for (int64_t ms = first_ms; ms * int64_t(rate) / 1000 <= model_.DispMaxX(); ms += interval) {
        for (int s = 0; s < steps; ++s) {
            const int64_t at = (ms * steps + s * interval) * int64_t(rate) / (1000 * steps);
            if (at < model_.DispMinX() || at > model_.DispMaxX()) continue;
            const int x = int(model_.ValueToPixel(at));
            p.drawLine(x, height() - (s == 0 ? 7 : 3), x, height() - 1);
        }
        const int64_t at = ms * int64_t(rate) / 1000;
        if (at < model_.DispMinX()) continue;
        const int x = int(model_.ValueToPixel(at));
        const QString label = QString::fromStdString(TimeLabel(ms, model_.ShowMsec));
        // A label that would be cut off at the right end is left out.
        if (x + 2 + fontMetrics().horizontalAdvance(label) > width()) continue;
        p.drawText(x + 2, fontMetrics().ascent() + 1, label);
    }
    if (model_.HelpLocator() >= 0)
        PaintHelpLocator(p, int(model_.ValueToPixel(model_.HelpLocator())), 0, height() - 1, HelpLocatorColor);
    if (model_.Locator() >= 0) {
        const int x = int(model_.ValueToPixel(model_.Locator()));
        p.setPen(LocatorColor);
        p.drawLine(x, height() - 8, x, height() - 1);
    }
    if (model_.Banding()) {
        QColor band(255, 255, 0, 90);
        const int x0 = int(model_.ValueToPixel(model_.BandFrom())), x1 = int(model_.ValueToPixel(model_.BandTo()));
        p.fillRect(QRect(QPoint(std::min(x0, x1), 0), QPoint(std::max(x0, x1), height() - 1)), band);
    }
}

void TMMTimePanel::mousePressEvent(QMouseEvent* e) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    if (e->button() == Qt::RightButton) model_.RightDown(int(e->position().x()));
    else if (e->button() == Qt::LeftButton) model_.SetLocator(model_.Snap(model_.PixelToValue(int(e->position().x()))));
    update();
}

void TMMTimePanel::mouseMoveEvent(QMouseEvent* e) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    if (e->buttons() & Qt::LeftButton) model_.SetLocator(model_.Snap(model_.PixelToValue(int(e->position().x()))));
    else model_.RightMove(int(e->position().x()));
    update();
}

void TMMTimePanel::mouseReleaseEvent(QMouseEvent* e) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    if (e->button() == Qt::RightButton) model_.RightUp(int(e->position().x()));
    update();
}

// ---------------------------------------------------------------------------
// Marker strip

TMMMarkerPanel::TMMMarkerPanel(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(std::max(14, fontMetrics().height() + 4));
    setMouseTracking(true);
}

void TMMMarkerPanel::resizeEvent(QResizeEvent*) { model_.SetSize(width(), height()); }

void TMMMarkerPanel::paintEvent(QPaintEvent*) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillRect(rect(), Background);
    const int h = height();
    if (model_.DrawGridX)
        PaintGridX(p, rect(), model_.RangeMinX(), model_.GridWidthX, model_.DispMinX(), model_.DispMaxX(),
                   [this](int64_t v) { return model_.ValueToPixel(v); }, GridColor);
    auto flag = [&](int64_t v, const QColor& c, bool left) {
        const int x = int(model_.ValueToPixel(v));
        p.setPen(c);
        p.drawLine(x, 0, x, h - 1);
        const QPolygon tri = left ? QPolygon({QPoint(x, 0), QPoint(x - 6, 0), QPoint(x, 6)})
                                  : QPolygon({QPoint(x, 0), QPoint(x + 6, 0), QPoint(x, 6)});
        p.setBrush(c);
        p.drawPolygon(tri);
    };
    if (model_.MarkerA() >= 0) flag(model_.MarkerA(), RangeColor, false);
    if (model_.MarkerB() >= 0) flag(model_.MarkerB(), RangeColor, true);
    if (model_.Markers)
        for (const TMMMarker& m : model_.Markers->Items()) {
            if (!m.Visible || m.Offset < model_.DispMinX() || m.Offset > model_.DispMaxX()) continue;
            const int x = int(model_.ValueToPixel(m.Offset));
            const QColor c = m.Color == TMMMarkerList::kOrphanColor ? QColor(0, 255, 255) : MarkerColor;
            p.setPen(c);
            p.setBrush(c);
            p.drawPolygon(QPolygon({QPoint(x - 4, h - 1), QPoint(x + 4, h - 1), QPoint(x, h - 7)}));
            const QString name = QString::fromStdString(m.Name);
            // Near the right end the name goes to the marker's left.
            const int text_w = fontMetrics().horizontalAdvance(name);
            p.drawText(x + 5 + text_w > width() ? x - 5 - text_w : x + 5, h - 2, name);
        }
    if (model_.HelpLocator() >= 0)
        PaintHelpLocator(p, int(model_.ValueToPixel(model_.HelpLocator())), 0, h - 1, HelpLocatorColor);
    if (model_.Locator() >= 0) {
        const int x = int(model_.ValueToPixel(model_.Locator()));
        p.setPen(LocatorColor);
        p.drawLine(x, 0, x, h - 1);
    }
}

int64_t TMMMarkerPanel::MarkerAt(int x) const {
    if (!model_.Markers) return -1;
    int64_t best = -1, best_distance = kGrab + 1;
    const auto& items = model_.Markers->Items();
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].Visible) continue;
        const int64_t d = std::abs(model_.ValueToPixel(items[i].Offset) - x);
        if (d < best_distance) {
            best = int64_t(i);
            best_distance = d;
        }
    }
    return best;
}

int TMMMarkerPanel::RangeHandleAt(int x) const {
    // The flags are drawn kFlag pixels wide from the line; a press a little
    // outside the flag still counts, as the line itself is one pixel.
    constexpr int kFlag = 6, kSlack = 2;
    int best = 0;
    int64_t best_distance = kFlag + kSlack + 1;
    auto consider = [&](int64_t marker, int kind, int towards) {
        if (marker < 0) return;
        const int64_t line = model_.ValueToPixel(marker);
        const int64_t d = (x - line) * towards;  // pixels into the flag's side
        if (d < -kSlack || d > kFlag) return;
        if (std::abs(x - line) < best_distance) {
            best = kind;
            best_distance = std::abs(x - line);
        }
    };
    consider(model_.MarkerA(), 2, +1);
    consider(model_.MarkerB(), 3, -1);
    return best;
}

void TMMMarkerPanel::mousePressEvent(QMouseEvent* e) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    if (e->button() != Qt::LeftButton) return;
    const int x = int(e->position().x());
    if (const int64_t i = MarkerAt(x); i >= 0) {
        grab_ = Grab::Marker;
        grabbed_id_ = model_.Markers->Items()[size_t(i)].ID;
    } else {
        grab_ = Grab::Locator;
        model_.SetLocator(model_.Snap(model_.PixelToValue(x)));
    }
    if (model_.OnTrackBegin) model_.OnTrackBegin(model_);
    update();
}

void TMMMarkerPanel::mouseMoveEvent(QMouseEvent* e) {
    model_.SetSize(width(), height());  // a hidden panel gets no resize events
    const int x = int(e->position().x());
    const int64_t v = model_.Snap(std::clamp(model_.PixelToValue(x), model_.RangeMinX(), model_.RangeMaxX()));
    if (grab_ == Grab::Marker) {
        // The list re-sorts on every move; the marker is found again by its ID.
        const auto& items = model_.Markers->Items();
        auto it = std::find_if(items.begin(), items.end(), [&](const TMMMarker& m) { return m.ID == grabbed_id_; });
        if (it == items.end()) {
            grab_ = Grab::None;
            return;
        }
        if (it->Offset != v) {
            model_.Markers->SetOffset(it - items.begin(), v);
            it = std::find_if(items.begin(), items.end(), [&](const TMMMarker& m) { return m.ID == grabbed_id_; });
            if (OnMarkerMoved) OnMarkerMoved(*this, it - items.begin());
        }
    } else if (grab_ == Grab::Locator) {
        model_.SetLocator(v);
    } else {
        setCursor(MarkerAt(x) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    update();
}

void TMMMarkerPanel::mouseReleaseEvent(QMouseEvent* e) {
    if (grab_ == Grab::None || e->button() != Qt::LeftButton) return;
    grab_ = Grab::None;
    if (model_.OnTrackEnd) model_.OnTrackEnd(model_);
    update();
}

// ---------------------------------------------------------------------------
// Range slider

TMMScrollPanel::TMMScrollPanel(QWidget* parent) : QWidget(parent) { setMinimumHeight(fontMetrics().height() + 6); }

void TMMScrollPanel::SetRange(int64_t min, int64_t max) {
    range_min_ = min;
    range_max_ = std::max(max, min + 1);
    SetSlider(slider_min_, slider_max_);
}

void TMMScrollPanel::SetSlider(int64_t min, int64_t max) {
    OrderedSpan(min, max, range_min_, range_max_);
    slider_min_ = min;
    slider_max_ = max;
    update();
}

int TMMScrollPanel::XOf(int64_t v) const {
    return int((v - range_min_) * (width() - 1) / std::max<int64_t>(1, range_max_ - range_min_));
}

int64_t TMMScrollPanel::ValueOf(int x) const {
    return range_min_ + int64_t(x) * (range_max_ - range_min_) / std::max(1, width() - 1);
}

void TMMScrollPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Background);
    const QRect thumb(QPoint(XOf(slider_min_), 1), QPoint(std::max(XOf(slider_max_), XOf(slider_min_) + 2), height() - 2));
    p.fillRect(thumb, Thumb);
    p.setPen(ThumbBorder);
    p.drawRect(thumb);
    if (locator_ >= 0) {
        p.setPen(LocatorColor);
        p.drawLine(XOf(locator_), 0, XOf(locator_), height() - 1);
    }
    p.setPen(Text);
    p.drawText(rect(), Qt::AlignCenter, caption_);
}

void TMMScrollPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const int x = int(e->position().x());
    const int x0 = XOf(slider_min_), x1 = XOf(slider_max_);
    if (std::abs(x - x0) <= kEdgeGrab) grab_ = Grab::Left;
    else if (std::abs(x - x1) <= kEdgeGrab) grab_ = Grab::Right;
    else if (x > x0 && x < x1) grab_ = Grab::Move;
    else return;
    grab_value_ = ValueOf(x);
    grab_min_ = slider_min_;
    grab_max_ = slider_max_;
}

void TMMScrollPanel::mouseMoveEvent(QMouseEvent* e) {
    if (grab_ == Grab::None) return;
    const int64_t delta = ValueOf(int(e->position().x())) - grab_value_;
    if (grab_ == Grab::Move) {
        const int64_t d = std::clamp(delta, range_min_ - grab_min_, range_max_ - grab_max_);
        SetSlider(grab_min_ + d, grab_max_ + d);
        if (OnTrack) OnTrack(*this, slider_min_, slider_max_);
    } else {
        if (grab_ == Grab::Left) SetSlider(std::min(grab_min_ + delta, grab_max_ - 1), grab_max_);
        else SetSlider(grab_min_, std::max(grab_max_ + delta, grab_min_ + 1));
        if (OnTrackSize) OnTrackSize(*this, slider_min_, slider_max_);
    }
}

void TMMScrollPanel::mouseReleaseEvent(QMouseEvent* e) {
    if (grab_ == Grab::None || e->button() != Qt::LeftButton) return;
    grab_ = Grab::None;
    if (OnTrackEnd) OnTrackEnd(*this, slider_min_, slider_max_);
}

}  // namespace murrel
