#include "audio/devices/mmdsp_thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

namespace murrel {

// Thread priorities become nice values of the thread; raising one needs
// privileges, and without them the thread simply keeps the normal priority.
void apply_priority(TThreadPriority p) {
    static const int nice_of[] = {19, 10, 5, 0, -5, -10, -15};
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice_of[static_cast<int>(p)]);
}

bool TMMDSPThread::Start(Handler handler, TThreadPriority priority, size_t capacity, int wait_ms) {
    Quit();
    handler_ = std::move(handler);
    {
        std::lock_guard lock(mutex_);
        ring_.assign(std::max<size_t>(capacity, 1), Message{nullptr, 0});
        head_ = count_ = 0;
        quit_ = false;
        started_ = false;
    }
    failed_.store(false);
    thread_ = std::thread([this, priority] { Run(priority); });
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, std::chrono::milliseconds(wait_ms), [&] { return started_; });
}

void TMMDSPThread::Post(TMMWaveHdr* hdr, uint64_t generation) {
    {
        std::lock_guard lock(mutex_);
        // A full queue can only hold buffers of earlier runs: drop the oldest.
        if (count_ == ring_.size()) {
            head_ = (head_ + 1) % ring_.size();
            --count_;
        }
        ring_[(head_ + count_) % ring_.size()] = {hdr, generation};
        ++count_;
    }
    wake_.notify_all();
}

void TMMDSPThread::Flush() {
    std::lock_guard lock(mutex_);
    head_ = count_ = 0;
}

void TMMDSPThread::Quit() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else thread_.join();
}

void TMMDSPThread::Run(TThreadPriority priority) {
    pthread_setname_np(pthread_self(), "mm-worker");
    apply_priority(priority);
    {
        std::lock_guard lock(mutex_);
        started_ = true;
    }
    wake_.notify_all();
    for (;;) {
        Message m;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || count_ > 0; });
            if (quit_) return;
            m = ring_[head_];
            head_ = (head_ + 1) % ring_.size();
            --count_;
        }
        if (!handler_(m.hdr, m.generation)) {
            failed_.store(true);
            return;
        }
    }
}

}  // namespace murrel
