#pragma once
// How engine code asks for work on the user-interface thread without knowing
// the toolkit: the program installs a dispatcher that queues onto its event
// loop; the command-line tool and tests use PumpDispatcher and drain it
// themselves.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "audio/devices/owner_thread.h"

namespace murrel {

class UiDispatcher {
public:
    virtual ~UiDispatcher() = default;
    // Queues `work` to run later on the user-interface thread, in posting
    // order. Callable from any thread; never runs `work` before returning.
    virtual void post(std::function<void()> work) = 0;
};

// A queue drained by whoever calls pump(): that thread is the user-interface
// thread as far as the devices are concerned.
class PumpDispatcher final : public UiDispatcher {
public:
    void post(std::function<void()> work) override;
    // Runs what is queued now (and what those calls queue); returns how many
    // ran.
    size_t pump();
    // Pumps until `done()` holds or `timeout` passes; true when it held.
    // Posted work runs at once; `done` is asked again at least every `poll`,
    // since it may depend on other threads, not only on posts. A long-running
    // tool passes a longer poll than the tests' default to wake less.
    bool pump_until(const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(5000),
                    std::chrono::milliseconds poll = std::chrono::milliseconds(2));
    // Pumps for a while regardless.
    void pump_for(std::chrono::milliseconds duration);
    size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
    // The thread that pumps is the user-interface thread; there is one.
    [[no_unique_address]] OwnerThread owner_thread_;
};

// The process-wide dispatcher; a PumpDispatcher (main_pump()) until the
// program installs its own. Not owned; the caller keeps it alive while set.
UiDispatcher& ui_dispatcher();
void set_ui_dispatcher(UiDispatcher* dispatcher);
PumpDispatcher& main_pump();

// The application's handler for failures that happen away from a caller (a
// refill on a worker thread): shows `text` with show_error on the
// user-interface thread. Any thread.
void report_background_error(const std::string& text);

}  // namespace murrel
