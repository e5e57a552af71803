// The mount watcher notices a recorder being plugged in and pulled out, in a
// rewritten fake table and (where the sandbox allows mounting) in the real one.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <filesystem>
#include <sys/mount.h>
#include <unistd.h>

#include "filemanager/mount_watcher.h"
#include "filemanager/volumes.h"
#include "testsupport/fake_mounts.h"

namespace murrel {
namespace {

TEST(MountWatcher, ReportsEachChangeOfAFakeTableOnce) {
    testsupport::FakeMountTable fake;
    MountWatcher watcher(QString::fromStdString(fake.mountinfo_path()));
    QSignalSpy spy(&watcher, &MountWatcher::changed);
    EXPECT_FALSE(watcher.check_now());  // nothing changed yet

    fake.plug_in("RECORDER");
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, 3000));
    QTest::qWait(100);
    EXPECT_EQ(spy.count(), 1);

    fake.pull_out("RECORDER");
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 2; }, 3000));
    QTest::qWait(600);  // beyond one poll period: no repeat without a change
    EXPECT_EQ(spy.count(), 2);
}

TEST(MountWatcher, SeesARealMountAndUnmount) {
    const std::string point = "/mnt/murrel-test-" + std::to_string(::getpid());
    std::error_code ec;
    std::filesystem::create_directories(point, ec);
    if (ec) GTEST_SKIP() << "cannot create " << point;
    MountWatcher watcher;
    QSignalSpy spy(&watcher, &MountWatcher::changed);
    if (::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=64k") != 0) {
        const int err = errno;
        std::filesystem::remove(point, ec);
        if (err == EPERM || err == EACCES) GTEST_SKIP() << "mounting is not permitted here";
        FAIL() << "mount failed: " << err;
    }
    const bool arrived = QTest::qWaitFor([&] { return spy.count() >= 1; }, 3000);
    VolumeTable table;  // the real table and media folders
    const Volume* v = table.find(point);
    const bool listed = v != nullptr;
    const std::string name = v ? v->display_name : std::string();
    ::umount(point.c_str());
    const bool left = QTest::qWaitFor([&] { return spy.count() >= 2; }, 3000);
    table.refresh();
    const bool gone = table.find(point) == nullptr;
    std::filesystem::remove(point, ec);
    EXPECT_TRUE(arrived);
    EXPECT_TRUE(listed);
    EXPECT_EQ(name, "murrel-test-" + std::to_string(::getpid()));
    EXPECT_TRUE(left);
    EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace murrel
