#pragma once
// One input event node the pedal reader listens to. The real one reads the
// kernel's evdev device through libevdev; RawEventSource reads the same
// event records from any descriptor (a pipe carrying a recorded stream), so
// the reader is tested without a kernel device.
//
// Threads: a source belongs to the reader's thread once opened.
#include <linux/input.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/remote/pedal_settings.h"

namespace murrel {

// A key or button changing: value 1 pressed, 0 released, 2 the kernel's autorepeat.
struct KeyEvent {
    int code = 0;
    int value = 0;
    int64_t time_us = 0;  // the event's own time stamp
};

// The key change an event record carries; none for synchronisation, scan
// codes and everything else.
std::optional<KeyEvent> key_event_of(const input_event& event);

class InputSource {
public:
    virtual ~InputSource() = default;
    // Becomes readable when events wait.
    virtual int fd() const = 0;
    virtual const InputIdentity& identity() const = 0;
    // Appends the key changes waiting now, in order, without blocking. False
    // when the device is gone (unplugged) or broken: the source is done.
    virtual bool read_keys(std::vector<KeyEvent>& out) = 0;
};

// Opens the event node at `path`; none, with the reason in `why`, when it
// cannot be read or is no input device with keys.
using SourceOpener = std::function<std::unique_ptr<InputSource>(const std::string& path, std::string& why)>;
std::unique_ptr<InputSource> open_evdev_source(const std::string& path, std::string& why);

class RawEventSource final : public InputSource {
public:
    // Takes ownership of `fd` (made non-blocking here).
    RawEventSource(int fd, InputIdentity identity);
    ~RawEventSource() override;
    int fd() const override { return fd_; }
    const InputIdentity& identity() const override { return identity_; }
    bool read_keys(std::vector<KeyEvent>& out) override;

private:
    int fd_;
    InputIdentity identity_;
    // A record split across two reads is completed by the next one.
    std::vector<unsigned char> partial_;
};

}  // namespace murrel
