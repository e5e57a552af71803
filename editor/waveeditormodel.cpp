#include "editor/waveeditormodel.h"

namespace murrel {

int64_t TMMWaveEditorModel::SetSelection(int64_t start, int64_t end) {
    if (start < 0 || end < 0) {
        sel_start_ = sel_end_ = -1;
    } else {
        int64_t lo = RangeMinX(), hi = RangeMaxX();
        if (CorralLocator) {
            if (MarkerA() >= 0) lo = MarkerA();
            if (MarkerB() >= 0) hi = std::max(lo, MarkerB());
        }
        start = std::clamp(start, lo, hi);
        end = std::clamp(end, lo, hi);
        if (start > end) std::swap(start, end);
        if (end - start <= 0) start = end = -1;
        sel_start_ = start;
        sel_end_ = end;
    }
    Invalidate();
    return sel_start_ < 0 ? 0 : sel_end_ - sel_start_;
}

void TMMWaveEditorModel::SetPlayRange(int64_t a, int64_t b) {
    a = ClampX(a);
    b = ClampX(b);
    if (a > b) std::swap(a, b);
    SetMarkers(a, b);
    SetSelection(sel_start_, sel_end_);
}

int64_t TMMWaveEditorModel::CutAt(int64_t v) const {
    return Cuts && Cuts->Count() > 0 ? Cuts->ContainingIndex(v) : -1;
}

void TMMWaveEditorModel::MouseDown(int p) {
    if (Locked || drag_ != Drag::None) return;
    const int64_t v = ClampX(PixelToValue(p));
    if (OnTrackBegin) OnTrackBegin(*this);
    if (Zoom) {
        drag_ = Drag::Zoom;
        zoom_from_ = zoom_to_ = v;
        Invalidate();
        return;
    }
    if (const int64_t ci = CutAt(v); ci >= 0) {
        drag_ = Drag::Cut;
        grabbed_cut_ = ci;
        const TMMCutRecord& c = (*Cuts)[ci];
        SetSelection(c.start, c.start + c.length);
        if (OnSelecting) OnSelecting(*this, sel_start_, sel_end_);
        return;
    }
    drag_ = Drag::Select;
    if (OnEdge(p) == Edge::None && sel_start_ >= 0 && v > sel_start_ && v < sel_end_) {
        drag_ = Drag::Move;
        move_from_ = v;
        moved_ = false;
        return;
    }
    if (const Edge edge = OnEdge(p); edge == Edge::Start) {
        anchor_ = sel_end_;
    } else if (edge == Edge::End) {
        anchor_ = sel_start_;
    } else {
        anchor_ = Snap(v);
        if (OnSelecting) OnSelecting(*this, -1, -1);
        SetSelection(anchor_, anchor_ + 1);
        if (OnSelecting) OnSelecting(*this, sel_start_, sel_end_);
    }
    // A selection made outside the cuts stays between its neighbouring cuts.
    low_ = RangeMinX();
    high_ = RangeMaxX();
    if (Cuts)
        for (const TMMCutRecord& c : Cuts->Items()) {
            if (c.start + c.length <= anchor_) low_ = std::max(low_, c.start + c.length);
            else if (c.start >= anchor_) {
                high_ = std::min(high_, c.start);
                break;
            }
        }
}

void TMMWaveEditorModel::ScrollAtEdge(int p) {
    const int64_t half = (DispMaxX() - DispMinX()) / 2;
    if (p >= Width() - Border() - kScrollZone && DispMaxX() < RangeMaxX())
        SetDisplayRange(DispMinX() + half, DispMaxX() + half);
    else if (p < Border() + kScrollZone && DispMinX() > RangeMinX())
        SetDisplayRange(DispMinX() - half, DispMaxX() - half);
}

void TMMWaveEditorModel::Extend(int p) {
    ScrollAtEdge(p);
    const int64_t v = std::clamp(Snap(PixelToValue(p)), low_, high_);
    SetSelection(std::min(anchor_, v), std::max(anchor_, v));
}

void TMMWaveEditorModel::MouseMove(int p) {
    switch (drag_) {
    case Drag::Select:
        Extend(p);
        if (OnSelecting) OnSelecting(*this, sel_start_, sel_end_);
        break;
    case Drag::Move: {
        ScrollAtEdge(p);
        int64_t lo = RangeMinX(), hi = RangeMaxX();
        if (CorralLocator) {
            if (MarkerA() >= 0) lo = MarkerA();
            if (MarkerB() >= 0) hi = std::max(lo, MarkerB());
        }
        const int64_t length = sel_end_ - sel_start_;
        const int64_t to = std::clamp(Snap(sel_start_ + ClampX(PixelToValue(p)) - move_from_), lo,
                                      std::max(lo, hi - length));
        if (to != sel_start_) {
            move_from_ += to - sel_start_;
            moved_ = true;
            SetSelection(to, to + length);
        }
        if (OnSelecting) OnSelecting(*this, sel_start_, sel_end_);
        break;
    }
    case Drag::Zoom:
        zoom_to_ = ClampX(PixelToValue(p));
        if (OnZooming) OnZooming(*this, std::min(zoom_from_, zoom_to_), std::max(zoom_from_, zoom_to_));
        Invalidate();
        break;
    default:
        break;
    }
}

void TMMWaveEditorModel::MouseUp(int p) {
    const Drag drag = drag_;
    if (drag == Drag::None) return;
    drag_ = Drag::None;
    if (drag == Drag::Zoom) {
        zoom_to_ = ClampX(PixelToValue(p));
        int64_t a = std::min(zoom_from_, zoom_to_), b = std::max(zoom_from_, zoom_to_);
        NormaliseX(a, b);
        zoom_from_ = zoom_to_ = -1;
        Invalidate();
        if (OnZoomEnd) OnZoomEnd(*this, a, b);
        if (AutoZoom) SetDisplayRange(a, b);
    } else {
        if (drag == Drag::Cut) {
            const TMMCutRecord& c = (*Cuts)[grabbed_cut_];
            SetSelection(c.start, c.start + c.length);
        } else if (drag == Drag::Move) {
            if (!moved_) SetSelection(-1, -1);
        } else if (sel_end_ - sel_start_ == 1) {
            SetSelection(-1, -1);
        }
        grabbed_cut_ = -1;
        if (OnSelectEnd) OnSelectEnd(*this, sel_start_, sel_end_);
    }
    if (OnTrackEnd) OnTrackEnd(*this);
}

TMMWaveEditorModel::Edge TMMWaveEditorModel::OnEdge(int p) const {
    if (sel_start_ < 0) return Edge::None;
    const int64_t sp = ValueToPixel(sel_start_), ep = ValueToPixel(sel_end_);
    if (p >= sp - kStartGrabLeft && p <= sp + kStartGrabRight) return Edge::Start;
    if (p >= ep - kEndGrabLeft && p <= ep + kEndGrabRight) return Edge::End;
    return Edge::None;
}

std::string TMMWaveEditorModel::HintAt(int p) const {
    const int64_t v = PixelToValue(p);
    if (sel_start_ >= 0) {
        if (OnEdge(p) != Edge::None) return kHintResizeSelection;
        if (v > sel_start_ && v < sel_end_) return kHintMoveSelection;
    }
    if (CutAt(v) >= 0) return kHintSkipedRegion;
    return DefaultHint;
}

}  // namespace murrel
