#pragma once
// Panels the windows are built from: one filled from a skin bitmap, one filled
// with a colour, and the caption panel of a dialog, which shows the title and
// moves its window when dragged.
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include "ui/frame_drag.h"

namespace murrel::ui {

// Paints `image` over its whole area: tiled across (bands of the frame, whose
// height equals the image's) or stretched.
class SkinPanel : public QWidget {
    Q_OBJECT
public:
    enum class Fill { Tile, Stretch };
    explicit SkinPanel(const QPixmap& image = {}, Fill fill = Fill::Tile, QWidget* parent = nullptr);
    void set_image(const QPixmap& image, Fill fill = Fill::Tile);
    const QPixmap& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap image_;
    Fill fill_;
};

class FilledPanel : public QWidget {
    Q_OBJECT
public:
    explicit FilledPanel(const QColor& colour, QWidget* parent = nullptr);
    void set_colour(const QColor& colour);
    // A one-pixel line along the top and bottom, for bands that need a border.
    void set_border(const QColor& colour) { border_ = colour; update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
    QColor border_;
};

// A dialog's title band. Any press with the left button drags the window (no
// border test: the dialogs cannot be resized).
class CaptionPanel : public QLabel {
    Q_OBJECT
public:
    explicit CaptionPanel(QWidget* parent = nullptr);

signals:
    void pressed();  // every left press, before the drag starts

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    FrameDragger dragger_;
};

}  // namespace murrel::ui
