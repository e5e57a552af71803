#pragma once
// Every modal question the program asks (message boxes, file and folder
// choosers) goes through one DialogService, so that engine code can ask without
// knowing about widgets and tests can answer in its place.
#include <optional>
#include <string>
#include <vector>

namespace murrel {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class DialogResult { Ok, Cancel, Yes, No };

struct MessageRequest {
    std::string caption;  // the program's message boxes all use app_name
    std::string text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    bool system_modal = false;
};

struct FileDialogRequest {
    std::string title;
    std::string folder;             // initial folder; empty = the dialog's own choice
    std::string file_name;          // initial name
    std::string filter;             // "Voice files (*.vkd);;All files (*)"
    std::string default_extension;  // without the dot; applied to a typed name lacking one
    bool multiple = false;
};

struct FolderDialogRequest {
    std::string title;
    std::string prompt;  // explanatory text shown inside the chooser
    std::string folder;  // initial folder
};

class DialogService {
public:
    virtual ~DialogService() = default;
    virtual DialogResult message_box(const MessageRequest& request) = 0;
    // An empty result means the user cancelled.
    virtual std::vector<std::string> open_files(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> save_file(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> choose_folder(const FolderDialogRequest& request) = 0;
};

// Answers without a screen: messages go to standard error, questions take their
// safe answer (No, Cancel, no file). Used by the command-line tool and whenever
// nothing else was installed.
class ConsoleDialogService final : public DialogService {
public:
    DialogResult message_box(const MessageRequest& request) override;
    std::vector<std::string> open_files(const FileDialogRequest& request) override;
    std::optional<std::string> save_file(const FileDialogRequest& request) override;
    std::optional<std::string> choose_folder(const FolderDialogRequest& request) override;
};

// The process-wide service. `set_dialog_service(nullptr)` restores the console
// one. The service is not owned; the caller keeps it alive while installed.
DialogService& dialogs();
void set_dialog_service(DialogService* service);

// The program's two kinds of box: app_name as caption, system-modal.
void show_error(const std::string& text);
void show_warning(const std::string& text);

}  // namespace murrel
