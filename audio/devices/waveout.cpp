#include "audio/devices/waveout.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "shell/dialogs.h"

namespace murrel {

namespace {

constexpr int kWaitSteps = 500;

[[noreturn]] void Raise(const std::string& text) { throw EMMWaveOutError(text); }

std::string Text(WaveOutCall call, WaveOutText text) {
    return std::string(WaveOutPrefix(call)) + WaveOutErrorText(text);
}

}  // namespace

TMMWaveOut::TMMWaveOut(AudioBackend* backend, UiDispatcher* ui)
    : TMMCustomSoundComponent(backend, ui) {
    num_devs_ = backend_->out_num_devs();
    ReadDeviceCaps();
}

TMMWaveOut::~TMMWaveOut() { ShutDown(); }

MMResult TMMWaveOut::ReadCaps(int id, WaveCaps& caps) { return backend_->out_get_caps(id, caps); }

const char* TMMWaveOut::NoDeviceName() const { return WaveOutErrorText(WaveOutText::NoDevice); }

void TMMWaveOut::ThrowPropertyWhileOpen() {
    Fire(OnError);
    Raise(WaveOutErrorText(WaveOutText::PropertyWhileOpen));
}

void TMMWaveOut::Fail(const std::string& text) {
    Fire(OnError);
    ForceClose();
    Raise(text);
}

void TMMWaveOut::SetWaveFormat(const TWaveFormatEx* format) {
    Close();
    TMMCustomSoundComponent::SetWaveFormat(format);
}

// ---------------------------------------------------------------- operations

void TMMWaveOut::Open() {
    owner_thread_.check("TMMWaveOut::Open", destroying_);
    if (num_devs_ <= 0) Fail(WaveOutErrorText(WaveOutText::NoDevice));
    if (DeviceID() == InvalidId) Fail(WaveOutErrorText(WaveOutText::InvalidDeviceId));
    const TWaveFormatEx* format = GetWaveFormat();
    if (!format) Fail(Text(WaveOutCall::Open, WaveOutText::InvalidFormat));
    if (IsOpen()) Close();

    if (backend_->out_open(nullptr, DeviceID(), *format, nullptr, kWaveFormatQuery) !=
        MMSYSERR_NOERROR)
        Fail(Text(WaveOutCall::Open, WaveOutText::CantPlayFormat));

    SetEffectiveBufferSize(ComputeEffectiveSize(BufferSize()));
    NotifyChain(&TMMDSPComponent::Opened);
    if (CallBackMode() == TMMCBMode::cmThread) {
        auto handler = [this](TMMWaveHdr* hdr, uint64_t generation) {
            return RefillSafe(hdr, generation);
        };
        if (!thread_.Start(handler, Priority(), static_cast<size_t>(NumBuffers()) * 2 + 8))
            Fail(Text(WaveOutCall::Thread, WaveOutText::CouldNotCreateThread));
    }
    const unsigned flags = 0;
    WaveHandle h = 0;
    MMResult r = backend_->out_open(&h, DeviceID(), *format, &callback_, flags);
    if (r != MMSYSERR_NOERROR) Fail(WaveOutPrefix(WaveOutCall::Open) + ErrorText(r));
    handle_.store(h);
    if (!WaitSteps([this] { return (state_.load() & kStateOpened) != 0; }, kWaitSteps))
        Fail(Text(WaveOutCall::Open, WaveOutText::UnableToOpen));
    if (volume_set_) backend_->out_set_volume(h, volume_);
    Fire(OnOpen);
}

void TMMWaveOut::Close() {
    if (!IsOpen()) return;  // setting a format closes too, from wherever it is set up
    owner_thread_.check("TMMWaveOut::Close", destroying_);
    closing_.store(true);
    if (state_.load() & (kStatePlaying | kStatePaused)) Stop();
    if (stop_requested_.load()) {  // the stop completes later and closes then
        close_requested_.store(true);
        closing_.store(false);
        return;
    }
    MMResult r = backend_->out_close(handle_.load());
    if (r != MMSYSERR_NOERROR) Fail(WaveOutPrefix(WaveOutCall::Close) + ErrorText(r));
    if (!WaitSteps([this] { return state_.load() == kStateClosed; }, kWaitSteps))
        Fail(Text(WaveOutCall::Close, WaveOutText::UnableToClose));
    ClearWraps();
    NotifyChain(&TMMDSPComponent::Closed);
    thread_.Quit();
    handle_.store(0);
    closing_.store(false);
    if (!destroying_.load()) Fire(OnClose);
}

void TMMWaveOut::Start() {
    owner_thread_.check("TMMWaveOut::Start", destroying_);
    if (!IsOpen()) Open();
    if (!IsOpen() || (state_.load() & kStatePlaying)) return;
    try {
        ClearCounters();
        stop_requested_ = resetting_ = ending_ = close_requested_ = stopping_ = false;
        loops_left_.store(LoopCount());
        // Nothing may play while the ring is being queued.
        if (MMResult r = backend_->out_pause(handle_.load()))
            Raise(WaveOutPrefix(WaveOutCall::Pause) + ErrorText(r));
        NotifyChain(&TMMDSPComponent::Started);
        int written = QueueRing(WaveOutCall::Start);
        state_.fetch_or(kStatePlaying);
        if (written == 0) {
            NotifyChain(&TMMDSPComponent::Stopped);
            state_.fetch_and(~kStatePlaying);
            Raise(Text(WaveOutCall::Start, WaveOutText::UnableToStart));
        }
        if (!(state_.load() & kStatePaused)) {
            if (MMResult r = backend_->out_restart(handle_.load()))
                Raise(WaveOutPrefix(WaveOutCall::Restart) + ErrorText(r));
        }
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    Fire(OnStart);
}

void TMMWaveOut::Pause() {
    owner_thread_.check("TMMWaveOut::Pause", destroying_);
    if (!IsOpen()) Open();
    if (!IsOpen() || (state_.load() & kStatePaused)) return;
    try {
        if (state_.load() & kStatePlaying) {
            std::lock_guard lock(lock_);
            if (MMResult r = backend_->out_pause(handle_.load()))
                Raise(WaveOutPrefix(WaveOutCall::Pause) + ErrorText(r));
        }
        // A live source cannot be replayed: keep the position reached and
        // start afresh on Restart.
        if ((state_.load() & kStatePlaying) && Input() && Input()->IsSoundComponent()) {
            pause_samples_.fetch_add(static_cast<int64_t>(DeviceSamples(WaveOutCall::Pause)));
            resetting_.store(true);
            backend_->out_reset(handle_.load());
            pause_reset_ = true;
        }
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    state_.fetch_or(kStatePaused);
    NotifyChain(&TMMDSPComponent::Paused);
    Fire(OnPause);
}

void TMMWaveOut::Restart() {
    owner_thread_.check("TMMWaveOut::Restart", destroying_);
    uint32_t s = state_.load();
    if (!((s & kStatePlaying) && (s & kStatePaused))) return;
    try {
        resetting_.store(false);
        NotifyChain(&TMMDSPComponent::Restarted);
        if (pause_reset_) {
            pause_reset_ = false;
            {
                std::lock_guard lock(lock_);
                index_ = 0;
                ++generation_;
                pending_refills_ = 0;
            }
            if (QueueRing(WaveOutCall::Restart) == 0) {
                state_.fetch_and(~kStatePaused);
                Stop();
                return;
            }
        }
        if (MMResult r = backend_->out_restart(handle_.load()))
            Raise(WaveOutPrefix(WaveOutCall::Restart) + ErrorText(r));
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    state_.fetch_and(~kStatePaused);
    Fire(OnRestart);
}

void TMMWaveOut::Stop() {
    owner_thread_.check("TMMWaveOut::Stop", destroying_);
    if (!(state_.load() & (kStatePlaying | kStatePaused))) return;
    try {
        stopping_.store(true);
        resetting_.store(true);
        stop_position_.store(static_cast<int64_t>(DeviceSamples(WaveOutCall::Reset)));
        {
            std::lock_guard lock(lock_);
            if (queued_ <= 0) resetting_.store(false);  // nothing will come back to end it
        }
        if (MMResult r = backend_->out_reset(handle_.load()))
            Raise(WaveOutPrefix(WaveOutCall::Reset) + ErrorText(r));
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    {
        std::lock_guard lock(lock_);
        if (refills_ > 0) {  // the refill's end posts the stop again
            stop_requested_.store(true);
            return;
        }
    }
    FinishStop();
}

void TMMWaveOut::FinishStop() {
    state_.fetch_and(~(kStatePlaying | kStatePaused));
    WaitSteps([this] {
        std::lock_guard lock(lock_);
        return queued_ <= 0;
    }, kWaitSteps);
    NotifyChain(&TMMDSPComponent::Stopped);
    thread_.Flush();
    FreeBuffers();
    ClearCounters();
    stop_requested_ = stopping_ = resetting_ = ending_ = false;
    pause_reset_ = false;
    if (!destroying_.load()) Fire(OnStop);
    if (close_requested_.exchange(false)) Close();
}

void TMMWaveOut::Reset() {
    owner_thread_.check("TMMWaveOut::Reset", destroying_);
    if (!(state_.load() & (kStatePlaying | kStatePaused)) || resetting_.load()) return;
    try {
        WaveHandle h = handle_.load();
        if (MMResult r = backend_->out_pause(h))
            Raise(WaveOutPrefix(WaveOutCall::Reset) + ErrorText(r));
        resetting_.store(true);
        // Buffers already reported done must not be refilled from the old
        // position: waiting ones are dropped, a running refill is waited for.
        thread_.Flush();
        {
            std::lock_guard lock(lock_);
            ++generation_;
            pending_refills_ = 0;
        }
        WaitSteps([this] {
            std::lock_guard lock(lock_);
            return refills_ == 0;
        }, kWaitSteps);
        if (MMResult r = backend_->out_reset(h))
            Raise(WaveOutPrefix(WaveOutCall::Reset) + ErrorText(r));
        WaitSteps([this] {
            std::lock_guard lock(lock_);
            return queued_ <= 0;
        }, 100);
        backend_->out_restart(h);
        backend_->out_pause(h);
        ClearQueueAndPosition();
        ending_ = false;
        stop_requested_ = false;
        loops_left_.store(LoopCount());
        resetting_.store(false);
        NotifyChain(&TMMDSPComponent::WasReset);
        int written = QueueRing(WaveOutCall::Reset);
        if (!(state_.load() & kStatePaused)) {
            if (MMResult r = backend_->out_restart(h))
                Raise(WaveOutPrefix(WaveOutCall::Restart) + ErrorText(r));
        }
        if (written == 0) Stop();
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

int64_t TMMWaveOut::GetPosition() { return PlayedPosition(true); }

int64_t TMMWaveOut::GetRunPosition() { return PlayedPosition(false); }

int64_t TMMWaveOut::PlayedPosition(bool from_loop) {
    const TWaveFormatEx* format = GetWaveFormat();
    if (!IsOpen() || !format || closing_.load() || !handle_.load()) return 0;
    uint64_t samples;
    try {
        samples = DeviceSamples(WaveOutCall::GetPosition);
    } catch (const EMMWaveOutError&) {
        Fire(OnError);
        throw;
    }
    int64_t total = static_cast<int64_t>(samples) + pause_samples_.load() + WrappedSamples() -
                    (from_loop ? loop_start_.load() : 0);
    return samples_to_time(std::max<int64_t>(total, 0), TimeFormat(), *format);
}

void TMMWaveOut::SetVolume(uint32_t volume) {
    volume_ = volume;
    volume_set_ = true;
    if (WaveHandle h = handle_.load()) backend_->out_set_volume(h, volume);
}

uint32_t TMMWaveOut::Volume() {
    uint32_t v = volume_;
    if (WaveHandle h = handle_.load()) backend_->out_get_volume(h, v);
    return v;
}

// ---------------------------------------------------------------- device side

void TMMWaveOut::Notification(WaveMsg msg, TMMWaveHdr* hdr) {
    switch (msg) {
    case WaveMsg::Open: state_.store(kStateOpened); return;
    case WaveMsg::Close: state_.store(kStateClosed); return;
    case WaveMsg::Done: break;
    }
    uint64_t generation;
    {
        std::lock_guard lock(lock_);
        --queued_;
        if (resetting_.load()) {
            if (queued_ <= 0) resetting_.store(false);
            return;
        }
        if (stopping_.load()) return;
        generation = generation_;
        ++pending_refills_;
    }
    switch (CallBackMode()) {
    case TMMCBMode::cmWindow:
        PostToUi([this, hdr, generation] { RefillSafe(hdr, generation); });
        break;
    case TMMCBMode::cmCallback: RefillSafe(hdr, generation); break;
    case TMMCBMode::cmThread: thread_.Post(hdr, generation); break;
    }
}

bool TMMWaveOut::RefillSafe(TMMWaveHdr* hdr, uint64_t generation) {
    try {
        if (hdr) Refill(hdr, generation);
        else RequeueNow(generation);
        return true;
    } catch (const std::exception& e) {
        PostFailure(e.what());
        return false;
    }
}

void TMMWaveOut::Refill(TMMWaveHdr* hdr, uint64_t generation) {
    TMMWaveHdr* next;
    {
        std::lock_guard lock(lock_);
        if (generation == generation_ && pending_refills_ > 0) --pending_refills_;
        if (generation != generation_ || !(state_.load() & kStatePlaying) || resetting_.load() ||
            stopping_.load())
            return;
        ++refills_;
        // A take-back may have cut the end of this one off unplayed.
        bytes_played_ += std::min(hdr->wh_last_written, hdr->dwBufferLength);
        index_ = ring_count_ ? (index_ + 1) % ring_count_ : 0;
        next = ring_count_ ? ring_[index_].hdr : nullptr;
    }
    RefillCount done{*this};

    if (next && (next->dwFlags.load() & WHDR_INQUEUE)) BufferReady(next);

    MMTime t;
    if (backend_->out_get_position(handle_.load(), t) == MMSYSERR_NOERROR) {
        CountWrap(t.value);
    }

    if (more_buffers_.load() && !stop_requested_.load()) {
        if (Looping() && hdr->wh_looped) {
            const TWaveFormatEx* f = GetWaveFormat();
            int64_t start_bytes;
            {
                std::lock_guard lock(lock_);
                start_bytes = static_cast<int64_t>(bytes_played_ - hdr->wh_last_written);
            }
            loop_start_.store(start_bytes / std::max<int>(f ? f->nBlockAlign : 1, 1));
            hdr->wh_looped = 0;
            NotifyChain(&TMMDSPComponent::Looped, false);
            if (OnLooping) PostToUi([this] { Fire(OnLooping); });
        }
        for (int i = 0; i < 65000 && !(hdr->dwFlags.load() & WHDR_DONE); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        LoadBuffer(hdr);
        if (hdr->dwBytesRecorded == 0) {
            if (more_buffers_.load()) Raise(WaveOutErrorText(WaveOutText::FillingBuffer));
        } else {
            WriteBuffer(hdr);
        }
    }

    bool post_stop = false;
    {
        std::lock_guard lock(lock_);
        done.armed = false;
        --refills_;
        if (refills_ == 0 && (stop_requested_.load() || (queued_ <= 0 && pending_refills_ == 0)) &&
            !ending_.load()) {
            ending_.store(true);
            stopping_.store(true);
            post_stop = true;
        }
    }
    if (post_stop) {
        backend_->out_pause(handle_.load());
        PostToUi([this] { Stop(); });
    }
}

TMMWaveOut::RefillCount::~RefillCount() {
    if (!armed) return;
    std::lock_guard lock(self.lock_);
    --self.refills_;
}

void TMMWaveOut::Requeue() {
    if (CallBackMode() != TMMCBMode::cmThread || !(state_.load() & kStatePlaying) || !Input()) return;
    uint64_t generation;
    {
        std::lock_guard lock(lock_);
        generation = generation_;
    }
    if (!requeue_posted_.exchange(true)) thread_.Post(nullptr, generation);
}

void TMMWaveOut::RequeueNow(uint64_t generation) {
    requeue_posted_.store(false);
    {
        std::lock_guard lock(lock_);
        if (generation != generation_ || !(state_.load() & kStatePlaying) || resetting_.load() ||
            stopping_.load() || stop_requested_.load())
            return;
        ++refills_;  // a Reset or Stop waits for it as for a refill
    }
    RefillCount done{*this};
    const TWaveFormatEx* f = GetWaveFormat();
    const uint64_t block = std::max<int>(f ? f->nBlockAlign : 1, 1);
    const int64_t limit = Input() ? Input()->TakeBackLimit() : 0;
    if (limit <= 0) return;
    const WaveHandle h = handle_.load();
    TMMWaveHdr* chain = nullptr;
    uint64_t bytes = 0;
    if (backend_->out_take_unplayed(h, static_cast<uint64_t>(limit) * block, chain, bytes) != MMSYSERR_NOERROR)
        return;
    try {
        Input()->TakeBack(static_cast<int64_t>(bytes / block));
        // What was taken back is made again, however far the source had got.
        if (bytes > 0) more_buffers_.store(true);
        for (TMMWaveHdr* hdr = chain; hdr; hdr = hdr->lpNext) {
            hdr->wh_looped = 0;
            if (more_buffers_.load()) {
                LoadBuffer(hdr);
            } else {
                hdr->dwBufferLength = hdr->dwBytesRecorded = 0;
            }
            SealBuffer(hdr);
        }
    } catch (...) {
        backend_->out_put_back(h, chain);
        throw;
    }
    backend_->out_put_back(h, chain);
}

// ---------------------------------------------------------------- buffers

int TMMWaveOut::QueueRing(WaveOutCall call) {
    size_t n = static_cast<size_t>(NumBuffers());
    if (ring_.size() != n) {
        FreeBuffers();
        ring_.resize(n);
    }
    more_buffers_.store(true);
    int written = 0;
    for (size_t i = 0; i < n && more_buffers_.load(); ++i) {
        Slot& slot = ring_[i];
        if (!slot.hdr) {
            if (!AllocateSlot(slot)) Raise(WaveOutErrorText(WaveOutText::AllocHeader));
            slot.hdr->dwFlags.store(WHDR_DONE);
        }
        if (!(slot.hdr->dwFlags.load() & WHDR_PREPARED)) {
            if (MMResult r = backend_->out_prepare(handle_.load(), slot.hdr))
                Raise(WaveOutPrefix(call) + ErrorText(r));
        }
        LoadBuffer(slot.hdr);
        if (slot.hdr->dwBytesRecorded == 0) break;
        {
            std::lock_guard lock(lock_);
            ring_count_ = written + 1;
        }
        WriteBuffer(slot.hdr);
        ++written;
    }
    return written;
}


void TMMWaveOut::LoadBuffer(TMMWaveHdr* hdr) {
    hdr->dwBufferLength = static_cast<uint32_t>(EffectiveBufferSize());
    hdr->dwBytesRecorded = 0;
    hdr->wh_looping = Looping() ? -1 : 0;
    hdr->wh_loop_count = LoopCount();
    hdr->wh_loops_left = loops_left_.load();
    bool more = true;
    if (OnBufferLoad) OnBufferLoad(this, hdr, more);
    if (Input()) Input()->BufferLoad(hdr, more);
    if (hdr->dwBytesRecorded > hdr->dwBufferLength) hdr->dwBytesRecorded = hdr->dwBufferLength;
    loops_left_.store(hdr->wh_loops_left);
    more_buffers_.store(more);
}

void TMMWaveOut::SealBuffer(TMMWaveHdr* hdr) {
    if (OnBufferFilled) OnBufferFilled(this, hdr);
    hdr->wh_last_written = hdr->dwBufferLength = hdr->dwBytesRecorded;
}

void TMMWaveOut::WriteBuffer(TMMWaveHdr* hdr) {
    SealBuffer(hdr);
    {
        std::lock_guard lock(lock_);
        ++queued_;
    }
    if (MMResult r = backend_->out_write(handle_.load(), hdr)) {
        {
            std::lock_guard lock(lock_);
            --queued_;
        }
        Raise(WaveOutPrefix(WaveOutCall::Write) + ErrorText(r));
    }
}

void TMMWaveOut::FreeBuffers() {
    WaveHandle h = handle_.load();
    for (Slot& slot : ring_) {
        if (!slot.hdr) continue;
        if (h) backend_->out_unprepare(h, slot.hdr);
        ReleaseSlot(slot);
    }
    ring_.clear();
    std::lock_guard lock(lock_);
    ring_count_ = 0;
}

void TMMWaveOut::ClearQueueAndPosition() {
    std::lock_guard lock(lock_);
    queued_ = 0;
    index_ = 0;
    bytes_played_ = 0;
    ++generation_;
    pending_refills_ = 0;
    ClearWraps();
    loop_start_ = 0;
    pause_samples_ = 0;
    // A flush may have dropped the posted take-back along with the refills.
    requeue_posted_.store(false);
}

void TMMWaveOut::ClearCounters() {
    ClearQueueAndPosition();
    std::lock_guard lock(lock_);
    refills_ = 0;
}

uint64_t TMMWaveOut::DeviceSamples(WaveOutCall call) {
    MMTime t;
    MMResult r = backend_->out_get_position(handle_.load(), t);
    if (r != MMSYSERR_NOERROR) Raise(WaveOutPrefix(call) + ErrorText(r));
    if (t.wType == TimeType::Bytes) {
        const TWaveFormatEx* f = GetWaveFormat();
        return t.value / std::max<int>(f ? f->nBlockAlign : 1, 1);
    }
    return t.value;
}

void TMMWaveOut::ForceClose() {
    stopping_.store(true);
    resetting_.store(true);
    thread_.Flush();
    WaveHandle h = handle_.load();
    if (h) backend_->out_reset(h);
    WaitSteps([this] {
        std::lock_guard lock(lock_);
        return refills_ == 0;
    }, kWaitSteps);
    FreeBuffers();
    if (h) backend_->out_close(h);
    thread_.Quit();
    bool was_open = state_.load() != kStateClosed;
    state_.store(kStateClosed);
    handle_.store(0);
    if (was_open) NotifyChain(&TMMDSPComponent::Closed);
    ClearCounters();
    stop_requested_ = resetting_ = ending_ = close_requested_ = stopping_ = closing_ = false;
    pause_reset_ = false;
}

}  // namespace murrel
