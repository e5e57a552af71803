#pragma once
// The program's process-wide values: names, folders, configuration, the kept
// catalogue texts and the cancel flag of long operations. There is exactly one
// (app()); tests call reset() to start from a clean slate.
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace murrel {

struct AppState {
    std::string app_name = "Murrelphonic";
    std::string app_dir;              // folder of the program, ending in '/'
    // Folder of the files shipped with the program (the INI files, the
    // manual), ending in '/': app_dir when they lie beside the program, or
    // the installed tree's share/murrelphonic/ beside its bin/.
    std::string shipped_dir;
    std::string ini_path;             // where the INI file is read and written
    // Folder of the INI file and of the voicedata and tempdata folders, ending
    // in '/': app_dir, or a folder of the user's when app_dir cannot be written.
    std::string settings_dir;
    std::string default_path;         // Config/Default_path
    std::string data_dir;             // folder the browser opens at start, no trailing '/'
    std::string temp_dir;             // scratch folder, no trailing '/'
    std::string temp_recording_path;  // temp_dir + "/temp_recording.vkd"
    int32_t charset = 1;              // Character/Charset; its low byte selects the encoding
    bool sound_output_present = false;
    bool instance_exists = false;

    // Set by the progress dialog's Cancel (user-interface thread), polled by
    // every long operation on the same thread and by workers; hence atomic.
    std::atomic<bool> convert_cancel{false};

    // Catalogue texts kept for later use (messages), by key. A key never read
    // yields "" like a missing INI entry.
    std::map<std::string, std::string, std::less<>> messages;
    std::string message(std::string_view key) const;

    void reset();
};

AppState& app();

// `path` with '/' appended unless it already ends in one; "" stays "".
std::string AddSlash(const std::string& path);

}  // namespace murrel
