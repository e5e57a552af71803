#include "editor/markerpanel.h"

namespace murrel {

int64_t RoundDivEven(int64_t num, int64_t den) {
    if (den < 0) {
        num = -num;
        den = -den;
    }
    int64_t q = num / den, r = num % den;
    if (r < 0) {  // floor
        --q;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q & 1))) ++q;
    return q;
}

void TMMCustomMarkerPanel::SetSize(int width, int height) {
    if (width == width_ && height == height_) return;
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    SetDisplayRange(disp_min_x_, disp_max_x_);
}

void TMMCustomMarkerPanel::SetBorder(int border) {
    border_ = std::max(0, border);
    SetDisplayRange(disp_min_x_, disp_max_x_);
}

void TMMCustomMarkerPanel::SetRangeX(int64_t min, int64_t max) {
    range_min_x_ = min;
    range_max_x_ = std::max(max, min + 1);
    SetDisplayRange(disp_min_x_, disp_max_x_);
}

void TMMCustomMarkerPanel::NormaliseX(int64_t& min, int64_t& max) const {
    if (min > max) std::swap(min, max);
    const int64_t need = std::max(1, InnerWidth() - 1);
    if (max - min < need) max = min + need;
    if (max > range_max_x_) {
        min -= max - range_max_x_;
        max = range_max_x_;
    }
    if (min < range_min_x_) {
        max += range_min_x_ - min;
        min = range_min_x_;
    }
    max = std::min(max, range_max_x_);
    if (max <= min) max = min + 1;
}

void TMMCustomMarkerPanel::SetDisplayRange(int64_t min, int64_t max) {
    NormaliseX(min, max);
    disp_min_x_ = min;
    disp_max_x_ = max;
    DisplayRangeChanged();
    if (OnRangeChanged) OnRangeChanged(*this, disp_min_x_, disp_max_x_);
}

void TMMCustomMarkerPanel::SetRangeY(int64_t min, int64_t max) {
    range_min_y_ = min;
    range_max_y_ = std::max(max, min + 1);
    SetDisplayRangeY(disp_min_y_, disp_max_y_);
}

void TMMCustomMarkerPanel::SetDisplayRangeY(int64_t min, int64_t max) {
    OrderedSpan(min, max, range_min_y_, range_max_y_);
    disp_min_y_ = min;
    disp_max_y_ = max;
}

int64_t TMMCustomMarkerPanel::ValueToPixel(int64_t x) const {
    const int64_t span = width_ - 2 * border_ - 1;
    const int64_t p = RoundDivEven(span * (x - disp_min_x_), disp_max_x_ - disp_min_x_) + border_;
    return std::clamp(p, -kDrawLimit, kDrawLimit);
}

int64_t TMMCustomMarkerPanel::PixelToValue(int64_t p) const {
    const int64_t span = width_ - 2 * border_ - 1;
    if (span <= 0) return disp_min_x_;
    return RoundDivEven((p - border_) * (disp_max_x_ - disp_min_x_), span) + disp_min_x_;
}

int64_t TMMCustomMarkerPanel::ValueToPixelY(int64_t y) const {
    const int64_t span = height_ - 2 * border_ - 1;
    const int64_t p = border_ + span - RoundDivEven(span * (y - disp_min_y_), disp_max_y_ - disp_min_y_);
    return std::clamp(p, -kDrawLimit, kDrawLimit);
}

int64_t TMMCustomMarkerPanel::PixelToValueY(int64_t p) const {
    const int64_t span = height_ - 2 * border_ - 1;
    if (span <= 0) return disp_min_y_;
    return RoundDivEven((border_ + span - p) * (disp_max_y_ - disp_min_y_), span) + disp_min_y_;
}

void TMMCustomMarkerPanel::SetLocator(int64_t v) {
    if (v < 0) {
        v = -1;
    } else {
        v = ClampX(v);
        if (UseLocator && CorralLocator) {
            if (marker_a_ >= 0) v = std::max(v, marker_a_);
            if (marker_b_ >= 0) v = std::min(v, marker_b_);
        }
    }
    if (v == locator_) return;
    locator_ = v;
    if (OnLocatorChanged) OnLocatorChanged(*this);
}

void TMMCustomMarkerPanel::SetHelpLocator(int64_t v) {
    v = v < 0 ? -1 : ClampX(v);
    if (v == help_locator_) return;
    help_locator_ = v;
    if (OnHelpLocatorChanged) OnHelpLocatorChanged(*this);
}

void TMMCustomMarkerPanel::SetMarkerA(int64_t v) {
    if (v >= 0) {
        v = ClampX(v);
        const int64_t above = UseLocator && CorralLocator ? locator_ : marker_b_;
        if (above >= 0) v = std::min(v, above);
    }
    marker_a_ = v < 0 ? -1 : v;
}

void TMMCustomMarkerPanel::SetMarkerB(int64_t v) {
    if (v >= 0) {
        v = ClampX(v);
        const int64_t below = UseLocator && CorralLocator ? locator_ : marker_a_;
        if (below >= 0) v = std::max(v, below);
    }
    marker_b_ = v < 0 ? -1 : v;
}

int64_t TMMCustomMarkerPanel::Snap(int64_t v) const {
    if (!SnapToGrid || GridWidthX <= 0) return v;
    const int64_t base = range_min_x_;
    return ClampX(base + RoundDivEven(v - base, GridWidthX) * GridWidthX);
}

}  // namespace murrel
