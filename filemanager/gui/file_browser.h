#pragma once
// The file browser of the main window: the drive selector, the address field,
// the filter box, the folder tree, the file list, the information line and the
// list's pop-up menu, kept in step by the handlers below.
//
// How to embed: construct one TFileBrowser with the main window as `parent`.
// It creates the controls as children of `parent` but lays nothing out: put
// `combo_drive`, `edit_directory` and `combo_filefilter` into the 32-pixel
// strip (Panel_layer2) beside your own speed buttons, `directory_mycomputer`
// and `file_mycomputer` either side of Splitter2, and `Panel_downcaption`
// under the list. Connect the speed buttons to `button_onelabelupClick` and
// `button_fileviewtypeClick` (button_newfolder, button_copy and button_paste
// belong to the file operations). Fill `host` with what the rest of the
// program does (play, convert, edit, mail, file operations, player state);
// hooks left empty make their command do nothing. At start-up call
// `open_at(data_dir)`, when the window is first shown `FormShow()`, and when
// closing save `folder_to_remember()`. The captions of `popup_file`'s actions
// (P_hddopen …) are the catalogue's to set.
#include <QObject>
#include <QLocale>
#include <QPoint>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filemanager/file_probe.h"
#include "filemanager/filemanager_texts.h"
#include "filemanager/popup_menu.h"
#include "filemanager/volumes.h"
#include "filemanager/gui/directory_tree.h"
#include "filemanager/gui/drive_combo.h"
#include "filemanager/gui/file_list.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QWidget;

namespace murrel {

class MountWatcher;

// What the browser asks of the rest of the program.
struct BrowserHost {
    std::function<bool()> recording;    // a recording runs or is paused
    std::function<bool()> player_open;  // voice output device or WAV player playing or paused
    std::function<void()> play_selection;
    std::function<void()> convert_selection;
    std::function<void()> edit_selection;
    std::function<void()> mail_selection;
    std::function<void()> copy_selection;
    std::function<void()> paste;
    std::function<void()> rename_selected;
    std::function<void()> delete_selected;
    std::function<void()> show_properties;
    // Number of files in the clipboard's file list (the file operations read
    // it); empty: local files among the clipboard's URLs.
    std::function<int()> clipboard_file_count;
};

struct BrowserOptions {
    VolumeSources volumes;
    std::string texts_path;  // empty: FileManager.ini beside the program
    FileProbe probe;         // empty: get_fileinfo
    QLocale locale = QLocale::system();
};

class TFileBrowser : public QObject {
    Q_OBJECT
public:
    explicit TFileBrowser(QWidget* parent, BrowserOptions options = {});
    ~TFileBrowser() override;

    // Controls, named as in the main window.
    TDVDrivesCombo* combo_drive = nullptr;
    QLineEdit* edit_directory = nullptr;
    QComboBox* combo_filefilter = nullptr;
    TDirectoryTree* directory_mycomputer = nullptr;
    TFileList* file_mycomputer = nullptr;
    QLabel* Panel_downcaption = nullptr;
    QMenu* popup_file = nullptr;
    QAction *P_hddopen = nullptr, *P_hddconvert = nullptr, *P_hddedit = nullptr, *P_hddmail = nullptr,
            *P_hddcopy = nullptr, *P_hddpaste = nullptr, *P_hddrename = nullptr, *P_hdddel = nullptr,
            *P_hddattr = nullptr, *P_hddallsel = nullptr, *P_hddrefresh = nullptr;

    BrowserHost host;
    bool paste_available = false;
    // Files in the list's drop target: the last clipboard reading or the last
    // drop on the list (the file operations set it on a drop).
    int drop_file_count = 0;
    QPoint press_position;  // where the last mouse press in the list was

    VolumeTable& volumes() { return *volumes_; }
    const FileManagerTexts& texts() const { return *texts_; }
    MountWatcher& watcher() { return *watcher_; }

    // Start-up: tree and list at `folder`, filter "*.*" (also added to its list).
    void open_at(const std::string& folder);
    // The tree and the list at the folder of `path` with the file selected, the
    // filter widened to "*.*" when it hid the file; false when it is not there.
    bool show_file(const std::string& path);
    // First show: the list takes the filter box's text as mask and is refreshed.
    void FormShow();
    // What closing saves as the next start folder: the address field's text when
    // it is an existing folder, else the list's folder.
    std::string folder_to_remember() const;

    // Handlers.
    void combo_driveChange();
    void edit_directoryKeyDown(int key);
    void combo_filefilterClick();
    void combo_filefilterChange();
    void combo_filefilterKeyDown(int key);
    void button_onelabelupClick();
    void button_fileviewtypeClick();
    void directory_mycomputerDirChange(const QString& selected_path);
    void directory_mycomputerClick();
    void directory_mycomputerEdited();
    void directory_mycomputerKeyDown(int key);
    void file_mycomputerInserted(const QString& full_path, int row);
    void file_mycomputerSelectItem();
    void file_mycomputerDblClick();
    void file_mycomputerKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void file_mycomputerMouseDown(Qt::MouseButton button, const QPoint& position);
    void set_filepopupmenu(int kind);
    // The two device-change cases: a volume arrived or left.
    void device_changed();

    // The items' enabled state as it stands.
    PopupItems popup_state() const;
    // The information line's text.
    std::string info_line() const;

private:
    void apply_popup_state(const PopupItems& items);
    bool call(const std::function<void()>& hook) const;
    std::string warning_for(const std::string& display_name) const;
    bool player_open() const { return host.player_open && host.player_open(); }
    int read_clipboard_file_count() const;

    std::shared_ptr<VolumeTable> volumes_;
    std::shared_ptr<FileManagerTexts> texts_;
    FileProbe probe_;
    QLocale locale_;
    MountWatcher* watcher_ = nullptr;
    bool in_filter_change_ = false;
};

}  // namespace murrel
