#include "editor/displayregistry.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "audio/formats/acmwave.h"

namespace murrel {

namespace fs = std::filesystem;

struct TMMDisplayRegistry::Record {
    DisplaySource source;
    std::string file;
    int refs = 0;
    int fd = -1;
    uint64_t last_access = 0;
    std::vector<uint8_t> window;  // kWindowBytes once the file was read
    int64_t window_at = 0;        // file offset of window[0]
    int64_t window_len = 0;       // bytes of the window holding file data
    int levels = -1;              // from the header of the open file
};

TMMDisplayRegistry& TMMDisplayRegistry::Instance() {
    static TMMDisplayRegistry registry;
    return registry;
}

TMMDisplayRegistry::TMMDisplayRegistry() = default;

TMMDisplayRegistry::~TMMDisplayRegistry() {
    for (auto& [key, r] : records_) Close(*r);
}

TMMDisplayRegistry::Record* TMMDisplayRegistry::Find(const std::string& key) const {
    const auto it = records_.find(key);
    return it == records_.end() ? nullptr : it->second.get();
}

std::string TMMDisplayRegistry::Register(TMMWave& wave) {
    DisplaySource src;
    if (!DisplaySourceOf(wave, src)) return "";
    std::unique_ptr<Record>& slot = records_[src.wav_path];
    if (!slot) {
        slot = std::make_unique<Record>();
        slot->source = src;
        slot->file = ChooseDisplayFile(src, Probe);
    }
    ++slot->refs;
    return src.wav_path;
}

void TMMDisplayRegistry::Close(Record& r) {
    if (r.fd >= 0) ::close(r.fd);
    r.fd = -1;
    r.window_len = 0;
    r.levels = -1;
}

void TMMDisplayRegistry::Release(const std::string& key, bool delete_file) {
    Record* r = Find(key);
    if (!r || --r->refs > 0) return;
    Close(*r);
    if (delete_file) ::unlink(r->file.c_str());
    records_.erase(key);
}

bool TMMDisplayRegistry::Valid(const std::string& key) {
    Record* r = Find(key);
    if (!r) return false;
    TMMAcmWave probe;
    try {
        probe.SetFileName(key);
    } catch (const std::exception&) {
        return false;
    }
    DisplaySource now;
    if (!DisplaySourceOf(probe, now)) return false;
    r->source = now;
    return DisplayFileValid(r->file, now);
}

DisplayBuildResult TMMDisplayRegistry::Build(const std::string& key, TMMWave& wave,
                                             const DisplayProgress& progress) {
    Record* r = Find(key);
    if (!r) return DisplayBuildResult::Failed;
    if (Valid(key)) return DisplayBuildResult::Built;
    Close(*r);
    const std::string cached = DisplayCachePath(key);
    std::error_code ec;
    if (r->file == cached) fs::create_directories(fs::path(cached).parent_path(), ec);
    DisplayBuildResult result = BuildDisplayFile(wave, r->file, progress);
    if (result == DisplayBuildResult::Failed && r->file != cached) {
        // Beside the WAV could not be written (permissions, full disk).
        fs::create_directories(fs::path(cached).parent_path(), ec);
        r->file = cached;
        result = BuildDisplayFile(wave, r->file, progress);
    }
    if (result == DisplayBuildResult::Built && !Valid(key)) result = DisplayBuildResult::Failed;
    return result;
}

void TMMDisplayRegistry::EnsureOpen(Record& r) {
    r.last_access = ++clock_;
    if (r.fd >= 0) return;
    if (OpenFiles() >= kMaxOpen) {
        Record* lru = nullptr;
        for (auto& [k, other] : records_)
            if (other->fd >= 0 && (!lru || other->last_access < lru->last_access)) lru = other.get();
        if (lru) {
            Close(*lru);
            r.window = std::move(lru->window);
            lru->window.clear();
        }
    }
    const int fd = ::open(r.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EMMWaveEditError(kCouldNotReadDisplayData);
    uint8_t head[kDisplayHeaderBytes];
    DisplayHeader h;
    const int64_t entry = DisplayEntryBytes(r.source.channels);
    if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head) ||
        !ParseDisplayHeader(head, sizeof head, h) || h.signature != kDisplaySignature || entry <= 0 ||
        h.finest_bytes < entry) {
        ::close(fd);
        throw EMMWaveEditError(kCouldNotReadDisplayData);
    }
    r.fd = fd;
    r.levels = int(std::log2(double(h.finest_bytes / entry)) + 0.5);
    r.window.resize(size_t(kWindowBytes));
    r.window_len = 0;
}

int TMMDisplayRegistry::Levels(const std::string& key) {
    Record* r = Find(key);
    if (!r) return -1;
    try {
        EnsureOpen(*r);
    } catch (const EMMWaveEditError&) {
        return -1;
    }
    return r->levels;
}

int TMMDisplayRegistry::Channels(const std::string& key) const {
    const Record* r = Find(key);
    return r ? r->source.channels : 0;
}

int64_t TMMDisplayRegistry::Frames(const std::string& key) const {
    const Record* r = Find(key);
    return r ? r->source.frames : 0;
}

void TMMDisplayRegistry::ReadEntry(const std::string& key, int64_t index, int16_t* out) {
    Record* r = Find(key);
    if (!r) throw EMMWaveEditError(kCouldNotReadDisplayData);
    EnsureOpen(*r);
    ++entry_reads_;
    const int64_t entry = DisplayEntryBytes(r->source.channels);
    const int64_t at = kDisplayHeaderBytes + index * entry;
    if (at < r->window_at || at + entry > r->window_at + r->window_len) {
        r->window_at = at - at % kWindowBytes;
        if (at + entry > r->window_at + kWindowBytes) r->window_at = at;
        ++window_reads_;
        const ssize_t n = ::pread(r->fd, r->window.data(), size_t(kWindowBytes), off_t(r->window_at));
        r->window_len = n > 0 ? n : 0;
        if (at + entry > r->window_at + r->window_len) throw EMMWaveEditError(kCouldNotReadDisplayData);
    }
    const uint8_t* p = r->window.data() + (at - r->window_at);
    for (int64_t i = 0; i < entry / 2; ++i) out[i] = int16_t(uint16_t(p[2 * i] | p[2 * i + 1] << 8));
}

std::string TMMDisplayRegistry::DisplayFile(const std::string& key) const {
    const Record* r = Find(key);
    return r ? r->file : "";
}

int TMMDisplayRegistry::References(const std::string& key) const {
    const Record* r = Find(key);
    return r ? r->refs : 0;
}

int TMMDisplayRegistry::OpenFiles() const {
    return int(std::count_if(records_.begin(), records_.end(),
                             [](const auto& kv) { return kv.second->fd >= 0; }));
}

bool TMMDisplayRegistry::IsOpen(const std::string& key) const {
    const Record* r = Find(key);
    return r && r->fd >= 0;
}

// ---------------------------------------------------------------------------

namespace {

void put_column(int16_t* out, const int16_t* entry, int channels) {
    out[0] = entry[0];
    out[1] = entry[1];
    out[2] = channels > 1 ? entry[2] : entry[0];
    out[3] = channels > 1 ? entry[3] : entry[1];
}

void LoadFromPcm(TMMAcmWave& pcm, int64_t frames, int64_t from, int64_t to, int64_t strip, int16_t* out) {
    const TWaveFormatEx* f = pcm.OutputFormat();
    if (!f || f->wFormatTag != WAVE_FORMAT_PCM || (f->wBitsPerSample != 8 && f->wBitsPerSample != 16))
        return;
    const int channels = f->nChannels;
    const int bps = f->wBitsPerSample / 8;
    const int64_t bpf = int64_t(channels) * bps;
    auto first_of = [&](int64_t c) { return std::min(frames, c * frames / strip); };
    auto end_of = [&](int64_t c) {
        return std::min(frames, std::max(first_of(c) + 1, (c + 1) * frames / strip));
    };
    const int64_t f0 = first_of(from), f1 = end_of(to - 1);
    if (f1 <= f0) return;
    std::vector<uint8_t> data(size_t((f1 - f0) * bpf));
    if (!pcm.Opened()) pcm.OpenFile();
    pcm.SetTimeFormat(TMMTimeFormats::tfSample);
    pcm.SetPosition(f0);
    int64_t got = 0;
    while (got < int64_t(data.size())) {
        const int64_t n = pcm.ReadData(data.data() + got, int64_t(data.size()) - got);
        if (n <= 0) break;
        got += n;
    }
    auto sample = [&](int64_t frame, int c) -> int {
        const uint8_t* p = data.data() + (frame - f0) * bpf + c * bps;
        return bps == 2 ? int(int16_t(uint16_t(p[0] | p[1] << 8))) : int(*p) * 256 - 32768;
    };
    const int64_t have = f0 + got / bpf;
    for (int64_t c = from; c < to; ++c) {
        int16_t* o = out + 4 * (c - from);
        const int64_t a = first_of(c), b = std::min(end_of(c), have);
        if (b <= a) continue;
        for (int ch = 0; ch < 2; ++ch) {
            const int src = std::min(ch, channels - 1);
            int lo = 32767, hi = -32768;
            for (int64_t fr = a; fr < b; ++fr) {
                const int v = sample(fr, src);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            o[2 * ch] = int16_t(lo);
            o[2 * ch + 1] = int16_t(hi);
        }
    }
}

}  // namespace

void LoadPixelBuffer(TMMDisplayRegistry& registry, const std::string& key, TMMAcmWave& pcm, int64_t from,
                     int64_t to, int64_t strip, int16_t* out) {
    if (to <= from) return;
    std::fill(out, out + 4 * (to - from), int16_t(0));
    if (strip <= 0) return;
    const int levels = registry.Levels(key);
    if (levels < 0) throw EMMWaveEditError(kCouldNotReadDisplayData);
    if ((int64_t(1) << levels) < strip) {
        LoadFromPcm(pcm, registry.Frames(key), from, to, strip, out);
        return;
    }
    const int level = std::min(levels, int(std::trunc(std::log2(double(strip) + 0.5))) + 1);
    const int64_t n = int64_t(1) << level;
    const int channels = registry.Channels(key);
    std::vector<int16_t> entry(size_t(2 * channels));
    for (int64_t c = from; c < to; ++c) {
        const int64_t index = n + std::min(n - 1, n * c / strip);
        registry.ReadEntry(key, index, entry.data());
        put_column(out + 4 * (c - from), entry.data(), channels);
    }
}

}  // namespace murrel
