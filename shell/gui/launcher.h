#pragma once
// Opening a file with the desktop's program (the help file, the manual). Behind
// an interface because QDesktopServices::openUrl reports success under xcb even
// when nothing opens, and failure on the offscreen platform, so tests put a
// recording launcher in its place.
#include <string>

namespace murrel {

class Launcher {
public:
    virtual ~Launcher() = default;
    // False when no program could be found or started for the file. No
    // message is shown: the caller says so.
    virtual bool open(const std::string& path) = 0;
};

// Hands the file to xdg-open and waits a moment for its verdict.
class DesktopLauncher final : public Launcher {
public:
    bool open(const std::string& path) override;
};

}  // namespace murrel
