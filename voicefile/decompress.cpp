#include "voicefile/decompress.h"

#include "audio/formats/mmwave.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "voicefile/bytesource.h"
#include "voicefile/framereader.h"
#include "voicefile/koltheader.h"
#include "voicefile/naming.h"

namespace murrel {

namespace {
constexpr int64_t kWavHeaderBytes = 44;

// Finalises what was written before an error leaves the run.
void finish_output(TMMWave& wave) noexcept {
    try {
        wave.CloseFile();
    } catch (...) {
    }
    try {
        wave.FreeWave();
    } catch (...) {
    }
}
// A header that disagrees with its stream is said once; the stream decides.
void warn_header_mismatch(const std::string& source, const Tkoltfile_info& info, uint32_t rate, int channels) {
    const int header_rate = mp3_sample_rate(info.codec_type);
    const bool rate_differs = header_rate > 0 && static_cast<uint32_t>(header_rate) != rate;
    const bool channels_differ = (info.channels == 1 || info.channels == 2) && info.channels != channels;
    if (!rate_differs && !channels_differ) return;
    show_warning(file_name_of(source) + ": the header describes " + std::to_string(header_rate) + " Hz " +
                 (info.channels == 2 ? "stereo" : "mono") + ", the stream holds " + std::to_string(rate) +
                 " Hz " + (channels == 2 ? "stereo" : "mono") + "; the stream's values are used");
}
}  // namespace

std::string split_file_name(const std::string& target, int counter) {
    return make_autofilename(target, 0) + "_" + std::to_string(counter) + ".wav";
}

bool file_decompress(const std::string& source, const std::string& target, const Tkoltfile_info& info,
                     TMMWave& scratch, ConversionProgress& progress) {
    return file_decompress(source, target, info, scratch, progress, frame_reader());
}

bool file_decompress(const std::string& source, const std::string& target, const Tkoltfile_info& info,
                     TMMWave& scratch, ConversionProgress& progress, FrameReader& reader,
                     int64_t split_threshold, const std::string& first_file) {
    FileSource in;
    if (!in.open(source)) {
        show_error(app().message("FM_text_system_errmsg3"));
        return false;
    }
    const uint64_t size = in.size();
    progress.set_directory(folder_of(source));
    progress.set_filename(file_name_of(source));
    progress.set_target(">> " + file_name_of(target));
    int split_counter = 0;
    app().convert_cancel = false;

    if (!is_mp3_codec(info.codec_type)) {
        in.close();
        show_error(app().message("FM_text_system_errmsg11"));
        return false;
    }
    reader.reset();
    reader.cancel = &app().convert_cancel;
    struct ForgetCancel {
        FrameReader& r;
        ~ForgetCancel() { r.cancel = nullptr; }
    } forget_cancel{reader};
    bool first_frame = true;
    bool created = false;
    int out_channels = 1;
    uint32_t rate = 0;
    bool write_failed = false;
    // Bytes of sample data in the current output file; the same as its
    // LengthInBytes, counted here so the wave is not asked while it is written.
    int64_t out_bytes = 0;
    int16_t fitted[2 * kPcmChannelOffset];

    try {
        while (!reader.at_end()) {
            int frame_channels = 1;
            const int n = reader.decode_next_frame(in, first_frame, frame_channels);
            if (!reader.at_end()) {
                first_frame = false;
                if (!created && n > 0) {
                    // The stream's own rate and channel count are what it holds,
                    // whatever the header claims.
                    out_channels = frame_channels;
                    rate = static_cast<uint32_t>(reader.frame_rate_hz());
                    warn_header_mismatch(source, info, rate, out_channels);
                    scratch.CreateFile(first_file.empty() ? target : first_file,
                                       MakePCMFormat(16, out_channels, rate));
                    created = true;
                }
                // A frame whose channel count differs from the file's is
                // fitted to it.
                reader.fit_channels(n, frame_channels, out_channels, fitted);
                const int64_t bytes = static_cast<int64_t>(n) * 2 * out_channels;
                if (bytes > 0 && scratch.WriteData(fitted, bytes) != bytes) write_failed = true;
                out_bytes += bytes;
                if (write_failed) break;
            }
            if (size > 0) progress.set_current(static_cast<int>(in.position() * 100 / size));
            if (app().convert_cancel) break;
            progress.process_events();
            if (created && out_bytes + kWavHeaderBytes >= split_threshold) {
                scratch.CloseFile();
                scratch.FreeWave();
                const std::string next = split_file_name(target, split_counter++);
                out_channels = frame_channels;
                scratch.CreateFile(next, MakePCMFormat(16, out_channels, rate));
                out_bytes = 0;
                progress.set_target(next);
            }
        }
        in.close();
        if (!created) {
            // Nothing decodable: no file, and no success.
            if (!app().convert_cancel) show_error(app().message("FM_text_system_errmsg11") + " (no audio frames)");
            return false;
        }
        scratch.CloseFile();
        scratch.FreeWave();
    } catch (...) {
        finish_output(scratch);
        throw;
    }
    if (write_failed) throw EMMWaveError(WaveError::WriteError);
    return !app().convert_cancel;
}

}  // namespace murrel
