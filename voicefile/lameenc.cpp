#include "voicefile/lameenc.h"

#include <lame/lame.h>

#include <cstdarg>
#include <cstring>
#include <new>

namespace murrel {

namespace {

struct Stream {
    lame_global_flags* flags = nullptr;
    int channels = 1;
    uint32_t chunk_samples = 0;  // all channels
    uint32_t buffer_size = 0;
    bool flushed = false;
};

void quiet(const char*, va_list) {}

Stream* stream_of(HBE_STREAM handle) { return reinterpret_cast<Stream*>(handle); }

int lame_quality(int32_t preset) {
    switch (preset) {
    case 1: return 7;   // low: fast
    case 2: return 2;   // high
    case 3: return 5;   // voice
    default: return 3;  // normal: the library's own default
    }
}

}  // namespace

BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samples_per_chunk,
                    uint32_t* output_buffer_size, HBE_STREAM* stream) {
    if (stream) *stream = 0;
    if (!config || !samples_per_chunk || !output_buffer_size || !stream) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config->dwConfig != BE_CONFIG_LAME) return BE_ERR_INVALID_FORMAT;
    if (config->nMode < 0 || config->nMode > 3) return BE_ERR_INVALID_FORMAT_PARAMETERS;

    lame_global_flags* gf = lame_init();
    if (!gf) return BE_ERR_NO_MORE_HANDLES;
    lame_set_errorf(gf, quiet);
    lame_set_debugf(gf, quiet);
    lame_set_msgf(gf, quiet);

    const int channels = config->nMode == 3 ? 1 : 2;
    static constexpr MPEG_mode kModes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
    lame_set_num_channels(gf, channels);
    lame_set_mode(gf, kModes[config->nMode]);
    lame_set_in_samplerate(gf, static_cast<int>(config->dwSampleRate));
    lame_set_out_samplerate(gf, static_cast<int>(config->dwReSampleRate ? config->dwReSampleRate
                                                                        : config->dwSampleRate));
    lame_set_quality(gf, lame_quality(config->nPreset));
    lame_set_emphasis(gf, static_cast<int>(config->dwEmphasis));
    lame_set_extension(gf, config->bPrivate ? 1 : 0);
    lame_set_error_protection(gf, config->bCRC ? 1 : 0);
    lame_set_copyright(gf, config->bCopyright ? 1 : 0);
    lame_set_original(gf, config->bOriginal ? 1 : 0);
    // The information frame is only ever wanted when asked for: at 22.05 kHz
    // its CRC comes out wrong.
    lame_set_bWriteVbrTag(gf, config->bWriteVBRHeader ? 1 : 0);
    if (config->bEnableVBR) {
        lame_set_VBR(gf, vbr_default);
        lame_set_VBR_quality(gf, static_cast<float>(config->nVBRQuality));
        lame_set_VBR_min_bitrate_kbps(gf, static_cast<int>(config->dwBitrate));
        lame_set_VBR_max_bitrate_kbps(gf, static_cast<int>(config->dwMaxBitrate));
    } else {
        lame_set_VBR(gf, vbr_off);
        lame_set_brate(gf, static_cast<int>(config->dwBitrate));
    }
    if (config->dwSampleRate == 0 || lame_init_params(gf) < 0) {
        lame_close(gf);
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    // LAME quietly picks another rate or bit rate than the one asked for when
    // the pair is not valid MPEG; a voice file must carry what its header says.
    const int wanted_rate = static_cast<int>(config->dwReSampleRate ? config->dwReSampleRate : config->dwSampleRate);
    if (lame_get_out_samplerate(gf) != wanted_rate ||
        (!config->bEnableVBR && lame_get_brate(gf) != static_cast<int>(config->dwBitrate))) {
        lame_close(gf);
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }

    Stream* s = new (std::nothrow) Stream;
    if (!s) {
        lame_close(gf);
        return BE_ERR_NO_MORE_HANDLES;
    }
    s->flags = gf;
    s->channels = channels;
    const uint32_t frame = static_cast<uint32_t>(lame_get_framesize(gf));
    s->chunk_samples = frame * static_cast<uint32_t>(channels);
    // LAME's documented worst case for n samples per channel: 1.25 n + 7200.
    s->buffer_size = frame + frame / 4 + 7200;
    *samples_per_chunk = s->chunk_samples;
    *output_buffer_size = s->buffer_size;
    *stream = reinterpret_cast<HBE_STREAM>(s);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t samples, const int16_t* input, uint8_t* output,
                     uint32_t* output_bytes) {
    Stream* s = stream_of(stream);
    if (output_bytes) *output_bytes = 0;
    if (!s || !s->flags || s->flushed) return BE_ERR_INVALID_HANDLE;
    if (!output || !output_bytes || (samples > 0 && !input)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (samples > s->chunk_samples) return BE_ERR_BUFFER_TOO_SMALL;
    int written;
    if (s->channels == 1) {
        written = lame_encode_buffer(s->flags, input, input, static_cast<int>(samples), output,
                                     static_cast<int>(s->buffer_size));
    } else {
        written = lame_encode_buffer_interleaved(s->flags, const_cast<short*>(input),
                                                 static_cast<int>(samples / 2), output,
                                                 static_cast<int>(s->buffer_size));
    }
    if (written < 0) return written == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
    *output_bytes = static_cast<uint32_t>(written);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* output_bytes) {
    Stream* s = stream_of(stream);
    if (output_bytes) *output_bytes = 0;
    if (!s || !s->flags || s->flushed) return BE_ERR_INVALID_HANDLE;
    if (!output || !output_bytes) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    s->flushed = true;
    int written = lame_encode_flush(s->flags, output, static_cast<int>(s->buffer_size));
    if (written < 0) return BE_ERR_BUFFER_TOO_SMALL;
    *output_bytes = static_cast<uint32_t>(written);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beCloseStream(HBE_STREAM stream) {
    Stream* s = stream_of(stream);
    if (!s) return BE_ERR_INVALID_HANDLE;
    lame_close(s->flags);
    delete s;
    return BE_ERR_SUCCESSFUL;
}

void beVersion(BE_VERSION* version) {
    if (!version) return;
    *version = BE_VERSION{};
    lame_version_t v{};
    get_lame_version_numerical(&v);
    version->byDLLMajorVersion = 1;
    version->byDLLMinorVersion = 0;
    version->byMajorVersion = static_cast<uint8_t>(v.major);
    version->byMinorVersion = static_cast<uint8_t>(v.minor);
    version->byAlphaLevel = static_cast<uint8_t>(v.alpha);
    version->byBetaLevel = static_cast<uint8_t>(v.beta);
    const char* home = get_lame_url();
    if (home) std::strncpy(version->zHomepage, home, sizeof version->zHomepage - 1);
}

}  // namespace murrel
