#include "shell/startup.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/profile.h"
#include "shell/shell_texts.h"

namespace fs = std::filesystem;

namespace murrel {

namespace {

// Everything up to the first 512 bytes is the header the recording started
// with; anything beyond it is audio worth keeping.
constexpr std::uintmax_t kVoiceHeaderSize = 512;

std::string default_fallback_dir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.local/share";
    }
    return AddSlash(base) + "Murrelphonic";
}

std::string strip_trailing_slashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

enum class MoveOutcome { Moved, TargetExists, Failed };

// Moves `from` to `to` without ever replacing an existing `to`. Within one
// file system this is a rename; across file systems a copy that is removed
// again when it fails, the original being removed only after a full copy.
MoveOutcome move_no_replace(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return MoveOutcome::Moved;
    if (errno == EEXIST) return MoveOutcome::TargetExists;
    if (errno == EINVAL || errno == ENOSYS) {  // file system without the no-replace form
        if (fs::exists(fs::symlink_status(to, ec))) return MoveOutcome::TargetExists;
        if (::rename(from.c_str(), to.c_str()) == 0) return MoveOutcome::Moved;
    }
    if (errno != EXDEV) return MoveOutcome::Failed;
    if (!fs::copy_file(from, to, fs::copy_options::none, ec) || ec) {
        if (ec == std::errc::file_exists) return MoveOutcome::TargetExists;
        fs::remove(to, ec);
        return MoveOutcome::Failed;
    }
    fs::remove(from, ec);
    return MoveOutcome::Moved;
}

// Moves the recording to the first free name `base` + ".vkd", `base` + "_2.vkd",
// ... in `dir`; the new path, or "" when it could not be moved there.
std::string move_to_free_name(const std::string& path, const std::string& dir, const std::string& base) {
    for (int n = 1; n < 1000; ++n) {
        std::string name = base + (n == 1 ? std::string() : "_" + std::to_string(n)) + ".vkd";
        std::string target = AddSlash(dir) + name;
        switch (move_no_replace(path, target)) {
        case MoveOutcome::Moved: return target;
        case MoveOutcome::TargetExists: continue;
        case MoveOutcome::Failed: return {};
        }
    }
    return {};
}

std::string recovered_base_name(const std::string& path) {
    struct stat st {};
    std::time_t when = ::stat(path.c_str(), &st) == 0 ? st.st_mtime : std::time(nullptr);
    std::tm local {};
    ::localtime_r(&when, &local);
    char buf[64];
    std::strftime(buf, sizeof buf, "recovered_%Y%m%d_%H%M%S", &local);
    return buf;
}

// Moves the recording out of the scratch folder as `base` + ".vkd" into the
// first recovery folder that takes it, and patches it; "" when none did.
std::string move_out(const std::string& path, const std::string& base, const ScratchCleanup& cleanup) {
    for (const std::string& dir : cleanup.recovery_dirs) {
        std::error_code ec;
        if (dir.empty()) continue;
        if (!fs::is_directory(dir, ec)) fs::create_directory(dir, ec);
        std::string target = move_to_free_name(path, dir, base);
        if (target.empty()) continue;
        if (cleanup.patch_recovered) cleanup.patch_recovered(target);
        return target;
    }
    return {};
}

CleanupReport::Recovered recover_recording(const std::string& path, const ScratchCleanup& cleanup) {
    std::string base = recovered_base_name(path);
    std::string target = move_out(path, base, cleanup);
    if (!target.empty()) return {target, true};
    // Hidden names survive every clean-up, so the recording waits there.
    target = move_to_free_name(path, cleanup.temp_dir, "." + base);
    return {target.empty() ? path : target, false};
}

// A hidden ".recovered_....vkd" waiting from an earlier start.
bool is_waiting_recording(const std::string& name) {
    return name.size() > 15 && name.compare(0, 11, ".recovered_") == 0 &&
           name.compare(name.size() - 4, 4, ".vkd") == 0;
}

}  // namespace

std::string program_folder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return AddSlash(fs::current_path(ec).string());
    return AddSlash(exe.parent_path().string());
}

std::string shipped_folder(const std::string& program_dir, const std::string& app_name) {
    const std::string beside = AddSlash(program_dir);
    std::error_code ec;
    if (fs::exists(beside + app_name + ".ini", ec)) return beside;
    std::string lower = app_name;
    for (char& c : lower) c = char(std::tolower(uint8_t(c)));
    const fs::path installed = fs::path(beside).parent_path().parent_path() / "share" / lower;
    if (fs::exists(installed / (app_name + ".ini"), ec)) return AddSlash(installed.lexically_normal().string());
    return beside;
}

bool locate_folders(const std::string& program_dir, const std::string& fallback_dir) {
    AppState& state = app();
    state.app_dir = AddSlash(program_dir);
    state.shipped_dir = shipped_folder(state.app_dir, state.app_name);
    std::string shipped_ini = state.shipped_dir + state.app_name + ".ini";
    // An installed program keeps its settings with the user even where its
    // folder happens to be writable (an install run as root): the shipped
    // files and the user's must never be the same files.
    const bool installed = state.shipped_dir != state.app_dir;
    if (!installed && ::access(state.app_dir.c_str(), W_OK) == 0) {
        state.settings_dir = state.app_dir;
    } else {
        state.settings_dir = AddSlash(fallback_dir);
        std::error_code ec;
        fs::create_directories(state.settings_dir, ec);
        if (!fs::is_directory(state.settings_dir, ec)) {
            show_error(shell_text(ShellText::CannotCreateFolder, strip_trailing_slashes(state.settings_dir)));
            return false;
        }
        std::string own_ini = state.settings_dir + state.app_name + ".ini";
        if (!fs::exists(fs::symlink_status(own_ini, ec)) && fs::exists(shipped_ini, ec)) {
            fs::copy_file(shipped_ini, own_ini, fs::copy_options::none, ec);
            // The copy is the user's own from now on, even when the shipped
            // file was installed read-only.
            fs::permissions(own_ini, fs::perms::owner_write, fs::perm_options::add, ec);
        }
    }
    state.ini_path = state.settings_dir + state.app_name + ".ini";
    return true;
}

void read_main_configuration() {
    AppState& state = app();
    ProfileFile ini(state.ini_path);
    std::string charset_text = ini.read_string("Character", "Charset", "1");
    if (auto charset = parse_int32(charset_text)) {
        state.charset = *charset;
    } else {
        state.charset = 1;
        show_error(shell_text(ShellText::NotAValidInteger, decode_catalogue_text(charset_text, 1)));
    }
    state.default_path = ini.read_string("Config", "Default_path", "");
}

bool make_folders() {
    AppState& state = app();
    std::error_code ec;
    std::string wanted = strip_trailing_slashes(state.default_path);
    if (!wanted.empty() && fs::is_directory(wanted, ec))
        state.data_dir = wanted;
    else
        state.data_dir = state.settings_dir + "voicedata";
    state.temp_dir = state.settings_dir + "tempdata";
    for (const std::string* dir : {&state.data_dir, &state.temp_dir}) {
        if (!fs::is_directory(*dir, ec)) fs::create_directory(*dir, ec);
        if (!fs::is_directory(*dir, ec)) {
            show_error(shell_text(ShellText::CannotCreateFolder, *dir));
            return false;
        }
    }
    state.temp_recording_path = state.temp_dir + "/temp_recording.vkd";
    return true;
}

CleanupReport clean_scratch_folder(const ScratchCleanup& cleanup) {
    CleanupReport report;
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(cleanup.temp_dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (is_waiting_recording(name) && it->is_regular_file(ec) && !it->is_symlink(ec)) {
            // Tried again each start; told only once it has left.
            std::string target = move_out(it->path().string(), name.substr(1, name.size() - 5), cleanup);
            if (!target.empty()) report.recovered.push_back({target, true});
            continue;
        }
        if (name.empty() || name.front() == '.') continue;
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        files.push_back(it->path());
    }
    for (const fs::path& file : files) {
        if (file.filename() == cleanup.recording_name && fs::file_size(file, ec) > kVoiceHeaderSize && !ec) {
            report.recovered.push_back(recover_recording(file.string(), cleanup));
            continue;
        }
        if (fs::remove(file, ec) && !ec) ++report.deleted;
    }
    return report;
}

StartupResult start_up(const StartupOptions& options) {
    StartupResult result;
    std::string program_dir = options.program_dir.empty() ? program_folder() : options.program_dir;
    std::string fallback = options.fallback_dir.empty() ? default_fallback_dir() : options.fallback_dir;
    if (!locate_folders(program_dir, fallback)) return result;
    read_main_configuration();
    result.main_texts = getmessage_frominifile(CatalogueWindow::Main);
    if (!make_folders()) return result;

    AppState& state = app();
    ScratchCleanup cleanup;
    cleanup.temp_dir = state.temp_dir;
    // Never the folder opened at start: that may be the recorder, and a
    // recording the user never saved does not belong on a removable volume.
    cleanup.recovery_dirs = {state.settings_dir + "voicedata"};
    cleanup.patch_recovered = options.patch_recovered;
    CleanupReport report = clean_scratch_folder(cleanup);

    std::string notice;
    for (const auto& r : report.recovered) {
        if (!notice.empty()) notice += "\n";
        notice += shell_text(r.moved_out ? ShellText::RecordingRecovered : ShellText::RecordingKeptInScratch,
                             r.path);
        result.recovered.push_back(r.path);
    }
    if (!notice.empty()) show_warning(notice);
    result.ok = true;
    return result;
}

void writeconfig_inifile(const std::string& edit_directory_text, const std::string& current_folder) {
    AppState& state = app();
    std::error_code ec;
    state.default_path =
        !edit_directory_text.empty() && fs::is_directory(edit_directory_text, ec) ? edit_directory_text
                                                                                   : current_folder;
    ProfileFile(state.ini_path).write_string("Config", "Default_path", state.default_path);
}

}  // namespace murrel
