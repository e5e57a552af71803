#pragma once
// A horizontal slider drawn from two skin images: a track, stretched to the
// widget's width with its ends kept whole, and a thumb laid over it at the top
// edge. The thumb's centre runs from margin + thumb width / 2 to
// width − margin − thumb width / 2, so a bar laid over the track from there
// with width − 2 × margin − thumb width pixels ends under the thumb's centre.
//
// Signals are QAbstractSlider's: sliderPressed when the user takes the thumb
// (mouse press, or the first of a run of keys or a wheel step), sliderMoved
// and valueChanged while it moves, sliderReleased when the user lets go (mouse
// release, key release, after each wheel step). A click on the track beside
// the thumb jumps the thumb there and keeps dragging from there, as users of
// media players expect, rather than paging.
//
// Thread: user-interface thread.
#include <QAbstractSlider>
#include <QPixmap>

namespace murrel::ui {

class BitmapSlider : public QAbstractSlider {
    Q_OBJECT
public:
    explicit BitmapSlider(QWidget* parent = nullptr);
    BitmapSlider(const QPixmap& track, const QPixmap& thumb, QWidget* parent = nullptr);

    void set_images(const QPixmap& track, const QPixmap& thumb);
    // Pixels kept free at each end beyond the thumb's half width.
    void set_margin(int margin);
    int margin() const { return margin_; }

    // Where the thumb is drawn for the current slider position.
    QRect thumb_rect() const;
    // Pixels the thumb's left edge can travel.
    int travel() const;
    // The value whose thumb centre lies at `x` (widget coordinates), clamped.
    int value_at(int x) const;
    // The x of the thumb centre for `value`.
    int centre_of(int value) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class Hold { None, Mouse, Keys };
    void end_hold();

    QPixmap track_;
    QPixmap thumb_;
    QPixmap thumb_lit_;  // the thumb under the mouse or held
    int margin_ = 0;
    Hold hold_ = Hold::None;
    int grab_offset_ = 0;  // mouse x minus the thumb centre while dragging
    bool hovered_ = false;
};

}  // namespace murrel::ui
