#pragma once
// A button drawn from a strip of four equally wide images: normal, highlighted,
// pressed, disabled. It highlights when the mouse is over it; the owner can also
// set the highlight itself (hover rules of the main window while a device is
// busy, when the button may not see the leave event).
#include <QAbstractButton>
#include <QPixmap>

namespace murrel::ui {

class BitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit BitmapButton(QWidget* parent = nullptr);
    BitmapButton(const QPixmap& strip, QWidget* parent = nullptr);

    void set_strip(const QPixmap& strip);
    const QPixmap& strip() const { return strip_; }

    bool highlighted() const { return highlighted_; }
    // The mouse-enter / mouse-leave notification.
    void set_highlight(bool on);

    // 0 normal, 1 highlighted, 2 pressed, 3 disabled: the image being shown.
    int shown_state() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPixmap strip_;
    bool highlighted_ = false;
};

}  // namespace murrel::ui
