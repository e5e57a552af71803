#include "audio/formats/riff.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace murrel {

std::string FourCCText(uint32_t id) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[i] = char((id >> (8 * i)) & 0xFF);
    return s;
}

RiffFile::~RiffFile() { close(); }

bool RiffFile::open(const std::string& path, Mode mode, bool exclusive) {
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        // Emptied below, and only when it holds anything: the file system
        // flushes a file opened with O_TRUNC in full when it is closed, which
        // holds up the closing of a freshly written, reserved file by tens of
        // milliseconds per hundred megabytes.
        case Mode::Create: flags |= O_RDWR | O_CREAT | (exclusive ? O_EXCL : 0); break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        errno_ = errno;
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        errno_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return false;
    }
    if (mode == Mode::Create && st.st_size > 0 && ::ftruncate(fd, 0) != 0) {
        errno_ = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    writable_ = mode != Mode::Read;
    errno_ = 0;
    base_ = 0;
    pos_ = len_ = 0;
    writing_ = false;
    if (cap_ == 0) set_buffer(kDefaultBuffer);
    return true;
}

bool RiffFile::close() {
    if (fd_ < 0) return true;
    bool ok = flush();
    if (::close(fd_) != 0 && ok) {
        errno_ = errno;
        ok = false;
    }
    fd_ = -1;
    writable_ = false;
    base_ = 0;
    pos_ = len_ = 0;
    writing_ = false;
    return ok;
}

bool RiffFile::set_buffer(size_t bytes) {
    if (bytes == 0) return false;
    if (fd_ >= 0) {
        int64_t at = tell();
        if (!flush()) return false;
        base_ = at;
        pos_ = len_ = 0;
    }
    try {
        buf_.assign(bytes, 0);
        buf_.shrink_to_fit();
    } catch (const std::bad_alloc&) {
        return false;
    }
    cap_ = bytes;
    data_ = buf_.data();
    return true;
}

bool RiffFile::flush() {
    if (fd_ < 0) return false;
    if (writing_) {
        size_t done = 0;
        while (done < pos_) {
            ssize_t w = ::pwrite(fd_, buf_.data() + done, pos_ - done, base_ + int64_t(done));
            if (w < 0) {
                if (errno == EINTR) continue;
                errno_ = errno;
                return false;
            }
            if (w == 0) {
                errno_ = ENOSPC;
                return false;
            }
            done += size_t(w);
        }
        base_ += int64_t(pos_);
        pos_ = len_ = 0;
        writing_ = false;
    } else {
        // Forget read-ahead; the position stays.
        base_ += int64_t(pos_);
        pos_ = len_ = 0;
    }
    return true;
}

bool RiffFile::to_reading() {
    if (!writing_) return true;
    return flush();
}

bool RiffFile::to_writing() {
    if (!writable_) {
        errno_ = EBADF;
        return false;
    }
    if (writing_) return true;
    base_ += int64_t(pos_);
    pos_ = len_ = 0;
    writing_ = true;
    return true;
}

bool RiffFile::fill() {
    base_ += int64_t(pos_);
    pos_ = len_ = 0;
    for (;;) {
        ssize_t r = ::pread(fd_, buf_.data(), cap_, base_);
        if (r < 0) {
            if (errno == EINTR) continue;
            errno_ = errno;
            return false;
        }
        len_ = size_t(r);
        return true;
    }
}

int64_t RiffFile::read_slow(void* dst, int64_t n) {
    if (fd_ < 0 || n < 0) return -1;
    if (n == 0) return 0;
    if (!to_reading()) return -1;
    auto* out = static_cast<uint8_t*>(dst);
    int64_t got = 0;
    while (got < n) {
        size_t avail = len_ - pos_;
        if (avail > 0) {
            size_t take = size_t(std::min<int64_t>(int64_t(avail), n - got));
            std::memcpy(out + got, buf_.data() + pos_, take);
            pos_ += take;
            got += int64_t(take);
            continue;
        }
        // Large requests bypass the buffer: one copy instead of two.
        if (n - got >= int64_t(cap_)) {
            base_ += int64_t(pos_);
            pos_ = len_ = 0;
            ssize_t r = ::pread(fd_, out + got, size_t(n - got), base_);
            if (r < 0) {
                if (errno == EINTR) continue;
                errno_ = errno;
                return got > 0 ? got : -1;
            }
            if (r == 0) break;
            base_ += r;
            got += r;
            continue;
        }
        if (!fill()) return got > 0 ? got : -1;
        if (len_ == 0) break;
    }
    return got;
}

int64_t RiffFile::write_slow(const void* src, int64_t n) {
    if (fd_ < 0 || n < 0) return -1;
    if (n == 0) return 0;
    if (!to_writing()) return -1;
    auto* in = static_cast<const uint8_t*>(src);
    int64_t done = 0;
    while (done < n) {
        size_t room = cap_ - pos_;
        if (room == 0) {
            if (!flush() || !to_writing()) return -1;
            continue;
        }
        if (pos_ == 0 && n - done >= int64_t(cap_)) {
            // Straight to the file when the buffer would only be a detour.
            ssize_t w = ::pwrite(fd_, in + done, size_t(n - done), base_);
            if (w < 0) {
                if (errno == EINTR) continue;
                errno_ = errno;
                return -1;
            }
            if (w == 0) {
                errno_ = ENOSPC;
                return -1;
            }
            base_ += w;
            done += w;
            continue;
        }
        size_t take = size_t(std::min<int64_t>(int64_t(room), n - done));
        std::memcpy(buf_.data() + pos_, in + done, take);
        pos_ += take;
        done += int64_t(take);
    }
    return n;
}

bool RiffFile::write_window(uint8_t*& begin, uint8_t*& end) {
    if (fd_ < 0 || !to_writing()) return false;
    begin = data_ + pos_;
    end = data_ + cap_;
    return true;
}

bool RiffFile::seek(int64_t offset) {
    if (fd_ < 0 || offset < 0) return false;
    if (!writing_ && offset >= base_ && offset <= base_ + int64_t(len_)) {
        pos_ = size_t(offset - base_);
        return true;
    }
    if (!flush()) return false;
    base_ = offset;
    pos_ = len_ = 0;
    return true;
}

int64_t RiffFile::size() {
    if (fd_ < 0) return -1;
    struct stat st {};
    if (fstat(fd_, &st) != 0) {
        errno_ = errno;
        return -1;
    }
    int64_t s = st.st_size;
    if (writing_) s = std::max<int64_t>(s, base_ + int64_t(pos_));
    return s;
}

bool RiffFile::truncate(int64_t length) {
    if (fd_ < 0 || !flush()) return false;
    if (::ftruncate(fd_, length) != 0) {
        errno_ = errno;
        return false;
    }
    return true;
}

bool RiffFile::patch_u32(int64_t offset, uint32_t v) {
    if (fd_ < 0 || offset < 0) return false;
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    size_t done = 0;
    while (done < 4) {
        ssize_t w = ::pwrite(fd_, b + done, 4 - done, offset + int64_t(done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            errno_ = w < 0 ? errno : ENOSPC;
            return false;
        }
        done += size_t(w);
    }
    return true;
}

int64_t RiffFile::discard_pending() {
    if (fd_ < 0) return -1;
    pos_ = len_ = 0;
    writing_ = false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        errno_ = errno;
        return -1;
    }
    base_ = st.st_size;
    return st.st_size;
}

bool RiffFile::read_u32(uint32_t& v) {
    uint8_t b[4];
    if (read(b, 4) != 4) return false;
    v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool RiffFile::read_u16(uint16_t& v) {
    uint8_t b[2];
    if (read(b, 2) != 2) return false;
    v = uint16_t(b[0] | b[1] << 8);
    return true;
}

bool RiffFile::write_u32(uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return write(b, 4) == 4;
}

bool RiffFile::write_u16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return write(b, 2) == 2;
}

bool RiffFile::read_chunk_header(int64_t offset, RiffChunk& chunk) {
    uint32_t id = 0, size = 0;
    if (!seek(offset) || !read_u32(id) || !read_u32(size)) return false;
    chunk = RiffChunk{};
    chunk.id = id;
    chunk.size = size;
    chunk.offset = offset;
    chunk.data_offset = offset + 8;
    if (id == FourCC('R', 'I', 'F', 'F') || id == FourCC('L', 'I', 'S', 'T')) {
        if (!read_u32(chunk.form_type)) return false;
        chunk.data_offset += 4;
    }
    return true;
}

bool RiffFile::create_chunk(RiffChunk& chunk, uint32_t id, uint32_t form_type) {
    chunk = RiffChunk{};
    chunk.id = id;
    chunk.form_type = form_type;
    chunk.offset = tell();
    if (!write_u32(id) || !write_u32(0)) return false;
    chunk.data_offset = chunk.offset + 8;
    if (form_type != 0) {
        if (!write_u32(form_type)) return false;
        chunk.data_offset += 4;
    }
    return true;
}

bool RiffFile::ascend(RiffChunk& chunk) {
    int64_t end = tell();
    int64_t size = end - (chunk.offset + 8);
    if (size < 0 || size > int64_t(UINT32_MAX)) return false;
    if (size & 1) {
        uint8_t pad = 0;
        if (write(&pad, 1) != 1) return false;
    }
    int64_t after = tell();
    if (!seek(chunk.offset + 4) || !write_u32(uint32_t(size)) || !seek(after)) return false;
    chunk.size = uint64_t(size);
    chunk.dirty = false;
    return true;
}

}  // namespace murrel
