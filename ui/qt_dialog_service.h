#pragma once
// The dialog service of the running program: Qt message boxes with the
// request's caption and icon, Qt's own file and folder choosers, all in the
// skin's dark look and centred over the window they belong to. Install it with
// set_dialog_service once the QApplication exists.
#include "shell/dialogs.h"

class QWidget;

namespace murrel::ui {

class QtDialogService final : public DialogService {
public:
    DialogResult message_box(const MessageRequest& request) override;
    std::vector<std::string> open_files(const FileDialogRequest& request) override;
    std::optional<std::string> save_file(const FileDialogRequest& request) override;
    std::optional<std::string> choose_folder(const FolderDialogRequest& request) override;

private:
    // The owner every box and chooser is centred over.
    static QWidget* parent_window();
};

}  // namespace murrel::ui
