#include "audio/devices/mmdsp_sound.h"

#include <algorithm>
#include <chrono>
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
    ui_->post([alive = std::weak_ptr<bool>(alive_), fn = std::move(fn)] {
        if (alive.lock()) fn();
    });
}

bool TMMCustomSoundComponent::WaitSteps(const std::function<bool()>& done, int steps) {
    for (int i = 0; i < steps; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

}  // namespace murrel
