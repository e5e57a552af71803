#include "shell/gui/launcher.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace murrel {

namespace {
// xdg-open answers at once when it finds no program (exit code 3 or 4); a
// program it found may keep it waiting, so after this long it counts as opened.
constexpr int kLaunchVerdictMs = 3000;
}  // namespace

bool DesktopLauncher::open(const std::string& path) {
    const QString file = QString::fromStdString(path);
    if (QStandardPaths::findExecutable("xdg-open").isEmpty())
        return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start("xdg-open", {file});
    if (!process->waitForStarted()) {
        process->deleteLater();
        return false;
    }
    if (!process->waitForFinished(kLaunchVerdictMs)) return true;  // still opening; it cleans up when done
    return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

}  // namespace murrel
