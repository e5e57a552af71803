#pragma once
// Input devices for the reader's tests: the nodes are plain files in a
// scratch folder (so that the folder's watch sees them come and go), and
// opening one hands the reader the read end of a pipe through which the
// test writes event records as the kernel would.
#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "player/remote/input_source.h"

namespace murrel::remotetest {

class FakeInputs {
public:
    explicit FakeInputs(std::filesystem::path dir) : dir_(std::move(dir)) {}
    ~FakeInputs() {
        for (auto& [name, fd] : writers_) ::close(fd);
    }

    SourceOpener opener() {
        return [this](const std::string& path, std::string& why) -> std::unique_ptr<InputSource> {
            std::lock_guard lock(mutex_);
            const std::string name = std::filesystem::path(path).filename().string();
            auto id = identities_.find(name);
            if (id == identities_.end() || denied_.count(name)) {
                why = path + ": Permission denied";
                return nullptr;
            }
            int p[2];
            if (::pipe2(p, O_CLOEXEC) != 0) return nullptr;
            if (auto old = writers_.find(name); old != writers_.end()) ::close(old->second);
            writers_[name] = p[1];
            InputIdentity identity = id->second;
            identity.path = path;
            ++opens_;
            return std::make_unique<RawEventSource>(p[0], identity);
        };
    }

    void plug(const std::string& name, InputIdentity identity, bool denied = false) {
        {
            std::lock_guard lock(mutex_);
            identities_[name] = std::move(identity);
            if (denied) denied_.insert({name, true});
        }
        std::ofstream(dir_ / name) << "";
    }
    // As udev's later change of the node's permissions.
    void allow(const std::string& name) {
        {
            std::lock_guard lock(mutex_);
            denied_.erase(name);
        }
        std::filesystem::permissions(dir_ / name, std::filesystem::perms::owner_all);
    }
    void unplug(const std::string& name) { std::filesystem::remove(dir_ / name); }
    // The device ends without its node going (the descriptor reports the end).
    void hang_up(const std::string& name) {
        std::lock_guard lock(mutex_);
        if (auto w = writers_.find(name); w != writers_.end()) {
            ::close(w->second);
            writers_.erase(w);
        }
    }
    bool open(const std::string& name) {
        std::lock_guard lock(mutex_);
        return writers_.count(name) > 0;
    }
    int opens() {
        std::lock_guard lock(mutex_);
        return opens_;
    }

    // Writes raw bytes of records; false when the device is not open.
    bool write_records(const std::string& name, const std::vector<input_event>& events, size_t split_at = 0) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            auto w = writers_.find(name);
            if (w == writers_.end()) return false;
            fd = w->second;
        }
        const auto* bytes = reinterpret_cast<const char*>(events.data());
        const size_t n = events.size() * sizeof(input_event);
        if (split_at && split_at < n) {
            if (::write(fd, bytes, split_at) != static_cast<ssize_t>(split_at)) return false;
            ::usleep(20000);
            return ::write(fd, bytes + split_at, n - split_at) == static_cast<ssize_t>(n - split_at);
        }
        return ::write(fd, bytes, n) == static_cast<ssize_t>(n);
    }
    // A key change the way a USB pedal reports it: scan code, key, report end.
    bool key(const std::string& name, int code, int value, int64_t time_us = 0) {
        return write_records(name, {record(EV_MSC, MSC_SCAN, 0x90001 + code, time_us),
                                    record(EV_KEY, code, value, time_us), record(EV_SYN, SYN_REPORT, 0, time_us)});
    }

    static input_event record(int type, int code, int value, int64_t time_us = 0) {
        input_event e{};
        e.input_event_sec = time_us / 1000000;
        e.input_event_usec = time_us % 1000000;
        e.type = static_cast<uint16_t>(type);
        e.code = static_cast<uint16_t>(code);
        e.value = value;
        return e;
    }

private:
    std::filesystem::path dir_;
    std::mutex mutex_;
    std::map<std::string, InputIdentity> identities_;
    std::map<std::string, bool> denied_;
    std::map<std::string, int> writers_;
    int opens_ = 0;
};

inline InputIdentity three_pedals() { return {"", "USB Foot Pedal", 0x05f3, 0x00ff, {BTN_0, BTN_1, BTN_2}}; }
inline InputIdentity a_keyboard() {
    return {"", "AT Translated Set 2 keyboard", 1, 1, {KEY_ESC, KEY_ENTER, KEY_A, KEY_Z, KEY_SPACE}};
}

}  // namespace murrel::remotetest
