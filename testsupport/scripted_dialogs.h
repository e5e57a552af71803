#pragma once
// A DialogService that answers from a script and remembers every question, so
// tests can check which boxes a routine showed and steer its choices. Installs
// itself for its lifetime.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "shell/dialogs.h"

namespace murrel::testsupport {

class ScriptedDialogs final : public DialogService {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // Answers are taken in order; when a queue runs dry, message boxes answer
    // with their first button (Ok/Yes) and choosers are cancelled.
    std::deque<DialogResult> message_answers;
    std::deque<std::vector<std::string>> open_answers;
    std::deque<std::optional<std::string>> save_answers;
    std::deque<std::optional<std::string>> folder_answers;

    std::vector<MessageRequest> messages;
    std::vector<FileDialogRequest> file_requests;
    std::vector<FolderDialogRequest> folder_requests;

    DialogResult message_box(const MessageRequest& request) override;
    std::vector<std::string> open_files(const FileDialogRequest& request) override;
    std::optional<std::string> save_file(const FileDialogRequest& request) override;
    std::optional<std::string> choose_folder(const FolderDialogRequest& request) override;

    // Texts of the boxes shown so far, in order.
    std::vector<std::string> texts() const;
};

}  // namespace murrel::testsupport
