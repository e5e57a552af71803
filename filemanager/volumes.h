#pragma once
// The volumes the browser offers in place of drive letters: the root file
// system, the user's home folder and every file system mounted under the media
// folders (where desktops put plugged-in recorders and sticks). Read from the
// mount table; every source path can be replaced so tests can act out a
// recorder being plugged in and pulled out.
#include <optional>
#include <string>
#include <vector>

namespace murrel {

enum class VolumeKind { Root, Home, Fixed, Removable };

struct Volume {
    std::string mount_point;   // absolute, no trailing '/' except for "/"
    std::string display_name;  // what the selector, the tree and the list show
    std::string device;        // mount source as the table gives it ("/dev/sdb1")
    std::string fs_type;
    VolumeKind kind = VolumeKind::Fixed;
    bool removable() const { return kind == VolumeKind::Removable; }
};

// One line of the mount table, with octal escapes (\040) decoded.
struct MountEntry {
    std::string mount_point;
    std::string fs_type;
    std::string source;
};

// Parses the text of /proc/self/mountinfo; malformed lines are skipped.
std::vector<MountEntry> parse_mountinfo(const std::string& text);

struct VolumeSources {
    std::string mountinfo_path = "/proc/self/mountinfo";
    std::string sys_dir = "/sys";  // for <sys>/block/<disk>/removable
    std::string home;              // empty: the user's home folder
    // Mount points strictly below one of these are offered as volumes.
    std::vector<std::string> media_roots = {"/media", "/run/media", "/mnt"};
};

// What /sys says about the disk holding `device` (a partition or a whole disk):
// true when its "removable" attribute is 1. Devices that are no block device
// (tmpfs, network shares) are not removable.
bool device_removable(const std::string& sys_dir, const std::string& device);

// The volume list built from a mount table text: root first, then home, then
// the media volumes sorted by mount point. A mount point mounted twice counts
// once (the later line wins, as it hides the earlier one).
std::vector<Volume> volumes_from_mounts(const std::vector<MountEntry>& mounts,
                                        const VolumeSources& sources);

// The volume list of the current mount table, re-read on every refresh().
class VolumeTable {
public:
    explicit VolumeTable(VolumeSources sources = {});

    // Re-reads the mount table; false (and an unchanged list) when it cannot be read.
    bool refresh();
    const std::vector<Volume>& volumes() const { return volumes_; }
    const VolumeSources& sources() const { return sources_; }

    // Pointers into the list stay valid until the next refresh() or is_ready().
    const Volume* find(const std::string& mount_point) const;
    // The volume whose mount point is the longest prefix of `path`.
    const Volume* volume_of(const std::string& path) const;
    // The size query of a drive: the volume is still in a freshly read table,
    // its mount point is a readable folder and its file system answers.
    bool is_ready(const std::string& mount_point);

private:
    VolumeSources sources_;
    std::vector<Volume> volumes_;
};

// True when `path` is `root` or lies below it ("/mnt/a" is not below "/mnt/ab").
bool path_within(const std::string& path, const std::string& root);

}  // namespace murrel
