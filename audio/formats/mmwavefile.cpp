#include "audio/formats/mmwavefile.h"

namespace murrel {

TMMWaveFile::TMMWaveFile() : TMMWaveFile(std::make_unique<TMMWave>()) {}

TMMWaveFile::TMMWaveFile(std::unique_ptr<TMMWave> wave) : wave_(std::move(wave)) {
    observer_id_ = wave_->AddObserver([this](ObjectEvent e) {
        WaveEvent(e);
        switch (e) {
            case ObjectEvent::Changing: if (OnChange) OnChange(*this); break;
            case ObjectEvent::Changed: if (OnChanged) OnChanged(*this); break;
            case ObjectEvent::Opened: if (OnOpen) OnOpen(*this); break;
            case ObjectEvent::Closed: if (OnClose) OnClose(*this); break;
        }
    });
}

TMMWaveFile::~TMMWaveFile() { wave_->RemoveObserver(observer_id_); }

}  // namespace murrel
