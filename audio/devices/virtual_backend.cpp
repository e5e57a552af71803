#include "audio/devices/virtual_backend.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace murrel {

namespace {

using Clock = std::chrono::steady_clock;

class VirtualOutput final : public OutputStream {
public:
    VirtualOutput(VirtualBackend& backend, VirtualClock clock, int device,
                  const TWaveFormatEx& format, WaveCallback* callback)
        : OutputStream(device, format, callback), backend_(backend), clock_(clock),
          scratch_(std::max<size_t>(format.nAvgBytesPerSec / 5, 4096)) {}

    MMResult start_device() override {
        if (clock_ != VirtualClock::Manual) start_device_thread(nullptr, [this] { run(); });
        return MMSYSERR_NOERROR;
    }
    void stop_device() override { stop_device_thread(); }

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
    void run() {
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
        // Real time: the frames due since the start, in 10 ms steps.
        auto start = Clock::now();
        uint64_t frames_done = 0;
        while (!quit_.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
            uint64_t due = static_cast<uint64_t>(elapsed.count()) * format_.nSamplesPerSec / 1000000;
            if (due > frames_done) {
                advance(due - frames_done);
                frames_done = due;
            }
        }
    }

    VirtualBackend& backend_;
    const VirtualClock clock_;
    std::vector<uint8_t> scratch_;
};

class VirtualInput final : public InputStream {
public:
    VirtualInput(VirtualBackend& backend, VirtualClock clock, int device,
                 const TWaveFormatEx& format, WaveCallback* callback)
        : InputStream(device, format, callback), backend_(backend), clock_(clock),
          scratch_(std::max<size_t>(format.nAvgBytesPerSec / 5, 4096)) {}

    MMResult start_device() override {
        if (clock_ != VirtualClock::Manual) start_device_thread(nullptr, [this] { run(); });
        return MMSYSERR_NOERROR;
    }
    void stop_device() override { stop_device_thread(); }

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
    void run() {
        size_t block = std::max<uint16_t>(format_.nBlockAlign, 1);
        auto start = Clock::now();
        uint64_t frames_done = 0;
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
                start = Clock::now();
                frames_done = 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
            uint64_t due = static_cast<uint64_t>(elapsed.count()) * format_.nSamplesPerSec / 1000000;
            if (due > frames_done) {
                advance(due - frames_done);
                frames_done = due;
            }
        }
    }

    VirtualBackend& backend_;
    const VirtualClock clock_;
    std::vector<uint8_t> scratch_;
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
