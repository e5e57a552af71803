#include "audio/devices/ui_dispatcher.h"

#include <atomic>

#include "shell/dialogs.h"

namespace murrel {

void PumpDispatcher::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    posted_.notify_all();
}

size_t PumpDispatcher::pump() {
    owner_thread_.check("PumpDispatcher::pump");
    size_t ran = 0;
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return ran;
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
        ++ran;
    }
}

bool PumpDispatcher::pump_until(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                                std::chrono::milliseconds poll) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pump();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        posted_.wait_for(lock, poll, [&] { return !queue_.empty(); });
    }
}

void PumpDispatcher::pump_for(std::chrono::milliseconds duration) {
    pump_until([] { return false; }, duration);
}

size_t PumpDispatcher::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

namespace {
std::atomic<UiDispatcher*> installed{nullptr};
}

PumpDispatcher& main_pump() {
    static PumpDispatcher pump;
    return pump;
}

UiDispatcher& ui_dispatcher() {
    UiDispatcher* d = installed.load();
    return d ? *d : main_pump();
}

void set_ui_dispatcher(UiDispatcher* dispatcher) { installed.store(dispatcher); }

void report_background_error(const std::string& text) {
    ui_dispatcher().post([text] { show_error(text); });
}

}  // namespace murrel
