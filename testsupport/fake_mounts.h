#pragma once
// A mount table tests can rewrite: a file in the format of
// /proc/self/mountinfo, a media folder where "mounted" volumes live as ordinary
// folders, and a small /sys tree telling which disks are removable. Plugging in
// a recorder creates its folder, marks its disk removable and adds its line;
// pulling it out removes both, as the desktop's automounter does.
#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/scratch_dir.h"

namespace murrel::testsupport {

class FakeMountTable {
public:
    FakeMountTable();

    // Give these to the volume list (mount table, /sys root, media root).
    std::string mountinfo_path() const { return dir_.file("mountinfo"); }
    std::string sys_dir() const { return dir_.file("sys"); }
    std::string media_root() const { return dir_.file("media"); }
    std::string home() const { return dir_.file("home"); }

    // Adds a line mounting `source` (e.g. "/dev/sdz1") at `mount_point` and rewrites the file.
    void add(const std::string& mount_point, const std::string& source, const std::string& fs_type = "vfat");
    // Removes every line for `mount_point` and rewrites the file.
    void remove(const std::string& mount_point);

    // A recorder named `label` on disk `disk`: folder media_root/label (created),
    // /sys/block/<disk>/removable = 1, line "/dev/<disk>1". Returns the mount point.
    std::string plug_in(const std::string& label, const std::string& disk = "sdz");
    // Removes the recorder's line and its folder.
    void pull_out(const std::string& label);

    // Marks `disk` removable (1) or fixed (0) in the fake /sys.
    void set_removable(const std::string& disk, bool removable);

private:
    struct Line {
        std::string mount_point, source, fs_type;
    };
    void write() const;

    ScratchDir dir_;
    std::vector<Line> lines_;
};

}  // namespace murrel::testsupport
