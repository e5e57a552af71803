#pragma once
// Files a conversion writes before they are the user's: the intermediate copy
// an encoding reads, and the new file that replaces an existing one only once
// it is complete. Both are hidden files in the folder they end up in, named
// ".murrel-PID-N-NAME" (NAME's extension kept, since a voice file records
// its own) so that they never take an existing name and a later run can tell
// which were left by a process that died.
#include <string>

namespace murrel {

// Creates (exclusively) and returns a new scratch file in `folder` ("" is the
// current folder) whose name ends in `name`; "" when none could be created
// (errno tells why).
std::string reserve_scratch_file(const std::string& folder, const std::string& name);

// Deletes the scratch files in `folder` left by our processes that no longer
// run (a kill -9, a power loss). Returns how many were removed.
int sweep_stale_scratch(const std::string& folder);

// The file a conversion writes for `target`. A target that does not exist yet
// is written in place (a crash leaves what was written, readable); one that
// exists is replaced only by commit(), so until then the old file is untouched.
// Making one sweeps the folder's stale scratch files first.
class OutputTarget {
public:
    explicit OutputTarget(std::string target);
    ~OutputTarget();
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    // False (with errno) when the scratch file for a replacement could not be made.
    bool ready() const { return !write_path_.empty(); }
    const std::string& write_path() const { return write_path_; }
    const std::string& target() const { return target_; }
    bool replaces() const { return replaces_; }
    // The written file becomes the target. False (errno) when the rename failed;
    // the scratch file is then removed and the old target stays.
    bool commit();
    // An unfinished file: a replacement is dropped and the old target kept; a
    // new target keeps what was written. Also what destruction does unless
    // commit() ran.
    void abandon();

private:
    std::string target_;
    std::string write_path_;
    bool replaces_ = false;
    bool settled_ = false;
};

}  // namespace murrel
