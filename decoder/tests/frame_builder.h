#pragma once
// Test helper: writes small Layer III frames bit by bit, with spectra coded in
// Huffman table 1 (big values, magnitudes 0-1) and count1 table B, so that
// tests can state exactly what a frame holds.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace sonadyn_test {

class BitWriter {
public:
    void put(unsigned value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (fill_ == 0) bytes_.push_back(0);
            if ((value >> i) & 1u) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (0x80 >> fill_));
            fill_ = (fill_ + 1) % 8;
            ++count_;
        }
    }
    void pad_to_bytes(size_t n) {
        fill_ = 0;
        while (bytes_.size() < n) bytes_.push_back(0);
    }
    // Drops the last n bits written.
    void drop(size_t n) {
        count_ -= n;
        bytes_.resize((count_ + 7) / 8);
        fill_ = static_cast<int>(count_ % 8);
        if (fill_) bytes_.back() = static_cast<uint8_t>(bytes_.back() & (0xFF00 >> fill_));
    }
    size_t bits() const { return count_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    int fill_ = 0;
    size_t count_ = 0;
};

struct GranuleDesc {
    int global_gain = 210;
    int scalefac_compress = 0;
    int window_switching = 0;
    int block_type = 0;
    int mixed = 0;
    int subblock_gain[3] = {0, 0, 0};
    int region0_count = 15;
    int region1_count = 4;
    int table_select[3] = {1, 1, 1};  // only tables 0 and 1 are written
    int preflag = 0;
    int scalefac_scale = 0;
    // Scale-factor fields as (value, width) in transmission order.
    std::vector<std::pair<int, int>> scalefactors;
    // Big values (magnitude 0 or 1), coded with table 1 in every region.
    std::vector<int> pairs;
    // Count1 values (magnitude 0 or 1, a multiple of 4), coded with table B.
    std::vector<int> quads;
    // Bits added to part2_3_length beyond what is written (may be negative).
    int length_adjust = 0;
    // big_values as sent; -1 means pairs.size() / 2.
    int big_values = -1;
    // Bits cut off the end of what was written (part of a code left out).
    int cut_bits = 0;
};

enum class Version { Mpeg1, Mpeg2, Mpeg25 };

struct FrameDesc {
    Version version = Version::Mpeg1;
    int rate_code = 0;
    int mode = 3;  // 3 = single channel
    int mode_extension = 0;
    bool crc = false;
    int layer_field = 1;  // 1 = Layer III
    int main_data_begin = 0;
    int scfsi[2][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
    GranuleDesc granule[2][2];
    uint16_t crc_word = 0x1234;
};

inline int channels_of(const FrameDesc& f) { return f.mode == 3 ? 1 : 2; }
inline int granules_of(const FrameDesc& f) { return f.version == Version::Mpeg1 ? 2 : 1; }

// The main data bits of one granule and channel; returns their count.
inline size_t write_granule_data(BitWriter& w, const GranuleDesc& g) {
    const size_t start = w.bits();
    for (const auto& [value, width] : g.scalefactors) w.put(static_cast<unsigned>(value), width);
    for (size_t i = 0; i + 1 < g.pairs.size(); i += 2) {
        const int x = g.pairs[i] != 0;
        const int y = g.pairs[i + 1] != 0;
        static const char* const kCodes[2][2] = {{"1", "001"}, {"01", "000"}};
        for (const char* c = kCodes[x][y]; *c; ++c) w.put(*c == '1', 1);
        if (x) w.put(g.pairs[i] < 0, 1);
        if (y) w.put(g.pairs[i + 1] < 0, 1);
    }
    for (size_t i = 0; i + 3 < g.quads.size(); i += 4) {
        int code = 0;
        for (int k = 0; k < 4; ++k) code |= (g.quads[i + k] != 0) << (3 - k);
        w.put(static_cast<unsigned>(15 - code), 4);
        for (int k = 0; k < 4; ++k)
            if (g.quads[i + k]) w.put(g.quads[i + k] < 0, 1);
    }
    w.drop(static_cast<size_t>(g.cut_bits));
    return w.bits() - start;
}

// Scale-factor fields of the lower sampling frequencies: counts[p] values of
// widths[p] bits for partitions 0-3, taken from `values` in transmission order.
inline std::vector<std::pair<int, int>> partition_scalefactors(const int (&counts)[4], const int (&widths)[4],
                                                               const std::vector<int>& values) {
    std::vector<std::pair<int, int>> fields;
    size_t n = 0;
    for (int p = 0; p < 4; ++p)
        for (int i = 0; i < counts[p] && n < values.size(); ++i) fields.push_back({values[n++], widths[p]});
    return fields;
}

// Header and side information (bytes) and the frame's own main data (bytes).
struct FrameParts {
    std::vector<uint8_t> head;
    std::vector<uint8_t> main_data;
    std::vector<uint8_t> whole() const {
        std::vector<uint8_t> all = head;
        all.insert(all.end(), main_data.begin(), main_data.end());
        return all;
    }
};

inline FrameParts build_frame_parts(const FrameDesc& f) {
    const bool mpeg1 = f.version == Version::Mpeg1;
    const int nch = channels_of(f);
    const int ngr = granules_of(f);

    BitWriter main;
    size_t lengths[2][2] = {};
    for (int gr = 0; gr < ngr; ++gr)
        for (int ch = 0; ch < nch; ++ch) lengths[gr][ch] = write_granule_data(main, f.granule[gr][ch]);
    main.pad_to_bytes((main.bits() + 7) / 8);

    BitWriter h;
    h.put(f.version == Version::Mpeg25 ? 0xFFE : 0xFFF, 12);
    h.put(mpeg1 ? 1 : 0, 1);
    h.put(static_cast<unsigned>(f.layer_field), 2);
    h.put(f.crc ? 0 : 1, 1);
    h.put(5, 4);
    h.put(static_cast<unsigned>(f.rate_code), 2);
    h.put(0, 1);
    h.put(0, 1);
    h.put(static_cast<unsigned>(f.mode), 2);
    h.put(static_cast<unsigned>(f.mode_extension), 2);
    h.put(0, 4);
    if (f.crc) h.put(f.crc_word, 16);
    const size_t side_start = h.bytes().size();
    h.put(static_cast<unsigned>(f.main_data_begin), mpeg1 ? 9 : 8);
    h.put(0, mpeg1 ? (nch == 1 ? 5 : 3) : (nch == 1 ? 1 : 2));
    if (mpeg1)
        for (int ch = 0; ch < nch; ++ch)
            for (int b = 0; b < 4; ++b) h.put(static_cast<unsigned>(f.scfsi[ch][b]), 1);
    for (int gr = 0; gr < ngr; ++gr) {
        for (int ch = 0; ch < nch; ++ch) {
            const GranuleDesc& g = f.granule[gr][ch];
            h.put(static_cast<unsigned>(static_cast<int>(lengths[gr][ch]) + g.length_adjust), 12);
            h.put(static_cast<unsigned>(g.big_values >= 0 ? g.big_values : static_cast<int>(g.pairs.size() / 2)), 9);
            h.put(static_cast<unsigned>(g.global_gain), 8);
            h.put(static_cast<unsigned>(g.scalefac_compress), mpeg1 ? 4 : 9);
            h.put(static_cast<unsigned>(g.window_switching), 1);
            if (g.window_switching) {
                h.put(static_cast<unsigned>(g.block_type), 2);
                h.put(static_cast<unsigned>(g.mixed), 1);
                h.put(static_cast<unsigned>(g.table_select[0]), 5);
                h.put(static_cast<unsigned>(g.table_select[1]), 5);
                for (int w = 0; w < 3; ++w) h.put(static_cast<unsigned>(g.subblock_gain[w]), 3);
            } else {
                for (int r = 0; r < 3; ++r) h.put(static_cast<unsigned>(g.table_select[r]), 5);
                h.put(static_cast<unsigned>(g.region0_count), 4);
                h.put(static_cast<unsigned>(g.region1_count), 3);
            }
            if (mpeg1) h.put(static_cast<unsigned>(g.preflag), 1);
            h.put(static_cast<unsigned>(g.scalefac_scale), 1);
            h.put(1, 1);  // count1 table B
        }
    }
    const size_t side_bytes = mpeg1 ? (nch == 1 ? 17 : 32) : (nch == 1 ? 9 : 17);
    h.pad_to_bytes(side_start + side_bytes);
    return {h.bytes(), main.bytes()};
}

inline std::vector<uint8_t> build_frame(const FrameDesc& f) { return build_frame_parts(f).whole(); }

}  // namespace sonadyn_test
