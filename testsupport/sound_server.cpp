#include "testsupport/sound_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

extern char** environ;

namespace murrel::testsupport {

std::string sound_dir() {
    const char* dir = std::getenv("MURREL_SOUND_DIR");
    return dir ? dir : "/tmp/murrel-sound";
}

std::string server_address() {
    std::ifstream f(sound_dir() + "/server");
    std::string address;
    std::getline(f, address);
    return address;
}

bool server_reachable(const std::string& address) {
    if (address.empty()) return false;
    Child info({"pactl", "-s", address, "info"});
    if (!info.ok()) return false;
    int status = info.wait();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Child::Child(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() { stop(); }

int Child::wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
}

void Child::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGINT);
    wait();
}

void Child::kill_now() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    wait();
}

}  // namespace murrel::testsupport
