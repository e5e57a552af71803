#include "player/player_texts.h"

#include "shell/appstate.h"

namespace murrel {

const char* player_text(PlayerText id) {
    static const char* const texts[] = {
        "The encoder refused the recording settings; nothing was recorded.",
        "The recording could not be written to the scratch file; it was stopped and what was "
        "recorded so far is kept.",
        "Another voice file is being decoded; try again when it has finished.",
        "The recording could not be saved under the chosen name; it is kept in the scratch "
        "folder.",
        "The recording has not been saved.\nDo you want to discard it?",
        "The sound input could not keep up: %d ms of the recording were lost.",
    };
    int i = static_cast<int>(id);
    return i >= 0 && i < static_cast<int>(PlayerText::Count) ? texts[i] : "";
}

std::string catalogue_text(const char* key) {
    std::string text = app().message(key);
    return text.empty() ? std::string(key) : text;
}

}  // namespace murrel
