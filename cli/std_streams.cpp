#include "cli/std_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace murrel {

namespace {

// Copies everything from `in` to `out`; false on an error of either.
bool copy_fd(int in, int out) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

}  // namespace

StandardStreams::~StandardStreams() {
    if (folder_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

bool StandardStreams::make_folder() {
    if (!folder_.empty()) return true;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/murrelphonic-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "murrelphonic-cli: no scratch folder could be made (%s)\n", std::strerror(errno));
        return false;
    }
    folder_ = pattern;
    return true;
}

bool StandardStreams::prepare(std::vector<std::string>& files, BatchOptions& options, const std::string& input_name) {
    to_stdout_ = options.out_dir == "-";
    const bool from_stdin = std::find(files.begin(), files.end(), "-") != files.end();
    if ((to_stdout_ || from_stdin) && files.size() != 1) {
        std::fprintf(stderr, "murrelphonic-cli: \"-\" for standard input or output takes exactly one file\n");
        return false;
    }
    if (to_stdout_ && ::isatty(STDOUT_FILENO)) {
        std::fprintf(stderr, "murrelphonic-cli: -o - writes the file to standard output; send it to a pipe or a file\n");
        return false;
    }
    if (!to_stdout_ && !from_stdin) return true;
    if (!make_folder()) return false;
    if (from_stdin) {
        const std::string copy = folder_ + "/" + input_name;
        const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const bool ok = fd >= 0 && copy_fd(STDIN_FILENO, fd);
        if (fd >= 0 && ::close(fd) != 0) return false;
        if (!ok) {
            std::fprintf(stderr, "murrelphonic-cli: standard input could not be read (%s)\n", std::strerror(errno));
            return false;
        }
        files[0] = copy;
    }
    if (to_stdout_) {
        options.out_dir = folder_ + "/out";
        std::filesystem::create_directory(options.out_dir);
        options.overwrite = true;
        // Standard output carries the file and nothing else.
        options.quiet = true;
    }
    return true;
}

int StandardStreams::finish(int status, const std::vector<std::string>& files, int kind) {
    if (!to_stdout_ || status != 0 || files.empty()) return status;
    const std::string output = batch_target(files[0], folder_ + "/out", kind);
    const int fd = ::open(output.c_str(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && copy_fd(fd, STDOUT_FILENO);
    if (fd >= 0) ::close(fd);
    if (!ok) {
        std::fprintf(stderr, "murrelphonic-cli: the output could not be written to standard output (%s)\n",
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace murrel
