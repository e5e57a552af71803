#include "audio/devices/device_stream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <pthread.h>

namespace murrel {

DeviceStream::DeviceStream(int device, const TWaveFormatEx& format, WaveCallback* callback)
    : device_(device), format_(format), callback_(callback) {}

void DeviceStream::mark_lost() {
    lost_.store(true);
    changed_.notify_all();
}

void DeviceStream::notify(WaveMsg msg, TMMWaveHdr* hdr) {
    if (callback_) callback_->wave_message(msg, hdr);
}

void DeviceStream::complete_chain(TMMWaveHdr* first) {
    while (first) {
        TMMWaveHdr* next = first->lpNext;
        first->lpNext = nullptr;
        uint32_t flags = first->dwFlags.load();
        first->dwFlags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE);
        notify(WaveMsg::Done, first);
        first = next;
    }
}

void DeviceStream::start_device_thread(const char* name, std::function<void()> body) {
    thread_ = std::thread([name, body = std::move(body)] {
        if (name) pthread_setname_np(pthread_self(), name);
        body();
    });
}

void DeviceStream::stop_device_thread() {
    quit_.store(true);
    wake_device_thread();
    if (thread_.joinable()) thread_.join();
}

// ---------------------------------------------------------------- output

namespace {
// The longest the device waits for audio taken back: well inside what the
// platform still holds when it asks for more.
constexpr std::chrono::milliseconds kHoldWait{20};
}  // namespace

MMResult OutputStream::write(TMMWaveHdr* hdr) {
    if (lost()) return MMSYSERR_NODRIVER;
    if (!hdr) return MMSYSERR_INVALPARAM;
    uint32_t flags = hdr->dwFlags.load();
    if (!(flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    {
        std::lock_guard lock(mutex_);
        hdr->lpNext = nullptr;
        hdr->dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
        if (queue_tail_) queue_tail_->lpNext = hdr;
        else queue_head_ = hdr;
        queue_tail_ = hdr;
    }
    changed_.notify_all();
    return MMSYSERR_NOERROR;
}

MMResult OutputStream::pause() {
    if (lost()) return MMSYSERR_NODRIVER;
    std::lock_guard lock(mutex_);
    paused_ = true;
    return MMSYSERR_NOERROR;
}

MMResult OutputStream::restart() {
    if (lost()) return MMSYSERR_NODRIVER;
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    changed_.notify_all();
    return MMSYSERR_NOERROR;
}

bool OutputStream::paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

MMResult OutputStream::reset() {
    std::lock_guard order(order_);
    TMMWaveHdr* chain;
    {
        std::lock_guard lock(mutex_);
        // Played-but-unheard headers come back first: they were written first.
        chain = played_head_;
        if (played_tail_) played_tail_->lpNext = queue_head_;
        else chain = queue_head_;
        played_head_ = played_tail_ = queue_head_ = queue_tail_ = nullptr;
        head_offset_ = 0;
        taken_ = 0;
        ++generation_;
    }
    changed_.notify_all();
    reset_changed_.notify_all();
    complete_chain(chain);
    return lost() ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
}

MMResult OutputStream::take_unplayed(uint64_t max_bytes, TMMWaveHdr*& chain, uint64_t& bytes) {
    chain = nullptr;
    bytes = 0;
    if (lost()) return MMSYSERR_NODRIVER;
    std::lock_guard order(order_);
    std::lock_guard lock(mutex_);
    if (held_) return MMSYSERR_NOTSUPPORTED;
    // The headers not begun, in queue order; the one being played stays.
    TMMWaveHdr* playing = queue_head_ && head_offset_ > 0 ? queue_head_ : nullptr;
    TMMWaveHdr* first = playing ? playing->lpNext : queue_head_;
    uint64_t left = 0;
    for (TMMWaveHdr* h = first; h; h = h->lpNext) left += h->dwBufferLength;
    // Whole headers from the end, as many as fit.
    TMMWaveHdr* last_kept = playing;
    TMMWaveHdr* from = first;
    while (from && left > max_bytes) {
        left -= from->dwBufferLength;
        last_kept = from;
        from = from->lpNext;
    }
    bytes = left;
    chain = from;
    if (last_kept) {
        last_kept->lpNext = nullptr;
        queue_tail_ = last_kept;
    } else {
        queue_head_ = queue_tail_ = nullptr;
        head_offset_ = 0;
    }
    // All that follows the one being played goes: its unplayed end too, when
    // that fits.
    if (playing && last_kept == playing) {
        const uint64_t rest = playing->dwBufferLength - head_offset_;
        if (rest > 0 && bytes + rest <= max_bytes) {
            bytes += rest;
            playing->dwBufferLength = static_cast<uint32_t>(head_offset_);
        }
    }
    held_ = true;
    held_generation_ = generation_;
    return MMSYSERR_NOERROR;
}

MMResult OutputStream::put_back(TMMWaveHdr* chain) {
    std::lock_guard order(order_);
    TMMWaveHdr* dropped = nullptr;
    {
        std::lock_guard lock(mutex_);
        held_ = false;
        if (generation_ != held_generation_ || lost()) {
            dropped = chain;  // a reset returned the rest already
        } else if (chain) {
            if (queue_tail_) queue_tail_->lpNext = chain;
            else queue_head_ = chain;
            TMMWaveHdr* tail = chain;
            while (tail->lpNext) tail = tail->lpNext;
            queue_tail_ = tail;
        }
    }
    changed_.notify_all();
    complete_chain(dropped);
    return lost() ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
}

void OutputStream::wake_device_thread() {
    changed_.notify_all();
    reset_changed_.notify_all();
}

MMResult OutputStream::position(MMTime& time) {
    if (lost()) return MMSYSERR_NODRIVER;
    std::lock_guard lock(mutex_);
    time.wType = TimeType::Samples;
    time.value = static_cast<uint32_t>(taken_ / std::max<uint16_t>(format_.nBlockAlign, 1));
    return MMSYSERR_NOERROR;
}

void OutputStream::apply_volume(uint8_t* data, size_t bytes) const {
    uint32_t v = volume_.load();
    if (v == 0xFFFFFFFFu || format_.wFormatTag != WAVE_FORMAT_PCM) return;
    uint32_t left = v & 0xFFFF, right = v >> 16;
    if (format_.nChannels == 1) right = left;
    if (format_.wBitsPerSample == 16) {
        size_t n = bytes / 2;
        for (size_t i = 0; i < n; ++i) {
            int16_t s;
            std::memcpy(&s, data + 2 * i, 2);
            uint32_t g = (format_.nChannels == 2 && (i & 1)) ? right : left;
            s = static_cast<int16_t>((static_cast<int32_t>(s) * static_cast<int32_t>(g)) / 0xFFFF);
            std::memcpy(data + 2 * i, &s, 2);
        }
    } else if (format_.wBitsPerSample == 8) {
        for (size_t i = 0; i < bytes; ++i) {
            uint32_t g = (format_.nChannels == 2 && (i & 1)) ? right : left;
            int32_t s = static_cast<int32_t>(data[i]) - 128;
            data[i] = static_cast<uint8_t>(s * static_cast<int32_t>(g) / 0xFFFF + 128);
        }
    }
}

size_t OutputStream::pull(uint8_t* dst, size_t bytes, uint64_t* generation) {
    {
        // Audio taken back to be made anew is back within a few milliseconds:
        // waiting for it is heard as nothing, playing on would be a gap.
        std::unique_lock lock(mutex_);
        if (held_)
            changed_.wait_for(lock, kHoldWait, [&] { return !held_ || quit_.load() || lost(); });
    }
    std::lock_guard order(order_);
    size_t done = 0;
    TMMWaveHdr* empties = nullptr;  // zero-length headers need no listening
    TMMWaveHdr** empties_tail = &empties;
    {
        std::lock_guard lock(mutex_);
        if (generation) *generation = generation_;
        if (paused_) return 0;
        while (queue_head_ && done < bytes) {
            TMMWaveHdr* h = queue_head_;
            size_t left = h->dwBufferLength - head_offset_;
            size_t n = std::min(left, bytes - done);
            if (n) std::memcpy(dst + done, h->lpData + head_offset_, n);
            done += n;
            head_offset_ += n;
            taken_ += n;
            if (head_offset_ < h->dwBufferLength) break;
            queue_head_ = h->lpNext;
            if (!queue_head_) queue_tail_ = nullptr;
            head_offset_ = 0;
            h->lpNext = nullptr;
            if (h->dwBufferLength == 0 && !played_head_) {
                *empties_tail = h;
                empties_tail = &h->lpNext;
                continue;
            }
            h->reserved = static_cast<uintptr_t>(taken_);
            if (played_tail_) played_tail_->lpNext = h;
            else played_head_ = h;
            played_tail_ = h;
        }
    }
    apply_volume(dst, done);
    complete_chain(empties);
    return done;
}

void OutputStream::release_heard(uint64_t heard, uint64_t generation) {
    std::lock_guard order(order_);
    TMMWaveHdr* chain = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_) return;
        TMMWaveHdr** tail = &chain;
        while (played_head_ && played_head_->reserved <= heard) {
            TMMWaveHdr* h = played_head_;
            played_head_ = h->lpNext;
            h->lpNext = nullptr;
            *tail = h;
            tail = &h->lpNext;
        }
        if (!played_head_) played_tail_ = nullptr;
    }
    complete_chain(chain);
}

void OutputStream::wait_for_work(const std::atomic<bool>& stop, int timeout_ms) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
        return stop.load() || lost() || played_head_ || (queue_head_ && !paused_);
    });
}

void OutputStream::wait_for_reset(uint64_t generation, const std::atomic<bool>& stop,
                                  std::chrono::microseconds timeout) {
    std::unique_lock lock(mutex_);
    reset_changed_.wait_for(lock, timeout, [&] { return stop.load() || lost() || generation_ != generation; });
}

uint64_t OutputStream::taken_bytes() const {
    std::lock_guard lock(mutex_);
    return taken_;
}

bool OutputStream::has_unreleased() const {
    std::lock_guard lock(mutex_);
    return played_head_ != nullptr || queue_head_ != nullptr;
}

void OutputStream::audio_handed(uint64_t generation) {
    if (handed_generation_.load() == generation) return;
    handed_ns_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count());
    handed_generation_.store(generation);
}

int64_t OutputStream::first_audio_handed_ns() const {
    return handed_generation_.load() == reset_generation() ? handed_ns_.load() : 0;
}

uint64_t OutputStream::reset_generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

// ---------------------------------------------------------------- input

MMResult InputStream::add_buffer(TMMWaveHdr* hdr) {
    if (lost()) return MMSYSERR_NODRIVER;
    if (!hdr) return MMSYSERR_INVALPARAM;
    uint32_t flags = hdr->dwFlags.load();
    if (!(flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    std::lock_guard lock(mutex_);
    hdr->lpNext = nullptr;
    hdr->dwBytesRecorded = 0;
    hdr->dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
    if (queue_tail_) queue_tail_->lpNext = hdr;
    else queue_head_ = hdr;
    queue_tail_ = hdr;
    return MMSYSERR_NOERROR;
}

MMResult InputStream::start() {
    if (lost()) return MMSYSERR_NODRIVER;
    {
        std::lock_guard lock(mutex_);
        started_ = true;
    }
    changed_.notify_all();
    return MMSYSERR_NOERROR;
}

MMResult InputStream::stop() {
    if (lost()) return MMSYSERR_NODRIVER;
    std::lock_guard order(order_);
    TMMWaveHdr* partial = nullptr;
    {
        std::lock_guard lock(mutex_);
        started_ = false;
        if (queue_head_ && queue_head_->dwBytesRecorded > 0) {
            partial = queue_head_;
            queue_head_ = partial->lpNext;
            if (!queue_head_) queue_tail_ = nullptr;
            partial->lpNext = nullptr;
        }
    }
    complete_chain(partial);
    return MMSYSERR_NOERROR;
}

MMResult InputStream::reset() {
    std::lock_guard order(order_);
    TMMWaveHdr* chain;
    {
        std::lock_guard lock(mutex_);
        started_ = false;
        chain = queue_head_;
        queue_head_ = queue_tail_ = nullptr;
        captured_ = 0;
    }
    complete_chain(chain);
    return lost() ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
}

MMResult InputStream::position(MMTime& time) {
    if (lost()) return MMSYSERR_NODRIVER;
    std::lock_guard lock(mutex_);
    time.wType = TimeType::Samples;
    time.value = static_cast<uint32_t>(captured_ / std::max<uint16_t>(format_.nBlockAlign, 1));
    return MMSYSERR_NOERROR;
}

size_t InputStream::free_bytes() const {
    std::lock_guard lock(mutex_);
    if (!started_) return 0;
    size_t room = 0;
    for (TMMWaveHdr* h = queue_head_; h; h = h->lpNext) room += h->dwBufferLength - h->dwBytesRecorded;
    return room;
}

bool InputStream::has_queued() const {
    std::lock_guard lock(mutex_);
    return queue_head_ != nullptr;
}

bool InputStream::started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

size_t InputStream::push(const uint8_t* data, size_t bytes) {
    std::lock_guard order(order_);
    size_t stored = 0;
    TMMWaveHdr* full = nullptr;
    TMMWaveHdr** tail = &full;
    {
        std::lock_guard lock(mutex_);
        if (!started_) return 0;
        while (queue_head_ && stored < bytes) {
            TMMWaveHdr* h = queue_head_;
            size_t n = std::min<size_t>(h->dwBufferLength - h->dwBytesRecorded, bytes - stored);
            std::memcpy(h->lpData + h->dwBytesRecorded, data + stored, n);
            h->dwBytesRecorded += static_cast<uint32_t>(n);
            stored += n;
            if (h->dwBytesRecorded < h->dwBufferLength) break;
            queue_head_ = h->lpNext;
            if (!queue_head_) queue_tail_ = nullptr;
            h->lpNext = nullptr;
            *tail = h;
            tail = &h->lpNext;
        }
        captured_ += stored;
    }
    if (stored < bytes && format_.nBlockAlign > 0) add_lost_frames((bytes - stored) / format_.nBlockAlign);
    complete_chain(full);
    return stored;
}

void InputStream::wait_until_started(const std::atomic<bool>& stop, int timeout_ms) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return stop.load() || lost() || started_; });
}

// ---------------------------------------------------------------- backend

MMResult StreamBackend::resolve(int& device, int count, int fallback) const {
    if (count <= 0) return MMSYSERR_NODRIVER;
    if (device == MapperId) device = fallback;
    if (device < 0 || device >= count) return MMSYSERR_BADDEVICEID;
    return MMSYSERR_NOERROR;
}

std::vector<OutputStream*> StreamBackend::open_outputs() {
    std::lock_guard lock(streams_mutex_);
    return {outputs_.begin(), outputs_.end()};
}

std::vector<InputStream*> StreamBackend::open_inputs() {
    std::lock_guard lock(streams_mutex_);
    return {inputs_.begin(), inputs_.end()};
}

OutputStream* StreamBackend::out(WaveHandle h) {
    std::lock_guard lock(streams_mutex_);
    auto* s = reinterpret_cast<OutputStream*>(h);
    return outputs_.count(s) ? s : nullptr;
}

InputStream* StreamBackend::in(WaveHandle h) {
    std::lock_guard lock(streams_mutex_);
    auto* s = reinterpret_cast<InputStream*>(h);
    return inputs_.count(s) ? s : nullptr;
}

namespace {

// Opening and closing are the same for both directions; only the stream type
// and what keeps a stream from closing differ.
template <class Stream>
MMResult register_stream(std::unique_ptr<Stream> s, std::mutex& mutex, std::set<Stream*>& open,
                         WaveHandle* handle, WaveCallback* callback) {
    if (!s) return MMSYSERR_NOMEM;
    if (MMResult r = s->start_device()) {
        s->stop_device();
        return r;
    }
    Stream* raw = s.release();
    {
        std::lock_guard lock(mutex);
        open.insert(raw);
    }
    *handle = reinterpret_cast<WaveHandle>(raw);
    if (callback) callback->wave_message(WaveMsg::Open, nullptr);
    return MMSYSERR_NOERROR;
}

template <class Stream>
MMResult unregister_stream(Stream* s, bool (Stream::*busy)() const, std::mutex& mutex,
                           std::set<Stream*>& open) {
    if (!s) return MMSYSERR_INVALHANDLE;
    if ((s->*busy)()) return WAVERR_STILLPLAYING;
    {
        std::lock_guard lock(mutex);
        open.erase(s);
    }
    s->stop_device();
    std::unique_ptr<Stream> owned(s);
    s->notify(WaveMsg::Close);
    return MMSYSERR_NOERROR;
}

MMResult prepare_header(bool open, TMMWaveHdr* hdr) {
    if (!open) return MMSYSERR_INVALHANDLE;
    if (!hdr) return MMSYSERR_INVALPARAM;
    hdr->dwFlags.fetch_or(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMResult unprepare_header(bool open, TMMWaveHdr* hdr) {
    if (!open) return MMSYSERR_INVALHANDLE;
    if (!hdr) return MMSYSERR_INVALPARAM;
    if (hdr->dwFlags.load() & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    hdr->dwFlags.fetch_and(~WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

// The calls that only pass on to an open stream.
template <class Stream, class Method, class... Args>
MMResult forward(Stream* s, Method method, Args&&... args) {
    return s ? (s->*method)(std::forward<Args>(args)...) : MMSYSERR_INVALHANDLE;
}

template <class Stream>
MMResult device_of(Stream* s, int& device) {
    if (!s) return MMSYSERR_INVALHANDLE;
    device = s->device();
    return MMSYSERR_NOERROR;
}

}  // namespace

MMResult StreamBackend::out_open(WaveHandle* handle, int device, const TWaveFormatEx& format,
                                 WaveCallback* callback, unsigned flags) {
    if (MMResult r = resolve(device, out_num_devs(), out_default_device())) return r;
    if (MMResult r = out_query(device, format)) return r;
    if (flags & kWaveFormatQuery) return MMSYSERR_NOERROR;
    if (!handle) return MMSYSERR_INVALPARAM;
    return register_stream(make_output(device, format, callback), streams_mutex_, outputs_, handle, callback);
}

MMResult StreamBackend::out_close(WaveHandle h) {
    return unregister_stream(out(h), &OutputStream::has_unreleased, streams_mutex_, outputs_);
}

MMResult StreamBackend::out_prepare(WaveHandle h, TMMWaveHdr* hdr) { return prepare_header(out(h), hdr); }
MMResult StreamBackend::out_unprepare(WaveHandle h, TMMWaveHdr* hdr) { return unprepare_header(out(h), hdr); }

MMResult StreamBackend::out_write(WaveHandle h, TMMWaveHdr* hdr) { return forward(out(h), &OutputStream::write, hdr); }
MMResult StreamBackend::out_pause(WaveHandle h) { return forward(out(h), &OutputStream::pause); }
MMResult StreamBackend::out_restart(WaveHandle h) { return forward(out(h), &OutputStream::restart); }
MMResult StreamBackend::out_reset(WaveHandle h) { return forward(out(h), &OutputStream::reset); }
MMResult StreamBackend::out_get_position(WaveHandle h, MMTime& time) { return forward(out(h), &OutputStream::position, time); }
MMResult StreamBackend::out_take_unplayed(WaveHandle h, uint64_t max_bytes, TMMWaveHdr*& chain, uint64_t& bytes) {
    chain = nullptr;
    bytes = 0;
    return forward(out(h), &OutputStream::take_unplayed, max_bytes, chain, bytes);
}
MMResult StreamBackend::out_put_back(WaveHandle h, TMMWaveHdr* chain) { return forward(out(h), &OutputStream::put_back, chain); }
MMResult StreamBackend::out_get_id(WaveHandle h, int& device) { return device_of(out(h), device); }
MMResult StreamBackend::out_get_volume(WaveHandle h, uint32_t& volume) {
    OutputStream* s = out(h);
    if (!s) return MMSYSERR_INVALHANDLE;
    volume = s->volume();
    return MMSYSERR_NOERROR;
}
MMResult StreamBackend::out_set_volume(WaveHandle h, uint32_t volume) {
    OutputStream* s = out(h);
    if (!s) return MMSYSERR_INVALHANDLE;
    s->set_volume(volume);
    return MMSYSERR_NOERROR;
}

MMResult StreamBackend::in_open(WaveHandle* handle, int device, const TWaveFormatEx& format,
                                WaveCallback* callback, unsigned flags) {
    if (MMResult r = resolve(device, in_num_devs(), in_default_device())) return r;
    if (MMResult r = in_query(device, format)) return r;
    if (flags & kWaveFormatQuery) return MMSYSERR_NOERROR;
    if (!handle) return MMSYSERR_INVALPARAM;
    return register_stream(make_input(device, format, callback), streams_mutex_, inputs_, handle, callback);
}

MMResult StreamBackend::in_close(WaveHandle h) {
    return unregister_stream(in(h), &InputStream::has_queued, streams_mutex_, inputs_);
}

MMResult StreamBackend::in_prepare(WaveHandle h, TMMWaveHdr* hdr) { return prepare_header(in(h), hdr); }
MMResult StreamBackend::in_unprepare(WaveHandle h, TMMWaveHdr* hdr) { return unprepare_header(in(h), hdr); }

MMResult StreamBackend::in_add_buffer(WaveHandle h, TMMWaveHdr* hdr) { return forward(in(h), &InputStream::add_buffer, hdr); }
MMResult StreamBackend::in_start(WaveHandle h) { return forward(in(h), &InputStream::start); }
MMResult StreamBackend::in_stop(WaveHandle h) { return forward(in(h), &InputStream::stop); }
MMResult StreamBackend::in_reset(WaveHandle h) { return forward(in(h), &InputStream::reset); }
MMResult StreamBackend::in_get_position(WaveHandle h, MMTime& time) { return forward(in(h), &InputStream::position, time); }
uint64_t StreamBackend::in_lost_frames(WaveHandle h) {
    InputStream* s = in(h);
    return s ? s->lost_frames() : 0;
}

MMResult StreamBackend::in_get_id(WaveHandle h, int& device) { return device_of(in(h), device); }

}  // namespace murrel
