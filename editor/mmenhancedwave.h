#pragma once
// TMMEnhancedWave: the edit document's wave. On top of TMMWave it keeps the
// document's gain envelope (source_fades, in file frames), turns it into the
// play stream's fade_list when opened, applies that gain while reading, and
// presents any readable WAV file in a PCM output format through the
// conversion chain.
//
// Units: start, end and position stay in file frames; the play list, byte
// counts and fade_list are in the effective (output) format. Gain 16384 is
// unity. One thread at a time, like TMMWave.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/acmchain.h"
#include "audio/mmwave.h"
#include "editor/mmfadelist.h"
#include "editor/mmmarkerlist.h"

namespace murrel {

class TMMEnhancedWave : public TMMWave {
public:
    static constexpr int32_t kUnityGain = 16384;
    static constexpr int32_t kSourceBlock = 4096;

    TMMEnhancedWave();
    ~TMMEnhancedWave() override;

    // Also takes over the other enhanced wave's marker list reference.
    void Assign(const TMMWave& source) override;

    // A PCM format is used as given; anything else, or nullptr, selects the
    // PCM format the codecs suggest for the attached file (the default).
    void SetOutputFormat(const TWaveFormatEx* format);
    // The format ReadData delivers: the output format, else the file's own.
    const TWaveFormatEx* OutputFormat() const { return EffectiveFormat(); }
    // PCM with the output format's bits and rate and the file's channels.
    const TWaveFormatEx* DisplayFormat() const;

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
    void OpenFile() override;
    void CloseFile() override;

    // File frames <-> output frames (round half to even).
    int64_t FileToOutputFrames(int64_t frames) const { return ToStreamFrames(frames); }
    int64_t OutputToFileFrames(int64_t frames) const { return FromStreamFrames(frames); }

protected:
    const TWaveFormatEx* EffectiveFormat() const override;
    int64_t ToStreamFrames(int64_t file_frames) const override;
    int64_t FromStreamFrames(int64_t stream_frames) const override;
    int64_t ReadRaw(void* buffer, int64_t n) override;
    bool SeekRaw(int64_t stream_byte) override;
    void ProcessReadData(void* buffer, int64_t n) override;
    void PositionChanged() override;
    void OnFileAttached() override;

private:
    void ChooseOutputFormat();
    void ResetSourceFades();
    void SyncCursor();
    bool ApplyGain(uint8_t* data, int64_t n);
    int64_t ReadConverted(uint8_t* out, int64_t n);
    bool RefillConverter();

    TMMFadeList source_fades_;
    TMMFadeList fade_list_;
    TMMMarkerList* marker_list_ = nullptr;
    TMMCutList* cut_list_ = nullptr;

    bool explicit_output_ = false;
    std::optional<TWaveFormatEx> output_format_;
    mutable std::optional<TWaveFormatEx> display_format_;

    // Converter from the file's format to the output format, while open.
    std::vector<uint8_t> source_buffer_;
    std::unique_ptr<AcmChain> chain_;
    bool converting_ = false;     // the formats differ (chain or not)
    bool convert_ended_ = false;  // the file's data has been fed completely
    int64_t skip_bytes_ = 0;      // output to drop after a seek inside a block
    int32_t frames_per_unit_ = 1; // file frames per source unit the chain takes
    int32_t unit_bytes_ = 1;

    bool clipped_ = false;
};

}  // namespace murrel
