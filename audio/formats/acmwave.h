#pragma once
// TMMAcmWave: a TMMWave that presents any readable WAV file as PCM. Its
// output format is a PCM format given by the caller or, by default, the one
// the conversion chain suggests for the file (the file's own for 8/16-bit
// PCM, 16-bit PCM at the file's rate and channels for ADPCM, A-law, mu-law,
// GSM 6.10, wider PCM and float). ReadData delivers the output format; a
// file no codec reads delivers nothing.
//
// Units: start, end and position stay in file frames; the play list and all
// byte counts are in the output format. One thread at a time, like TMMWave.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/formats/acmchain.h"
#include "audio/formats/mmwave.h"

namespace murrel {

class TMMAcmWave : public TMMWave {
public:
    // Source block the converter is fed with, unless a codec block is larger.
    static constexpr int32_t kSourceBlock = 4096;

    TMMAcmWave();
    ~TMMAcmWave() override;

    void SetFileName(const std::string& path) override;

    // A PCM format is used as given; anything else, or nullptr, selects the
    // PCM format the codecs suggest for the attached file (the default).
    // Reopens the file when it is open.
    void SetOutputFormat(const TWaveFormatEx* format);
    // The format ReadData delivers: the output format, else the file's own.
    const TWaveFormatEx* OutputFormat() const { return EffectiveFormat(); }
    // PCM with the output format's bits and rate and the file's channels.
    const TWaveFormatEx* DisplayFormat() const;

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
    void OnFileAttached() override;

private:
    void ChooseOutputFormat();
    int64_t ReadConverted(uint8_t* out, int64_t n);
    bool RefillConverter();

    bool explicit_output_ = false;
    std::optional<TWaveFormatEx> output_format_;
    mutable std::optional<TWaveFormatEx> display_format_;

    // Converter from the file's format to the output format, while open.
    std::vector<uint8_t> source_buffer_;
    std::unique_ptr<AcmChain> chain_;
    bool converting_ = false;      // reads go through the converter (or its absence)
    bool convert_ended_ = false;   // the file's data has been fed completely
    int64_t skip_bytes_ = 0;       // output to drop after a seek inside a block
    int32_t frames_per_unit_ = 1;  // file frames per source unit the chain takes
    int32_t unit_bytes_ = 1;
};

}  // namespace murrel
