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
        const QColor* current = nullptr;
        for (int i = 0; i < area.width(); ++i) {
            const int16_t* c = columns + 4 * i + 2 * ch;
            const QColor& want = !active || active(i) ? colors.foreground : colors.inactive;
            if (current != &want) {
                painter.setPen(want);
                current = &want;
            }
            const int x = area.left() + i;
            painter.drawLine(x, WaveY(strip, c[1]), x, WaveY(strip, c[0]));
        }
    }
    painter.restore();
}

}  // namespace murrel
