#include "ui/frame_drag.h"

#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace murrel::ui {

QRect resized_geometry(const QRect& start, Qt::Edges edges, QPoint delta, QSize minimum) {
    int left = start.left(), top = start.top();
    int right = start.left() + start.width(), bottom = start.top() + start.height();
    if (edges & Qt::LeftEdge) left = std::min(left + delta.x(), right - minimum.width());
    if (edges & Qt::RightEdge) right = std::max(right + delta.x(), left + minimum.width());
    if (edges & Qt::TopEdge) top = std::min(top + delta.y(), bottom - minimum.height());
    if (edges & Qt::BottomEdge) bottom = std::max(bottom + delta.y(), top + minimum.height());
    return QRect(left, top, right - left, bottom - top);
}

bool FrameDragger::begin(QWidget* window, QPoint global, Qt::Edges edges) {
    window_ = window;
    edges_ = edges;
    start_global_ = global;
    start_geometry_ = window->geometry();
    QWindow* handle = window->windowHandle();
    const bool system = handle && (edges ? handle->startSystemResize(edges) : handle->startSystemMove());
    mode_ = system ? Mode::System : Mode::Manual;
    return system;
}

void FrameDragger::move(QPoint global) {
    if (mode_ != Mode::Manual || !window_) return;
    const QPoint delta = global - start_global_;
    if (!edges_) {
        window_->move(start_geometry_.topLeft() + delta);
        return;
    }
    const QSize minimum = window_->minimumSize().expandedTo(QSize(1, 1));
    window_->setGeometry(resized_geometry(start_geometry_, edges_, delta, minimum));
}

bool FrameDragger::release() {
    const bool was_drag = mode_ != Mode::Idle;
    mode_ = Mode::Idle;
    window_ = nullptr;
    return was_drag;
}

}  // namespace murrel::ui
