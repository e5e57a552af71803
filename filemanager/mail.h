#pragma once
// Handing files to the user's mail program as attachments of a new message.
// The mail program registered for mailto: links is asked through xdg-email;
// when that program is a web browser (which drops attachments) and a mail
// program with its own compose command is installed, that command is used
// instead. Whether any mail program is registered is looked up when mail is
// first used, not at start.
//
// Threads: the user-interface thread; SendMail waits for the hand-off.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace murrel {

inline constexpr int MAPI_E_FAILURE = 2;
inline constexpr int MAPI_E_LOGIN_FAILURE = 3;
inline constexpr int MAPI_E_ATTACHMENT_NOT_FOUND = 11;
inline constexpr int MAPI_E_UNKNOWN_RECIPIENT = 14;
inline constexpr int MAPI_E_AMBIGUOUS_RECIPIENT = 21;

class EMapiUnavailable : public std::runtime_error {
public:
    EMapiUnavailable() : std::runtime_error("MAPI services are not available on this system") {}
};

// Runs a program and returns its exit status (-1: it could not be started).
// Replaceable so that tests can see the command without any mail program.
using CommandRunner = std::function<int(const std::vector<std::string>& argv)>;
int run_command_waiting(const std::vector<std::string>& argv);

// The command that hands `attachments` over: a known mail program's own
// compose command when `handler_desktop` (the mailto: handler's desktop file
// name) belongs to a web browser and `installed` finds that program; else
// xdg-email --attach for each file.
std::vector<std::string> mail_command(const std::vector<std::string>& attachments, const std::string& handler_desktop,
                                      bool handler_is_browser, const std::function<bool(const std::string&)>& installed);

class TEmail {
public:
    std::vector<std::string> Recipient, CC, Bcc, Attachment;
    std::string Subject, Text, Profile, Password;
    bool Acknowledge = false;
    bool ShowDialog = true;
    bool UseDefProfile = true;
    bool NewSession = false;
    bool DownLoadFirst = false;
    bool TruncAttFN = false;

    CommandRunner run = run_command_waiting;

    // Looked up on first use: a mailto: handler is registered.
    bool MapiAvail();
    void Clear();
    // 0 when the mail program was reached; MAPI_E_ATTACHMENT_NOT_FOUND when
    // an attachment is missing, MAPI_E_FAILURE when the hand-off failed.
    // Raises EMapiUnavailable when no mail program is registered.
    int SendMail();

private:
    int looked_up_ = -1;  // -1 not yet, 0 none, 1 registered
    std::string handler_;
};

}  // namespace murrel
