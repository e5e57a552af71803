#pragma once
// TMMCustomMarkerPanel: what every view of a pane shares, without the
// drawing — a value range mapped onto the pixels inside a border, the shown
// part of it, a locator, a help locator, markers A and B, a marker list, a
// grid, and the events reporting their changes. The windows hold one and
// forward their size and mouse to it.
//
// Units: values are sample frames (the vertical axis: gain values); pixels
// are the widget's own, the border included. -1 means "not set" for the
// locators and markers. Threads: the user-interface thread only.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

#include "editor/mmmarkerlist.h"

namespace murrel {

// Round-half-to-even of num / den (den != 0), exact in integers.
int64_t RoundDivEven(int64_t num, int64_t den);

// Puts min..max in order, at least one apart, within lo..hi (hi > lo).
inline void OrderedSpan(int64_t& min, int64_t& max, int64_t lo, int64_t hi) {
    if (min > max) std::swap(min, max);
    min = std::clamp(min, lo, hi - 1);
    max = std::clamp(max, min + 1, hi);
}

class TMMCustomMarkerPanel {
public:
    static constexpr int64_t kDrawLimit = 16384;

    virtual ~TMMCustomMarkerPanel() = default;

    // --- geometry (set by the widget) -----------------------------------------
    void SetSize(int width, int height);
    void SetBorder(int border);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Border() const { return border_; }
    // Pixels inside the border.
    int InnerWidth() const { return std::max(0, width_ - 2 * border_); }
    int InnerHeight() const { return std::max(0, height_ - 2 * border_); }

    // --- horizontal range -------------------------------------------------------
    int64_t RangeMinX() const { return range_min_x_; }
    int64_t RangeMaxX() const { return range_max_x_; }
    // Keeps RangeMaxX >= RangeMinX + 1; the shown part is normalised again.
    void SetRangeX(int64_t min, int64_t max);
    void SetRangeMaxX(int64_t max) { SetRangeX(range_min_x_, max); }
    int64_t DispMinX() const { return disp_min_x_; }
    int64_t DispMaxX() const { return disp_max_x_; }
    // Puts the two in order, widens them to at least one value per inner
    // pixel and shifts them back inside the range; fires OnRangeChanged.
    void SetDisplayRange(int64_t min, int64_t max);

    // --- vertical range (the envelope) ------------------------------------------
    int64_t RangeMinY() const { return range_min_y_; }
    int64_t RangeMaxY() const { return range_max_y_; }
    int64_t BaseY = 16384;
    void SetRangeY(int64_t min, int64_t max);
    int64_t DispMinY() const { return disp_min_y_; }
    int64_t DispMaxY() const { return disp_max_y_; }
    void SetDisplayRangeY(int64_t min, int64_t max);

    // --- mapping (round half to even) ---------------------------------------------
    // Round((w - 2b - 1)(x - DispMinX) / (DispMaxX - DispMinX)) + b, clamped to
    // ±kDrawLimit so that far-off values still draw.
    int64_t ValueToPixel(int64_t x) const;
    // Round((p - b) / (w - 2b - 1) × (DispMaxX - DispMinX)) + DispMinX.
    int64_t PixelToValue(int64_t p) const;
    // The same, upside down.
    int64_t ValueToPixelY(int64_t y) const;
    int64_t PixelToValueY(int64_t p) const;

    // --- locators and markers (-1: not set) -------------------------------------
    // With UseLocator and CorralLocator, MarkerA stays at or below the locator
    // and MarkerB at or above it, and the locator between them; otherwise
    // MarkerA stays at or below MarkerB whenever that is set and the other
    // way round. Values are clamped to the range.
    bool UseLocator = true;
    bool CorralLocator = false;
    int64_t Locator() const { return locator_; }
    void SetLocator(int64_t v);
    int64_t HelpLocator() const { return help_locator_; }
    void SetHelpLocator(int64_t v);
    int64_t MarkerA() const { return marker_a_; }
    void SetMarkerA(int64_t v);
    int64_t MarkerB() const { return marker_b_; }
    void SetMarkerB(int64_t v);

    // Shared between panels; never owned.
    TMMMarkerList* Markers = nullptr;

    // --- grid ------------------------------------------------------------------
    int64_t GridWidthX = 0;  // frames; 0 or less: no grid
    bool SnapToGrid = false;
    bool DrawGridX = false;
    bool DrawGriff = false;
    // The nearest grid line when SnapToGrid, else v; within the range.
    int64_t Snap(int64_t v) const;

    std::string DefaultHint;

    // --- events -----------------------------------------------------------------
    std::function<void(TMMCustomMarkerPanel&)> OnLocatorChanged;
    std::function<void(TMMCustomMarkerPanel&)> OnHelpLocatorChanged;
    std::function<void(TMMCustomMarkerPanel&, int64_t min, int64_t max)> OnRangeChanged;
    std::function<void(TMMCustomMarkerPanel&)> OnTrackBegin;
    std::function<void(TMMCustomMarkerPanel&)> OnTrackEnd;

protected:
    // Called after the shown range changed (views reload their pixels).
    virtual void DisplayRangeChanged() {}
    int64_t ClampX(int64_t v) const { return std::clamp(v, range_min_x_, range_max_x_); }
    // The rules of SetDisplayRange without setting anything.
    void NormaliseX(int64_t& min, int64_t& max) const;
    // Both markers as given (the view's shown play range).
    void SetMarkers(int64_t a, int64_t b) {
        marker_a_ = a;
        marker_b_ = b;
    }

private:
    int width_ = 0, height_ = 0, border_ = 0;
    int64_t range_min_x_ = 0, range_max_x_ = 1;
    int64_t disp_min_x_ = 0, disp_max_x_ = 1;
    int64_t range_min_y_ = 0, range_max_y_ = 32768;
    int64_t disp_min_y_ = 0, disp_max_y_ = 32768;
    int64_t locator_ = -1, help_locator_ = -1, marker_a_ = -1, marker_b_ = -1;
};

}  // namespace murrel
