// The mount table reader and the volume list built from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "filemanager/volumes.h"
#include "testsupport/fake_mounts.h"

namespace murrel {
namespace {

VolumeSources sources_of(const testsupport::FakeMountTable& fake) {
    VolumeSources s;
    s.mountinfo_path = fake.mountinfo_path();
    s.sys_dir = fake.sys_dir();
    s.home = fake.home();
    s.media_roots = {fake.media_root()};
    return s;
}

std::vector<std::string> points(const std::vector<Volume>& volumes) {
    std::vector<std::string> out;
    for (const Volume& v : volumes) out.push_back(v.mount_point);
    return out;
}

TEST(MountInfo, ReadsMountPointTypeAndSourceAcrossOptionalFields) {
    const auto mounts = parse_mountinfo(
        "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
        "40 26 8:17 / /media/u/MY\\040REC rw shared:5 master:2 - vfat /dev/sdb1 rw\n"
        "41 26 0:30 / /run/x rw - tmpfs tmpfs rw\n"
        "garbage line\n"
        "42 26 0:31 / relative rw - tmpfs tmpfs rw\n"
        "43 26 0:32 / /no/dash rw\n");
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].mount_point, "/mnt2");
    EXPECT_EQ(mounts[0].fs_type, "ext3");
    EXPECT_EQ(mounts[0].source, "/dev/root");
    EXPECT_EQ(mounts[1].mount_point, "/media/u/MY REC");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[2].fs_type, "tmpfs");
}

TEST(Volumes, RootHomeThenMediaVolumesWithRemovableFromSys) {
    testsupport::FakeMountTable fake;
    const std::string rec = fake.plug_in("RECORDER", "sdz");
    std::filesystem::create_directories(fake.media_root() + "/DATA");
    fake.set_removable("sdy", false);
    fake.add(fake.media_root() + "/DATA", "/dev/sdy2", "ext4");
    fake.add("/srv/elsewhere", "/dev/sdx1", "ext4");  // not a media folder: not offered
    fake.add(fake.media_root(), "/dev/sdw1", "ext4");  // the media root itself: not offered

    VolumeTable table(sources_of(fake));
    const auto& v = table.volumes();
    EXPECT_EQ(points(v), (std::vector<std::string>{"/", fake.home(), fake.media_root() + "/DATA", rec}));
    EXPECT_EQ(v[0].kind, VolumeKind::Root);
    EXPECT_EQ(v[0].device, "/dev/sda1");
    EXPECT_EQ(v[1].kind, VolumeKind::Home);
    EXPECT_EQ(v[1].display_name, "Home");
    EXPECT_EQ(v[2].kind, VolumeKind::Fixed);
    EXPECT_EQ(v[3].kind, VolumeKind::Removable);
    EXPECT_EQ(v[3].display_name, "RECORDER");
    EXPECT_EQ(table.volume_of(rec + "/FOLDER_A/x.vkd"), &v[3]);
    EXPECT_EQ(table.volume_of(fake.home() + "/memos"), &v[1]);
    EXPECT_EQ(table.volume_of("/usr/share"), &v[0]);
    EXPECT_EQ(table.find(rec + "/"), &v[3]);
}

TEST(Volumes, AMountPointMountedTwiceCountsOnceWithTheLaterLine) {
    testsupport::FakeMountTable fake;
    const std::string rec = fake.plug_in("REC", "sdz");
    fake.set_removable("sdq", false);
    fake.add(rec, "/dev/sdq1", "ext4");
    VolumeTable table(sources_of(fake));
    ASSERT_EQ(table.volumes().size(), 3u);
    EXPECT_EQ(table.volumes()[2].device, "/dev/sdq1");
    EXPECT_FALSE(table.volumes()[2].removable());
}

TEST(Volumes, PartitionsFindTheirDisksRemovableFlag) {
    testsupport::FakeMountTable fake;
    fake.set_removable("mmcblk0", true);
    fake.set_removable("nvme0n1", false);
    fake.set_removable("sdc", true);
    EXPECT_TRUE(device_removable(fake.sys_dir(), "/dev/mmcblk0p1"));
    EXPECT_FALSE(device_removable(fake.sys_dir(), "/dev/nvme0n1p2"));
    EXPECT_TRUE(device_removable(fake.sys_dir(), "/dev/sdc"));
    EXPECT_TRUE(device_removable(fake.sys_dir(), "/dev/sdc3"));
    EXPECT_FALSE(device_removable(fake.sys_dir(), "/dev/sdk1"));  // unknown disk
    EXPECT_FALSE(device_removable(fake.sys_dir(), "tmpfs"));
}

TEST(Volumes, AVolumeIsReadyOnlyWhileMountedAndReachable) {
    testsupport::FakeMountTable fake;
    VolumeTable table(sources_of(fake));
    const std::string rec = fake.plug_in("REC");
    EXPECT_TRUE(table.is_ready(rec));  // refreshes the table itself
    fake.pull_out("REC");
    EXPECT_FALSE(table.is_ready(rec));
    // Listed but its folder gone (the medium was pulled without unmounting).
    const std::string stale = fake.plug_in("STALE");
    std::filesystem::remove(stale);
    EXPECT_FALSE(table.is_ready(stale));
    EXPECT_TRUE(table.is_ready("/"));
}

TEST(Volumes, AnUnreadableTableKeepsTheLastList) {
    testsupport::FakeMountTable fake;
    fake.plug_in("REC");
    VolumeSources s = sources_of(fake);
    VolumeTable table(s);
    ASSERT_EQ(table.volumes().size(), 3u);
    std::filesystem::remove(fake.mountinfo_path());
    EXPECT_FALSE(table.refresh());
    EXPECT_EQ(table.volumes().size(), 3u);
}

TEST(Volumes, PathWithinRespectsFolderBoundaries) {
    EXPECT_TRUE(path_within("/mnt/a", "/mnt"));
    EXPECT_TRUE(path_within("/mnt", "/mnt"));
    EXPECT_FALSE(path_within("/mntx", "/mnt"));
    EXPECT_TRUE(path_within("/anything", "/"));
    EXPECT_FALSE(path_within("relative", "/"));
}

}  // namespace
}  // namespace murrel
