#include "decoder/decoder.h"

#include <cstdio>
#include <cstring>

namespace sonadyn {

namespace {

const char kSyncError[] = "Frame error due to sync error!!\n";
const char kShortageError[] = "Frame error due to shortage of main_data!!\n";

// Static storage: zero at load, which is the decoder's initial state.
Decoder g_decoder;

}  // namespace

Decoder& decoder() { return g_decoder; }

void Decoder::reset() {
    std::memset(overlap_, 0, sizeof overlap_);
    std::memset(overlap_bands_, 0, sizeof overlap_bands_);
    std::memset(fifo_, 0, sizeof fifo_);
    std::memset(scalefac_l_, 0, sizeof scalefac_l_);
    std::memset(scalefac_s_, 0, sizeof scalefac_s_);
    std::memset(side_, 0, sizeof side_);
    std::memset(scfsi_, 0, sizeof scfsi_);
    main_data_begin_ = 0;
    private_bits_ = 0;
    res_write_ = 0;
    res_pos_ = 0;
    granule_start_ = 0;
    primed_ = false;
    lsf_ = false;
    mpeg25_ = false;
}

int16_t Decoder::decode_frame(bool first, const uint16_t* ring, uint16_t position, int16_t length,
                              int16_t* pcm) {
    ring_ = ring;
    pcm_ = pcm;
    in_index_ = position;
    in_bits_left_ = 0;
    int main_bytes = length;
    frame_error_ = false;

    if (first) reset();

    read_header();
    // The reserved sampling-frequency code has no row in the rate tables; such
    // a header is no frame this decoder can place, like a broken sync word.
    if ((header_.sync != 0xFFF && header_.sync != 0xFFE) || header_.sampling_frequency == 3) {
        std::fputs(kSyncError, stdout);
        return 0;
    }

    channels_ = header_.mode == 3 ? 1 : 2;
    if (!header_.protection_bit) main_bytes -= 2;
    if (header_.id) {
        main_bytes -= channels_ == 1 ? 17 : 32;
    } else {
        main_bytes -= channels_ == 1 ? 9 : 17;
    }
    mpeg25_ = header_.sync == 0xFFE;
    lsf_ = mpeg25_ || header_.id == 0;
    rate_index_ = header_.sampling_frequency + (mpeg25_ ? 6 : (lsf_ ? 3 : 0));
    granules_ = header_.id ? 2 : 1;
    const int16_t samples = header_.id ? 1152 : 576;

    if (!header_.protection_bit) read_input(16);
    if (header_.layer != 3) return samples;

    read_side_info();
    append_main_data(main_bytes);
    if (frame_error_) {
        std::fputs(kShortageError, stdout);
        std::memset(pcm_, 0, 2304 * sizeof(int16_t));
        return samples;
    }

    for (int gr = 0; gr < granules_; ++gr) {
        for (int ch = 0; ch < channels_; ++ch) {
            granule_start_ = res_pos_;
            const GranuleInfo& gi = side_[gr][ch];
            if (header_.id) {
                read_scalefactors_mpeg1(gr, ch);
            } else {
                read_scalefactors_lsf(ch);
            }
            xr_end_[ch] = decode_spectrum(gi, ch);
        }
        process_stereo(gr);
        for (int ch = 0; ch < channels_; ++ch) synthesize_granule(gr, ch);
    }
    return samples;
}

unsigned Decoder::read_input(int bits) {
    unsigned index = in_index_;
    unsigned left = in_bits_left_;
    if (left == 0) {
        index = (index + 1) % kInputRingSize;
        left = 8;
    }
    // Three entries from the current one hold any 16 bits that start in it.
    const uint32_t window = (static_cast<uint32_t>(ring_[index] & 0xFFu) << 16) |
                            (static_cast<uint32_t>(ring_[(index + 1) % kInputRingSize] & 0xFFu) << 8) |
                            (ring_[(index + 2) % kInputRingSize] & 0xFFu);
    const unsigned skipped = 8 - left;
    const unsigned value = (window >> (24 - skipped - static_cast<unsigned>(bits))) & ((1u << bits) - 1u);
    // The reader stays on the last entry it took bits from.
    const unsigned consumed = skipped + static_cast<unsigned>(bits);
    if (consumed % 8 == 0) {
        in_index_ = static_cast<uint16_t>((index + consumed / 8 - 1) % kInputRingSize);
        in_bits_left_ = 0;
    } else {
        in_index_ = static_cast<uint16_t>((index + consumed / 8) % kInputRingSize);
        in_bits_left_ = static_cast<uint16_t>(8 - consumed % 8);
    }
    return value;
}

void Decoder::read_header() {
    header_.sync = static_cast<uint16_t>(read_input(12));
    header_.id = static_cast<uint16_t>(read_input(1));
    header_.layer = static_cast<uint16_t>(4 - read_input(2));
    header_.protection_bit = static_cast<uint16_t>(read_input(1));
    header_.bitrate_index = static_cast<uint16_t>(read_input(4));
    header_.sampling_frequency = static_cast<uint16_t>(read_input(2));
    header_.padding_bit = static_cast<uint16_t>(read_input(1));
    header_.private_bit = static_cast<uint16_t>(read_input(1));
    header_.mode = static_cast<uint16_t>(read_input(2));
    header_.mode_extension = static_cast<uint16_t>(read_input(2));
    header_.copyright = static_cast<uint16_t>(read_input(1));
    header_.original = static_cast<uint16_t>(read_input(1));
    header_.emphasis = static_cast<uint16_t>(read_input(2));
}

void Decoder::read_side_info() {
    const bool mpeg1 = header_.id != 0;
    main_data_begin_ = static_cast<uint16_t>(read_input(mpeg1 ? 9 : 8));
    if (mpeg1) {
        private_bits_ = static_cast<uint16_t>(read_input(channels_ == 1 ? 5 : 3));
        for (int ch = 0; ch < channels_; ++ch)
            for (int band = 0; band < 4; ++band) scfsi_[ch][band] = static_cast<uint16_t>(read_input(1));
    } else {
        private_bits_ = static_cast<uint16_t>(read_input(channels_ == 1 ? 1 : 2));
    }
    for (int gr = 0; gr < granules_; ++gr) {
        for (int ch = 0; ch < channels_; ++ch) {
            GranuleInfo& gi = side_[gr][ch];
            gi.part2_3_length = static_cast<uint16_t>(read_input(12));
            gi.big_values = static_cast<uint16_t>(read_input(9));
            // The spectrum has 288 pairs; more would write past it.
            if (gi.big_values > 288) gi.big_values = 288;
            gi.global_gain = static_cast<uint16_t>(read_input(8));
            gi.scalefac_compress = static_cast<uint16_t>(read_input(mpeg1 ? 4 : 9));
            gi.window_switching_flag = static_cast<uint16_t>(read_input(1));
            if (gi.window_switching_flag) {
                gi.block_type = static_cast<uint16_t>(read_input(2));
                gi.mixed_block_flag = static_cast<uint16_t>(read_input(1));
                gi.table_select[0] = static_cast<uint16_t>(read_input(5));
                gi.table_select[1] = static_cast<uint16_t>(read_input(5));
                gi.table_select[2] = 0;
                for (int w = 0; w < 3; ++w) gi.subblock_gain[w] = static_cast<uint16_t>(read_input(3));
                // Also covers the forbidden block_type 0 with switching, which is
                // then decoded as a long block with these region counts.
                gi.region0_count = (gi.block_type == 2 && !gi.mixed_block_flag) ? 8 : 7;
                gi.region1_count = static_cast<uint16_t>(20 - gi.region0_count);
            } else {
                gi.block_type = 0;
                for (int r = 0; r < 3; ++r) gi.table_select[r] = static_cast<uint16_t>(read_input(5));
                gi.region0_count = static_cast<uint16_t>(read_input(4));
                gi.region1_count = static_cast<uint16_t>(read_input(3));
            }
            gi.preflag = mpeg1 ? static_cast<uint16_t>(read_input(1)) : 0;
            gi.scalefac_scale = static_cast<uint16_t>(read_input(1));
            gi.count1table_select = static_cast<uint16_t>(read_input(1));
        }
    }
}

void Decoder::append_main_data(int bytes) {
    const int before = res_write_;
    // The side information ends on a byte boundary, so the main data starts at
    // the entry after the last one read.
    // In runs that wrap neither the input ring nor the reservoir.
    unsigned index = (in_index_ + 1u) % kInputRingSize;
    for (int left = bytes; left > 0;) {
        int run = left;
        if (run > kInputRingSize - static_cast<int>(index)) run = kInputRingSize - static_cast<int>(index);
        if (run > kReservoirSize - res_write_) run = kReservoirSize - res_write_;
        const uint16_t* from = ring_ + index;
        uint8_t* to = reservoir_ + res_write_;
        for (int n = 0; n < run; ++n) to[n] = static_cast<uint8_t>(from[n]);
        if (res_write_ < kReservoirMirror) {
            for (int n = res_write_; n < kReservoirMirror && n < res_write_ + run; ++n)
                reservoir_[kReservoirSize + n] = reservoir_[n];
        }
        index = (index + static_cast<unsigned>(run)) % kInputRingSize;
        res_write_ = static_cast<uint16_t>((res_write_ + run) % kReservoirSize);
        left -= run;
    }
    if (bytes > 0) {
        in_index_ = static_cast<uint16_t>((index + kInputRingSize - 1) % kInputRingSize);
        in_bits_left_ = 0;
    }
    const int start = before - main_data_begin_;
    res_pos_ = static_cast<uint32_t>((start + kReservoirSize) % kReservoirSize) * 8u;
    if (!primed_) {
        if (start < 0) {
            frame_error_ = true;
        } else {
            primed_ = true;
        }
    }
}

}  // namespace sonadyn
