// murrelphonic-cli convert: any readable WAV file (8/16/24/32-bit, float,
// ADPCM, A-law, mu-law, GSM 6.10, any rate and channel count up to stereo) to
// a PCM WAV file, through the program's own WAV-to-WAV conversion.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "cli/commands.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "cli/batch_console.h"
#include "voicefile/naming.h"
#include "voicefile/scratch_output.h"
#include "voicefile/wavetowave.h"

namespace murrel::cli {

namespace {

constexpr const char* kUsage =
    "convert FILE.wav --rate HZ --channels N --bits B [-o OUT.wav] [--overwrite] [--quiet]";

bool parse_number(const std::string& text, long lo, long hi, long& out) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

// "memo.wav" -> "memo_16000.wav" beside it.
std::string default_output(const std::string& source, long rate) {
    std::string stem = source;
    const size_t slash = stem.find_last_of('/');
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
    return stem + "_" + std::to_string(rate) + ".wav";
}

int usage_error(const std::string& what) {
    std::fprintf(stderr, "murrelphonic-cli: %s\nusage: murrelphonic-cli %s\n", what.c_str(), kUsage);
    return 2;
}

int run_convert(const std::vector<std::string>& args) {
    std::string source, output;
    long rate = 0, channels = 0, bits = 0;
    BatchOptions options;
    options.jobs = 1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "-h" || a == "--help") {
            std::printf("usage: murrelphonic-cli %s\n", kUsage);
            return 0;
        } else if (a == "--rate") {
            // Below 1000 Hz a block of the source converts to no frame at all.
            if (!has_value || !parse_number(args[++i], 1000, 768000, rate))
                return usage_error("--rate takes a sampling rate from 1000 to 768000 Hz");
        } else if (a == "--channels") {
            if (!has_value || !parse_number(args[++i], 1, 2, channels))
                return usage_error("--channels takes 1 or 2");
        } else if (a == "--bits") {
            if (!has_value || !parse_number(args[++i], 8, 16, bits) || (bits != 8 && bits != 16))
                return usage_error("--bits takes 8 or 16");
        } else if (a == "-o") {
            if (!has_value) return usage_error("-o needs a file name");
            output = args[++i];
        } else if (a == "--overwrite") {
            options.overwrite = true;
        } else if (a == "--quiet" || a == "-q") {
            options.quiet = true;
        } else if (!a.empty() && a[0] == '-') {
            return usage_error("unknown option " + a);
        } else if (source.empty()) {
            source = a;
        } else {
            return usage_error("convert takes one file");
        }
    }
    if (source.empty()) return usage_error("no file given");
    if (!rate || !channels || !bits) return usage_error("--rate, --channels and --bits are all needed");
    if (output.empty()) output = default_output(source, rate);
    if (output == source) return usage_error("the output would replace the source");

    load_console_texts();
    return run_batch({source}, options, "convert", [&](const std::string& file, ConversionProgress& progress) {
        if (path_exists(output) && !options.overwrite) {
            show_warning(output + " exists (use --overwrite to replace it)");
            return FileOutcome::Failed;
        }
        // An existing output stays as it was until the new one is complete.
        OutputTarget target(output);
        if (!output_ready(target)) return FileOutcome::Failed;
        TMMWave scratch;
        bool ok = false;
        try {
            ok = convert_wavetowave(file, target.write_path(), int(channels), int(bits), uint32_t(rate), scratch,
                                    progress);
        } catch (const EMMWaveError& e) {
            target.abandon();
            const bool created = e.code() == WaveError::CreateError || e.code() == WaveError::BufferError;
            show_error(created ? output + ": could not be created (" + e.what() + ")" : std::string(e.what()));
            return FileOutcome::Failed;
        } catch (const std::exception& e) {
            target.abandon();
            show_error(e.what());
            return FileOutcome::Failed;
        }
        if (!ok) show_error("Unable to write wave file (" + output + ")");
        return settle_output(target, ok && !app().convert_cancel, file, options.quiet);
    });
}

const CommandRegistration registration({
    "convert",
    kUsage,
    "convert any readable WAV file (ADPCM, A-law, 8/24-bit, stereo, ...) to PCM at a given rate",
    run_convert,
});

}  // namespace

}  // namespace murrel::cli
