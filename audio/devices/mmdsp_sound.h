#pragma once
// TMMCustomSoundComponent: a chain link that drives a device. It holds what
// the output and input devices share: the device properties with their
// limits, the state bits, the component's lock, the events fired on the
// user-interface thread, and the sending of notifications along its chain.
//
// Threads: properties, operations and the On… events belong to the
// user-interface thread. state_ is read from any thread.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/devices/device_backend.h"
#include "audio/devices/mmdsp.h"
#include "audio/devices/mmdsp_thread.h"
#include "audio/devices/owner_thread.h"
#include "audio/devices/ui_dispatcher.h"

namespace murrel {

inline constexpr uint32_t kStateClosed = 1;
inline constexpr uint32_t kStateOpened = 2;
inline constexpr uint32_t kStatePlaying = 4;  // recording, for an input device
inline constexpr uint32_t kStatePaused = 8;

class TMMCustomSoundComponent : public TMMDSPComponent {
public:
    // nullptr = the process-wide backend / dispatcher at construction.
    TMMCustomSoundComponent(AudioBackend* backend, UiDispatcher* ui);
    ~TMMCustomSoundComponent() override;

    bool IsSoundComponent() const override { return true; }

    // At least 32 bytes.
    void SetBufferSize(int bytes) override;
    // 2–500: values below 2 are ignored, values above 500 become 500.
    int NumBuffers() const { return num_buffers_; }
    void SetNumBuffers(int n);
    // A device number, MapperId or InvalidId; reading the capabilities sets
    // ProductName, an unknown device becomes InvalidId.
    int DeviceID() const { return device_id_; }
    void SetDeviceID(int id);
    TMMCBMode CallBackMode() const { return cb_mode_; }
    void SetCallBackMode(TMMCBMode mode);
    TMMTimeFormats TimeFormat() const { return time_format_; }
    void SetTimeFormat(TMMTimeFormats format) { time_format_ = format; }
    TThreadPriority Priority() const { return priority_; }
    void SetPriority(TThreadPriority priority) { priority_ = priority; }
    const std::string& ProductName() const { return product_name_; }
    // Devices of the kind, read at creation.
    int NumDevs() const { return num_devs_; }

    uint32_t State() const { return state_.load(); }
    bool IsOpen() const { return state_.load() & (kStateOpened | kStatePlaying | kStatePaused); }

    TNotifyEvent OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose, OnError;

    AudioBackend& Backend() const { return *backend_; }
    // The backend's handle while open, else 0.
    WaveHandle Handle() const { return handle_.load(); }

    virtual void Close() = 0;

protected:
    // One buffer of the device ring: header and data in one 64-byte aligned
    // block.
    struct Slot {
        std::unique_ptr<uint8_t, void (*)(void*)> memory{nullptr, nullptr};
        TMMWaveHdr* hdr = nullptr;
    };

    // Releases everything without events; used when a failure closes the
    // device and by the destructor.
    virtual void ForceClose() = 0;
    // The destructors' common part: closes as Close does, and by force when
    // that fails (nobody is left to tell), then ends the worker.
    void ShutDown();
    // A failure on the worker or the device's thread: no more buffers go out,
    // and the user-interface thread fires OnError, closes the device and shows
    // `text`.
    void PostFailure(const std::string& text);
    // Gives `slot` a header and EffectiveBufferSize() bytes of data. False
    // when out of memory.
    bool AllocateSlot(Slot& slot);
    static void ReleaseSlot(Slot& slot);
    // The device's position is a 32-bit sample counter: a value well below
    // the last one read means it turned over.
    void CountWrap(uint32_t device_pos);
    void ClearWraps();
    int64_t WrappedSamples() const { return static_cast<int64_t>(wraps_.load()) << 32; }

    // Sends `fn` to every link up to the next sound component, in both
    // directions, after giving each this component's effective size.
    // The component itself gets it too. `set_size` is false for notifications
    // sent from a refill, which must not touch what the user-interface
    // thread reads.
    void NotifyChain(void (TMMDSPComponent::*fn)(), bool set_size = true);
    // Raises "Change to property while device was open" when open.
    void CheckClosed();
    [[noreturn]] virtual void ThrowPropertyWhileOpen() = 0;
    // Fires OnError, closes the device, raises the component's error.
    [[noreturn]] virtual void Fail(const std::string& text) = 0;
    virtual MMResult ReadCaps(int id, WaveCaps& caps) = 0;
    virtual const char* NoDeviceName() const = 0;
    virtual const char* ComponentName() const = 0;
    void ReadDeviceCaps();
    void Fire(const TNotifyEvent& event) {
        if (event) event(this);
    }
    // Runs `fn` later on the user-interface thread unless the component is
    // gone by then. Any thread.
    void PostToUi(std::function<void()> fn);
    // Polls `done` every 10 ms up to `steps` times.
    static bool WaitSteps(const std::function<bool()>& done, int steps);

    AudioBackend* const backend_;
    UiDispatcher* const ui_;
    std::atomic<uint32_t> state_{kStateClosed};
    int num_devs_ = 0;
    // The component's lock: the counters shared with the refill/delivery.
    std::mutex lock_;
    std::atomic<WaveHandle> handle_{0};
    TMMDSPThread thread_;
    std::vector<Slot> ring_;
    std::atomic<bool> stopping_{false}, destroying_{false};
    // The thread that opens, starts, stops and closes the device and runs
    // what the device posts to the user interface.
    [[no_unique_address]] OwnerThread owner_thread_;

private:
    int num_buffers_ = 10;
    int device_id_ = 0;
    TMMCBMode cb_mode_ = TMMCBMode::cmWindow;
    TMMTimeFormats time_format_ = TMMTimeFormats::tfByte;
    TThreadPriority priority_ = TThreadPriority::tpHigher;
    std::string product_name_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::atomic<uint32_t> last_device_pos_{0};
    std::atomic<uint32_t> wraps_{0};
};

}  // namespace murrel
