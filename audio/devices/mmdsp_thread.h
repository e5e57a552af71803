#pragma once
// TMMDSPThread: the worker a device runs in cmThread mode. It receives the
// device's finished buffers, in order, and hands each to the device's
// handler on its own thread.
//
// Threads: Post may be called from any thread (the backend's notification);
// Start, Flush and Quit from the owner's (user-interface) thread. Post never
// allocates: the queue is sized at Start.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/devices/device_types.h"

namespace murrel {

// Gives the calling thread `p` (a nice value of the thread). Raising it needs
// the privilege to; without it the thread keeps its priority.
void apply_priority(TThreadPriority p);

class TMMDSPThread {
public:
    // Returns false to end the thread (the handler failed).
    using Handler = std::function<bool(TMMWaveHdr* hdr, uint64_t generation)>;

    TMMDSPThread() = default;
    ~TMMDSPThread() { Quit(); }
    TMMDSPThread(const TMMDSPThread&) = delete;
    TMMDSPThread& operator=(const TMMDSPThread&) = delete;

    // Starts the thread and waits up to `wait_ms` for it to run; false when
    // it did not.
    bool Start(Handler handler, TThreadPriority priority, size_t capacity, int wait_ms = 5000);
    // Queues a finished buffer; `generation` lets the handler tell buffers of
    // an earlier run apart.
    void Post(TMMWaveHdr* hdr, uint64_t generation);
    // Drops every waiting buffer.
    void Flush();
    // Ends the thread and waits for it.
    void Quit();
    bool Running() const { return thread_.joinable(); }
    bool Failed() const { return failed_.load(); }
    std::thread::id Id() const { return thread_.get_id(); }

private:
    struct Message {
        TMMWaveHdr* hdr;
        uint64_t generation;
    };
    void Run(TThreadPriority priority);

    Handler handler_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Message> ring_;
    size_t head_ = 0, count_ = 0;
    bool quit_ = false;
    bool started_ = false;
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

}  // namespace murrel
