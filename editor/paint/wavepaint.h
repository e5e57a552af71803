#pragma once
// Drawing of a wave's pixel buffer as lines (ekLines): one vertical line per
// column from its minimum to its maximum, the first channel in the upper
// strip and the second in the lower one of a stereo picture, a 3-pixel bevel
// between them. Shared by the views and the command line's pictures; needs Qt
// Gui only.
#include <QColor>
#include <QPainter>
#include <QRect>
#include <cstdint>
#include <functional>

namespace murrel {

inline constexpr int kStereoBevel = 3;

struct WavePaintColors {
    QColor background = QColor(0, 0, 0);
    QColor foreground = QColor(0, 224, 0);  // ForegroundColor
    QColor inactive = QColor(0, 96, 0);     // InactiveColor
    QColor mid_line = QColor(0, 128, 128);  // MidLineColor
    bool draw_mid_line = true;
};

// The strips of `area` for 1 or 2 channels.
QRect WaveStrip(const QRect& area, int channels, int channel);
// y of `value` in a strip: bottom - (value + 32767) × (height - 1) / 65534,
// within the strip.
int WaveY(const QRect& strip, int value);

// `columns` holds four int16 per pixel column (min, max of the first
// channel, then of the second) for area.width() columns from area.left().
// `active(column)` says whether a column is drawn in the foreground colour
// (inside the shown play range, outside cuts); empty: all are.
void PaintWaveLines(QPainter& painter, const QRect& area, const int16_t* columns, int channels,
                    const WavePaintColors& colors, const std::function<bool(int)>& active = {});

// Vertical lines at every `step` values from `origin` within `area`, where
// `x_of` maps a value to its pixel; nothing when they would be closer than
// 3 pixels (a grid that dense is only grey).
void PaintGridX(QPainter& painter, const QRect& area, int64_t origin, int64_t step, int64_t first, int64_t last,
                const std::function<int64_t(int64_t)>& x_of, const QColor& color);
// A transient cursor: a dashed vertical line.
void PaintHelpLocator(QPainter& painter, int x, int top, int bottom, const QColor& color);

}  // namespace murrel
