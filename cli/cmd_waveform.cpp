// murrelphonic-cli waveform: pictures of WAV files as the editor's overview
// draws them, through the display data the editor keeps (built where the
// program would build it, or reused), so a run over a recorder's files also
// fills the editor's cache.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "editor/displayregistry.h"
#include "editor/paint/waveformimage.h"

namespace murrel::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage = "waveform FILE.wav... -o OUT.png|DIR [--width W] [--height H]";

bool parse_size(const std::string& text, int& out) {
    try {
        size_t used = 0;
        const long v = std::stol(text, &used);
        if (used != text.size() || v < 1 || v > 16384) return false;
        out = int(v);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

int usage_error(const char* why) {
    std::fprintf(stderr, "murrelphonic-cli waveform: %s\nusage: murrelphonic-cli %s\n", why, kUsage);
    return 2;
}

int run_waveform(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::string out;
    int width = 800, height = 160;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "-h" || a == "--help") {
            std::printf("usage: murrelphonic-cli %s\n", kUsage);
            return 0;
        } else if (a == "-o" && has_value) {
            out = args[++i];
        } else if (a == "--width" && has_value) {
            if (!parse_size(args[++i], width)) return usage_error("--width takes 1 to 16384 pixels");
        } else if (a == "--height" && has_value) {
            if (!parse_size(args[++i], height)) return usage_error("--height takes 1 to 16384 pixels");
        } else if (!a.empty() && a[0] == '-') {
            return usage_error(("unknown or incomplete option " + a).c_str());
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) return usage_error("no WAV file given");
    if (out.empty()) return usage_error("no output given (-o)");
    std::error_code ec;
    const bool to_folder = fs::is_directory(out, ec) || files.size() > 1;
    if (to_folder && !fs::is_directory(out, ec))
        return usage_error("with several files -o names an existing folder");

    int status = 0;
    TMMDisplayRegistry& registry = TMMDisplayRegistry::Instance();
    for (const std::string& file : files) {
        const std::string png =
            to_folder ? (fs::path(out) / fs::path(file).stem()).string() + ".png" : out;
        const WaveformImageResult r = WriteWaveformImage(registry, file, png, width, height);
        if (!r.ok) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), r.error.c_str());
            status = 1;
            continue;
        }
        std::printf("%s -> %s%s\n", file.c_str(), png.c_str(), r.built ? " (display data built)" : "");
    }
    return status;
}

const CommandRegistration registration{
    {"waveform", kUsage, "draw WAV files as the editor's overview does into PNG pictures", run_waveform}};

}  // namespace

}  // namespace murrel::cli
