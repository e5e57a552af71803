#include "filemanager/gui/file_list.h"

#include <algorithm>

#include <QAbstractTableModel>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "filemanager/filemanager_texts.h"
#include "filemanager/gui/directory_tree.h"
#include "filemanager/gui/volume_icons.h"
#include "filemanager/volumes.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"

namespace murrel {

namespace {

constexpr int kColumns = 5;
// The Name column never gets narrower than this when the list is small; the
// list scrolls sideways instead.
constexpr int kMinNameWidth = 160;
// Other programs write files in bursts (a copy, a recorder's transfer): one
// refill after the burst settles.
constexpr int kWatchSettleMs = 250;
// Beyond this many files only the folder itself is watched (creations,
// deletions, renames), not every file's content.
constexpr int kMaxWatchedFiles = 256;

// A view that tells the list about presses, double clicks, moves and keys after
// doing its own handling, so the selection is already up to date.
template <class Base>
class HookedView final : public Base {
public:
    explicit HookedView(TFileList* owner) : Base(owner), owner_(owner) {}
    std::function<void(QEvent*)> after;
    bool editing() const { return this->state() == QAbstractItemView::EditingState; }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        Base::mousePressEvent(e);
        if (after) after(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        Base::mouseDoubleClickEvent(e);
        if (after) after(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        Base::mouseMoveEvent(e);
        if (after) after(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        // A key the name editor passed on (Return ends the editing) is the
        // editor's: acting on it here would also play the renamed file.
        if (editing()) {
            e->ignore();
            return;
        }
        if (after) after(e);
        // Enter plays, Delete deletes and Ctrl+C offers the files: the view must
        // not act on them too (its own copy would replace the files on the
        // clipboard with the current row's caption as text).
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Delete ||
            e->matches(QKeySequence::Copy) || e->matches(QKeySequence::Paste))
            return;
        Base::keyPressEvent(e);
    }

private:
    TFileList* owner_;
};

bool is_folder(const std::string& path) { return QFileInfo(QString::fromStdString(path)).isDir(); }

}  // namespace

// The list's entries as a table; the list owns the vector, the model only reads it.
class FileEntryModel final : public QAbstractTableModel {
public:
    FileEntryModel(const std::vector<DirEntry>& entries, QObject* parent)
        : QAbstractTableModel(parent), entries_(entries) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(entries_.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : kColumns; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(entries_.size())) return {};
        const DirEntry& e = entries_[static_cast<size_t>(index.row())];
        // The name editor starts from the caption, ready to be typed over.
        if (role == Qt::EditRole && index.column() == 0) return QString::fromStdString(e.caption);
        if (role == Qt::DisplayRole) {
            switch (index.column()) {
            case 0: return QString::fromStdString(e.caption);
            case 1: return QString::fromStdString(e.size_text);
            case 2: return QString::fromStdString(e.type_name);
            case 3: return QString::fromStdString(e.modified);
            case 4: return QString::fromStdString(e.attributes);
            default: return {};
            }
        }
        if (role == Qt::DecorationRole && index.column() == 0) {
            if (e.kind == EntryKind::Dir) return folder_icon();
            if (e.kind == EntryKind::Drive && table)
                if (const Volume* v = table->find(e.full_path)) return volume_icon(*v);
            return file_icon(e.caption);
        }
        if (role == Qt::TextAlignmentRole && index.column() == 1)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::ToolTipRole && index.column() == 0) return QString::fromStdString(e.full_path);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
            return {};
        return headers[section];
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (index.isValid() && index.column() == 0 && index.row() == editable_row) f |= Qt::ItemIsEditable;
        return f;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || index.row() != editable_row || index.column() != 0) return false;
        editable_row = -1;
        if (edited) edited(index.row(), value.toString());
        return true;
    }

    void reset_begin() { beginResetModel(); }
    void reset_end() { endResetModel(); }
    void row_changed(int row) { emit dataChanged(index(row, 0), index(row, kColumns - 1)); }
    void headers_changed() { emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1); }

    QString headers[kColumns];
    const VolumeTable* table = nullptr;
    // Only the entry BeginEdit chose can be edited, and only once.
    int editable_row = -1;
    std::function<void(int row, const QString& caption)> edited;

private:
    const std::vector<DirEntry>& entries_;
};

TFileList::TFileList(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("file_mycomputer"));
    auto* model = new FileEntryModel(entries_, this);
    model_ = model;
    selection_ = new QItemSelectionModel(model, this);

    auto* list = new HookedView<QListView>(this);
    auto* report = new HookedView<QTreeView>(this);
    list_view_ = list;
    report_view_ = report;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(list), static_cast<QAbstractItemView*>(report)}) {
        view->setModel(model);
        view->setSelectionModel(selection_);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    report->setRootIsDecorated(false);
    report->setItemsExpandable(false);
    report->setUniformRowHeights(true);
    report->setAllColumnsShowFocus(true);
    report->header()->setStretchLastSection(false);
    report->header()->setMinimumSectionSize(40);
    report->setColumnWidth(0, 220);
    chosen_widths_.assign(kColumns - 1, 0);
    connect(report->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!fitting_ && column > 0 && column < kColumns) chosen_widths_[column - 1] = width;
    });
    report->viewport()->installEventFilter(this);
    list->setResizeMode(QListView::Adjust);
    list->setTextElideMode(Qt::ElideMiddle);

    auto forward = [this](QEvent* e) {
        switch (e->type()) {
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            emit MouseDown(m->button(), m->position().toPoint());
            break;
        }
        case QEvent::MouseButtonDblClick: emit DblClick(); break;
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(e);
            emit MouseMove(m->buttons(), m->position().toPoint());
            break;
        }
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            emit KeyDown(k->key(), k->modifiers());
            break;
        }
        default: break;
        }
    };
    list->after = forward;
    report->after = forward;

    stack_ = new QStackedWidget(this);
    stack_->addWidget(list);
    stack_->addWidget(report);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);

    model->edited = [this](int row, const QString& text) {
        const QString old_path = QString::fromStdString(entry(row).full_path);
        // After the editor has closed: the handler may refill the list.
        QTimer::singleShot(0, this, [this, old_path, text] { emit Edited(old_path, text); });
    };
    connect(selection_, &QItemSelectionModel::selectionChanged, this, [this] { select_item_changed(); });
    watcher_ = new QFileSystemWatcher(this);
    watch_timer_ = new QTimer(this);
    watch_timer_->setSingleShot(true);
    watch_timer_->setInterval(kWatchSettleMs);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, watch_timer_, qOverload<>(&QTimer::start));
    connect(watcher_, &QFileSystemWatcher::fileChanged, watch_timer_, qOverload<>(&QTimer::start));
    connect(watch_timer_, &QTimer::timeout, this, &TFileList::refresh_keeping_selection);
    open_file = [](const std::string& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    };
    setViewStyle(ViewStyle::Report);
}

TFileList::~TFileList() {
    // The views go before the selection model does; nobody listens any more.
    disconnect(selection_, nullptr, this, nullptr);
}

void TFileList::setTexts(std::shared_ptr<const FileManagerTexts> texts) {
    texts_ = std::move(texts);
    apply_headers();
}

std::vector<int> TFileList::columnWidths() const { return chosen_widths_; }

void TFileList::setColumnWidths(const std::vector<int>& widths) {
    const int least = report_view_->header()->minimumSectionSize();
    for (size_t i = 0; i < chosen_widths_.size() && i < widths.size(); ++i)
        chosen_widths_[i] = widths[i] > 0 ? std::max(widths[i], least) : 0;
    fit_detail_columns();
    fit_name_column();
}

void TFileList::fit_detail_columns() {
    fitting_ = true;
    for (int column = 1; column < kColumns; ++column) {
        const int chosen = chosen_widths_[column - 1];
        if (chosen > 0) report_view_->setColumnWidth(column, chosen);
        else report_view_->resizeColumnToContents(column);
    }
    fitting_ = false;
}

void TFileList::apply_headers() {
    auto* model = model_;
    const int keys[kColumns] = {FileManagerTexts::kColumnName, FileManagerTexts::kColumnSize,
                                FileManagerTexts::kColumnType, FileManagerTexts::kColumnModified,
                                FileManagerTexts::kColumnAttributes};
    for (int i = 0; i < kColumns; ++i)
        model->headers[i] = texts_ ? QString::fromStdString(texts_->text(keys[i])) : QString();
    model->headers_changed();
}

void TFileList::setDirectory(const std::string& path) {
    if (is_drives_path(path)) {
        if (is_drives_path(directory_)) return;
        directory_ = kDrivesPath;
        RefreshList();
        return;
    }
    if (path.empty() || path.front() != '/' || !is_folder(path)) return;
    // Not made the process's current folder: that would keep a recorder's
    // volume busy and stop it from being unmounted.
    const std::string dir = AddSlash(QDir::cleanPath(QString::fromStdString(path)).toStdString());
    if (dir == directory_) return;
    directory_ = dir;
    RefreshList();
}

void TFileList::setMask(const std::string& mask) {
    if (mask == mask_) return;
    mask_ = mask;
    RefreshList();
}

void TFileList::fill(std::vector<DirEntry> entries) {
    auto* model = model_;
    // A reset lays the header's sections out anew; those sizes are no choice
    // of the user's either.
    fitting_ = true;
    model->reset_begin();
    entries_ = std::move(entries);
    model->reset_end();
    fitting_ = false;
    for (size_t i = 0; i < entries_.size(); ++i)
        emit OnInserted(QString::fromStdString(entries_[i].full_path), static_cast<int>(i));
    fit_detail_columns();
    fit_name_column();
    fit_list_grid();
    watch_listed_folder();
}

void TFileList::watch_listed_folder() {
    const QStringList old = watcher_->files() + watcher_->directories();
    if (!old.isEmpty()) watcher_->removePaths(old);
    if (directory_.empty() || is_drives_path(directory_)) return;
    watcher_->addPath(QString::fromStdString(directory_));
    QStringList files;
    for (const DirEntry& e : entries_)
        if (e.kind == EntryKind::File && files.size() < kMaxWatchedFiles) files << QString::fromStdString(e.full_path);
    if (!files.isEmpty()) watcher_->addPaths(files);
}

void TFileList::refresh_keeping_selection() {
    std::vector<std::string> selected;
    for (int row = 0; row < count(); ++row)
        if (isSelected(row)) selected.push_back(entry(row).caption);
    const std::string current = currentRow() >= 0 ? entry(currentRow()).caption : std::string();
    // One selection signal for the whole refill, once the selection is back.
    quiet_selection_ = true;
    RefreshList();
    for (int row = 0; row < count(); ++row) {
        const std::string& name = entry(row).caption;
        if (std::find(selected.begin(), selected.end(), name) != selected.end()) setSelected(row, true);
        if (name == current)
            selection_->setCurrentIndex(selection_->model()->index(row, 0), QItemSelectionModel::NoUpdate);
    }
    quiet_selection_ = false;
    emit OnSelectItem();
}

void TFileList::fit_name_column() {
    QHeaderView* header = report_view_->header();
    int others = 0;
    for (int column = 1; column < kColumns; ++column) others += header->sectionSize(column);
    const int name = std::max(kMinNameWidth, report_view_->viewport()->width() - others);
    if (header->sectionSize(0) != name) header->resizeSection(0, name);
}

bool TFileList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == report_view_->viewport() && event->type() == QEvent::Resize) fit_name_column();
    return QWidget::eventFilter(watched, event);
}

void TFileList::RefreshList() {
    QString top_caption;
    if (style_ == ViewStyle::Report) {
        const QModelIndex top = report_view_->indexAt(QPoint(1, 1));
        if (top.isValid()) top_caption = caption(top.row());
    }
    if (directory_.empty()) {
        fill({});
    } else if (is_drives_path(directory_)) {
        fill(table_ ? list_volumes(table_->volumes()) : std::vector<DirEntry>{});
    } else {
        fill(list_directory(directory_, mask_));
    }
    if (!top_caption.isEmpty()) {
        for (int row = 0; row < count(); ++row)
            if (caption(row) == top_caption) {
                report_view_->scrollTo(report_view_->model()->index(row, 0), QAbstractItemView::PositionAtTop);
                break;
            }
    }
    if (count() > 0 && SelCount() == 0)
        selection_->setCurrentIndex(selection_->model()->index(0, 0), QItemSelectionModel::NoUpdate);
    select_item_changed();
}

void TFileList::select_item_changed() {
    if (!quiet_selection_) emit OnSelectItem();
}

void TFileList::OneLevelUp() {
    if (directory_.empty()) return;
    const std::string parent =
        parent_folder(directory_, table_ ? table_->volumes() : std::vector<Volume>{});
    if (is_drives_path(parent)) {
        setDirectory(parent);
        if (tree_) tree_->OpenRoot();
        return;
    }
    setDirectory(parent);
    if (tree_) tree_->OpenPath(parent);
}

void TFileList::warn_not_ready(const DirEntry& e) const {
    show_warning((texts_ ? texts_->text(FileManagerTexts::kNotReady) : std::string()) + " " + e.caption);
}

void TFileList::OpenSelected() {
    const int row = Selected();
    if (row < 0) return;
    const DirEntry e = entry(row);
    if (e.kind == EntryKind::Drive) {
        if (table_ && !table_->is_ready(e.full_path)) {
            warn_not_ready(e);
            return;
        }
    }
    if (e.kind != EntryKind::File) {
        setDirectory(e.full_path);
        if (tree_) tree_->OpenPath(e.full_path);
        return;
    }
    if (!open_file || !open_file(e.full_path))
        show_error("ERROR - " + (texts_ ? texts_->text(FileManagerTexts::kOpenError) : std::string()) +
                   " : " + e.caption);
}

// The cell every entry of the list styles gets: wide enough for the longest
// name (up to a limit, beyond which the middle of a name is elided), and in
// the icon style tall enough for the icon and two lines of its label.
void TFileList::fit_list_grid() {
    auto* list = list_view_;
    const QFontMetrics metrics(list->font());
    int widest = 0;
    for (const DirEntry& e : entries_)
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(e.caption)));
    switch (style_) {
    case ViewStyle::Icon:
        list->setGridSize(QSize(kIconCellWidth, kLargeIcon + 2 * metrics.lineSpacing() + 14));
        break;
    case ViewStyle::SmallIcon:
    case ViewStyle::List:
        list->setGridSize(QSize(std::clamp(widest + kSmallIcon + 18, 120, 360),
                                std::max(kSmallIcon, metrics.height()) + 4));
        break;
    case ViewStyle::Report: break;
    }
}

void TFileList::setViewStyle(ViewStyle style) {
    style_ = style;
    auto* list = list_view_;
    switch (style) {
    case ViewStyle::Icon:
        list->setViewMode(QListView::IconMode);
        list->setIconSize(QSize(kLargeIcon, kLargeIcon));
        list->setWordWrap(true);
        list->setSpacing(4);
        break;
    case ViewStyle::SmallIcon:
        list->setViewMode(QListView::ListMode);
        list->setFlow(QListView::LeftToRight);
        list->setWrapping(true);
        list->setWordWrap(false);
        list->setSpacing(0);
        list->setIconSize(QSize(kSmallIcon, kSmallIcon));
        break;
    case ViewStyle::List:
        list->setViewMode(QListView::ListMode);
        list->setFlow(QListView::TopToBottom);
        list->setWrapping(true);
        list->setWordWrap(false);
        list->setSpacing(0);
        list->setIconSize(QSize(kSmallIcon, kSmallIcon));
        break;
    case ViewStyle::Report: break;
    }
    fit_list_grid();
    QWidget* target = style == ViewStyle::Report ? static_cast<QWidget*>(report_view_) : list;
    const bool had_focus = stack_->currentWidget() && stack_->currentWidget()->hasFocus();
    stack_->setCurrentWidget(target);
    if (had_focus) target->setFocus();
}

QWidget* TFileList::activeView() const { return stack_->currentWidget(); }

int TFileList::count() const { return static_cast<int>(entries_.size()); }

int TFileList::SelCount() const { return static_cast<int>(selection_->selectedRows(0).size()); }

int TFileList::Selected() const {
    const QModelIndex current = selection_->currentIndex();
    if (current.isValid() && selection_->isRowSelected(current.row(), QModelIndex())) return current.row();
    const QModelIndexList rows = selection_->selectedRows(0);
    if (rows.isEmpty()) return -1;
    int first = rows.front().row();
    for (const QModelIndex& i : rows) first = std::min(first, i.row());
    return first;
}

bool TFileList::isSelected(int row) const { return selection_->isRowSelected(row, QModelIndex()); }

void TFileList::setSelected(int row, bool selected) {
    if (row < 0 || row >= count()) return;
    const QModelIndex index = selection_->model()->index(row, 0);
    selection_->select(index, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                  QItemSelectionModel::Rows);
    if (selected) selection_->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void TFileList::selectAll() {
    if (count() == 0) return;
    const QItemSelection all(selection_->model()->index(0, 0),
                             selection_->model()->index(count() - 1, kColumns - 1));
    selection_->select(all, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TFileList::clearSelection() { selection_->clearSelection(); }

int TFileList::currentRow() const {
    const QModelIndex current = selection_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TFileList::BeginEdit(int row) {
    if (row < 0 || row >= count()) return;
    model_->editable_row = row;
    auto* view = static_cast<QAbstractItemView*>(activeView());
    const QModelIndex index = model_->index(row, 0);
    view->setCurrentIndex(index);
    view->setFocus();
    view->edit(index);
}

bool TFileList::IsEditing() const {
    return static_cast<const HookedView<QListView>*>(list_view_)->editing() ||
           static_cast<const HookedView<QTreeView>*>(report_view_)->editing();
}

QString TFileList::caption(int row) const {
    return row >= 0 && row < count() ? QString::fromStdString(entry(row).caption) : QString();
}

QString TFileList::subItem(int row, int column) const {
    return selection_->model()->index(row, column).data().toString();
}

void TFileList::setTypeText(int row, const std::string& text) {
    if (row < 0 || row >= count()) return;
    entries_[static_cast<size_t>(row)].type_name = text;
    model_->row_changed(row);
}

void TFileList::setVolumeTable(std::shared_ptr<VolumeTable> table) {
    table_ = std::move(table);
    model_->table = table_.get();
}

}  // namespace murrel
