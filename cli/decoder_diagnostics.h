#pragma once
// The decoder library reports damaged frames on standard output, line by
// line; the command line's standard output carries only its own results. While
// one of these is alive, file descriptor 1 goes into a pipe whose lines are
// counted (the first one kept as an example) instead of reaching the user;
// the count is then said once on standard error.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

namespace murrel::cli {

class DecoderDiagnostics {
public:
    DecoderDiagnostics() {
        std::fflush(stdout);
        int fds[2];
        if (::pipe(fds) != 0) return;
        saved_ = ::dup(STDOUT_FILENO);
        if (saved_ < 0 || ::dup2(fds[1], STDOUT_FILENO) < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            if (saved_ >= 0) ::close(saved_);
            saved_ = -1;
            return;
        }
        ::close(fds[1]);
        reader_ = std::thread([this, fd = fds[0]] {
            char buf[4096];
            std::string line;
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;) {
                if (n < 0) {
                    if (errno == EINTR) continue;
                    break;
                }
                for (ssize_t i = 0; i < n; ++i) {
                    if (buf[i] != '\n') {
                        if (first_.empty() && line.size() < 200) line.push_back(buf[i]);
                        continue;
                    }
                    if (first_.empty()) first_ = line;
                    line.clear();
                    ++lines_;
                }
            }
            ::close(fd);
        });
    }
    ~DecoderDiagnostics() { finish(); }
    DecoderDiagnostics(const DecoderDiagnostics&) = delete;
    DecoderDiagnostics& operator=(const DecoderDiagnostics&) = delete;

    // Gives standard output back; returns the number of lines caught.
    long finish() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            ::dup2(saved_, STDOUT_FILENO);  // the pipe's last writer goes: the reader ends
            ::close(saved_);
            saved_ = -1;
            if (reader_.joinable()) reader_.join();
        }
        return lines_;
    }
    // "FILE: N decoder message(s), e.g. …" on standard error, once, when any came.
    void report(const std::string& file, bool quiet) {
        const long n = finish();
        if (n > 0 && !quiet)
            std::fprintf(stderr, "murrelphonic-cli: %s: %ld decoder message(s) about damaged frames, first: %s\n",
                         file.c_str(), n, first_.c_str());
    }

private:
    int saved_ = -1;
    std::thread reader_;
    long lines_ = 0;
    std::string first_;
};

}  // namespace murrel::cli
