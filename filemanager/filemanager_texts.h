#pragma once
// The texts of the folder tree and the file list, from FileManager.ini beside
// the program (section FileSystemMessages, keys FileSystem0 to FileSystem32).
// With the file or a key absent the text is empty.
#include <array>
#include <string>

namespace murrel {

class FileManagerTexts {
public:
    static constexpr int kCount = 33;
    // Well-known keys.
    static constexpr int kOpenError = 0;       // between "ERROR - " and " : " + file name
    static constexpr int kNotReady = 2;        // warning for a volume that is not ready
    static constexpr int kColumnName = 24;
    static constexpr int kColumnSize = 29;
    static constexpr int kColumnType = 25;
    static constexpr int kColumnModified = 30;
    static constexpr int kColumnAttributes = 31;
    static constexpr int kNewFolder = 32;

    FileManagerTexts() = default;
    // Reads every key of `ini_path` once.
    explicit FileManagerTexts(const std::string& ini_path);

    const std::string& text(int index) const;  // "" for an index outside 0-32
    void set_text(int index, std::string value);

    // shipped_dir + "FileManager.ini".
    static std::string default_path();

private:
    std::array<std::string, kCount> texts_;
};

}  // namespace murrel
