#pragma once
// A fresh folder under the system's temporary folder, removed with its contents
// when the object goes away. Each test gets its own, so suites can run in
// parallel.
#include <filesystem>
#include <string>

namespace murrel::testsupport {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace murrel::testsupport
