#include "player/recorder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "shell/appstate.h"
#include "voicefile/compress.h"
#include "voicefile/fileinfo.h"
#include "voicefile/koltheader.h"

namespace murrel {

namespace fs = std::filesystem;

Recorder::Recorder(TLameCoder& coder, AudioBackend* backend, UiDispatcher* ui)
    : coder_(coder), ui_(ui ? ui : &ui_dispatcher()), wave_in_(backend, ui) {
    wave_in_.SetDeviceID(MapperId);
    if (wave_in_.DeviceID() == InvalidId) wave_in_.SetDeviceID(0);
    wave_in_.SetCallBackMode(TMMCBMode::cmThread);
    wave_in_.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    wave_in_.SetBitLength(TMMBits::b16Bit);
    wave_in_.SetMode(TMMMode::mMono);
    wave_in_.OnBufferReady = [this](TMMDSPComponent*, TMMWaveHdr* hdr) {
        MMWaveInBufferReady(reinterpret_cast<const uint8_t*>(hdr->lpData), hdr->dwBytesRecorded);
    };
}

Recorder::~Recorder() {
    *alive_ = false;
    {
        std::lock_guard lock(encoder_mutex_);
        accepting_ = false;
    }
    if (wave_in_.IsOpen()) {
        try {
            wave_in_.Close();
        } catch (...) {
        }
    }
    if (coder_.stream_open()) coder_.CloseEncoding();
}

RecordStart Recorder::prepare(int codec_type) {
    codec_type_ = std::clamp(codec_type, 5, 7);
    mode_code_ = codec_type_ - 3;
    const int rate = mp3_sample_rate(codec_type_);
    if (wave_in_.IsOpen()) wave_in_.Close();
    wave_in_.SetSampleRate(rate);
    wave_in_.SetBitLength(TMMBits::b16Bit);
    wave_in_.SetMode(TMMMode::mMono);
    setup_coder_for_mode(coder_, codec_type_);
    // A refused encoder would give a file of a header and no frames: say so
    // instead of recording nothing for as long as the user speaks.
    if (coder_.PrepareEncoding() != 0 || coder_.samples_per_chunk() == 0) {
        coder_.CloseEncoding();
        return RecordStart::EncoderRefused;
    }
    uint32_t chunk = std::min<uint32_t>(coder_.samples_per_chunk(), kRecordBufferSamples);
    chunk_bytes_ = static_cast<int>(chunk * 2);

    KoltHeader header = make_recording_header(codec_type_, mode_code_, app().temp_recording_path);
    std::error_code ec;
    fs::remove(app().temp_recording_path, ec);
    std::ofstream out(app().temp_recording_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    out.close();
    if (!out) {
        coder_.CloseEncoding();
        fs::remove(app().temp_recording_path, ec);
        return RecordStart::ScratchFailed;
    }
    return RecordStart::Started;
}

void Recorder::start() {
    write_failed_ = false;
    {
        std::lock_guard lock(encoder_mutex_);
        accepting_ = true;
    }
    recording_ = true;
    wave_in_.SetBufferSize(chunk_bytes_);
    try {
        wave_in_.Start();
    } catch (...) {
        recording_ = false;
        std::lock_guard lock(encoder_mutex_);
        accepting_ = false;
        coder_.CloseEncoding();
        throw;
    }
}

void Recorder::pause() { wave_in_.Pause(); }
void Recorder::resume() { wave_in_.Restart(); }

bool Recorder::stop() {
    recording_ = false;
    wave_in_.Stop();
    // Buffers captured before the stop are still on their way to the
    // encoder; the stream is closed only after them.
    wave_in_.WaitDelivered();
    const uint32_t rate = wave_in_.GetWaveFormat() ? wave_in_.GetWaveFormat()->nSamplesPerSec : 0;
    lost_ms_ = rate ? static_cast<int64_t>(wave_in_.LostFrames() * 1000 / rate) : 0;
    wave_in_.Close();
    std::lock_guard lock(encoder_mutex_);
    accepting_ = false;
    if (write_failed_.load()) {
        coder_.CloseEncoding();
        return false;
    }
    return file_compressrec_close(coder_);
}

void Recorder::MMWaveInBufferReady(const uint8_t* data, uint32_t bytes) {
    std::lock_guard lock(encoder_mutex_);
    if (!accepting_ || write_failed_.load()) return;
    int16_t samples[kRecordBufferSamples];
    uint32_t n = std::min<uint32_t>(bytes, sizeof samples);
    std::memcpy(samples, data, n);
    if (!file_compressrec(coder_, samples, n)) {
        write_failed_ = true;
        auto alive = alive_;
        ui_->post([this, alive] {
            if (*alive && OnWriteFailed) OnWriteFailed();
        });
    }
}

std::string recording_save_name(const std::string& chosen) {
    if (upper_extension(chosen) == ".VKD") return chosen;
    return chosen + ".vkd";
}

bool save_recording(const std::string& scratch, const std::string& target, std::string& error) {
    std::error_code ec;
    if (fs::exists(target, ec)) fs::remove(target, ec);
    fs::rename(scratch, target, ec);
    if (ec) {
        // Across file systems: copy, then drop the scratch file only once the
        // copy is whole.
        std::error_code copy_ec;
        fs::copy_file(scratch, target, fs::copy_options::overwrite_existing, copy_ec);
        if (copy_ec) {
            fs::remove(target, ec);
            error = copy_ec.message();
            return false;
        }
        fs::remove(scratch, ec);
    }
    if (!patch_saved_recording(target)) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace murrel
