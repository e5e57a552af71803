// murrelphonic-cli encode: WAV files to voice files in a recording mode,
// through the program's own encoding (file_compress).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "cli/commands.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "cli/batch_console.h"
#include "voicefile/compress.h"
#include "voicefile/fileinfo.h"
#include "voicefile/koltheader.h"
#include "voicefile/lamecoder.h"
#include "voicefile/naming.h"
#include "voicefile/scratch_output.h"
#include "cli/std_streams.h"
#include "voicefile/wavetowave.h"

namespace murrel::cli {

namespace {

constexpr const char* kUsage = "encode FILE.wav... --mode sp|hq|shq [-o DIR|-] [--overwrite] [--quiet] [-j N]";

FileOutcome encode_one(const std::string& file, int codec_type, const BatchOptions& options,
                       ConversionProgress& progress) {
    Tkoltfile_info info;
    if (get_fileinfo(file, info) != kFileWav) {
        show_error(app().message("FM_text_system_errmsg7"));
        return FileOutcome::Failed;
    }
    const std::string target = batch_target(file, options.out_dir, 2);
    if (path_exists(target) && !options.overwrite) {
        show_warning("[" + file_name_of(target) + "]" + app().message("FM_text_system_errmsg10"));
        return FileOutcome::Failed;
    }
    TMMWave scratch;
    try {
        scratch.SetFileName(file);
        scratch.OpenFile();
    } catch (const std::exception&) {
        scratch.FreeWave();
        show_error(app().message("FM_text_system_errmsg6"));
        return FileOutcome::Failed;
    }
    // An existing voice file stays as it was until the new one is complete.
    OutputTarget output(target);
    if (!output_ready(output)) {
        scratch.FreeWave();
        return FileOutcome::Failed;
    }
    const std::string folder = folder_of(target);
    // A source of another format is first converted into a scratch copy in
    // the target's folder (the source's folder may be read-only).
    std::string temp_path, why;
    if (!prepare_encoding_source(scratch, static_cast<uint32_t>(mp3_sample_rate(codec_type)), temp_path, progress,
                                 folder, &why)) {
        scratch.FreeWave();
        if (app().convert_cancel) return FileOutcome::Cancelled;
        show_error("Unable to convert to 16-bit mono PCM: " + why);
        return FileOutcome::Failed;
    }
    struct DropTemp {
        const std::string& path;
        ~DropTemp() {
            if (!path.empty()) ::unlink(path.c_str());
        }
    } drop_temp{temp_path};

    TLameCoder coder;
    bool ok = false;
    try {
        ok = file_compress(scratch, output.write_path(), codec_type, coder, progress, target);
    } catch (const std::exception& e) {
        scratch.FreeWave();
        show_error(std::string(e.what()) + " (" + target + ")");
    }
    scratch.FreeWave();
    return settle_output(output, ok, file, options.quiet);
}

int run_encode(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "-h" || a == "--help") {
            std::printf("usage: murrelphonic-cli %s\n", kUsage);
            return 0;
        }
    int codec_type = 0;
    auto mode_option = [&](const std::vector<std::string>& all, std::size_t i) -> int {
        if (all[i] != "--mode" && all[i] != "-m") return 0;
        const std::string value = i + 1 < all.size() ? all[i + 1] : "";
        if (value == "sp" || value == "SP") codec_type = 5;
        else if (value == "hq" || value == "HQ") codec_type = 6;
        else if (value == "shq" || value == "SHQ") codec_type = 7;
        else {
            std::fprintf(stderr, "murrelphonic-cli: --mode takes sp, hq or shq\n");
            return -1;
        }
        return 2;
    };
    BatchOptions options;
    std::vector<std::string> files;
    if (!parse_batch_args(args, options, files, mode_option)) {
        std::fprintf(stderr, "usage: murrelphonic-cli %s\n", kUsage);
        return 2;
    }
    if (codec_type == 0) {
        std::fprintf(stderr, "murrelphonic-cli: encode needs --mode sp|hq|shq\nusage: murrelphonic-cli %s\n", kUsage);
        return 2;
    }
    StandardStreams streams;
    if (!streams.prepare(files, options, "stdin.wav")) return 1;
    load_console_texts();
    bool clash = false;
    std::vector<std::string> unique = drop_clashing_targets(files, options.out_dir, 2, "encode", clash);
    int status = run_batch(unique, options, "encode", [&](const std::string& f, ConversionProgress& p) {
        return encode_one(f, codec_type, options, p);
    });
    return streams.finish(status == 0 && clash ? 1 : status, unique, 2);
}

const CommandRegistration registration({
    "encode",
    kUsage,
    "convert WAV files of any readable format to voice files in a recording mode (Ctrl+C cancels)",
    run_encode,
});

}  // namespace

}  // namespace murrel::cli
