#include "audio/formats/acmwave.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace murrel {

namespace {

// File frames a data chunk of `bytes` holds: whole blocks times the frames
// each decodes to. The codec's own block layout counts, not the byte rate of
// the "fmt " chunk, which is only approximate for ADPCM.
std::optional<int64_t> decoded_frames(const TWaveFormatEx& f, int64_t bytes) {
    if (f.wFormatTag == WAVE_FORMAT_PCM && f.nBlockAlign > 0 &&
        (f.wBitsPerSample == 8 || f.wBitsPerSample == 16))
        return bytes / f.nBlockAlign;
    AcmSourceFormat s{f.wFormatTag, f.nChannels, f.nSamplesPerSec, f.nAvgBytesPerSec,
                      f.nBlockAlign, f.wBitsPerSample, f.extra};
    auto codec = AcmCodecStream::Open(s);
    if (!codec) return std::nullopt;
    return bytes / codec->block_bytes() * codec->frames_per_block() +
           PartialBlockFrames(f, int32_t(bytes % codec->block_bytes()), codec->frames_per_block());
}

}  // namespace

TMMAcmWave::TMMAcmWave() = default;

TMMAcmWave::~TMMAcmWave() {
    // The base destructor can no longer reach these hooks; close while they work.
    try {
        CloseFile();
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------
// Formats

void TMMAcmWave::SetOutputFormat(const TWaveFormatEx* format) {
    const bool reopen = Opened();
    if (reopen) CloseFile();
    BeginUpdate();
    explicit_output_ = format && format->wFormatTag == WAVE_FORMAT_PCM;
    if (explicit_output_) output_format_ = *format;
    ChooseOutputFormat();
    InvalidatePlayList();
    EndUpdate();
    if (reopen) OpenFile();
}

void TMMAcmWave::ChooseOutputFormat() {
    display_format_.reset();
    if (explicit_output_) return;
    const TWaveFormatEx* file = FileFormat();
    output_format_.reset();
    if (file) output_format_ = SuggestPCM(*file);
}

const TWaveFormatEx* TMMAcmWave::EffectiveFormat() const {
    const TWaveFormatEx* file = FileFormat();
    if (!file) return nullptr;
    return output_format_ ? &*output_format_ : file;
}

const TWaveFormatEx* TMMAcmWave::DisplayFormat() const {
    const TWaveFormatEx* eff = EffectiveFormat();
    if (!eff) return nullptr;
    if (!display_format_)
        display_format_ = MakePCMFormat(eff->wBitsPerSample, FileFormat()->nChannels,
                                        eff->nSamplesPerSec);
    return &*display_format_;
}

int64_t TMMAcmWave::ToStreamFrames(int64_t frames) const {
    const TWaveFormatEx* file = FileFormat();
    const TWaveFormatEx* out = EffectiveFormat();
    if (!file || !out || file->nSamplesPerSec == out->nSamplesPerSec || file->nSamplesPerSec == 0 ||
        out->nSamplesPerSec == 0)
        return frames;
    // The quotient is the larger rate over the smaller one, as stored
    // documents were positioned with it.
    if (out->nSamplesPerSec > file->nSamplesPerSec)
        return int64_t(std::nearbyint(frames * (double(out->nSamplesPerSec) / file->nSamplesPerSec)));
    return int64_t(std::nearbyint(frames / (double(file->nSamplesPerSec) / out->nSamplesPerSec)));
}

int64_t TMMAcmWave::FromStreamFrames(int64_t frames) const {
    const TWaveFormatEx* file = FileFormat();
    const TWaveFormatEx* out = EffectiveFormat();
    if (!file || !out || file->nSamplesPerSec == out->nSamplesPerSec || file->nSamplesPerSec == 0 ||
        out->nSamplesPerSec == 0)
        return frames;
    if (out->nSamplesPerSec > file->nSamplesPerSec)
        return int64_t(std::nearbyint(frames / (double(out->nSamplesPerSec) / file->nSamplesPerSec)));
    return int64_t(std::nearbyint(frames * (double(file->nSamplesPerSec) / out->nSamplesPerSec)));
}

// ---------------------------------------------------------------------------
// Attaching, opening, closing

void TMMAcmWave::SetFileName(const std::string& path) {
    TMMWave::SetFileName(path);
    if (!Block()) ChooseOutputFormat();
}

void TMMAcmWave::OnFileAttached() {
    ChooseOutputFormat();
    // The base counted the data in output-format bytes; positions here count
    // file frames.
    if (WaveIOBlock* b = Block()) {
        // Without a codec the file's own byte rate counts; the base may have
        // used the output format of the previous file.
        const int64_t frames = decoded_frames(b->format, b->data_bytes).value_or(BytesToSamples(b->data_bytes));
        b->sample_count = frames;
        b->last_sample = frames;
        b->current_sample = 0;
        end_pos_ = frames;
    }
    InvalidatePlayList();
}

void TMMAcmWave::OpenFile() {
    if (Opened()) {
        TMMWave::OpenFile();
        return;
    }
    const TWaveFormatEx* file = FileFormat();
    const TWaveFormatEx* out = EffectiveFormat();
    // A file that is not PCM and that no codec reads is converted by an
    // absent converter: it delivers nothing rather than its raw bytes.
    converting_ = file && out && (FormatsDiffer(file, out) || file->wFormatTag != WAVE_FORMAT_PCM);
    convert_ended_ = false;
    skip_bytes_ = 0;
    chain_.reset();
    if (converting_) {
        // Room for at least one source block, however large the codec's.
        const int32_t size = std::max<int32_t>(kSourceBlock, file->nBlockAlign);
        source_buffer_.assign(size_t(size), 0);
        if (FormatsDiffer(file, out))
            chain_ = OpenChain(*file, *out, source_buffer_.data(), false, size);
        if (chain_ && !chain_->stages.empty()) {
            const AcmStage& first = chain_->stages.front();
            unit_bytes_ = first.unit;
            frames_per_unit_ = first.codec ? first.codec->frames_per_block() : 1;
        }
    }
    try {
        TMMWave::OpenFile();
    } catch (...) {
        chain_.reset();
        converting_ = false;
        throw;
    }
}

void TMMAcmWave::CloseFile() {
    struct Release {
        TMMAcmWave& w;
        ~Release() {
            w.chain_.reset();
            w.source_buffer_.clear();
            w.converting_ = false;
        }
    } release{*this};
    TMMWave::CloseFile();
}

// ---------------------------------------------------------------------------
// Reading through the converter

int64_t TMMAcmWave::ReadRaw(void* buffer, int64_t n) {
    if (!converting_) return TMMWave::ReadRaw(buffer, n);
    // No codec reads this file: it delivers nothing.
    if (!chain_) return 0;
    return ReadConverted(static_cast<uint8_t*>(buffer), n);
}

int64_t TMMAcmWave::ReadConverted(uint8_t* out, int64_t n) {
    int64_t got = 0;
    while (got < n) {
        const int64_t avail = chain_->out_bytes - chain_->read_offset;
        if (avail > 0) {
            const uint8_t* from = chain_->output() + chain_->read_offset;
            if (skip_bytes_ > 0) {
                const int64_t d = std::min(avail, skip_bytes_);
                chain_->read_offset += int32_t(d);
                skip_bytes_ -= d;
                continue;
            }
            const int64_t c = std::min(avail, n - got);
            std::memcpy(out + got, from, size_t(c));
            chain_->read_offset += int32_t(c);
            got += c;
            continue;
        }
        if (convert_ended_ || !RefillConverter()) break;
    }
    return got;
}

bool TMMAcmWave::RefillConverter() {
    WaveIOBlock* b = Block();
    if (!b) return false;
    const int64_t left = b->data_offset + b->data_bytes - b->handle.tell();
    if (left <= 0) {
        convert_ended_ = true;
        return false;
    }
    const int64_t want = std::min<int64_t>(chain_->input_capacity, left);
    const int64_t r = b->handle.read(chain_->input, want);
    if (r <= 0) {
        convert_ended_ = true;
        return false;
    }
    const bool last = r >= left;
    const int32_t out = last ? ChainConvertEnd(*chain_, int32_t(r)) : ChainConvert(*chain_, int32_t(r));
    if (last) convert_ended_ = true;
    if (out < 0) {
        convert_ended_ = true;
        return false;
    }
    return true;
}

bool TMMAcmWave::SeekRaw(int64_t stream_byte) {
    if (!converting_) return TMMWave::SeekRaw(stream_byte);
    WaveIOBlock* b = Block();
    if (!b) return false;
    skip_bytes_ = 0;
    if (!chain_) return true;
    const int64_t align = std::max<int64_t>(1, EffectiveFormat()->nBlockAlign);
    const int64_t stream_frame = std::max<int64_t>(0, stream_byte / align);
    // Decoding restarts at the source unit holding the target; what it
    // delivers before the target is dropped.
    int64_t unit = FromStreamFrames(stream_frame) / frames_per_unit_;
    unit = std::clamp<int64_t>(unit, 0, b->data_bytes / unit_bytes_);
    ChainReset(*chain_);
    convert_ended_ = false;
    if (!b->handle.seek(b->data_offset + unit * unit_bytes_)) return false;
    skip_bytes_ = std::max<int64_t>(0, (stream_frame - ToStreamFrames(unit * frames_per_unit_)) * align);
    return true;
}

}  // namespace murrel
