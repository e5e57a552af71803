#include "voicefile/scratch_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "voicefile/naming.h"

namespace murrel {

namespace {

constexpr const char* kPrefix = ".murrel-";

std::string in_folder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The process id in a scratch name (".murrel-PID-N-NAME"), 0 when the name
// is not one of ours.
long owner_pid(const std::string& name) {
    const std::string prefix = kPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (pid <= 0 || *end != '-') return 0;
    char* after = nullptr;
    std::strtoul(end + 1, &after, 10);
    return after != end + 1 && *after == '-' ? pid : 0;
}

}  // namespace

std::string reserve_scratch_file(const std::string& folder, const std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string path = in_folder(folder, kPrefix + std::to_string(::getpid()) + "-" +
                                                       std::to_string(++counter) + "-" + name);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) return {};
    }
    errno = EEXIST;
    return {};
}

int sweep_stale_scratch(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const long pid = owner_pid(name);
        if (pid == 0 || pid == ::getpid()) continue;
        // Only a process that is gone, and only files of our own user.
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        const std::string path = in_folder(folder, name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) continue;
        if (::unlink(path.c_str()) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

OutputTarget::OutputTarget(std::string target) : target_(std::move(target)) {
    sweep_stale_scratch(folder_of(target_));
    struct stat st {};
    replaces_ = ::lstat(target_.c_str(), &st) == 0;
    if (!replaces_) {
        write_path_ = target_;
        return;
    }
    write_path_ = reserve_scratch_file(folder_of(target_), file_name_of(target_));
}

OutputTarget::~OutputTarget() {
    if (!settled_) abandon();
}

bool OutputTarget::commit() {
    settled_ = true;
    if (!replaces_ || write_path_.empty()) return !write_path_.empty();
    if (::rename(write_path_.c_str(), target_.c_str()) == 0) return true;
    const int saved = errno;
    ::unlink(write_path_.c_str());
    errno = saved;
    return false;
}

void OutputTarget::abandon() {
    settled_ = true;
    if (replaces_ && !write_path_.empty()) ::unlink(write_path_.c_str());
}

}  // namespace murrel
