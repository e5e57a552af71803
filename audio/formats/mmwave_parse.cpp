// Reading the RIFF WAVE structure, and the play-list algorithm.
#include <algorithm>
#include <iterator>

#include "audio/formats/mmwave.h"

namespace murrel {

namespace {

using namespace chunk_id;

// Larger "DISP" or INFO items are not metadata anyone wrote on purpose; they
// are skipped rather than loaded.
constexpr int64_t kMaxKeptChunk = 16 << 20;

constexpr uint32_t kInfoIds[] = {
    FourCC('I', 'A', 'R', 'L'), FourCC('I', 'A', 'R', 'T'), FourCC('I', 'C', 'M', 'S'),
    FourCC('I', 'C', 'M', 'T'), FourCC('I', 'C', 'O', 'P'), FourCC('I', 'C', 'R', 'D'),
    FourCC('I', 'C', 'R', 'P'), FourCC('I', 'D', 'I', 'M'), FourCC('I', 'D', 'P', 'I'),
    FourCC('I', 'E', 'N', 'G'), FourCC('I', 'G', 'N', 'R'), FourCC('I', 'K', 'E', 'Y'),
    FourCC('I', 'L', 'G', 'T'), FourCC('I', 'M', 'E', 'D'), FourCC('I', 'N', 'A', 'M'),
    FourCC('I', 'P', 'L', 'T'), FourCC('I', 'P', 'R', 'D'), FourCC('I', 'S', 'B', 'J'),
    FourCC('I', 'S', 'F', 'T'), FourCC('I', 'S', 'H', 'P'), FourCC('I', 'S', 'R', 'C'),
    FourCC('I', 'S', 'R', 'F'), FourCC('I', 'T', 'C', 'H'),
};

bool PlausibleId(uint32_t id) {
    for (int i = 0; i < 4; ++i) {
        uint8_t c = uint8_t(id >> (8 * i));
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// A chunk header at `at` whose identifier is text and whose data fits the file.
bool LooksLikeChunk(RiffFile& f, int64_t at, int64_t file_size) {
    if (at + 8 > file_size) return false;
    uint32_t id = 0, size = 0;
    if (!f.seek(at) || !f.read_u32(id) || !f.read_u32(size)) return false;
    return PlausibleId(id) && at + 8 + int64_t(size) <= file_size;
}

bool LooksLikeKnownChunk(RiffFile& f, int64_t at, int64_t file_size) {
    uint32_t id = 0;
    if (!LooksLikeChunk(f, at, file_size) || !f.seek(at) || !f.read_u32(id)) return false;
    return id == kFmt || id == kData || id == kFact || id == kList || id == kDisp;
}

bool ReadBytes(RiffFile& f, int64_t at, int64_t n, std::vector<uint8_t>& out) {
    out.resize(size_t(n));
    return f.seek(at) && f.read(out.data(), n) == n;
}

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ReadFormat(RiffFile& f, int64_t at, int64_t size, TWaveFormatEx& fmt) {
    if (size < 14) return false;
    std::vector<uint8_t> b;
    if (!ReadBytes(f, at, std::min<int64_t>(size, 18 + 0xFFFF), b)) return false;
    fmt = TWaveFormatEx{};
    fmt.wFormatTag = U16(&b[0]);
    fmt.nChannels = U16(&b[2]);
    fmt.nSamplesPerSec = U32(&b[4]);
    fmt.nAvgBytesPerSec = U32(&b[8]);
    fmt.nBlockAlign = U16(&b[12]);
    if (b.size() >= 16) {
        fmt.wBitsPerSample = U16(&b[14]);
    } else if (fmt.nChannels != 0) {
        // The old 14-byte form has no bit count; PCM implies it.
        fmt.wBitsPerSample = uint16_t(fmt.nBlockAlign * 8 / fmt.nChannels);
    }
    if (b.size() >= 18 && fmt.wFormatTag != WAVE_FORMAT_PCM) {
        size_t extra = std::min<size_t>(U16(&b[16]), b.size() - 18);
        fmt.extra.assign(b.begin() + 18, b.begin() + 18 + long(extra));
        fmt.cbSize = uint16_t(extra);
    }
    if (fmt.wFormatTag == WAVE_FORMAT_PCM && fmt.nChannels != 0 && fmt.wBitsPerSample != 0) {
        // Writers get these two wrong often enough; for PCM they follow from the rest.
        fmt.nBlockAlign = uint16_t(fmt.nChannels * ((fmt.wBitsPerSample + 7) / 8));
        fmt.nAvgBytesPerSec = uint32_t(uint64_t(fmt.nBlockAlign) * fmt.nSamplesPerSec);
    }
    return true;
}

void ReadInfo(RiffFile& f, int64_t begin, int64_t end, std::vector<WaveInfoItem>& items) {
    int64_t p = begin;
    while (p + 8 <= end) {
        uint32_t id = 0, size = 0;
        if (!f.seek(p) || !f.read_u32(id) || !f.read_u32(size)) return;
        int64_t n = std::min<int64_t>(size, end - p - 8);
        if (IsKnownInfoId(id) && n > 0 && n <= kMaxKeptChunk) {
            std::vector<uint8_t> b;
            if (!ReadBytes(f, p + 8, n, b)) return;
            auto zero = std::find(b.begin(), b.end(), uint8_t(0));
            std::string text(b.begin(), zero);
            if (!text.empty()) items.push_back({id, std::move(text)});
        }
        p += 8 + int64_t(size) + (size & 1);
    }
}

}  // namespace

bool IsKnownInfoId(uint32_t id) {
    return std::find(std::begin(kInfoIds), std::end(kInfoIds), id) != std::end(kInfoIds);
}

bool ParseWaveFile(RiffFile& f, WaveIOBlock& b) {
    int64_t file_size = f.size();
    if (file_size < 12) return false;
    RiffChunk riff;
    if (!f.read_chunk_header(0, riff) || riff.id != kRIFF || riff.form_type != kWAVE) return false;
    // An unfinished writer leaves 0 (or anything) here; trust it only when it
    // is possible.
    int64_t riff_end = 8 + int64_t(riff.size);
    if (riff.size < 4 || riff_end > file_size) riff_end = file_size;
    riff.size = uint64_t(riff_end - 8);

    bool seen_fmt = false, seen_data = false, seen_fact = false;
    int64_t data_end = -1;
    int64_t pos = 12;
    for (;;) {
        int64_t limit = (seen_fmt && seen_data) ? riff_end : file_size;
        if (pos + 8 > limit) break;
        uint32_t id = 0, size32 = 0;
        if (!f.seek(pos) || !f.read_u32(id) || !f.read_u32(size32)) break;
        if (!PlausibleId(id)) break;
        int64_t size = size32;
        int64_t end = pos + 8 + size;
        bool overlong = end > file_size;
        if (end > riff_end && seen_fmt && seen_data) break;
        if (overlong) {
            size = file_size - pos - 8;
            end = file_size;
        }
        bool stop = false;
        if (id == kFmt) {
            if (seen_fmt) break;
            if (!ReadFormat(f, pos + 8, size, b.format)) return false;
            seen_fmt = true;
            b.fmt_in_place = !seen_data;
        } else if (id == kData) {
            if (seen_data) break;
            seen_data = true;
            b.data_offset = pos + 8;
            b.data_chunk = RiffChunk{kData, uint64_t(size32), 0, pos, pos + 8, false};
            if (size32 == 0 && !LooksLikeChunk(f, pos + 8, file_size) && file_size > pos + 8) {
                // Size never filled in: the data runs to the end of the file.
                end = file_size;
            } else if (overlong) {
                end = file_size;
            }
            data_end = end;
        } else if (id == kFact) {
            if (seen_fact) break;
            seen_fact = true;
            uint32_t v = 0;
            if (size >= 4 && f.seek(pos + 8) && f.read_u32(v)) {
                b.fact_samples = v;
                if (!seen_data) b.fact_offset = pos + 8;
            }
        } else if (id == kList) {
            uint32_t type = 0;
            if (size >= 4 && f.seek(pos + 8) && f.read_u32(type) && type == kInfo)
            {
                ReadInfo(f, pos + 12, end, b.info_list);
                if (!seen_data) b.info_in_place = true;
            }
        } else if (id == kDisp) {
            uint32_t type = 0;
            if (size >= 4 && size <= kMaxKeptChunk && f.seek(pos + 8) && f.read_u32(type)) {
                WaveDispChunk d{type, {}};
                if (!ReadBytes(f, pos + 12, size - 4, d.data)) stop = true;
                else b.disp_list.push_back(std::move(d));
                if (!seen_data) b.disp_in_place = true;
            }
        }
        if (stop) break;
        int64_t next = end + (size & 1);
        // A writer that forgot the pad byte after an odd chunk: take the next
        // chunk where it really starts. Text one byte on can pass for a chunk
        // header, and whether it does may change when the data size is filled
        // in; a chunk we know at the unpadded place wins over one we don't, so
        // the walk takes the same path before and after a file is finalised.
        if (size & 1) {
            const bool padded = LooksLikeChunk(f, next, file_size);
            if (LooksLikeChunk(f, end, file_size) &&
                (!padded || (LooksLikeKnownChunk(f, end, file_size) &&
                             !LooksLikeKnownChunk(f, next, file_size))))
                next = end;
        }
        if (next <= pos) break;
        pos = next;
    }
    if (!seen_fmt || !seen_data) return false;
    if (!FormatUsable(b.format)) return false;

    b.riff_chunk = riff;
    b.file_size = file_size;
    int64_t raw = std::max<int64_t>(0, data_end - b.data_offset);
    // A block cut short stays part of the data where its codec can still
    // decode what it holds (ADPCM, GSM 6.10); elsewhere only whole blocks count.
    const uint16_t tag = b.format.wFormatTag;
    const bool partial_block_decodes = tag == 0x0002 || tag == 0x0011 || tag == 0x0031;
    b.data_bytes = partial_block_decodes ? raw : raw - raw % b.format.nBlockAlign;
    return true;
}

void BuildPlayListFromCuts(int64_t s, int64_t e, const TMMCutList* cuts,
                           const std::function<int64_t(int64_t)>& bytes, TMMCutList& out) {
    out.BeginUpdate();
    out.Clear();
    auto add = [&](int64_t start, int64_t length) {
        TMMCutRecord r;
        r.start = start;
        r.length = length;
        r.start_bytes = bytes(start);
        r.length_bytes = bytes(length);
        out.Add(r);
    };
    if (!cuts || cuts->Count() == 0) {
        add(s, std::max<int64_t>(0, e - s));
        out.EndUpdate();
        return;
    }
    const auto& c = cuts->Items();
    const int64_t count = int64_t(c.size());
    // Cuts are sorted and disjoint, so their ends rise with their starts.
    int64_t i = std::partition_point(c.begin(), c.end(),
                                     [s](const TMMCutRecord& r) { return r.end() < s; }) -
                c.begin();
    if (i < count && s >= c[size_t(i)].start) s = c[size_t(i)].end();
    bool added = false;
    for (; i <= count; ++i) {
        bool is_cut = i < count;
        bool final_pass = !(is_cut && c[size_t(i)].start < e);
        int64_t length = final_pass ? e - s : c[size_t(i)].start - s;
        if (length > 0) {
            add(s, length);
            added = true;
        }
        if (final_pass) break;
        // max(): overlapping cuts must not bring back frames an earlier cut removed.
        s = std::max(s, c[size_t(i)].end());
    }
    if (!added) add(s, 0);
    out.EndUpdate();
}

}  // namespace murrel
