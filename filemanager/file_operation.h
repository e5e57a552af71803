#pragma once
// Copying, moving, renaming and deleting files and folders for the browser,
// on Qt Core and POSIX only. Copies are written under a hidden scratch name in
// the target folder and take their final name only when complete, so a copy
// that fails or is cancelled leaves nothing half-written behind. Deletion with
// undo goes to the freedesktop trash of the user's data folder; items that
// cannot go there (another volume than the user's data folder, such as a
// recorder, or a trash that refuses) are deleted for good only after one confirmation.
//
// Threads: the user-interface thread. The observer's callbacks run between
// blocks of a copy, so a progress window can pump its events there.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace murrel {

class ConversionProgress;

enum class FileOp { Move = 1, Copy = 2, Delete = 3, Rename = 4 };

// The operation's flags, with the meanings callers have always relied on.
namespace fof {
inline constexpr unsigned kMultiDestFiles = 0x0001;    // one source: the destination names the target itself
inline constexpr unsigned kConfirm = 0x0002;           // ask before deleting for good
inline constexpr unsigned kRenameOnCollision = 0x0008; // a taken target name gets a free one
inline constexpr unsigned kAllowUndo = 0x0040;         // deletion goes to the trash where there is one
}  // namespace fof

enum class FileOpError { None, Cancelled, SourceMissing, PermissionDenied, DiskFull, TargetExists, IntoItself, Declined, Other };

struct FileOpOutcome {
    FileOpError error = FileOpError::None;
    std::string message;                // for the error box; empty on success
    std::vector<std::string> created;   // final paths of what was copied, moved or renamed
    std::vector<std::string> trashed;   // sources that went to the trash
    bool ok() const { return error == FileOpError::None; }
    bool aborted() const { return error == FileOpError::Cancelled || error == FileOpError::Declined; }
};

class FileOpObserver {
public:
    virtual ~FileOpObserver() = default;
    // `done` of `total` bytes of the whole operation; `current` the source being copied.
    virtual void progress(int64_t /*done*/, int64_t /*total*/, const std::string& /*current*/) {}
    virtual bool cancel_requested() { return false; }
    // Asked once per operation for the items that cannot go to the trash;
    // true deletes them for good.
    virtual bool confirm_delete_for_good(const std::vector<std::string>& /*paths*/) { return false; }
};

// Runs one operation. `destination`: a folder for several sources or when it
// ends in '/'; with one source and kMultiDestFiles, the target's own path.
// Delete ignores it; Rename needs the new path. Items are handled in order
// and the first failure stops the rest; what completed before stays.
FileOpOutcome run_file_operation(FileOp op, const std::vector<std::string>& sources,
                                 const std::string& destination, unsigned flags, FileOpObserver& observer);

// The free name the desktop's file managers give a copy in `folder`:
// "memo.vkd" → "memo (copy).vkd", then "memo (copy 2).vkd", …; a name that
// already ends in " (copy)" or " (copy N)" counts on from there.
// A folder's name is not split at a dot.
std::string collision_free_name(const std::string& folder, const std::string& name, bool is_folder = false);

// The flags for a copy (or delete, with an empty destination): rename on
// collision and undo for copies and for deleting files; for deleting a folder,
// confirmation only.
unsigned shell_flags(const std::vector<std::string>& sources, const std::string& destination);

// How the operation is shown: a copy that runs longer than `progress_delay_ms`
// opens the progress window; its cancel sets app().convert_cancel.
struct FileOpOwner {
    std::function<ConversionProgress*()> open_progress;  // may return null
    std::function<void()> close_progress;
    int progress_delay_ms = 500;
};

// The operation as the browser's commands run it: the flags of shell_flags
// (deleting also allows undo for folders, so nothing is ever deleted for good
// without a question), questions and failures through the dialog service.
// True when every item was done and nothing was cancelled.
bool shell_file_operation(const FileOpOwner& owner, FileOp op, const std::vector<std::string>& sources,
                          const std::string& destination, FileOpOutcome* outcome = nullptr);

}  // namespace murrel
