#include "editor/displaydata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "audio/formats/acmwave.h"

namespace murrel {

namespace fs = std::filesystem;

namespace {

constexpr long kTmpfsMagic = 0x01021994;
constexpr long kRamfsMagic = 0x858458f6;

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void put16(uint8_t* p, int16_t v) {
    p[0] = uint8_t(uint16_t(v));
    p[1] = uint8_t(uint16_t(v) >> 8);
}
int16_t get16(const uint8_t* p) { return int16_t(uint16_t(p[0] | p[1] << 8)); }

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool write_all(int fd, const uint8_t* data, int64_t n, int64_t at) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, data, size_t(n), off_t(at));
        if (w <= 0) return false;
        data += w;
        at += w;
        n -= w;
    }
    return true;
}

bool read_all(int fd, uint8_t* data, int64_t n, int64_t at) {
    while (n > 0) {
        const ssize_t r = ::pread(fd, data, size_t(n), off_t(at));
        if (r <= 0) return false;
        data += r;
        at += r;
        n -= r;
    }
    return true;
}

bool is_power_of_two(int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

bool DisplaySourceOf(TMMWave& wave, DisplaySource& out) {
    if (wave.FileName().empty()) return false;
    std::error_code ec;
    const fs::path abs = fs::absolute(wave.FileName(), ec);
    if (ec) return false;
    try {
        TMMAcmWave probe;
        probe.SetFileName(abs.string());
        probe.SetTimeFormat(TMMTimeFormats::tfSample);
        const TWaveFormatEx* f = probe.DisplayFormat();
        if (!f || f->nChannels == 0 || f->nSamplesPerSec == 0) return false;
        out.wav_path = abs.lexically_normal().string();
        out.frames = probe.DataSize();
        out.rate = f->nSamplesPerSec;
        out.channels = f->nChannels;
    } catch (const std::exception&) {
        return false;
    }
    struct stat st {};
    if (::stat(out.wav_path.c_str(), &st) != 0) return false;
    out.time_stamp = uint32_t(st.st_mtim.tv_sec);
    out.wav_size = int64_t(st.st_size);
    return true;
}

int DisplayLevels(int64_t frames, uint32_t rate) {
    if (rate == 0) return 0;
    const double ms = double(frames + 1) / double(rate) * 1000.0;
    const double l = std::trunc(std::log2(ms));
    return l > 0 ? int(l) : 0;
}

int64_t DisplayFileBytes(int levels, int channels) {
    return kDisplayHeaderBytes + DisplayEntryBytes(channels) * (int64_t(2) << levels) +
           kDisplayTrailerBytes;
}

std::string DisplayFileName(const std::string& wav_path) {
    const fs::path p(wav_path);
    std::string ext = p.extension().string();
    std::string stem = p.stem().string();
    if (stem.empty() && !ext.empty()) {  // ".wav" alone is a name, not an extension
        stem = ext;
        ext.clear();
    }
    std::string name = upper(stem);
    if (!ext.empty() && upper(ext) != ".WAV") name += upper(ext.substr(1));
    return name + ".SDD";
}

std::string DisplayCacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute()) return (fs::path(xdg) / "Murrelphonic").string();
    const char* home = std::getenv("HOME");
    return (fs::path(home && *home ? home : "/tmp") / ".cache" / "Murrelphonic").string();
}

std::string DisplayCachePath(const std::string& wav_path) {
    // FNV-1a of the folder, folded to 32 bits.
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : fs::path(wav_path).parent_path().string()) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%08x-", unsigned(uint32_t(h ^ (h >> 32))));
    return (fs::path(DisplayCacheFolder()) / (prefix + DisplayFileName(wav_path))).string();
}

DisplayVolumeInfo ProbeDisplayVolume(const std::string& folder) {
    DisplayVolumeInfo info;
    struct statfs sf {};
    struct statvfs sv {};
    struct stat st {};
    if (::statfs(folder.c_str(), &sf) != 0 || ::statvfs(folder.c_str(), &sv) != 0 ||
        ::stat(folder.c_str(), &st) != 0) {
        info.unknown = true;
        return info;
    }
    info.ram_disk = long(sf.f_type) == kTmpfsMagic || long(sf.f_type) == kRamfsMagic;
    info.read_only = (sv.f_flag & ST_RDONLY) != 0;
    info.free_bytes = int64_t(sv.f_bavail) * int64_t(sv.f_frsize);
    // A partition's own entry has no "removable"; its disk (the parent) has.
    std::error_code ec;
    const fs::path dev = fs::canonical("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                                           std::to_string(minor(st.st_dev)),
                                       ec);
    if (!ec) {
        for (const fs::path& at : {dev, dev.parent_path()}) {
            std::ifstream in(at / "removable");
            char c = 0;
            if (in >> c) {
                info.removable = c == '1';
                break;
            }
        }
    }
    return info;
}

bool ParseDisplayHeader(const uint8_t* d, int64_t n, DisplayHeader& out) {
    if (n < kDisplayHeaderBytes) return false;
    out.signature = int32_t(get32(d));
    out.frames = get32(d + 4);
    out.time_stamp = get32(d + 8);
    out.finest_bytes = int32_t(get32(d + 12));
    out.resolution = int32_t(get32(d + 16));
    out.reserved = int32_t(get32(d + 20));
    return true;
}

bool DisplayFileValid(const std::string& sdd_path, const DisplaySource& source) {
    const int fd = ::open(sdd_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = false;
    uint8_t head[kDisplayHeaderBytes];
    struct stat st {};
    DisplayHeader h;
    const int64_t entry = DisplayEntryBytes(source.channels);
    if (::fstat(fd, &st) == 0 && read_all(fd, head, sizeof head, 0) &&
        ParseDisplayHeader(head, sizeof head, h) && h.signature == kDisplaySignature &&
        int64_t(h.frames) == source.frames && h.time_stamp == source.time_stamp &&
        h.resolution == 1 && entry > 0 && h.finest_bytes > 0 && h.finest_bytes % entry == 0 &&
        is_power_of_two(h.finest_bytes / entry) && int64_t(st.st_size) >= 2 * int64_t(h.finest_bytes)) {
        uint8_t tail[kDisplayTrailerBytes];
        const int64_t at = kDisplayHeaderBytes + 2 * int64_t(h.finest_bytes);
        if (read_all(fd, tail, sizeof tail, at)) {
            const uint64_t size = uint64_t(get32(tail)) | uint64_t(get32(tail + 4)) << 32;
            ok = size == uint64_t(source.wav_size);
        }
    }
    ::close(fd);
    return ok;
}

std::string ChooseDisplayFile(const DisplaySource& source, const DisplayVolumeProbe& probe) {
    const std::string cached = DisplayCachePath(source.wav_path);
    if (DisplayFileValid(cached, source)) return cached;
    const fs::path folder = fs::path(source.wav_path).parent_path();
    const DisplayVolumeInfo v = (probe ? probe : ProbeDisplayVolume)(folder.string());
    if (v.removable || v.read_only || v.ram_disk || v.unknown) return cached;
    const int levels = DisplayLevels(source.frames, source.rate);
    const int64_t needed = DisplayEntryBytes(source.channels) * (int64_t(1) << levels) * 2;
    if (v.free_bytes >= 0 && v.free_bytes < needed) return cached;
    return (folder / DisplayFileName(source.wav_path)).string();
}

// ---------------------------------------------------------------------------
// Building

namespace {

// Counts the work done against the whole and reports changed percents.
class BuildProgress {
public:
    BuildProgress(const DisplayProgress& cb, int64_t total) : cb_(cb), total_(std::max<int64_t>(total, 1)) {}
    // False when the callback asked to cancel.
    bool Add(int64_t bytes) {
        done_ += bytes;
        const int pct = int(std::min<int64_t>(100, done_ * 100 / total_));
        if (pct == last_) return true;
        last_ = pct;
        bool cancel = false;
        if (cb_) cb_(pct, cancel);
        return !cancel;
    }
    bool Finish() { return last_ == 100 || !cb_ ? true : Report100(); }

private:
    bool Report100() {
        last_ = 100;
        bool cancel = false;
        cb_(100, cancel);
        return true;
    }
    const DisplayProgress& cb_;
    int64_t total_;
    int64_t done_ = 0;
    int last_ = -1;
};

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Level `levels` of the file: 2^levels parts of the frames, each the min/max
// per channel. Returns false on a cancel or write failure.
bool BuildFinestLevel(TMMAcmWave& w, int fd, int levels, int channels, int bits, int64_t frames,
                      BuildProgress& progress, bool& cancelled) {
    const int64_t entry = DisplayEntryBytes(channels);
    const int64_t parts = int64_t(1) << levels;
    const int bpf = channels * bits / 8;
    std::vector<uint8_t> out(size_t(entry * 8192));
    int64_t out_fill = 0;
    int64_t write_at = kDisplayHeaderBytes + parts * entry;
    auto flush = [&]() {
        if (!write_all(fd, out.data(), out_fill, write_at)) return false;
        write_at += out_fill;
        const int64_t n = out_fill;
        out_fill = 0;
        if (!progress.Add(n)) cancelled = true;
        return !cancelled;
    };

    constexpr int64_t kBlockFrames = 32768;
    std::vector<uint8_t> in(size_t(kBlockFrames * bpf));
    int64_t in_frames = 0, in_at = 0;  // frames in the block, next frame to take
    bool eof = false;
    std::vector<int> lo(static_cast<size_t>(channels)), hi(static_cast<size_t>(channels));
    int64_t frame = 0;
    for (int64_t k = 1; k <= parts; ++k) {
        const int64_t part_end = k * frames / parts;
        std::fill(lo.begin(), lo.end(), 32767);
        std::fill(hi.begin(), hi.end(), -32768);
        bool any = false;
        while (frame < part_end) {
            if (in_at == in_frames) {
                if (eof) break;
                const int64_t n = w.ReadData(in.data(), int64_t(in.size()));
                if (n <= 0) {
                    eof = true;
                    break;
                }
                in_frames = n / bpf;
                in_at = 0;
                if (!progress.Add(n)) {
                    cancelled = true;
                    return false;
                }
                if (in_frames == 0) {
                    eof = true;
                    break;
                }
            }
            const int64_t take = std::min(part_end - frame, in_frames - in_at);
            if (bits == 16) {
                const uint8_t* p = in.data() + in_at * bpf;
                for (int64_t f = 0; f < take; ++f)
                    for (int c = 0; c < channels; ++c, p += 2) {
                        const int v = get16(p);
                        lo[size_t(c)] = std::min(lo[size_t(c)], v);
                        hi[size_t(c)] = std::max(hi[size_t(c)], v);
                    }
            } else {
                const uint8_t* p = in.data() + in_at * bpf;
                for (int64_t f = 0; f < take; ++f)
                    for (int c = 0; c < channels; ++c, ++p) {
                        const int v = int(*p) * 256 - 32768;
                        lo[size_t(c)] = std::min(lo[size_t(c)], v);
                        hi[size_t(c)] = std::max(hi[size_t(c)], v);
                    }
            }
            any = any || take > 0;
            in_at += take;
            frame += take;
        }
        uint8_t* e = out.data() + out_fill;
        for (int c = 0; c < channels; ++c) {
            put16(e + 4 * c, any ? int16_t(lo[size_t(c)]) : 0);
            put16(e + 4 * c + 2, any ? int16_t(hi[size_t(c)]) : 0);
        }
        out_fill += entry;
        if (out_fill == int64_t(out.size()) && !flush()) return false;
    }
    return out_fill == 0 || flush();
}

// Levels below the finest: each entry merges the two below it.
bool BuildCoarseLevels(int fd, int levels, int channels, BuildProgress& progress, bool& cancelled) {
    const int64_t entry = DisplayEntryBytes(channels);
    constexpr int64_t kBlock = 200;
    std::vector<uint8_t> in(size_t(kBlock * entry)), out(size_t(kBlock / 2 * entry));
    for (int level = levels - 1; level >= 0; --level) {
        const int64_t below = int64_t(2) << level;  // entries and first index of level + 1
        for (int64_t j = 0; j < below; j += kBlock) {
            const int64_t n = std::min(kBlock, below - j);
            if (!read_all(fd, in.data(), n * entry, kDisplayHeaderBytes + (below + j) * entry))
                return false;
            for (int64_t m = 0; m < n / 2; ++m) {
                const uint8_t* a = in.data() + 2 * m * entry;
                const uint8_t* b = a + entry;
                uint8_t* o = out.data() + m * entry;
                for (int c = 0; c < channels; ++c) {
                    put16(o + 4 * c, std::min(get16(a + 4 * c), get16(b + 4 * c)));
                    put16(o + 4 * c + 2, std::max(get16(a + 4 * c + 2), get16(b + 4 * c + 2)));
                }
            }
            const int64_t wrote = n / 2 * entry;
            const int64_t at = kDisplayHeaderBytes + ((int64_t(1) << level) + j / 2) * entry;
            if (!write_all(fd, out.data(), wrote, at)) return false;
            if (!progress.Add(n * entry + wrote)) {
                cancelled = true;
                return false;
            }
        }
    }
    return true;
}

}  // namespace

DisplayBuildResult BuildDisplayFile(TMMWave& wave, const std::string& sdd_path,
                                    const DisplayProgress& progress) {
    DisplaySource src;
    if (!DisplaySourceOf(wave, src)) return DisplayBuildResult::Failed;
    TMMAcmWave w;
    int bits = 0;
    try {
        w.SetFileName(src.wav_path);
        w.SetTimeFormat(TMMTimeFormats::tfByte);
        w.SetIOBufferSize(100000);
        w.SetSkipList(nullptr);
        const TWaveFormatEx* f = w.DisplayFormat();
        if (!f || (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) ||
            w.OutputFormat()->nChannels != f->nChannels)
            return DisplayBuildResult::Failed;
        bits = f->wBitsPerSample;
        w.OpenFile();
        w.SetPosition(0);
    } catch (const std::exception&) {
        return DisplayBuildResult::Failed;
    }
    const int levels = DisplayLevels(src.frames, src.rate);
    const int64_t entry = DisplayEntryBytes(src.channels);
    const int64_t finest = entry << levels;
    if (finest > INT32_MAX) return DisplayBuildResult::Failed;

    ::unlink(sdd_path.c_str());
    Fd file;
    file.fd = ::open(sdd_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file.fd < 0) return DisplayBuildResult::Failed;

    BuildProgress report(progress, finest * 4 + src.frames * int64_t(src.channels) * bits / 8);
    bool cancelled = false;
    bool ok = false;
    try {
        ok = BuildFinestLevel(w, file.fd, levels, src.channels, bits, src.frames, report, cancelled) &&
             BuildCoarseLevels(file.fd, levels, src.channels, report, cancelled);
    } catch (const std::exception&) {
        ok = false;
    }
    if (ok) {
        uint8_t head[kDisplayHeaderBytes + kDisplayTrailerBytes] = {};
        put32(head, uint32_t(kDisplaySignature));
        put32(head + 4, uint32_t(src.frames));
        put32(head + 8, src.time_stamp);
        put32(head + 12, uint32_t(finest));
        put32(head + 16, 1);
        uint8_t* tail = head + kDisplayHeaderBytes;
        put32(tail, uint32_t(uint64_t(src.wav_size)));
        put32(tail + 4, uint32_t(uint64_t(src.wav_size) >> 32));
        ok = write_all(file.fd, tail, kDisplayTrailerBytes, kDisplayHeaderBytes + 2 * finest) &&
             write_all(file.fd, head, kDisplayHeaderBytes, 0);
    }
    if (!ok) {
        ::close(file.fd);
        file.fd = -1;
        ::unlink(sdd_path.c_str());
        return cancelled ? DisplayBuildResult::Cancelled : DisplayBuildResult::Failed;
    }
    report.Finish();
    return DisplayBuildResult::Built;
}

}  // namespace murrel
