#include "filemanager/mail.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace murrel {

namespace {

// xdg-email's status when no mail program could be found.
constexpr int kNoMailProgram = 3;

std::string query_mailto_handler() {
    QProcess p;
    p.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                          QStringLiteral("x-scheme-handler/mailto")});
    if (!p.waitForFinished(10000)) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed().toStdString();
}

// The handler's desktop entry says it is a web browser.
bool desktop_is_browser(const std::string& desktop) {
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, QString::fromStdString(desktop));
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("Categories=")) return line.contains("WebBrowser");
    return false;
}

bool installed_on_path(const std::string& program) {
    return !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty();
}

}  // namespace

int run_command_waiting(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    QStringList args;
    for (size_t i = 1; i < argv.size(); ++i) args << QString::fromStdString(argv[i]);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QString::fromStdString(argv.front()), args);
    if (!p.waitForStarted(10000)) return -1;
    // The compose window's hand-off: xdg-email returns once the program took the message.
    p.waitForFinished(-1);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

std::vector<std::string> mail_command(const std::vector<std::string>& attachments, const std::string& handler_desktop,
                                      bool handler_is_browser, const std::function<bool(const std::string&)>& installed) {
    (void)handler_desktop;
    if (handler_is_browser) {
        if (installed("thunderbird")) {
            QStringList urls;
            for (const std::string& a : attachments)
                urls << QUrl::fromLocalFile(QString::fromStdString(a)).toString(QUrl::FullyEncoded);
            return {"thunderbird", "-compose", "attachment='" + urls.join(',').toStdString() + "'"};
        }
        if (installed("evolution")) {
            std::string url = "mailto:";
            for (size_t i = 0; i < attachments.size(); ++i)
                url += (i ? "&attach=" : "?attach=") +
                       QUrl::fromLocalFile(QString::fromStdString(attachments[i])).toString(QUrl::FullyEncoded).toStdString();
            return {"evolution", url};
        }
    }
    std::vector<std::string> argv{"xdg-email"};
    for (const std::string& a : attachments) {
        argv.push_back("--attach");
        argv.push_back(a);
    }
    return argv;
}

bool TEmail::MapiAvail() {
    if (looked_up_ < 0) {
        handler_ = query_mailto_handler();
        looked_up_ = handler_.empty() ? 0 : 1;
    }
    return looked_up_ == 1;
}

void TEmail::Clear() {
    Acknowledge = false;
    Attachment.clear();
    Bcc.clear();
    CC.clear();
    Recipient.clear();
    Subject.clear();
    Text.clear();
}

int TEmail::SendMail() {
    if (!MapiAvail()) throw EMapiUnavailable();
    for (const std::string& a : Attachment)
        if (!QFileInfo(QString::fromStdString(a)).isFile()) return MAPI_E_ATTACHMENT_NOT_FOUND;
    const int status = run(mail_command(Attachment, handler_, desktop_is_browser(handler_), installed_on_path));
    if (status == kNoMailProgram) {
        // The registration went away since it was looked up.
        looked_up_ = -1;
        throw EMapiUnavailable();
    }
    return status == 0 ? 0 : MAPI_E_FAILURE;
}

}  // namespace murrel
