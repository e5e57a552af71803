#include "testsupport/scratch_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace murrel::testsupport {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "murrel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace murrel::testsupport
