#include "testsupport/scripted_dialogs.h"

namespace murrel::testsupport {

ScriptedDialogs::ScriptedDialogs() { set_dialog_service(this); }

ScriptedDialogs::~ScriptedDialogs() { set_dialog_service(nullptr); }

DialogResult ScriptedDialogs::message_box(const MessageRequest& request) {
    messages.push_back(request);
    if (!message_answers.empty()) {
        DialogResult r = message_answers.front();
        message_answers.pop_front();
        return r;
    }
    switch (request.buttons) {
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel: return DialogResult::Yes;
    default: return DialogResult::Ok;
    }
}

std::vector<std::string> ScriptedDialogs::open_files(const FileDialogRequest& request) {
    file_requests.push_back(request);
    if (open_answers.empty()) return {};
    auto r = open_answers.front();
    open_answers.pop_front();
    return r;
}

std::optional<std::string> ScriptedDialogs::save_file(const FileDialogRequest& request) {
    file_requests.push_back(request);
    if (save_answers.empty()) return std::nullopt;
    auto r = save_answers.front();
    save_answers.pop_front();
    return r;
}

std::optional<std::string> ScriptedDialogs::choose_folder(const FolderDialogRequest& request) {
    folder_requests.push_back(request);
    if (folder_answers.empty()) return std::nullopt;
    auto r = folder_answers.front();
    folder_answers.pop_front();
    return r;
}

std::vector<std::string> ScriptedDialogs::texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.text);
    return out;
}

}  // namespace murrel::testsupport
