#include "player/remote/input_source.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace murrel {

std::optional<KeyEvent> key_event_of(const input_event& e) {
    if (e.type != EV_KEY) return std::nullopt;
    return KeyEvent{e.code, e.value,
                    static_cast<int64_t>(e.input_event_sec) * 1000000 + static_cast<int64_t>(e.input_event_usec)};
}

namespace {

class EvdevSource final : public InputSource {
public:
    EvdevSource(int fd, libevdev* dev, InputIdentity identity) : fd_(fd), dev_(dev), identity_(std::move(identity)) {}
    ~EvdevSource() override {
        libevdev_free(dev_);
        ::close(fd_);
    }
    int fd() const override { return fd_; }
    const InputIdentity& identity() const override { return identity_; }

    bool read_keys(std::vector<KeyEvent>& out) override {
        input_event e;
        unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
        for (;;) {
            const int rc = libevdev_next_event(dev_, flags, &e);
            if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
                if (auto k = key_event_of(e)) out.push_back(*k);
            } else if (rc == LIBEVDEV_READ_STATUS_SYNC) {
                // The kernel's queue overflowed: libevdev hands the state
                // changes that were lost, so a released pedal is not taken
                // for held.
                flags = LIBEVDEV_READ_FLAG_SYNC;
                if (auto k = key_event_of(e)) out.push_back(*k);
            } else if (rc == -EAGAIN) {
                if (flags == LIBEVDEV_READ_FLAG_SYNC) {
                    flags = LIBEVDEV_READ_FLAG_NORMAL;
                    continue;
                }
                return true;
            } else {
                return false;  // -ENODEV once unplugged
            }
        }
    }

private:
    int fd_;
    libevdev* dev_;
    InputIdentity identity_;
};

}  // namespace

std::unique_ptr<InputSource> open_evdev_source(const std::string& path, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = path + ": " + std::strerror(errno);
        return nullptr;
    }
    libevdev* dev = nullptr;
    if (const int rc = libevdev_new_from_fd(fd, &dev); rc < 0) {
        why = path + ": not an input device (" + std::strerror(-rc) + ")";
        ::close(fd);
        return nullptr;
    }
    InputIdentity id;
    id.path = path;
    id.name = libevdev_get_name(dev) ? libevdev_get_name(dev) : "";
    id.vendor = static_cast<uint16_t>(libevdev_get_id_vendor(dev));
    id.product = static_cast<uint16_t>(libevdev_get_id_product(dev));
    if (libevdev_has_event_type(dev, EV_KEY))
        for (unsigned code = 0; code <= KEY_MAX; ++code)
            if (libevdev_has_event_code(dev, EV_KEY, code)) id.keys.push_back(static_cast<int>(code));
    if (id.keys.empty()) {
        why = path + ": has no keys";
        libevdev_free(dev);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<EvdevSource>(fd, dev, std::move(id));
}

RawEventSource::RawEventSource(int fd, InputIdentity identity) : fd_(fd), identity_(std::move(identity)) {
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

RawEventSource::~RawEventSource() { ::close(fd_); }

bool RawEventSource::read_keys(std::vector<KeyEvent>& out) {
    unsigned char buffer[64 * sizeof(input_event)];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n == 0) return false;  // the writer is gone, as an unplugged device
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == EAGAIN;
        partial_.insert(partial_.end(), buffer, buffer + n);
        size_t used = 0;
        for (; used + sizeof(input_event) <= partial_.size(); used += sizeof(input_event)) {
            input_event e;
            std::memcpy(&e, partial_.data() + used, sizeof e);
            if (auto k = key_event_of(e)) out.push_back(*k);
        }
        partial_.erase(partial_.begin(), partial_.begin() + static_cast<long>(used));
    }
}

}  // namespace murrel
