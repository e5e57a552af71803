#include "voicefile/bytesource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace murrel {

namespace {
constexpr std::size_t kFileBuffer = 64 * 1024;
}

FileSource::~FileSource() { close(); }

bool FileSource::open(const std::string& path, uint64_t offset) {
    close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = e;
        return false;
    }
    if (offset > 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        int e = errno;
        ::close(fd);
        errno = e;
        return false;
    }
    fd_ = fd;
    size_ = static_cast<uint64_t>(st.st_size);
    position_ = offset;
    failed_ = false;
    buffer_.resize(kFileBuffer);
    buffer_pos_ = buffer_len_ = 0;
    return true;
}

void FileSource::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_pos_ = buffer_len_ = 0;
}

std::size_t FileSource::read(uint8_t* destination, std::size_t n) {
    std::size_t done = 0;
    while (done < n && fd_ >= 0) {
        if (buffer_pos_ == buffer_len_) {
            ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) failed_ = true;
            if (got <= 0) break;
            buffer_pos_ = 0;
            buffer_len_ = static_cast<std::size_t>(got);
        }
        std::size_t take = std::min(n - done, buffer_len_ - buffer_pos_);
        std::memcpy(destination + done, buffer_.data() + buffer_pos_, take);
        buffer_pos_ += take;
        done += take;
    }
    position_ += done;
    return done;
}

std::size_t MemorySource::read(uint8_t* destination, std::size_t n) {
    std::size_t take = std::min(n, size_ - pos_);
    if (take) std::memcpy(destination, data_ + pos_, take);
    pos_ += take;
    return take;
}

}  // namespace murrel
