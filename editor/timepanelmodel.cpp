#include "editor/timepanelmodel.h"

#include <cstdio>

namespace murrel {

std::string TimeLabel(int64_t ms, bool msec) {
    if (ms < 0) ms = 0;
    char buf[40];
    const long long s = ms / 1000;
    if (msec)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld.%03lld", s / 3600, s / 60 % 60, s % 60, (long long)(ms % 1000));
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

const std::vector<int64_t>& TMMTimePanelModel::Intervals() {
    static const std::vector<int64_t> intervals = {36000000, 18000000, 7200000, 3600000, 1800000, 600000,
                                                   300000,   120000,   60000,   30000,   10000,   5000,
                                                   2000,     1000,     500,     200,     100,     50,
                                                   20,       10,       5,       2,       1};
    return intervals;
}

int64_t TMMTimePanelModel::Interval() {
    const uint32_t rate = SampleRate ? SampleRate : 1;
    const double shown_ms = double(DispMaxX() - DispMinX()) * 1000.0 / rate;
    const int64_t end_ms = DispMaxX() * 1000 / rate;
    const double label = LabelWidth ? LabelWidth(TimeLabel(end_ms, ShowMsec)) * 6.0 / 5.0 : 0.0;
    int64_t chosen = Intervals().front();
    for (int64_t interval : Intervals())
        if (shown_ms / double(interval) * label < double(InnerWidth())) chosen = interval;
    const int64_t grid = chosen * int64_t(rate) / (1000 * int64_t(std::max(1, GridStepsX)));
    if (grid != GridWidthX) {
        GridWidthX = grid;
        if (OnGridChanged) OnGridChanged(*this, grid);
    }
    return chosen;
}

void TMMTimePanelModel::RightDown(int p) {
    band_from_ = band_to_ = ClampX(PixelToValue(p));
}

void TMMTimePanelModel::RightMove(int p) {
    if (band_from_ < 0) return;
    band_to_ = ClampX(PixelToValue(p));
    if (OnZooming) OnZooming(*this, band_from_, band_to_);
}

void TMMTimePanelModel::RightUp(int p) {
    if (band_from_ < 0) return;
    band_to_ = ClampX(PixelToValue(p));
    const int64_t from = band_from_, to = band_to_;
    band_from_ = band_to_ = -1;
    if (OnZoomEnd) OnZoomEnd(*this, from, to);
}

}  // namespace murrel
