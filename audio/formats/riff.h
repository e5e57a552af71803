#pragma once
// Buffered file access with RIFF chunk navigation: the engine's own layer over
// a POSIX file descriptor. One buffer serves reading and writing; switching
// direction or seeking writes out what is pending. Offsets and sizes are
// 64-bit; chunk size fields on disk are 32-bit little-endian.
//
// Not thread-safe: one user at a time. Errors are reported by return values;
// errno_value() keeps the last system error.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace murrel {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
std::string FourCCText(uint32_t id);

// The chunk identifiers of a WAV file that reading and saving both need.
namespace chunk_id {
inline constexpr uint32_t kRIFF = FourCC('R', 'I', 'F', 'F');
inline constexpr uint32_t kWAVE = FourCC('W', 'A', 'V', 'E');
inline constexpr uint32_t kFmt = FourCC('f', 'm', 't', ' ');
inline constexpr uint32_t kData = FourCC('d', 'a', 't', 'a');
inline constexpr uint32_t kFact = FourCC('f', 'a', 'c', 't');
inline constexpr uint32_t kList = FourCC('L', 'I', 'S', 'T');
inline constexpr uint32_t kInfo = FourCC('I', 'N', 'F', 'O');
inline constexpr uint32_t kDisp = FourCC('D', 'I', 'S', 'P');
}  // namespace chunk_id

// One chunk: `offset` is the file offset of its 8-byte header, `data_offset`
// of its first data byte (after the form type for RIFF and LIST). `size` is the
// value of the size field (form type included for RIFF and LIST).
struct RiffChunk {
    uint32_t id = 0;
    uint64_t size = 0;
    uint32_t form_type = 0;
    int64_t offset = -1;
    int64_t data_offset = -1;
    bool dirty = false;  // set by the owner when data was written into it
};

class RiffFile {
public:
    enum class Mode { Read, ReadWrite, Create };  // Create truncates or creates

    static constexpr size_t kDefaultBuffer = 32768;

    RiffFile() = default;
    ~RiffFile();
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    // Opens `path`; false with errno_value() set on failure. Create opens with
    // O_CREAT|O_TRUNC unless `exclusive`, which refuses an existing name.
    bool open(const std::string& path, Mode mode, bool exclusive = false);
    // Flushes and closes; false when pending data could not be written.
    bool close();
    bool is_open() const { return fd_ >= 0; }
    bool writable() const { return writable_; }
    int errno_value() const { return errno_; }

    // Buffer size in bytes (pending data written first); false on failure.
    bool set_buffer(size_t bytes);
    size_t buffer_size() const { return cap_; }

    // Reads up to n bytes at the current position; returns bytes read (0 at the
    // end of the file), -1 on an error.
    int64_t read(void* dst, int64_t n) {
        if (!writing_ && n > 0 && pos_ + uint64_t(n) <= len_) {
            std::memcpy(dst, buf_.data() + pos_, size_t(n));
            pos_ += size_t(n);
            return n;
        }
        return read_slow(dst, n);
    }
    // Writes n bytes at the current position; returns n, or -1 when the file is
    // not writable or the system refused data (then nothing is known to be on
    // disk past the last successful flush).
    int64_t write(const void* src, int64_t n) {
        if (writing_ && n > 0 && pos_ + uint64_t(n) <= cap_) {
            std::memcpy(buf_.data() + pos_, src, size_t(n));
            pos_ += size_t(n);
            return n;
        }
        return write_slow(src, n);
    }
    // Direct access to the write buffer for callers appending tiny pieces:
    // [begin, end) is free buffer space at the current position. After putting
    // k bytes there, commit_window(begin + k) before any other call on the file.
    bool write_window(uint8_t*& begin, uint8_t*& end);
    void commit_window(const uint8_t* cur) { pos_ = size_t(cur - data_); }
    int64_t tell() const { return base_ + int64_t(pos_); }
    bool seek(int64_t offset);
    bool flush();
    // Size of the file including data still in the buffer; -1 on an error.
    int64_t size();
    bool truncate(int64_t length);
    // Writes `v` at `offset` straight into the file, leaving the position and
    // the buffer alone; only where no buffered data covers `offset`.
    bool patch_u32(int64_t offset, uint32_t v);
    // Forgets buffered data that could not be written (a full disk), so that
    // closing does not try it again; the position falls back to what is in
    // the file. Returns the file's size on disk, -1 on an error.
    int64_t discard_pending();

    // Little-endian helpers over read()/write().
    bool read_u32(uint32_t& v);
    bool read_u16(uint16_t& v);
    bool write_u32(uint32_t v);
    bool write_u16(uint16_t v);

    // Reads the chunk header at `offset` (and the form type of RIFF/LIST);
    // false when the file ends inside it.
    bool read_chunk_header(int64_t offset, RiffChunk& chunk);
    // Writes a chunk header with size 0 (and the form type when not 0) at the
    // current position and fills `chunk`.
    bool create_chunk(RiffChunk& chunk, uint32_t id, uint32_t form_type = 0);
    // Ends a chunk being written at the current position: writes a pad byte when
    // the data size is odd, patches the size field and leaves the position
    // after the chunk. False when the size does not fit 32 bits or I/O fails.
    bool ascend(RiffChunk& chunk);

private:
    int64_t read_slow(void* dst, int64_t n);
    int64_t write_slow(const void* src, int64_t n);
    bool fill();
    bool to_reading();
    bool to_writing();

    int fd_ = -1;
    bool writable_ = false;
    int errno_ = 0;
    std::vector<uint8_t> buf_;
    uint8_t* data_ = nullptr;  // buf_.data()
    size_t cap_ = 0;
    int64_t base_ = 0;     // file offset of buf_[0]
    size_t pos_ = 0;       // cursor inside the buffer
    size_t len_ = 0;       // valid bytes while reading; writing appends, so pos_ is the count
    bool writing_ = false; // buffer holds data to write
};

}  // namespace murrel
