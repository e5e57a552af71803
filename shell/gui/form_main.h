#pragma once
// The main window: a borderless, skinned frame that moves, resizes, minimises,
// maximises and closes itself, with the file browser in its middle band and the
// player strip at the bottom.
//
// Bands, top to bottom: the top bar panel_layer0 (101 px: logo, command buttons
// with their labels, window buttons), the middle Panel_layer123main between the
// resize grips Image_midleft / Image_midright (Panel1 the playback display,
// Panel_layer2 the browser strip, Panel_layer3 tree and list, the information
// line), and the bottom strip Panel_layer4 (51 px) with the record and
// transport buttons. The playback display and the strip's sliders and meters
// belong to the player: it fills Panel1 and places widgets named
// "trackbar_position", "trackbar_wavvolume", … into MMPanelFill_control;
// FormResize keeps trackbar_position's right edge 32 px from the window's.
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

#include "filemanager/gui/file_browser.h"
#include "shell/gui/frame_zones.h"
#include "shell/gui/launcher.h"
#include "ui/frame_drag.h"

class QLabel;
class QTimer;
class QToolButton;

namespace murrel {

struct WindowTexts;
class TFileCommands;
namespace ui {
class BitmapButton;
class FilledPanel;
class SkinPanel;
class Splitter;
}  // namespace ui

// What the main window asks of the rest of the program. Empty hooks mean "no
// device open, nothing recording, nothing to do".
struct MainWindowHooks {
    std::function<bool()> devices_open;  // voice output device or WAV player open
    std::function<bool()> recording;     // a recording runs or is paused
    std::function<void()> stop;          // button_stopClick of the player
    std::function<void()> unregister_drop_targets;
    std::function<void()> convert;       // the batch conversion command
    std::function<void()> about;         // shows the about box modally
    std::function<void()> save_settings; // what the windows remember; throws ProfileWriteError
};

class TForm_main : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTopBarHeight = 101;
    static constexpr int kBottomStripHeight = 51;
    static constexpr int kEdgeWidth = 7;

    explicit TForm_main(BrowserOptions browser_options = {}, QWidget* parent = nullptr);
    ~TForm_main() override;

    MainWindowHooks hooks;
    // Not owned; null means the desktop's launcher.
    void set_launcher(Launcher* launcher) { launcher_ = launcher; }
    // The Voice Editor's window, kept at full height by the idle handler while
    // maximised and disabled with the main window by the progress dialog.
    void set_edit_window(QWidget* window) { edit_window_ = window; }
    QWidget* edit_window() const { return edit_window_; }

    // The rest of the start-up once the folders are known: the catalogue texts
    // (already read by start_up) go to the controls, the browser opens at
    // data_dir with the filter "*.*", the idle handler is installed.
    void FormCreate(const WindowTexts& texts);

    // Handlers.
    void resize_MouseMove(QWidget* control, QPoint global, Qt::MouseButtons buttons);
    void button_HoverMouseMove(QPoint global);
    // A left press on the top bar or the logo; what it started.
    FrameAction panel_layer0MouseDown(QPoint global);
    void panel_layer0DblClick();
    void button_minimizeClick();
    void button_maximizeClick();
    void button_exitClick();
    void FormResize();
    void Splitter1Moved();
    void Panel_layer2CanResize();
    void button_helpClick();
    void button_aboutClick();
    void button_convertClick();
    // The four steps of closing; closing is always allowed.
    bool FormCloseQuery();
    void OnIdle();

    bool maximised() const;
    // The place the window has, or returns to, when not maximised.
    QRect normal_geometry() const;
    // A remembered place, moved onto a screen of today when it lies off every
    // one and cut to the screen; maximised afterwards when asked.
    void restore_geometry(QRect normal, bool maximise);
    // Width of the folder tree beside the list.
    int tree_width() const;
    void set_tree_width(int width);
    // The file the help button opens: the help file beside the program when it
    // exists, otherwise the shipped manual.
    std::string help_path() const;

    // Controls, named as in the window's resource.
    ui::SkinPanel* panel_layer0 = nullptr;
    QLabel *Image_topleft = nullptr, *Image_topright = nullptr, *Image6 = nullptr;
    QLabel *Image1 = nullptr, *Image7 = nullptr, *Image8 = nullptr;
    ui::BitmapButton *button_convert = nullptr, *button_wavedit = nullptr, *button_email = nullptr,
                     *button_help = nullptr, *button_about = nullptr;
    QLabel *Label_convert = nullptr, *Label_wavedit = nullptr, *Label_email = nullptr,
           *Label_help = nullptr, *Label_about = nullptr;
    ui::BitmapButton *button_minimize = nullptr, *button_maximize = nullptr, *button_exit = nullptr;
    ui::SkinPanel *Image_midleft = nullptr, *Image_midright = nullptr;
    QWidget* Panel_layer123main = nullptr;
    ui::FilledPanel* Panel1 = nullptr;  // the playback display's place
    ui::FilledPanel* Panel_layer2 = nullptr;
    QToolButton *button_onelabelup = nullptr, *button_newfolder = nullptr, *button_fileviewtype = nullptr,
                *button_copy = nullptr, *button_paste = nullptr;
    QWidget* Panel_layer3 = nullptr;
    ui::Splitter* Splitter2 = nullptr;
    QWidget* Panel_layer4 = nullptr;
    ui::SkinPanel* MMPanelFill_control = nullptr;
    QLabel *Image3 = nullptr, *Image_rightdown = nullptr, *Image2 = nullptr, *Image4 = nullptr,
           *Image5 = nullptr;
    ui::BitmapButton *button_shqrecord = nullptr, *button_hqrecord = nullptr, *button_sprecord = nullptr,
                     *button_play = nullptr, *button_pause = nullptr, *button_stop = nullptr;
    QTimer* Timer_banner = nullptr;

    TFileBrowser& browser() { return *browser_; }
    TFileCommands& commands() { return *commands_; }

signals:
    // After the frame's own layout rules ran, for the player's meter widths.
    void resized();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build_top_bar();
    void name_controls();
    void build_middle();
    void build_bottom_strip();
    void bind_frame_controls();
    void keep_full_height(QWidget* window);
    bool busy() const;
    std::vector<ui::BitmapButton*> hover_buttons() const;
    void show_maximise_image();
    void fit_display();
    // A frame press waits for the pointer to move before the drag begins;
    // true while the press is being followed (the event is the frame's).
    void arm_drag(QPoint global, Qt::Edges edges);
    bool follow_press(QPoint global, Qt::MouseButtons buttons);

    std::unique_ptr<TFileBrowser> browser_;
    TFileCommands* commands_ = nullptr;  // owned by the browser
    DesktopLauncher desktop_launcher_;
    Launcher* launcher_ = nullptr;
    QPointer<QWidget> edit_window_;
    ui::FilledPanel* display_band_ = nullptr;  // clips Panel1 in a narrow window
    ui::FrameDragger dragger_;
    bool pending_drag_ = false;
    QPoint pending_press_;
    Qt::Edges pending_edges_;
    bool shown_once_ = false;
    bool maximised_ = false;
    int pending_tree_width_ = -1;
    QRect normal_geometry_;
    bool in_idle_ = false;
};

}  // namespace murrel
