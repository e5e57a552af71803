// murrelphonic-cli mail: the files handed to the user's mail program as the
// attachments of a new message, as the Mail button does, for scripts and
// file-manager actions. --wav attaches voice files decoded to WAV beside them.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/formats/mmwave.h"
#include "cli/batch_console.h"
#include "cli/commands.h"
#include "filemanager/mail.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "voicefile/fileinfo.h"
#include "voicefile/naming.h"
#include "voicefile/stream_lease.h"

namespace murrel::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage = "mail [--wav] FILE...";

// The WAV beside `voice`, decoded now; the voice file itself when a file of
// the WAV's name is there already (it is not replaced) or the decoding fails.
std::string wav_attachment(const std::string& voice) {
    const fs::path source(voice);
    const std::string wav = (source.parent_path() / make_autofilename(source.filename().string(), 1)).string();
    std::error_code ec;
    if (fs::exists(wav, ec)) {
        show_warning("[" + fs::path(wav).filename().string() + "] " + app().message("FM_text_system_errmsg10"));
        return voice;
    }
    Tkoltfile_info info;
    get_fileinfo(voice, info);
    bool made = false;
    try {
        TMMWave scratch;
        made = file_decompress_leased(voice, wav, info, scratch);
    } catch (const std::exception& e) {
        show_error(wav + ": " + e.what());
    }
    if (!made) fs::remove(wav, ec);
    return made ? wav : voice;
}

int run_mail(const std::vector<std::string>& args) {
    bool wav = false, bad = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") {
            std::printf("usage: murrelphonic-cli %s\n", kUsage);
            return 0;
        }
        if (a == "--wav")
            wav = true;
        else if (!a.empty() && a[0] == '-')
            bad = true;
        else
            files.push_back(a);
    }
    if (bad || files.empty()) {
        std::fprintf(stderr, "usage: murrelphonic-cli %s\n", kUsage);
        return 2;
    }
    load_console_texts();
    TEmail mail;
    for (const std::string& f : files) {
        std::error_code ec;
        if (!fs::is_regular_file(f, ec)) {
            std::fprintf(stderr, "murrelphonic-cli: %s: No such file\n", f.c_str());
            return 1;
        }
        Tkoltfile_info info;
        const bool voice = get_fileinfo(f, info) == kFileVoice;
        mail.Attachment.push_back(fs::absolute(wav && voice ? wav_attachment(f) : f).string());
    }
    try {
        const int result = mail.SendMail();
        if (result != 0) std::fprintf(stderr, "murrelphonic-cli: the mail program could not be reached\n");
        return result == 0 ? 0 : 1;
    } catch (const EMapiUnavailable& e) {
        std::fprintf(stderr, "murrelphonic-cli: %s\n", e.what());
        return 1;
    }
}

const CommandRegistration registration({
    "mail",
    kUsage,
    "hand files to the registered mail program as attachments (--wav: voice files decoded to WAV first)",
    run_mail,
});

}  // namespace

}  // namespace murrel::cli
