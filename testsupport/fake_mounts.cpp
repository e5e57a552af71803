#include "testsupport/fake_mounts.h"

#include <algorithm>
#include <fstream>

namespace murrel::testsupport {

namespace {
// The kernel escapes blanks and backslashes in paths as octal.
std::string escape(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ') out += "\\040";
        else if (c == '\t') out += "\\011";
        else if (c == '\\') out += "\\134";
        else out += c;
    }
    return out;
}
}  // namespace

FakeMountTable::FakeMountTable() {
    std::filesystem::create_directories(media_root());
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(sys_dir() + "/block");
    lines_.push_back({"/", "/dev/sda1", "ext4"});
    lines_.push_back({"/proc", "proc", "proc"});
    set_removable("sda", false);
    write();
}

void FakeMountTable::write() const {
    // Written in place, so that a watch on the file sees a modification.
    std::ofstream out(mountinfo_path(), std::ios::trunc);
    int id = 20;
    for (const Line& l : lines_) {
        out << id << " 1 8:" << id << " / " << escape(l.mount_point) << " rw,relatime shared:" << id
            << " - " << l.fs_type << " " << escape(l.source) << " rw\n";
        ++id;
    }
}

void FakeMountTable::add(const std::string& mount_point, const std::string& source, const std::string& fs_type) {
    lines_.push_back({mount_point, source, fs_type});
    write();
}

void FakeMountTable::remove(const std::string& mount_point) {
    lines_.erase(std::remove_if(lines_.begin(), lines_.end(),
                                [&](const Line& l) { return l.mount_point == mount_point; }),
                 lines_.end());
    write();
}

void FakeMountTable::set_removable(const std::string& disk, bool removable) {
    const std::string folder = sys_dir() + "/block/" + disk;
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/removable", std::ios::trunc) << (removable ? "1\n" : "0\n");
}

std::string FakeMountTable::plug_in(const std::string& label, const std::string& disk) {
    const std::string point = media_root() + "/" + label;
    std::filesystem::create_directories(point);
    set_removable(disk, true);
    add(point, "/dev/" + disk + "1");
    return point;
}

void FakeMountTable::pull_out(const std::string& label) {
    const std::string point = media_root() + "/" + label;
    remove(point);
    std::error_code ignored;
    std::filesystem::remove_all(point, ignored);
}

}  // namespace murrel::testsupport
