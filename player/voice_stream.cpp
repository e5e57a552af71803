#include "player/voice_stream.h"

#include <algorithm>
#include <cstring>

#include "voicefile/bytesource.h"
#include "voicefile/framereader.h"
#include "voicefile/koltheader.h"

namespace murrel {

void VoiceStream::start(FrameReader& reader, const std::string& path, const Tkoltfile_info& info,
                        int64_t file_size, int device_channels) {
    reader_ = &reader;
    path_ = path;
    info_ = info;
    device_channels_ = device_channels == 2 ? 2 : 1;
    first_frame_ = true;
    seek_requested_ = false;
    open_failed_ = false;
    cut_short_ = false;
    frames_decoded_ = 0;
    frames_rejected_ = 0;
    reader.reset();
    data_size_ = file_size - static_cast<int64_t>(kKoltHeaderSize);
    read_pos_ = static_cast<int64_t>(kKoltHeaderSize);
}

bool VoiceStream::fill_bufferfromdisk(int16_t* destination, int capacity, int& length) {
    length = 0;
    const bool seeking = seek_requested_.exchange(false);
    const int64_t from = seeking ? seek_target_.load() : read_pos_.load();
    FileSource file;
    if (!file.open(path_, static_cast<uint64_t>(std::max<int64_t>(from, 0)))) {
        open_failed_ = true;
        return false;
    }
    bool more = true;
    FrameReader& reader = *reader_;
    FrameReaderState& st = reader.state;
    if (is_mp3_codec(info_.codec_type)) {
        st.header_error = 0;
        if (seeking) {
            reader.reset();
            first_frame_ = true;
        }
        reader.find_frame(file);
        // A seek made while this request read keeps its place: the position
        // reached here belongs to the old place and must not replace it.
        int64_t expected = from;
        read_pos_.compare_exchange_strong(expected, static_cast<int64_t>(file.position()));
        file.close();
        const size_t whole = static_cast<size_t>(capacity + 1) * sizeof(int16_t);
        if (st.end_of_stream) {
            if (static_cast<int64_t>(file.size()) < data_size_ + static_cast<int64_t>(kKoltHeaderSize))
                cut_short_ = true;
            std::memset(destination, 0, whole);
            length = kSilenceBytes;
            st.end_of_stream = 0;
            more = false;
        } else {
            int frame_channels = 1;
            const int n = reader.decode_found_frame(first_frame_.load(), frame_channels);
            first_frame_ = false;
            frame_samples_ = n;
            // The device was opened with the header's channel count; a frame of
            // the other kind is fitted to it (the left channel of a stereo frame
            // on a mono device, a mono frame doubled on a stereo one), so the
            // bytes always match the device format.
            int out_channels = device_channels_;
            length = n * 2 * out_channels;
            if (length == 0 || length > capacity * 2) {
                std::memset(destination, 0, whole);
                length = kSilenceBytes;
                ++frames_rejected_;
            } else {
                ++frames_decoded_;
                reader.fit_channels(n, frame_channels, out_channels, destination);
            }
        }
    } else {
        file.close();
    }
    // An MP3 stream ends when the reader runs out of frames: the frames still
    // in its ring when the read reached the end of the file are the last
    // words of the dictation and are played too.
    if (!is_mp3_codec(info_.codec_type) && read_pos_.load() == data_size_ + static_cast<int64_t>(kKoltHeaderSize))
        more = false;
    return more;
}

}  // namespace murrel
