#include "player/remote/pedal_reader.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "audio/devices/ui_dispatcher.h"

namespace murrel {

namespace {

bool is_event_node(const char* name) { return std::strncmp(name, "event", 5) == 0; }

}  // namespace

PedalReader::PedalReader(UiDispatcher& ui, Options options) : ui_(ui), options_(std::move(options)) {
    if (!options_.opener) options_.opener = open_evdev_source;
    while (options_.input_dir.size() > 1 && options_.input_dir.back() == '/') options_.input_dir.pop_back();
}

PedalReader::~PedalReader() {
    *alive_ = false;
    stop();
}

bool PedalReader::start(std::string& why) {
    if (thread_.joinable()) return true;
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    inotify_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (wake_fd_ < 0 || inotify_fd_ < 0) {
        why = std::string("cannot watch for pedals: ") + std::strerror(errno);
        if (wake_fd_ >= 0) ::close(wake_fd_);
        if (inotify_fd_ >= 0) ::close(inotify_fd_);
        wake_fd_ = inotify_fd_ = -1;
        return false;
    }
    watch_folder();
    if (folder_watch_ < 0 && parent_watch_ < 0) {
        why = options_.input_dir + ": cannot be watched for pedals (" + std::strerror(errno) + ")";
        ::close(wake_fd_);
        ::close(inotify_fd_);
        wake_fd_ = inotify_fd_ = -1;
        return false;
    }
    quit_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void PedalReader::stop() {
    if (!thread_.joinable()) return;
    quit_ = true;
    const uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);
    thread_.join();
    sources_.clear();
    held_.clear();
    unreadable_.clear();
    ::close(wake_fd_);
    ::close(inotify_fd_);
    wake_fd_ = inotify_fd_ = -1;
    folder_watch_ = parent_watch_ = -1;
}

void PedalReader::set_settings(const PedalSettings& settings) {
    {
        std::lock_guard lock(lock_);
        settings_ = settings;
    }
    // Which devices count as pedals may change with the bindings.
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!::write(wake_fd_, &one, sizeof one);
    }
}

PedalSettings PedalReader::settings() const {
    std::lock_guard lock(lock_);
    return settings_;
}

void PedalReader::set_learning(bool on) {
    std::lock_guard lock(lock_);
    learning_ = on;
}

bool PedalReader::learning() const {
    std::lock_guard lock(lock_);
    return learning_;
}

InputDevices PedalReader::devices() const {
    std::lock_guard lock(lock_);
    return devices_;
}

// ----------------------------------------------------------- reading thread

void PedalReader::watch_folder() {
    folder_watch_ = ::inotify_add_watch(inotify_fd_, options_.input_dir.c_str(),
                                        IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                            IN_DELETE_SELF | IN_ONLYDIR);
    if (folder_watch_ >= 0 || errno != ENOENT) return;
    // No input devices at all yet (the folder appears with the first one).
    const std::string parent = std::filesystem::path(options_.input_dir).parent_path().string();
    parent_watch_ = ::inotify_add_watch(inotify_fd_, parent.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
}

void PedalReader::scan() {
    DIR* dir = ::opendir(options_.input_dir.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir))
        if (is_event_node(e->d_name)) names.emplace_back(e->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) open_node(n);
}

void PedalReader::open_node(const std::string& name) {
    const std::string path = options_.input_dir + "/" + name;
    if (sources_.count(path)) return;
    std::string why;
    std::unique_ptr<InputSource> source = options_.opener(path, why);
    if (!source) {
        // Kept to tell the user; a later change of the node's permissions
        // (udev applies them after creating it) tries again.
        if (why.find(std::strerror(EACCES)) != std::string::npos) unreadable_[path] = why;
        return;
    }
    unreadable_.erase(path);
    sources_.emplace(path, std::move(source));
}

void PedalReader::close_node(const std::string& path) {
    for (auto it = held_.begin(); it != held_.end();) {
        if (it->path == path) {
            // The pedal pulled out while held must not leave the file playing.
            post_pedal({it->action, PedalEvent::Kind::Release, 0});
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
    sources_.erase(path);
    unreadable_.erase(path);
}

void PedalReader::on_folder_events() {
    alignas(inotify_event) char buffer[4096];
    bool rescan = false;
    for (;;) {
        const ssize_t n = ::read(inotify_fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->wd == parent_watch_) {
                if (e->len && std::filesystem::path(options_.input_dir).filename() == e->name) rescan = true;
                continue;
            }
            if (e->mask & (IN_DELETE_SELF | IN_IGNORED)) {
                std::vector<std::string> all;
                for (auto& kv : sources_) all.push_back(kv.first);
                for (const std::string& p : all) close_node(p);
                folder_watch_ = -1;
                rescan = true;
                continue;
            }
            if (!e->len || !is_event_node(e->name)) continue;
            const std::string path = options_.input_dir + "/" + e->name;
            if (e->mask & (IN_DELETE | IN_MOVED_FROM))
                close_node(path);
            else if (e->mask & (IN_CREATE | IN_ATTRIB | IN_MOVED_TO))
                open_node(e->name);
        }
    }
    if (rescan && folder_watch_ < 0) {
        if (parent_watch_ >= 0) ::inotify_rm_watch(inotify_fd_, parent_watch_);
        parent_watch_ = -1;
        watch_folder();
        if (folder_watch_ >= 0) scan();
    }
}

void PedalReader::handle(const InputIdentity& device, const KeyEvent& key) {
    // The kernel's own autorepeat is not used: the repeats of a held pedal
    // keep the pace the settings ask for.
    if (key.value == 2) return;
    PedalSettings settings;
    bool learning;
    {
        std::lock_guard lock(lock_);
        settings = settings_;
        learning = learning_;
    }
    if (key.value == 0) {
        auto it = std::find_if(held_.begin(), held_.end(),
                               [&](const Held& h) { return h.path == device.path && h.code == key.code; });
        if (it == held_.end()) return;
        post_pedal({it->action, PedalEvent::Kind::Release, key.time_us});
        held_.erase(it);
        return;
    }
    if (learning) {
        if (!may_learn_from(device, settings)) return;
        {
            std::lock_guard lock(lock_);
            learning_ = false;  // one press learns one pedal
        }
        LearnedKey learned{device, key.code};
        ui_.post([this, alive = alive_, learned] {
            if (*alive && OnLearned) OnLearned(learned);
        });
        return;
    }
    if (!settings.enabled || !is_pedal(device, settings)) return;
    const PedalAction action = pedal_action(settings, device, key.code);
    if (action == PedalAction::None) return;
    held_.push_back({device.path, key.code, action,
                     Clock::now() + std::chrono::milliseconds(settings.skip_repeat_ms)});
    post_pedal({action, PedalEvent::Kind::Press, key.time_us});
}

void PedalReader::repeat_due(Clock::time_point now) {
    int repeat_ms;
    {
        std::lock_guard lock(lock_);
        repeat_ms = settings_.skip_repeat_ms;
    }
    for (Held& h : held_) {
        if (h.action == PedalAction::Play || now < h.next_repeat) continue;
        post_pedal({h.action, PedalEvent::Kind::Repeat, 0});
        h.next_repeat = now + std::chrono::milliseconds(repeat_ms);
    }
}

int PedalReader::poll_timeout_ms(Clock::time_point now) const {
    int timeout = -1;
    for (const Held& h : held_) {
        if (h.action == PedalAction::Play) continue;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(h.next_repeat - now).count();
        const int ms = static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
    return timeout;
}

void PedalReader::post_pedal(const PedalEvent& event) {
    ui_.post([this, alive = alive_, event] {
        if (*alive && OnPedal) OnPedal(event);
    });
}

void PedalReader::publish_devices() {
    InputDevices now;
    PedalSettings settings;
    {
        std::lock_guard lock(lock_);
        settings = settings_;
    }
    for (const auto& [path, source] : sources_) {
        if (is_pedal(source->identity(), settings))
            now.pedals.push_back(source->identity());
        else
            ++now.others;
    }
    for (const auto& kv : unreadable_) now.unreadable.push_back(kv.first);
    {
        std::lock_guard lock(lock_);
        if (now == devices_) return;
        devices_ = std::move(now);
    }
    ui_.post([this, alive = alive_] {
        if (*alive && OnDevicesChanged) OnDevicesChanged();
    });
}

void PedalReader::run() {
    if (folder_watch_ >= 0) scan();
    publish_devices();
    std::vector<pollfd> fds;
    std::vector<std::string> paths;
    std::vector<KeyEvent> keys;
    while (!quit_) {
        fds.clear();
        paths.clear();
        fds.push_back({wake_fd_, POLLIN, 0});
        fds.push_back({inotify_fd_, POLLIN, 0});
        for (const auto& [path, source] : sources_) {
            fds.push_back({source->fd(), POLLIN, 0});
            paths.push_back(path);
        }
        const int ready = ::poll(fds.data(), fds.size(), poll_timeout_ms(Clock::now()));
        if (quit_) break;
        if (ready < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            (void)!::read(wake_fd_, &count, sizeof count);
        }
        if (fds[1].revents & POLLIN) on_folder_events();
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            auto it = sources_.find(paths[i - 2]);
            if (it == sources_.end()) continue;  // closed by a folder event just now
            keys.clear();
            const bool alive = it->second->read_keys(keys);
            const InputIdentity device = it->second->identity();
            for (const KeyEvent& k : keys) handle(device, k);
            if (!alive || (fds[i].revents & (POLLERR | POLLNVAL))) close_node(device.path);
        }
        repeat_due(Clock::now());
        publish_devices();
    }
}

}  // namespace murrel
