#pragma once
// TMMEnhancedWaveFile: the document component. It owns a TMMEnhancedWave and
// keeps it in step with an envelope: every change of the envelope is copied
// into the wave's source_fades, and every change of the wave sets the
// envelope's range to the wave's data (X 0..frames, Y 0..32768, base 16384)
// and copies the points again.
#include "audio/formats/mmwavefile.h"
#include "editor/mmenhancedwave.h"
#include "editor/mmenvelope.h"

namespace murrel {

class TMMEnhancedWaveFile : public TMMWaveFile {
public:
    TMMEnhancedWaveFile();
    ~TMMEnhancedWaveFile() override;

    TMMEnhancedWave& Wave() { return static_cast<TMMEnhancedWave&>(TMMWaveFile::Wave()); }

    // Referenced, not owned; nullptr detaches. The envelope's destruction
    // detaches it too.
    void SetEnvelope(TMMEnvelope* envelope);
    TMMEnvelope* Envelope() const { return envelope_; }

protected:
    void WaveEvent(ObjectEvent event) override;

private:
    void Detach();
    void CopyPoints();
    void FitEnvelope();

    TMMEnvelope* envelope_ = nullptr;
    int observer_id_ = 0;
    int free_id_ = 0;
    bool fitting_ = false;
};

}  // namespace murrel
