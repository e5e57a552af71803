#pragma once
// Tform_edit: the Voice Editor. A borderless, skinned window with two panes:
// the upper one (the reference) can be listened to, selected and copied
// from; the lower one (the document) is edited through the edit session.
// Exactly one pane is active; the menus, buttons, status bar and transport
// bar act on it. Created hidden once at start-up, shown by the main window's
// edit command, hidden again on closing.
//
// Playback: the working wave of the active pane feeds the output device
// through TMMEnhancedWaveLink and a time-stretch link (the speed, pitch kept);
// a 30 ms timer on the user-interface thread moves the locator from the
// device's position, turned back into file time.
//
// Threads: the user-interface thread (the device's refills excepted).
#include <QKeySequence>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "audio/devices/mmdsp_stretch.h"
#include "audio/devices/waveout.h"
#include "editor/editsession.h"
#include "editor/mmenvelope.h"
#include "editor/gui/mmenhancedwavelink.h"
#include "shell/catalogue.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;

namespace murrel {

class TEditorPane;
class TForm_progress;
class TOscilloscope;
class SpeedControl;
struct Tkoltfile_info;
namespace ui {
class BitmapButton;
class CaptionPanel;
}  // namespace ui

class Tform_edit : public QWidget, private ConversionProgress {
    Q_OBJECT
public:
    static constexpr int kMinWidth = 610, kMinHeight = 550;
    static constexpr int kLocatorMs = 30;
    // Audio per device buffer while playing (milliseconds) and the buffers
    // queued, as behind every stretch link: a change of speed is heard soon.
    static constexpr int kBufferMs = 20, kQueueBuffers = kStretchQueueBuffers;
    // The window's fixed rows: caption, both panes' title bars and button
    // rows, and the margins around and between the panes. What the transport
    // bar, the status bar and these leave, the two pane panels share.
    static constexpr int kCaptionHeight = 22;
    static constexpr int kPaneChrome = 137;
    static constexpr int kPaneMargin = 4, kPaneGap = 7;

    // `backend`/`ui` null: the program's own.
    explicit Tform_edit(QWidget* parent = nullptr, AudioBackend* backend = nullptr, UiDispatcher* ui = nullptr);
    ~Tform_edit() override;

    // The catalogue texts of the window (captions, hints, messages).
    void FormCreate(const WindowTexts& texts);

    // --- what the rest of the program provides --------------------------------
    // The progress dialog a voice file is decoded under (not owned; may be null).
    TForm_progress* ProgressDialog = nullptr;
    // Sets the main window's output volume (left low word, right high word).
    std::function<void(uint32_t)> SetMainVolume;
    // The window closed: the main window shows again.
    std::function<void()> OnClosed;
    // The folder the open dialog starts in.
    std::string InitialFolder;

    // --- handlers ------------------------------------------------------------
    // Shown from the main window with `path` (a WAV or voice file, or "").
    void ShowFromMain(const std::string& path, int volume);
    // Algorithm of opening a file into a pane; pane 1 upper, 2 lower.
    void OpenFileIntoPane(int pane, const std::string& path);
    void button_opendownfileClick();
    void button_openupfileClick();
    // False when the user kept the pane (Cancel, or a cancelled save dialog).
    bool ClosePane(int pane);
    // Closing the window: false when it stays open.
    bool CloseQuery();
    void button_playClick();      // play all
    void PlaySelectionClick();    // play selection
    void button_stopClick();
    void checkbox_repeatClick();
    void button_copyClick();
    void button_cutClick();
    void button_trimClick();
    void button_pasteClick();
    void button_oneblankClick();
    void button_scaleupClick();
    void button_scaledownClick();
    void button_resetClick();
    void button_undoClick();
    void RedoClick();
    void button_saveasClick();
    void button_downblocksaveClick();
    void SelectAllClick();
    void ZoomSelectedClick();
    void RestoreZoomClick();
    void MarkPositionClick();
    void AddMarkerAt(int64_t frame);
    void DeleteMarkerAt(int64_t frame);
    void DeleteAllMarkersClick();
    // A key as the window previews it; true when it was used.
    bool PreviewKey(int key, Qt::KeyboardModifiers modifiers);
    // The locator timer's tick (public for tests that drive the clock).
    void LocatorTimerTick();
    // Makes pane 1 or 2 active when it holds a file.
    void ActivatePane(int pane);
    void RefreshState();
    // Shows or hides a pane's envelope view (pane 1 upper, 2 lower).
    void ShowEnvelopeClick(int pane, bool shown);
    // The envelope pop-up's items at the frame and gain it was opened at.
    void NewGainPointClick();
    void DeleteGainPointClick();
    // Shares the height between the two pane panels and fits their views.
    void ArrangePanes();
    // The height each pane panel gets in a window `client_height` high.
    int PanePanelHeight(int client_height) const;
    // Maximises to the screen's work area (or restores the size before).
    void button_maximizeClick();
    bool Maximised() const { return maximised_; }
    // The volume bar clicked at `x` pixels from its left edge.
    void panel_volumemeterClick(int x);
    // The envelope the working wave plays with: the active pane's.
    TMMEnvelope* PlayEnvelope();
    TMMEnvelope& ReferenceEnvelope() { return reference_envelope_; }

    // --- state ---------------------------------------------------------------
    int active_pane = 0;
    bool reference_loaded = false, document_loaded = false;
    int play_mode = 1;
    int64_t play_start = 0, play_end = 0, locator_pos = 0, last_device_pos = 0;
    std::string reference_name;
    TMMEditSession& Session() { return *session_; }
    TEditorPane& Pane(int pane) { return pane == 1 ? *upper_ : *lower_; }
    TMMEnhancedWave& Reference() { return reference_; }
    TMMWaveOut& WaveOut() { return wave_out_; }
    TMMEnhancedWaveLink& WaveFile() { return wave_link_; }
    TMMTimeStretch& Stretch() { return stretch_; }
    // Playback speed, 50–200 % in steps of 5, pitch kept; heard at once while
    // playing. Kept as "EditSpeed" in the settings file once one is in use.
    int Speed() const { return stretch_.Speed(); }
    void SetSpeed(int percent);
    // Reads the speed and the speed keys from the program's INI file and
    // keeps later speed changes there.
    void UseSettingsFile(const std::string& ini_path);
    bool Playing() const;

    // --- controls, named as in the window's resource -------------------------
    ui::CaptionPanel* panel_captiontitle = nullptr;
    ui::BitmapButton *button_minimize = nullptr, *button_maximize = nullptr, *button_exit = nullptr;
    QMenuBar *MainMenu_up = nullptr, *MainMenu_down = nullptr;
    QToolButton *button_openupfile = nullptr, *button_upclose = nullptr, *button_selectallup = nullptr,
                *button_upblocksave = nullptr, *button_viewcopy = nullptr, *button_normalrangeup = nullptr;
    QToolButton *button_opendownfile = nullptr, *button_downclose = nullptr, *button_saveas = nullptr,
                *button_downblocksave = nullptr, *button_undo = nullptr, *button_redo = nullptr,
                *button_copy = nullptr, *button_cut = nullptr, *button_trim = nullptr, *button_paste = nullptr,
                *button_selectall = nullptr, *button_oneblank = nullptr, *button_scaleup = nullptr,
                *button_scaledown = nullptr, *button_reset = nullptr, *button_normalrange = nullptr;
    QWidget* speedbar = nullptr;
    ui::BitmapButton *button_play = nullptr, *button_pause = nullptr, *button_stop = nullptr;
    QCheckBox* checkbox_repeat = nullptr;
    QSlider* trackbar_wavvolume = nullptr;
    SpeedControl* speed_control = nullptr;
    QWidget* panel_volumemeter = nullptr;
    TOscilloscope* MMOscope1 = nullptr;
    QLabel *StatusFile = nullptr, *StatusTime = nullptr, *StatusSelected = nullptr, *StatusMaxtime = nullptr,
           *StatusRate = nullptr, *StatusBits = nullptr, *StatusMessage = nullptr;
    QWidget* GaugePanel = nullptr;
    QProgressBar* Gauge = nullptr;
    QLabel* GaugeCaption = nullptr;
    QPushButton* button_Cancel = nullptr;
    QMenu *SelectionPopup = nullptr, *MarkerPopup = nullptr, *VolumePopup = nullptr;
    QWidget* StatusBar = nullptr;
    QTimer* LocatorTimer = nullptr;
    // Menu items and pop-up items by name ("N_DownCut", "PUSelectionpopup_cut", ...).
    QAction* Item(const char* name) const;

    // "%d:%2.2d.%3.3d" and its longer forms for `frames` at `rate`.
    static std::string FormatTime(int64_t frames, uint32_t rate);

    // --- the mouse during playback, the range slider, the desktop's end -------
    // What a press on the playing pane drags: 0 none, 1 locator, 2 marker A, 3 marker B.
    int drag_kind = 0;
    // The range slider's thumb is held: the locator tick leaves the zoom alone.
    bool scroll_tracking = false;
    // Puts the mouse pointer at a global position (QCursor::setPos unless set).
    std::function<void(QPoint)> MovePointer;
    // Playback or a key moved the locator to `frame`: the zoomed range
    // follows when the locator's pixel is past the right edge less 5 pixels
    // (ending four fifths of its width after it, half when the view reads the
    // samples themselves and shows 200 ms or less) or left of the view.
    void FollowLocator(TEditorPane& view, int64_t frame);
    // The mouse at x of `panel` drove the locator to `frame`: within 5 pixels
    // of the right edge (while the range can move on) or 4 of the left one the
    // range centres on the locator and the pointer goes to its new pixel.
    void FollowMouse(TEditorPane& view, QWidget* panel, int x, int64_t frame);
    // A zoom band let go from `first` to `second` (as dragged).
    void ZoomBandEnd(TEditorPane& view, int64_t first, int64_t second);
    // The desktop session ends: false when the user kept the program
    // (Cancel, or Yes with a cancelled save dialog). Without `may_ask` the
    // changes go to a recovery copy instead.
    bool SessionEnding(bool may_ask);
    // The changed document saved beside its original as "<name> (recovered).wav"
    // (the home folder when that cannot be written); its path, "" when
    // nothing needed keeping or it could not be written.
    std::string KeepRecoveryCopy();
    // Logout asks about unsaved changes; with `handle_sigterm`, SIGTERM keeps a
    // recovery copy and ends the program (one window per process may ask).
    void WatchDesktopEnd(bool handle_sigterm);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // form_edit.cpp
    void BuildCaption();
    void BuildPanes();
    void BuildMenus();
    void BuildSpeedbar();
    void BuildStatus();
    QToolButton* PaneButton(TEditorPane& pane, const char* name, const QString& text, std::function<void()> handler);
    QAction* AddItem(QMenu* menu, const char* name, const QString& text, std::function<void()> handler,
                     const QKeySequence& keys = {});
    void WirePane(TEditorPane& pane, int index);
    void WireEnvelope(TEditorPane& pane, int index);
    void ApplyVolume(int position);
    // The active pane's gain points as the fades `wave` plays and renders with.
    void ApplyEnvelope(TMMEnhancedWave& wave);
    // form_edit_files.cpp
    bool AskSaveFirst();
    void ChooseAndOpen(int pane);
    void LoadPane(int pane);
    void UnloadPane(int pane);
    void ReloadDocument();
    bool CheckFormat(const std::string& path);
    std::string DecodeVoice(int pane, const std::string& path, const Tkoltfile_info& info);
    void ShowMessage(const char* key);
    void ShowStatus();
    void ShowPopup(TEditorPane& pane, QWidget* panel, QPoint global, int64_t frame);
    // form_edit_play.cpp
    void StartPlayback(int mode);
    void StopDevice();
    void PlayingState(bool playing);
    void DeviceStarted();
    void DeviceStopped();
    void DeviceLooped();
    void MoveLocatorByKey(int64_t frame);
    // Playback goes on from `frame` of the playing pane.
    void SeekPlayback(int64_t frame);
    void FeedScope();
    void RunEdit(const std::function<bool()>& op);
    // ConversionProgress: the gauge.
    void set_current(int percent) override;
    void set_caption(const std::string& text) override;
    void process_events() override;
    void HideGauge();
    void AfterEdit(bool ok);
    void SyncSession();

    std::unique_ptr<TMMEditSession> session_;
    TMMEnhancedWave reference_;
    TMMMarkerList reference_markers_;
    TMMCutList reference_cuts_;
    TMMEnvelope reference_envelope_;
    int reference_envelope_observer_ = 0;
    // Where the envelope pop-up was opened: pane, frame, gain, point (-1 none).
    int envelope_popup_pane_ = 0;
    int64_t envelope_popup_frame_ = 0, envelope_popup_point_ = -1;
    int32_t envelope_popup_gain_ = 0;
    bool maximised_ = false;
    QRect normal_geometry_;
    TMMEnhancedWave working_;  // what plays: a copy of the active pane's wave
    TMMEnhancedWave scope_;    // the same file, read at the locator for the oscilloscope
    TMMEnhancedWaveLink wave_link_;
    TMMTimeStretch stretch_;
    TMMWaveOut wave_out_;
    std::string settings_path_;
    // The typing-along keys that change the speed here too ("Ctrl+F7", ...).
    QKeySequence slower_key_, faster_key_;
    TEditorPane *upper_ = nullptr, *lower_ = nullptr;
    QWidget* panes_ = nullptr;
    std::map<std::string, QAction*, std::less<>> items_;
    int playing_pane_ = 0;
    int64_t stream_base_ = 0;  // stream offset the device's position counts from
    bool gauge_shown_ = false;
    bool rendering_ = false;
    int64_t popup_frame_ = 0;
    bool closing_ = false;
    // form_edit_play.cpp: the playing pane's mouse.
    bool PlaybackMouse(TEditorPane& view, int pane, QWidget* panel, QEvent* event);
    void MarkerDragEnd(TEditorPane& view, int pane);
    int64_t drag_start_ = 0;  // where the locator drag began
    int64_t loop_start_ = 0;  // stream offset a looping device goes on from
};

}  // namespace murrel
