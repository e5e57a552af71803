#pragma once
// The text catalogue: every user-visible text of the windows can be replaced
// from section `Messages` of the INI file (ini_path). Each window reads its own
// keys once, when it is created, through getmessage_frominifile: texts used
// later (messages) are kept in app().messages; texts for controls are handed
// back for the window to assign at once and are not kept. A missing key yields
// its read default, which is "" for all but three keys, so a missing key blanks
// the caption or hint it feeds.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shell/textcodec.h"

namespace murrel {

enum class CatalogueWindow { Main, Conversion, Progress, About, Editor };

enum class TextUse {
    Caption,       // the control's caption
    PanelCaption,  // a caption panel: shown as two blanks followed by the text
    Hint,          // the control's hint (tool tip)
    Message,       // kept in app().messages for later use; `control` is empty
};

struct CatalogueKey {
    std::string_view key;
    std::string_view control;  // object name of the control the text feeds
    TextUse use;
    std::string_view read_default;
};

// The window's keys in the order they are read.
std::span<const CatalogueKey> catalogue_keys(CatalogueWindow window);

// Object names of the window's controls whose font takes the configured
// character set (writing system); other controls keep their design font.
std::span<const std::string_view> charset_controls(CatalogueWindow window);

// Controls fed by one key besides `control` (the Voice Editor's two select-all
// and two restore-zoom buttons share a hint); empty for every other key.
std::span<const std::string_view> extra_controls(std::string_view key);

struct CatalogueText {
    const CatalogueKey* key;
    std::string text;  // UTF-8; for a PanelCaption already preceded by two blanks
};

struct WindowTexts {
    CatalogueWindow window = CatalogueWindow::Main;
    int32_t charset = 1;
    WritingSystem writing_system = WritingSystem::Any;
    std::vector<CatalogueText> texts;  // every key of the window, in read order

    // The text read for `key` as shown (panel captions with their blanks);
    // "" for a key the window does not have.
    std::string text(std::string_view key) const;
};

// Reads the window's keys from ini_path, decoding them as app().charset says,
// and keeps its messages in app().messages. Opening the file is the only I/O;
// a missing file gives the read defaults and reports nothing.
WindowTexts getmessage_frominifile(CatalogueWindow window);

}  // namespace murrel
