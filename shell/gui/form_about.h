#pragma once
// The about box: a picture, the version line and the maker's notice, under a
// caption panel that moves it. Modal; closed by its OK button.
#include <QDialog>

class QLabel;
class QPushButton;

namespace murrel {

namespace ui { class CaptionPanel; }

class TForm_about : public QDialog {
    Q_OBJECT
public:
    explicit TForm_about(QWidget* parent = nullptr);

    // Reads the FI_ keys (runs once, from the constructor).
    void getmessage_frominifile();

    ui::CaptionPanel* panel_captiontitle = nullptr;
    QLabel* Image1 = nullptr;  // the picture
    QLabel* Label1 = nullptr;  // version line and notice
    QPushButton* Button_ok = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace murrel
