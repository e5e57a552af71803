// murrelphonic-cli decode: voice files to WAV files through the program's own
// decoding (file_decompress), several files at once in worker processes.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "cli/commands.h"
#include "cli/decoder_diagnostics.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "cli/batch_console.h"
#include "voicefile/decompress.h"
#include "voicefile/fileinfo.h"
#include "voicefile/framereader.h"
#include "voicefile/naming.h"
#include "voicefile/scratch_output.h"
#include "cli/std_streams.h"

namespace murrel::cli {

namespace {

constexpr const char* kUsage = "decode FILE.vkd... [-o DIR|-] [--overwrite] [--quiet] [-j N]";

FileOutcome decode_one(const std::string& file, const BatchOptions& options, ConversionProgress& progress) {
    Tkoltfile_info info;
    if (get_fileinfo(file, info) != kFileVoice) {
        show_error(app().message("FM_text_system_errmsg7"));
        return FileOutcome::Failed;
    }
    const std::string target = batch_target(file, options.out_dir, 1);
    if (path_exists(target) && !options.overwrite) {
        show_warning("[" + file_name_of(target) + "] " + app().message("FM_text_system_errmsg10"));
        return FileOutcome::Failed;
    }
    // A file being replaced stays as it was until the new one is complete.
    OutputTarget output(target);
    if (!output_ready(output)) return FileOutcome::Failed;
    TMMWave scratch;
    bool ok = false;
    DecoderDiagnostics diagnostics;
    try {
        ok = file_decompress(file, target, info, scratch, progress, frame_reader(), kSplitThreshold,
                             output.write_path());
        diagnostics.report(file, options.quiet);
    } catch (const std::exception& e) {
        diagnostics.report(file, options.quiet);
        show_error(target + ": " + e.what());
    }
    return settle_output(output, ok, file, options.quiet);
}

int run_decode(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "-h" || a == "--help") {
            std::printf("usage: murrelphonic-cli %s\n", kUsage);
            return 0;
        }
    BatchOptions options;
    std::vector<std::string> files;
    if (!parse_batch_args(args, options, files, nullptr)) {
        std::fprintf(stderr, "usage: murrelphonic-cli %s\n", kUsage);
        return 2;
    }
    StandardStreams streams;
    if (!streams.prepare(files, options, "stdin.vkd")) return 1;
    load_console_texts();
    bool clash = false;
    std::vector<std::string> unique = drop_clashing_targets(files, options.out_dir, 1, "decode", clash);
    int status = run_batch(unique, options, "decode",
                           [&](const std::string& f, ConversionProgress& p) { return decode_one(f, options, p); });
    return streams.finish(status == 0 && clash ? 1 : status, unique, 1);
}

const CommandRegistration registration({
    "decode",
    kUsage,
    "convert voice files to 16-bit WAV files (parallel workers, Ctrl+C cancels)",
    run_decode,
});

}  // namespace

}  // namespace murrel::cli
