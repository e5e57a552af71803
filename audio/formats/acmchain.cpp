#include "audio/formats/acmchain.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/formats/pcmconvert.h"

namespace murrel {

namespace {

constexpr uint32_t kMaxReadableRate = 768000;

AcmSourceFormat codec_format(const TWaveFormatEx& f) {
    AcmSourceFormat s;
    s.format_tag = f.wFormatTag;
    s.channels = f.nChannels;
    s.samples_per_sec = f.nSamplesPerSec;
    s.avg_bytes_per_sec = f.nAvgBytesPerSec;
    s.block_align = f.nBlockAlign;
    s.bits_per_sample = f.wBitsPerSample;
    s.extra = f.extra;
    return s;
}

bool plain_pcm(const TWaveFormatEx& f) { return PCMFormatCode(f) >= 0; }

TWaveFormatEx decoded_format(const TWaveFormatEx& f) {
    return MakePCMFormat(16, f.nChannels, f.nSamplesPerSec);
}

// The stages from source to dest, described by their formats: a codec stage
// first when the source is not plain PCM, a PCM stage when what remains still
// differs. Empty with ok = true when no stage is needed.
struct Plan {
    bool ok = false;
    std::vector<std::pair<TWaveFormatEx, TWaveFormatEx>> steps;
};

Plan plan(const TWaveFormatEx& source, const TWaveFormatEx& dest) {
    Plan p;
    if (!FormatsDiffer(&source, &dest)) {
        p.ok = true;
        return p;
    }
    if (!plain_pcm(dest)) return p;
    TWaveFormatEx at = source;
    if (!plain_pcm(source)) {
        if (!AcmCodecStream::CanDecode(codec_format(source))) return p;
        at = decoded_format(source);
        p.steps.emplace_back(source, at);
    }
    if (FormatsDiffer(&at, &dest)) {
        if (!plain_pcm(at)) return p;
        p.steps.emplace_back(at, dest);
    }
    p.ok = true;
    return p;
}

int32_t frame_bytes(const TWaveFormatEx& f) { return f.nChannels * (f.wBitsPerSample / 8); }

}  // namespace

int32_t PartialBlockFrames(const TWaveFormatEx& f, int32_t bytes, int32_t frames_per_block) {
    const int32_t ch = std::max<int32_t>(1, f.nChannels);
    int32_t frames = 0;
    switch (f.wFormatTag) {
    case 0x0011:  // IMA ADPCM: 4 header bytes per channel (one sample), then 4-byte groups of 8 samples
        if (bytes >= 4 * ch) frames = 1 + (bytes - 4 * ch) / (4 * ch) * 8;
        break;
    case 0x0002:  // MS ADPCM: 7 header bytes per channel (two samples), then two samples a byte
        if (bytes >= 7 * ch) frames = 2 + (bytes - 7 * ch) * 2 / ch;
        break;
    case 0x0031:  // GSM 6.10: two 160-sample frames in 65 bytes, the first in the first 33
        frames = bytes >= 33 ? 160 : 0;
        break;
    default:
        break;
    }
    return std::clamp(frames, 0, frames_per_block);
}

namespace {

// The end of the data inside a codec block: the block is completed with
// silence, decoded, and only the frames its present bytes hold are kept.
int32_t decode_partial_block(AcmStage& st, const uint8_t* rest, int32_t n, uint8_t* out) {
    const int32_t block = st.codec->block_bytes();
    const int32_t keep = PartialBlockFrames(st.src_format, n, st.codec->frames_per_block());
    if (keep <= 0 || n >= block) return 0;
    std::vector<uint8_t> padded(static_cast<size_t>(block), 0);
    std::memcpy(padded.data(), rest, static_cast<size_t>(n));
    std::vector<uint8_t> decoded(static_cast<size_t>(st.codec->DestinationSize(block)));
    int32_t used = 0;
    const int32_t got = st.codec->Convert(padded.data(), block, decoded.data(), used);
    if (got < 0) return -1;
    const int32_t bytes = std::min(got, keep * st.codec->channels() * 2);
    std::memcpy(out, decoded.data(), static_cast<size_t>(bytes));
    return bytes;
}

// Runs one stage over its kept bytes plus `n` new ones; returns output bytes
// or -1. At the end a partial codec block is decoded too.
int32_t run_stage(AcmStage& st, const uint8_t* in, int32_t n, bool end) {
    st.work.assign(st.leftover.begin(), st.leftover.end());
    st.work.insert(st.work.end(), in, in + n);
    const auto total = static_cast<int32_t>(st.work.size());
    int32_t used = 0, out = 0;
    if (st.codec) {
        out = st.codec->Convert(st.work.data(), total, st.dst.data(), used);
        if (out < 0) return -1;
        if (end && used < total) {
            const int32_t extra = decode_partial_block(st, st.work.data() + used, total - used, st.dst.data() + out);
            if (extra < 0) return -1;
            out += extra;
        }
    } else {
        used = total / st.unit * st.unit;
        out = used > 0 ? PCMConvert(used, st.work.data(), st.src_format, st.dst.data(),
                                    st.dst_format)
                       : 0;
        if (out < 0) return -1;
    }
    if (end) st.leftover.clear();
    else st.leftover.assign(st.work.begin() + used, st.work.end());
    return out;
}

int32_t convert(AcmChain& chain, int32_t n, bool end) {
    n = std::clamp(n, 0, chain.input_capacity);
    chain.read_offset = 0;
    if (chain.stages.empty()) {
        chain.out_bytes = n;
        return n;
    }
    const uint8_t* in = chain.input;
    int32_t count = n;
    bool pending = false;
    for (AcmStage& st : chain.stages) {
        const int32_t given = count;
        count = run_stage(st, in, count, end);
        if (count < 0) {
            chain.out_bytes = 0;
            return -1;
        }
        if (!st.leftover.empty()) pending = true;
        if (count == 0 && given > 0 && !pending) chain.ended = true;
        in = st.dst.data();
    }
    chain.pending = pending;
    chain.out_bytes = count;
    return count;
}

}  // namespace

bool FormatsDiffer(const TWaveFormatEx* a, const TWaveFormatEx* b) {
    if (!a || !b) return false;
    return a->wFormatTag != b->wFormatTag || a->wBitsPerSample != b->wBitsPerSample ||
           a->nChannels != b->nChannels || a->nSamplesPerSec != b->nSamplesPerSec;
}

std::optional<TWaveFormatEx> SuggestPCM(const TWaveFormatEx& source) {
    if (plain_pcm(source)) return source;
    if (!AcmCodecStream::CanDecode(codec_format(source))) return std::nullopt;
    return decoded_format(source);
}

std::string UnreadableReason(const TWaveFormatEx& source) {
    char text[160];
    if (source.nChannels != 1 && source.nChannels != 2) {
        std::snprintf(text, sizeof text, "%u channels: only mono and stereo files can be read",
                      unsigned(source.nChannels));
        return text;
    }
    if (source.nSamplesPerSec == 0 || source.nSamplesPerSec > kMaxReadableRate) {
        std::snprintf(text, sizeof text, "a sampling rate of %u Hz cannot be read", unsigned(source.nSamplesPerSec));
        return text;
    }
    if (!SuggestPCM(source)) {
        std::snprintf(text, sizeof text, "%s (format 0x%04X, %u-bit) cannot be read",
                      FormatTagName(source.wFormatTag).c_str(), unsigned(source.wFormatTag),
                      unsigned(source.wBitsPerSample));
        return text;
    }
    return {};
}

bool CanConvert(const TWaveFormatEx& source, const TWaveFormatEx& dest, bool /*realtime*/) {
    return plan(source, dest).ok;
}

std::unique_ptr<AcmChain> OpenChain(const TWaveFormatEx& source, const TWaveFormatEx& dest,
                                    uint8_t* input, bool /*realtime*/, int32_t block_size) {
    const Plan p = plan(source, dest);
    if (!p.ok || block_size <= 0) return nullptr;
    auto chain = std::make_unique<AcmChain>();

    std::vector<AcmStage> stages;
    for (const auto& [from, to] : p.steps) {
        AcmStage st;
        st.src_format = from;
        st.dst_format = to;
        if (plain_pcm(from)) {
            st.unit = frame_bytes(from);
        } else {
            st.codec = AcmCodecStream::Open(codec_format(from));
            if (!st.codec) return nullptr;
            st.unit = st.codec->block_bytes();
        }
        stages.push_back(std::move(st));
    }

    const int32_t first_unit = stages.empty() ? std::max(1, frame_bytes(source) > 0
                                                                ? frame_bytes(source)
                                                                : int32_t(source.nBlockAlign))
                                              : stages.front().unit;
    chain->input_capacity = block_size / first_unit * first_unit;
    if (chain->input_capacity <= 0) return nullptr;
    if (input) {
        chain->input = input;
    } else {
        chain->own_input.assign(static_cast<size_t>(block_size) * 4, 0);
        chain->input = chain->own_input.data();
        chain->owns_input = true;
    }

    // Each stage's source may hold a block's worth of kept bytes on top of
    // what the previous stage delivers.
    int32_t src_size = chain->input_capacity;
    const uint8_t* src = chain->input;
    for (AcmStage& st : stages) {
        const int32_t most = src_size + st.unit;
        st.src = src;
        st.src_size = src_size;
        // A codec stage may add one padded partial block at the end.
        st.dst_size = st.codec ? st.codec->DestinationSize(most + st.codec->block_bytes())
                               : PCMConvertSize(most, st.src_format, st.dst_format) + 4;
        if (st.dst_size <= 0) return nullptr;
        st.dst.assign(static_cast<size_t>(st.dst_size), 0);
        src = st.dst.data();
        src_size = st.dst_size;
    }
    chain->stages = std::move(stages);
    return chain;
}

int32_t ChainConvert(AcmChain& chain, int32_t n) { return convert(chain, n, false); }

int32_t ChainConvertEnd(AcmChain& chain, int32_t n) { return convert(chain, n, true); }

void ChainReset(AcmChain& chain) {
    for (AcmStage& st : chain.stages) {
        st.leftover.clear();
        if (st.codec) st.codec->Reset();
    }
    chain.pending = false;
    chain.ended = false;
    chain.out_bytes = 0;
    chain.read_offset = 0;
}

void CloseChain(std::unique_ptr<AcmChain>& chain) { chain.reset(); }

}  // namespace murrel
