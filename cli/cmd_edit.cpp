// murrelphonic-cli edit: the Voice Editor's edits on a WAV file without a
// screen. The operations run through the same edit session the window
// drives, in the order given, each on the result of the one before; the
// result is saved as the editor's save as does.
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "editor/editsession.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"

namespace murrel::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "edit IN.wav [--cut FROM:TO] [--trim FROM:TO] [--insert-blank AT] [--paste CLIP.wav@AT] "
    "[--volume up|down|reset]... -o OUT.wav [--overwrite]";

int usage_error(const std::string& why) {
    std::fprintf(stderr,
                 "murrelphonic-cli edit: %s\nusage: murrelphonic-cli %s\n"
                 "(positions in seconds, 1.5, or frames, 24000f; 'murrelphonic-cli edit --help' tells more)\n",
                 why.c_str(), kUsage);
    return 2;
}

// A position as written: seconds, or frames with an "f" suffix.
struct Position {
    bool frames = false;
    double value = 0;
    std::string text;
};

bool parse_position(const std::string& text, Position& out) {
    out.text = text;
    std::string number = text;
    out.frames = !number.empty() && number.back() == 'f';
    if (out.frames) number.pop_back();
    if (number.empty() || number[0] == '-' || number[0] == '+') return false;
    try {
        size_t used = 0;
        if (out.frames) {
            if (number.find_first_not_of("0123456789") != std::string::npos) return false;
            out.value = double(std::stoll(number, &used));
        } else {
            if (number.find_first_not_of("0123456789.") != std::string::npos) return false;
            out.value = std::stod(number, &used);
        }
        return used == number.size() && std::isfinite(out.value);
    } catch (const std::exception&) {
        return false;
    }
}

struct Operation {
    enum Kind { Cut, Trim, InsertBlank, Paste, Volume } kind;
    std::string option;  // as written, for messages
    Position from, to;   // Cut, Trim; `from` is AT for InsertBlank and Paste
    std::string clip;    // Paste
    std::string volume;  // Volume
};

bool parse_range(const std::string& text, Operation& op) {
    const size_t colon = text.find(':');
    return colon != std::string::npos && parse_position(text.substr(0, colon), op.from) &&
           parse_position(text.substr(colon + 1), op.to);
}

// A scratch folder of the run's own for the session's temporary files.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "murrel-edit-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

// The catalogue is not read here: the boxes the session shows get texts of
// their own that say what went wrong.
void set_default_texts() {
    auto text = [](const char* key, const char* value) {
        if (app().message(key).empty()) app().messages[key] = value;
    };
    text("FE_wav_msg16", "the edit could not be written (no room on the disk, or audio that cannot be read)");
    text("FE_wav_msg17", "the result could not be saved, or would hold no audio");
}

int fail(const std::string& why) {
    std::fprintf(stderr, "murrelphonic-cli edit: %s; nothing was written\n", why.c_str());
    return 1;
}

int run_edit(const std::vector<std::string>& args) {
    std::string input, output;
    bool overwrite = false;
    std::vector<Operation> ops;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        Operation op{};
        op.option = a;
        if (a == "-h" || a == "--help") {
            std::printf("usage: murrelphonic-cli %s\n", kUsage);
            return 0;
        } else if (a == "-o" && has_value) {
            output = args[++i];
        } else if (a == "--overwrite") {
            overwrite = true;
        } else if ((a == "--cut" || a == "--trim") && has_value) {
            op.kind = a == "--cut" ? Operation::Cut : Operation::Trim;
            op.option += " " + args[++i];
            if (!parse_range(args[i], op)) return usage_error(a + " takes FROM:TO, not " + args[i]);
            ops.push_back(op);
        } else if (a == "--insert-blank" && has_value) {
            op.kind = Operation::InsertBlank;
            op.option += " " + args[++i];
            if (!parse_position(args[i], op.from)) return usage_error("bad position " + args[i]);
            ops.push_back(op);
        } else if (a == "--paste" && has_value) {
            op.kind = Operation::Paste;
            op.option += " " + args[++i];
            const size_t at = args[i].rfind('@');
            if (at == std::string::npos || at == 0 || !parse_position(args[i].substr(at + 1), op.from))
                return usage_error("--paste takes CLIP.wav@AT, not " + args[i]);
            op.clip = args[i].substr(0, at);
            ops.push_back(op);
        } else if (a == "--volume" && has_value) {
            op.kind = Operation::Volume;
            op.volume = args[++i];
            op.option += " " + op.volume;
            if (op.volume != "up" && op.volume != "down" && op.volume != "reset")
                return usage_error("--volume takes up, down or reset");
            ops.push_back(op);
        } else if (!a.empty() && a[0] == '-') {
            return usage_error("unknown or incomplete option " + a);
        } else if (input.empty()) {
            input = a;
        } else {
            return usage_error("more than one input file: " + a);
        }
    }
    if (input.empty()) return usage_error("no WAV file given");
    if (output.empty()) return usage_error("no output given (-o)");
    std::error_code ec;
    if (fs::exists(output, ec) && !overwrite) return fail(output + " exists (use --overwrite to replace it)");

    set_default_texts();
    ScratchFolder scratch;
    if (scratch.path.empty()) return fail("no scratch folder could be made");
    ConsoleDialogService console;
    set_dialog_service(&console);
    struct Uninstall {
        ~Uninstall() { set_dialog_service(nullptr); }
    } uninstall;

    TMMEditSession session(scratch.path);
    session.SetScreenWidth(1);
    session.BuildsDisplayData = false;
    {
        TMMAcmWave probe;
        try {
            probe.SetFileName(input);
        } catch (const std::exception& e) {
            return fail(input + ": " + e.what());
        }
        if (!probe.FileFormat()) return fail(input + ": not a WAV file");
    }
    if (!session.OpenDocument(input)) return fail(input + ": a format the editor cannot read");
    if (session.DocumentEmpty()) return fail(input + " holds no audio");

    for (const Operation& op : ops) {
        const int64_t frames = session.Document().DataSize();
        const uint32_t rate = session.Document().OutputFormat()->nSamplesPerSec;
        auto frame_of = [&](const Position& p) {
            return p.frames ? int64_t(p.value) : int64_t(std::llround(p.value * rate));
        };
        const int64_t from = frame_of(op.from), to = frame_of(op.to);
        if (from > frames || to > frames)
            return fail(op.option + ": the document has only " + std::to_string(frames) + " frames");
        bool ok = true;
        switch (op.kind) {
            case Operation::Cut:
            case Operation::Trim:
                if (from >= to) return fail(op.option + ": FROM must lie before TO");
                if (op.kind == Operation::Cut && from == 0 && to == frames)
                    return fail(op.option + ": the result would hold no audio");
                if (op.kind == Operation::Trim && from == 0 && to == frames) break;  // keeps everything
                session.SetSelection(from, to);
                ok = op.kind == Operation::Cut ? session.CutSelection() : session.TrimToSelection();
                break;
            case Operation::InsertBlank:
                session.SetLocator(from);
                ok = session.InsertBlank();
                break;
            case Operation::Paste:
                if (!session.SetClipboardFile(op.clip)) return fail(op.option + ": " + op.clip + " cannot be read");
                if (session.ClipboardEmpty()) return fail(op.option + ": " + op.clip + " holds no audio");
                session.SetLocator(from);
                ok = session.PasteClipboard();
                break;
            case Operation::Volume:
                if (op.volume == "reset") session.ResetVolume();
                else session.ScaleVolume(op.volume == "up" ? TMMEditSession::kVolumeUp : TMMEditSession::kVolumeDown);
                break;
        }
        if (!ok) return fail(op.option + " failed");
    }
    if (!session.SaveDocumentTo(output)) return fail("saving " + output + " failed");
    std::printf("%s: %lld frames\n", output.c_str(), static_cast<long long>(session.Document().DataSize()));
    return 0;
}

const CommandRegistration registration{
    {"edit", kUsage, "cut, trim, paste, insert silence and change the volume of a WAV file as the editor does",
     run_edit}};

}  // namespace

}  // namespace murrel::cli
