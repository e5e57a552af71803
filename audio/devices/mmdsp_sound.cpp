#include "audio/devices/mmdsp_sound.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "audio/devices/device_errors.h"
#include "shell/dialogs.h"

namespace murrel {

TMMCustomSoundComponent::TMMCustomSoundComponent(AudioBackend* backend, UiDispatcher* ui)
    : backend_(backend ? backend : &audio_backend()), ui_(ui ? ui : &ui_dispatcher()) {}

TMMCustomSoundComponent::~TMMCustomSoundComponent() = default;

void TMMCustomSoundComponent::SetBufferSize(int bytes) {
    CheckClosed();
    TMMDSPComponent::SetBufferSize(std::max(bytes, 32));
}

void TMMCustomSoundComponent::SetNumBuffers(int n) {
    CheckClosed();
    if (n < 2) return;
    num_buffers_ = std::min(n, 500);
}

void TMMCustomSoundComponent::SetDeviceID(int id) {
    CheckClosed();
    device_id_ = id;
    ReadDeviceCaps();
}

void TMMCustomSoundComponent::ReadDeviceCaps() {
    WaveCaps caps;
    if (device_id_ != InvalidId && ReadCaps(device_id_, caps) == MMSYSERR_NOERROR) {
        product_name_ = caps.product_name;
        return;
    }
    product_name_ = NoDeviceName();
    if (device_id_ != MapperId) device_id_ = InvalidId;
}

void TMMCustomSoundComponent::SetCallBackMode(TMMCBMode mode) {
    CheckClosed();
    if (mode == TMMCBMode::cmCallback && !backend_->callbacks_allowed()) {
        dialogs().message_box({ComponentName(), kCallbacksMessage, MessageIcon::Information,
                               MessageButtons::Ok, false});
        return;
    }
    cb_mode_ = mode;
}

void TMMCustomSoundComponent::CheckClosed() {
    if (IsOpen()) ThrowPropertyWhileOpen();
}

void TMMCustomSoundComponent::NotifyChain(void (TMMDSPComponent::*fn)(), bool set_size) {
    int size = EffectiveBufferSize();
    (this->*fn)();
    for (TMMDSPComponent* c = Input(); c && !c->IsSoundComponent(); c = c->Input()) {
        if (set_size) c->SetEffectiveBufferSize(size);
        (c->*fn)();
    }
    for (TMMDSPComponent* c = Output(); c && !c->IsSoundComponent(); c = c->Output()) {
        if (set_size) c->SetEffectiveBufferSize(size);
        (c->*fn)();
    }
}

void TMMCustomSoundComponent::PostToUi(std::function<void()> fn) {
    ui_->post([this, alive = std::weak_ptr<bool>(alive_), fn = std::move(fn)] {
        if (!alive.lock()) return;
        owner_thread_.check_held("work a sound device posted to the user interface");
        fn();
    });
}

bool TMMCustomSoundComponent::WaitSteps(const std::function<bool()>& done, int steps) {
    for (int i = 0; i < steps; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

void TMMCustomSoundComponent::ShutDown() {
    destroying_.store(true);
    try {
        Close();
    } catch (const std::exception&) {
        // Nobody is left to tell; the forced close below releases the device.
    }
    if (IsOpen() || handle_.load()) ForceClose();
    thread_.Quit();
}

void TMMCustomSoundComponent::PostFailure(const std::string& text) {
    stopping_.store(true);
    PostToUi([this, text] {
        Fire(OnError);
        ForceClose();
        show_error(text);
    });
}

bool TMMCustomSoundComponent::AllocateSlot(Slot& slot) {
    constexpr size_t kHeaderBytes = (sizeof(TMMWaveHdr) + 63) / 64 * 64;
    size_t data = static_cast<size_t>(EffectiveBufferSize());
    size_t total = (kHeaderBytes + data + 63) / 64 * 64;
    void* memory = std::aligned_alloc(64, total);
    if (!memory) return false;
    slot.memory = std::unique_ptr<uint8_t, void (*)(void*)>(static_cast<uint8_t*>(memory), std::free);
    slot.hdr = new (memory) TMMWaveHdr;
    slot.hdr->lpData = reinterpret_cast<char*>(slot.memory.get() + kHeaderBytes);
    slot.hdr->dwBufferLength = static_cast<uint32_t>(data);
    return true;
}

void TMMCustomSoundComponent::ReleaseSlot(Slot& slot) {
    if (!slot.hdr) return;
    slot.hdr->~TMMWaveHdr();
    slot.hdr = nullptr;
    slot.memory.reset();
}

void TMMCustomSoundComponent::CountWrap(uint32_t device_pos) {
    uint32_t last = last_device_pos_.load();
    if (last > device_pos && last - device_pos > 0xFFFE) wraps_.fetch_add(1);
    last_device_pos_.store(device_pos);
}

void TMMCustomSoundComponent::ClearWraps() {
    wraps_.store(0);
    last_device_pos_.store(0);
}

}  // namespace murrel
