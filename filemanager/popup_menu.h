#pragma once
// Which commands of the list's pop-up menu a selection allows: the kind of the
// selection and the enabled state of each item for that kind.
#include <string>

namespace murrel {

// 0 several selected, 1 one other entry while idle, 2 one audio file while
// idle, 3 one audio file while the player is open, 4 nothing selected (or one
// other entry while the player is open). `single_caption` is the caption of
// the one selected entry; `player_open` is true while the voice-file output
// device or the WAV player is playing or paused.
int popup_kind(int selected_count, const std::string& single_caption, bool player_open);

struct PopupItems {
    bool open = false, convert = false, edit = false, mail = false, copy = false, paste = false,
         select_all = false, erase = false, attribute = false, rename = false, refresh = false;
    bool operator==(const PopupItems&) const = default;
};

// The items for `kind`, starting from `current`. Paste always follows
// `paste_available`; a kind outside 0-4 changes nothing else.
PopupItems popup_items(int kind, bool paste_available, bool list_not_empty, PopupItems current);

}  // namespace murrel
