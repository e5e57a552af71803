#include "filemanager/volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

namespace murrel {

namespace {

// Octal escapes the kernel writes for blanks, tabs, newlines and backslashes.
std::string unescape(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(),
                                                   [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::string strip_trailing_slash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string read_small_file(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

std::string last_component(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "sdb1" -> "sdb", "mmcblk0p1" -> "mmcblk0", "nvme0n1p2" -> "nvme0n1".
std::string strip_partition(const std::string& name) {
    size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1]))) --end;
    if (end == name.size() || end == 0) return name;
    if (name[end - 1] == 'p' && end >= 2 && std::isdigit(static_cast<unsigned char>(name[end - 2])))
        return name.substr(0, end - 1);
    return name.substr(0, end);
}

}  // namespace

bool path_within(const std::string& path, const std::string& root) {
    if (root == "/") return !path.empty() && path.front() == '/';
    if (path.size() < root.size() || path.compare(0, root.size(), root) != 0) return false;
    return path.size() == root.size() || path[root.size()] == '/';
}

std::vector<MountEntry> parse_mountinfo(const std::string& text) {
    std::vector<MountEntry> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        std::string word;
        while (fields >> word) f.push_back(word);
        // id parent major:minor root mount-point options [optional...] - type source super
        auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || dash - f.begin() < 6 || f.end() - dash < 3) continue;
        MountEntry entry;
        entry.mount_point = unescape(f[4]);
        entry.fs_type = unescape(*(dash + 1));
        entry.source = unescape(*(dash + 2));
        if (entry.mount_point.empty() || entry.mount_point.front() != '/') continue;
        out.push_back(std::move(entry));
    }
    return out;
}

bool device_removable(const std::string& sys_dir, const std::string& device) {
    if (device.rfind("/dev/", 0) != 0) return false;
    // Sources like /dev/disk/by-label/REC are links to the real node.
    const QString resolved = QFileInfo(QString::fromStdString(device)).canonicalFilePath();
    const std::string node = last_component(resolved.isEmpty() ? device : resolved.toStdString());
    if (node.empty()) return false;
    const std::string direct = sys_dir + "/block/" + node + "/removable";
    if (QFileInfo::exists(QString::fromStdString(direct))) return read_small_file(direct) == "1";
    // A partition: its class link leads into the whole disk's folder.
    const QString link =
        QFileInfo(QString::fromStdString(sys_dir + "/class/block/" + node)).canonicalFilePath();
    std::string disk;
    if (!link.isEmpty()) disk = last_component(QFileInfo(link).path().toStdString());
    if (disk.empty() || !QFileInfo::exists(QString::fromStdString(sys_dir + "/block/" + disk)))
        disk = strip_partition(node);
    return read_small_file(sys_dir + "/block/" + disk + "/removable") == "1";
}

std::vector<Volume> volumes_from_mounts(const std::vector<MountEntry>& mounts,
                                        const VolumeSources& sources) {
    std::map<std::string, Volume> media;  // by mount point, later lines win
    Volume root{"/", "System", "", "", VolumeKind::Root};
    for (const MountEntry& m : mounts) {
        const std::string point = strip_trailing_slash(m.mount_point);
        if (point == "/") {
            root.device = m.source;
            root.fs_type = m.fs_type;
            continue;
        }
        for (const std::string& r : sources.media_roots) {
            const std::string media_root = strip_trailing_slash(r);
            if (point != media_root && path_within(point, media_root)) {
                Volume v;
                v.mount_point = point;
                v.display_name = last_component(point);
                v.device = m.source;
                v.fs_type = m.fs_type;
                v.kind = device_removable(sources.sys_dir, m.source) ? VolumeKind::Removable
                                                                      : VolumeKind::Fixed;
                media[point] = std::move(v);
                break;
            }
        }
    }
    std::vector<Volume> out;
    out.push_back(root);
    const std::string home =
        strip_trailing_slash(sources.home.empty() ? QDir::homePath().toStdString() : sources.home);
    if (home != "/" && QFileInfo(QString::fromStdString(home)).isDir())
        out.push_back(Volume{home, "Home", "", "", VolumeKind::Home});
    for (auto& [point, v] : media) out.push_back(std::move(v));
    return out;
}

VolumeTable::VolumeTable(VolumeSources sources) : sources_(std::move(sources)) { refresh(); }

bool VolumeTable::refresh() {
    QFile file(QString::fromStdString(sources_.mountinfo_path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    // /proc files report size 0: read until the end rather than by size.
    const QByteArray text = file.readAll();
    volumes_ = volumes_from_mounts(parse_mountinfo(text.toStdString()), sources_);
    return true;
}

const Volume* VolumeTable::find(const std::string& mount_point) const {
    const std::string point = strip_trailing_slash(mount_point);
    for (const Volume& v : volumes_)
        if (v.mount_point == point) return &v;
    return nullptr;
}

const Volume* VolumeTable::volume_of(const std::string& path) const {
    const Volume* best = nullptr;
    for (const Volume& v : volumes_)
        if (path_within(strip_trailing_slash(path), v.mount_point) &&
            (!best || v.mount_point.size() > best->mount_point.size()))
            best = &v;
    return best;
}

bool VolumeTable::is_ready(const std::string& mount_point) {
    refresh();
    if (!find(mount_point)) return false;
    const QString point = QString::fromStdString(strip_trailing_slash(mount_point));
    const QFileInfo info(point);
    if (!info.isDir() || !info.isReadable()) return false;
    const QStorageInfo storage(point);
    return storage.isValid() && storage.isReady();
}

}  // namespace murrel
