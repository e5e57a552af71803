#include "audio/formats/pcmconvert.h"

#include <cstring>

namespace murrel {

namespace {

// A frame in the source's own sample domain: 8-bit samples centred on 0
// (x - 128), 16-bit samples as they are.
struct Frame {
    int32_t left;
    int32_t right;
};

inline int32_t read16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

inline void write16(uint8_t* p, int32_t v) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    p[0] = static_cast<uint8_t>(u & 0xFF);
    p[1] = static_cast<uint8_t>(u >> 8);
}

// Floor division by 2, also for negative sums: the reference converter rounds
// averages down, not toward zero.
inline int32_t half_floor(int32_t v) { return v >> 1; }

// Moves one value from the source bit depth to the destination bit depth.
inline int32_t rescale(int32_t v, bool from16, bool to16) {
    if (from16 == to16) return v;
    return to16 ? v * 256 : (v >> 8);
}

int frame_size(int code) {
    static const int sizes[8] = {1, 0, 2, 0, 2, 0, 4, 0};
    return sizes[code & 7];
}

}  // namespace

int PCMFormatCode(const TWaveFormatEx& f) {
    if (f.wFormatTag != 1 || f.nSamplesPerSec == 0) return -1;
    if (f.nChannels != 1 && f.nChannels != 2) return -1;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return -1;
    return (f.nChannels == 2 ? 2 : 0) | (f.wBitsPerSample == 16 ? 4 : 0);
}

int32_t PCMConvertSize(int32_t src_bytes, const TWaveFormatEx& src, const TWaveFormatEx& dst) {
    const int sc = PCMFormatCode(src);
    const int dc = PCMFormatCode(dst);
    if (sc < 0 || dc < 0) return -1;
    const int64_t frames = src_bytes / frame_size(sc);
    // 64-bit product: a 32-bit one overflows for blocks above ~48 KiB at 44.1 kHz.
    const int64_t out = frames * static_cast<int64_t>(dst.nSamplesPerSec) /
                        static_cast<int64_t>(src.nSamplesPerSec);
    return static_cast<int32_t>(out * frame_size(dc));
}

int32_t PCMConvert(int32_t src_bytes, const void* src_buf, const TWaveFormatEx& src, void* dst_buf,
                   const TWaveFormatEx& dst) {
    if (src_bytes <= 0) return src_bytes;
    const int sc = PCMFormatCode(src);
    const int dc = PCMFormatCode(dst);
    if (sc < 0 || dc < 0) return -1;

    const bool src16 = (sc & 4) != 0, src_stereo = (sc & 2) != 0;
    const bool dst16 = (dc & 4) != 0, dst_stereo = (dc & 2) != 0;
    const int sfs = frame_size(sc), dfs = frame_size(dc);
    const auto* in = static_cast<const uint8_t*>(src_buf);
    auto* out = static_cast<uint8_t*>(dst_buf);
    const int32_t frames = src_bytes / sfs;

    // One source frame turned into destination values: a mono destination gets
    // the rounded-down average of a stereo source, taken in the source's own
    // domain before rescaling; a stereo destination gets the mono sample twice.
    auto read = [&](const uint8_t* p) -> Frame {
        Frame f{};
        if (src16) {
            f.left = read16(p);
            f.right = src_stereo ? read16(p + 2) : f.left;
        } else {
            f.left = static_cast<int32_t>(p[0]) - 128;
            f.right = src_stereo ? static_cast<int32_t>(p[1]) - 128 : f.left;
        }
        if (!dst_stereo && src_stereo) f.left = f.right = half_floor(f.left + f.right);
        f.left = rescale(f.left, src16, dst16);
        f.right = rescale(f.right, src16, dst16);
        return f;
    };
    auto write = [&](const Frame& f) {
        if (dst16) {
            write16(out, f.left);
            if (dst_stereo) write16(out + 2, f.right);
        } else {
            out[0] = static_cast<uint8_t>(f.left + 128);
            if (dst_stereo) out[1] = static_cast<uint8_t>(f.right + 128);
        }
        out += dfs;
    };

    // Hold-and-drop rate conversion. The accumulator restarts with every call,
    // so a long stream converted block by block restarts its phase per block.
    const int64_t src_rate = src.nSamplesPerSec, dst_rate = dst.nSamplesPerSec;
    if (src_rate > dst_rate) {
        int64_t acc = src_rate / 2;
        for (int32_t i = 0; i < frames; ++i, in += sfs) {
            acc -= dst_rate;
            if (acc >= 0) continue;
            write(read(in));
            acc += src_rate;
        }
    } else {
        int64_t acc = dst_rate / 2;
        for (int32_t i = 0; i < frames; ++i, in += sfs) {
            const Frame f = read(in);
            do {
                write(f);
                acc -= src_rate;
            } while (acc >= 0);
            acc += dst_rate;
        }
    }
    return static_cast<int32_t>(out - static_cast<uint8_t*>(dst_buf));
}

}  // namespace murrel
