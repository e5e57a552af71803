#pragma once
// Moving and resizing a borderless window. The window system's own loop is
// asked first (QWindow::startSystemMove / startSystemResize); where it refuses
// (no window manager, some platforms) the window follows the mouse events the
// owner forwards here. When the system loop ran, the release Qt delivers
// afterwards is synthetic and must not count as a click: `release` says so.
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace murrel::ui {

// The geometry a manual resize gives: `start` with the edges in `edges` moved by
// `delta`, never smaller than `minimum` (the opposite edges stay put).
QRect resized_geometry(const QRect& start, Qt::Edges edges, QPoint delta, QSize minimum);

class FrameDragger {
public:
    // Starts moving (`edges` empty) or resizing `window` from a press at `global`.
    // Returns true when the window system took over.
    bool begin(QWidget* window, QPoint global, Qt::Edges edges = {});
    // A mouse move with the button held; moves or resizes in the manual case.
    void move(QPoint global);
    // The button went up. True when this release ends a drag (system or manual)
    // and is therefore not a click.
    bool release();

    bool active() const { return mode_ != Mode::Idle; }
    bool manual() const { return mode_ == Mode::Manual; }

private:
    enum class Mode { Idle, System, Manual };
    Mode mode_ = Mode::Idle;
    QWidget* window_ = nullptr;
    Qt::Edges edges_;
    QPoint start_global_;
    QRect start_geometry_;
};

}  // namespace murrel::ui
