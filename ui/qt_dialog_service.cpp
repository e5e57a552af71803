#include "ui/qt_dialog_service.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/skin.h"

namespace murrel::ui {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

QMessageBox::Icon icon_of(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons buttons_of(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}
// Qt's own file dialog rather than the desktop's: only it takes the skin's
// look, and it behaves the same on every desktop (and on none).
void prepare_file_dialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    paint_dark_dialog(&dialog);
}

bool ends_accepted(QFileDialog& dialog) {
    // The chooser settles its size only after the toolkit placed it.
    centre_when_shown(&dialog, dialog.parentWidget());
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
}
}  // namespace

// Boxes open over the window the user is working in; when none is active (the
// program is in the background, or a box is asked for at start-up) over the
// first visible program window, so that a box never lands in a screen corner.
QWidget* QtDialogService::parent_window() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->isMinimized() && w->windowType() != Qt::ToolTip &&
            w->windowType() != Qt::Popup)
            return w;
    return nullptr;
}

DialogResult QtDialogService::message_box(const MessageRequest& request) {
    QMessageBox box(icon_of(request.icon), q(request.caption), q(request.text),
                    buttons_of(request.buttons), parent_window());
    box.setWindowModality(Qt::ApplicationModal);
    paint_dark_dialog(&box);
    centre_when_shown(&box, box.parentWidget());
    // A system-modal box of the original platform stays above every window.
    if (request.system_modal) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    switch (box.exec()) {
    case QMessageBox::Ok: return DialogResult::Ok;
    case QMessageBox::Yes: return DialogResult::Yes;
    case QMessageBox::No: return DialogResult::No;
    default: return DialogResult::Cancel;
    }
}

std::vector<std::string> QtDialogService::open_files(const FileDialogRequest& request) {
    QFileDialog dialog(parent_window(), q(request.title), q(request.folder), q(request.filter));
    prepare_file_dialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    std::vector<std::string> out;
    if (!ends_accepted(dialog)) return out;
    for (const QString& f : dialog.selectedFiles()) out.push_back(f.toStdString());
    return out;
}

std::optional<std::string> QtDialogService::save_file(const FileDialogRequest& request) {
    QFileDialog dialog(parent_window(), q(request.title), q(request.folder), q(request.filter));
    prepare_file_dialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.default_extension.empty()) dialog.setDefaultSuffix(q(request.default_extension));
    if (!request.file_name.empty()) dialog.selectFile(q(request.file_name));
    if (!ends_accepted(dialog)) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtDialogService::choose_folder(const FolderDialogRequest& request) {
    QFileDialog dialog(parent_window(), q(request.title), q(request.folder));
    prepare_file_dialog(dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // The explanatory text sits where the file-name label would be.
    if (!request.prompt.empty()) dialog.setLabelText(QFileDialog::FileName, q(request.prompt));
    if (!ends_accepted(dialog)) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

}  // namespace murrel::ui
