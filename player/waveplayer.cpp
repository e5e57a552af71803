#include "player/waveplayer.h"

namespace murrel {

namespace {
std::unique_ptr<TMMWave> make_acm(TMMAcmWave*& out) {
    auto w = std::make_unique<TMMAcmWave>();
    out = w.get();
    return w;
}
}  // namespace

TMMWavePlayer::TMMWavePlayer(AudioBackend* backend, UiDispatcher* ui)
    : wave_file_(make_acm(acm_)), device_(backend, ui) {
    Wave().SetTimeFormat(TMMTimeFormats::tfMillisecond);
    device_.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    device_.SetCallBackMode(TMMCBMode::cmThread);
    device_.SetBufferSize(4096);
    device_.SetNumBuffers(kStretchQueueBuffers);
    device_.SetDeviceID(MapperId);
    if (device_.DeviceID() == InvalidId) device_.SetDeviceID(0);
    device_.OnStop = [this](TMMDSPComponent*) {
        if (device_.IsOpen()) device_.Close();
        if (!ResetPosition && Wave().Opened()) Wave().SetPosition(stop_position_);
        if (OnStop) OnStop(this);
    };
    Chain();
}

TMMWavePlayer::~TMMWavePlayer() {
    device_.OnStop = nullptr;
    if (device_.IsOpen()) device_.Close();
    SetOutput(nullptr);
    stretch_.SetOutput(nullptr);
    device_.SetInput(nullptr);
}

void TMMWavePlayer::Chain() {
    SetOutput(&stretch_);
    if (tap_) {
        stretch_.SetOutput(tap_);
        tap_->SetOutput(&device_);
    } else {
        stretch_.SetOutput(&device_);
    }
}

void TMMWavePlayer::SetTap(TMMDSPComponent* tap) {
    if (tap_) tap_->SetOutput(nullptr);
    stretch_.SetOutput(nullptr);
    tap_ = tap;
    Chain();
}

void TMMWavePlayer::Play() {
    if (device_.IsPlaying() || device_.IsDevicePaused()) return;
    if (Wave().FileName().empty() || Wave().IsEmpty()) return;
    if (!Wave().Opened()) Wave().OpenFile();
    if (Wave().Position() >= Wave().DataSize()) Wave().SetPosition(0);
    start_position_ = Wave().Position();
    // The device plays what the wave presents: PCM straight from the file or
    // through the converters.
    const TWaveFormatEx* fmt = auto_convert_ ? Acm().OutputFormat() : Wave().FileFormat();
    SetWaveFormat(fmt);
    device_.Start();
}

void TMMWavePlayer::Pause() {
    if (device_.IsDevicePaused() || Wave().FileName().empty() || Wave().IsEmpty()) return;
    device_.Pause();
}

void TMMWavePlayer::Restart() { device_.Restart(); }

void TMMWavePlayer::Stop() {
    stop_position_ = Position();
    device_.Stop();
    device_.Close();
}

int64_t TMMWavePlayer::Position() {
    // The device counts what it played; at another speed that is not file time.
    if (device_.IsPlaying() || device_.IsDevicePaused())
        return stretch_.SourceMs(device_.GetPosition()) + start_position_;
    return Wave().Position();
}

void TMMWavePlayer::SetPosition(int64_t ms) {
    if (!device_.IsOpen()) {
        Wave().SetPosition(ms);
        return;
    }
    bool was_paused = device_.IsDevicePaused();
    device_.Pause();
    // The device's thread may still be reading the wave for a refill; the
    // reset moves the wave once no refill runs and before it loads the ring
    // again (WasReset).
    pending_position_ = ms;
    device_.Reset();
    if (pending_position_) WasReset();  // nothing was playing: no reset came
    if (!was_paused) device_.Restart();
}

void TMMWavePlayer::WasReset() {
    if (!pending_position_) return;
    Wave().SetPosition(*pending_position_);
    start_position_ = Wave().Position();
    pending_position_.reset();
}

void TMMWavePlayer::BufferLoad(TMMWaveHdr* hdr, bool& more_buffers) {
    int64_t n = Wave().ReadData(hdr->lpData, hdr->dwBufferLength);
    if (n <= 0) {
        hdr->dwBytesRecorded = 0;
        more_buffers = false;
    } else {
        hdr->dwBytesRecorded = static_cast<uint32_t>(n);
        more_buffers = Wave().BytesLeft() > 0;
    }
    if (OnBufferLoad) OnBufferLoad(this, hdr, more_buffers);
}

}  // namespace murrel
