#pragma once
// A text in the display's LED colours: lit or dark, painted on the panel's
// black. Used for the time digits, the mode LEDs, the bit rate and the labels.
#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>

#include "ui/accessible.h"

namespace murrel {

class LedText : public QWidget, public ui::AccessibleReadout {
    Q_OBJECT
public:
    LedText(const QString& text, int pixel_size, QWidget* parent = nullptr);

    void set_text(const QString& text);
    const QString& text() const { return text_; }
    // A dark LED shows its text dimmed, as an unlit segment would.
    void set_lit(bool lit);
    bool lit() const { return lit_; }
    void set_alignment(Qt::Alignment alignment);
    void set_colour(const QColor& colour);
    // Characters drawn unlit under the text, such as "88" under two digits,
    // so that a digit display shows its dark segments like a real one. They
    // line up with the text in the fixed-pitch font.
    void set_ghost(const QString& ghost);

    QSize sizeHint() const override;
    // A dark LED reads as nothing, as it looks.
    QString readout() const override { return lit_ ? text_ : QString(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    int pixel_size_;
    bool lit_ = true;
    Qt::Alignment alignment_ = Qt::AlignCenter;
    QColor colour_{0x3c, 0xf0, 0x6e};
    QString ghost_;
};

// LEDs read together, such as the hours, minutes and seconds of a time: one
// reading for a screen reader, given by `value`.
class LedReadout : public QWidget, public ui::AccessibleReadout {
    Q_OBJECT
public:
    LedReadout(const QString& name, std::function<QString()> value, QWidget* parent = nullptr);
    QString readout() const override { return value_ ? value_() : QString(); }
    // After the LEDs changed: tells a listening screen reader.
    void refresh();

private:
    std::function<QString()> value_;
    QString last_;
};

}  // namespace murrel
