#pragma once
// The time ruler's behaviour apart from its drawing: which label interval
// fits the shown range, the grid that follows from it, and the right-button
// zoom band, reported in the order it was dragged.
//
// Units: frames; milliseconds for intervals; pixels of the widget.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editor/markerpanel.h"

namespace murrel {

// "h:mm:ss", with ".mmm" when `msec`.
std::string TimeLabel(int64_t ms, bool msec);

class TMMTimePanelModel : public TMMCustomMarkerPanel {
public:
    // The label intervals tried, in this order (milliseconds).
    static const std::vector<int64_t>& Intervals();

    uint32_t SampleRate = 16000;
    bool ShowMsec = false;
    int GridStepsX = 1;
    // Width in pixels of a label's text; the window measures with its font.
    std::function<int(const std::string&)> LabelWidth = [](const std::string& s) {
        return int(s.size()) * 6;
    };

    // The interval chosen for the shown range: the last of Intervals() for
    // which (shown milliseconds / interval) × label width stays below the
    // inner width, the label width being 6/5 of the width of the label of the
    // display end. Updates GridWidthX and fires OnGridChanged on a change.
    int64_t Interval();

    void RightDown(int p);
    void RightMove(int p);
    void RightUp(int p);
    bool Banding() const { return band_from_ >= 0; }
    int64_t BandFrom() const { return band_from_; }
    int64_t BandTo() const { return band_to_; }

    std::function<void(TMMTimePanelModel&, int64_t grid_frames)> OnGridChanged;
    std::function<void(TMMTimePanelModel&, int64_t start, int64_t end)> OnZooming;
    // The two values in the order they were dragged (not sorted).
    std::function<void(TMMTimePanelModel&, int64_t start, int64_t end)> OnZoomEnd;

protected:
    void DisplayRangeChanged() override { Interval(); }

private:
    int64_t band_from_ = -1, band_to_ = -1;
};

}  // namespace murrel
