#pragma once
// Bringing the program up and taking it down: the folders, the main window's
// configuration, the scratch folder's clean-up, and writing the last browsed
// folder back on closing. Everything here runs on the user-interface thread,
// after the single-instance check (shell/instance/single_instance.h) said this is the only
// instance, and fills app().
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/catalogue.h"

namespace murrel {

// Patches the header of a recording recovered to `path` as saving a finished
// recording does (title from the file name, extension "VKD"); false when the
// file could not be patched. The program wires the voice-file code in here.
using RecoveryPatch = std::function<bool(const std::string& path)>;

struct StartupOptions {
    // Folder of the program file; empty = the folder of this process's program.
    std::string program_dir;
    // Where the INI file and the voicedata and tempdata folders go when the
    // program's folder cannot be written (a system-wide install); empty =
    // $XDG_DATA_HOME/Murrelphonic, or ~/.local/share/Murrelphonic.
    std::string fallback_dir;
    RecoveryPatch patch_recovered;
    // Name of the single-instance lock; empty = app_name.
    std::string instance_name;
};

struct StartupResult {
    // False when a folder could not be created (already reported): the
    // program must end, since nothing may run with undefined folders.
    bool ok = false;
    // True when another instance runs: it was asked to come forward, and no
    // folder or file was touched. `ok` is false then too.
    bool another_instance = false;
    WindowTexts main_texts;              // the main window's catalogue texts
    std::vector<std::string> recovered;  // where recovered recordings went
};

// The main window's start-up from working out the folders to emptying the
// scratch folder: locate_folders, read_main_configuration, the main window's
// catalogue, make_folders, clean_scratch_folder. Errors and the one notice
// about recovered recordings go through show_error / show_warning.
StartupResult start_up(const StartupOptions& options = {});

// The folder of this process's program, ending in '/'.
std::string program_folder();

// Where the files shipped with the program lie: beside it (a build, or a
// folder the user unpacked it into), else in <prefix>/share/murrelphonic/ of an
// installed <prefix>/bin/ program; the program's folder when neither holds them.
std::string shipped_folder(const std::string& program_dir, const std::string& app_name);

// Sets app_dir, shipped_dir, settings_dir and ini_path. When `program_dir` cannot be written
// the settings go to `fallback_dir` (created with its parents), and the INI file
// shipped beside the program is copied there the first time. False when the
// fallback folder cannot be created.
bool locate_folders(const std::string& program_dir, const std::string& fallback_dir);

// Reads `Charset` and `Default_path` from ini_path. A `Charset` that is not a
// decimal integer is reported and 1 is used.
void read_main_configuration();

// Sets data_dir, temp_dir and temp_recording_path and creates data_dir and
// temp_dir when missing (one level each). A folder that cannot be created is
// reported; the result is then false.
bool make_folders();

struct ScratchCleanup {
    std::string temp_dir;
    std::string recording_name = "temp_recording.vkd";
    // Where a leftover recording is moved, tried in order; the last resort is a
    // hidden name in temp_dir, which the clean-up leaves alone.
    std::vector<std::string> recovery_dirs;
    RecoveryPatch patch_recovered;  // may be empty: the file is moved unpatched
};

struct CleanupReport {
    int deleted = 0;
    // Each leftover recording's new path, and whether it left the scratch folder.
    struct Recovered {
        std::string path;
        bool moved_out;
    };
    std::vector<Recovered> recovered;
};

// Deletes the regular files of the scratch folder whatever their permission
// bits; names beginning with a dot, folders, links and anything else stay.
// Files that cannot be deleted are skipped silently. A leftover recording
// holding more than its 512-byte header is never deleted: it is moved to
// recovered_YYYYMMDD_hhmmss.vkd (its modification time, local) and patched;
// when no recovery folder takes it, it waits in the scratch folder under the
// same name with a dot in front, and leaves at a later clean-up that can move
// it. Reports nothing itself.
CleanupReport clean_scratch_folder(const ScratchCleanup& cleanup);

// On closing: `edit_directory_text` becomes default_path when it names an
// existing folder, else `current_folder` does; written as Config/Default_path.
// Throws ProfileWriteError when the INI file cannot be written.
void writeconfig_inifile(const std::string& edit_directory_text, const std::string& current_folder);

}  // namespace murrel
