#include "filemanager/filemanager_texts.h"

#include "shell/appstate.h"
#include "shell/profile.h"

namespace murrel {

FileManagerTexts::FileManagerTexts(const std::string& ini_path) {
    const ProfileFile ini(ini_path);
    for (int i = 0; i < kCount; ++i)
        texts_[static_cast<size_t>(i)] =
            ini.read_string("FileSystemMessages", "FileSystem" + std::to_string(i), "");
}

const std::string& FileManagerTexts::text(int index) const {
    static const std::string empty;
    return index >= 0 && index < kCount ? texts_[static_cast<size_t>(index)] : empty;
}

void FileManagerTexts::set_text(int index, std::string value) {
    if (index >= 0 && index < kCount) texts_[static_cast<size_t>(index)] = std::move(value);
}

std::string FileManagerTexts::default_path() { return app().shipped_dir + "FileManager.ini"; }

}  // namespace murrel
