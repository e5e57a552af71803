// Profile (INI) files as users and other programs leave them: any bytes.
// Reads must never fail; a write must keep the file readable and its value
// findable, and must leave every line it did not change as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "shell/profile.h"

namespace {

const char* const kNames[] = {"Config", "Default_path", "Messages", "FM_PUHopen", "Character",
                              "Charset", "", "config", "a=b", "[x]"};

std::string scratch_path() {
    static std::string path = [] {
        std::string p = "/tmp/murrel-fuzz-profile-" + std::to_string(::getpid()) + ".ini";
        return p;
    }();
    return path;
}

std::size_t count_lines(const std::string& s) {
    std::size_t n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::string section = kNames[data[0] % 10];
    const std::string key = kNames[data[1] % 10];
    std::string content(reinterpret_cast<const char*>(data + 2), size - 2);

    auto ini = murrel::ProfileFile::from_text(content);
    std::string value = ini.read_string(section, key, "default");
    if (value.size() >= murrel::kProfileValueBuffer) std::abort();
    (void)ini.read_int64(section, key, 0);
    (void)ini.read_bool(section, key, false);
    (void)ini.section_exists(section);

    // Writes only for names that can be written back readably.
    if (section != "Config" && section != "Messages") return 0;
    if (key != "Default_path" && key != "FM_PUHopen") return 0;
    const std::string path = scratch_path();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    murrel::ProfileFile file(path);
    file.write_string(section, key, "written value");
    std::ifstream in(path, std::ios::binary);
    std::stringstream after;
    after << in.rdbuf();
    if (murrel::ProfileFile(path).read_string(section, key) != "written value") std::abort();
    // One key changes: at most a section line, a key line and two line breaks appear.
    if (count_lines(after.str()) > count_lines(content) + 4) std::abort();
    ::unlink(path.c_str());
    return 0;
}
