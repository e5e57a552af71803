#include "audio/devices/mmdsp_connector.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/devices/device_types.h"

namespace murrel {

TMMConnector::TMMConnector(UiDispatcher* ui) : ui_(ui ? ui : &ui_dispatcher()) {}

TMMConnector::~TMMConnector() = default;

void TMMConnector::AddDisplay(TMMDisplay* display) {
    if (std::find(displays_.begin(), displays_.end(), display) == displays_.end())
        displays_.push_back(display);
}

void TMMConnector::RemoveDisplay(TMMDisplay* display) {
    displays_.erase(std::remove(displays_.begin(), displays_.end(), display), displays_.end());
}

void TMMConnector::Opened() {
    TMMDSPComponent::Opened();
    std::lock_guard lock(mutex_);
    pending_.assign(static_cast<size_t>(std::max(EffectiveBufferSize(), BufferSize())), 0);
    pending_bytes_ = 0;
    if (const TWaveFormatEx* f = GetWaveFormat()) pending_format_ = *f;
}

void TMMConnector::BufferReady(TMMWaveHdr* hdr) {
    if (synchronize_) Keep(hdr);
    TMMDSPComponent::BufferReady(hdr);
}

void TMMConnector::BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) {
    TMMDSPComponent::BufferLoad(hdr, more_buffers);
    Keep(hdr);
}

void TMMConnector::Keep(const TMMWaveHdr* hdr) {
    if (displays_.empty()) return;
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        const TWaveFormatEx& f = pending_format_;
        bool is_float = f.wFormatTag == kWaveFormatIeeeFloat && f.wBitsPerSample == 32;
        if (f.wFormatTag != WAVE_FORMAT_PCM && !(is_float && auto_convert_)) return;
        size_t n = std::min<size_t>(hdr->dwBytesRecorded, pending_.size());
        if (is_float) {
            size_t samples = n / 4;
            for (size_t i = 0; i < samples; ++i) {
                float v;
                std::memcpy(&v, hdr->lpData + 4 * i, 4);
                auto s = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
                std::memcpy(pending_.data() + 2 * i, &s, 2);
            }
            n = samples * 2;
        } else {
            std::memcpy(pending_.data(), hdr->lpData, n);
        }
        pending_bytes_ = n;
        if (!posted_) post = posted_ = true;
    }
    if (post) {
        ui_->post([this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.lock()) HandOver();
        });
    }
}

void TMMConnector::HandOver() {
    TWaveFormatEx format;
    {
        std::lock_guard lock(mutex_);
        posted_ = false;
        shown_.assign(pending_.begin(), pending_.begin() + static_cast<long>(pending_bytes_));
        format = pending_format_;
    }
    if (format.wFormatTag != WAVE_FORMAT_PCM) {  // converted on the way
        uint16_t channels = format.nChannels;
        format = MakePCMFormat(16, channels, format.nSamplesPerSec);
    }
    for (TMMDisplay* d : displays_) d->ShowData(format, shown_.data(), shown_.size());
}

}  // namespace murrel
