#pragma once
// The processing chain the wave devices share with the file and display
// components: each link knows its Input and Output, carries its own copy of
// the wave format and the buffer size, and receives the chain notifications.
//
// Direction: BufferLoad travels backwards (a device asks its Input to fill a
// buffer), BufferReady forwards (a device shows its Output what plays next).
// A sound component (a device) sends the other notifications to every link of
// its chain up to the next sound component, in both directions.
//
// Threads: links are made, formats and sizes set, and Opened…Looped sent on
// the user-interface thread. BufferLoad and BufferReady arrive on whatever
// thread the device refills on (its worker with cmThread); a link must not
// touch the user interface from them.
#include <cstdint>
#include <functional>
#include <optional>

#include "audio/devices/device_types.h"

namespace murrel {

class TMMDSPComponent;
using TMMBufferEvent = std::function<void(TMMDSPComponent* sender, TMMWaveHdr* hdr)>;
using TMMBufferLoadEvent =
    std::function<void(TMMDSPComponent* sender, TMMWaveHdr* hdr, bool& more_buffers)>;
using TNotifyEvent = std::function<void(TMMDSPComponent* sender)>;

class TMMDSPComponent {
public:
    TMMDSPComponent() = default;
    // Unlinks both neighbours.
    virtual ~TMMDSPComponent();
    TMMDSPComponent(const TMMDSPComponent&) = delete;
    TMMDSPComponent& operator=(const TMMDSPComponent&) = delete;

    // Linking A.SetOutput(B) also sets B's Input to A (and the reverse);
    // replacing or clearing either side unlinks the old neighbour on both.
    TMMDSPComponent* Input() const { return input_; }
    TMMDSPComponent* Output() const { return output_; }
    void SetInput(TMMDSPComponent* input);
    void SetOutput(TMMDSPComponent* output);

    // nullptr until a format was set.
    const TWaveFormatEx* GetWaveFormat() const { return format_ ? &*format_ : nullptr; }
    // Sends Stopped first when started, keeps a copy, passes it to Output.
    // nullptr clears the format.
    virtual void SetWaveFormat(const TWaveFormatEx* format);

    int BufferSize() const { return buffer_size_; }
    virtual void SetBufferSize(int bytes);
    // While the chain is open: BufferSize rounded down to whole sample blocks,
    // at least one block. Bytes.
    int EffectiveBufferSize() const { return effective_size_; }
    void SetEffectiveBufferSize(int bytes) { effective_size_ = bytes; }
    // What EffectiveBufferSize becomes for `buffer_size` and this format.
    int ComputeEffectiveSize(int buffer_size) const;

    bool IsOpened() const { return opened_; }
    bool IsStarted() const { return started_; }
    bool IsPaused() const { return paused_; }
    virtual bool IsSoundComponent() const { return false; }

    TMMBufferEvent OnBufferReady;
    TMMBufferLoadEvent OnBufferLoad;

    // The chain notifications, in this order of the design. A derived link
    // that overrides one calls the base to keep the flags right.
    virtual void Opened();
    virtual void Closed();
    virtual void Started();
    virtual void Paused();
    virtual void Restarted();
    virtual void Stopped();
    virtual void WasReset();  // the Reset notification: the source rewinds
    virtual void Looped();
    // Forwards: OnBufferReady, then Output.
    virtual void BufferReady(TMMWaveHdr* hdr);
    // Backwards: Input fills first, then OnBufferLoad may look at or change it.
    virtual void BufferLoad(TMMWaveHdr* hdr, bool& more_buffers);

    // Taking back audio already queued, so that a change a link makes (of
    // speed) is heard at once instead of after the device's queue. Requeue
    // travels forwards to the device, from any thread; the device then, on
    // its refilling thread, asks backwards how many of the last frames loaded
    // may be made again (TakeBackLimit), takes back at most that many of
    // those it has not yet played, tells how many it took (TakeBack) and
    // loads those buffers again. A link that can make its audio anew answers
    // both; the others pass them on, and a chain without such a link takes
    // nothing back.
    virtual void Requeue();
    virtual int64_t TakeBackLimit();
    virtual void TakeBack(int64_t frames);

private:
    TMMDSPComponent* input_ = nullptr;
    TMMDSPComponent* output_ = nullptr;
    std::optional<TWaveFormatEx> format_;
    int buffer_size_ = 2048;
    int effective_size_ = 2048;
    bool opened_ = false, started_ = false, paused_ = false;
};

}  // namespace murrel
