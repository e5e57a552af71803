#pragma once
// What every backend's open device shares: the queue of headers handed to the
// device, pause and reset, volume, the byte counts behind positions, and the
// Done notifications. A backend adds only how its clock moves audio in or out.
//
// Threads: the owner's operations (write, pause, reset, ...) come from the
// user-interface or the owner's worker thread; pull()/push() come from the
// device's own thread. Everything shared is under mutex_; notifications are
// always sent with mutex_ released, because a notification may write the
// buffer again at once.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "audio/devices/device_backend.h"

namespace murrel {

class DeviceStream {
public:
    DeviceStream(int device, const TWaveFormatEx& format, WaveCallback* callback);
    virtual ~DeviceStream() = default;
    DeviceStream(const DeviceStream&) = delete;
    DeviceStream& operator=(const DeviceStream&) = delete;

    const TWaveFormatEx& format() const { return format_; }
    int device() const { return device_; }
    // The backend's device went away: every operation fails from now on.
    void mark_lost();
    bool lost() const { return lost_.load(); }

    // Called once the stream is fully set up / just before it is destroyed.
    virtual MMResult start_device() { return MMSYSERR_NOERROR; }
    virtual void stop_device() {}
    // Wakes every wait of the device's thread (it is to quit).
    virtual void wake_device_thread() { changed_.notify_all(); }

    void notify(WaveMsg msg, TMMWaveHdr* hdr = nullptr);

protected:
    // Marks each header of the lpNext chain done and notifies it.
    void complete_chain(TMMWaveHdr* first);
    // The thread of a backend that moves the data itself: started from
    // start_device(), stopped from stop_device(). `name` (15 characters at
    // most) tells the threads apart in a debugger; nullptr leaves it unnamed.
    void start_device_thread(const char* name, std::function<void()> body);
    // Sets quit_, wakes the thread and waits for it to end.
    void stop_device_thread();

    const int device_;
    const TWaveFormatEx format_;
    WaveCallback* const callback_;
    std::atomic<bool> lost_{false};
    // Held from taking finished buffers off the queue until they are all
    // notified, so that buffers come back in the order they finished even
    // when the device's thread and an operation finish some at once.
    // Recursive: a notification may stop or reset the same device.
    std::recursive_mutex order_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> quit_{false};  // the device's thread is to end

private:
    std::thread thread_;
};

class OutputStream : public DeviceStream {
public:
    using DeviceStream::DeviceStream;

    MMResult write(TMMWaveHdr* hdr);
    MMResult pause();
    MMResult restart();
    virtual MMResult reset();
    virtual MMResult position(MMTime& time);
    // See AudioBackend::out_take_unplayed / out_put_back.
    MMResult take_unplayed(uint64_t max_bytes, TMMWaveHdr*& chain, uint64_t& bytes);
    MMResult put_back(TMMWaveHdr* chain);
    void set_volume(uint32_t volume) { volume_.store(volume); }
    uint32_t volume() const { return volume_.load(); }
    bool paused() const;
    // Audio queued or played but not yet returned.
    bool has_unreleased() const;
    // Latency diagnostics (benchmarks): steady-clock nanoseconds at which the
    // device first handed audio written since the last reset (or the open) to
    // the platform, 0 until it has; and the platform's own output latency in
    // seconds, 0 when it reports none. Any thread.
    int64_t first_audio_handed_ns() const;
    virtual double output_latency() const { return 0; }

protected:
    // Device side. Fills dst with up to `bytes` of queued audio, volume
    // applied; the rest of dst is left alone. Returns the audio bytes taken
    // (0 while paused). Fully taken headers wait in the played list until
    // release_heard() says the listener heard them.
    // `generation` receives the reset generation the audio belongs to.
    size_t pull(uint8_t* dst, size_t bytes, uint64_t* generation = nullptr);
    // Returns the played headers whose last byte lies at or before `heard`
    // (a count of audio bytes since open or the last reset); ignored when a
    // reset came in between (`generation` is no longer current).
    void release_heard(uint64_t heard, uint64_t generation);
    // Blocks until audio is queued and not paused, something was played but
    // not released yet, or `stop` is set, or `timeout_ms` passes.
    void wait_for_work(const std::atomic<bool>& stop, int timeout_ms);
    // Blocks until a reset comes after `generation`, `stop` is set, the device
    // is lost, or `timeout` passes.
    void wait_for_reset(uint64_t generation, const std::atomic<bool>& stop,
                        std::chrono::microseconds timeout);
    uint64_t taken_bytes() const;
    // Incremented by every reset; lets a device thread notice that what it
    // had in flight was dropped.
    uint64_t reset_generation() const;
    // Device side: audio of reset generation `generation` has just gone to the
    // platform. Only the first call per generation is kept.
    void audio_handed(uint64_t generation);
    void wake_device_thread() override;

private:
    void apply_volume(uint8_t* data, size_t bytes) const;

    TMMWaveHdr* queue_head_ = nullptr;  // queued, not fully taken
    TMMWaveHdr* queue_tail_ = nullptr;
    size_t head_offset_ = 0;            // bytes of queue_head_ already taken
    TMMWaveHdr* played_head_ = nullptr; // fully taken, not yet heard; end offset in `reserved`
    TMMWaveHdr* played_tail_ = nullptr;
    uint64_t taken_ = 0;
    uint64_t generation_ = 0;
    bool paused_ = false;
    // Between take_unplayed and put_back: the generation taken in.
    bool held_ = false;
    uint64_t held_generation_ = 0;
    std::atomic<uint32_t> volume_{0xFFFFFFFFu};
    // Signalled by resets only: a writer waiting for room is not woken by
    // every buffer the owner writes.
    std::condition_variable reset_changed_;
    std::atomic<int64_t> handed_ns_{0};
    std::atomic<uint64_t> handed_generation_{~uint64_t{0}};
};

class InputStream : public DeviceStream {
public:
    using DeviceStream::DeviceStream;

    MMResult add_buffer(TMMWaveHdr* hdr);
    MMResult start();
    MMResult stop();
    MMResult reset();
    virtual MMResult position(MMTime& time);
    bool started() const;
    bool has_queued() const;
    // Room left in the queued buffers while started; 0 when stopped.
    size_t free_bytes() const;
    // Frames captured while started that reached no buffer: none was free,
    // or the device itself overran. Any thread.
    uint64_t lost_frames() const { return lost_frames_.load(); }

protected:
    // Device side: stores captured audio in the queued buffers while started;
    // returns the bytes stored (the rest is lost: no buffer was free).
    size_t push(const uint8_t* data, size_t bytes);
    void wait_until_started(const std::atomic<bool>& stop, int timeout_ms);
    // Device side: `frames` never reached this stream (the device overran).
    void add_lost_frames(uint64_t frames) { lost_frames_.fetch_add(frames); }

private:
    std::atomic<uint64_t> lost_frames_{0};
    TMMWaveHdr* queue_head_ = nullptr;
    TMMWaveHdr* queue_tail_ = nullptr;
    uint64_t captured_ = 0;
    bool started_ = false;
};

// Handle bookkeeping and the table's plumbing shared by the backends: a handle
// is the address of an open stream the backend owns.
class StreamBackend : public AudioBackend {
public:
    MMResult out_open(WaveHandle* handle, int device, const TWaveFormatEx& format,
                      WaveCallback* callback, unsigned flags) override;
    MMResult out_close(WaveHandle h) override;
    MMResult out_prepare(WaveHandle h, TMMWaveHdr* hdr) override;
    MMResult out_unprepare(WaveHandle h, TMMWaveHdr* hdr) override;
    MMResult out_write(WaveHandle h, TMMWaveHdr* hdr) override;
    MMResult out_pause(WaveHandle h) override;
    MMResult out_restart(WaveHandle h) override;
    MMResult out_reset(WaveHandle h) override;
    MMResult out_get_position(WaveHandle h, MMTime& time) override;
    MMResult out_take_unplayed(WaveHandle h, uint64_t max_bytes, TMMWaveHdr*& chain, uint64_t& bytes) override;
    MMResult out_put_back(WaveHandle h, TMMWaveHdr* chain) override;
    MMResult out_get_id(WaveHandle h, int& device) override;
    MMResult out_get_volume(WaveHandle h, uint32_t& volume) override;
    MMResult out_set_volume(WaveHandle h, uint32_t volume) override;

    MMResult in_open(WaveHandle* handle, int device, const TWaveFormatEx& format,
                     WaveCallback* callback, unsigned flags) override;
    MMResult in_close(WaveHandle h) override;
    MMResult in_prepare(WaveHandle h, TMMWaveHdr* hdr) override;
    MMResult in_unprepare(WaveHandle h, TMMWaveHdr* hdr) override;
    MMResult in_add_buffer(WaveHandle h, TMMWaveHdr* hdr) override;
    MMResult in_start(WaveHandle h) override;
    MMResult in_stop(WaveHandle h) override;
    MMResult in_reset(WaveHandle h) override;
    MMResult in_get_position(WaveHandle h, MMTime& time) override;
    MMResult in_get_id(WaveHandle h, int& device) override;
    uint64_t in_lost_frames(WaveHandle h) override;

    // The open output stream behind `h`, or nullptr (diagnostics); valid
    // while the device stays open.
    OutputStream* output_stream(WaveHandle h) { return out(h); }

protected:
    // Whether `device` (already resolved, never MapperId) accepts `format`.
    virtual MMResult out_query(int device, const TWaveFormatEx& format) = 0;
    virtual MMResult in_query(int device, const TWaveFormatEx& format) = 0;
    virtual std::unique_ptr<OutputStream> make_output(int device, const TWaveFormatEx& format,
                                                      WaveCallback* callback) = 0;
    virtual std::unique_ptr<InputStream> make_input(int device, const TWaveFormatEx& format,
                                                    WaveCallback* callback) = 0;
    // MapperId → the default device; -1 when there is none.
    virtual int out_default_device() { return out_num_devs() > 0 ? 0 : -1; }
    virtual int in_default_device() { return in_num_devs() > 0 ? 0 : -1; }

    // The open streams, for backends that act on every stream of a device.
    // The caller must not let them be closed while it uses them.
    std::vector<OutputStream*> open_outputs();
    std::vector<InputStream*> open_inputs();

private:
    OutputStream* out(WaveHandle h);
    InputStream* in(WaveHandle h);
    MMResult resolve(int& device, int count, int fallback) const;

    std::mutex streams_mutex_;
    std::set<OutputStream*> outputs_;
    std::set<InputStream*> inputs_;
};

}  // namespace murrel
