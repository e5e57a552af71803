#pragma once
// One decoding stage of the conversion chain: turns the sample data of a
// compressed or unusual WAV format (IMA ADPCM, MS ADPCM, A-law, mu-law,
// GSM 6.10, 24/32-bit PCM, float, extensible) into 16-bit PCM with the
// source's own rate and channel count. libsndfile does the decoding; it is
// shown a made-up WAV file whose header carries the source's "fmt " chunk and
// whose data is whatever the caller has fed so far.
//
// Only whole source blocks are converted; the caller keeps the rest for the
// next call. Not thread-safe: one reader at a time.
#include <cstdint>
#include <memory>
#include <vector>

namespace murrel {

// The fields of a "fmt " chunk this stage needs, extra bytes included.
struct AcmSourceFormat {
    uint16_t format_tag = 0;
    uint16_t channels = 0;
    uint32_t samples_per_sec = 0;
    uint32_t avg_bytes_per_sec = 0;
    uint16_t block_align = 0;
    uint16_t bits_per_sample = 0;
    std::vector<uint8_t> extra;
};

class AcmCodecStream {
public:
    // Creates a stage for `source`, or none when no codec here reads it. The
    // codec is tried on one silent block, so a format the library refuses is
    // found out now rather than at the first conversion.
    static std::unique_ptr<AcmCodecStream> Open(const AcmSourceFormat& source);

    // Whether a stage for `source` could be opened (same test as Open).
    static bool CanDecode(const AcmSourceFormat& source);

    ~AcmCodecStream();
    AcmCodecStream(const AcmCodecStream&) = delete;
    AcmCodecStream& operator=(const AcmCodecStream&) = delete;

    // Bytes of one source block and the frames it decodes to.
    int32_t block_bytes() const { return block_bytes_; }
    int32_t frames_per_block() const { return frames_per_block_; }
    int32_t channels() const { return channels_; }

    // 16-bit output bytes that `src_bytes` of source can produce at most.
    int32_t DestinationSize(int32_t src_bytes) const;

    // Decodes the whole blocks at the front of `src` (n bytes) into `dst`,
    // which must hold DestinationSize(n) bytes. Sets `src_used` to the bytes
    // consumed (a multiple of block_bytes()) and returns the bytes written, or
    // -1 when the codec fails.
    int32_t Convert(const uint8_t* src, int32_t n, uint8_t* dst, int32_t& src_used);

    // Forgets everything fed so far; the next Convert starts a fresh stream.
    void Reset();

    struct Impl;

private:
    AcmCodecStream() = default;
    std::unique_ptr<Impl> impl_;
    int32_t block_bytes_ = 0;
    int32_t frames_per_block_ = 0;
    int32_t channels_ = 0;
};

}  // namespace murrel
