#pragma once
// A sound card made of memory, for tests and for machines without sound: a
// scriptable list of devices with their capabilities, a clock that runs in
// real time, as fast as the owner feeds it, or only when told, a record of
// everything played, scripted input for recording, and devices that vanish.
//
// Threads: the scripting calls are for the test's thread. With the Manual
// clock, notifications are sent inside advance_output/advance_input on the
// calling thread; with RealTime and Fast each open device runs its own thread.
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "audio/devices/device_stream.h"

namespace murrel {

struct VirtualDevice {
    std::string name;
    uint32_t formats = kAllStandardFormats;  // what the capabilities list
    uint16_t channels = 2;
    // What the format query accepts; unset = PCM, 8 or 16 bits, 1..channels,
    // 8000–192000 Hz.
    std::function<bool(const TWaveFormatEx&)> accepts;
};

enum class VirtualClock {
    Manual,    // audio moves only in advance_output / advance_input
    RealTime,  // at the format's rate, in 10 ms steps
    Fast,      // as fast as buffers arrive
};

class VirtualBackend final : public StreamBackend {
public:
    // One output device "Virtual Output" and one input device "Virtual Input",
    // Manual clock.
    VirtualBackend();
    ~VirtualBackend() override;

    std::string name() const override { return "virtual"; }
    bool callbacks_allowed() const override { return callbacks_allowed_; }

    void set_output_devices(std::vector<VirtualDevice> devices);
    void set_input_devices(std::vector<VirtualDevice> devices);
    // Applies to devices opened afterwards.
    void set_clock(VirtualClock clock) { clock_ = clock; }
    void set_callbacks_allowed(bool allowed) { callbacks_allowed_ = allowed; }

    // Manual clock: moves up to `frames` frames through every open output
    // (input) device; returns the audio frames moved by the first one.
    size_t advance_output(size_t frames);
    size_t advance_input(size_t frames);
    // Every open input device drops `frames` frames, as a real device that
    // overran would.
    void overrun_input(uint64_t frames);

    // Everything the output device `device` played since the last
    // clear_played, after the device volume.
    std::vector<uint8_t> played(int device = 0) const;
    void clear_played();

    // Scripted input: fill(dst, bytes, offset) writes `bytes` bytes of
    // captured audio; `offset` counts the bytes the device captured before
    // since it was opened. Unset = silence. Called on the device's thread.
    using InputScript = std::function<void(uint8_t* dst, size_t bytes, uint64_t offset)>;
    void set_input_script(InputScript script);

    // The device goes away: it leaves the list, and every device opened on it
    // returns its buffers and fails every later operation with
    // MMSYSERR_NODRIVER.
    void vanish_output(int device);
    void vanish_input(int device);

    int out_num_devs() override;
    MMResult out_get_caps(int device, WaveCaps& caps) override;
    int in_num_devs() override;
    MMResult in_get_caps(int device, WaveCaps& caps) override;

    // Used by the device threads.
    void record_played(int device, const uint8_t* data, size_t bytes);
    void capture_input(uint8_t* dst, size_t bytes, uint64_t offset);

protected:
    MMResult out_query(int device, const TWaveFormatEx& format) override;
    MMResult in_query(int device, const TWaveFormatEx& format) override;
    std::unique_ptr<OutputStream> make_output(int device, const TWaveFormatEx& format,
                                              WaveCallback* callback) override;
    std::unique_ptr<InputStream> make_input(int device, const TWaveFormatEx& format,
                                            WaveCallback* callback) override;

private:
    static bool default_accepts(const VirtualDevice& d, const TWaveFormatEx& f);

    mutable std::mutex mutex_;
    std::vector<VirtualDevice> outputs_;
    std::vector<VirtualDevice> inputs_;
    std::map<int, std::vector<uint8_t>> played_;
    InputScript script_;
    VirtualClock clock_ = VirtualClock::Manual;
    bool callbacks_allowed_ = true;
};

}  // namespace murrel
