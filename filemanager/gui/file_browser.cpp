#include "filemanager/gui/file_browser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "filemanager/file_mask.h"
#include "filemanager/mount_watcher.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"

namespace murrel {

namespace {

bool is_folder(const std::string& path) {
    return !path.empty() && path.front() == '/' && QFileInfo(QString::fromStdString(path)).isDir();
}

// Forwards Enter (and every other key) of an edit or a combo to a handler.
class KeyForwarder final : public QObject {
public:
    KeyForwarder(QObject* parent, std::function<void(int)> handler)
        : QObject(parent), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            handler_(key == Qt::Key_Enter ? Qt::Key_Return : key);
            if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(int)> handler_;
};

}  // namespace

TFileBrowser::TFileBrowser(QWidget* parent, BrowserOptions options)
    : QObject(parent),
      volumes_(std::make_shared<VolumeTable>(options.volumes)),
      texts_(std::make_shared<FileManagerTexts>(
          options.texts_path.empty() ? FileManagerTexts::default_path() : options.texts_path)),
      probe_(options.probe ? std::move(options.probe) : FileProbe(probe_file)),
      locale_(options.locale) {
    combo_drive = new TDVDrivesCombo(parent);
    combo_drive->setVolumeTable(volumes_);
    edit_directory = new QLineEdit(parent);
    edit_directory->setObjectName(QStringLiteral("edit_directory"));
    combo_filefilter = new QComboBox(parent);
    combo_filefilter->setObjectName(QStringLiteral("combo_filefilter"));
    combo_filefilter->setEditable(true);
    combo_filefilter->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& item : initial_filter_items())
        combo_filefilter->addItem(QString::fromStdString(item));

    directory_mycomputer = new TDirectoryTree(parent);
    file_mycomputer = new TFileList(parent);
    directory_mycomputer->setTexts(texts_);
    file_mycomputer->setTexts(texts_);
    file_mycomputer->setVolumeTable(volumes_);
    directory_mycomputer->setVolumeTable(volumes_);
    directory_mycomputer->setFileList(file_mycomputer);
    file_mycomputer->setDirTree(directory_mycomputer);

    Panel_downcaption = new QLabel(parent);
    Panel_downcaption->setObjectName(QStringLiteral("Panel_downcaption"));
    // The line paints its whole band on every change, so a shorter text never
    // leaves the end of a longer one behind; a long text never widens the window.
    Panel_downcaption->setAutoFillBackground(true);
    Panel_downcaption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Panel_downcaption->setMinimumWidth(0);

    popup_file = new QMenu(parent);
    popup_file->setObjectName(QStringLiteral("popup_file"));
    auto item = [this](const char* name, const char* caption, auto handler) {
        QAction* a = popup_file->addAction(QString::fromUtf8(caption));
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    P_hddopen = item("P_hddopen", "&Open", [this] { file_mycomputer->OpenSelected(); });
    P_hddconvert = item("P_hddconvert", "Co&nversion", [this] { call(host.convert_selection); });
    P_hddedit = item("P_hddedit", "WAV E&dit", [this] { call(host.edit_selection); });
    P_hddmail = item("P_hddmail", "Sending E-&Mail", [this] { call(host.mail_selection); });
    popup_file->addSeparator();
    P_hddcopy = item("P_hddcopy", "&Copy", [this] { call(host.copy_selection); });
    P_hddpaste = item("P_hddpaste", "&Paste", [this] { call(host.paste); });
    popup_file->addSeparator();
    P_hddrename = item("P_hddrename", "&Rename", [this] { call(host.rename_selected); });
    P_hdddel = item("P_hdddel", "&Erase", [this] { call(host.delete_selected); });
    P_hddattr = item("P_hddattr", "Attrib&ute", [this] { call(host.show_properties); });
    popup_file->addSeparator();
    P_hddallsel = item("P_hddallsel", "Select a&ll", [this] { file_mycomputer->selectAll(); });
    P_hddrefresh = item("P_hddrefresh", "Refresh", [this] { file_mycomputer->RefreshList(); });
    P_hddrefresh->setShortcut(QKeySequence(Qt::Key_F5));
    // The shortcut the menu shows works in the list itself, not only while
    // the menu is open; it follows the item's enabled state.
    P_hddrefresh->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    file_mycomputer->addAction(P_hddrefresh);

    connect(combo_drive, &TDVDrivesCombo::OnChange, this, &TFileBrowser::combo_driveChange);
    edit_directory->installEventFilter(
        new KeyForwarder(this, [this](int key) { edit_directoryKeyDown(key); }));
    // Typed keys reach the combo box, which hands them to its line edit
    // without the line edit's filters seeing them: both are watched (a key
    // the forwarder acts on is consumed, so it never counts twice).
    auto* filter_keys = new KeyForwarder(this, [this](int key) { combo_filefilterKeyDown(key); });
    combo_filefilter->installEventFilter(filter_keys);
    combo_filefilter->lineEdit()->installEventFilter(filter_keys);
    connect(combo_filefilter, &QComboBox::activated, this, [this](int) { combo_filefilterClick(); });
    connect(combo_filefilter, &QComboBox::editTextChanged, this, [this] { combo_filefilterChange(); });
    connect(directory_mycomputer, &TDirectoryTree::OnDirChange, this,
            &TFileBrowser::directory_mycomputerDirChange);
    connect(directory_mycomputer, &TDirectoryTree::OnEdited, this,
            &TFileBrowser::directory_mycomputerEdited);
    connect(directory_mycomputer, &TDirectoryTree::KeyDown, this,
            [this](int key, Qt::KeyboardModifiers) { directory_mycomputerKeyDown(key); });
    connect(directory_mycomputer, &QTreeWidget::itemClicked, this,
            [this] { directory_mycomputerClick(); });
    connect(file_mycomputer, &TFileList::OnInserted, this, &TFileBrowser::file_mycomputerInserted);
    connect(file_mycomputer, &TFileList::OnSelectItem, this, &TFileBrowser::file_mycomputerSelectItem);
    connect(file_mycomputer, &TFileList::DblClick, this, &TFileBrowser::file_mycomputerDblClick);
    connect(file_mycomputer, &TFileList::KeyDown, this, &TFileBrowser::file_mycomputerKeyDown);
    connect(file_mycomputer, &TFileList::MouseDown, this, &TFileBrowser::file_mycomputerMouseDown);

    watcher_ = new MountWatcher(QString::fromStdString(options.volumes.mountinfo_path), this);
    connect(watcher_, &MountWatcher::changed, this, &TFileBrowser::device_changed);
}

TFileBrowser::~TFileBrowser() = default;

bool TFileBrowser::call(const std::function<void()>& hook) const {
    if (!hook) return false;
    hook();
    return true;
}

std::string TFileBrowser::warning_for(const std::string& display_name) const {
    return texts_->text(FileManagerTexts::kNotReady) + " " + display_name;
}

void TFileBrowser::open_at(const std::string& folder) {
    directory_mycomputer->OpenPath(folder);
    file_mycomputer->setDirectory(folder);
    combo_filefilter->setEditText(QStringLiteral("*.*"));
    combo_filefilter->addItem(QStringLiteral("*.*"));
}

void TFileBrowser::FormShow() {
    file_mycomputer->setMask(combo_filefilter->currentText().toStdString());
    file_mycomputer->RefreshList();
}

std::string TFileBrowser::folder_to_remember() const {
    const std::string typed = edit_directory->text().toStdString();
    return is_folder(typed) ? typed : file_mycomputer->Directory();
}

// --- keeping the four views in step ---------------------------------------

void TFileBrowser::directory_mycomputerDirChange(const QString& selected_path) {
    const std::string path = selected_path.toStdString();
    if (is_drives_path(path)) {
        edit_directory->clear();
    } else {
        const Volume* v = volumes_->volume_of(path);
        // A copy: rebuilding the selector re-reads the table under the pointer.
        const std::string mount = v ? v->mount_point : std::string();
        if (!mount.empty() && mount != combo_drive->Drive() && !combo_drive->setDrive(mount)) {
            combo_drive->rebuild();
            combo_drive->setDrive(mount);
        }
        edit_directory->setText(QString::fromStdString(AddSlash(path)));
    }
    file_mycomputer->setDirectory(edit_directory->text().toStdString());
}

void TFileBrowser::combo_driveChange() {
    const std::string mount = combo_drive->Drive();
    if (mount.empty()) return;
    if (!volumes_->is_ready(mount)) {
        const std::string warning = warning_for(combo_drive->currentText().toStdString());
        // Back to the volume the address field shows; on the volumes view the
        // selector keeps the volume that was picked.
        if (const Volume* v = volumes_->volume_of(edit_directory->text().toStdString()))
            combo_drive->setDrive(v->mount_point);
        show_warning(warning);
        return;
    }
    const Volume* current = volumes_->volume_of(directory_mycomputer->SelectedPath());
    if (!current || current->mount_point != mount) directory_mycomputer->OpenPath(mount);
}

bool TFileBrowser::show_file(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isFile()) return false;
    const std::string folder = info.absolutePath().toStdString();
    const std::string full = info.absoluteFilePath().toStdString();
    directory_mycomputer->ReloadTree();
    directory_mycomputer->setSelectedPath(folder);
    directory_mycomputer->OpenPath(folder);
    file_mycomputer->setDirectory(folder);
    auto row_of_file = [&] {
        for (int row = 0; row < file_mycomputer->count(); ++row)
            if (file_mycomputer->entry(row).full_path == full) return row;
        return -1;
    };
    file_mycomputer->setMask(combo_filefilter->currentText().toStdString());
    file_mycomputer->RefreshList();
    int row = row_of_file();
    if (row < 0) {
        combo_filefilter->setEditText(QStringLiteral("*.*"));
        file_mycomputer->setMask("*.*");
        file_mycomputer->RefreshList();
        row = row_of_file();
    }
    if (row < 0) return false;
    file_mycomputer->clearSelection();
    file_mycomputer->setSelected(row, true);
    return true;
}

void TFileBrowser::edit_directoryKeyDown(int key) {
    if (key != Qt::Key_Return) return;
    const std::string text = edit_directory->text().toStdString();
    if (is_folder(text)) {
        directory_mycomputer->ReloadTree();
        directory_mycomputer->setSelectedPath(text);
        directory_mycomputer->OpenPath(text);
        file_mycomputer->setDirectory(text);
        file_mycomputer->setMask(combo_filefilter->currentText().toStdString());
        file_mycomputer->RefreshList();
    } else {
        // On the volumes view the address field stays empty rather than
        // showing the root's name, which no folder has.
        const std::string selected = directory_mycomputer->SelectedPath();
        edit_directory->setText(is_drives_path(selected) ? QString() : QString::fromStdString(selected));
    }
}

void TFileBrowser::directory_mycomputerEdited() {
    const std::string selected = directory_mycomputer->SelectedPath();
    file_mycomputer->setDirectory(selected);
    edit_directory->setText(QString::fromStdString(selected));
}

void TFileBrowser::directory_mycomputerKeyDown(int key) {
    if (key == Qt::Key_Delete) {
        if (directory_mycomputer->IsEditing()) return;
        directory_mycomputer->DeleteFolder(directory_mycomputer->currentItem());
        const std::string dir = file_mycomputer->Directory();
        edit_directory->setText(is_drives_path(dir) ? QString() : QString::fromStdString(dir));
    } else if (key == Qt::Key_F5) {
        combo_drive->rebuild();
        combo_drive->update();
        directory_mycomputer->ReloadTree();
        directory_mycomputer->OpenPath(edit_directory->text().toStdString());
    }
}

void TFileBrowser::directory_mycomputerClick() { directory_mycomputer->setFocus(); }

void TFileBrowser::button_onelabelupClick() {
    if (directory_mycomputer->IsEditing())
        directory_mycomputer->closePersistentEditor(directory_mycomputer->currentItem());
    file_mycomputer->OneLevelUp();
}

void TFileBrowser::button_fileviewtypeClick() {
    switch (file_mycomputer->viewStyle()) {
    case ViewStyle::Icon: file_mycomputer->setViewStyle(ViewStyle::SmallIcon); break;
    case ViewStyle::SmallIcon: file_mycomputer->setViewStyle(ViewStyle::List); break;
    case ViewStyle::List: file_mycomputer->setViewStyle(ViewStyle::Report); break;
    case ViewStyle::Report: file_mycomputer->setViewStyle(ViewStyle::Icon); break;
    }
}

// --- the filter box ---------------------------------------------------------

void TFileBrowser::combo_filefilterClick() {
    file_mycomputer->setMask(combo_filefilter->currentText().toStdString());
}

void TFileBrowser::combo_filefilterChange() {
    if (in_filter_change_) return;
    in_filter_change_ = true;
    const ViewStyle style = file_mycomputer->viewStyle();
    if (style == ViewStyle::Icon || style == ViewStyle::SmallIcon) {
        file_mycomputer->setVisible(false);
        file_mycomputer->setViewStyle(ViewStyle::Report);
        file_mycomputer->setMask(combo_filefilter->currentText().toStdString());
        file_mycomputer->RefreshList();
        file_mycomputer->setViewStyle(style);
        file_mycomputer->setVisible(true);
    } else {
        const QString trimmed = QString::fromStdString(trim_blanks(combo_filefilter->currentText().toStdString()));
        if (trimmed != combo_filefilter->currentText()) combo_filefilter->setEditText(trimmed);
        file_mycomputer->setMask(trimmed.toStdString());
        file_mycomputer->RefreshList();
    }
    in_filter_change_ = false;
}

void TFileBrowser::combo_filefilterKeyDown(int key) {
    if (key != Qt::Key_Return) return;
    const std::string text = filter_text_on_enter(combo_filefilter->currentText().toStdString());
    in_filter_change_ = true;
    combo_filefilter->setEditText(QString::fromStdString(text));
    in_filter_change_ = false;
    std::vector<std::string> items;
    for (int i = 0; i < combo_filefilter->count(); ++i)
        items.push_back(combo_filefilter->itemText(i).toStdString());
    if (filter_should_append(items, text)) {
        QSignalBlocker quiet(combo_filefilter);
        combo_filefilter->addItem(QString::fromStdString(text));
        combo_filefilter->setEditText(QString::fromStdString(text));
    }
    file_mycomputer->setMask(text);
    file_mycomputer->RefreshList();
}

// --- the list ----------------------------------------------------------------

void TFileBrowser::file_mycomputerInserted(const QString& full_path, int row) {
    if (file_mycomputer->entry(row).kind != EntryKind::File) return;
    // Only a ".vkd" name can be classified as a voice file; asking the WAV
    // reader about every other file would open each for nothing.
    if (!full_path.endsWith(QLatin1String(".vkd"), Qt::CaseInsensitive)) return;
    const FileProbeResult r = probe_(full_path.toStdString());
    if (r.kind != 2) return;
    const std::string text = voice_type_text(r.mode_code);
    if (!text.empty()) file_mycomputer->setTypeText(row, text);
}

std::string TFileBrowser::info_line() const { return Panel_downcaption->text().toStdString(); }

void TFileBrowser::file_mycomputerSelectItem() {
    const std::string folder = AddSlash(directory_mycomputer->SelectedPath());
    std::vector<int> rows;
    for (int row = 0; row < file_mycomputer->count(); ++row)
        if (file_mycomputer->isSelected(row)) rows.push_back(row);
    double bytes = 0;
    for (int row : rows) {
        const QFileInfo info(QString::fromStdString(folder) + file_mycomputer->caption(row));
        if (info.exists() && !info.isDir()) bytes += static_cast<double>(info.size());
    }
    const double kbytes = bytes / 1024.0;
    std::string line;
    if (rows.size() == 1) {
        const FileProbeResult r = probe_(folder + file_mycomputer->caption(rows.front()).toStdString());
        line = r.kind == 2 ? info_line_voice(r.summary, kbytes, locale_) : info_line_count(1, kbytes, locale_);
    } else {
        line = info_line_count(static_cast<int>(rows.size()), kbytes, locale_);
    }
    Panel_downcaption->setText(QString::fromStdString(line));
}

void TFileBrowser::file_mycomputerDblClick() {
    const int row = file_mycomputer->Selected();
    if (row < 0) return;
    const DirEntry& e = file_mycomputer->entry(row);
    if (e.kind == EntryKind::Drive) {
        if (!volumes_->is_ready(e.full_path)) {
            show_warning(warning_for(e.caption));
            return;
        }
        file_mycomputer->OpenSelected();
        return;
    }
    if (is_folder(AddSlash(directory_mycomputer->SelectedPath()) + e.caption)) {
        file_mycomputer->OpenSelected();
        return;
    }
    call(host.play_selection);
}

void TFileBrowser::file_mycomputerKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers shift = modifiers & ~Qt::KeypadModifier;
    if (shift == Qt::ControlModifier && key == Qt::Key_C) {
        if (file_mycomputer->Selected() >= 0) call(host.copy_selection);
    } else if (shift == Qt::ControlModifier && key == Qt::Key_V) {
        // The clipboard may have changed since the last press in the list
        // (a copy here or in another program): read it now.
        drop_file_count = read_clipboard_file_count();
        if (drop_file_count > 0) call(host.paste);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        call(host.play_selection);
    } else if (key == Qt::Key_Delete) {
        if (!player_open() && file_mycomputer->SelCount() > 0 && !file_mycomputer->IsEditing())
            call(host.delete_selected);
    }
}

void TFileBrowser::file_mycomputerMouseDown(Qt::MouseButton button, const QPoint& position) {
    if (host.recording && host.recording()) return;
    const int count = file_mycomputer->SelCount();
    const std::string single =
        count == 1 ? file_mycomputer->caption(file_mycomputer->Selected()).toStdString() : std::string();
    set_filepopupmenu(popup_kind(count, single, player_open()));
    press_position = position;
    if (button == Qt::RightButton) popup_file->popup(QCursor::pos());
}

int TFileBrowser::read_clipboard_file_count() const {
    if (host.clipboard_file_count) return host.clipboard_file_count();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    int files = 0;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) ++files;
    return files;
}

void TFileBrowser::set_filepopupmenu(int kind) {
    drop_file_count = read_clipboard_file_count();
    paste_available = drop_file_count > 0;
    apply_popup_state(popup_items(kind, paste_available, file_mycomputer->count() > 0, popup_state()));
}

PopupItems TFileBrowser::popup_state() const {
    PopupItems p;
    p.open = P_hddopen->isEnabled();
    p.convert = P_hddconvert->isEnabled();
    p.edit = P_hddedit->isEnabled();
    p.mail = P_hddmail->isEnabled();
    p.copy = P_hddcopy->isEnabled();
    p.paste = P_hddpaste->isEnabled();
    p.select_all = P_hddallsel->isEnabled();
    p.erase = P_hdddel->isEnabled();
    p.attribute = P_hddattr->isEnabled();
    p.rename = P_hddrename->isEnabled();
    p.refresh = P_hddrefresh->isEnabled();
    return p;
}

void TFileBrowser::apply_popup_state(const PopupItems& p) {
    P_hddopen->setEnabled(p.open);
    P_hddconvert->setEnabled(p.convert);
    P_hddedit->setEnabled(p.edit);
    P_hddmail->setEnabled(p.mail);
    P_hddcopy->setEnabled(p.copy);
    P_hddpaste->setEnabled(p.paste);
    P_hddallsel->setEnabled(p.select_all);
    P_hdddel->setEnabled(p.erase);
    P_hddattr->setEnabled(p.attribute);
    P_hddrename->setEnabled(p.rename);
    P_hddrefresh->setEnabled(p.refresh);
}

// --- device change -------------------------------------------------------------

void TFileBrowser::device_changed() {
    const std::string typed = edit_directory->text().toStdString();
    const std::string target = is_folder(typed) ? typed : app().data_dir;
    const std::string listed = file_mycomputer->Directory();
    directory_mycomputer->ReloadTree();
    directory_mycomputer->setSelectedPath(target);
    directory_mycomputer->OpenPath(target);
    // The folder may be the same path on a volume that was just mounted over
    // it: list it again rather than keep what the old volume held.
    if (file_mycomputer->Directory() == listed) file_mycomputer->RefreshList();
}

}  // namespace murrel
