#include "filemanager/gui/file_commands.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QScrollBar>
#include <QTreeView>
#include <QUrl>

#include "filemanager/gui/file_browser.h"
#include "filemanager/gui/properties_dialog.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"

namespace murrel {

namespace {

constexpr const char* kGnomeFormat = "x-special/gnome-copied-files";
constexpr const char* kKdeCutFormat = "application/x-kde-cutselection";
constexpr int kDragDistance = 10;

std::string name_of(const std::string& path) { return QFileInfo(QString::fromStdString(path)).fileName().toStdString(); }

std::string without_slash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

OfferedFiles offered_files(const QMimeData* data) {
    OfferedFiles offer;
    if (!data) return offer;
    auto add = [&offer](const QUrl& url) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) offer.paths.push_back(url.toLocalFile().toStdString());
    };
    if (data->hasFormat(QLatin1String(kGnomeFormat))) {
        const QList<QByteArray> lines = data->data(QLatin1String(kGnomeFormat)).split('\n');
        if (!lines.isEmpty()) {
            offer.cut = lines.front().trimmed() == "cut";
            for (qsizetype i = 1; i < lines.size(); ++i)
                if (!lines[i].trimmed().isEmpty()) add(QUrl::fromEncoded(lines[i].trimmed()));
        }
    }
    if (offer.paths.empty()) {
        for (const QUrl& url : data->urls()) add(url);
        offer.cut = data->data(QLatin1String(kKdeCutFormat)).trimmed() == "1";
    }
    return offer;
}

QMimeData* files_mime_data(const std::vector<std::string>& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    QByteArray gnome("copy");
    for (const std::string& p : paths) {
        const QUrl url = QUrl::fromLocalFile(QString::fromStdString(p));
        urls << url;
        gnome += '\n' + url.toEncoded();
    }
    data->setUrls(urls);
    data->setData(QLatin1String(kGnomeFormat), gnome);
    data->setData(QLatin1String(kKdeCutFormat), "0");
    return data;
}

TFileCommands::TFileCommands(TFileBrowser& browser) : QObject(&browser), browser_(browser) {
    BrowserHost& host = browser.host;
    host.copy_selection = [this] { button_copyClick(); };
    host.paste = [this] { button_pasteClick(); };
    host.rename_selected = [this] { RenameSelected(); };
    host.delete_selected = [this] { P_hdddelClick(); };
    host.show_properties = [this] { ShowProperties(); };
    host.clipboard_file_count = [] {
        return static_cast<int>(offered_files(QApplication::clipboard()->mimeData()).paths.size());
    };
    browser.directory_mycomputer->delete_folder = [this](const std::string& f) { return delete_tree_folder(f); };
    TFileList* list = browser.file_mycomputer;
    connect(list, &TFileList::Edited, this, &TFileCommands::list_edited);
    connect(list, &TFileList::MouseMove, this, &TFileCommands::file_mycomputerMouseMove);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(list->listView()),
                                    static_cast<QAbstractItemView*>(list->reportView()),
                                    static_cast<QAbstractItemView*>(browser.directory_mycomputer)}) {
        view->setAcceptDrops(true);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
}

TFileCommands::~TFileCommands() = default;

std::vector<std::string> TFileCommands::selected_paths() const {
    std::vector<std::string> paths;
    const TFileList& list = *browser_.file_mycomputer;
    if (is_drives_path(list.Directory())) return paths;
    const std::string folder = AddSlash(browser_.directory_mycomputer->SelectedPath());
    for (int row = 0; row < list.count(); ++row)
        if (list.isSelected(row)) paths.push_back(folder + list.caption(row).toStdString());
    return paths;
}

// --- the clipboard ------------------------------------------------------------

void TFileCommands::button_copyClick() {
    drag_files = selected_paths();
    CopyToClipboard();
    drag_files.clear();
}

void TFileCommands::CopyToClipboard() {
    if (drag_files.empty()) return;
    QApplication::clipboard()->setMimeData(files_mime_data(drag_files));
    browser_.drop_file_count = static_cast<int>(drag_files.size());
    browser_.paste_available = true;
}

void TFileCommands::PasteFromClipboard() { drop_files = offered_files(QApplication::clipboard()->mimeData()); }

void TFileCommands::button_pasteClick() {
    PasteFromClipboard();
    if (drop_files.paths.empty()) return;
    TFileList& list = *browser_.file_mycomputer;
    if (is_drives_path(list.Directory()) || list.Directory().empty()) {
        browser_.Panel_downcaption->setText(QLatin1String(kNoFolderHere));
        return;
    }
    const OfferedFiles pasted = drop_files;
    const bool moved = copy_into(pasted.paths, list.Directory(), pasted.cut);
    // A cut is used once, as in the file manager it came from.
    if (pasted.cut && moved) QApplication::clipboard()->clear();
    own_drag = false;
    list.setMask(browser_.combo_filefilter->currentText().toStdString());
    list.RefreshList();
    for (int row = 0; row < list.count(); ++row)
        for (const std::string& p : pasted.paths)
            if (list.caption(row).compare(QString::fromStdString(name_of(p)), Qt::CaseInsensitive) == 0)
                list.setSelected(row, true);
}

bool TFileCommands::copy_into(const std::vector<std::string>& files, std::string folder, bool move) {
    if (files.empty()) return false;
    folder = AddSlash(folder);
    const std::string destination = files.size() == 1 ? folder + name_of(files.front()) : folder;
    return shell_file_operation(owner, move ? FileOp::Move : FileOp::Copy, files, destination);
}

// --- new folder, rename, delete, properties -------------------------------------

int TFileCommands::CreateNewFolder() {
    TFileList& list = *browser_.file_mycomputer;
    if (is_drives_path(list.Directory()) || list.Directory().empty()) {
        browser_.Panel_downcaption->setText(QLatin1String(kNoFolderHere));
        return -1;
    }
    std::string base = browser_.texts().text(FileManagerTexts::kNewFolder);
    if (base.empty()) base = "New folder";
    const std::string first = AddSlash(list.Directory()) + base;
    std::string name = first;
    for (int n = 2; QFileInfo::exists(QString::fromStdString(name)); ++n) name = first + "(" + std::to_string(n) + ")";
    if (!QDir().mkdir(QString::fromStdString(name))) {
        show_error(browser_.texts().text(8).empty() ? "The folder cannot be created." : browser_.texts().text(8));
        return -1;
    }
    list.RefreshList();
    list.clearSelection();
    int index = 0;
    for (int row = 0; row < list.count(); ++row)
        if (list.entry(row).full_path == name) {
            list.setSelected(row, true);
            index = row;
        }
    browser_.directory_mycomputer->ReloadTree();
    browser_.directory_mycomputer->OpenPath(name);
    return index;
}

void TFileCommands::button_newfolderClick() {
    const int index = CreateNewFolder();
    if (index < 0) return;
    TFileList& list = *browser_.file_mycomputer;
    list.OneLevelUp();
    list.clearSelection();
    list.setSelected(index, true);
    list.BeginEdit(list.Selected());
}

void TFileCommands::RenameSelected() {
    TFileList& list = *browser_.file_mycomputer;
    const int row = list.Selected();
    if (row < 0 || list.entry(row).kind == EntryKind::Drive) return;
    if (list.entry(row).attributes == "R") {
        show_warning(browser_.texts().text(10));
        return;
    }
    renaming_ = list.entry(row).full_path;
    renaming_dir_ = list.entry(row).kind == EntryKind::Dir;
    list.BeginEdit(row);
}

void TFileCommands::list_edited(const QString& old_path, const QString& caption) {
    TFileList& list = *browser_.file_mycomputer;
    const std::string from = old_path.toStdString();
    const bool is_dir = QFileInfo(old_path).isDir();
    const QString folder = QFileInfo(old_path).path();
    const std::string to = (folder == QLatin1String("/") ? folder : folder + '/').toStdString() + caption.toStdString();
    if (caption.isEmpty() || QString::fromStdString(to).compare(old_path, Qt::CaseInsensitive) == 0) {
        list.RefreshList();
        return;
    }
    if (caption.contains('/') || caption == QLatin1String(".") || caption == QLatin1String("..")) {
        show_error(browser_.texts().text(9).empty() ? "The name is not valid." : browser_.texts().text(9));
    } else if (QFileInfo::exists(QString::fromStdString(to)) || QFileInfo(QString::fromStdString(to)).isSymLink()) {
        show_error("\"" + caption.toStdString() + "\" " + browser_.texts().text(3));
    } else {
        shell_file_operation(owner, FileOp::Rename, {from}, to);
    }
    renaming_.clear();
    list.RefreshList();
    if (is_dir) {
        browser_.directory_mycomputer->ReloadTree();
        browser_.directory_mycomputer->OpenPath(folder.toStdString());
    }
}

bool TFileCommands::refuse_busy(const std::vector<std::string>& paths) const {
    const std::string busy = busy_path ? busy_path() : std::string();
    if (busy.empty()) return false;
    for (const std::string& p : paths)
        if (path_within(busy, without_slash(p))) {
            show_error("\"" + name_of(without_slash(p)) + "\" cannot be deleted: it holds " + busy +
                       ", which is playing or recording. Stop it first.");
            return true;
        }
    return false;
}

void TFileCommands::P_hdddelClick() {
    if (browser_.host.player_open && browser_.host.player_open()) return;
    if (browser_.file_mycomputer->SelCount() > 0) DeleteSelected();
}

void TFileCommands::DeleteSelected() {
    TFileList& list = *browser_.file_mycomputer;
    std::vector<std::string> paths;
    for (int row = 0; row < list.count(); ++row)
        if (list.isSelected(row) && list.entry(row).kind != EntryKind::Drive) paths.push_back(list.entry(row).full_path);
    if (paths.empty() || refuse_busy(paths)) return;
    shell_file_operation(owner, FileOp::Delete, paths, "");
    const std::string dir = list.Directory();
    list.RefreshList();
    browser_.directory_mycomputer->ReloadTree();
    browser_.directory_mycomputer->OpenPath(dir);
}

bool TFileCommands::delete_tree_folder(const std::string& folder) {
    const std::string path = without_slash(folder);
    if (!QFileInfo(QString::fromStdString(path)).isDir()) {
        QApplication::beep();
        show_error(path + browser_.texts().text(7));
        return false;
    }
    if (refuse_busy({path})) return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = shell_file_operation(owner, FileOp::Delete, {path}, "");
    QApplication::restoreOverrideCursor();
    return ok;
}

void TFileCommands::ShowProperties() {
    const TFileList& list = *browser_.file_mycomputer;
    const int row = list.Selected();
    if (row < 0) return;
    const DirEntry& e = list.entry(row);
    const std::string info = list.SelCount() == 1 ? browser_.info_line() : std::string();
    show_properties_dialog(browser_.file_mycomputer->window(), e.full_path, e.type_name, info);
}

// --- drag and drop -------------------------------------------------------------

void TFileCommands::file_mycomputerMouseMove(Qt::MouseButtons buttons, const QPoint& position) {
    if (buttons != Qt::LeftButton && buttons != Qt::RightButton) return;
    const QPoint d = position - browser_.press_position;
    if (std::abs(d.x()) < kDragDistance && std::abs(d.y()) < kDragDistance) return;
    std::vector<std::string> paths = selected_paths();
    if (paths.empty()) return;
    drag_files = std::move(paths);
    own_drag = true;
    auto* drag = new QDrag(browser_.file_mycomputer);
    drag->setMimeData(files_mime_data(drag_files));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
    own_drag = false;
    drag_files.clear();
}

bool TFileCommands::drops_refused(bool onto_tree) const {
    const bool recording = browser_.host.recording && browser_.host.recording();
    if (onto_tree) return recording;
    return recording || (browser_.host.player_open && browser_.host.player_open());
}

void TFileCommands::DropFileTarget_filelistDrop() {
    if (drops_refused(false)) return;
    if (own_drag) {
        own_drag = false;
        return;
    }
    TFileList& list = *browser_.file_mycomputer;
    if (is_drives_path(list.Directory()) || list.Directory().empty()) {
        browser_.Panel_downcaption->setText(QLatin1String(kNoFolderHere));
        return;
    }
    const std::string remembered = browser_.directory_mycomputer->SelectedPath();
    if (drop_files.paths.empty()) return;
    copy_into(drop_files.paths, list.Directory());
    own_drag = false;
    list.setMask(browser_.combo_filefilter->currentText().toStdString());
    list.RefreshList();
    browser_.directory_mycomputer->ReloadTree();
    browser_.directory_mycomputer->OpenPath(remembered);
}

void TFileCommands::DropFileTarget_directoryDrop(QTreeWidgetItem* node) {
    if (drops_refused(true) || !node) return;
    TDirectoryTree& tree = *browser_.directory_mycomputer;
    const std::string p = without_slash(tree.SelectedPath());
    const std::string t = TDirectoryTree::nodePath(node);
    if (t.empty() || is_drives_path(t)) {
        browser_.Panel_downcaption->setText(QLatin1String(kNoFolderHere));
        return;
    }
    if (without_slash(t) == p) return;
    if (!drop_files.paths.empty()) copy_into(drop_files.paths, t);
    own_drag = false;
    tree.ReloadTree();
    tree.OpenPath(p);
    browser_.file_mycomputer->setMask(browser_.combo_filefilter->currentText().toStdString());
    browser_.file_mycomputer->RefreshList();
}

void TFileCommands::auto_scroll(QWidget* viewport, const QPoint& at) {
    auto* area = qobject_cast<QAbstractScrollArea*>(viewport->parentWidget());
    if (!area) return;
    const int edge = viewport->fontMetrics().height();
    auto nudge = [](QScrollBar* bar, int direction) {
        if (bar && bar->isVisible()) bar->setValue(bar->value() + direction * bar->singleStep());
    };
    if (at.y() < edge) nudge(area->verticalScrollBar(), -1);
    if (at.y() > viewport->height() - edge) nudge(area->verticalScrollBar(), 1);
    if (at.x() < edge) nudge(area->horizontalScrollBar(), -1);
    if (at.x() > viewport->width() - edge) nudge(area->horizontalScrollBar(), 1);
}

bool TFileCommands::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* viewport = static_cast<QWidget*>(watched);
    auto* e = static_cast<QDropEvent*>(event);
    TDirectoryTree& tree = *browser_.directory_mycomputer;
    const bool onto_tree = viewport == tree.viewport();
    if (offered_files(e->mimeData()).paths.empty()) {
        e->ignore();
        return true;
    }
    // Shift alone moves where the target allows it (only the tree does); else copy.
    const Qt::KeyboardModifiers mods = e->modifiers();
    Qt::DropAction action = Qt::CopyAction;
    if (onto_tree && mods == Qt::ShiftModifier && (e->possibleActions() & Qt::MoveAction)) action = Qt::MoveAction;
    if (!(e->possibleActions() & action)) {
        e->ignore();
        return true;
    }
    const QPoint at = e->position().toPoint();
    if (type == QEvent::DragMove) {
        auto_scroll(viewport, at);
        if (onto_tree)
            if (QTreeWidgetItem* node = tree.itemAt(at))
                tree.selectionModel()->select(tree.indexFromItem(node), QItemSelectionModel::ClearAndSelect);
    }
    e->setDropAction(action);
    e->accept();
    if (type == QEvent::Drop) {
        // Read only now, as the drop happens.
        drop_files = offered_files(e->mimeData());
        drop_files.cut = false;
        browser_.drop_file_count = static_cast<int>(drop_files.paths.size());
        if (onto_tree)
            DropFileTarget_directoryDrop(tree.itemAt(at));
        else
            DropFileTarget_filelistDrop();
    }
    return true;
}

}  // namespace murrel
