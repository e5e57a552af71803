#include "shell/shell_texts.h"

#include <array>

namespace murrel {

namespace {
constexpr std::array<std::string_view, static_cast<std::size_t>(ShellText::Count)> kTexts = {
    "Unable to write to %s",
    "'%s' is not a valid integer value",
    "Unable to create folder %s",
    "A recording that was not saved when the program last ended has been recovered as %s",
    "A recording that was not saved when the program last ended could not be moved to the voice "
    "data folder. It has been kept as %s; move it somewhere safe.",
};
}  // namespace

std::string_view shell_text(ShellText id) {
    auto i = static_cast<std::size_t>(id);
    return i < kTexts.size() ? kTexts[i] : std::string_view();
}

std::string shell_text(ShellText id, std::string_view argument) {
    std::string text(shell_text(id));
    auto at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, argument);
    return text;
}

}  // namespace murrel
