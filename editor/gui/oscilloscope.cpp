#include "editor/gui/oscilloscope.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "ui/skin.h"

namespace murrel {

TOscilloscope::TOscilloscope(QWidget* parent) : QWidget(parent) {
    setObjectName("MMOscope1");
    setFixedSize(160, 40);
}

void TOscilloscope::Feed(const int16_t* samples, int64_t frames, int channels) {
    if (!samples || frames <= 0 || channels <= 0) return;
    const int64_t n = std::min<int64_t>(frames, kFrames);
    const int16_t* from = samples + (frames - n) * channels;
    std::lock_guard lock(lock_);
    frames_.resize(size_t(n));
    for (int64_t i = 0; i < n; ++i) frames_[size_t(i)] = from[i * channels];
    ++feeds_;
}

void TOscilloscope::Clear() {
    {
        std::lock_guard lock(lock_);
        frames_.clear();
        feeds_ = 0;
    }
    update();
}

std::vector<int16_t> TOscilloscope::Snapshot() const {
    std::lock_guard lock(lock_);
    return frames_;
}

int64_t TOscilloscope::Feeds() const {
    std::lock_guard lock(lock_);
    return feeds_;
}

void TOscilloscope::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(4, 10, 12));
    p.setPen(ui::colours::rim);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const int mid = height() / 2;
    p.setPen(QColor(0, 70, 70));
    p.drawLine(1, mid, width() - 2, mid);
    const std::vector<int16_t> s = Snapshot();
    if (s.size() < 2) return;
    QPainterPath path;
    const double dx = double(width() - 3) / double(s.size() - 1), dy = double(height() - 4) / 65536.0;
    for (size_t i = 0; i < s.size(); ++i) {
        const QPointF pt(1 + dx * double(i), mid - s[i] * dy);
        if (i == 0) path.moveTo(pt); else path.lineTo(pt);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ui::colours::accent, 1));
    p.drawPath(path);
}

}  // namespace murrel
