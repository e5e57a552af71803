#pragma once
// The Layer III decoder behind mp3_lib: one frame per call, all state kept in
// one process-wide instance between calls. Not thread-safe; callers serialise.
#include <cstdint>
#include <cstring>

namespace sonadyn {

// Side information of one granule and channel, as read from the frame.
struct GranuleInfo {
    uint16_t part2_3_length;
    uint16_t big_values;
    uint16_t global_gain;
    uint16_t scalefac_compress;
    uint16_t window_switching_flag;
    uint16_t block_type;
    uint16_t mixed_block_flag;
    uint16_t table_select[3];
    uint16_t subblock_gain[3];
    uint16_t region0_count;
    uint16_t region1_count;
    uint16_t preflag;
    uint16_t scalefac_scale;
    uint16_t count1table_select;
};

struct FrameHeader {
    uint16_t sync;
    uint16_t id;
    uint16_t layer;  // 4 minus the layer field: 3 means Layer III
    uint16_t protection_bit;
    uint16_t bitrate_index;
    uint16_t sampling_frequency;
    uint16_t padding_bit;
    uint16_t private_bit;
    uint16_t mode;
    uint16_t mode_extension;
    uint16_t copyright;
    uint16_t original;
    uint16_t emphasis;
};

class Decoder {
public:
    // Decodes one frame; see decoder/sonadyn.h for the arguments. `length` is
    // already reduced to its signed low 16 bits, `position` to its low 16 bits.
    int16_t decode_frame(bool first, const uint16_t* ring, uint16_t position, int16_t length,
                         int16_t* pcm);

    static constexpr int kReservoirSize = 2048;
    static constexpr int kInputRingSize = 4096;

private:
    // Stream start: clears everything a new stream must not inherit.
    void reset();

    // Header, side information and main data (decoder.cpp).
    unsigned read_input(int bits);
    void read_header();
    void read_side_info();
    void append_main_data(int bytes);

    // Bit reservoir reading. Positions count bits and wrap with the ring.
    // Next 1-32 bits without moving on.
    unsigned peek_main(int bits) const {
        const unsigned byte = (res_pos_ >> 3) % kReservoirSize;
        uint64_t window = 0;
        std::memcpy(&window, reservoir_ + byte, sizeof window);
        window = __builtin_bswap64(window);
        return static_cast<unsigned>((window << (res_pos_ & 7)) >> (64 - bits));
    }
    // Next n bits; of reads longer than 16 bits only the last 16 are kept.
    unsigned read_main(int bits) {
        if (bits <= 0) return 0;
        if (bits > 16) {
            res_pos_ += static_cast<uint32_t>(bits - 16);
            bits = 16;
        }
        const unsigned value = peek_main(bits);
        res_pos_ += static_cast<uint32_t>(bits);
        return value;
    }

    // Spectrum (spectrum.cpp).
    void read_scalefactors_mpeg1(int gr, int ch);
    void read_scalefactors_lsf(int ch);
    // A run of lines that share one requantisation gain, up to `end`.
    struct Segment {
        int end;
        double gain;
    };
    static constexpr int kMaxSegments = 3 * 13 + 1;
    // Lines a count1 quadruple can reach: 4 past the last line that starts one.
    static constexpr int kSpectrumRoom = 576 + 4;
    int spectrum_segments(const GranuleInfo& gi, int ch, Segment* segments) const;
    // Huffman decoding and requantisation in one pass; returns the end of the
    // decoded lines (the rest are 0).
    int decode_spectrum(const GranuleInfo& gi, int ch);

    // Stereo (stereo.cpp).
    void process_stereo(int gr);

    // Hybrid filter bank and output (synthesis.cpp).
    void synthesize_granule(int gr, int ch);

    static void ensure_power_table();

    // Input reader: set at every call.
    const uint16_t* ring_ = nullptr;
    uint16_t in_index_ = 0;
    uint16_t in_bits_left_ = 0;
    int16_t* pcm_ = nullptr;

    FrameHeader header_{};
    bool frame_error_ = false;
    bool lsf_ = false;       // MPEG-2 or MPEG-2.5
    bool mpeg25_ = false;
    uint16_t rate_index_ = 0;
    uint16_t channels_ = 0;
    uint16_t granules_ = 0;

    uint16_t main_data_begin_ = 0;
    uint16_t private_bits_ = 0;
    uint16_t scfsi_[2][4]{};
    GranuleInfo side_[2][2]{};

    // Bit reservoir: one byte per entry; the first bytes are repeated after the
    // end so that a 64-bit window can be read at any entry without wrapping.
    static constexpr int kReservoirMirror = 8;
    uint8_t reservoir_[kReservoirSize + kReservoirMirror]{};
    uint16_t res_write_ = 0;
    uint32_t res_pos_ = 0;
    uint32_t granule_start_ = 0;
    bool primed_ = false;

    int16_t scalefac_l_[2][23]{};
    int16_t scalefac_s_[2][3][13]{};
    // Bit widths the lower sampling frequencies read each band's scale factor
    // with: the largest value of a width marks a band that is not
    // intensity-coded.
    uint8_t slen_l_[2][23]{};
    uint8_t slen_s_[2][13]{};

    // Scratch within one call. The requantised lines have room for a count1
    // quadruple that starts at line 574.
    double xr_[2][kSpectrumRoom]{};
    int xr_end_[2]{};  // lines from here on are 0
    double lr_[2][576]{};

    // Kept across calls.
    double overlap_[2][32][18]{};
    // Subbands from here on have no overlap (all zero).
    uint8_t overlap_bands_[2]{};
    alignas(32) double fifo_[2][1024]{};
    uint16_t fifo_offset_[2]{};
};

// The process-wide decoder.
Decoder& decoder();

}  // namespace sonadyn
