#include "editor/mmenhancedwavefile.h"

namespace murrel {

TMMEnhancedWaveFile::TMMEnhancedWaveFile()
    : TMMWaveFile(std::make_unique<TMMEnhancedWave>()) {}

TMMEnhancedWaveFile::~TMMEnhancedWaveFile() { Detach(); }

void TMMEnhancedWaveFile::SetEnvelope(TMMEnvelope* envelope) {
    if (envelope == envelope_) return;
    Detach();
    envelope_ = envelope;
    if (!envelope_) return;
    observer_id_ = envelope_->AddObserver([this](ObjectEvent e) {
        if (e == ObjectEvent::Changed) CopyPoints();
    });
    free_id_ = envelope_->AddFreeNotification([this] {
        envelope_ = nullptr;
        observer_id_ = free_id_ = 0;
    });
    FitEnvelope();
}

void TMMEnhancedWaveFile::Detach() {
    if (!envelope_) return;
    envelope_->RemoveObserver(observer_id_);
    envelope_->RemoveFreeNotification(free_id_);
    envelope_ = nullptr;
    observer_id_ = free_id_ = 0;
}

void TMMEnhancedWaveFile::WaveEvent(ObjectEvent event) {
    if (event == ObjectEvent::Changed) FitEnvelope();
}

void TMMEnhancedWaveFile::FitEnvelope() {
    if (!envelope_ || fitting_) return;
    fitting_ = true;
    envelope_->BeginUpdate();
    envelope_->SetBaseY(TMMEnhancedWave::kUnityGain);
    envelope_->SetRange(0, Wave().DataSize(), 0, 2 * TMMEnhancedWave::kUnityGain);
    envelope_->EndUpdate();  // the observer copies the points
    fitting_ = false;
}

void TMMEnhancedWaveFile::CopyPoints() {
    if (!envelope_) return;
    TMMFadeList& fades = Wave().SourceFades();
    fades.BeginUpdate();
    fades.Clear();
    for (const TMMEnvelopePoint& p : envelope_->Points()) fades.AddPoint(p.x, p.y);
    fades.EndUpdate();
}

}  // namespace murrel
