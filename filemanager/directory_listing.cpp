#include "filemanager/directory_listing.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>

#include <algorithm>
#include <unordered_map>

#include "filemanager/file_mask.h"

namespace murrel {

namespace {

std::string strip_slash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool less_name(const DirEntry& a, const DirEntry& b) {
    const int c = QString::fromStdString(a.caption).compare(QString::fromStdString(b.caption),
                                                            Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.caption < b.caption;
}

std::string attribute_letters(const QFileInfo& info) {
    std::string letters;
    if (!info.isWritable()) letters += 'R';
    if (info.isHidden()) letters += 'H';
    if (info.isFile()) letters += 'A';
    return letters;
}

}  // namespace

bool is_drives_path(const std::string& path) {
    return QString::fromStdString(path).compare(QLatin1String(kDrivesPath), Qt::CaseInsensitive) == 0;
}

const char* entry_kind_text(EntryKind kind) {
    switch (kind) {
    case EntryKind::Dir: return "dir";
    case EntryKind::Drive: return "drv";
    case EntryKind::File: break;
    }
    return "file";
}

std::string voice_type_text(int mode_code) {
    switch (mode_code) {
    case 2: return "vkd file-sp";
    case 3: return "vkd file-hq";
    case 4: return "vkd file-shq";
    default: return {};
    }
}

std::string size_column_text(int64_t bytes) {
    const int64_t kb = bytes <= 0 ? 0 : (bytes + 1023) / 1024;
    return QLocale::system().toString(static_cast<qlonglong>(kb)).toStdString() + " KB";
}

std::string shell_type_name(const std::string& file_name, bool is_dir) {
    if (is_dir) return "File folder";
    const auto dot = file_name.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == file_name.size()) return "File";
    const QString ext = QString::fromStdString(file_name.substr(dot + 1)).toLower();
    // The MIME database is slow to ask per file; a listing meets few extensions.
    static std::unordered_map<std::string, std::string> cache;
    const std::string key = ext.toStdString();
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    std::string name;
    if (key == "vkd") {
        name = "VKD File";
    } else {
        const QMimeType mime =
            QMimeDatabase().mimeTypeForFile(QStringLiteral("x.") + ext, QMimeDatabase::MatchExtension);
        name = mime.isDefault() || mime.comment().isEmpty() ? ext.toUpper().toStdString() + " File"
                                                            : mime.comment().toStdString();
    }
    cache.emplace(key, name);
    return name;
}

std::vector<DirEntry> list_directory(const std::string& directory, const std::string& mask) {
    const std::vector<std::string> patterns = split_mask(mask);
    std::vector<DirEntry> folders;
    std::vector<std::vector<DirEntry>> files(patterns.size());
    QDirIterator it(QString::fromStdString(strip_slash(directory)),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        DirEntry e;
        e.caption = info.fileName().toStdString();
        const bool is_dir = info.isDir();
        int group = -1;
        if (!is_dir) {
            group = matching_pattern(patterns, e.caption);
            if (group < 0) continue;
        }
        e.kind = is_dir ? EntryKind::Dir : EntryKind::File;
        e.size = is_dir ? 0 : info.size();
        e.size_text = is_dir ? std::string() : size_column_text(e.size);
        e.type_name = shell_type_name(e.caption, is_dir);
        e.modified = info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString();
        e.attributes = attribute_letters(info);
        e.full_path = info.absoluteFilePath().toStdString();
        (is_dir ? folders : files[static_cast<size_t>(group)]).push_back(std::move(e));
    }
    std::sort(folders.begin(), folders.end(), less_name);
    for (auto& group : files) {
        std::sort(group.begin(), group.end(), less_name);
        folders.insert(folders.end(), std::make_move_iterator(group.begin()),
                       std::make_move_iterator(group.end()));
    }
    return folders;
}

std::vector<DirEntry> list_volumes(const std::vector<Volume>& volumes) {
    std::vector<DirEntry> out;
    for (const Volume& v : volumes) {
        DirEntry e;
        e.caption = v.display_name;
        e.kind = EntryKind::Drive;
        e.type_name = v.kind == VolumeKind::Removable ? "Removable Disk"
                      : v.kind == VolumeKind::Home    ? "Home Folder"
                                                      : "Local Disk";
        e.full_path = v.mount_point;
        out.push_back(std::move(e));
    }
    return out;
}

std::string parent_folder(const std::string& directory, const std::vector<Volume>& volumes) {
    const std::string dir = strip_slash(directory);
    if (dir.empty() || dir == "/" || is_drives_path(dir)) return kDrivesPath;
    for (const Volume& v : volumes)
        if (v.mount_point == dir) return kDrivesPath;
    const auto slash = dir.find_last_of('/');
    if (slash == std::string::npos) return kDrivesPath;
    return slash == 0 ? "/" : dir.substr(0, slash);
}

}  // namespace murrel
