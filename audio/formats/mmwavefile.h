#pragma once
// TMMWaveFile: the component that owns one TMMWave (the main window's
// `mmwavtestfile`, the wave players, the editor's documents) and passes the
// wave's notifications on as its events. The program only uses its Wave.
#include <functional>
#include <memory>

#include "audio/formats/mmwave.h"

namespace murrel {

class TMMWaveFile {
public:
    TMMWaveFile();
    // For derived components that own a derived wave (TMMEnhancedWaveFile).
    explicit TMMWaveFile(std::unique_ptr<TMMWave> wave);
    virtual ~TMMWaveFile();
    TMMWaveFile(const TMMWaveFile&) = delete;
    TMMWaveFile& operator=(const TMMWaveFile&) = delete;

    TMMWave& Wave() { return *wave_; }
    const TMMWave& Wave() const { return *wave_; }
    // Copies `source` into the owned wave with Assign.
    void SetWave(const TMMWave& source) { wave_->Assign(source); }

    // Fired from the wave: OnChange before a change, OnChanged after it,
    // OnOpen/OnClose around the open state. OnLooping is kept for callers that
    // loop playback; the wave never fires it.
    std::function<void(TMMWaveFile&)> OnOpen, OnClose, OnChange, OnChanged, OnLooping;
    bool Enabled = true;
    bool OverwriteExisting = true;

protected:
    // Called for every notification of the wave before the events fire.
    virtual void WaveEvent(ObjectEvent) {}

private:
    std::unique_ptr<TMMWave> wave_;
    int observer_id_ = 0;
};

}  // namespace murrel
