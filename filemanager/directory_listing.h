#pragma once
// What the file list shows for one folder or for the volumes: entries with the
// caption and the sub-items size, type name, modification time, attributes,
// full path and kind, in the list's order (folders, then the files of each
// pattern of the mask in the order of the patterns).
#include <cstdint>
#include <string>
#include <vector>

#include "filemanager/volumes.h"

namespace murrel {

// The list's name for the volumes view (any letter case is accepted on input).
inline constexpr const char* kDrivesPath = "Drives";
bool is_drives_path(const std::string& path);

enum class EntryKind { Dir, File, Drive };
const char* entry_kind_text(EntryKind kind);  // "dir", "file", "drv"

struct DirEntry {
    std::string caption;      // file name, or the volume's display name
    int64_t size = 0;         // bytes; 0 for folders and volumes
    std::string size_text;    // the Size column
    std::string type_name;    // the Type column
    std::string modified;     // the Modified column, "yyyy-MM-dd HH:mm"
    std::string attributes;   // the Attributes column: R (read-only), H (hidden), A (archive)
    std::string full_path;    // folder entries without a trailing '/'; volumes: mount point
    EntryKind kind = EntryKind::File;
};

// Lists `directory` (with or without trailing '/') under `mask`. Hidden and
// read-only entries are listed; "." and ".." are not. Within each group
// entries are sorted by name, letter case ignored. A folder that cannot be read
// yields an empty list.
std::vector<DirEntry> list_directory(const std::string& directory, const std::string& mask);

// The volumes view: one entry per volume.
std::vector<DirEntry> list_volumes(const std::vector<Volume>& volumes);

// The type name a desktop file manager would show, by extension; voice files
// get their own name until the Type column rule refines it.
std::string shell_type_name(const std::string& file_name, bool is_dir);

// The Size column's text: "1 KB" for anything up to 1,024 bytes, whole
// kilobytes above, as the home system's list shows it.
std::string size_column_text(int64_t bytes);

// The folder OneLevelUp lists: the parent of `directory`, or "Drives" from a
// volume's own folder (or from "/"). `directory` may end in '/'.
std::string parent_folder(const std::string& directory, const std::vector<Volume>& volumes);

// The Type column of voice files: "vkd file-sp", "-hq", "-shq" for mode codes
// 2, 3, 4; empty for every other code (the shell's name stays).
std::string voice_type_text(int mode_code);

}  // namespace murrel
