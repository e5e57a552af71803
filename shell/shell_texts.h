#pragma once
// The fixed English texts the shell reports itself (the catalogue's texts are
// the user's; these are not in it). One table, so each can be checked.
#include <string>
#include <string_view>

namespace murrel {

enum class ShellText {
    UnableToWrite,          // %s: the INI file
    NotAValidInteger,       // %s: the value that failed to convert
    CannotCreateFolder,     // %s: the folder
    RecordingRecovered,     // %s: where the recording is now
    RecordingKeptInScratch, // %s: where the recording is now
    Count
};

std::string_view shell_text(ShellText id);
// The text with its %s replaced by `argument`.
std::string shell_text(ShellText id, std::string_view argument);

}  // namespace murrel
