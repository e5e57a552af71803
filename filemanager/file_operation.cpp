#include "filemanager/file_operation.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>

#include "filemanager/volumes.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/progress.h"

namespace murrel {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlock = 1 << 20;

std::string base_name(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string parent_of(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const auto slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool exists_no_follow(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

bool is_dir_no_follow(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Failure {
    FileOpError error = FileOpError::None;
    int err = 0;
    explicit operator bool() const { return error != FileOpError::None; }
};

Failure from_errno(int err, bool reading_source) {
    switch (err) {
    case ENOENT: return {reading_source ? FileOpError::SourceMissing : FileOpError::Other, err};
    case EACCES:
    case EPERM:
    case EROFS: return {FileOpError::PermissionDenied, err};
    case ENOSPC:
    case EDQUOT: return {FileOpError::DiskFull, err};
    case EEXIST:
    case ENOTEMPTY: return {FileOpError::TargetExists, err};
    default: return {FileOpError::Other, err};
    }
}

const char* verb_of(FileOp op) {
    switch (op) {
    case FileOp::Copy: return "copy";
    case FileOp::Move: return "move";
    case FileOp::Delete: return "delete";
    case FileOp::Rename: return "rename";
    }
    return "handle";
}

std::string message_for(FileOp op, const std::string& path, const Failure& f) {
    const std::string head = std::string("Cannot ") + verb_of(op) + " \"" + base_name(path) + "\": ";
    switch (f.error) {
    case FileOpError::DiskFull: return head + "there is not enough free space on the target volume.";
    case FileOpError::PermissionDenied: return head + "permission denied (" + path + ").";
    case FileOpError::SourceMissing: return head + "it no longer exists (" + path + ").";
    case FileOpError::TargetExists: return head + "an item of that name already exists.";
    case FileOpError::IntoItself: return head + "a folder cannot be copied or moved into itself.";
    default: return head + std::strerror(f.err ? f.err : EIO) + ".";
    }
}

// Renames without ever replacing an existing target.
int rename_no_replace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace rename (some FUSE and network ones).
    if (exists_no_follow(to)) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int64_t tree_bytes(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return 0;
    if (S_ISREG(st.st_mode)) return st.st_size;
    if (!S_ISDIR(st.st_mode)) return 0;
    int64_t sum = 0;
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        sum += tree_bytes(it->path().string());
    return sum;
}

class Runner {
public:
    Runner(FileOp op, unsigned flags, FileOpObserver& observer) : op_(op), flags_(flags), observer_(observer) {}

    FileOpOutcome outcome;
    int64_t total = 0;

    bool fail(const std::string& path, Failure f) {
        outcome.error = f.error;
        outcome.message = f.error == FileOpError::Cancelled ? std::string() : message_for(op_, path, f);
        return false;
    }

    // The path a source takes in the destination, a free one when taken.
    bool target_for(const std::string& source, const std::string& destination, bool into_folder,
                    std::string& target) {
        target = into_folder ? join(destination, base_name(source)) : destination;
        while (target.size() > 1 && target.back() == '/') target.pop_back();
        if (!exists_no_follow(target) && target != source) return true;
        if (!(flags_ & fof::kRenameOnCollision)) return fail(target, {FileOpError::TargetExists, EEXIST});
        target = join(parent_of(target), collision_free_name(parent_of(target), base_name(target),
                                                              is_dir_no_follow(source)));
        return true;
    }

    bool copy_item(const std::string& source, const std::string& target) {
        struct stat st{};
        if (::lstat(source.c_str(), &st) != 0) return fail(source, from_errno(errno, true));
        if (S_ISDIR(st.st_mode)) {
            if (path_within(target, source)) return fail(source, {FileOpError::IntoItself, EINVAL});
            if (::mkdir(target.c_str(), 0700) != 0) return fail(target, from_errno(errno, false));
            if (!copy_children(source, target)) {
                std::error_code ec;
                fs::remove_all(target, ec);
                return false;
            }
            ::chmod(target.c_str(), st.st_mode & 07777);
            return true;
        }
        if (S_ISLNK(st.st_mode)) {
            std::error_code ec;
            const fs::path link = fs::read_symlink(source, ec);
            if (ec) return fail(source, from_errno(ec.value(), true));
            fs::create_symlink(link, target, ec);
            return ec ? fail(target, from_errno(ec.value(), false)) : true;
        }
        if (!S_ISREG(st.st_mode)) return true;  // devices, pipes and sockets are not copied
        return copy_file(source, target);
    }

    bool copy_children(const std::string& source, const std::string& target) {
        std::error_code ec;
        for (fs::directory_iterator it(source, ec), end; it != end; it.increment(ec)) {
            if (ec) break;
            const std::string name = it->path().filename().string();
            if (!copy_item(join(source, name), join(target, name))) return false;
        }
        return ec ? fail(source, from_errno(ec.value(), true)) : true;
    }

    // Copies under a hidden scratch name beside the target and renames when complete.
    bool copy_file(const std::string& source, const std::string& target) {
        const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) return fail(source, from_errno(errno, true));
        struct stat st{};
        ::fstat(in, &st);
        std::string scratch = join(parent_of(target), "." + base_name(target).substr(0, 200) + ".part-XXXXXX");
        const int out = ::mkstemp(scratch.data());
        if (out < 0) {
            const int err = errno;
            ::close(in);
            return fail(target, from_errno(err, false));
        }
        Failure f;
        std::unique_ptr<char[]> buffer(new char[kBlock]);
        for (;;) {
            const ssize_t n = ::read(in, buffer.get(), kBlock);
            if (n < 0) {
                if (errno == EINTR) continue;
                f = from_errno(errno, true);
                break;
            }
            if (n == 0) break;
            for (ssize_t off = 0; off < n && !f;) {
                const ssize_t w = ::write(out, buffer.get() + off, static_cast<size_t>(n - off));
                if (w < 0 && errno != EINTR) f = from_errno(errno, false);
                if (w > 0) off += w;
            }
            if (f) break;
            done_ += n;
            observer_.progress(done_, total, source);
            if (observer_.cancel_requested()) {
                f = {FileOpError::Cancelled, ECANCELED};
                break;
            }
        }
        ::close(in);
        if (!f) {
            ::fchmod(out, st.st_mode & 07777);
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ::futimens(out, times);
            if (::fsync(out) != 0 && errno != EINVAL) f = from_errno(errno, false);
        }
        if (::close(out) != 0 && !f) f = from_errno(errno, false);
        if (!f) {
            const int err = rename_no_replace(scratch, target);
            if (err) f = from_errno(err, false);
        }
        if (f) {
            ::unlink(scratch.c_str());
            return fail(f.error == FileOpError::SourceMissing ? source : target, f);
        }
        return true;
    }

    bool move_item(const std::string& source, const std::string& target) {
        if (is_dir_no_follow(source) && path_within(target, source) && target != source)
            return fail(source, {FileOpError::IntoItself, EINVAL});
        const int err = rename_no_replace(source, target);
        if (err == 0) return true;
        if (err != EXDEV) return fail(source, from_errno(err, !exists_no_follow(source)));
        // Another volume: copy whole, then remove the source; a failed removal
        // leaves both, never neither.
        if (!copy_item(source, target)) return false;
        std::error_code ec;
        fs::remove_all(source, ec);
        return ec ? fail(source, from_errno(ec.value(), false)) : true;
    }

    // The trash of the user's data folder takes only items of its own volume;
    // anything else would leave a hidden trash folder on the item's volume.
    bool trash(const std::string& path) {
        const QString data_home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        // Qt 6.4.2 moves the item under the current folder when this folder is missing.
        if (data_home.isEmpty() || !QDir().mkpath(data_home)) return false;
        struct stat home{}, item{};
        if (::stat(data_home.toLocal8Bit().constData(), &home) != 0 || ::lstat(path.c_str(), &item) != 0 ||
            home.st_dev != item.st_dev)
            return false;
        QString in_trash;
        if (!QFile::moveToTrash(QString::fromStdString(path), &in_trash)) return false;
        return QDir::isAbsolutePath(in_trash);
    }

    bool delete_items(const std::vector<std::string>& sources) {
        std::vector<std::string> for_good;
        for (const std::string& source : sources) {
            if (!exists_no_follow(source)) return fail(source, {FileOpError::SourceMissing, ENOENT});
            if ((flags_ & fof::kAllowUndo) && trash(source))
                outcome.trashed.push_back(source);
            else
                for_good.push_back(source);
        }
        if (for_good.empty()) return true;
        if (!observer_.confirm_delete_for_good(for_good)) {
            outcome.error = FileOpError::Declined;
            return false;
        }
        for (const std::string& path : for_good) {
            std::error_code ec;
            fs::remove_all(path, ec);
            if (ec) return fail(path, from_errno(ec.value(), false));
        }
        return true;
    }

private:
    FileOp op_;
    unsigned flags_;
    FileOpObserver& observer_;
    int64_t done_ = 0;
};

}  // namespace

std::string collision_free_name(const std::string& folder, const std::string& name, bool is_folder) {
    std::string stem = name, ext;
    const auto dot = name.rfind('.');
    if (!is_folder && dot != std::string::npos && dot > 0) {
        stem = name.substr(0, dot);
        ext = name.substr(dot);
    }
    int n = 1;
    static const std::regex copy_suffix(R"(^(.*) \(copy(?: (\d+))?\)$)");
    std::smatch m;
    if (std::regex_match(stem, m, copy_suffix)) {
        n = m[2].matched ? std::stoi(m[2].str()) + 1 : 2;
        stem = m[1].str();
    }
    for (;; ++n) {
        const std::string candidate = stem + (n == 1 ? " (copy)" : " (copy " + std::to_string(n) + ")") + ext;
        if (!exists_no_follow(join(folder, candidate))) return candidate;
    }
}

unsigned shell_flags(const std::vector<std::string>& sources, const std::string& destination) {
    struct stat st{};
    const bool first_is_file =
        !sources.empty() && ::stat(sources.front().c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    if (!destination.empty() || first_is_file)
        return fof::kMultiDestFiles | fof::kRenameOnCollision | fof::kAllowUndo;
    return fof::kConfirm;
}

FileOpOutcome run_file_operation(FileOp op, const std::vector<std::string>& sources,
                                 const std::string& destination, unsigned flags, FileOpObserver& observer) {
    Runner run(op, flags, observer);
    if (sources.empty()) return run.outcome;
    if (op == FileOp::Delete) {
        run.delete_items(sources);
        return run.outcome;
    }
    if (op == FileOp::Rename) {
        const std::string& from = sources.front();
        if (!exists_no_follow(from)) {
            run.fail(from, {FileOpError::SourceMissing, ENOENT});
        } else if (const int err = rename_no_replace(from, destination)) {
            run.fail(from, from_errno(err, false));
        } else {
            run.outcome.created.push_back(destination);
        }
        return run.outcome;
    }
    const bool into_folder = sources.size() > 1 || (!destination.empty() && destination.back() == '/') ||
                             (!(flags & fof::kMultiDestFiles) && is_dir_no_follow(destination));
    if (op == FileOp::Copy)
        for (const std::string& s : sources) run.total += tree_bytes(s);
    for (const std::string& source : sources) {
        std::string target;
        if (!run.target_for(source, destination, into_folder, target)) break;
        const bool done = op == FileOp::Copy ? run.copy_item(source, target) : run.move_item(source, target);
        if (!done) break;
        run.outcome.created.push_back(target);
    }
    return run.outcome;
}

namespace {

// Shows the progress window once a copy has run for a while and asks its
// questions through the dialog service.
class ShownOperation final : public FileOpObserver {
public:
    explicit ShownOperation(const FileOpOwner& owner) : owner_(owner) { clock_.start(); }
    ~ShownOperation() override {
        if (progress_ && owner_.close_progress) owner_.close_progress();
    }

    void progress(int64_t done, int64_t total, const std::string& current) override {
        if (!progress_ && !asked_ && clock_.elapsed() >= owner_.progress_delay_ms) {
            asked_ = true;
            if (owner_.open_progress) progress_ = owner_.open_progress();
        }
        if (!progress_) return;
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        progress_->set_filename(base_name(current));
        progress_->set_current(percent);
        progress_->set_total(percent);
        progress_->set_filebyte(std::to_string(done / 1024) + " KB of " + std::to_string(total / 1024) + " KB");
        progress_->process_events();
    }
    bool cancel_requested() override { return app().convert_cancel.load(); }
    bool confirm_delete_for_good(const std::vector<std::string>& paths) override {
        MessageRequest r;
        r.caption = app().app_name;
        r.icon = MessageIcon::Warning;
        r.buttons = MessageButtons::YesNo;
        r.text = paths.size() == 1
                     ? "\"" + base_name(paths.front()) + "\" cannot be moved to the trash. Delete it permanently?"
                     : std::to_string(paths.size()) +
                           " items cannot be moved to the trash. Delete them permanently?";
        return dialogs().message_box(r) == DialogResult::Yes;
    }

private:
    const FileOpOwner& owner_;
    QElapsedTimer clock_;
    ConversionProgress* progress_ = nullptr;
    bool asked_ = false;
};

}  // namespace

bool shell_file_operation(const FileOpOwner& owner, FileOp op, const std::vector<std::string>& sources,
                          const std::string& destination, FileOpOutcome* outcome) {
    unsigned flags = shell_flags(sources, destination);
    // Deleting a folder for good without a question would lose whatever it holds.
    if (op == FileOp::Delete) flags |= fof::kAllowUndo | fof::kConfirm;
    app().convert_cancel = false;
    FileOpOutcome result;
    {
        ShownOperation shown(owner);
        result = run_file_operation(op, sources, destination, flags, shown);
    }
    app().convert_cancel = false;
    if (!result.ok() && !result.aborted()) show_error(result.message);
    const bool ok = result.ok();
    if (outcome) *outcome = std::move(result);
    return ok;
}

}  // namespace murrel
