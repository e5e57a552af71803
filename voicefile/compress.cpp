#include "voicefile/compress.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "audio/formats/mmwave.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "voicefile/framereader.h"
#include "voicefile/koltheader.h"
#include "voicefile/lamecoder.h"
#include "voicefile/naming.h"

namespace murrel {

namespace {

// Follows the MPEG frames of a stream as it is written, so that a write that
// fails can be cut back to the end of the last whole frame. The encoder hands
// out its bytes in pieces that need not end at a frame.
class FrameBoundaries {
public:
    void start(int64_t offset) {
        pos_ = offset;
        frame_end_ = -1;
        have_ = 0;
        lost_ = false;
    }
    // Bytes at file offsets [offset, offset + n) were written.
    void feed(const uint8_t* data, std::size_t n, int64_t offset) {
        const int64_t end = offset + static_cast<int64_t>(n);
        while (!lost_) {
            if (frame_end_ < 0) {
                while (have_ < 4 && pos_ + have_ < end) {
                    header_[have_] = data[pos_ + have_ - offset];
                    ++have_;
                }
                if (have_ < 4) return;
                const int length = frame_bytes();
                if (length <= 4) {
                    lost_ = true;  // not our encoder's stream: keep the last boundary known
                    return;
                }
                frame_end_ = pos_ + length;
            }
            if (frame_end_ > end) return;
            pos_ = frame_end_;
            frame_end_ = -1;
            have_ = 0;
        }
    }
    // End of the last whole frame written.
    int64_t last_boundary() const { return pos_; }

private:
    int frame_bytes() const {
        if (header_[0] != 0xFF || (header_[1] & 0xE0) != 0xE0) return 0;
        const int id = (header_[1] >> 3) & 1;
        const bool mpeg25 = ((header_[1] >> 4) & 1) == 0;
        const int kbps = frame_bitrate_kbps(id, header_[2] >> 4);
        const int rate_field = (header_[2] >> 2) & 3;
        if (kbps == 0 || rate_field == 3) return 0;
        const double khz = frame_sample_rate_khz(rate_field + (id ? 0 : mpeg25 ? 6 : 3));
        const int padding = (header_[2] >> 1) & 1;
        return static_cast<int>((id ? 144 : 72) * kbps / khz) + padding;
    }

    int64_t pos_ = 0;
    int64_t frame_end_ = -1;
    uint8_t header_[4] = {};
    int have_ = 0;
    bool lost_ = false;
};

// A voice file being written. Every append either lands whole or is undone,
// so the file always ends after a complete frame.
class VoiceFileWriter {
public:
    ~VoiceFileWriter() { close(); }
    bool create(const std::string& path) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        end_ = 0;
        return fd_ >= 0;
    }
    // From here on the file holds an MPEG stream: a failed append cuts the
    // file back to the end of its last whole frame.
    void stream_starts() {
        tracking_ = true;
        frames_.start(end_);
    }
    bool open_append(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0) return false;
        off_t end = ::lseek(fd_, 0, SEEK_END);
        if (end < 0) {
            close();
            return false;
        }
        end_ = end;
        return true;
    }
    bool append(const uint8_t* data, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            ssize_t put = ::pwrite(fd_, data + done, n - done, end_ + static_cast<off_t>(done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                int e = put == 0 ? ENOSPC : errno;
                // Cut off the part that made it, so no broken frame remains.
                const off_t keep = tracking_ ? static_cast<off_t>(frames_.last_boundary()) : end_;
                if (done > 0 || keep < end_) {
                    [[maybe_unused]] int r = ::ftruncate(fd_, keep);
                }
                errno = e;
                return false;
            }
            done += static_cast<std::size_t>(put);
        }
        if (tracking_) frames_.feed(data, n, end_);
        end_ += static_cast<off_t>(n);
        return true;
    }
    bool close() {
        if (fd_ < 0) return true;
        int r = ::close(fd_);
        fd_ = -1;
        return r == 0;
    }

private:
    int fd_ = -1;
    off_t end_ = 0;
    bool tracking_ = false;
    FrameBoundaries frames_;
};

void report_write_failure() { show_error(app().message("FM_text_system_errmsg2")); }

}  // namespace

bool file_compress(TMMWave& source, const std::string& target, int codec_type, TLameCoder& coder,
                   ConversionProgress& progress, const std::string& named) {
    const std::string& name = named.empty() ? target : named;
    VoiceFileWriter out;
    if (!out.create(target)) {
        report_write_failure();
        return false;
    }
    const std::string& source_path = source.FileName();
    progress.set_directory(folder_of(source_path));
    progress.set_filename(file_name_of(source_path));
    progress.set_target(">> " + file_name_of(name));
    app().convert_cancel = false;

    const KoltHeader header = make_encoding_header(codec_type, name);
    if (!out.append(header.data(), header.size())) {
        // Not even the header fits: nothing worth keeping.
        out.close();
        ::unlink(target.c_str());
        source.FreeWave();
        report_write_failure();
        return false;
    }
    bool write_ok = true;
    out.stream_starts();

    const int64_t total = source.LengthInBytes();
    progress.set_filebyte(format_n(static_cast<double>(total) / 1024.0) + " Kbyte(s)");

    bool refused = false;
    if (is_mp3_codec(codec_type)) {
        setup_coder_for_mode(coder, codec_type);
        if (coder.PrepareEncoding() != BE_ERR_SUCCESSFUL) {
            refused = true;
        } else {
            const uint32_t chunk = coder.samples_per_chunk();
            std::vector<int16_t> block(chunk);
            std::vector<uint8_t>& mp3 = coder.output_buffer();
            int64_t done = 0;
            while (done < total) {
                int64_t n = source.ReadData(block.data(), static_cast<int64_t>(chunk) * 2);
                if (n <= 0) break;
                done += n;
                uint32_t produced = 0;
                coder.EncodeBuffer(block.data(), static_cast<uint32_t>(n / 2), mp3.data(), produced);
                if (produced > 0 && !out.append(mp3.data(), produced)) {
                    write_ok = false;
                    break;
                }
                progress.set_current(static_cast<int>(done * 100 / total));
                if (app().convert_cancel) break;
                progress.process_events();
            }
            // The encoder holds the last frames until it is flushed.
            if (write_ok) {
                uint32_t produced = 0;
                coder.FlushEncoding(mp3.data(), produced);
                if (produced > 0 && !out.append(mp3.data(), produced)) write_ok = false;
            }
            coder.CloseEncoding();
        }
    }
    if (!out.close()) write_ok = false;
    source.FreeWave();

    if (refused) {
        // A header without audio is no voice file worth keeping.
        ::unlink(target.c_str());
        report_write_failure();
        return false;
    }
    if (!write_ok) {
        report_write_failure();
        return false;
    }
    return !app().convert_cancel;
}

bool file_compressrec(TLameCoder& coder, const int16_t* samples, std::size_t bytes) {
    VoiceFileWriter out;
    if (!out.open_append(app().temp_recording_path)) return false;
    uint32_t count = static_cast<uint32_t>(bytes / 2);
    if (count > coder.samples_per_chunk()) count = coder.samples_per_chunk();
    uint32_t produced = 0;
    std::vector<uint8_t>& mp3 = coder.output_buffer();
    bool ok = true;
    if (count > 0 && !mp3.empty()) {
        coder.EncodeBuffer(samples, count, mp3.data(), produced);
        if (produced > 0) ok = out.append(mp3.data(), produced);
    }
    return out.close() && ok;
}

bool file_compressrec_close(TLameCoder& coder) {
    bool ok = true;
    std::vector<uint8_t>& mp3 = coder.output_buffer();
    if (coder.stream_open() && !mp3.empty()) {
        uint32_t produced = 0;
        coder.FlushEncoding(mp3.data(), produced);
        if (produced > 0) {
            VoiceFileWriter out;
            ok = out.open_append(app().temp_recording_path) && out.append(mp3.data(), produced);
            ok = out.close() && ok;
        }
    }
    coder.CloseEncoding();
    return ok;
}

}  // namespace murrel
