#pragma once
// Reads the foot pedals: every input event node of a folder (/dev/input),
// watched for pedals plugged in and pulled out, each read on a thread of its
// own so that the pedal works whichever window has the keyboard. A pedal's
// press, release and (for rewind and fast forward held down) repeats are
// posted to the user-interface thread as PedalEvents; in the learn mode a
// press is posted as a LearnedKey instead and does nothing else.
//
// Keyboards and mice are opened when readable but never acted on (see
// is_pedal), and no device is grabbed: the pedal's key still reaches the
// desktop as it would without the program.
//
// Threads: construction, start, stop, the setters and the destructor on the
// user-interface thread; the callbacks run there (through the dispatcher).
// The reading thread owns the sources; settings, the learn flag and the
// device list cross under lock_.
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "player/remote/input_source.h"
#include "player/remote/pedal_settings.h"

namespace murrel {

class UiDispatcher;

struct PedalEvent {
    enum class Kind { Press, Release, Repeat };
    PedalAction action = PedalAction::None;
    Kind kind = Kind::Press;
    int64_t time_us = 0;  // the device's time stamp of the press or release
};

struct LearnedKey {
    InputIdentity device;
    int code = 0;
};

// What the reader sees now, for the settings dialog.
struct InputDevices {
    std::vector<InputIdentity> pedals;  // the devices acted on
    int others = 0;                     // readable devices that are no pedal
    std::vector<std::string> unreadable;  // nodes the user may not read
    bool operator==(const InputDevices&) const = default;
};

class PedalReader {
public:
    struct Options {
        std::string input_dir = "/dev/input";
        SourceOpener opener;  // open_evdev_source when empty
    };
    PedalReader(UiDispatcher& ui, Options options);
    ~PedalReader();
    PedalReader(const PedalReader&) = delete;
    PedalReader& operator=(const PedalReader&) = delete;

    // Starts the thread; false with the reason when the folder cannot be
    // watched. A folder that does not exist yet is waited for.
    bool start(std::string& why);
    void stop();

    void set_settings(const PedalSettings& settings);
    PedalSettings settings() const;
    void set_learning(bool on);
    bool learning() const;
    InputDevices devices() const;

    std::function<void(const PedalEvent&)> OnPedal;
    std::function<void(const LearnedKey&)> OnLearned;
    std::function<void()> OnDevicesChanged;

private:
    using Clock = std::chrono::steady_clock;
    struct Held {
        std::string path;
        int code;
        PedalAction action;
        Clock::time_point next_repeat;
    };

    void run();
    void watch_folder();
    void scan();
    void on_folder_events();
    void open_node(const std::string& name);
    void close_node(const std::string& path);
    void handle(const InputIdentity& device, const KeyEvent& key);
    void repeat_due(Clock::time_point now);
    int poll_timeout_ms(Clock::time_point now) const;
    void post_pedal(const PedalEvent& event);
    void publish_devices();

    UiDispatcher& ui_;
    Options options_;
    std::thread thread_;
    int wake_fd_ = -1;
    int inotify_fd_ = -1;
    int folder_watch_ = -1, parent_watch_ = -1;
    std::atomic<bool> quit_{false};

    mutable std::mutex lock_;
    PedalSettings settings_;
    bool learning_ = false;
    InputDevices devices_;

    // The reading thread's own.
    std::map<std::string, std::unique_ptr<InputSource>> sources_;
    std::map<std::string, std::string> unreadable_;  // path → reason
    std::vector<Held> held_;

    // Cleared by the destructor, so that work still queued does nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace murrel
