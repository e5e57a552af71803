#include "voicefile/lamecoder.h"

#include <atomic>

#include "voicefile/koltheader.h"

namespace murrel {

namespace {
std::atomic<BE_ERR> last_open_result{BE_ERR_SUCCESSFUL};

std::string replace_extension(const std::string& name, const std::string& ext) {
    std::size_t slash = name.find_last_of('/');
    std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ext;
    return name.substr(0, dot) + ext;
}
}  // namespace

BE_ERR lame_last_open_result() { return last_open_result.load(); }

TLameCoder::TLameCoder() {
    beVersion(&version_.record);
    version_.DLLMajorVersion = version_.record.byDLLMajorVersion;
    version_.DLLMinorVersion = version_.record.byDLLMinorVersion;
    version_.MajorVersion = version_.record.byMajorVersion;
    version_.MinorVersion = version_.record.byMinorVersion;
}

TLameCoder::~TLameCoder() { CloseEncoding(); }

void TLameCoder::SetEnableVBR(bool value) {
    enable_vbr_ = value;
    WriteVBRHeader = value;
}

void TLameCoder::SetInputFiles(const std::vector<std::string>& files) {
    input_files_ = files;
    OutputFiles.clear();
    for (const std::string& f : files) OutputFiles.push_back(replace_extension(f, DefaultExt));
}

void TLameCoder::fill_config() {
    config_.dwConfig = BE_CONFIG_LAME;
    config_.dwStructVersion = 1;
    config_.dwStructSize = BE_CONFIG_SIZE;
    config_.dwSampleRate = SampleRate;
    config_.dwReSampleRate = 0;
    config_.nMode = Mode;
    config_.dwBitrate = Bitrate;
    config_.dwMaxBitrate = MaxBitrate;
    config_.nPreset = Quality;
    config_.dwMpegVersion = 1;
    config_.dwPsyModel = 0;
    config_.dwEmphasis = 0;
    config_.bPrivate = Private;
    config_.bCRC = CRC;
    config_.bCopyright = Copyright;
    config_.bOriginal = Original;
    config_.bWriteVBRHeader = WriteVBRHeader;
    config_.bEnableVBR = enable_vbr_;
    config_.nVBRQuality = VBRQuality;
}

BE_ERR TLameCoder::PrepareEncoding() {
    CloseEncoding();
    fill_config();
    BE_ERR result = beInitStream(&config_, &samples_per_chunk_, &output_buffer_size_, &stream_handle_);
    last_open_result = result;
    if (result == BE_ERR_SUCCESSFUL) {
        output_buffer_.assign(output_buffer_size_, 0);
    } else {
        stream_handle_ = 0;
        samples_per_chunk_ = 0;
        output_buffer_size_ = 0;
    }
    return result;
}

BE_ERR TLameCoder::EncodeBuffer(const int16_t* input, uint32_t samples, uint8_t* output,
                                uint32_t& output_bytes) {
    output_bytes = 0;
    if (!stream_handle_) return BE_ERR_INVALID_HANDLE;
    return beEncodeChunk(stream_handle_, samples, input, output, &output_bytes);
}

BE_ERR TLameCoder::FlushEncoding(uint8_t* output, uint32_t& output_bytes) {
    output_bytes = 0;
    if (!stream_handle_) return BE_ERR_INVALID_HANDLE;
    return beDeinitStream(stream_handle_, output, &output_bytes);
}

BE_ERR TLameCoder::CloseEncoding() {
    output_buffer_.clear();
    output_buffer_.shrink_to_fit();
    if (!stream_handle_) return BE_ERR_INVALID_HANDLE;
    BE_ERR result = beCloseStream(stream_handle_);
    stream_handle_ = 0;
    return result;
}

void TLameCoder::Assign(const TLameCoder& source) {
    SampleRate = source.SampleRate;
    Bitrate = source.Bitrate;
    MaxBitrate = source.MaxBitrate;
    Quality = source.Quality;
    Private = source.Private;
    CRC = source.CRC;
    Mode = source.Mode;
    Copyright = source.Copyright;
    Original = source.Original;
    enable_vbr_ = source.enable_vbr_;
    WriteVBRHeader = source.WriteVBRHeader;
    VBRQuality = source.VBRQuality;
    DefaultExt = source.DefaultExt;
    Mp3FileName = source.Mp3FileName;
    input_files_ = source.input_files_;
    OutputFiles = source.OutputFiles;
}

void setup_coder_for_mode(TLameCoder& coder, int codec_type) {
    coder.Bitrate = static_cast<uint32_t>(mp3_kbitrate(codec_type));
    coder.SampleRate = static_cast<uint32_t>(mp3_sample_rate(codec_type));
    coder.MaxBitrate = 320;
    coder.Mode = MONO;
}

}  // namespace murrel
