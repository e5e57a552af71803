#include "editor/paint/wavepaint.h"

#include <algorithm>

namespace murrel {

QRect WaveStrip(const QRect& area, int channels, int channel) {
    if (channels < 2) return area;
    const int h = std::max(1, (area.height() - kStereoBevel) / 2);
    return channel == 0 ? QRect(area.left(), area.top(), area.width(), h)
                        : QRect(area.left(), area.bottom() + 1 - h, area.width(), h);
}

int WaveY(const QRect& strip, int value) {
    const int bottom = strip.top() + strip.height() - 1;
    const int y = bottom - int((int64_t(value) + 32767) * (strip.height() - 1) / 65534);
    return std::clamp(y, strip.top(), bottom);
}

void PaintWaveLines(QPainter& painter, const QRect& area, const int16_t* columns, int channels,
                    const WavePaintColors& colors, const std::function<bool(int)>& active) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(area, colors.background);
    const int shown = std::min(std::max(channels, 1), 2);
    for (int ch = 0; ch < shown; ++ch) {
        const QRect strip = WaveStrip(area, shown, ch);
        if (colors.draw_mid_line) {
            painter.setPen(colors.mid_line);
            const int mid = WaveY(strip, 0);
            painter.drawLine(strip.left(), mid, strip.right(), mid);
        }
        int prev_top = 0, prev_bottom = 0;
        for (int i = 0; i < area.width(); ++i) {
            const int16_t* c = columns + 4 * i + 2 * ch;
            const int own_top = WaveY(strip, std::max(c[0], c[1])), own_bottom = WaveY(strip, std::min(c[0], c[1]));
            int top = own_top, bottom = own_bottom;
            // A column reaches over to its left neighbour's span, so that a
            // steep wave drawn one frame a column stays a line, not dots.
            if (i > 0) {
                top = std::min(top, prev_bottom + 1);
                bottom = std::max(bottom, prev_top - 1);
            }
            prev_top = own_top;
            prev_bottom = own_bottom;
            // Rectangles, not lines: a column stays solid at any pixel ratio.
            painter.fillRect(QRect(area.left() + i, top, 1, bottom - top + 1),
                             !active || active(i) ? colors.foreground : colors.inactive);
        }
    }
    painter.restore();
}

void PaintGridX(QPainter& painter, const QRect& area, int64_t origin, int64_t step, int64_t first, int64_t last,
                const std::function<int64_t(int64_t)>& x_of, const QColor& color) {
    if (step <= 0 || last <= first || x_of(first + step) - x_of(first) < 3) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(color, 0, Qt::DotLine);
    painter.setPen(pen);
    int64_t v = origin + (first - origin + step - 1) / step * step;
    if (first < origin) v = origin;
    for (; v <= last; v += step) {
        const int x = int(x_of(v));
        if (x >= area.left() && x <= area.right()) painter.drawLine(x, area.top(), x, area.bottom());
    }
    painter.restore();
}

void PaintHelpLocator(QPainter& painter, int x, int top, int bottom, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(color, 0, Qt::DashLine));
    painter.drawLine(x, top, x, bottom);
    painter.restore();
}

}  // namespace murrel
