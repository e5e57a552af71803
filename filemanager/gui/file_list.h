#pragma once
// The file list: the entries of one folder (or the volumes, for "Drives") in
// one of four view styles. Icon, small-icon and list styles are drawn by a
// list view, the report style (columns Name, Size, Type, Modified, Attributes)
// by a tree view; both show the same model and share one selection, so
// switching styles keeps the selection.
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filemanager/directory_listing.h"

class QFileSystemWatcher;
class QItemSelectionModel;
class QTimer;
class QListView;
class QStackedWidget;
class QTreeView;
class QModelIndex;

namespace murrel {

class FileEntryModel;
class FileManagerTexts;
class TDirectoryTree;
class VolumeTable;

enum class ViewStyle { Icon, SmallIcon, List, Report };

class TFileList : public QWidget {
    Q_OBJECT
public:
    explicit TFileList(QWidget* parent = nullptr);
    ~TFileList() override;

    void setVolumeTable(std::shared_ptr<VolumeTable> table);
    void setTexts(std::shared_ptr<const FileManagerTexts> texts);
    void setDirTree(TDirectoryTree* tree) { tree_ = tree; }
    // Opens a file with the desktop's program; false when that fails.
    std::function<bool(const std::string& path)> open_file;

    // Always with a trailing '/', or "Drives". Assignment is ignored when equal
    // without regard to case or when the path is no existing folder; "Drives"
    // in any case lists the volumes.
    const std::string& Directory() const { return directory_; }
    void setDirectory(const std::string& path);

    const std::string& Mask() const { return mask_; }
    // Refills the list when the value changed.
    void setMask(const std::string& mask);

    // Clears and refills from Directory and Mask.
    void RefreshList();
    // Lists the parent folder (the volumes from a volume's own folder) and
    // opens the tree there.
    void OneLevelUp();
    // Folders and volumes are listed (a volume that is not ready is refused
    // with a warning); a file is opened by the desktop.
    void OpenSelected();

    ViewStyle viewStyle() const { return style_; }
    void setViewStyle(ViewStyle style);
    // Widths of the detail columns right of the name (which takes the rest),
    // left to right: a width the user chose by dragging, or 0 for a column
    // that fits its contents at every refill. Setting takes as many as there
    // are such columns; a width under the view's minimum grows to it.
    std::vector<int> columnWidths() const;
    void setColumnWidths(const std::vector<int>& widths);

    int count() const;
    int SelCount() const;
    // Row of the focused selected entry, else the first selected one; -1 for none.
    int Selected() const;
    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    void selectAll();
    void clearSelection();
    int currentRow() const;
    bool IsEditing() const;
    // Opens the entry's name for typing over; when the user confirms a text,
    // Edited is raised with the entry's path as it was.
    void BeginEdit(int row);

    const DirEntry& entry(int row) const { return entries_[static_cast<size_t>(row)]; }
    QString caption(int row) const;
    QString subItem(int row, int column) const;  // 1 size, 2 type, 3 modified, 4 attributes
    // Replaces an entry's type text (the Type column).
    void setTypeText(int row, const std::string& text);

    // The view currently shown (for focus, events and tests).
    QWidget* activeView() const;
    QListView* listView() const { return list_view_; }
    QTreeView* reportView() const { return report_view_; }

    // Refills the list and selects again the entries that are still there; the
    // listed folder's watcher calls it when other programs change the folder.
    void refresh_keeping_selection();

    static constexpr int kLargeIcon = 48;
    static constexpr int kSmallIcon = 16;
    static constexpr int kIconCellWidth = 104;

signals:
    void OnInserted(const QString& full_path, int row);
    void OnSelectItem();
    void DblClick();
    void KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void MouseDown(Qt::MouseButton button, const QPoint& position);
    void MouseMove(Qt::MouseButtons buttons, const QPoint& position);
    void Edited(const QString& old_full_path, const QString& new_caption);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill(std::vector<DirEntry> entries);
    // The Name column takes the report view's width the other columns leave.
    void fit_name_column();
    // The detail columns: chosen widths kept, the others fitted to contents.
    void fit_detail_columns();
    void fit_list_grid();
    void watch_listed_folder();
    void select_item_changed();
    void apply_headers();
    void warn_not_ready(const DirEntry& e) const;

    std::shared_ptr<VolumeTable> table_;
    std::shared_ptr<const FileManagerTexts> texts_;
    QPointer<TDirectoryTree> tree_;
    std::string directory_;
    std::string mask_ = "*.*";
    ViewStyle style_ = ViewStyle::Report;
    std::vector<DirEntry> entries_;
    std::vector<int> chosen_widths_;  // per detail column, 0 = fits its contents
    bool fitting_ = false;            // our own resizes are no choice of the user's

    FileEntryModel* model_ = nullptr;
    QItemSelectionModel* selection_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QListView* list_view_ = nullptr;
    QTreeView* report_view_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* watch_timer_ = nullptr;  // coalesces the watcher's bursts
    bool quiet_selection_ = false;   // while a refill restores the selection
};

}  // namespace murrel
