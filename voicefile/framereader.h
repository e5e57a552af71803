#pragma once
// Finds MPEG audio Layer III frames in a byte stream and leaves each one in the
// input ring the decoder library reads. One reader serves one stream at a time:
// the program's decoding and its voice-file playback share the process-wide
// frame_reader() and never overlap. Single-threaded; allocates nothing while
// reading.
#include <atomic>
#include <cstdint>

#include "voicefile/bytesource.h"

namespace murrel {

inline constexpr int kRingSize = 4096;
inline constexpr int kPcmOutSize = 2304;     // channel 0 at 0..1151, channel 1 at 1152..2303
inline constexpr int kPcmChannelOffset = 1152;
inline constexpr int kFillSize = 512;        // bytes a ring fill asks for

struct FrameReaderState {
    uint16_t id = 0;                  // 1 = MPEG-1, 0 = MPEG-2 or 2.5
    uint16_t layer = 0;               // 4 - the header's layer field
    uint8_t crc_present = 0;
    uint16_t bitrate_index = 0;
    uint16_t sampling_frequency = 0;  // 2-bit index of the header
    uint16_t padding = 0;             // as found by the look-ahead, not the header's bit
    uint16_t private_bit = 0;
    uint16_t mode = 0;                // 3 = single channel
    uint16_t mode_extension = 0;
    uint16_t copy_status = 0;
    uint16_t original = 0;
    uint16_t emphasis = 0;
    uint16_t rate_index = 0;          // 0-8 into 44.1, 48, 32, 22.05, 24, 16, 11.025, 12, 8 kHz
    uint32_t bit_count = 0;           // bits consumed since the reset (wraps; used modulo 8)
    int32_t read_index = -1;          // ring entry of the current byte
    uint16_t bits_left = 0;           // unread bits of the current byte
    uint16_t frame_start = 0;         // ring entry before the frame's first header byte
    uint32_t last_fill = 0;           // the last fill hit the end of the data
    uint32_t end_of_stream = 0;       // more bytes were needed and none were left
    int16_t frame_length = 0;         // bytes of the frame after its 4-byte header
    uint16_t header_error = 0;
    uint16_t sync_word = 0;
    uint16_t ring[kRingSize] = {};    // one stream byte in the low 8 bits of each entry
    int16_t pcm_out[kPcmOutSize] = {};
    uint16_t write_index = 0;         // next entry a fill writes; survives a reset
    uint32_t byte_count = 0;
};

class FrameReader {
public:
    FrameReaderState state;
    // When set, the search for a frame looks at it every kCancelCheckBytes
    // scanned and ends the stream when it is true (cancelled() tells), so that
    // a long run of bytes without a frame never holds up a cancel.
    const std::atomic<bool>* cancel = nullptr;
    static constexpr uint32_t kCancelCheckBytes = 65536;
    bool cancelled() const { return cancelled_; }

    // Before a new stream: clears the flags, the bit position and the ring. The
    // fill position is kept, so the new stream's bytes begin where the last
    // one's stopped and the entries before them read as zeros.
    void reset();

    int fill_ring(ByteSource& source);
    int read_bit(ByteSource& source);
    uint32_t read_bits(int n, ByteSource& source);
    void parse_header(ByteSource& source);
    void detect_padding(ByteSource& source);
    // Afterwards either end_of_stream is set or the header fields, frame_start
    // and frame_length describe a frame wholly in the ring and the reader stands
    // at the byte after it.
    void find_frame(ByteSource& source);

    // The calling sequence of decoding and playback: finds the next frame and,
    // unless the stream ended, decodes it into state.pcm_out with the decoder
    // library. Returns the samples per channel decoded (0 at the end or for a
    // frame the decoder rejected); `channels` receives 1 or 2.
    int decode_next_frame(ByteSource& source, bool first_frame, int& channels);
    // Decodes the frame find_frame found last (playback closes the file in
    // between); the same result as decode_next_frame.
    int decode_found_frame(bool first_frame, int& channels);
    // Copies the `samples` frames of state.pcm_out, decoded from a frame of
    // `frame_channels`, into `dst` interleaved for `out_channels`: a stereo
    // frame keeps its left channel for a mono output, a mono frame is doubled
    // for a stereo one. `dst` holds samples * out_channels values.
    void fit_channels(int samples, int frame_channels, int out_channels, int16_t* dst) const;

    bool at_end() const { return state.end_of_stream != 0; }
    // Sampling rate in Hz of the frame found last (0 before any).
    int frame_rate_hz() const;

private:
    void advance(ByteSource& source);
    void skip_bytes(int n, ByteSource& source);
    uint16_t header_padding_bit_ = 0;
    bool cancelled_ = false;
};

// The process-wide reader.
FrameReader& frame_reader();

// The sampling rate (Hz) and channel count of the first frame within the
// first `max_bytes` of `source`, found without decoding (so without touching
// the decoder library's state). False when no frame is there.
bool probe_stream_format(ByteSource& source, int& rate, int& channels, uint32_t max_bytes = 1 << 20);

// kbit/s for `id` and a bitrate index 0-14 (Layer III rows); 0 for others.
int frame_bitrate_kbps(int id, int bitrate_index);
// kHz by rate index 0-8.
double frame_sample_rate_khz(int rate_index);

}  // namespace murrel
