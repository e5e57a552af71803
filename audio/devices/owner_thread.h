#pragma once
// Entry points that must run on one thread (opening, starting, stopping and
// closing a device; draining the user-interface queue; the work posted to it)
// say so on entry. The first checked call claims the calling thread; in a
// debug build a later call from any other thread stops the program there and
// names the entry point, so that a misplaced call shows up where it is made
// instead of as a rare race. A release build keeps nothing and checks nothing.
#include <atomic>
#include <thread>

namespace murrel {

// The claim itself, built in every configuration so that it can be tested.
class ThreadClaim {
public:
    // Claims the calling thread when no thread is claimed yet; true when the
    // calling thread holds the claim.
    bool claim_or_holds() noexcept {
        const std::thread::id self = std::this_thread::get_id();
        std::thread::id none{};
        return owner_.compare_exchange_strong(none, self) || none == self;
    }
    // Whether the calling thread holds the claim, claiming nothing.
    bool holds() const noexcept { return owner_.load() == std::this_thread::get_id(); }
    bool claimed() const noexcept { return owner_.load() != std::thread::id{}; }
    // The next checked call claims afresh.
    void release() noexcept { owner_.store(std::thread::id{}); }

private:
    std::atomic<std::thread::id> owner_{};
};

// Prints which entry point was called from the wrong thread and aborts.
[[noreturn]] void owner_thread_violated(const char* entry) noexcept;

#ifdef NDEBUG
struct OwnerThread {
    void check(const char*) noexcept {}
    void check(const char*, const std::atomic<bool>&) noexcept {}
    void check_held(const char*) const noexcept {}
};
#else
class OwnerThread {
public:
    // On entry of a call that may claim the thread (the first such call does).
    void check(const char* entry) noexcept {
        if (!claim_.claim_or_holds()) owner_thread_violated(entry);
    }
    // The same unless `exempt` holds (a destructor may run anywhere once the
    // owner is done with the object).
    void check(const char* entry, const std::atomic<bool>& exempt) noexcept {
        if (!exempt.load()) check(entry);
    }
    // On entry of work that must run on the thread claimed before, if any.
    void check_held(const char* entry) const noexcept {
        if (claim_.claimed() && !claim_.holds()) owner_thread_violated(entry);
    }

private:
    ThreadClaim claim_;
};
#endif

}  // namespace murrel
