#pragma once
// The mail button: the selected files, voice files decoded to WAV first when
// the user wants, handed to the mail program while the main window is hidden.
#include <functional>
#include <string>

#include "filemanager/mail.h"

namespace murrel {

class TFileBrowser;
class TForm_progress;

class TMailCommand {
public:
    TMailCommand(TFileBrowser& browser, TForm_progress& progress);

    TEmail Email1;
    std::function<void()> stop_playback;  // releases the player's wave and closes the voice device
    std::function<void(bool)> show_main;  // hides (false) and shows (true) the main window

    void button_emailClick();

private:
    // The attachment for one voice file: its WAV decoding when asked and made.
    std::string voice_attachment(const std::string& folder, const std::string& caption);

    TFileBrowser& browser_;
    TForm_progress& progress_;
};

}  // namespace murrel
