#pragma once
// The strip's speed control in the display's look: a dark "−" and "+" in LED
// amber either side of the speed LED ("100%"). A click or the mouse wheel
// moves the speed a step of 5 %; the LED shows the strip's speed as rendered.
//
// The buttons take no keyboard focus, so the file list keeps it while the
// user types along (the keys are the main window's shortcuts).
//
// Thread: user-interface thread.
#include <QAbstractButton>
#include <QWidget>

#include <functional>

namespace murrel {

class LedText;

class LedButton : public QAbstractButton {
    Q_OBJECT
public:
    LedButton(const QString& text, const QString& accessible_name, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class SpeedControl : public QWidget {
    Q_OBJECT
public:
    explicit SpeedControl(QWidget* parent = nullptr);

    // Called with +5 or −5.
    std::function<void(int step)> OnStep;
    void show_speed(int percent);

    LedButton* button_slower = nullptr;
    LedButton* button_faster = nullptr;
    LedText* label_speed = nullptr;

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    int wheel_rest_ = 0;
};

}  // namespace murrel
