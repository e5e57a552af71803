#include "voicefile/wavetowave.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <vector>

#include "audio/formats/acmchain.h"
#include "audio/formats/acmwave.h"
#include "audio/formats/mmwave.h"
#include "audio/formats/pcmconvert.h"
#include "shell/appstate.h"
#include "voicefile/scratch_output.h"

namespace murrel {

namespace {

constexpr int32_t kSourceBlock = 4096;

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "%n": two decimals and thousands separators.
std::string format_n(double value) {
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.2f", value);
    std::string s = digits;
    const size_t dot = s.find('.');
    const size_t first = s[0] == '-' ? 1 : 0;
    for (size_t i = dot; i > first + 3; i -= 3) s.insert(i - 3, ",");
    return s;
}

// The percentage shown after each block: round(done * 100 / total + 0.5),
// halves to even.
int percent(int64_t done, int64_t total) {
    return int(std::nearbyint(double(done) * 100.0 / double(total) + 0.5));
}

}  // namespace

bool convert_wavetowave(const std::string& source, const std::string& target, int channels, int bits,
                        uint32_t rate, TMMWave& scratch, ConversionProgress& progress,
                        const ProgressTexts& restore) {
    TMMAcmWave wave;
    struct Release {
        TMMWave& a;
        TMMWave& b;
        ~Release() {
            for (TMMWave* w : {&a, &b}) {
                try {
                    w->CloseFile();
                } catch (...) {
                }
                try {
                    w->FreeWave();
                } catch (...) {
                }
            }
        }
    } release{scratch, wave};

    wave.SetFileName(source);
    wave.OpenFile();
    // A file nothing here reads is refused before any output exists.
    if (const std::string why = UnreadableReason(*wave.FileFormat()); !why.empty())
        throw std::runtime_error(why);
    const TWaveFormatEx dest = MakePCMFormat(bits, channels, rate);
    scratch.FileMustExist = false;
    scratch.CreateFile(target, dest);

    const TWaveFormatEx presentation = *wave.OutputFormat();
    const int32_t out_size = PCMConvertSize(kSourceBlock, presentation, dest);
    std::vector<uint8_t> src(kSourceBlock);
    std::vector<uint8_t> dst(size_t(std::max(out_size, 0)) + 4);

    progress.set_caption(app().message("FE_wav_msg6"));
    progress.set_directory(folder_of(source));
    progress.set_filename(name_of(source));
    progress.set_target(">> " + name_of(target));
    progress.set_current(0);
    progress.process_events();

    bool result = true;
    try {
        const int64_t total = wave.LengthInBytes();
        progress.set_filebyte(format_n(double(total) / 1024.0) + " Kbyte(s)");
        int64_t done = 0;
        while (done < total) {
            const int64_t m = wave.ReadData(src.data(), std::min<int64_t>(kSourceBlock, total - done));
            if (m <= 0) break;
            const int32_t u = PCMConvert(int32_t(m), src.data(), presentation, dst.data(), dest);
            if (u <= 0) break;
            if (scratch.WriteData(dst.data(), u) <= 0) throw EMMWaveError(WaveError::WriteError);
            done += m;
            progress.set_current(percent(done, total));
            if (app().convert_cancel) break;
            progress.process_events();
        }
    } catch (const std::exception&) {
        result = false;
    }
    progress.set_caption(restore.caption);
    progress.set_filename(restore.filename);
    // Finalising the target can still fail (a full disk): then it is not
    // complete and the conversion did not succeed.
    try {
        scratch.CloseFile();
    } catch (const std::exception&) {
        result = false;
    }
    return result;
}

bool fits_encoder(const TMMWave& wave, uint32_t rate) {
    return wave.FormatTag() == WAVE_FORMAT_PCM && wave.Channels() == 1 && wave.BitLength() == 16 &&
           wave.SampleRate() == rate;
}

bool prepare_encoding_source(TMMWave& wave, uint32_t rate, std::string& temp_path, ConversionProgress& progress,
                             const std::string& scratch_folder, std::string* why) {
    temp_path.clear();
    if (fits_encoder(wave, rate)) {
        if (!wave.Opened()) wave.OpenFile();
        return true;
    }
    const std::string source = wave.FileName();
    const std::string temp = reserve_scratch_file(scratch_folder.empty() ? folder_of(source) : scratch_folder,
                                                  name_of(source));
    if (temp.empty()) {
        if (why) *why = "no scratch file could be created (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    wave.FreeWave();
    bool ok = false;
    try {
        TMMWave scratch;
        ok = convert_wavetowave(source, temp, 1, 16, rate, scratch, progress) && !app().convert_cancel;
        if (ok) {
            wave.SetFileName(temp);
            wave.OpenFile();
        } else if (why && !app().convert_cancel) {
            *why = "the converted copy could not be written";
        }
    } catch (const std::exception& e) {
        if (why) *why = e.what();
        ok = false;
    }
    if (!ok) {
        // A cancelled or failed conversion leaves no temporary file behind.
        try {
            wave.FreeWave();
        } catch (...) {
        }
        ::unlink(temp.c_str());
        return false;
    }
    temp_path = temp;
    return true;
}

}  // namespace murrel
