#pragma once
// The thin bar laid over a slider's groove: filled to the slider's value, and
// a click on it sets the value where it landed.
#include <QWidget>

#include <functional>

namespace murrel {

class MeterBar : public QWidget {
    Q_OBJECT
public:
    MeterBar(const QPixmap& fill, QWidget* parent = nullptr);

    // 0.0-1.0.
    void set_fraction(double fraction);
    double fraction() const { return fraction_; }
    // Pixels filled from the left: the fraction of the width, truncated.
    int filled_width() const;
    // A left click, with the fraction of the bar's width it hit (0.0-1.0).
    std::function<void(double)> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPixmap fill_;
    double fraction_ = 0;
};

}  // namespace murrel
