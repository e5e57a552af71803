#pragma once
// The browser's commands on files: copy and paste through the clipboard in the
// formats the desktop's file managers use, new folder, rename, delete (to the
// trash), properties, and drag and drop out of the list and onto the list and
// the folder tree. Every question goes through the dialog service; every
// change of the file system through shell_file_operation.
//
// How to embed: construct one with the browser after the browser; it fills
// the browser's hooks. Give it the progress window through `owner` and the
// file that plays or records through `busy_path`. The new-folder button calls
// button_newfolderClick.
#include <QObject>
#include <QPoint>

#include <functional>
#include <string>
#include <vector>

#include "filemanager/file_operation.h"

class QMimeData;
class QWidget;
class QTreeWidgetItem;

namespace murrel {

class TFileBrowser;

// The files a clipboard or a drop offers; `cut` when another file manager cut
// them (they are to be moved).
struct OfferedFiles {
    std::vector<std::string> paths;
    bool cut = false;
};

// Reads x-special/gnome-copied-files ("copy" or "cut", then one URI a line),
// application/x-kde-cutselection and text/uri-list; only local files count.
OfferedFiles offered_files(const QMimeData* data);
// The clipboard's and a drag's data for `paths`: text/uri-list,
// x-special/gnome-copied-files ("copy" + URIs, no trailing newline) and
// application/x-kde-cutselection ("0").
QMimeData* files_mime_data(const std::vector<std::string>& paths);

class TFileCommands : public QObject {
    Q_OBJECT
public:
    explicit TFileCommands(TFileBrowser& browser);
    ~TFileCommands() override;

    FileOpOwner owner;
    // The file that plays or records now; empty: none.
    std::function<std::string()> busy_path;

    bool own_drag = false;
    std::vector<std::string> drag_files;  // the drag source's files
    OfferedFiles drop_files;              // the list's drop target: last drop or clipboard reading

    // Handlers.
    void button_copyClick();
    void button_pasteClick();
    void button_newfolderClick();
    void P_hddrenameClick() { RenameSelected(); }
    void P_hdddelClick();
    void P_hddattrClick() { ShowProperties(); }
    void file_mycomputerMouseMove(Qt::MouseButtons buttons, const QPoint& position);
    void DropFileTarget_filelistDrop();
    // `node` is the node under the drop point (null: none).
    void DropFileTarget_directoryDrop(QTreeWidgetItem* node);

    // List operations.
    int CreateNewFolder();
    void RenameSelected();
    void DeleteSelected();
    void ShowProperties();
    void CopyToClipboard();
    void PasteFromClipboard();
    // The tree's Delete key.
    bool delete_tree_folder(const std::string& folder);
    // Finishes a rename the list's editor confirmed.
    void list_edited(const QString& old_path, const QString& caption);

    // The status line's message when a paste or drop finds no folder.
    static constexpr const char* kNoFolderHere = "Nothing can be pasted or dropped here: open a folder first.";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool copy_into(const std::vector<std::string>& files, std::string folder, bool move = false);
    std::vector<std::string> selected_paths() const;
    // A refusal box when `paths` hold what plays or records; true when refused.
    bool refuse_busy(const std::vector<std::string>& paths) const;
    bool drops_refused(bool onto_tree) const;
    void auto_scroll(QWidget* viewport, const QPoint& at);

    TFileBrowser& browser_;
    std::string renaming_;  // the remembered full path of the entry being renamed
    bool renaming_dir_ = false;
};

}  // namespace murrel
