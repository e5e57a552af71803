#pragma once
// TLameCoder: the encoder settings as published properties, and the stream
// operations the program uses to turn 16-bit PCM into MP3 frames. The main
// window owns one (LameEnCoder); a conversion or a recording uses it, never
// both at once. One stream at a time; not thread-safe (a recording uses it from
// the input device's thread only, between its start and its stop).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "voicefile/lameenc.h"

namespace murrel {

enum MPEG_QUALITY { NORMAL_QUALITY = 0, LOW_QUALITY = 1, HIGH_QUALITY = 2, VOICE_QUALITY = 3 };
enum TLameMode { STEREO = 0, JSTEREO = 1, DUALCHANNEL = 2, MONO = 3 };

// The library's version record, read once when its coder is created.
struct TLameVersion {
    uint8_t DLLMajorVersion = 0;
    uint8_t DLLMinorVersion = 0;
    uint8_t MajorVersion = 0;
    uint8_t MinorVersion = 0;
    BE_VERSION record;  // the whole record as the library filled it
};

class TLameCoder {
public:
    using NotifyEvent = std::function<void(TLameCoder&)>;
    using ProcessFileEvent = std::function<void(TLameCoder&, int num, const std::string& file_name)>;
    using ProgressEvent = std::function<void(TLameCoder&, int percent_complete)>;

    TLameCoder();
    ~TLameCoder();
    TLameCoder(const TLameCoder&) = delete;
    TLameCoder& operator=(const TLameCoder&) = delete;

    // --- published properties, with a new instance's values ----------------
    uint32_t SampleRate = 44100;   // input rate, Hz
    uint32_t Bitrate = 128;        // kbit/s (minimum with VBR)
    uint32_t MaxBitrate = 320;     // kbit/s
    MPEG_QUALITY Quality = NORMAL_QUALITY;
    bool Private = false;
    bool CRC = true;
    TLameMode Mode = STEREO;
    bool Copyright = false;
    bool Original = false;
    bool WriteVBRHeader = false;
    int32_t VBRQuality = 4;
    std::string DefaultExt = ".mp3";
    std::string Mp3FileName;
    NotifyEvent OnBeginProcess, OnEndProcess;
    ProcessFileEvent OnBeginFile, OnEndFile;
    ProgressEvent OnProgress;

    bool EnableVBR() const { return enable_vbr_; }
    // Also sets WriteVBRHeader to the same value.
    void SetEnableVBR(bool value);
    const std::vector<std::string>& InputFiles() const { return input_files_; }
    // Also sets OutputFiles: the same names with their extension replaced by DefaultExt.
    void SetInputFiles(const std::vector<std::string>& files);
    std::vector<std::string> OutputFiles;
    const TLameVersion& LameVersion() const { return version_; }

    // --- stream operations ------------------------------------------------------
    // Fills the configuration record from the properties and opens a stream
    // (closing one still open). Returns the library's result, 0 on success.
    BE_ERR PrepareEncoding();
    // Encodes `samples` 16-bit samples (at most samples_per_chunk()); `output`
    // holds at least output_buffer_size() bytes; `output_bytes` receives the
    // MP3 bytes produced, possibly 0. Without an open stream nothing is
    // produced and BE_ERR_INVALID_HANDLE is returned.
    BE_ERR EncodeBuffer(const int16_t* input, uint32_t samples, uint8_t* output, uint32_t& output_bytes);
    // Writes out the frames the encoder still holds (output_buffer_size() bytes
    // at most). Call before CloseEncoding, or the end of the audio is lost.
    BE_ERR FlushEncoding(uint8_t* output, uint32_t& output_bytes);
    // Frees the output buffer and closes the stream (without flushing).
    BE_ERR CloseEncoding();
    // Copies the settings (not the stream) of `source`.
    void Assign(const TLameCoder& source);

    bool stream_open() const { return stream_handle_ != 0; }
    uint32_t samples_per_chunk() const { return samples_per_chunk_; }
    uint32_t output_buffer_size() const { return output_buffer_size_; }
    // Allocated after a successful PrepareEncoding; empty otherwise.
    std::vector<uint8_t>& output_buffer() { return output_buffer_; }
    const BE_CONFIG& config() const { return config_; }
    // Fills the configuration record from the properties without opening a stream.
    void fill_config();

private:
    bool enable_vbr_ = false;
    std::vector<std::string> input_files_;
    TLameVersion version_;
    BE_CONFIG config_{};
    uint32_t samples_per_chunk_ = 0;
    uint32_t output_buffer_size_ = 0;
    HBE_STREAM stream_handle_ = 0;
    std::vector<uint8_t> output_buffer_;
};

// Result of the last stream open of any coder in the process.
BE_ERR lame_last_open_result();

// Sets `coder` up for a recording mode's codec type (5 SP, 6 HQ, 7 SHQ):
// mono, constant bit rate, MaxBitrate 320, the mode's bit rate and rate.
void setup_coder_for_mode(TLameCoder& coder, int codec_type);

}  // namespace murrel
