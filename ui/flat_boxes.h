#pragma once
// Check and radio boxes drawn flat in the skin's colours, so the dialogs match
// the frame whatever style the desktop uses.
#include <QCheckBox>
#include <QRadioButton>

namespace murrel::ui {

class FlatCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit FlatCheckBox(const QString& text = {}, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

class FlatRadioButton : public QRadioButton {
    Q_OBJECT
public:
    explicit FlatRadioButton(const QString& text = {}, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

}  // namespace murrel::ui
