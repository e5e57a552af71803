#pragma once
// The folder tree: one root "Drives", one node per volume below it, and the
// folders of each volume, loaded when a node is expanded and sorted by name.
// A node's path is kept in its data; the root's path is "Drives".
#include <QPointer>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>

namespace murrel {

class FileManagerTexts;
class TFileList;
class VolumeTable;

class TDirectoryTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TDirectoryTree(QWidget* parent = nullptr);
    ~TDirectoryTree() override;

    void setVolumeTable(std::shared_ptr<VolumeTable> table);
    void setTexts(std::shared_ptr<const FileManagerTexts> texts);
    // The list a click on a node points at its folder (the list's DirTree is this tree).
    void setFileList(TFileList* list) { file_list_ = list; }

    // Discards every node and rebuilds the root and the volume nodes.
    void ReloadTree();
    // Expands down to `path`, selects its node, sets SelectedPath to it with a
    // trailing '/' and raises OnDirChange. Nothing happens for an empty or
    // relative path or one that is not an existing folder.
    void OpenPath(const std::string& path);
    // Selects the root node: SelectedPath becomes "Drives" and OnDirChange is raised.
    void OpenRoot();

    const std::string& SelectedPath() const { return selected_path_; }
    // Sets the path without selecting anything; ignored when equal without regard to case.
    void setSelectedPath(const std::string& path);

    // Deletes the folder of a node below volume level through `delete_folder`
    // (the file operations supply it), selects its parent and points the list
    // there. Root and volume nodes are refused (false).
    bool DeleteFolder(QTreeWidgetItem* node);
    std::function<bool(const std::string& folder)> delete_folder;

    bool IsEditing() const { return state() == EditingState; }

    QTreeWidgetItem* rootNode() const { return topLevelItemCount() ? topLevelItem(0) : nullptr; }
    static std::string nodePath(const QTreeWidgetItem* node);
    // Finds the node of `path` among the loaded nodes (no loading).
    QTreeWidgetItem* findNode(const std::string& path) const;

signals:
    void OnDirChange(const QString& selected_path);
    void OnEdited();
    void KeyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load_children(QTreeWidgetItem* node);
    void node_selected_by_user(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    QTreeWidgetItem* volume_node_for(const std::string& path) const;

    std::shared_ptr<VolumeTable> table_;
    std::shared_ptr<const FileManagerTexts> texts_;
    QPointer<TFileList> file_list_;
    std::string selected_path_;
    bool programmatic_ = false;
};

}  // namespace murrel
