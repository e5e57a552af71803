#pragma once
// The program's folders in a scratch folder, as start-up would set them: the
// program folder with its INI file (the shipped files beside it), and the voicedata and tempdata folders.
#include <filesystem>

#include "shell/appstate.h"
#include "testsupport/scratch_dir.h"

namespace murrel {

inline void use_scratch_program_folder(const testsupport::ScratchDir& dir) {
    app().reset();
    app().app_dir = AddSlash(dir.path().string());
    app().shipped_dir = app().app_dir;
    app().ini_path = app().app_dir + "Murrelphonic.ini";
    app().data_dir = app().app_dir + "voicedata";
    app().temp_dir = app().app_dir + "tempdata";
    std::filesystem::create_directories(app().data_dir);
    std::filesystem::create_directories(app().temp_dir);
}

}  // namespace murrel
