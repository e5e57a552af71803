#include "filemanager/gui/directory_tree.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

#include "filemanager/directory_listing.h"
#include "filemanager/filemanager_texts.h"
#include "filemanager/gui/file_list.h"
#include "filemanager/gui/volume_icons.h"
#include "filemanager/volumes.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"

namespace murrel {

namespace {

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kLoadedRole = Qt::UserRole + 2;
constexpr int kVolumeRole = Qt::UserRole + 3;  // true on volume nodes

std::string strip_slash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Folder names on these file systems differ by letter case; only the root's
// name "Drives" is matched without regard to it.
bool same_path(const std::string& a, const std::string& b) {
    if (is_drives_path(a) || is_drives_path(b)) return is_drives_path(a) && is_drives_path(b);
    return strip_slash(a) == strip_slash(b);
}

bool has_subfolders(const QString& path) {
    return !QDir(path).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
}

void add_placeholder(QTreeWidgetItem* node) { node->addChild(new QTreeWidgetItem()); }

}  // namespace

TDirectoryTree::TDirectoryTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("directory_mycomputer"));
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) { load_children(node); });
    connect(this, &QTreeWidget::currentItemChanged, this, &TDirectoryTree::node_selected_by_user);
}

TDirectoryTree::~TDirectoryTree() {
    // The base class still changes the current item while it is torn down.
    disconnect(this, nullptr, this, nullptr);
}

void TDirectoryTree::setVolumeTable(std::shared_ptr<VolumeTable> table) {
    table_ = std::move(table);
    ReloadTree();
}

void TDirectoryTree::setTexts(std::shared_ptr<const FileManagerTexts> texts) { texts_ = std::move(texts); }

std::string TDirectoryTree::nodePath(const QTreeWidgetItem* node) {
    return node ? node->data(0, kPathRole).toString().toStdString() : std::string();
}

void TDirectoryTree::ReloadTree() {
    const bool was = programmatic_;
    programmatic_ = true;
    clear();
    auto* root = new QTreeWidgetItem(this, QStringList(QString::fromLatin1(kDrivesPath)));
    root->setData(0, kPathRole, QString::fromLatin1(kDrivesPath));
    root->setData(0, kLoadedRole, true);
    root->setIcon(0, QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
    if (table_) {
        table_->refresh();
        for (const Volume& v : table_->volumes()) {
            auto* node = new QTreeWidgetItem(root, QStringList(QString::fromStdString(v.display_name)));
            node->setData(0, kPathRole, QString::fromStdString(v.mount_point));
            node->setData(0, kVolumeRole, true);
            node->setIcon(0, volume_icon(v));
            node->setToolTip(0, QString::fromStdString(v.mount_point));
            add_placeholder(node);
        }
    }
    root->setExpanded(true);
    programmatic_ = was;
}

void TDirectoryTree::load_children(QTreeWidgetItem* node) {
    if (!node || node->data(0, kLoadedRole).toBool()) return;
    const bool was = programmatic_;
    programmatic_ = true;
    node->setData(0, kLoadedRole, true);
    qDeleteAll(node->takeChildren());
    const QString path = QString::fromStdString(nodePath(node));
    QStringList names = QDir(path).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                             QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        const QString child_path = path == QLatin1String("/") ? path + name : path + '/' + name;
        auto* child = new QTreeWidgetItem(node, QStringList(name));
        child->setData(0, kPathRole, child_path);
        child->setIcon(0, folder_icon());
        if (has_subfolders(child_path)) add_placeholder(child);
        else child->setData(0, kLoadedRole, true);
    }
    programmatic_ = was;
}

QTreeWidgetItem* TDirectoryTree::volume_node_for(const std::string& path) const {
    QTreeWidgetItem* root = rootNode();
    if (!root) return nullptr;
    QTreeWidgetItem* best = nullptr;
    size_t best_len = 0;
    for (int i = 0; i < root->childCount(); ++i) {
        const std::string point = nodePath(root->child(i));
        if (path_within(path, point) && (!best || point.size() > best_len)) {
            best = root->child(i);
            best_len = point.size();
        }
    }
    return best;
}

void TDirectoryTree::OpenPath(const std::string& path_in) {
    if (path_in.size() < 1 || path_in.front() != '/') return;
    const QFileInfo info(QString::fromStdString(path_in));
    if (!info.isDir()) return;
    const std::string path = strip_slash(QDir::cleanPath(info.absoluteFilePath()).toStdString());
    if (!rootNode()) ReloadTree();
    QTreeWidgetItem* node = volume_node_for(path);
    if (!node) return;  // a folder outside every volume cannot be shown
    const bool was = programmatic_;
    programmatic_ = true;
    std::string at = nodePath(node);
    const std::string rest = path.substr(at == "/" ? 1 : at.size());
    for (const QString& part : QString::fromStdString(rest).split('/', Qt::SkipEmptyParts)) {
        node->setExpanded(true);
        load_children(node);
        QTreeWidgetItem* next = nullptr;
        for (int pass = 0; pass < 2 && !next; ++pass) {
            for (int i = 0; i < node->childCount() && !next; ++i) {
                const QString text = node->child(i)->text(0);
                if (pass == 0 ? text == part : text.compare(part, Qt::CaseInsensitive) == 0)
                    next = node->child(i);
            }
            if (!next && pass == 0) {
                // Created after the node was loaded: load it again.
                node->setData(0, kLoadedRole, false);
                load_children(node);
            }
        }
        if (!next) break;
        node = next;
    }
    setCurrentItem(node);
    scrollToItem(node);
    programmatic_ = was;
    selected_path_ = AddSlash(path);
    emit OnDirChange(QString::fromStdString(selected_path_));
}

void TDirectoryTree::OpenRoot() {
    if (!rootNode()) ReloadTree();
    const bool was = programmatic_;
    programmatic_ = true;
    setCurrentItem(rootNode());
    programmatic_ = was;
    selected_path_ = kDrivesPath;
    emit OnDirChange(QString::fromStdString(selected_path_));
}

void TDirectoryTree::setSelectedPath(const std::string& path) {
    if (!path.empty() && !selected_path_.empty() && same_path(path, selected_path_) &&
        path.back() == selected_path_.back())
        return;
    selected_path_ = path;
}

QTreeWidgetItem* TDirectoryTree::findNode(const std::string& path) const {
    QList<QTreeWidgetItem*> pending;
    if (rootNode()) pending.push_back(rootNode());
    while (!pending.isEmpty()) {
        QTreeWidgetItem* node = pending.takeFirst();
        if (same_path(nodePath(node), path)) return node;
        for (int i = 0; i < node->childCount(); ++i) pending.push_back(node->child(i));
    }
    return nullptr;
}

void TDirectoryTree::node_selected_by_user(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    if (programmatic_ || !current) return;
    const std::string path = nodePath(current);
    if (path.empty()) return;  // a placeholder
    if (current->data(0, kVolumeRole).toBool() && table_ && !table_->is_ready(path)) {
        // The volume vanished or does not answer: warn and go back.
        const std::string warning =
            (texts_ ? texts_->text(FileManagerTexts::kNotReady) : std::string()) + " " +
            current->text(0).toStdString();
        const bool was = programmatic_;
        programmatic_ = true;
        setCurrentItem(previous);
        programmatic_ = was;
        show_warning(warning);
        return;
    }
    selected_path_ = path == kDrivesPath ? path : AddSlash(path);
    emit OnDirChange(QString::fromStdString(selected_path_));
    if (file_list_) file_list_->setDirectory(selected_path_);
}

bool TDirectoryTree::DeleteFolder(QTreeWidgetItem* node) {
    if (!node || !node->parent() || node->data(0, kVolumeRole).toBool()) return false;
    if (!delete_folder || !delete_folder(nodePath(node))) return false;
    QTreeWidgetItem* parent = node->parent();
    const bool was = programmatic_;
    programmatic_ = true;
    setCurrentItem(parent);
    delete node;
    programmatic_ = was;
    selected_path_ = AddSlash(nodePath(parent));
    emit OnDirChange(QString::fromStdString(selected_path_));
    if (file_list_) file_list_->setDirectory(selected_path_);
    return true;
}

void TDirectoryTree::keyPressEvent(QKeyEvent* event) {
    emit KeyDown(event->key(), event->modifiers());
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_F5) return;
    QTreeWidget::keyPressEvent(event);
}

}  // namespace murrel
