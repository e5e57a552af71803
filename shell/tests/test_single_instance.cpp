#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/instance/single_instance.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

// One run of the probe program beside this test, with its standard output
// read line by line.
class Probe {
public:
    Probe(const std::string& name, const std::string& program_dir, const std::string& fallback_dir,
          int lifetime_ms, const std::vector<std::string>& files = {}) {
        std::string exe = (fs::read_symlink("/proc/self/exe").parent_path() / "shell_instance_probe").string();
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            std::string life = std::to_string(lifetime_ms);
            std::vector<const char*> argv{exe.c_str(), name.c_str(), program_dir.c_str(), fallback_dir.c_str(),
                                          life.c_str()};
            for (const std::string& f : files) argv.push_back(f.c_str());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), const_cast<char* const*>(argv.data()));
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Probe() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }

    // The next line of output, or "" when none came within `timeout_ms`.
    std::string line(int timeout_ms = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            auto nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string l = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return l;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
            char buf[256];
            ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0) return {};
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
    }

    // Exit status, or -1 when it did not end within `timeout_ms`.
    int wait_exit(int timeout_ms = 10000) {
        for (int waited = 0; waited <= timeout_ms; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }

    void crash() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

std::string unique_name() { return "murrel-test-" + std::to_string(::getpid()); }

}  // namespace

TEST(SingleInstance, ASecondStartBringsTheFirstForwardAndEndsWithoutTouchingItsFolders) {
    testsupport::ScratchDir first_dir, second_dir, fallback;
    const std::string name = unique_name();
    Probe first(name, first_dir.path().string(), fallback.file("own"), 20000);
    ASSERT_EQ(first.line(), "first");
    EXPECT_TRUE(fs::is_directory(first_dir.file("voicedata")));

    Probe second(name, second_dir.path().string(), fallback.file("own"), 20000);
    EXPECT_EQ(second.line(), "another");
    EXPECT_EQ(second.wait_exit(), 3);
    EXPECT_EQ(first.line(), "activated");
    EXPECT_TRUE(fs::is_empty(second_dir.path()));  // no folder made, no INI file read or written
    EXPECT_FALSE(fs::exists(fallback.file("own")));

    // Another name is another program: it starts beside the first.
    Probe other(name + "-other", second_dir.path().string(), fallback.file("own"), 20000);
    EXPECT_EQ(other.line(), "first");
}

// Files named on a second start's command line reach the first, relative ones
// made absolute against the second start's folder, names with spaces, percent
// signs and newlines intact.
TEST(SingleInstance, TheFilesOfASecondStartAreHandedToTheFirst) {
    testsupport::ScratchDir first_dir, second_dir, fallback;
    const std::string name = unique_name() + "-files";
    Probe first(name, first_dir.path().string(), fallback.file("own"), 20000);
    ASSERT_EQ(first.line(), "first");
    const std::string odd = second_dir.file("memo 100%\nnext.vkd");
    const fs::path here = fs::current_path();
    fs::current_path(second_dir.path());
    Probe second(name, second_dir.path().string(), fallback.file("own"), 20000, {"a.wav", odd});
    fs::current_path(here);
    EXPECT_EQ(second.line(), "another");
    EXPECT_EQ(second.wait_exit(), 3);
    EXPECT_EQ(first.line(), "activated");
    EXPECT_EQ(first.line(), "file " + second_dir.file("a.wav"));
    EXPECT_EQ(first.line(), "file " + second_dir.file("memo 100%"));  // the probe prints the newline as is
    EXPECT_EQ(first.line(), "next.vkd");

    // A plain start hands over nothing.
    Probe third(name, second_dir.path().string(), fallback.file("own"), 20000);
    EXPECT_EQ(third.line(), "another");
    EXPECT_EQ(first.line(), "activated");
    EXPECT_EQ(first.line(500), "");
}

TEST(SingleInstance, TheNameOfACrashedInstanceIsFreeAgain) {
    testsupport::ScratchDir dir, fallback;
    const std::string name = unique_name() + "-crash";
    Probe crashed(name, dir.path().string(), fallback.file("own"), 20000);
    ASSERT_EQ(crashed.line(), "first");
    crashed.crash();

    Probe next(name, dir.path().string(), fallback.file("own"), 300);
    EXPECT_EQ(next.line(), "first");
    EXPECT_EQ(next.wait_exit(), 0);

    // And after a clean end too.
    Probe after(name, dir.path().string(), fallback.file("own"), 300);
    EXPECT_EQ(after.line(), "first");
    EXPECT_EQ(after.wait_exit(), 0);
}

TEST(SingleInstance, TheLockNameBelongsToTheUserAndTheirRuntimeFolder) {
    const std::string user = "Murrelphonic-" + std::to_string(::getuid());
    const char* kept = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = kept ? kept : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(instance_socket_name("Murrelphonic"), user);
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    const std::string first = instance_socket_name("Murrelphonic");
    EXPECT_EQ(first.rfind(user + "-", 0), 0u) << first;
    EXPECT_EQ(instance_socket_name("Murrelphonic"), first);  // the same every time
    ::setenv("XDG_RUNTIME_DIR", "/tmp/another-runtime", 1);
    EXPECT_NE(instance_socket_name("Murrelphonic"), first);
    if (kept) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else ::unsetenv("XDG_RUNTIME_DIR");
}
