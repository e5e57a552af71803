#pragma once
// TMMWave: the wave data object through which every WAV file is read and
// written. It parses a RIFF WAVE file, describes its format, reads its sample
// data through a play list (the presented range minus the skip list), creates
// new WAV files, appends data to them and finalises them on closing.
//
// Units: positions and lengths crossing the public interface are in
// TimeFormat units (frames by default); everything inside is 64-bit frames or
// bytes. A frame is one sample of every channel.
//
// Threads: none of its own and no locking; one thread at a time.
//
// Sizes: RIFF stores 32-bit sizes, so a file is limited to 4 GiB. WriteData
// refuses (returns -1, LastError() TooLarge) data that would carry the file
// past it, and SaveToFile raises TooLarge; nothing is ever written with a
// wrapped size. Files read may be larger when their sizes were never filled in.
//
// Extending (TMMEnhancedWave): derive and override the protected virtuals.
//  - EffectiveFormat(): the format ReadData delivers and every byte conversion
//    uses (default: the file's format).
//  - ToStreamFrames()/FromStreamFrames(): file frames <-> effective-format
//    frames (identity here). start_pos, end_pos and position stay in file
//    frames; the play list and all byte counts are in the effective format.
//  - BuildPlayList(): default is BuildPlayListFromCuts() over
//    [ToStreamFrames(start_pos), ToStreamFrames(end_pos)) and the skip list.
//  - ReadRaw()/SeekRaw(): read effective-format bytes at / move to a byte
//    offset of the effective data stream (default: file data, offset from
//    data_offset). A converter stage overrides both.
//  - ProcessReadData(): applied to every block ReadData delivers unless
//    NoFades() (fades; the override checks the format and its fade list).
//  - PositionChanged(): called after opening and after every repositioning.
//  - OnFileAttached(): called after a file was attached (FileName, CreateFile).
//  Any change that alters the play list must call InvalidatePlayList(); the
//  list is rebuilt lazily before the next read, seek or length query.
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/formats/mmwave_cutlist.h"
#include "audio/formats/mmwave_errors.h"
#include "audio/formats/mmwave_object.h"
#include "audio/formats/riff.h"
#include "audio/formats/waveformat.h"

namespace murrel {

enum class TMMTimeFormats { tfMillisecond, tfByte, tfSample };
enum class TMMMode { mMono, mStereo, mMultiChannel };

// A "DISP" chunk as read: its type word (1 text, 2 bitmap, 8 device-independent
// bitmap) and the bytes after it.
struct WaveDispChunk {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    bool operator==(const WaveDispChunk&) const = default;
};
// An item of the "LIST"/"INFO" chunk: one of the 23 known identifiers and its
// text without the terminating 0.
struct WaveInfoItem {
    uint32_t id = 0;
    std::string text;
    bool operator==(const WaveInfoItem&) const = default;
};
// Whether `id` is one of the 23 INFO identifiers kept (IARL … ITCH).
bool IsKnownInfoId(uint32_t id);

// The parsed and open state of one attached file. Sizes are 64-bit.
struct WaveIOBlock {
    uint32_t mode = 0;           // O_RDONLY / O_RDWR as the file was opened
    bool read_only = false;      // opened read-only (read-only permission or refused)
    bool created = false;        // made by CreateFile rather than parsed
    RiffFile handle;             // open between OpenFile/CreateFile and CloseFile
    RiffChunk riff_chunk;
    RiffChunk data_chunk;        // dirty after a write
    int64_t fact_offset = -1;    // offset of a "fact" chunk's value before the data, else -1
    int64_t fact_samples = -1;   // value of the "fact" chunk as read, -1 without one
    int64_t file_size = 0;
    int64_t data_bytes = 0;
    int64_t data_offset = 0;
    int64_t sample_count = 0;
    int64_t first_sample = 0;
    int64_t last_sample = 0;
    int64_t bytes_left = 0;
    int64_t current_sample = 0;
    std::string path;
    std::vector<WaveDispChunk> disp_list;
    std::vector<WaveInfoItem> info_list;
    // The file holds its DISP / INFO chunks before the data, where finalising
    // leaves them; otherwise finalising writes them after the data.
    bool disp_in_place = false;
    bool info_in_place = false;
    bool fmt_in_place = true;  // false when "fmt " follows the data: rewritten after it
    double rate_override = 0;    // when non-zero, replaces nAvgBytesPerSec in conversions
    TWaveFormatEx format;
    int64_t max_data_bytes = 0;  // data beyond this would break the 4 GiB limit
};

// Parses the RIFF WAVE structure of an open file into `block` (format, data
// range, fact, INFO, DISP), repairing harmless defects: sizes left 0 or too
// large by an unfinished writer, a missing pad byte, chunks in an unusual
// order, PCM block alignment and byte rate. False when it is not a usable wave.
bool ParseWaveFile(RiffFile& file, WaveIOBlock& block);

// Algorithm of the play list: the segments of [s, e) not covered by `cuts`
// (sorted by start, frames; overlapping cuts still remove every frame they
// cover), in order. `bytes` fills the byte fields.
// Without cuts, or with none, the single segment (s, e - s); when everything is
// cut, one empty segment.
void BuildPlayListFromCuts(int64_t s, int64_t e, const TMMCutList* cuts,
                           const std::function<int64_t(int64_t)>& bytes, TMMCutList& out);

class TMMWave : public TMMObject {
public:
    static constexpr int kHeaderSyncSeconds = 2;

    // (Sender, CurByte, NumBytes, Cancel): after each block of SaveToFile.
    using ProgressHandler = std::function<void(TMMWave&, int64_t, int64_t, bool&)>;
    // Free bytes on the volume holding `folder`, -1 when unknown (no check).
    using FreeSpaceQuery = std::function<int64_t(const std::string& folder)>;

    TMMWave();
    ~TMMWave() override;
    TMMWave(const TMMWave&) = delete;
    TMMWave& operator=(const TMMWave&) = delete;

    // Copies file name (re-attaching), must-exist flag, buffer size, time
    // format, range, skip list reference and no_fades; not the open state.
    virtual void Assign(const TMMWave& source);

    // --- attaching ---------------------------------------------------------
    const std::string& FileName() const { return file_name_; }
    // Attaches to an existing file (parsed now), or with FileMustExist false to
    // a name not yet existing; "" is FreeWave. The same name with an unchanged
    // file size does nothing. On an error the previous attachment is kept.
    // Raises ReadError / InvalidFile as documented in the error table.
    virtual void SetFileName(const std::string& path);
    bool FileMustExist = true;

    int32_t IOBufferSize() const { return io_buffer_size_; }
    // Never below 8192; raises BufferError when the open file refuses it.
    void SetIOBufferSize(int32_t bytes);

    TMMTimeFormats TimeFormat() const { return time_format_; }
    void SetTimeFormat(TMMTimeFormats format);

    // --- format, read from the attached file -------------------------------
    int BitLength() const;
    TMMMode Mode() const;
    int Channels() const;
    uint16_t FormatTag() const;
    std::string FormatString() const;  // "" without a file
    uint32_t SampleRate() const;       // 11025 without a file
    int64_t FileSize() const;
    int64_t DataSize();                // frames of the file in TimeFormat units
    bool IsEmpty() { return DataSize() == 0; }
    // The file's format, or nullptr without a file.
    const TWaveFormatEx* FileFormat() const;
    // The attached file's block (counts brought up to date), or nullptr.
    const WaveIOBlock* IOBlock();
    bool Opened() const { return opened_; }

    // --- life cycle ---------------------------------------------------------
    // Opens the attached file's handle for reading (and writing unless
    // read-only), rebuilds the play list and seeks to the current position.
    // Raises OpenError (no file, cannot open or seek) or BufferError.
    virtual void OpenFile();
    // Finalises a written file (sizes, pad byte, "fact", DISP, INFO), closes the
    // handle and resets the read cursor. A wave only read is closed without
    // writing. Raises WriteError when finalising fails (the handle is closed
    // all the same); a created file is then cut back to the data that reached
    // the disk and its header describes that, so it stays readable.
    virtual void CloseFile();
    // Closes and forgets the file. Does nothing without a file name or block.
    void FreeWave();
    // Creates `path` (an existing file of that name is replaced) with `format`
    // and leaves it open for writing at the start of the data. Raises
    // CreateError (the partly created file is closed) or BufferError.
    void CreateFile(const std::string& path, const TWaveFormatEx& format);

    // Writes at the current file position (appending after CreateFile); O(1).
    // A file being created gets its header's sizes brought up to what was
    // written every kHeaderSyncSeconds of audio, so that a crash leaves a
    // file that reads as far as it got.
    // Returns n, or -1 when no file is open for writing, the system refused the
    // data, or the 4 GiB limit would be passed (see LastError()).
    int64_t WriteData(const void* buffer, int64_t n) {
        // Callers writing a sample per call are common: the usual sizes go
        // straight into the file buffer, with no calls, divisions or
        // notifications. Counts catch up in SettleWrites.
        if (n == 2 && wend_ - wcur_ >= 2) {
            std::memcpy(wcur_, buffer, 2);
            wcur_ += 2;
            return 2;
        }
        if (n == 4 && wend_ - wcur_ >= 4) {
            std::memcpy(wcur_, buffer, 4);
            wcur_ += 4;
            return 4;
        }
        if (n == 1 && wend_ - wcur_ >= 1) {
            *wcur_++ = *static_cast<const uint8_t*>(buffer);
            return 1;
        }
        return WriteDataSlow(buffer, n);
    }
    // Reads the next bytes of the play list: returns the bytes read, -1 without
    // an open file or when nothing is left. When the file ends before the play
    // list does, min(n, 4) zero bytes are returned once and the wave is at its end.
    int64_t ReadData(void* buffer, int64_t n);
    // Text of the error of the last failed WriteData or CloseFile; nullptr when
    // none failed since the file was attached.
    const char* LastError() const { return last_error_; }

    // --- positions (TimeFormat units) ----------------------------------------
    // Clamped to the play-list length when open. Raises SeekError.
    virtual void SetPosition(int64_t value);
    int64_t Position() const;
    void SetStartPos(int64_t value);   // clamped to 0 … end
    int64_t StartPos() const;
    void SetEndPos(int64_t value);     // clamped to start … sample_count
    int64_t EndPos() const;
    int64_t LengthInSamples();         // frames of the play list (effective format)
    int64_t LengthInBytes();
    int64_t LengthInUnits();
    int64_t BytesLeft();

    // The skip list is referenced, never owned; nullptr removes it.
    virtual void SetSkipList(const TMMCutList* cuts);
    const TMMCutList* SkipList() const { return skip_list_; }
    const TMMCutList& PlayList();

    bool NoFades() const { return no_fades_; }
    // Raises PropertyWhileOpen while the file is open.
    void SetNoFades(bool value);

    // --- saving --------------------------------------------------------------
    // Writes the play list (skips and ProcessReadData applied) into `path` with
    // the same format, INFO and DISP. Goes through a temporary file in the
    // target's folder that never takes an existing name; the target is replaced
    // only when everything was written. Raises InvalidParam, SaveError,
    // SaveAborted or TooLarge; the temporary file is gone after any failure.
    // The wave's open state and position are as before. OnProgress is where the
    // caller lets pending window events run and turns its cancel flag into
    // Cancel; the wave itself polls nothing.
    void SaveToFile(const std::string& path);
    ProgressHandler OnProgress;
    FreeSpaceQuery FreeSpace;  // default: statvfs of the folder

    // --- unit conversions (effective format) ---------------------------------
    virtual int64_t SamplesToBytes(int64_t frames) const;
    virtual int64_t BytesToSamples(int64_t bytes) const;
    virtual int64_t SamplesToUnits(int64_t frames) const;
    virtual int64_t UnitsToSamples(int64_t units) const;

protected:
    virtual const TWaveFormatEx* EffectiveFormat() const { return FileFormat(); }
    virtual int64_t ToStreamFrames(int64_t file_frames) const { return file_frames; }
    virtual int64_t FromStreamFrames(int64_t stream_frames) const { return stream_frames; }
    virtual void BuildPlayList(TMMCutList& out);
    virtual int64_t ReadRaw(void* buffer, int64_t n);
    virtual bool SeekRaw(int64_t stream_byte);
    virtual void ProcessReadData(void* /*buffer*/, int64_t /*n*/) {}
    virtual void PositionChanged() {}
    virtual void OnFileAttached() {}

    void InvalidatePlayList() { play_list_valid_ = false; }
    WaveIOBlock* Block() {
        SyncWindow();
        return io_.get();
    }
    // Frames stored in file frames.
    int64_t start_pos_ = 0;
    int64_t end_pos_ = 0;
    int64_t position_ = 0;  // frames of the play stream

private:
    int64_t WriteDataSlow(const void* buffer, int64_t n);
    void SetWriteState();
    void OpenWindow();
    void SyncWindow();
    void EnsurePlayList();
    void SettleWrites();
    void Attach(std::unique_ptr<WaveIOBlock> block, const std::string& path);
    void SeekStream(int64_t frames);
    bool Finalise(WaveIOBlock& b);
    void SyncHeaderSizes(WaveIOBlock& b);
    void SalvageHeader(WaveIOBlock& b);
    void ComputeDataLimit(WaveIOBlock& b);
    std::unique_ptr<WaveIOBlock> CreateBlock(const std::string& path, const TWaveFormatEx& format,
                                             bool exclusive);
    int64_t AvgBytesPerSec() const;

    std::unique_ptr<WaveIOBlock> io_;
    std::string file_name_;
    int32_t io_buffer_size_ = 32768;
    TMMTimeFormats time_format_ = TMMTimeFormats::tfSample;
    bool opened_ = false;
    bool no_fades_ = false;
    bool writes_pending_ = false;  // data_bytes and counts lag behind the file position
    RiffFile* fast_handle_ = nullptr;  // the open, writable handle, else nullptr
    int64_t write_limit_ = 0;          // file offset writes may not pass (4 GiB rule)
    // Free part of the file's write buffer WriteData may fill directly; empty
    // unless a write just happened. SyncWindow hands it back to the file.
    uint8_t* wstart_ = nullptr;
    uint8_t* wcur_ = nullptr;
    uint8_t* wend_ = nullptr;
    const TMMCutList* skip_list_ = nullptr;
    TMMCutList play_list_;
    std::vector<int64_t> segment_stream_start_;  // stream byte offset of each segment
    bool play_list_valid_ = false;
    int64_t total_bytes_ = 0;
    int64_t bytes_remaining_ = 0;
    int64_t segment_index_ = 0;
    int64_t segment_bytes_left_ = 0;
    const char* last_error_ = nullptr;
    int64_t header_synced_at_ = 0;  // file offset the header's sizes last covered
};

}  // namespace murrel
