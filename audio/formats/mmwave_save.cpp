// Creating, finalising and saving WAV files.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "audio/formats/mmwave.h"

namespace murrel {

namespace {

using namespace chunk_id;

int64_t Padded(int64_t n) { return n + (n & 1); }

int64_t StatvfsFreeSpace(const std::string& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return -1;
    return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}

// Bytes the chunks after the data take when a file is finalised.
int64_t TrailerBytes(const WaveIOBlock& b) {
    int64_t n = b.fact_offset >= 0 ? 0 : 12;
    if (!b.fmt_in_place) n += 8 + Padded(18 + int64_t(b.format.extra.size()));
    if (!b.disp_in_place)
        for (const auto& d : b.disp_list) n += 8 + Padded(4 + int64_t(d.data.size()));
    int64_t info = 0;
    if (!b.info_in_place)
        for (const auto& i : b.info_list)
        if (!i.text.empty()) info += 8 + Padded(int64_t(i.text.size()) + 1);
    if (info > 0) n += 12 + info;
    return n;
}

bool WriteFormatChunk(RiffFile& h, const TWaveFormatEx& f) {
    RiffChunk fmt;
    if (!h.create_chunk(fmt, kFmt)) return false;
    bool ok = h.write_u16(f.wFormatTag) && h.write_u16(f.nChannels) && h.write_u32(f.nSamplesPerSec) &&
              h.write_u32(f.nAvgBytesPerSec) && h.write_u16(f.nBlockAlign) &&
              h.write_u16(f.wBitsPerSample) && h.write_u16(uint16_t(f.extra.size()));
    if (ok && !f.extra.empty()) ok = h.write(f.extra.data(), int64_t(f.extra.size())) == int64_t(f.extra.size());
    return ok && h.ascend(fmt);
}

// Reserves a file in `folder` named like the platform's temporary files
// ("w" + a number from 1 to 256 in hex + ".tmp"), opened exclusively so that
// an existing file is never taken; when all 256 exist, a longer random name.
bool ReserveTempFile(const std::string& folder, RiffFile& file, std::string& path) {
    std::random_device rd;
    std::mt19937 gen(rd());
    int first = std::uniform_int_distribution<int>(1, 256)(gen);
    for (int k = 0; k < 256; ++k) {
        int n = (first - 1 + k) % 256 + 1;
        char name[32];
        std::snprintf(name, sizeof name, "w%X.tmp", n);
        path = folder + "/" + name;
        if (file.open(path, RiffFile::Mode::Create, true)) return true;
        if (file.errno_value() != EEXIST) return false;
    }
    for (int k = 0; k < 1000; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "w%08X.tmp", unsigned(gen()));
        path = folder + "/" + name;
        if (file.open(path, RiffFile::Mode::Create, true)) return true;
        if (file.errno_value() != EEXIST) return false;
    }
    return false;
}

}  // namespace

void TMMWave::ComputeDataLimit(WaveIOBlock& b) {
    // RIFF size = everything after its 8-byte header, data pad byte included.
    b.max_data_bytes = std::max<int64_t>(
        0, int64_t(UINT32_MAX) - (b.data_offset - 8) - TrailerBytes(b) - 1);
}

std::unique_ptr<WaveIOBlock> TMMWave::CreateBlock(const std::string& path,
                                                  const TWaveFormatEx& format, bool exclusive) {
    auto block = std::make_unique<WaveIOBlock>();
    WaveIOBlock& b = *block;
    if (!b.handle.open(path, RiffFile::Mode::Create, exclusive))
        throw EMMWaveError(WaveError::CreateError);
    if (!b.handle.set_buffer(size_t(io_buffer_size_))) {
        b.handle.close();
        throw EMMWaveError(WaveError::BufferError);
    }
    b.format = format;
    if (b.format.wFormatTag == WAVE_FORMAT_PCM) b.format.extra.clear();
    b.format.cbSize = uint16_t(b.format.extra.size());
    RiffFile& h = b.handle;
    bool ok = h.create_chunk(b.riff_chunk, kRIFF, kWAVE) && WriteFormatChunk(h, b.format) &&
              h.create_chunk(b.data_chunk, kData);
    if (!ok) {
        h.close();
        throw EMMWaveError(WaveError::CreateError);
    }
    b.path = path;
    b.created = true;
    b.mode = 2;
    b.data_offset = b.data_chunk.data_offset;
    b.file_size = b.data_offset;
    // Finalised on closing even when nothing is written, so that an empty
    // recording is a well-formed file rather than one with its sizes at 0.
    b.data_chunk.dirty = true;
    return block;
}

void TMMWave::CreateFile(const std::string& path, const TWaveFormatEx& format) {
    if (path.empty() || path.back() == '/' || !FormatUsable(format))
        throw EMMWaveError(WaveError::CreateError);
    std::error_code ec;
    std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (ec || std::filesystem::is_directory(full, ec)) throw EMMWaveError(WaveError::CreateError);
    BeginUpdate();
    try {
        FreeWave();
        ::unlink(full.c_str());
        auto block = CreateBlock(full, format, false);
        Attach(std::move(block), full);
        opened_ = true;
        SetWriteState();
        InvalidatePlayList();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    Notify(ObjectEvent::Opened);
}

bool TMMWave::Finalise(WaveIOBlock& b) {
    RiffFile& h = b.handle;
    if (!h.flush() || !h.seek(b.data_offset + b.data_bytes)) return false;
    b.data_chunk.offset = b.data_offset - 8;
    if (!h.ascend(b.data_chunk)) return false;
    // Everything after the data is rewritten; a format found there goes first.
    if (!b.fmt_in_place && !WriteFormatChunk(h, b.format)) return false;
    uint32_t samples = uint32_t(std::min<int64_t>(b.sample_count, UINT32_MAX));
    if (b.fact_offset >= 0) {
        int64_t after = h.tell();
        if (!h.seek(b.fact_offset) || !h.write_u32(samples) || !h.seek(after)) return false;
    } else {
        RiffChunk fact;
        if (!h.create_chunk(fact, kFact) || !h.write_u32(samples) || !h.ascend(fact)) return false;
    }
    for (const WaveDispChunk& d : b.disp_in_place ? std::vector<WaveDispChunk>{} : b.disp_list) {
        RiffChunk disp;
        if (!h.create_chunk(disp, kDisp) || !h.write_u32(d.type)) return false;
        if (!d.data.empty() && h.write(d.data.data(), int64_t(d.data.size())) != int64_t(d.data.size()))
            return false;
        if (!h.ascend(disp)) return false;
    }
    bool any_info = !b.info_in_place && std::any_of(b.info_list.begin(), b.info_list.end(),
                                [](const WaveInfoItem& i) { return !i.text.empty(); });
    if (any_info) {
        RiffChunk list;
        if (!h.create_chunk(list, kList, kInfo)) return false;
        for (const WaveInfoItem& i : b.info_list) {
            if (i.text.empty()) continue;
            RiffChunk item;
            if (!h.create_chunk(item, i.id) ||
                h.write(i.text.c_str(), int64_t(i.text.size()) + 1) != int64_t(i.text.size()) + 1 ||
                !h.ascend(item))
                return false;
        }
        if (!h.ascend(list)) return false;
    }
    b.riff_chunk.offset = 0;
    if (!h.ascend(b.riff_chunk)) return false;
    int64_t end = h.tell();
    // A rewritten file may be shorter than what was there before.
    if (!h.truncate(end)) return false;
    b.riff_chunk.size = uint64_t(end - 8);
    return true;
}

void TMMWave::SaveToFile(const std::string& path) {
    if (!io_ || path.empty() || path.back() == '/') throw EMMWaveError(WaveError::InvalidParam);
    std::error_code ec;
    std::filesystem::path target = std::filesystem::absolute(path, ec).lexically_normal();
    if (ec) throw EMMWaveError(WaveError::InvalidParam);
    std::string folder = target.parent_path().string();
    if (folder.empty()) folder.push_back('/');

    const bool was_open = opened_;
    const int64_t saved_position = position_;
    if (!was_open) {
        try {
            OpenFile();
        } catch (const EMMWaveError&) {
            throw EMMWaveError(WaveError::SaveError);
        }
    }
    auto restore = [&] {
        try {
            if (was_open) {
                SetPosition(SamplesToUnits(saved_position));
            } else {
                CloseFile();
                position_ = saved_position;
            }
        } catch (const EMMWaveError&) {
        }
    };

    TMMWave temp;
    temp.SetIOBufferSize(io_buffer_size_);
    std::string temp_path;
    WaveError failure = WaveError::SaveError;
    bool failed = true;
    try {
        SetPosition(0);
        const TWaveFormatEx format = *EffectiveFormat();
        const int64_t total = LengthInBytes();
        RiffFile probe;
        if (!ReserveTempFile(folder, probe, temp_path)) {
            temp_path.clear();
            throw EMMWaveError(WaveError::SaveError);
        }
        probe.close();
        // The reserved file is ours now; it is written in place.
        auto block = temp.CreateBlock(temp_path, format, false);
        block->disp_list = io_->disp_list;
        block->info_list = io_->info_list;
        temp.Attach(std::move(block), temp_path);
        temp.opened_ = true;
        temp.SetWriteState();
        if (total > temp.io_->max_data_bytes) throw EMMWaveError(WaveError::TooLarge);

        int64_t block_bytes = std::max<int64_t>(format.nAvgBytesPerSec, format.nBlockAlign);
        block_bytes -= block_bytes % std::max<int64_t>(1, format.nBlockAlign);
        std::vector<uint8_t> buf(size_t(std::max<int64_t>(block_bytes, 4)));
        const FreeSpaceQuery& free_space =
            FreeSpace ? FreeSpace : FreeSpaceQuery(StatvfsFreeSpace);
        int64_t done = 0;
        for (;;) {
            int64_t n = ReadData(buf.data(), block_bytes);
            if (n <= 0) break;
            int64_t room = free_space(folder);
            if (room >= 0 && room < n + io_buffer_size_ + 10240) throw EMMWaveError(WaveError::SaveError);
            if (temp.WriteData(buf.data(), n) != n)
                throw EMMWaveError(temp.last_error_ == WaveErrorText(WaveError::TooLarge)
                                       ? WaveError::TooLarge
                                       : WaveError::SaveError);
            done += n;
            bool cancel = false;
            if (OnProgress) OnProgress(*this, done, total, cancel);
            if (cancel) throw EMMWaveError(WaveError::SaveAborted);
        }
        try {
            temp.CloseFile();
        } catch (const EMMWaveError&) {
            throw EMMWaveError(WaveError::SaveError);
        }
        temp.FreeWave();
        if (::rename(temp_path.c_str(), target.c_str()) != 0) throw EMMWaveError(WaveError::SaveError);
        failed = false;
    } catch (const EMMWaveError& e) {
        failure = e.code();
    } catch (const std::exception&) {
        failure = WaveError::SaveError;
    }
    if (failed) {
        temp.SyncWindow();
        if (temp.io_) temp.io_->handle.close();  // nothing of it is worth finalising
        temp.opened_ = false;
        temp.SetWriteState();
        temp.io_.reset();
        temp.file_name_.clear();
        if (!temp_path.empty()) ::unlink(temp_path.c_str());
        restore();
        throw EMMWaveError(failure);
    }
    if (target.string() != file_name_) {
        restore();
        return;
    }
    // The file under this wave was replaced: read it afresh.
    BeginUpdate();
    try {
        if (opened_) CloseFile();
        io_.reset();
        std::string name = file_name_;
        file_name_.clear();
        SetFileName(name);
        if (was_open) {
            OpenFile();
            SetPosition(SamplesToUnits(saved_position));
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

}  // namespace murrel
