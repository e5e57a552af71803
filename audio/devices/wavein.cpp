#include "audio/devices/wavein.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "shell/dialogs.h"

namespace murrel {

namespace {

constexpr int kWaitSteps = 100;

[[noreturn]] void Raise(const std::string& text) { throw EMMWaveInError(text); }

std::string Text(WaveInCall call, WaveInText text) {
    return std::string(WaveInPrefix(call)) + WaveInErrorText(text);
}

}  // namespace

TMMWaveIn::TMMWaveIn(AudioBackend* backend, UiDispatcher* ui) : TMMCustomSoundComponent(backend, ui) {
    num_devs_ = backend_->in_num_devs();
    ReadDeviceCaps();
    UpdateFormat();
}

TMMWaveIn::~TMMWaveIn() { ShutDown(); }

MMResult TMMWaveIn::ReadCaps(int id, WaveCaps& caps) { return backend_->in_get_caps(id, caps); }

const char* TMMWaveIn::NoDeviceName() const { return WaveInErrorText(WaveInText::NoDevice); }

void TMMWaveIn::ThrowPropertyWhileOpen() {
    Fire(OnError);
    Raise(WaveInErrorText(WaveInText::PropertyWhileOpen));
}

void TMMWaveIn::Fail(const std::string& text) {
    Fire(OnError);
    ForceClose();
    Raise(text);
}

// ---------------------------------------------------------------- properties

void TMMWaveIn::UpdateFormat() {
    TWaveFormatEx f = MakePCMFormat(bits_ == TMMBits::b16Bit ? 16 : 8,
                                    mode_ == TMMMode::mStereo ? 2 : 1, static_cast<uint32_t>(rate_));
    TMMCustomSoundComponent::SetWaveFormat(&f);
}

void TMMWaveIn::SetMode(TMMMode mode) {
    CheckClosed();
    if (mode != TMMMode::mMono && mode != TMMMode::mStereo) return;
    mode_ = mode;
    UpdateFormat();
}

void TMMWaveIn::SetBitLength(TMMBits bits) {
    CheckClosed();
    bits_ = bits;
    UpdateFormat();
}

void TMMWaveIn::SetSampleRate(int rate) {
    CheckClosed();
    rate_ = std::clamp(rate, 8000, 100000);
    UpdateFormat();
}

void TMMWaveIn::SetWaveFormat(const TWaveFormatEx* format) {
    Close();
    TMMCustomSoundComponent::SetWaveFormat(format);
    if (format && format->wFormatTag == WAVE_FORMAT_PCM) {
        rate_ = static_cast<int>(format->nSamplesPerSec);
        bits_ = format->wBitsPerSample > 8 ? TMMBits::b16Bit : TMMBits::b8Bit;
        mode_ = format->nChannels >= 2 ? TMMMode::mStereo : TMMMode::mMono;
    }
}

// ---------------------------------------------------------------- operations

void TMMWaveIn::Open() {
    owner_thread_.check("TMMWaveIn::Open", destroying_);
    if (num_devs_ <= 0) Fail(WaveInErrorText(WaveInText::NoDevice));
    if (DeviceID() == InvalidId) Fail(WaveInErrorText(WaveInText::InvalidDeviceId));
    const TWaveFormatEx* format = GetWaveFormat();
    if (!format) Fail(WaveInErrorText(WaveInText::InvalidFormat));
    if (IsOpen()) Close();

    bool accepted =
        backend_->in_open(nullptr, DeviceID(), *format, nullptr, kWaveFormatQuery) == MMSYSERR_NOERROR;
    // The device must also list the standard format of the rate's class.
    if (uint32_t bit = standard_format_bit(*format); accepted && bit) {
        WaveCaps caps;
        accepted = backend_->in_get_caps(DeviceID(), caps) == MMSYSERR_NOERROR && (caps.formats & bit);
    }
    if (!accepted) Fail(Text(WaveInCall::Open, WaveInText::CantRecordFormat));

    if (CallBackMode() == TMMCBMode::cmThread) {
        auto handler = [this](TMMWaveHdr* hdr, uint64_t) { return DeliverSafe(hdr); };
        if (!thread_.Start(handler, Priority(), static_cast<size_t>(NumBuffers()) * 2 + 8))
            Fail(Text(WaveInCall::Thread, WaveInText::CouldNotCreateThread));
    }
    WaveHandle h = 0;
    MMResult r = backend_->in_open(&h, DeviceID(), *format, &callback_, 0);
    if (r != MMSYSERR_NOERROR) Fail(WaveInPrefix(WaveInCall::Open) + ErrorText(r));
    handle_.store(h);
    SetEffectiveBufferSize(ComputeEffectiveSize(BufferSize()));
    NotifyChain(&TMMDSPComponent::Opened);
    if (!WaitSteps([this] { return (state_.load() & kStateOpened) != 0; }, kWaitSteps))
        Fail(Text(WaveInCall::Open, WaveInText::UnableToOpen));
    try {
        AllocateBuffers();
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    Fire(OnOpen);
}

void TMMWaveIn::Start() {
    owner_thread_.check("TMMWaveIn::Start", destroying_);
    if (!IsOpen()) Open();
    if (!IsOpen() || (state_.load() & kStatePlaying)) return;
    const TWaveFormatEx& f = *GetWaveFormat();
    uint64_t block = std::max<uint16_t>(f.nBlockAlign, 1);
    try {
        {
            std::lock_guard lock(lock_);
            queued_ = deliveries_ = index_ = 0;
            bytes_delivered_ = 0;
            window_queue_.clear();
        }
        closing_ = close_requested_ = stopping_ = dropping_ = stop_requested_ = ending_ = false;
        ClearWraps();
        if (max_record_time_ < 0) {
            byte_limit_ = UINT64_MAX;
        } else {
            uint64_t t = static_cast<uint64_t>(max_record_time_);
            uint64_t bytes = t;
            if (TimeFormat() == TMMTimeFormats::tfMillisecond)
                bytes = (t * f.nAvgBytesPerSec + 999) / 1000;
            else if (TimeFormat() == TMMTimeFormats::tfSample)
                bytes = t * block;
            if (TimeFormat() != TMMTimeFormats::tfByte) bytes = (bytes + block - 1) / block * block;
            byte_limit_ = bytes / block * block;
        }
        for (Slot& slot : ring_) {
            {
                std::lock_guard lock(lock_);
                ++queued_;
            }
            if (MMResult r = backend_->in_add_buffer(handle_.load(), slot.hdr)) {
                std::lock_guard lock(lock_);
                --queued_;
                Raise(WaveInPrefix(WaveInCall::AddBuffer) + ErrorText(r));
            }
        }
        state_.fetch_or(kStatePlaying);
        if (!(state_.load() & kStatePaused)) {
            if (MMResult r = backend_->in_start(handle_.load()))
                Raise(WaveInPrefix(WaveInCall::Start) + ErrorText(r));
        }
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    NotifyChain(&TMMDSPComponent::Started);
    Fire(OnStart);
}

void TMMWaveIn::Pause() {
    owner_thread_.check("TMMWaveIn::Pause", destroying_);
    if (!IsOpen()) Open();
    if (!IsOpen() || (state_.load() & kStatePaused)) return;
    if (state_.load() & kStatePlaying) {
        // Stopping the device hands back the buffer being filled; the empty
        // ones stay queued for Restart.
        if (MMResult r = backend_->in_stop(handle_.load())) {
            Fire(OnError);
            ForceClose();
            Raise(WaveInPrefix(WaveInCall::Pause) + ErrorText(r));
        }
    }
    state_.fetch_or(kStatePaused);
    NotifyChain(&TMMDSPComponent::Paused);
    Fire(OnPause);
}

void TMMWaveIn::Restart() {
    owner_thread_.check("TMMWaveIn::Restart", destroying_);
    uint32_t s = state_.load();
    if (!((s & kStatePlaying) && (s & kStatePaused))) return;
    if (MMResult r = backend_->in_start(handle_.load()))
        Fail(WaveInPrefix(WaveInCall::Restart) + ErrorText(r));
    state_.fetch_and(~kStatePaused);
    NotifyChain(&TMMDSPComponent::Restarted);
    Fire(OnRestart);
}

bool TMMWaveIn::RequestStop() {
    stopping_.store(true);
    WaveHandle h = handle_.load();
    if (MMResult r = backend_->in_stop(h)) Raise(WaveInPrefix(WaveInCall::Stop) + ErrorText(r));
    ClearWraps();
    {
        std::lock_guard lock(lock_);
        dropping_.store(queued_ > 0);
    }
    if (MMResult r = backend_->in_reset(h)) Raise(WaveInPrefix(WaveInCall::Reset) + ErrorText(r));
    std::lock_guard lock(lock_);
    return deliveries_ > 0;
}

void TMMWaveIn::Stop() {
    owner_thread_.check("TMMWaveIn::Stop", destroying_);
    if (!(state_.load() & (kStatePlaying | kStatePaused))) return;
    try {
        bool busy = RequestStop();
        if (!busy) WaitQueued(kWaitSteps);
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    {
        std::lock_guard lock(lock_);
        if (deliveries_ > 0) {  // the delivery's end posts the stop again
            stop_requested_.store(true);
            // This may be that posted stop finding later deliveries still
            // running: let the last of them post once more, or the stop
            // would never finish.
            ending_.store(false);
            return;
        }
    }
    FinishStop();
}

void TMMWaveIn::FinishStop() {
    state_.fetch_and(~(kStatePlaying | kStatePaused));
    {
        std::lock_guard lock(lock_);
        index_ = 0;
        queued_ = 0;
        window_queue_.clear();
    }
    thread_.Flush();
    stop_requested_ = dropping_ = stopping_ = ending_ = false;
    NotifyChain(&TMMDSPComponent::Stopped);
    if (!destroying_.load()) Fire(OnStop);
    if (close_requested_.exchange(false)) Close();
}

void TMMWaveIn::Close() {
    if (!IsOpen()) return;  // setting a format closes too, from wherever it is set up
    owner_thread_.check("TMMWaveIn::Close", destroying_);
    closing_.store(true);
    if (state_.load() & (kStatePlaying | kStatePaused)) Stop();
    if (stop_requested_.load()) {
        close_requested_.store(true);
        closing_.store(false);
        return;
    }
    WaveHandle h = handle_.load();
    try {
        backend_->in_stop(h);
        backend_->in_reset(h);
        for (Slot& slot : ring_) {
            if (MMResult r = backend_->in_unprepare(h, slot.hdr))
                Raise(WaveInPrefix(WaveInCall::UnprepareHeader) + ErrorText(r));
        }
        if (MMResult r = backend_->in_close(h)) Raise(WaveInPrefix(WaveInCall::Close) + ErrorText(r));
        if (!WaitSteps([this] { return state_.load() == kStateClosed; }, kWaitSteps))
            Raise(Text(WaveInCall::Close, WaveInText::UnableToClose));
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    {
        std::lock_guard lock(lock_);
        queued_ = deliveries_ = index_ = 0;
        bytes_delivered_ = 0;
    }
    NotifyChain(&TMMDSPComponent::Closed);
    thread_.Quit();
    handle_.store(0);
    FreeBuffers();
    closing_.store(false);
    if (!destroying_.load()) Fire(OnClose);
}

uint64_t TMMWaveIn::LostFrames() const {
    const WaveHandle h = handle_.load();
    return h ? backend_->in_lost_frames(h) : 0;
}

int64_t TMMWaveIn::GetPosition() {
    const TWaveFormatEx* format = GetWaveFormat();
    if (!IsOpen() || !format || closing_.load() || !handle_.load()) return 0;
    MMTime t;
    if (MMResult r = backend_->in_get_position(handle_.load(), t)) {
        Fire(OnError);
        Raise(WaveInPrefix(WaveInCall::GetPosition) + ErrorText(r));
    }
    int64_t samples = t.value;
    if (t.wType == TimeType::Bytes) samples /= std::max<uint16_t>(format->nBlockAlign, 1);
    samples += WrappedSamples();
    int64_t value = samples_to_time(samples, TimeFormat(), *format);
    if (max_record_time_ > 0) value = std::min(value, max_record_time_);
    return value;
}

// ---------------------------------------------------------------- device side

void TMMWaveIn::Notification(WaveMsg msg, TMMWaveHdr* hdr) {
    switch (msg) {
    case WaveMsg::Open: state_.store(kStateOpened); return;
    case WaveMsg::Close: state_.store(kStateClosed); return;
    case WaveMsg::Done: break;
    }
    switch (CallBackMode()) {
    case TMMCBMode::cmWindow: {
        {
            std::lock_guard lock(lock_);
            window_queue_.push_back(hdr);
        }
        PostToUi([this] { DrainWindowQueue(); });
        break;
    }
    case TMMCBMode::cmCallback: DeliverSafe(hdr); break;
    case TMMCBMode::cmThread: thread_.Post(hdr, 0); break;
    }
}

void TMMWaveIn::DrainWindowQueue() {
    for (;;) {
        TMMWaveHdr* hdr;
        {
            std::lock_guard lock(lock_);
            if (window_queue_.empty()) return;
            hdr = window_queue_.front();
            window_queue_.pop_front();
        }
        if (!DeliverSafe(hdr)) return;
    }
}

bool TMMWaveIn::WaitDelivered() {
    return WaitSteps([this] {
        if (CallBackMode() == TMMCBMode::cmWindow) DrainWindowQueue();
        std::lock_guard lock(lock_);
        return queued_ <= 0 && deliveries_ == 0;
    }, kWaitSteps);
}

bool TMMWaveIn::WaitQueued(int steps) {
    return WaitSteps([this] {
        // With cmWindow the returned buffers wait for this very thread.
        if (CallBackMode() == TMMCBMode::cmWindow) DrainWindowQueue();
        std::lock_guard lock(lock_);
        return queued_ <= 0;
    }, steps);
}

bool TMMWaveIn::DeliverSafe(TMMWaveHdr* hdr) {
    try {
        Deliver(hdr);
        return true;
    } catch (const std::exception& e) {
        PostFailure(e.what());
        return false;
    }
}

void TMMWaveIn::Deliver(TMMWaveHdr* hdr) {
    bool requeue;
    {
        std::lock_guard lock(lock_);
        if (!(state_.load() & kStatePlaying)) return;
        --queued_;
        if (dropping_.load()) {
            if (queued_ <= 0) dropping_.store(false);
            if (hdr->dwBytesRecorded == 0) return;  // came back empty from the reset
            requeue = false;
        } else {
            requeue = true;
        }
        ++deliveries_;
    }
    struct Done {  // a failing delivery must still count as finished
        TMMWaveIn& self;
        bool armed = true;
        ~Done() {
            if (!armed) return;
            std::lock_guard lock(self.lock_);
            --self.deliveries_;
        }
    } done{*this};

    bool limit_reached = false;
    bool deliver = true;
    {
        std::lock_guard lock(lock_);
        if (max_record_time_ > 0 && bytes_delivered_ >= byte_limit_) {
            deliver = false;  // the limit was reached by an earlier buffer
        } else {
            bytes_delivered_ += hdr->dwBytesRecorded;
            if (max_record_time_ > 0 && bytes_delivered_ >= byte_limit_) {
                hdr->dwBytesRecorded -= static_cast<uint32_t>(bytes_delivered_ - byte_limit_);
                bytes_delivered_ = byte_limit_;
                limit_reached = true;
            }
        }
        index_ = ring_.empty() ? 0 : (index_ + 1) % static_cast<int>(ring_.size());
    }
    if (deliver && hdr->dwBytesRecorded > 0) BufferReady(hdr);
    if (limit_reached) RequestStop();

    if (requeue && !stopping_.load() && !stop_requested_.load()) {
        MMTime t;
        if (backend_->in_get_position(handle_.load(), t) == MMSYSERR_NOERROR) {
            CountWrap(t.value);
        }
        {
            std::lock_guard lock(lock_);
            ++queued_;
        }
        if (MMResult r = backend_->in_add_buffer(handle_.load(), hdr)) {
            std::lock_guard lock(lock_);
            --queued_;
            Raise(WaveInPrefix(WaveInCall::AddBuffer) + ErrorText(r));
        }
    }

    bool post_stop = false;
    {
        std::lock_guard lock(lock_);
        done.armed = false;
        --deliveries_;
        bool stop_wanted = stop_requested_.load() || limit_reached;
        if (deliveries_ == 0 && stop_wanted && !ending_.load()) {
            ending_.store(true);
            stopping_.store(true);
            post_stop = true;
        }
    }
    if (post_stop) PostToUi([this] { Stop(); });
}

// ---------------------------------------------------------------- buffers

void TMMWaveIn::AllocateBuffers() {
    FreeBuffers();
    ring_.resize(static_cast<size_t>(NumBuffers()));
    for (Slot& slot : ring_) {
        if (!AllocateSlot(slot)) Raise(WaveInErrorText(WaveInText::AllocHeader));
        if (MMResult r = backend_->in_prepare(handle_.load(), slot.hdr))
            Raise(WaveInPrefix(WaveInCall::PrepareHeader) + ErrorText(r));
    }
}

void TMMWaveIn::FreeBuffers() {
    for (Slot& slot : ring_) ReleaseSlot(slot);
    ring_.clear();
}

void TMMWaveIn::ForceClose() {
    stopping_.store(true);
    thread_.Flush();
    WaveHandle h = handle_.load();
    if (h) {
        backend_->in_stop(h);
        backend_->in_reset(h);
    }
    WaitSteps([this] {
        std::lock_guard lock(lock_);
        return deliveries_ == 0;
    }, kWaitSteps);
    thread_.Quit();
    if (h) {
        for (Slot& slot : ring_)
            if (slot.hdr) backend_->in_unprepare(h, slot.hdr);
        backend_->in_close(h);
    }
    FreeBuffers();
    bool was_open = state_.load() != kStateClosed;
    state_.store(kStateClosed);
    handle_.store(0);
    {
        std::lock_guard lock(lock_);
        queued_ = deliveries_ = index_ = 0;
        bytes_delivered_ = 0;
        window_queue_.clear();
    }
    if (was_open) NotifyChain(&TMMDSPComponent::Closed);
    closing_ = close_requested_ = dropping_ = stop_requested_ = ending_ = stopping_ = false;
}

}  // namespace murrel
