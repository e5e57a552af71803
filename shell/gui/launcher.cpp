#include "shell/gui/launcher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace murrel {

bool DesktopLauncher::open(const std::string& path) {
    const QString file = QString::fromStdString(path);
    if (!QStandardPaths::findExecutable("xdg-open").isEmpty())
        return QProcess::startDetached("xdg-open", {file});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

}  // namespace murrel
