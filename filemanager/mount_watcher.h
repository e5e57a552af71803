#pragma once
// Tells the user-interface thread that the mount table changed: the program's
// replacement for the device-arrival and device-removal notifications.
//
// The kernel's table (/proc/self/mountinfo) signals a change as an exceptional
// condition on its descriptor, which is re-armed by reading it again from the
// start. A replacement table (a plain file a test rewrites) gives no such
// condition, so it is watched for modification instead. Either way `changed()`
// is emitted only when the table's text really differs from the last reading.
// Lives on, and emits on, the thread that created it.
#include <QByteArray>
#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;

namespace murrel {

class MountWatcher : public QObject {
    Q_OBJECT
public:
    explicit MountWatcher(QString mountinfo_path = QStringLiteral("/proc/self/mountinfo"),
                          QObject* parent = nullptr);
    ~MountWatcher() override;

    const QString& path() const { return path_; }
    // Re-reads the table now; emits changed() and returns true when it differs.
    bool check_now();

signals:
    void changed();

private:
    QByteArray read_table();

    QString path_;
    QByteArray last_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QFileSystemWatcher* file_watcher_ = nullptr;
    QTimer* poll_timer_ = nullptr;
};

}  // namespace murrel
