#include "shell/gui/program_windows.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>

#include "audio/devices/ui_dispatcher.h"
#include "filemanager/gui/file_commands.h"
#include "filemanager/gui/file_list.h"
#include "player/gui/player_panel.h"
#include "player/playerstrip.h"
#include "player/remote/gui/desktop_controls.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/profile.h"
#include "ui/accessible.h"
#include "ui/bitmap_button.h"
#include "ui/bitmap_slider.h"
#include "ui/panels.h"
#include "shell/gui/form_about.h"
#include "shell/gui/form_edit.h"
#include "shell/gui/form_main.h"
#include "shell/gui/mail_command.h"
#include "voicefile/gui/batch_conversion.h"
#include "voicefile/gui/form_convdialog.h"
#include "voicefile/gui/form_progress.h"

namespace murrel {

// The file list as the batch conversion sees it.
class FileListSelection final : public BatchSelection {
public:
    explicit FileListSelection(TFileList& list) : list_(list) {}
    std::string folder() const override { return list_.Directory(); }
    int count() const override { return list_.count(); }
    std::string name(int row) const override { return list_.caption(row).toStdString(); }
    bool selected(int row) const override { return list_.isSelected(row); }
    void deselect(int row) override { list_.setSelected(row, false); }
    void refresh() override { list_.RefreshList(); }

private:
    TFileList& list_;
};

namespace {
// Saves the window's first paint and ends the program.
class FirstPaintShot : public QObject {
public:
    FirstPaintShot(QWidget* window, QString path) : QObject(window), window_(window), path_(std::move(path)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            QTimer::singleShot(0, window_, [this] {
                const bool saved = window_->grab().save(path_, "PNG");
                QApplication::exit(saved ? 0 : 3);
            });
        }
        return false;
    }

private:
    QWidget* window_;
    QString path_;
    bool done_ = false;
};
}  // namespace

ProgramWindows::ProgramWindows(const WindowTexts& main_texts) {
    ui::install_accessibility();
    main = std::make_unique<TForm_main>();
    main->FormCreate(main_texts);
    progress = std::make_unique<TForm_progress>();
    // The conversion dialog belongs to the main window and opens over it.
    convdialog = std::make_unique<TForm_convdialog>(main.get());
    edit = std::make_unique<Tform_edit>();
    edit->FormCreate(getmessage_frominifile(CatalogueWindow::Editor));
    edit->ProgressDialog = progress.get();
    if (!app().ini_path.empty()) edit->UseSettingsFile(app().ini_path);
    about = std::make_unique<TForm_about>(main.get());

    main->set_edit_window(edit.get());
    progress->set_windows(main.get(), edit.get());
    selection_ = std::make_unique<FileListSelection>(*main->browser().file_mycomputer);
    batch_ = std::make_unique<TBatchConversion>(*convdialog, *progress, *selection_);
    batch_->recording = [this] { return main->hooks.recording && main->hooks.recording(); };
    batch_->stop_playback = [this] {
        if (main->hooks.stop) main->hooks.stop();
    };
    main->hooks.convert = [this] { batch_->button_convertClick(); };
    main->hooks.about = [this] { about->exec(); };
    build_player();
    remote = std::make_unique<DesktopControls>(*player, main.get(), app().ini_path, ui_dispatcher());
    remote->OnOpenFile = [this](const std::string& path) { open_files({path}); };
    main->hooks.save_settings = [this] { save_settings(); };
    restore_settings();
}

void ProgramWindows::build_player() {
    player = std::make_unique<PlayerStrip>();
    // Before the panel is built: its volume slider starts at the volume read here.
    player->probe_sound_output();
    TFileList& list = *main->browser().file_mycomputer;
    player->SelectedFile = [&list]() -> std::optional<std::string> {
        const int row = list.Selected();
        if (row < 0 || list.entry(row).kind != EntryKind::File) return std::nullopt;
        const std::string path = list.entry(row).full_path;
        // An entry another program removed or renamed since the list was
        // filled: the list catches up and nothing is played, rather than the
        // player calling a file that is not there an invalid one.
        if (!QFileInfo(QString::fromStdString(path)).isFile()) {
            list.refresh_keeping_selection();
            show_warning(path + " no longer exists; the list has been refreshed.");
            return std::nullopt;
        }
        return path;
    };
    player->ListDirectory = [&list] { return list.Directory(); };
    player->RefreshList = [&list] { list.RefreshList(); };

    player_panel = std::make_unique<PlayerPanel>(*player, main->Panel1, main->MMPanelFill_control);
    std::array<QAbstractButton*, kTransportButtons> buttons{};
    auto set = [&buttons](TransportButton b, QAbstractButton* button) { buttons[static_cast<int>(b)] = button; };
    set(TransportButton::Convert, main->button_convert);
    set(TransportButton::WavEdit, main->button_wavedit);
    set(TransportButton::Email, main->button_email);
    set(TransportButton::Help, main->button_help);
    set(TransportButton::About, main->button_about);
    set(TransportButton::ShqRecord, main->button_shqrecord);
    set(TransportButton::HqRecord, main->button_hqrecord);
    set(TransportButton::SpRecord, main->button_sprecord);
    set(TransportButton::Play, main->button_play);
    set(TransportButton::Pause, main->button_pause);
    player_panel->bind_buttons(buttons, main->button_stop);
    // Speed, rewind and where each file was left are kept in the INI file;
    // the keys for typing along are the main window's shortcuts.
    if (!app().ini_path.empty()) {
        player->use_settings_file(app().ini_path, "MainSpeed");
        for (const QString& refused : player_panel->install_keys(main.get(), read_player_keys(ProfileFile(app().ini_path))))
            qWarning("playback key ignored (no key, or one taken already): %s", qPrintable(refused));
    }
    // The window's layout keeps the position slider's right edge in place.
    main->FormResize();

    PlayerStrip& strip = *player;
    main->hooks.stop = [&strip] { strip.button_stopClick(); };
    main->hooks.recording = [&strip] { return strip.recording(); };
    main->hooks.devices_open = [&strip] {
        return strip.MMWaveOut_vkdplay().IsOpen() || strip.MMWavePlayer().IsOpen();
    };
    main->browser().host.play_selection = [&strip] { strip.button_playClick(); };
    main->commands().busy_path = [&strip] { return strip.playing_path(); };
    main->commands().owner.open_progress = [this]() -> ConversionProgress* {
        progress->set_caption("Copying");
        progress->set_directory("");
        progress->set_target("");
        progress->set_filecount("");
        progress->center_on_desktop();
        progress->show();
        return progress.get();
    };
    main->commands().owner.close_progress = [this] { progress->close(); };

    mail = std::make_unique<TMailCommand>(main->browser(), *progress);
    mail->stop_playback = [&strip] { strip.button_stopClick(); };
    mail->show_main = [this](bool shown) { main->setVisible(shown); };
    QObject::connect(main->button_email, &QAbstractButton::clicked, main.get(), [this] { mail->button_emailClick(); });
    main->browser().host.mail_selection = [this] { mail->button_emailClick(); };
    wire_editor();
}

void ProgramWindows::wire_editor() {
    TFileList& list = *main->browser().file_mycomputer;
    edit->SetMainVolume = [this](uint32_t volume) { player->MMWaveOut_vkdplay().SetVolume(volume); };
    edit->OnClosed = [this] {
        main->show();
        main->Timer_banner->start();
    };
    open_editor_ = [this, &list] {
        if (main->hooks.recording && main->hooks.recording()) return;
        player->button_stopClick();
        edit->InitialFolder = list.Directory();
        std::string path;
        const int row = list.Selected();
        if (row >= 0 && list.entry(row).kind == EntryKind::File) path = list.entry(row).full_path;
        const int volume = player_panel->trackbar_wavvolume ? player_panel->trackbar_wavvolume->value() : 65536;
        main->hide();
        edit->ShowFromMain(path, volume);
    };
    QObject::connect(main->button_wavedit, &QAbstractButton::clicked, edit.get(), [this] { open_editor_(); });
    main->browser().host.edit_selection = [this] { open_editor_(); };
}

void ProgramWindows::edit_file(const std::string& path) {
    if (main->hooks.recording && main->hooks.recording()) {
        show_warning(path + " cannot be opened in the Voice Editor while a recording is running.");
        return;
    }
    // The list follows even while the editor is open, so that closing the
    // editor returns to the file's folder.
    if (!main->browser().show_file(path)) {
        show_warning(path + " cannot be opened: there is no such file.");
        return;
    }
    if (!edit->isVisible()) {
        open_editor_();
        return;
    }
    edit->InitialFolder = main->browser().file_mycomputer->Directory();
    edit->ShowFromMain(path, edit->trackbar_wavvolume ? edit->trackbar_wavvolume->value() : 65536);
}

void ProgramWindows::take_handover(const Handover& handover) {
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        QTimer::singleShot(250, main.get(), [this, handover] { take_handover(handover); });
        return;
    }
    if (!handover.edit.empty()) {
        edit_file(handover.edit);
        return;
    }
    if (edit->isVisible()) {
        // The main window stays hidden while the editor is open, and its
        // player would play over the editor: the files wait in the list.
        edit->raise();
        edit->activateWindow();
        for (const std::string& file : handover.files)
            if (main->browser().show_file(file)) break;
        return;
    }
    main->showNormal();
    main->raise();
    main->activateWindow();
    open_files(handover.files);
}

ProgramWindows::~ProgramWindows() {
    if (player) player->button_stopClick();
    remote.reset();
    mail.reset();
    player_panel.reset();
    player.reset();
    batch_.reset();
    about.reset();
    edit.reset();
    convdialog.reset();
    progress.reset();
    main.reset();
}

void ProgramWindows::open_files(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        if (!main->browser().show_file(file)) {
            show_warning(file + " cannot be opened: there is no such file.");
            continue;
        }
        // What plays now gives way, as a double click on another row would.
        player->button_stopClick();
        player->button_playClick();
        return;
    }
}

void ProgramWindows::show() {
    if (!screenshot_path.empty()) new FirstPaintShot(main.get(), QString::fromStdString(screenshot_path));
    main->show();
}

}  // namespace murrel
