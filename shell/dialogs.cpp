#include "shell/dialogs.h"

#include <cstdio>

#include "shell/appstate.h"

namespace murrel {

namespace {
ConsoleDialogService console_service;
DialogService* installed = nullptr;

const char* icon_word(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error: return "error";
    case MessageIcon::Warning: return "warning";
    case MessageIcon::Question: return "question";
    case MessageIcon::Information: return "information";
    case MessageIcon::None: break;
    }
    return "message";
}
}  // namespace

DialogResult ConsoleDialogService::message_box(const MessageRequest& request) {
    std::fprintf(stderr, "%s: %s: %s\n", request.caption.c_str(), icon_word(request.icon),
                 request.text.c_str());
    switch (request.buttons) {
    case MessageButtons::Ok: return DialogResult::Ok;
    case MessageButtons::OkCancel: return DialogResult::Cancel;
    case MessageButtons::YesNo: return DialogResult::No;
    case MessageButtons::YesNoCancel: return DialogResult::Cancel;
    }
    return DialogResult::Cancel;
}

std::vector<std::string> ConsoleDialogService::open_files(const FileDialogRequest&) { return {}; }

std::optional<std::string> ConsoleDialogService::save_file(const FileDialogRequest&) {
    return std::nullopt;
}

std::optional<std::string> ConsoleDialogService::choose_folder(const FolderDialogRequest&) {
    return std::nullopt;
}

DialogService& dialogs() { return installed ? *installed : console_service; }

void set_dialog_service(DialogService* service) { installed = service; }

void show_error(const std::string& text) {
    dialogs().message_box({app().app_name, text, MessageIcon::Error, MessageButtons::Ok, true});
}

void show_warning(const std::string& text) {
    dialogs().message_box({app().app_name, text, MessageIcon::Warning, MessageButtons::Ok, true});
}

}  // namespace murrel
