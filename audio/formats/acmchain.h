#pragma once
// The conversion chain: presents compressed or unusual WAV sample data as PCM,
// block by block, through one or more stages. A codec stage (libsndfile)
// decodes the source into 16-bit PCM at its own rate and channel count; a PCM
// stage (the block converter) changes bits, channels or rate of plain PCM.
// Stages keep the bytes they could not convert yet (part of a codec block or
// of a frame), so consecutive blocks of one stream are converted seamlessly.
//
// A chain belongs to one reader at a time; nothing here is thread-safe.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/formats/acmcodec.h"
#include "audio/formats/waveformat.h"

namespace murrel {

struct AcmStage {
    TWaveFormatEx src_format;
    TWaveFormatEx dst_format;
    std::unique_ptr<AcmCodecStream> codec;  // codec stages; PCM stages have none
    const uint8_t* src = nullptr;           // chain input or the previous stage's dst
    int32_t src_size = 0;
    std::vector<uint8_t> dst;
    int32_t dst_size = 0;
    int32_t unit = 1;                       // bytes converted as a whole (block or frame)
    std::vector<uint8_t> leftover;          // source bytes kept from the previous call
    std::vector<uint8_t> work;              // leftover followed by the new input
};

struct AcmChain {
    uint8_t* input = nullptr;        // where callers put source bytes
    std::vector<uint8_t> own_input;  // backing store when the caller gave no buffer
    bool owns_input = false;
    int32_t input_capacity = 0;      // most source bytes one call takes (whole blocks)
    std::vector<AcmStage> stages;
    int32_t out_bytes = 0;           // output bytes of the last conversion
    int32_t read_offset = 0;         // reader's offset into the output; 0 after a conversion
    bool pending = false;            // some stage keeps source bytes for the next call
    bool ended = false;              // input was given but nothing came out

    // The last stage's output, or the input when the chain has no stage.
    const uint8_t* output() const {
        return stages.empty() ? input : stages.back().dst.data();
    }
};

// True when tag, bits, channels or rate differ; false when either is missing.
bool FormatsDiffer(const TWaveFormatEx* a, const TWaveFormatEx* b);

// The PCM format a source is presented in: 8/16-bit PCM as it is; anything a
// codec here reads as 16-bit PCM at the source's rate and channels; none when
// nothing can read it.
std::optional<TWaveFormatEx> SuggestPCM(const TWaveFormatEx& source);

// Why a file of format `source` cannot be read (presented as PCM and played
// or converted), as a short text for a message; "" when it can. Refused are
// formats no codec here reads, channel counts other than 1 and 2, and
// sampling rates of 0 or above 768 kHz.
std::string UnreadableReason(const TWaveFormatEx& source);

// Frames a codec block cut short after `bytes` bytes still holds whole (what
// its header and the complete sample groups after it describe): IMA and MS
// ADPCM, GSM 6.10; 0 for other formats.
int32_t PartialBlockFrames(const TWaveFormatEx& format, int32_t bytes, int32_t frames_per_block);

// Whether OpenChain would build a chain from `source` to `dest`. `realtime`
// is accepted for the callers' sake; no codec here distinguishes it.
bool CanConvert(const TWaveFormatEx& source, const TWaveFormatEx& dest, bool realtime);

// Builds a chain taking at most `block_size` source bytes per call (rounded
// down to whole source blocks). `input` is the caller's buffer of at least
// that size; with none the chain allocates its own. None when no chain can be
// built.
std::unique_ptr<AcmChain> OpenChain(const TWaveFormatEx& source, const TWaveFormatEx& dest,
                                    uint8_t* input, bool realtime, int32_t block_size);

// Converts `n` bytes at chain.input (limited to input_capacity) and returns
// the output bytes, or -1 when a stage fails. ChainConvertEnd says the data
// ends here: a codec block cut short is decoded for the frames it holds
// whole; other bytes that do not make a whole unit are dropped.
int32_t ChainConvert(AcmChain& chain, int32_t n);
int32_t ChainConvertEnd(AcmChain& chain, int32_t n);

// Drops kept bytes and restarts every stage (after a seek).
void ChainReset(AcmChain& chain);

// Frees the chain, its streams and the buffers it owns.
void CloseChain(std::unique_ptr<AcmChain>& chain);

}  // namespace murrel
