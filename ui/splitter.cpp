#include "ui/splitter.h"

#include <QPainter>

#include "ui/skin.h"

namespace murrel::ui {

namespace {
class DarkHandle : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), colours::body);
        p.setPen(underMouse() ? colours::accent_deep : QColor(0x2a, 0x30, 0x38));
        if (orientation() == Qt::Horizontal) p.drawLine(width() / 2, 0, width() / 2, height());
        else p.drawLine(0, height() / 2, width(), height() / 2);
    }
};
}  // namespace

Splitter::Splitter(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent) {
    setHandleWidth(5);
    setChildrenCollapsible(false);
}

bool Splitter::enforce_first_minimum() {
    QList<int> s = sizes();
    if (s.size() < 2 || s[0] >= first_minimum_) return false;
    const int missing = first_minimum_ - s[0];
    s[0] = first_minimum_;
    s[1] = std::max(0, s[1] - missing);
    setSizes(s);
    return true;
}

QSplitterHandle* Splitter::createHandle() { return new DarkHandle(orientation(), this); }

}  // namespace murrel::ui
