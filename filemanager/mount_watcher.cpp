#include "filemanager/mount_watcher.h"

#include <QFile>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace murrel {

namespace {
// A replacement table may be replaced by renaming, which ends an inotify watch;
// this slow poll catches what the watch misses.
constexpr int kFilePollMs = 500;
}  // namespace

MountWatcher::MountWatcher(QString mountinfo_path, QObject* parent)
    : QObject(parent), path_(std::move(mountinfo_path)) {
    fd_ = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
    last_ = read_table();
    if (path_.startsWith(QLatin1String("/proc/"))) {
        if (fd_ >= 0) {
            notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Exception, this);
            connect(notifier_, &QSocketNotifier::activated, this, [this] { check_now(); });
        }
        return;
    }
    file_watcher_ = new QFileSystemWatcher(this);
    file_watcher_->addPath(path_);
    connect(file_watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
        if (!file_watcher_->files().contains(path_)) file_watcher_->addPath(path_);
        check_now();
    });
    poll_timer_ = new QTimer(this);
    poll_timer_->setInterval(kFilePollMs);
    connect(poll_timer_, &QTimer::timeout, this, [this] {
        if (!file_watcher_->files().contains(path_)) file_watcher_->addPath(path_);
        check_now();
    });
    poll_timer_->start();
}

MountWatcher::~MountWatcher() {
    delete notifier_;
    if (fd_ >= 0) ::close(fd_);
}

QByteArray MountWatcher::read_table() {
    QByteArray text;
    if (notifier_ || path_.startsWith(QLatin1String("/proc/"))) {
        // Reading the kept descriptor from offset 0 is what re-arms the notification.
        if (fd_ < 0) return text;
        ::lseek(fd_, 0, SEEK_SET);
        char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<int>(n));
        }
        return text;
    }
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly)) text = file.readAll();
    return text;
}

bool MountWatcher::check_now() {
    QByteArray now = read_table();
    if (now == last_) return false;
    last_ = std::move(now);
    emit changed();
    return true;
}

}  // namespace murrel
