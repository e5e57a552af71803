#include "voicefile/stream_lease.h"

#include <condition_variable>
#include <mutex>

#include "shell/appstate.h"
#include "voicefile/decompress.h"
#include "voicefile/framereader.h"

namespace murrel {

namespace {

struct StreamOwner {
    std::mutex mutex;
    std::condition_variable freed;
    bool busy = false;
};

StreamOwner& owner() {
    static StreamOwner o;
    return o;
}

}  // namespace

StreamLease StreamLease::acquire() {
    StreamOwner& o = owner();
    std::unique_lock lock(o.mutex);
    o.freed.wait(lock, [&] { return !o.busy; });
    o.busy = true;
    StreamLease lease;
    lease.held_ = true;
    return lease;
}

std::optional<StreamLease> StreamLease::try_acquire(std::chrono::milliseconds wait) {
    StreamOwner& o = owner();
    std::unique_lock lock(o.mutex);
    if (!o.freed.wait_for(lock, wait, [&] { return !o.busy; })) return std::nullopt;
    o.busy = true;
    StreamLease lease;
    lease.held_ = true;
    return std::optional<StreamLease>(std::move(lease));
}

StreamLease::StreamLease(StreamLease&& other) noexcept : held_(other.held_) { other.held_ = false; }

StreamLease& StreamLease::operator=(StreamLease&& other) noexcept {
    if (this != &other) {
        release();
        held_ = other.held_;
        other.held_ = false;
    }
    return *this;
}

StreamLease::~StreamLease() { release(); }

FrameReader& StreamLease::reader() { return frame_reader(); }

void StreamLease::release() {
    if (!held_) return;
    held_ = false;
    StreamOwner& o = owner();
    {
        std::lock_guard lock(o.mutex);
        o.busy = false;
    }
    o.freed.notify_all();
}

bool StreamLease::busy() {
    StreamOwner& o = owner();
    std::lock_guard lock(o.mutex);
    return o.busy;
}

bool file_decompress_leased(const std::string& source, const std::string& target,
                            const Tkoltfile_info& info, TMMWave& scratch,
                            ConversionProgress& progress, const std::string& first_file) {
    // A playback being stopped gives the stream back when its device has
    // closed, which the user-interface thread learns from an event: keep the
    // events running while waiting, or a decoding started from that thread
    // would wait for itself.
    std::optional<StreamLease> lease;
    while (!(lease = StreamLease::try_acquire(std::chrono::milliseconds(20)))) {
        progress.process_events();
        if (app().convert_cancel.load()) return false;
    }
    return file_decompress(source, target, info, scratch, progress, lease->reader(), kSplitThreshold, first_file);
}

}  // namespace murrel
