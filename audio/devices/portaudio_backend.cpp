#include "audio/devices/portaudio_backend.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <pthread.h>
#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/devices/device_stream.h"
#include "audio/devices/mmdsp_thread.h"

namespace murrel {

namespace {

void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}
void quiet_jack(const char*) {}

// ALSA and JACK print their probing of absent cards and servers to standard
// error while PortAudio enumerates; none of it concerns our users. JACK is
// reached through PortAudio only, so its setters are looked up at run time.
void silence_library_chatter() {
    snd_lib_error_set_handler(&quiet_alsa);
    setenv("JACK_NO_START_SERVER", "1", 0);
    using Setter = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
        if (auto set = reinterpret_cast<Setter>(dlsym(RTLD_DEFAULT, name))) set(&quiet_jack);
    }
}

MMResult pa_result(PaError e) {
    return e == paNoError ? MMSYSERR_NOERROR : kBackendErrorBase + static_cast<MMResult>(-e);
}

PaSampleFormat sample_format(const TWaveFormatEx& f) {
    return f.wBitsPerSample == 8 ? paUInt8 : paInt16;
}

struct PaDevice {
    PaDeviceIndex index;
    std::string name;
    int channels;
    double latency;
};

// A sleep until the stream has room ends this much later than computed, so
// that the room is there when the thread wakes.
constexpr std::chrono::microseconds kWakeSlack{2000};
// How long a fresh output stream sleeps at most before it looks again for
// audio (a pause or a reset may also end the wait).
constexpr int kIdleWaitMs = 100;

PaStreamParameters parameters(const PaDevice& d, const TWaveFormatEx& f) {
    PaStreamParameters p{};
    p.device = d.index;
    p.channelCount = f.nChannels;
    p.sampleFormat = sample_format(f);
    p.suggestedLatency = std::max(d.latency, 0.05);
    return p;
}

// Opens a blocking stream in one direction; `stream` stays nullptr on failure.
MMResult open_stream(PaStream*& stream, const PaStreamParameters* input, const PaStreamParameters* output,
                     double rate, unsigned long frames) {
    PaError e = Pa_OpenStream(&stream, input, output, rate, frames, paNoFlag, nullptr, nullptr);
    if (e == paNoError) return MMSYSERR_NOERROR;
    stream = nullptr;
    return pa_result(e);
}

// Drops what the stream still holds and closes it.
void close_stream(PaStream*& stream) {
    if (!stream) return;
    Pa_AbortStream(stream);
    Pa_CloseStream(stream);
    stream = nullptr;
}

// One writing thread per open output device. Writes chunks of the stream's
// period, silence where there is no audio, and keeps a map from written chunks to audio bytes
// so that the heard stream time can be turned back into audio heard.
class PaOutput final : public OutputStream {
public:
    PaOutput(const PaDevice& device, int number, const TWaveFormatEx& format, WaveCallback* cb)
        : OutputStream(number, format, cb), device_(device) {
        // 30 ms chunks: the stream holds three, and reports two (60 ms) as its
        // latency, which bounds how soon a seek is heard; longer ones would
        // wake the thread less often but make seeks slower.
        chunk_frames_ = std::max<size_t>(format.nSamplesPerSec * 3 / 100, 64);
        chunk_.resize(chunk_frames_ * format.nBlockAlign);
        map_.resize(1024);
    }

    MMResult start_device() override {
        PaStreamParameters p = parameters(device_, format_);
        if (MMResult r = open_stream(stream_, nullptr, &p, format_.nSamplesPerSec,
                                     static_cast<unsigned long>(chunk_frames_)))
            return r;
        if (MMResult r = begin()) return r;
        // The stream's thread feeds the device in real time: a busy machine must
        // not starve it (a starved writer is a dropout heard), so it runs above
        // the device's worker that refills the buffers it copies.
        start_device_thread("pa-output", [this] {
            apply_priority(TThreadPriority::tpHighest);
            run();
        });
        return MMSYSERR_NOERROR;
    }

    void stop_device() override {
        stop_device_thread();
        close_stream(stream_);
    }

    MMResult position(MMTime& time) override {
        if (lost()) return MMSYSERR_NODRIVER;
        time.wType = TimeType::Samples;
        time.value = heard_generation_.load() == reset_generation()
                         ? static_cast<uint32_t>(heard_.load() / format_.nBlockAlign)
                         : 0;
        return MMSYSERR_NOERROR;
    }

    double output_latency() const override { return latency_.load(); }

private:
    struct Chunk {
        uint64_t stream_frame;  // first frame of the chunk in the stream
        uint64_t audio_before;  // audio bytes written before it
        uint32_t audio_bytes;   // audio at its start; the rest is silence
    };

    MMResult begin() {
        PaError e = Pa_StartStream(stream_);
        if (e != paNoError) return pa_result(e);
        start_time_ = Pa_GetStreamTime(stream_);
        signed long room = Pa_GetStreamWriteAvailable(stream_);
        capacity_ = room > 0 ? static_cast<size_t>(room) : chunk_frames_;
        if (const PaStreamInfo* info = Pa_GetStreamInfo(stream_)) latency_.store(info->outputLatency);
        written_frames_ = 0;
        audio_written_ = 0;
        map_head_ = map_count_ = 0;
        heard_.store(0);
        return MMSYSERR_NOERROR;
    }

    void fill_silence(uint8_t* p, size_t bytes) {
        std::memset(p, format_.wBitsPerSample == 8 ? 0x80 : 0, bytes);
    }

    // Writes a chunk only when the stream has room for it, sleeping on the
    // device's changes meanwhile: a reset is then acted on at once instead of
    // after a write blocked for up to a chunk of the old audio.
    void run() {
        uint64_t generation = reset_generation();
        heard_generation_.store(generation);
        while (!quit_.load() && !lost()) {
            uint64_t current = reset_generation();
            if (current != generation) {
                if (!restart_stream()) return lose();
                generation = current;
                heard_generation_.store(generation);
            }
            signed long room = Pa_GetStreamWriteAvailable(stream_);
            if (room == paOutputUnderflowed) room = static_cast<signed long>(capacity_);
            if (room < 0) return lose();
            if (static_cast<size_t>(room) < std::min(chunk_frames_, capacity_)) {
                size_t missing = std::min(chunk_frames_, capacity_) - static_cast<size_t>(room);
                wait_for_reset(generation, quit_,
                               std::chrono::microseconds(missing * 1000000 / format_.nSamplesPerSec) +
                                   kWakeSlack);
                continue;
            }
            uint64_t pulled_generation = generation;
            size_t got = pull(chunk_.data(), chunk_.size(), &pulled_generation);
            if (pulled_generation != generation) {
                // A reset dropped the queue: drop what the stream still holds.
                if (!restart_stream()) return lose();
                generation = pulled_generation;
                heard_generation_.store(generation);
            }
            if (written_frames_ == 0) {
                // A fresh stream (just opened or reset) waits for its audio
                // instead of starting with silence the audio would play behind.
                if (got == 0) {
                    wait_for_work(quit_, kIdleWaitMs);
                    continue;
                }
                start_time_ = Pa_GetStreamTime(stream_);
            }
            fill_silence(chunk_.data() + got, chunk_.size() - got);
            remember(got);
            PaError e = Pa_WriteStream(stream_, chunk_.data(), chunk_frames_);
            if (e != paNoError && e != paOutputUnderflowed) return lose();
            if (got) audio_handed(generation);
            written_frames_ += chunk_frames_;
            audio_written_ += got;
            uint64_t heard = audio_heard();
            heard_.store(heard);
            release_heard(heard, generation);
        }
    }

    bool restart_stream() {
        Pa_AbortStream(stream_);
        return begin() == MMSYSERR_NOERROR;
    }

    void lose() {
        mark_lost();
        reset();
    }

    void remember(size_t audio) {
        if (map_count_ == map_.size()) {  // forget the oldest
            map_head_ = (map_head_ + 1) % map_.size();
            --map_count_;
        }
        map_[(map_head_ + map_count_) % map_.size()] = {written_frames_, audio_written_,
                                                          static_cast<uint32_t>(audio)};
        ++map_count_;
    }

    uint64_t audio_heard() {
        double t = Pa_GetStreamTime(stream_) - start_time_;
        uint64_t frames = t > 0 ? static_cast<uint64_t>(t * format_.nSamplesPerSec) : 0;
        frames = std::min<uint64_t>(frames, written_frames_);
        // Chunks wholly heard are no longer needed, except the last of them.
        while (map_count_ > 1) {
            const Chunk& next = map_[(map_head_ + 1) % map_.size()];
            if (next.stream_frame > frames) break;
            map_head_ = (map_head_ + 1) % map_.size();
            --map_count_;
        }
        if (map_count_ == 0) return audio_written_;
        const Chunk& c = map_[map_head_];
        if (frames < c.stream_frame) return c.audio_before;
        uint64_t into = (frames - c.stream_frame) * format_.nBlockAlign;
        return c.audio_before + std::min<uint64_t>(into, c.audio_bytes);
    }

    PaDevice device_;
    PaStream* stream_ = nullptr;
    size_t chunk_frames_;
    size_t capacity_ = 0;  // frames the stream holds, as it reported when started
    std::vector<uint8_t> chunk_;
    std::vector<Chunk> map_;
    size_t map_head_ = 0, map_count_ = 0;
    double start_time_ = 0;
    uint64_t written_frames_ = 0;  // stream frames, silence included
    uint64_t audio_written_ = 0;
    std::atomic<uint64_t> heard_{0};
    std::atomic<uint64_t> heard_generation_{0};
    std::atomic<double> latency_{0};
};

// One reading thread per open input device; the stream runs while the device
// is open and what arrives while it is stopped is dropped.
class PaInput final : public InputStream {
public:
    PaInput(const PaDevice& device, int number, const TWaveFormatEx& format, WaveCallback* cb)
        : InputStream(number, format, cb), device_(device) {
        chunk_frames_ = std::max<size_t>(format.nSamplesPerSec / 100, 64);
        chunk_.resize(chunk_frames_ * format.nBlockAlign);
    }

    MMResult start_device() override {
        PaStreamParameters p = parameters(device_, format_);
        if (MMResult r = open_stream(stream_, &p, nullptr, format_.nSamplesPerSec, paFramesPerBufferUnspecified))
            return r;
        if (PaError e = Pa_StartStream(stream_); e != paNoError) return pa_result(e);
        // Above the delivery worker for the same reason: a starved reader loses
        // captured audio.
        start_device_thread("pa-input", [this] {
            apply_priority(TThreadPriority::tpHighest);
            run();
        });
        return MMSYSERR_NOERROR;
    }

    void stop_device() override {
        stop_device_thread();
        close_stream(stream_);
    }

private:
    void run() {
        const double rate = format_.nSamplesPerSec;
        const PaStreamInfo* info = Pa_GetStreamInfo(stream_);
        const double latency_frames = info ? info->inputLatency * rate : 0;
        const PaTime t0 = Pa_GetStreamTime(stream_);
        uint64_t frames_read = 0, overrun = 0;
        while (!quit_.load() && !lost()) {
            PaError e = Pa_ReadStream(stream_, chunk_.data(), chunk_frames_);
            if (e != paNoError && e != paInputOverflowed) {
                mark_lost();
                reset();
                return;
            }
            frames_read += chunk_frames_;
            if (e == paInputOverflowed) {
                // The stream does not say how much it dropped: what its clock
                // ran ahead of what was read (less what may still wait in its
                // buffer), and at least this read's worth.
                const double behind = (Pa_GetStreamTime(stream_) - t0) * rate - double(frames_read) -
                                      double(overrun) - latency_frames;
                const uint64_t lost_now = behind > double(chunk_frames_) ? uint64_t(behind) : chunk_frames_;
                overrun += lost_now;
                add_lost_frames(lost_now);
            }
            push(chunk_.data(), chunk_.size());
        }
    }

    PaDevice device_;
    PaStream* stream_ = nullptr;
    size_t chunk_frames_;
    std::vector<uint8_t> chunk_;
};

class PortAudioBackend final : public StreamBackend {
public:
    PortAudioBackend() {
        silence_library_chatter();
        initialised_ = Pa_Initialize() == paNoError;
        if (!initialised_) return;
        enumerate(outputs_, false);
        enumerate(inputs_, true);
    }
    ~PortAudioBackend() override {
        for (OutputStream* s : open_outputs()) {
            s->reset();
            out_close(reinterpret_cast<WaveHandle>(s));
        }
        for (InputStream* s : open_inputs()) {
            s->reset();
            in_close(reinterpret_cast<WaveHandle>(s));
        }
        if (initialised_) Pa_Terminate();
    }

    std::string name() const override { return "portaudio"; }

    int out_num_devs() override { return static_cast<int>(outputs_.size()); }
    int in_num_devs() override { return static_cast<int>(inputs_.size()); }
    MMResult out_get_caps(int device, WaveCaps& caps) override { return caps_of(outputs_, device, caps); }
    MMResult in_get_caps(int device, WaveCaps& caps) override { return caps_of(inputs_, device, caps); }
    std::string out_error_text(MMResult code) override { return text(code); }
    std::string in_error_text(MMResult code) override { return text(code); }

protected:
    MMResult out_query(int device, const TWaveFormatEx& f) override {
        return query(outputs_[device], f, false);
    }
    MMResult in_query(int device, const TWaveFormatEx& f) override {
        return query(inputs_[device], f, true);
    }
    std::unique_ptr<OutputStream> make_output(int device, const TWaveFormatEx& f,
                                              WaveCallback* cb) override {
        return std::make_unique<PaOutput>(outputs_[device], device, f, cb);
    }
    std::unique_ptr<InputStream> make_input(int device, const TWaveFormatEx& f,
                                            WaveCallback* cb) override {
        return std::make_unique<PaInput>(inputs_[device], device, f, cb);
    }

private:
    // The host's default device comes first, so that device 0 and MapperId
    // are the one the user chose in the system.
    void enumerate(std::vector<PaDevice>& list, bool input) {
        PaDeviceIndex def = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
        int n = Pa_GetDeviceCount();
        for (int i = 0; i < n; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (!info) continue;
            int ch = input ? info->maxInputChannels : info->maxOutputChannels;
            if (ch <= 0) continue;
            PaDevice d{i, info->name ? info->name : "", ch,
                       input ? info->defaultHighInputLatency : info->defaultHighOutputLatency};
            if (i == def) list.insert(list.begin(), d);
            else list.push_back(d);
        }
    }

    static MMResult caps_of(const std::vector<PaDevice>& list, int device, WaveCaps& caps) {
        if (device == MapperId) device = 0;
        if (device < 0 || device >= static_cast<int>(list.size())) return MMSYSERR_BADDEVICEID;
        caps.product_name = list[device].name;
        caps.channels = static_cast<uint16_t>(std::min(list[device].channels, 2));
        // PortAudio converts rates itself, so every standard format of the
        // device's channel count plays.
        caps.formats = caps.channels >= 2 ? kAllStandardFormats : 0x555;
        caps.has_volume = false;
        return MMSYSERR_NOERROR;
    }

    // PortAudio's own answer accepts nearly anything; the limits that matter
    // to us are checked first.
    static MMResult query(const PaDevice& d, const TWaveFormatEx& f, bool input) {
        if (f.wFormatTag != WAVE_FORMAT_PCM || (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) ||
            f.nChannels < 1 || f.nChannels > d.channels || f.nSamplesPerSec < 8000 ||
            f.nSamplesPerSec > 192000 || f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
            return WAVERR_BADFORMAT;
        PaStreamParameters p = parameters(d, f);
        PaError e = input ? Pa_IsFormatSupported(&p, nullptr, f.nSamplesPerSec)
                          : Pa_IsFormatSupported(nullptr, &p, f.nSamplesPerSec);
        return e == paFormatIsSupported ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
    }

    static std::string text(MMResult code) {
        if (code >= kBackendErrorBase)
            return Pa_GetErrorText(-static_cast<PaError>(code - kBackendErrorBase));
        return mm_error_text(code);
    }

    bool initialised_ = false;
    std::vector<PaDevice> outputs_;
    std::vector<PaDevice> inputs_;
};

}  // namespace

std::unique_ptr<AudioBackend> make_portaudio_backend() {
    return std::make_unique<PortAudioBackend>();
}

}  // namespace murrel
