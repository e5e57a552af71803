#include "audio/devices/mmdsp.h"

#include <algorithm>

namespace murrel {

TMMDSPComponent::~TMMDSPComponent() {
    SetInput(nullptr);
    SetOutput(nullptr);
}

void TMMDSPComponent::SetInput(TMMDSPComponent* input) {
    if (input == input_) return;
    if (input_) {
        TMMDSPComponent* old = input_;
        input_ = nullptr;
        old->SetOutput(nullptr);
    }
    input_ = input;
    if (input_) input_->SetOutput(this);
}

void TMMDSPComponent::SetOutput(TMMDSPComponent* output) {
    if (output == output_) return;
    if (output_) {
        TMMDSPComponent* old = output_;
        output_ = nullptr;
        old->SetInput(nullptr);
    }
    output_ = output;
    if (output_) output_->SetInput(this);
}

void TMMDSPComponent::SetWaveFormat(const TWaveFormatEx* format) {
    if (started_) Stopped();
    if (format) format_ = *format;
    else format_.reset();
    if (output_) output_->SetWaveFormat(format);
}

void TMMDSPComponent::SetBufferSize(int bytes) { buffer_size_ = bytes; }

int TMMDSPComponent::ComputeEffectiveSize(int buffer_size) const {
    int block = format_ ? std::max<int>(format_->nBlockAlign, 1) : 1;
    return std::max(block, buffer_size / block * block);
}

void TMMDSPComponent::Opened() { opened_ = true; }
void TMMDSPComponent::Closed() { opened_ = started_ = paused_ = false; }
void TMMDSPComponent::Started() { started_ = true; }
void TMMDSPComponent::Paused() { paused_ = true; }
void TMMDSPComponent::Restarted() { paused_ = false; }
void TMMDSPComponent::Stopped() { started_ = paused_ = false; }
void TMMDSPComponent::WasReset() {}
void TMMDSPComponent::Looped() {}

void TMMDSPComponent::BufferReady(TMMWaveHdr* hdr) {
    if (OnBufferReady) OnBufferReady(this, hdr);
    if (output_) output_->BufferReady(hdr);
}

void TMMDSPComponent::BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) {
    if (input_) input_->BufferLoad(hdr, more_buffers);
    if (OnBufferLoad) OnBufferLoad(this, hdr, more_buffers);
}

void TMMDSPComponent::Requeue() {
    if (output_) output_->Requeue();
}

int64_t TMMDSPComponent::TakeBackLimit() { return input_ ? input_->TakeBackLimit() : 0; }

void TMMDSPComponent::TakeBack(int64_t frames) {
    if (input_) input_->TakeBack(frames);
}

}  // namespace murrel
