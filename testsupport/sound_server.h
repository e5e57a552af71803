#pragma once
// Access to the test sound server that scripts/soundserver starts: where it
// is, whether it answers, and child processes (parec, pacat) stopped with
// SIGINT like a user's Ctrl-C.
#include <string>
#include <sys/types.h>
#include <vector>

namespace murrel::testsupport {

// Folder holding the server's address file and the lock tests take turns on.
std::string sound_dir();
// The server address written by scripts/soundserver, or "" when none.
std::string server_address();
// True when `pactl info` against `address` succeeds.
bool server_reachable(const std::string& address);

class Child {
public:
    explicit Child(std::vector<std::string> args);  // standard output goes to /dev/null
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool ok() const { return pid_ > 0; }
    int wait();  // the wait status, or -1 when there is no child
    void stop();  // SIGINT, then wait
    void kill_now();  // SIGKILL, then wait: a crash, nothing cleaned up

private:
    pid_t pid_ = -1;
};

}  // namespace murrel::testsupport
