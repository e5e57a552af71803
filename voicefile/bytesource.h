#pragma once
// Where the frame reader takes its bytes from. Decoding reads a voice file from
// start to end; playback opens the file at its read position for every buffer
// and closes it again, so a source may change between calls while the reader's
// ring carries on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace murrel {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to `n` bytes to `destination`; fewer only at the end of the
    // data, 0 once it is reached (and on every later call).
    virtual std::size_t read(uint8_t* destination, std::size_t n) = 0;
};

// A file read forward through a buffer. Not copyable; closes on destruction.
class FileSource final : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens `path` for reading at byte `offset`. False (errno set) on failure.
    bool open(const std::string& path, uint64_t offset = 0);
    void close();
    bool is_open() const { return fd_ >= 0; }
    // Size of the file when it was opened.
    uint64_t size() const { return size_; }
    // Offset of the next byte read() delivers.
    uint64_t position() const { return position_; }
    // True once a read failed with an I/O error (as opposed to the end of the file).
    bool failed() const { return failed_; }

    std::size_t read(uint8_t* destination, std::size_t n) override;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    bool failed_ = false;
    std::vector<uint8_t> buffer_;
    std::size_t buffer_pos_ = 0;
    std::size_t buffer_len_ = 0;
};

// Bytes held in memory (tests, the fuzz target). The data must outlive the source.
class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit MemorySource(const std::vector<uint8_t>& data) : MemorySource(data.data(), data.size()) {}
    std::size_t read(uint8_t* destination, std::size_t n) override;
    std::size_t position() const { return pos_; }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace murrel
