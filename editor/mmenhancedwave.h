#pragma once
// TMMEnhancedWave: the edit document's wave. On top of the PCM presentation of
// TMMAcmWave it keeps the document's gain envelope (source_fades, in file
// frames), turns it into the play stream's fade_list when opened, and applies
// that gain while reading.
//
// Units: start, end and position stay in file frames; the play list, byte
// counts and fade_list are in the effective (output) format. Gain 16384 is
// unity. One thread at a time, like TMMWave.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/formats/acmwave.h"
#include "editor/mmfadelist.h"
#include "editor/mmmarkerlist.h"

namespace murrel {

class TMMEnhancedWave : public TMMAcmWave {
public:
    static constexpr int32_t kUnityGain = 16384;

    TMMEnhancedWave();
    ~TMMEnhancedWave() override;

    // Also takes over the other enhanced wave's marker list reference.
    void Assign(const TMMWave& source) override;

    TMMFadeList& SourceFades() { return source_fades_; }
    const TMMFadeList& SourceFades() const { return source_fades_; }
    const TMMFadeList& FadeList() const { return fade_list_; }
    // Rebuilds fade_list from source_fades and the play list (also done by
    // OpenFile) and puts its cursor at the current position.
    void RebuildFadeList();

    // The document's cut list: referenced, never owned, and given to the wave
    // as its skip list. Kept writable here for whoever restores the document
    // (the region file).
    void SetCutList(TMMCutList* cuts) {
        cut_list_ = cuts;
        SetSkipList(cuts);
    }
    TMMCutList* CutList() const { return cut_list_; }

    // Referenced, never owned.
    void SetMarkerList(TMMMarkerList* list) { marker_list_ = list; }
    TMMMarkerList* MarkerList() const { return marker_list_; }

    // Set when a gain pushed a sample past the sample range since the last
    // ClearClip.
    bool Clipped() const { return clipped_; }
    void ClearClip() { clipped_ = false; }

    // Also resets source_fades: flat unity over the file, or empty.
    void SetFileName(const std::string& path) override;
    // Also rebuilds fade_list.
    void OpenFile() override;

protected:
    void ProcessReadData(void* buffer, int64_t n) override;
    void PositionChanged() override;
    void OnFileAttached() override;

private:
    void ResetSourceFades();
    void SyncCursor();
    bool ApplyGain(uint8_t* data, int64_t n);

    TMMFadeList source_fades_;
    TMMFadeList fade_list_;
    TMMMarkerList* marker_list_ = nullptr;
    TMMCutList* cut_list_ = nullptr;
    bool clipped_ = false;
};

}  // namespace murrel
