#include "audio/formats/acmcodec.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace murrel {

namespace {

constexpr uint16_t kTagPcm = 0x0001;
constexpr uint16_t kTagMsAdpcm = 0x0002;
constexpr uint16_t kTagFloat = 0x0003;
constexpr uint16_t kTagALaw = 0x0006;
constexpr uint16_t kTagMuLaw = 0x0007;
constexpr uint16_t kTagImaAdpcm = 0x0011;
constexpr uint16_t kTagGsm610 = 0x0031;
constexpr uint16_t kTagExtensible = 0xFFFE;

constexpr int kMaxChannels = 8;

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
void put_id(std::vector<uint8_t>& v, const char* id) { v.insert(v.end(), id, id + 4); }

uint16_t get16(const std::vector<uint8_t>& v, size_t at) {
    return at + 1 < v.size() ? static_cast<uint16_t>(v[at] | (v[at + 1] << 8)) : 0;
}

// Block layout of a source format: bytes per block and frames each decodes
// to, or false when the format is not one this stage reads. ADPCM blocks must
// declare the sample count their size implies; libsndfile would otherwise
// disagree with us about where blocks end.
bool block_layout(const AcmSourceFormat& f, int32_t& bytes, int32_t& frames) {
    const int ch = f.channels;
    if (ch < 1 || ch > kMaxChannels || f.samples_per_sec == 0 || f.samples_per_sec > 768000)
        return false;
    switch (f.format_tag) {
    case kTagPcm:
        if (f.bits_per_sample != 24 && f.bits_per_sample != 32) return false;
        bytes = ch * f.bits_per_sample / 8;
        frames = 1;
        return true;
    case kTagFloat:
        if (f.bits_per_sample != 32 && f.bits_per_sample != 64) return false;
        bytes = ch * f.bits_per_sample / 8;
        frames = 1;
        return true;
    case kTagALaw:
    case kTagMuLaw:
        if (f.bits_per_sample != 8) return false;
        bytes = ch;
        frames = 1;
        return true;
    case kTagExtensible:
        if (f.extra.size() < 22) return false;
        if (f.bits_per_sample != 8 && f.bits_per_sample != 16 && f.bits_per_sample != 24 &&
            f.bits_per_sample != 32)
            return false;
        bytes = ch * f.bits_per_sample / 8;
        frames = 1;
        return true;
    case kTagImaAdpcm: {
        if (ch > 2 || f.block_align <= 4 * ch || f.block_align > 8192) return false;
        const int spb = 2 * (f.block_align - 4 * ch) / ch + 1;
        if (get16(f.extra, 0) != spb) return false;
        bytes = f.block_align;
        frames = spb;
        return true;
    }
    case kTagMsAdpcm: {
        if (ch > 2 || f.block_align <= 7 * ch || f.block_align > 8192) return false;
        const int spb = 2 * (f.block_align - 7 * ch) / ch + 2;
        if (get16(f.extra, 0) != spb) return false;
        bytes = f.block_align;
        frames = spb;
        return true;
    }
    case kTagGsm610:
        if (ch != 1 || f.block_align != 65) return false;
        bytes = 65;
        frames = 320;
        return true;
    default:
        return false;
    }
}

}  // namespace

struct AcmCodecStream::Impl {
    AcmSourceFormat format;
    std::vector<uint8_t> header;   // RIFF, "fmt " and "data" headers of the made-up file
    int64_t data_claim = 0;        // data chunk length the made-up file declares
    std::vector<uint8_t> fed;      // source bytes fed and not yet read by the codec
    int64_t fed_base = 0;          // data offset of fed[0]
    int64_t pos = 0;               // the codec's position in the made-up file
    SNDFILE* sf = nullptr;
    SF_VIRTUAL_IO io{};
    // How samples come out of the codec: as 16 bits, as wider integers that
    // are rounded (not truncated) to 16 bits, or as floats scaled by 32768 and
    // rounded, which is what a careful converter does with them.
    enum class Read { Short, Int, Float } read_as = Read::Short;
    std::vector<int32_t> int_buf;
    std::vector<float> float_buf;
    int64_t frames_claimed = 0;    // frames the made-up file holds
    int64_t frames_read = 0;       // frames delivered since it was opened

    ~Impl() { close(); }

    void close() {
        if (sf) sf_close(sf);
        sf = nullptr;
    }

    static Impl* self(void* user) { return static_cast<Impl*>(user); }

    static sf_count_t vio_len(void* user) {
        Impl* s = self(user);
        return static_cast<sf_count_t>(s->header.size()) + s->data_claim;
    }
    static sf_count_t vio_seek(sf_count_t offset, int whence, void* user) {
        Impl* s = self(user);
        int64_t base = 0;
        if (whence == SEEK_CUR) base = s->pos;
        else if (whence == SEEK_END) base = vio_len(user);
        const int64_t target = base + offset;
        if (target < 0) return -1;
        s->pos = target;
        return s->pos;
    }
    static sf_count_t vio_read(void* ptr, sf_count_t count, void* user) {
        Impl* s = self(user);
        auto* out = static_cast<uint8_t*>(ptr);
        sf_count_t done = 0;
        const auto hsize = static_cast<int64_t>(s->header.size());
        while (done < count) {
            if (s->pos < hsize) {
                const int64_t n = std::min<int64_t>(count - done, hsize - s->pos);
                std::memcpy(out + done, s->header.data() + s->pos, static_cast<size_t>(n));
                done += n;
                s->pos += n;
                continue;
            }
            const int64_t d = s->pos - hsize;
            const int64_t end = s->fed_base + static_cast<int64_t>(s->fed.size());
            if (d < s->fed_base || d >= end) break;
            const int64_t n = std::min<int64_t>(count - done, end - d);
            std::memcpy(out + done, s->fed.data() + (d - s->fed_base), static_cast<size_t>(n));
            done += n;
            s->pos += n;
        }
        return done;
    }
    static sf_count_t vio_write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t vio_tell(void* user) { return self(user)->pos; }

    // Blocks the made-up file declares. libsndfile counts frames in 32 bits
    // for some codecs, so the declared stream stays below 2^30 frames; a
    // longer stream is continued in a freshly opened made-up file.
    static int64_t claim_blocks(int32_t block_bytes, int32_t frames_per_block) {
        return std::min<int64_t>(0x7FFF0000LL / block_bytes, (1LL << 30) / frames_per_block);
    }

    void build_header(int32_t block_bytes, int32_t frames_per_block) {
        const AcmSourceFormat& f = format;
        std::vector<uint8_t> fmt;
        const bool plain = f.format_tag == kTagPcm || f.format_tag == kTagFloat ||
                           f.format_tag == kTagALaw || f.format_tag == kTagMuLaw ||
                           f.format_tag == kTagExtensible;
        const uint16_t align = plain ? static_cast<uint16_t>(block_bytes) : f.block_align;
        const uint32_t avg = plain ? align * f.samples_per_sec : f.avg_bytes_per_sec;
        put16(fmt, f.format_tag);
        put16(fmt, f.channels);
        put32(fmt, f.samples_per_sec);
        put32(fmt, avg);
        put16(fmt, align);
        put16(fmt, f.bits_per_sample);
        if (f.format_tag != kTagPcm) {
            put16(fmt, static_cast<uint32_t>(f.extra.size()));
            fmt.insert(fmt.end(), f.extra.begin(), f.extra.end());
        }
        if (fmt.size() & 1) fmt.push_back(0);
        data_claim = claim_blocks(block_bytes, frames_per_block) * block_bytes;

        header.clear();
        put_id(header, "RIFF");
        put32(header, static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data_claim));
        put_id(header, "WAVE");
        put_id(header, "fmt ");
        put32(header, static_cast<uint32_t>(fmt.size()));
        header.insert(header.end(), fmt.begin(), fmt.end());
        put_id(header, "data");
        put32(header, static_cast<uint32_t>(data_claim));
    }

    bool open() {
        io = {vio_len, vio_seek, vio_read, vio_write, vio_tell};
        pos = 0;
        fed_base = 0;
        frames_read = 0;
        SF_INFO info{};
        sf = sf_open_virtual(&io, SFM_READ, &info, this);
        if (!sf) return false;
        if (info.channels != format.channels) {
            close();
            return false;
        }
        switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
            read_as = Read::Float;
            break;
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32:
            read_as = Read::Int;
            break;
        default:
            read_as = Read::Short;
        }
        return true;
    }

    // Drops the bytes the codec has read past.
    void trim() {
        const int64_t read_to = pos - static_cast<int64_t>(header.size());
        const int64_t drop = std::clamp<int64_t>(read_to - fed_base, 0,
                                                 static_cast<int64_t>(fed.size()));
        fed.erase(fed.begin(), fed.begin() + drop);
        fed_base += drop;
    }
};

AcmCodecStream::~AcmCodecStream() = default;

bool AcmCodecStream::CanDecode(const AcmSourceFormat& source) { return Open(source) != nullptr; }

std::unique_ptr<AcmCodecStream> AcmCodecStream::Open(const AcmSourceFormat& source) {
    int32_t bytes = 0, frames = 0;
    if (!block_layout(source, bytes, frames)) return nullptr;
    std::unique_ptr<AcmCodecStream> s(new AcmCodecStream());
    s->impl_ = std::make_unique<Impl>();
    s->impl_->format = source;
    s->impl_->build_header(bytes, frames);
    s->impl_->frames_claimed = Impl::claim_blocks(bytes, frames) * frames;
    s->block_bytes_ = bytes;
    s->frames_per_block_ = frames;
    s->channels_ = source.channels;

    // A trial block of silence (zeros are valid in every format read here).
    std::vector<uint8_t> probe(static_cast<size_t>(bytes), 0);
    std::vector<uint8_t> out(static_cast<size_t>(s->DestinationSize(bytes)));
    int32_t used = 0;
    if (s->Convert(probe.data(), bytes, out.data(), used) < 0) return nullptr;
    s->Reset();
    return s;
}

int32_t AcmCodecStream::DestinationSize(int32_t src_bytes) const {
    if (src_bytes <= 0) return 0;
    return src_bytes / block_bytes_ * frames_per_block_ * channels_ * 2;
}

int32_t AcmCodecStream::Convert(const uint8_t* src, int32_t n, uint8_t* dst, int32_t& src_used) {
    src_used = 0;
    const int32_t blocks = n > 0 ? n / block_bytes_ : 0;
    if (blocks == 0) return 0;
    Impl& d = *impl_;
    d.fed.insert(d.fed.end(), src, src + static_cast<size_t>(blocks) * block_bytes_);
    src_used = blocks * block_bytes_;
    const sf_count_t frames = static_cast<sf_count_t>(blocks) * frames_per_block_;
    if (d.sf && d.frames_read + frames > d.frames_claimed) d.close();
    if (!d.sf && !d.open()) {
        d.fed.clear();
        return -1;
    }
    sf_count_t got = 0;
    auto* out = reinterpret_cast<int16_t*>(dst);
    const auto n_samples = static_cast<size_t>(frames * channels_);
    auto store = [out](size_t i, int64_t v) {
        const auto s16 = static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
        std::memcpy(out + i, &s16, 2);
    };
    switch (d.read_as) {
    case Impl::Read::Short:
        got = sf_readf_short(d.sf, out, frames);
        break;
    case Impl::Read::Int:
        d.int_buf.resize(n_samples);
        got = sf_readf_int(d.sf, d.int_buf.data(), frames);
        for (size_t i = 0; i < size_t(std::max<sf_count_t>(got, 0)) * size_t(channels_); ++i)
            store(i, (static_cast<int64_t>(d.int_buf[i]) + 0x8000) >> 16);
        break;
    case Impl::Read::Float:
        d.float_buf.resize(n_samples);
        got = sf_readf_float(d.sf, d.float_buf.data(), frames);
        for (size_t i = 0; i < size_t(std::max<sf_count_t>(got, 0)) * size_t(channels_); ++i) {
            const float x = d.float_buf[i];
            // NaN and infinities become silence and full scale.
            const double v = std::isnan(x) ? 0.0 : std::floor(double(x) * 32768.0 + 0.5);
            store(i, v > 32767 ? 32767 : v < -32768 ? -32768 : int64_t(v));
        }
        break;
    }
    d.trim();
    if (got < 0) return -1;
    d.frames_read += got;
    return static_cast<int32_t>(got * channels_ * 2);
}

void AcmCodecStream::Reset() {
    impl_->close();
    impl_->fed.clear();
    impl_->fed_base = 0;
    impl_->pos = 0;
}

}  // namespace murrel
