#pragma once
// TMMConnector: a chain link that passes audio through unchanged and hands a
// copy of it to display components (level meters, oscilloscope) on the
// user-interface thread.
//
// Threads: BufferReady/BufferLoad arrive on the refilling thread; they copy
// into a buffer made at Opened (no allocation there) and post at most one
// hand-over at a time. Displays are called on the user-interface thread with
// the latest copy; copies that arrive faster than the user interface takes
// them replace each other.
#include <mutex>
#include <vector>

#include "audio/devices/mmdsp.h"
#include "audio/devices/ui_dispatcher.h"

namespace murrel {

class TMMDisplay {
public:
    virtual ~TMMDisplay() = default;
    // `pcm` holds `bytes` bytes of audio in `format`; valid during the call.
    virtual void ShowData(const TWaveFormatEx& format, const uint8_t* pcm, size_t bytes) = 0;
};

class TMMConnector : public TMMDSPComponent {
public:
    explicit TMMConnector(UiDispatcher* ui = nullptr);
    ~TMMConnector() override;

    // Not owned; remove before destroying the display. User-interface
    // thread, while the chain is closed.
    void AddDisplay(TMMDisplay* display);
    void RemoveDisplay(TMMDisplay* display);

    // With Synchronize on, an output device's BufferReady (the buffer that
    // plays next) is what the displays see.
    bool Synchronize() const { return synchronize_; }
    void SetSynchronize(bool on) { synchronize_ = on; }
    // Float formats reach the displays as 16-bit PCM.
    bool AutoConvert() const { return auto_convert_; }
    void SetAutoConvert(bool on) { auto_convert_ = on; }

    void Opened() override;
    void BufferReady(TMMWaveHdr* hdr) override;
    void BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) override;

private:
    void Keep(const TMMWaveHdr* hdr);
    void HandOver();

    UiDispatcher* const ui_;
    std::vector<TMMDisplay*> displays_;
    bool synchronize_ = true;
    bool auto_convert_ = true;

    std::mutex mutex_;  // guards pending_, pending_bytes_, posted_, pending_format_
    std::vector<uint8_t> pending_;
    size_t pending_bytes_ = 0;
    TWaveFormatEx pending_format_;
    bool posted_ = false;
    std::vector<uint8_t> shown_;  // user-interface thread only
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace murrel
