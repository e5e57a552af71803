#include "audio/formats/mmwave.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace murrel {

namespace {

// a × b ÷ c rounded to nearest (remainder × 2 ÷ c added), without overflow.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return 0;
    __int128 p = __int128(a) * b;
    __int128 q = p / c;
    __int128 r = p % c;
    q += (r * 2) / c;
    if (q > INT64_MAX) return INT64_MAX;
    if (q < INT64_MIN) return INT64_MIN;
    return int64_t(q);
}

std::string ExpandPath(const std::string& path) {
    std::error_code ec;
    auto full = std::filesystem::absolute(path, ec);
    if (ec) return path;
    return full.lexically_normal().string();
}

// Size of a regular file, -1 when it does not exist or is no regular file.
int64_t RegularFileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

}  // namespace

TMMWave::TMMWave() = default;

TMMWave::~TMMWave() {
    try {
        FreeWave();
    } catch (...) {
        // A finalisation failure has nobody left to be told.
    }
}

void TMMWave::Assign(const TMMWave& source) {
    if (&source == this) return;
    BeginUpdate();
    try {
        FileMustExist = source.FileMustExist;
        io_buffer_size_ = source.io_buffer_size_;
        time_format_ = source.time_format_;
        if (!opened_) no_fades_ = source.no_fades_;
        skip_list_ = source.skip_list_;
        if (source.file_name_.empty()) FreeWave();
        else SetFileName(source.file_name_);
        if (io_) {
            SettleWrites();
            end_pos_ = std::clamp<int64_t>(source.end_pos_, 0, io_->sample_count);
            start_pos_ = std::clamp<int64_t>(source.start_pos_, 0, end_pos_);
        }
        InvalidatePlayList();
        // Edit operations take over where the source stood.
        if (opened_) SetPosition(SamplesToUnits(source.position_));
        else position_ = std::max<int64_t>(0, source.position_);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

// ---------------------------------------------------------------------------
// Attaching

void TMMWave::SetFileName(const std::string& path) {
    if (path.empty()) {
        FreeWave();
        return;
    }
    std::string full = ExpandPath(path);
    int64_t size = RegularFileSize(full);
    if (full == file_name_ && io_ && size == io_->file_size) return;
    if (size < 0) {
        if (FileMustExist) throw EMMWaveError(WaveError::ReadError);
        BeginUpdate();
        FreeWave();
        file_name_ = full;
        EndUpdate();
        return;
    }
    auto block = std::make_unique<WaveIOBlock>();
    RiffFile& h = block->handle;
    // Like a read-only attribute: no write permission bit at all counts even
    // for a user the system would let write.
    struct stat st {};
    bool read_only = ::stat(full.c_str(), &st) != 0 ||
                     (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
                     ::access(full.c_str(), W_OK) != 0;
    bool opened = !read_only && h.open(full, RiffFile::Mode::ReadWrite);
    if (!opened) {
        read_only = true;
        opened = h.open(full, RiffFile::Mode::Read);
    }
    bool parsed = opened && h.set_buffer(size_t(io_buffer_size_)) && ParseWaveFile(h, *block);
    h.close();
    if (!parsed) {
        // Only a wave that is itself valid makes this a read error of a wave.
        bool current_valid = io_ != nullptr;
        throw EMMWaveError(current_valid ? WaveError::ReadError : WaveError::InvalidFile);
    }
    block->read_only = read_only;
    block->path = full;
    BeginUpdate();
    try {
        FreeWave();
    } catch (...) {
        EndUpdate();
        throw;
    }
    Attach(std::move(block), full);
    EndUpdate();
}

void TMMWave::Attach(std::unique_ptr<WaveIOBlock> block, const std::string& path) {
    BeginUpdate();
    io_ = std::move(block);
    file_name_ = path;
    io_->sample_count = BytesToSamples(io_->data_bytes);
    io_->first_sample = 0;
    io_->last_sample = io_->sample_count;
    io_->bytes_left = io_->data_bytes;
    io_->current_sample = 0;
    ComputeDataLimit(*io_);
    start_pos_ = 0;
    end_pos_ = io_->sample_count;
    position_ = 0;
    last_error_ = nullptr;
    writes_pending_ = false;
    header_synced_at_ = io_->data_offset;
    InvalidatePlayList();
    OnFileAttached();
    EndUpdate();
}

void TMMWave::FreeWave() {
    if (file_name_.empty() && !io_) return;
    BeginUpdate();
    const char* failure = nullptr;
    if (opened_) {
        try {
            CloseFile();
        } catch (const EMMWaveError& e) {
            failure = e.what();
        }
    }
    io_.reset();
    opened_ = false;
    SetWriteState();
    file_name_.clear();
    play_list_.Clear();
    segment_stream_start_.clear();
    play_list_valid_ = false;
    start_pos_ = end_pos_ = position_ = 0;
    total_bytes_ = bytes_remaining_ = 0;
    segment_index_ = segment_bytes_left_ = 0;
    writes_pending_ = false;
    EndUpdate();
    if (failure) throw EMMWaveError(WaveError::WriteError);
}

void TMMWave::SetIOBufferSize(int32_t bytes) {
    bytes = std::max<int32_t>(bytes, 8192);
    if (bytes == io_buffer_size_) return;
    io_buffer_size_ = bytes;
    SyncWindow();
    if (opened_ && io_ && !io_->handle.set_buffer(size_t(bytes)))
        throw EMMWaveError(WaveError::BufferError);
}

void TMMWave::SetTimeFormat(TMMTimeFormats format) {
    if (format == time_format_) return;
    BeginUpdate();
    time_format_ = format;
    InvalidatePlayList();
    EndUpdate();
}

void TMMWave::SetNoFades(bool value) {
    if (value == no_fades_) return;
    if (opened_) throw EMMWaveError(WaveError::PropertyWhileOpen);
    no_fades_ = value;
}

void TMMWave::SetSkipList(const TMMCutList* cuts) {
    BeginUpdate();
    skip_list_ = cuts;
    InvalidatePlayList();
    EndUpdate();
}

const WaveIOBlock* TMMWave::IOBlock() {
    SettleWrites();
    return io_.get();
}

// ---------------------------------------------------------------------------
// Format properties

const TWaveFormatEx* TMMWave::FileFormat() const { return io_ ? &io_->format : nullptr; }

int TMMWave::BitLength() const {
    const TWaveFormatEx* f = EffectiveFormat();
    return f ? f->wBitsPerSample : 0;
}

int TMMWave::Channels() const {
    const TWaveFormatEx* f = EffectiveFormat();
    return f ? f->nChannels : 0;
}

TMMMode TMMWave::Mode() const {
    int c = Channels();
    return c <= 1 ? TMMMode::mMono : c == 2 ? TMMMode::mStereo : TMMMode::mMultiChannel;
}

uint16_t TMMWave::FormatTag() const {
    const TWaveFormatEx* f = EffectiveFormat();
    return f ? f->wFormatTag : 0;
}

std::string TMMWave::FormatString() const {
    const TWaveFormatEx* f = EffectiveFormat();
    return f ? FormatTagName(f->wFormatTag) : std::string();
}

uint32_t TMMWave::SampleRate() const {
    const TWaveFormatEx* f = EffectiveFormat();
    return f ? f->nSamplesPerSec : 11025;
}

int64_t TMMWave::FileSize() const { return io_ ? io_->file_size : 0; }

int64_t TMMWave::DataSize() {
    SettleWrites();
    return io_ ? SamplesToUnits(io_->sample_count) : 0;
}

// ---------------------------------------------------------------------------
// Unit conversions

int64_t TMMWave::AvgBytesPerSec() const {
    const TWaveFormatEx* f = EffectiveFormat();
    return f ? f->nAvgBytesPerSec : 0;
}

int64_t TMMWave::SamplesToBytes(int64_t frames) const {
    const TWaveFormatEx* f = EffectiveFormat();
    if (!f || f->nSamplesPerSec == 0) return 0;
    int64_t bytes;
    if (io_ && io_->rate_override != 0)
        bytes = int64_t(std::llround(double(frames) * io_->rate_override / f->nSamplesPerSec));
    else
        bytes = MulDivRound(frames, f->nAvgBytesPerSec, f->nSamplesPerSec);
    int64_t align = std::max<int64_t>(1, f->nBlockAlign);
    return (bytes + align - 1) / align * align;
}

int64_t TMMWave::BytesToSamples(int64_t bytes) const {
    const TWaveFormatEx* f = EffectiveFormat();
    if (!f) return 0;
    if (io_ && io_->rate_override != 0)
        return int64_t(std::llround(double(bytes) * f->nSamplesPerSec / io_->rate_override));
    return MulDivRound(bytes, f->nSamplesPerSec, f->nAvgBytesPerSec);
}

int64_t TMMWave::SamplesToUnits(int64_t frames) const {
    switch (time_format_) {
        case TMMTimeFormats::tfSample: return frames;
        case TMMTimeFormats::tfByte: return SamplesToBytes(frames);
        case TMMTimeFormats::tfMillisecond: return MulDivRound(frames, 1000, SampleRate());
    }
    return frames;
}

int64_t TMMWave::UnitsToSamples(int64_t units) const {
    switch (time_format_) {
        case TMMTimeFormats::tfSample: return units;
        case TMMTimeFormats::tfByte: return BytesToSamples(units);
        case TMMTimeFormats::tfMillisecond: return MulDivRound(units, SampleRate(), 1000);
    }
    return units;
}

// ---------------------------------------------------------------------------
// Play list and positions

void TMMWave::BuildPlayList(TMMCutList& out) {
    BuildPlayListFromCuts(ToStreamFrames(start_pos_), ToStreamFrames(end_pos_), skip_list_,
                          [this](int64_t f) { return SamplesToBytes(f); }, out);
}

void TMMWave::SettleWrites() {
    SyncWindow();
    if (!writes_pending_ || !io_) return;
    writes_pending_ = false;
    WaveIOBlock& b = *io_;
    if (b.handle.is_open()) b.data_bytes = std::max(b.data_bytes, b.handle.tell() - b.data_offset);
    b.data_chunk.dirty = true;
    b.sample_count = BytesToSamples(b.data_bytes);
    b.last_sample = b.sample_count;
    int64_t at = b.handle.is_open() ? b.handle.tell() - b.data_offset : b.data_bytes;
    b.current_sample = BytesToSamples(at);
    b.bytes_left = std::max<int64_t>(0, b.data_bytes - at);
    b.file_size = std::max(b.file_size, b.data_offset + b.data_bytes);
    end_pos_ = b.sample_count;
    InvalidatePlayList();
}

void TMMWave::EnsurePlayList() {
    // Writes append at the file position: after them the play list is rebuilt
    // but the position must stay where the next write goes.
    const bool after_writes = writes_pending_ || (wend_ && wcur_ != wstart_);
    SettleWrites();
    if (play_list_valid_) return;
    play_list_valid_ = true;
    play_list_.Clear();
    segment_stream_start_.clear();
    total_bytes_ = 0;
    if (!io_) return;
    BuildPlayList(play_list_);
    segment_stream_start_.reserve(size_t(play_list_.Count()));
    for (const TMMCutRecord& r : play_list_.Items()) {
        segment_stream_start_.push_back(total_bytes_);
        total_bytes_ += r.length_bytes;
    }
    if (opened_ && !after_writes) {
        try {
            SeekStream(std::min(ToStreamFrames(position_), LengthInSamples()));
        } catch (const EMMWaveError&) {
            bytes_remaining_ = 0;  // reported by the next explicit seek
        }
    }
}

const TMMCutList& TMMWave::PlayList() {
    EnsurePlayList();
    return play_list_;
}

int64_t TMMWave::LengthInSamples() {
    EnsurePlayList();
    if (play_list_.Count() == 0) return io_ ? std::max<int64_t>(0, end_pos_ - start_pos_) : 0;
    int64_t sum = 0;
    for (const TMMCutRecord& r : play_list_.Items()) sum += r.length;
    return sum;
}

int64_t TMMWave::LengthInBytes() { return SamplesToBytes(LengthInSamples()); }
int64_t TMMWave::LengthInUnits() { return SamplesToUnits(LengthInSamples()); }

int64_t TMMWave::BytesLeft() {
    EnsurePlayList();
    return bytes_remaining_;
}

void TMMWave::SeekStream(int64_t frames) {
    int64_t offset = std::clamp<int64_t>(SamplesToBytes(std::max<int64_t>(0, frames)), 0, total_bytes_);
    bytes_remaining_ = total_bytes_ - offset;
    segment_index_ = 0;
    segment_bytes_left_ = 0;
    if (play_list_.Count() == 0) return;
    auto it = std::upper_bound(segment_stream_start_.begin(), segment_stream_start_.end(), offset);
    int64_t i = std::max<int64_t>(0, (it - segment_stream_start_.begin()) - 1);
    const TMMCutRecord& seg = play_list_.Items()[size_t(i)];
    int64_t within = std::min(offset - segment_stream_start_[size_t(i)], seg.length_bytes);
    segment_index_ = i;
    segment_bytes_left_ = seg.length_bytes - within;
    if (!SeekRaw(seg.start_bytes + within) && !SeekRaw(seg.start_bytes + within))
        throw EMMWaveError(WaveError::SeekError);
}

void TMMWave::SetPosition(int64_t value) {
    position_ = std::max<int64_t>(0, UnitsToSamples(value));
    if (opened_) {
        EnsurePlayList();
        int64_t stream = std::min(ToStreamFrames(position_), LengthInSamples());
        position_ = FromStreamFrames(stream);
        SeekStream(stream);
        PositionChanged();
    }
}

int64_t TMMWave::Position() const { return SamplesToUnits(position_); }

void TMMWave::SetStartPos(int64_t value) {
    SettleWrites();
    BeginUpdate();
    start_pos_ = std::clamp<int64_t>(UnitsToSamples(value), 0, end_pos_);
    InvalidatePlayList();
    EndUpdate();
}

int64_t TMMWave::StartPos() const { return SamplesToUnits(start_pos_); }

void TMMWave::SetEndPos(int64_t value) {
    SettleWrites();
    BeginUpdate();
    int64_t count = io_ ? io_->sample_count : 0;
    end_pos_ = std::clamp<int64_t>(UnitsToSamples(value), start_pos_, std::max(start_pos_, count));
    InvalidatePlayList();
    EndUpdate();
}

int64_t TMMWave::EndPos() const { return SamplesToUnits(end_pos_); }

// ---------------------------------------------------------------------------
// Reading and writing

void TMMWave::OpenFile() {
    if (!io_) throw EMMWaveError(WaveError::OpenError);
    if (opened_) return;
    WaveIOBlock& b = *io_;
    bool ok = !b.read_only && b.handle.open(b.path, RiffFile::Mode::ReadWrite);
    if (!ok) {
        ok = b.handle.open(b.path, RiffFile::Mode::Read);
        if (ok) b.read_only = true;
    }
    if (!ok) throw EMMWaveError(WaveError::OpenError);
    b.mode = b.read_only ? 0 : 2;
    if (!b.handle.set_buffer(size_t(io_buffer_size_))) {
        b.handle.close();
        throw EMMWaveError(WaveError::BufferError);
    }
    InvalidatePlayList();
    EnsurePlayList();
    opened_ = true;
    try {
        int64_t stream = std::min(ToStreamFrames(position_), LengthInSamples());
        position_ = FromStreamFrames(stream);
        SeekStream(stream);
    } catch (const EMMWaveError&) {
        opened_ = false;
        b.handle.close();
        throw EMMWaveError(WaveError::OpenError);
    }
    SetWriteState();
    PositionChanged();
    Notify(ObjectEvent::Opened);
}

void TMMWave::CloseFile() {
    if (!io_ || !opened_) return;
    WaveIOBlock& b = *io_;
    SettleWrites();
    bool written = b.data_chunk.dirty;
    bool ok = true;
    if (written) ok = Finalise(b);
    if (!ok && b.created) SalvageHeader(b);
    if (!b.handle.close() && written) ok = false;
    opened_ = false;
    SetWriteState();
    segment_index_ = 0;
    segment_bytes_left_ = 0;
    if (written) {
        b.data_chunk.dirty = false;
        b.created = false;
        int64_t size = RegularFileSize(b.path);
        if (size >= 0) b.file_size = size;
        Changed();
    }
    Notify(ObjectEvent::Closed);
    if (!ok) {
        last_error_ = WaveErrorText(WaveError::WriteError);
        throw EMMWaveError(WaveError::WriteError);
    }
}

void TMMWave::SetWriteState() {
    SyncWindow();
    bool can = io_ && opened_ && !io_->read_only && io_->handle.writable();
    fast_handle_ = can ? &io_->handle : nullptr;
    write_limit_ = can ? io_->data_offset + io_->max_data_bytes : 0;
}

void TMMWave::OpenWindow() {
    uint8_t *begin, *end;
    if (!fast_handle_ || !fast_handle_->write_window(begin, end)) return;
    int64_t room = write_limit_ - fast_handle_->tell();
    if (room <= 0) return;
    if (end - begin > room) end = begin + room;
    wstart_ = wcur_ = begin;
    wend_ = end;
}

void TMMWave::SyncWindow() {
    if (!wend_) return;
    if (wcur_ != wstart_) {
        fast_handle_->commit_window(wcur_);
        writes_pending_ = true;
    }
    wstart_ = wcur_ = wend_ = nullptr;
}

int64_t TMMWave::WriteDataSlow(const void* buffer, int64_t n) {
    SyncWindow();
    WaveIOBlock* b = io_.get();
    if (!b || !opened_ || n < 0 || (!buffer && n > 0)) return -1;
    if (n == 0) return 0;
    RiffFile& h = b->handle;
    int64_t end = h.tell() + n - b->data_offset;
    if (end > b->max_data_bytes) {
        last_error_ = WaveErrorText(WaveError::TooLarge);
        return -1;
    }
    if (h.write(buffer, n) != n) {
        last_error_ = WaveErrorText(WaveError::WriteError);
        return -1;
    }
    writes_pending_ = true;
    if (b->created) {
        const int64_t every = std::max<int64_t>(int64_t(kHeaderSyncSeconds) * b->format.nAvgBytesPerSec, 65536);
        if (h.tell() - header_synced_at_ >= every) SyncHeaderSizes(*b);
    }
    if (n <= 4) OpenWindow();
    return n;
}

void TMMWave::SyncHeaderSizes(WaveIOBlock& b) {
    RiffFile& h = b.handle;
    header_synced_at_ = h.tell();
    // A failed flush keeps its data buffered; the next write or the closing
    // meets the error.
    if (!h.flush()) return;
    int64_t data = h.tell() - b.data_offset;
    data -= data % std::max<int64_t>(1, b.format.nBlockAlign);
    if (data < 0 || b.data_offset + data - 8 > int64_t(UINT32_MAX)) return;
    h.patch_u32(4, uint32_t(b.data_offset + data - 8));
    h.patch_u32(b.data_offset - 4, uint32_t(data));
}

void TMMWave::SalvageHeader(WaveIOBlock& b) {
    RiffFile& h = b.handle;
    const int64_t size = h.discard_pending();
    if (size < b.data_offset) return;
    int64_t data = std::min(size - b.data_offset, b.data_bytes);
    data -= data % std::max<int64_t>(1, b.format.nBlockAlign);
    // Shrinking needs no room, and the two sizes are written in place.
    if (!h.truncate(b.data_offset + data)) return;
    h.patch_u32(4, uint32_t(b.data_offset + data - 8));
    h.patch_u32(b.data_offset - 4, uint32_t(data));
}

int64_t TMMWave::ReadRaw(void* buffer, int64_t n) {
    SyncWindow();
    return io_->handle.read(buffer, n);
}

bool TMMWave::SeekRaw(int64_t stream_byte) {
    SyncWindow();
    return io_ && io_->handle.seek(io_->data_offset + stream_byte);
}

int64_t TMMWave::ReadData(void* buffer, int64_t n) {
    if (!io_ || !opened_ || n < 0 || (!buffer && n > 0)) return -1;
    EnsurePlayList();
    if (bytes_remaining_ <= 0) return -1;
    if (n == 0) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    const int64_t want = std::min(n, bytes_remaining_);
    const int64_t count = play_list_.Count();
    int64_t got = 0;
    while (got < want) {
        if (segment_bytes_left_ <= 0) {
            if (segment_index_ + 1 >= count) break;
            ++segment_index_;
            const TMMCutRecord& seg = play_list_.Items()[size_t(segment_index_)];
            if (!SeekRaw(seg.start_bytes)) break;
            segment_bytes_left_ = seg.length_bytes;
            continue;
        }
        int64_t r = ReadRaw(out + got, std::min(want - got, segment_bytes_left_));
        if (r <= 0) break;
        got += r;
        segment_bytes_left_ -= r;
    }
    if (got == 0) {
        // The file is shorter than its play list: hand out a little silence
        // once so the caller sees an end rather than a failure.
        int64_t k = std::min<int64_t>(n, 4);
        std::memset(out, 0, size_t(k));
        bytes_remaining_ = 0;
        position_ = FromStreamFrames(LengthInSamples());
        return k;
    }
    if (!no_fades_) ProcessReadData(out, got);
    bytes_remaining_ -= got;
    position_ = FromStreamFrames(BytesToSamples(total_bytes_ - bytes_remaining_));
    return got;
}

}  // namespace murrel
