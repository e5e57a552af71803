#pragma once
// The browser's options for widget tests: volumes from a fake mount table and
// the folder tree's texts from `texts_path`.
#include <string>

#include "filemanager/gui/file_browser.h"
#include "testsupport/fake_mounts.h"

namespace murrel {

inline BrowserOptions fake_browser_options(const testsupport::FakeMountTable& fake, const std::string& texts_path) {
    BrowserOptions options;
    options.volumes.mountinfo_path = fake.mountinfo_path();
    options.volumes.sys_dir = fake.sys_dir();
    options.volumes.home = fake.home();
    options.volumes.media_roots = {fake.media_root()};
    options.texts_path = texts_path;
    return options;
}

}  // namespace murrel
