#pragma once
// The conversion dialog: output folder, recording mode for WAV sources and
// whether existing targets may be replaced. Created once at start-up and shown
// modally per batch; the mode choice is kept between uses, the overwrite box is
// unchecked after every batch.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace murrel {

namespace ui {
class CaptionPanel;
class FlatCheckBox;
class FlatRadioButton;
}  // namespace ui

class TForm_convdialog : public QDialog {
    Q_OBJECT
public:
    explicit TForm_convdialog(QWidget* parent = nullptr);

    // Reads the FC_ keys (runs once, from the constructor).
    void getmessage_frominifile();

    // Set by the go button, cleared by the cancel button and on every show.
    bool result_flag = false;

    // WAV files among the selection: the mode label and radios take part.
    void set_mode_enabled(bool enabled);
    // Codec type of the checked mode radio: 5 SP, 6 HQ, 7 SHQ.
    int codec_type() const;
    // Checks the radio of a codec type; other values leave the choice alone.
    void set_codec_type(int type);

    // Handlers.
    void FormShow();
    void button_goClick();
    void button_cancelClick();
    void Button_changeoutfolderClick();

    ui::CaptionPanel* panel_captiontitle = nullptr;
    QLabel* label_outputmode = nullptr;
    ui::FlatRadioButton *Radio_sp = nullptr, *Radio_hq = nullptr, *Radio_shq = nullptr;
    QLabel* Label_outputfolder = nullptr;
    QPushButton* Button_changeoutfolder = nullptr;
    QLineEdit* edit_outdirectory = nullptr;
    ui::FlatCheckBox* checkbox_overwrite = nullptr;
    QPushButton *button_go = nullptr, *button_cancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace murrel
