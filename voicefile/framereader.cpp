#include "voicefile/framereader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "decoder/sonadyn.h"

namespace murrel {

namespace {

constexpr uint8_t kLowMask[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};
constexpr uint8_t kBitMask[9] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};

constexpr int kBitrates[2][15] = {
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},      // MPEG-2 and 2.5
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},  // MPEG-1
};
constexpr double kRatesKhz[9] = {44.1, 48, 32, 22.05, 24, 16, 11.025, 12, 8};

bool is_sync(uint32_t hi_byte, uint32_t next_byte) {
    return ((((hi_byte & 0xFF) << 4) | ((next_byte & 0xFF) >> 4)) & 0xFFE) == 0xFFE;
}

}  // namespace

int frame_bitrate_kbps(int id, int bitrate_index) {
    if (bitrate_index < 0 || bitrate_index > 14) return 0;
    return kBitrates[id ? 1 : 0][bitrate_index];
}

double frame_sample_rate_khz(int rate_index) {
    return rate_index >= 0 && rate_index < 9 ? kRatesKhz[rate_index] : 0.0;
}

void FrameReader::reset() {
    cancelled_ = false;
    state.end_of_stream = 0;
    state.last_fill = 0;
    state.read_index = -1;
    state.bits_left = 0;
    state.bit_count = 0;
    std::memset(state.ring, 0, sizeof state.ring);
}

int FrameReader::fill_ring(ByteSource& source) {
    uint8_t block[kFillSize];
    std::size_t got = 0;
    while (got < kFillSize) {
        std::size_t n = source.read(block + got, kFillSize - got);
        if (n == 0) break;
        got += n;
    }
    for (std::size_t i = 0; i < got; ++i) {
        state.ring[state.write_index] = block[i];
        state.write_index = static_cast<uint16_t>((state.write_index + 1) % kRingSize);
    }
    return static_cast<int>(got);
}

void FrameReader::advance(ByteSource& source) {
    state.bits_left = 8;
    state.read_index = (state.read_index + 1) % kRingSize;
    ++state.byte_count;
    if (state.read_index != state.write_index) return;
    if (state.last_fill) {
        state.end_of_stream = 1;
        return;
    }
    int got = fill_ring(source);
    if (got == 0)
        state.end_of_stream = 1;
    else if (got < kFillSize)
        state.last_fill = 1;
}

int FrameReader::read_bit(ByteSource& source) {
    if (state.end_of_stream) return 0;
    ++state.bit_count;
    if (state.bits_left == 0) advance(source);
    if (state.end_of_stream) return 0;
    int bit = (state.ring[state.read_index] & kBitMask[state.bits_left]) >> (state.bits_left - 1);
    --state.bits_left;
    return bit;
}

uint32_t FrameReader::read_bits(int n, ByteSource& source) {
    if (state.end_of_stream) return 0;
    state.bit_count += static_cast<uint32_t>(n);
    uint32_t result = 0;
    while (n > 0) {
        if (state.bits_left == 0) {
            advance(source);
            if (state.end_of_stream) return result;
        }
        int k = std::min<int>(n, state.bits_left);
        uint32_t bits = (state.ring[state.read_index] & kLowMask[state.bits_left]) >> (state.bits_left - k);
        result |= bits << (n - k);
        state.bits_left = static_cast<uint16_t>(state.bits_left - k);
        n -= k;
    }
    return result;
}

// Same effect as reading n bytes 8 bits at a time, but steps over whole bytes
// already in the ring without touching them.
void FrameReader::skip_bytes(int n, ByteSource& source) {
    while (n > 0 && !state.end_of_stream) {
        if (state.bits_left == 0) {
            int available = (state.write_index - (state.read_index + 1) + 2 * kRingSize) % kRingSize;
            int take = std::min(n, available);
            if (take > 0) {
                state.read_index = (state.read_index + take) % kRingSize;
                state.bit_count += 8u * static_cast<uint32_t>(take);
                state.byte_count += static_cast<uint32_t>(take);
                n -= take;
                continue;
            }
        }
        read_bits(8, source);
        --n;
    }
}

void FrameReader::parse_header(ByteSource& source) {
    state.id = static_cast<uint16_t>(read_bits(1, source));
    uint32_t layer_field = read_bits(2, source);
    state.layer = static_cast<uint16_t>(4 - layer_field);
    state.crc_present = read_bits(1, source) == 0 ? 1 : 0;
    state.bitrate_index = static_cast<uint16_t>(read_bits(4, source));
    state.sampling_frequency = static_cast<uint16_t>(read_bits(2, source));
    state.padding = static_cast<uint16_t>(read_bits(1, source));
    header_padding_bit_ = state.padding;
    state.private_bit = static_cast<uint16_t>(read_bits(1, source));
    state.mode = static_cast<uint16_t>(read_bits(2, source));
    state.mode_extension = static_cast<uint16_t>(read_bits(2, source));
    state.copy_status = static_cast<uint16_t>(read_bits(1, source));
    state.original = static_cast<uint16_t>(read_bits(1, source));
    state.emphasis = static_cast<uint16_t>(read_bits(2, source));
    if (layer_field == 0 || state.sampling_frequency == 3 || state.bitrate_index == 15)
        state.header_error = 1;
}

void FrameReader::detect_padding(ByteSource& source) {
    const uint16_t saved_bits_left = state.bits_left;
    const int32_t saved_read_index = state.read_index;
    const uint32_t saved_bit_count = state.bit_count;
    const uint32_t saved_byte_count = state.byte_count;

    if (state.frame_length > 0) skip_bytes(state.frame_length, source);
    // A frame cut off by the end of the data stays rejected.
    const bool frame_complete = !state.end_of_stream;

    int extra = 0;  // bytes present after the frame before the data ended
    uint32_t b1 = read_bits(8, source);
    if (!state.end_of_stream) ++extra;
    uint32_t b2 = read_bits(8, source);
    if (!state.end_of_stream) ++extra;
    uint32_t b3 = read_bits(8, source);
    const bool hit_end = state.end_of_stream != 0;

    if (is_sync(b1, b2)) {
        state.padding = is_sync(b2, b3) ? 1 : 0;
    } else if (is_sync(b2, b3)) {
        state.padding = 1;
    } else {
        state.padding = 0;
        state.header_error = 1;
    }

    // The data ends within the look-ahead. The stream's last frame has no
    // following sync word to confirm it, so it is accepted when the data ends
    // exactly at its end: right after it when its header announces no padding
    // byte, one byte later when it does. A frame followed by a cut-off frame's
    // first two bytes is confirmed by that sync word as usual.
    if (hit_end && frame_complete) {
        if (extra == 2 && is_sync(b1, b2)) {
            state.padding = 0;
            state.header_error = 0;
        } else if (extra < 2 && extra == header_padding_bit_) {
            state.padding = static_cast<uint16_t>(extra);
            state.header_error = 0;
        } else {
            state.padding = 0;
            state.header_error = 1;
        }
        // The bytes not yet consumed are still in the ring; the end is met
        // again when the reading gets there.
        if (!state.header_error) state.end_of_stream = 0;
    }

    state.bits_left = saved_bits_left;
    state.read_index = saved_read_index;
    state.bit_count = saved_bit_count;
    state.byte_count = saved_byte_count;
    if (state.padding == 1) ++state.frame_length;
}

void FrameReader::find_frame(ByteSource& source) {
    if (state.bit_count % 8 != 0) read_bits(static_cast<int>(8 - state.bit_count % 8), source);
    uint32_t sync = 0;
    uint32_t checked_at = state.byte_count;
    while (!state.end_of_stream) {
        if (cancel && state.byte_count - checked_at >= kCancelCheckBytes) {
            checked_at = state.byte_count;
            if (cancel->load(std::memory_order_relaxed)) {
                cancelled_ = true;
                state.end_of_stream = 1;
                break;
            }
        }
        state.header_error = 0;
        sync = ((sync << 4) & 0xFFFF) | read_bits(4, source);
        if ((sync & 0xFFE) != 0xFFE) continue;

        const uint16_t saved_bits_left = state.bits_left;
        const int32_t saved_read_index = state.read_index;
        const uint32_t saved_bit_count = state.bit_count;
        auto restore = [&] {
            state.bits_left = saved_bits_left;
            state.read_index = saved_read_index;
            state.bit_count = saved_bit_count;
        };

        parse_header(source);
        if (state.header_error) {
            restore();
            continue;
        }
        const uint32_t low12 = sync & 0xFFF;
        if (low12 == 0xFFF)
            state.rate_index = static_cast<uint16_t>(state.sampling_frequency + (state.id ? 0 : 3));
        else
            state.rate_index = static_cast<uint16_t>(state.sampling_frequency + 6);

        int length = static_cast<int>(frame_bitrate_kbps(state.id, state.bitrate_index) * 144.0 /
                                      frame_sample_rate_khz(state.rate_index));
        if (state.id == 0) length /= 2;
        state.frame_length = static_cast<int16_t>(length - 4);

        detect_padding(source);
        if (state.header_error) {
            restore();
            continue;
        }
        state.frame_start = static_cast<uint16_t>((state.read_index - 4 + kRingSize) % kRingSize);
        skip_bytes(state.frame_length, source);
        break;
    }
    state.sync_word = static_cast<uint16_t>(sync);
}

int FrameReader::decode_next_frame(ByteSource& source, bool first_frame, int& channels) {
    state.header_error = 0;
    find_frame(source);
    return decode_found_frame(first_frame, channels);
}

int FrameReader::decode_found_frame(bool first_frame, int& channels) {
    state.sync_word &= 0xFFF;
    channels = state.mode == 3 ? 1 : 2;
    if (state.end_of_stream) return 0;
    int n = mp3_lib(first_frame ? 1 : 0, state.ring, state.frame_start, state.frame_length,
                    state.pcm_out);
    return std::clamp(n, 0, kPcmChannelOffset);
}

void FrameReader::fit_channels(int samples, int frame_channels, int out_channels, int16_t* dst) const {
    const int16_t* left = state.pcm_out;
    if (out_channels != 2) {
        std::memcpy(dst, left, static_cast<size_t>(samples) * sizeof(int16_t));
        return;
    }
    const int16_t* right = frame_channels == 2 ? left + kPcmChannelOffset : left;
    for (int i = 0; i < samples; ++i) {
        dst[2 * i] = left[i];
        dst[2 * i + 1] = right[i];
    }
}

int FrameReader::frame_rate_hz() const {
    return static_cast<int>(frame_sample_rate_khz(state.rate_index) * 1000.0 + 0.5);
}

bool probe_stream_format(ByteSource& source, int& rate, int& channels, uint32_t max_bytes) {
    // Reads at most max_bytes of the source, so a file of zeros is not scanned to its end.
    struct Limited final : ByteSource {
        Limited(ByteSource& s, uint32_t n) : inner(s), left(n) {}
        std::size_t read(uint8_t* dst, std::size_t n) override {
            const std::size_t got = inner.read(dst, std::min<std::size_t>(n, left));
            left -= static_cast<uint32_t>(got);
            return got;
        }
        ByteSource& inner;
        uint32_t left;
    } limited(source, max_bytes);
    auto reader = std::make_unique<FrameReader>();
    reader->reset();
    reader->find_frame(limited);
    if (reader->at_end()) return false;
    rate = reader->frame_rate_hz();
    channels = reader->state.mode == 3 ? 1 : 2;
    return rate > 0;
}

FrameReader& frame_reader() {
    static FrameReader reader;
    return reader;
}

}  // namespace murrel
