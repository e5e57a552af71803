#include "audio/devices/virtual_backend.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace murrel {

namespace {

using Clock = std::chrono::steady_clock;

// A virtual device on the real-time clock: it wakes every 10 ms and moves the
// frames that came due since it (re)started, so that a late wake-up catches up
// instead of drifting.
class RealTimePace {
public:
    explicit RealTimePace(uint32_t rate) : rate_(rate) {}
    void restart() {
        start_ = Clock::now();
        done_ = 0;
    }
    // Sleeps one step; returns the frames due during it.
    uint64_t step() {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_);
        uint64_t due = static_cast<uint64_t>(elapsed.count()) * rate_ / 1000000;
        uint64_t frames = due > done_ ? due - done_ : 0;
        done_ += frames;
        return frames;
    }

private:
    const uint32_t rate_;
    Clock::time_point start_ = Clock::now();
    uint64_t done_ = 0;
};

// What both directions of a virtual device hold: the backend that keeps
// what was played and supplies what is captured, the clock, a 200 ms scratch
// buffer, and a thread on every clock but the manual one.
template <class Direction>
class VirtualStream : public Direction {
public:
    VirtualStream(VirtualBackend& backend, VirtualClock clock, int device, const TWaveFormatEx& format,
                  WaveCallback* callback)
        : Direction(device, format, callback), backend_(backend), clock_(clock),
          scratch_(std::max<size_t>(format.nAvgBytesPerSec / 5, 4096)) {}

    MMResult start_device() override {
        if (clock_ != VirtualClock::Manual) this->start_device_thread(nullptr, [this] { run(); });
        return MMSYSERR_NOERROR;
    }
    void stop_device() override { this->stop_device_thread(); }

protected:
    virtual void run() = 0;

    VirtualBackend& backend_;
    const VirtualClock clock_;
    std::vector<uint8_t> scratch_;
};

class VirtualOutput final : public VirtualStream<OutputStream> {
public:
    using VirtualStream::VirtualStream;

    // Plays up to `frames` frames; returns the audio frames played.
    size_t advance(size_t frames) {
        size_t block = std::max<uint16_t>(format_.nBlockAlign, 1);
        size_t total = 0;
        while (frames > 0 && !lost()) {
            size_t want = std::min(frames * block, scratch_.size() / block * block);
            uint64_t generation = 0;
            size_t got = pull(scratch_.data(), want, &generation);
            backend_.record_played(device_, scratch_.data(), got);
            release_heard(taken_bytes(), generation);
            total += got;
            frames -= want / block;
            if (got < want) break;
        }
        return total / block;
    }

private:
    void run() override {
        size_t block = std::max<uint16_t>(format_.nBlockAlign, 1);
        if (clock_ == VirtualClock::Fast) {
            while (!quit_.load()) {
                wait_for_work(quit_, 50);
                if (quit_.load()) break;
                if (advance(scratch_.size() / block) == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return;
        }
        RealTimePace pace(format_.nSamplesPerSec);
        while (!quit_.load()) {
            if (uint64_t frames = pace.step()) advance(frames);
        }
    }
};

class VirtualInput final : public VirtualStream<InputStream> {
public:
    using VirtualStream::VirtualStream;

    void overrun(uint64_t frames) { add_lost_frames(frames); }

    // Captures `frames` frames while started; returns the frames stored.
    size_t advance(size_t frames) {
        size_t block = std::max<uint16_t>(format_.nBlockAlign, 1);
        size_t total = 0;
        while (frames > 0 && !lost() && started()) {
            // A virtual device never overruns: it captures only what fits.
            size_t want = std::min({frames * block, scratch_.size() / block * block,
                                    free_bytes() / block * block});
            if (want == 0) break;
            backend_.capture_input(scratch_.data(), want, offset_);
            size_t got = push(scratch_.data(), want);
            offset_ += got;  // what a stop refused was never captured
            total += got;
            frames -= want / block;
            if (got < want) break;
        }
        return total / block;
    }

private:
    void run() override {
        size_t block = std::max<uint16_t>(format_.nBlockAlign, 1);
        RealTimePace pace(format_.nSamplesPerSec);
        bool was_started = false;
        while (!quit_.load()) {
            if (!started()) {
                was_started = false;
                wait_until_started(quit_, 50);
                continue;
            }
            if (clock_ == VirtualClock::Fast) {
                if (advance(scratch_.size() / block) == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (!was_started) {  // capture time restarts with the device
                was_started = true;
                pace.restart();
            }
            if (uint64_t frames = pace.step()) advance(frames);
        }
    }

    uint64_t offset_ = 0;  // bytes captured so far
};

}  // namespace

VirtualBackend::VirtualBackend() {
    outputs_.push_back({"Virtual Output", kAllStandardFormats, 2, {}});
    inputs_.push_back({"Virtual Input", kAllStandardFormats, 2, {}});
}

VirtualBackend::~VirtualBackend() {
    // Devices left open by a careless owner must not outlive their backend.
    for (OutputStream* s : open_outputs()) out_close(reinterpret_cast<WaveHandle>(s));
    for (InputStream* s : open_inputs()) in_close(reinterpret_cast<WaveHandle>(s));
}

void VirtualBackend::set_output_devices(std::vector<VirtualDevice> devices) {
    std::lock_guard lock(mutex_);
    outputs_ = std::move(devices);
}

void VirtualBackend::set_input_devices(std::vector<VirtualDevice> devices) {
    std::lock_guard lock(mutex_);
    inputs_ = std::move(devices);
}

int VirtualBackend::out_num_devs() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(outputs_.size());
}

int VirtualBackend::in_num_devs() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(inputs_.size());
}

static MMResult caps_of(const std::vector<VirtualDevice>& list, int device, WaveCaps& caps) {
    if (device == MapperId) device = 0;
    if (device < 0 || device >= static_cast<int>(list.size())) return MMSYSERR_BADDEVICEID;
    const VirtualDevice& d = list[device];
    caps.product_name = d.name;
    caps.formats = d.formats;
    caps.channels = d.channels;
    caps.has_volume = false;
    return MMSYSERR_NOERROR;
}

MMResult VirtualBackend::out_get_caps(int device, WaveCaps& caps) {
    std::lock_guard lock(mutex_);
    return caps_of(outputs_, device, caps);
}

MMResult VirtualBackend::in_get_caps(int device, WaveCaps& caps) {
    std::lock_guard lock(mutex_);
    return caps_of(inputs_, device, caps);
}

bool VirtualBackend::default_accepts(const VirtualDevice& d, const TWaveFormatEx& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
           f.nChannels >= 1 && f.nChannels <= d.channels && f.nSamplesPerSec >= 8000 &&
           f.nSamplesPerSec <= 192000 && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

MMResult VirtualBackend::out_query(int device, const TWaveFormatEx& format) {
    std::lock_guard lock(mutex_);
    const VirtualDevice& d = outputs_.at(device);
    bool ok = d.accepts ? d.accepts(format) : default_accepts(d, format);
    return ok ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

MMResult VirtualBackend::in_query(int device, const TWaveFormatEx& format) {
    std::lock_guard lock(mutex_);
    const VirtualDevice& d = inputs_.at(device);
    bool ok = d.accepts ? d.accepts(format) : default_accepts(d, format);
    return ok ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

std::unique_ptr<OutputStream> VirtualBackend::make_output(int device, const TWaveFormatEx& format,
                                                          WaveCallback* callback) {
    return std::make_unique<VirtualOutput>(*this, clock_, device, format, callback);
}

std::unique_ptr<InputStream> VirtualBackend::make_input(int device, const TWaveFormatEx& format,
                                                        WaveCallback* callback) {
    return std::make_unique<VirtualInput>(*this, clock_, device, format, callback);
}

size_t VirtualBackend::advance_output(size_t frames) {
    size_t first = 0;
    bool any = false;
    for (OutputStream* s : open_outputs()) {
        size_t n = static_cast<VirtualOutput*>(s)->advance(frames);
        if (!any) first = n;
        any = true;
    }
    return first;
}

void VirtualBackend::overrun_input(uint64_t frames) {
    for (InputStream* s : open_inputs()) static_cast<VirtualInput*>(s)->overrun(frames);
}

size_t VirtualBackend::advance_input(size_t frames) {
    size_t first = 0;
    bool any = false;
    for (InputStream* s : open_inputs()) {
        size_t n = static_cast<VirtualInput*>(s)->advance(frames);
        if (!any) first = n;
        any = true;
    }
    return first;
}

std::vector<uint8_t> VirtualBackend::played(int device) const {
    std::lock_guard lock(mutex_);
    auto it = played_.find(device);
    return it == played_.end() ? std::vector<uint8_t>{} : it->second;
}

void VirtualBackend::clear_played() {
    std::lock_guard lock(mutex_);
    played_.clear();
}

void VirtualBackend::set_input_script(InputScript script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

void VirtualBackend::record_played(int device, const uint8_t* data, size_t bytes) {
    if (!bytes) return;
    std::lock_guard lock(mutex_);
    auto& v = played_[device];
    v.insert(v.end(), data, data + bytes);
}

void VirtualBackend::capture_input(uint8_t* dst, size_t bytes, uint64_t offset) {
    InputScript script;
    {
        std::lock_guard lock(mutex_);
        script = script_;
    }
    if (script) script(dst, bytes, offset);
    else std::fill(dst, dst + bytes, 0);
}

void VirtualBackend::vanish_output(int device) {
    {
        std::lock_guard lock(mutex_);
        if (device < 0 || device >= static_cast<int>(outputs_.size())) return;
        outputs_.erase(outputs_.begin() + device);
    }
    for (OutputStream* s : open_outputs()) {
        if (s->device() != device) continue;
        s->mark_lost();
        s->reset();
    }
}

void VirtualBackend::vanish_input(int device) {
    {
        std::lock_guard lock(mutex_);
        if (device < 0 || device >= static_cast<int>(inputs_.size())) return;
        inputs_.erase(inputs_.begin() + device);
    }
    for (InputStream* s : open_inputs()) {
        if (s->device() != device) continue;
        s->mark_lost();
        s->reset();
    }
}

}  // namespace murrel
