#pragma once
// A text in the display's LED colours: lit or dark, painted on the panel's
// black. Used for the time digits, the mode LEDs, the bit rate and the labels.
#include <QColor>
#include <QString>
#include <QWidget>

namespace murrel {

class LedText : public QWidget {
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

}  // namespace murrel
