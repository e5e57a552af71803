#pragma once
// The progress dialog of conversions, mail preparation and the Voice Editor's
// decoding. Not modal, but while it is visible the main window and the Voice
// Editor are disabled, so its Cancel (which sets app().convert_cancel) and
// dragging it are the only input. Stays above other windows.
#include <QDialog>
#include <QPointer>

#include "shell/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace murrel {

namespace ui { class CaptionPanel; }

class TForm_progress : public QDialog, public ConversionProgress {
    Q_OBJECT
public:
    explicit TForm_progress(QWidget* parent = nullptr);

    // Reads the FP_ keys (runs once, from the constructor).
    void getmessage_frominifile();

    // The windows disabled while the dialog shows; not owned, may be null.
    void set_windows(QWidget* main_window, QWidget* edit_window);

    // Back to the middle of the desktop.
    void center_on_desktop();

    // Handlers.
    void FormShow();
    void FormClose();
    void Button_cancelClick();

    // ConversionProgress.
    void set_directory(const std::string& text) override;
    void set_filename(const std::string& text) override;
    void set_target(const std::string& text) override;
    void set_current(int percent) override;
    void set_total(int percent) override;
    void set_filecount(const std::string& text) override;
    void set_filebyte(const std::string& text) override;
    void set_caption(const std::string& text) override;
    void process_events() override;

    ui::CaptionPanel* Panel_captiontitle = nullptr;
    QLabel *label_directory = nullptr, *label_filename = nullptr, *label_targetfilename = nullptr;
    QProgressBar* ProgressBar_current = nullptr;
    QLabel* label_filebyte = nullptr;
    QProgressBar* ProgressBar_total = nullptr;
    QLabel* label_filecount = nullptr;
    QPushButton* button_cancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QWidget> main_window_;
    QPointer<QWidget> edit_window_;
};

}  // namespace murrel
