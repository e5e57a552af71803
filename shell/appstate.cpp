#include "shell/appstate.h"

#include "shell/progress.h"

namespace murrel {

std::string AppState::message(std::string_view key) const {
    auto it = messages.find(key);
    return it == messages.end() ? std::string() : it->second;
}

void AppState::reset() {
    app_name = "Murrelphonic";
    app_dir.clear();
    shipped_dir.clear();
    ini_path.clear();
    settings_dir.clear();
    default_path.clear();
    data_dir.clear();
    temp_dir.clear();
    temp_recording_path.clear();
    charset = 1;
    sound_output_present = false;
    instance_exists = false;
    convert_cancel = false;
    messages.clear();
}

AppState& app() {
    static AppState state;
    return state;
}

std::string AddSlash(const std::string& path) {
    if (path.empty() || path.back() == '/') return path;
    return path + '/';
}

ConversionProgress& no_progress() {
    static ConversionProgress silent;
    return silent;
}

}  // namespace murrel
