#pragma once
// Recording into the scratch voice file: the input device's set-up for a
// recording mode, the encoder, the header written at the start, every
// captured buffer encoded and appended as it arrives, and the end of the
// stream flushed at stop so the last words are in the file.
//
// Threads: start, pause, resume and stop on the user-interface thread;
// MMWaveInBufferReady on the input device's worker (the encoder and the
// scratch file belong to that thread between start and stop). A buffer that
// cannot be written posts OnWriteFailed to the user-interface thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "audio/devices/wavein.h"
#include "voicefile/lamecoder.h"

namespace murrel {

// The capture buffer of one request holds at most this many samples.
inline constexpr int kRecordBufferSamples = 8001;

enum class RecordStart { Started, EncoderRefused, ScratchFailed };

class Recorder {
public:
    Recorder(TLameCoder& coder, AudioBackend* backend = nullptr, UiDispatcher* ui = nullptr);
    ~Recorder();

    TMMWaveIn& Device() { return wave_in_; }

    // start_record's set-up for codec type 5, 6 or 7: input device format,
    // encoder, header of the scratch file. Does not start capturing; start()
    // does. EncoderRefused or ScratchFailed leave nothing running (a refused
    // encoder leaves no scratch file behind either).
    RecordStart prepare(int codec_type);
    // Starts capturing after a successful prepare().
    void start();
    void pause();
    void resume();
    // Stops and closes the device and ends the encoder's stream (flushing it
    // into the scratch file). False when the flush could not be written.
    bool stop();

    // The buffer-ready handler: encodes and appends `bytes` bytes of 16-bit
    // samples. Input device's thread.
    void MMWaveInBufferReady(const uint8_t* data, uint32_t bytes);

    bool recording() const { return recording_.load(); }
    int record_codec_type() const { return codec_type_; }
    int record_mode_code() const { return mode_code_; }
    int chunk_bytes() const { return chunk_bytes_; }
    // Milliseconds captured; 0 while closed.
    int64_t Position() { return wave_in_.GetPosition(); }
    // True once a buffer could not be appended since start().
    bool write_failed() const { return write_failed_.load(); }
    // Milliseconds of audio the input device dropped during the last
    // recording, read by stop().
    int64_t lost_ms() const { return lost_ms_; }

    // Posted to the user-interface thread when a buffer cannot be written.
    std::function<void()> OnWriteFailed;

private:
    TLameCoder& coder_;
    UiDispatcher* ui_;
    TMMWaveIn wave_in_;
    // Serialises the encoder between a delivery still running on the input
    // thread and the stop's flush on the user-interface thread: the device's
    // stop may return before its last delivery has finished.
    std::mutex encoder_mutex_;
    bool accepting_ = false;  // under encoder_mutex_
    std::atomic<bool> recording_{false};
    std::atomic<bool> write_failed_{false};
    int64_t lost_ms_ = 0;
    int codec_type_ = 5;
    int mode_code_ = 2;
    int chunk_bytes_ = 480;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The name a confirmed save-dialog answer is stored under: a name not ending
// in ".vkd" (any letter case) gets ".vkd" appended, so "memo.wav" becomes
// "memo.wav.vkd" and nothing recorded is thrown away.
std::string recording_save_name(const std::string& chosen);

// Moves the scratch recording to `target` (replacing it; across file systems
// by copying) and patches its header's title and extension. False with a
// reason in `error` when either fails; the scratch file is then kept.
bool save_recording(const std::string& scratch, const std::string& target, std::string& error);

}  // namespace murrel
