#pragma once
// The program's windows, created in their order (main window, progress
// dialog, conversion dialog, Voice Editor, about box) after start-up, each
// reading its catalogue keys as it is created, and wired to one another.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/catalogue.h"
#include "shell/instance/single_instance.h"

namespace murrel {

class TBatchConversion;
class TForm_about;
class TForm_convdialog;
class TForm_main;
class TForm_progress;
class Tform_edit;
class FileListSelection;
class PlayerStrip;
class PlayerPanel;
class TMailCommand;
class DesktopControls;

class ProgramWindows {
public:
    explicit ProgramWindows(const WindowTexts& main_texts);
    ~ProgramWindows();

    // When set, the main window's first paint is saved to this PNG file and
    // the program ends (used by the screenshot test and the start-up timing).
    std::string screenshot_path;

    void show();
    // Files named on the command line (this start's or a later one's): the
    // first that exists is shown in the list and played; one that does not is
    // reported.
    void open_files(const std::vector<std::string>& files);
    // A file for the Voice Editor's lower pane, opened as the Editing button
    // opens the file selected in the list: the list goes to the file's folder
    // and selects it, the main window hides and the editor shows it. An editor
    // already open asks about its changed document first, as its own open does.
    void edit_file(const std::string& path);
    // What a later start of the program handed over: brings the window in use
    // forward with the files it named. Waits while a modal dialog is open, so
    // that no question being answered is overtaken.
    void take_handover(const Handover& handover);

    std::unique_ptr<TForm_main> main;
    std::unique_ptr<TForm_progress> progress;
    std::unique_ptr<TForm_convdialog> convdialog;
    std::unique_ptr<Tform_edit> edit;
    std::unique_ptr<TForm_about> about;
    // The player strip's logic and its widgets in the main window's Panel1 and
    // bottom strip; the panel goes before the strip, both before the window.
    std::unique_ptr<PlayerStrip> player;
    std::unique_ptr<PlayerPanel> player_panel;
    std::unique_ptr<TMailCommand> mail;
    // The foot pedal and the desktop's media-player controls.
    std::unique_ptr<DesktopControls> remote;

    // What the windows remember between runs: the main window's place and
    // state, the splitter, the list's view and columns, the conversion
    // dialog's choices. Restoring ignores what does not fit any more.
    void restore_settings();
    void save_settings() const;  // throws ProfileWriteError

private:
    void build_player();
    // The main window's edit command and the editor's way back.
    void wire_editor();

    // The main window's edit command: stops playback, hides the main window
    // and shows the editor with the list's selected file.
    std::function<void()> open_editor_;
    std::unique_ptr<FileListSelection> selection_;
    std::unique_ptr<TBatchConversion> batch_;
};

}  // namespace murrel
