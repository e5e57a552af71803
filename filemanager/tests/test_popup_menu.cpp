// The pop-up menu's selection kinds and the items each kind enables.
#include <gtest/gtest.h>

#include "filemanager/popup_menu.h"

namespace murrel {
namespace {

TEST(PopupMenu, KindFollowsSelectionCountExtensionAndPlayerState) {
    EXPECT_EQ(popup_kind(2, "", false), 0);
    EXPECT_EQ(popup_kind(5, "", true), 0);
    EXPECT_EQ(popup_kind(1, "memo.vkd", false), 2);
    EXPECT_EQ(popup_kind(1, "MEMO.WAV", false), 2);
    EXPECT_EQ(popup_kind(1, "memo.wav", true), 3);
    EXPECT_EQ(popup_kind(1, "notes.txt", false), 1);
    EXPECT_EQ(popup_kind(1, "notes.txt", true), 4);
    EXPECT_EQ(popup_kind(1, "folder", false), 1);
    EXPECT_EQ(popup_kind(0, "", false), 4);
    EXPECT_EQ(popup_kind(1, "memo.wav.txt", false), 1);
}

// Order: open convert edit mail copy paste select_all erase attribute rename refresh.
PopupItems row(bool o, bool c, bool e, bool m, bool cp, bool p, bool sa, bool er, bool at, bool rn, bool rf) {
    PopupItems x;
    x.open = o, x.convert = c, x.edit = e, x.mail = m, x.copy = cp, x.paste = p, x.select_all = sa,
    x.erase = er, x.attribute = at, x.rename = rn, x.refresh = rf;
    return x;
}

TEST(PopupMenu, EachKindEnablesItsRowOfTheTable) {
    const PopupItems none;
    EXPECT_EQ(popup_items(0, true, true, none), row(0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1));
    EXPECT_EQ(popup_items(1, false, true, none), row(1, 0, 0, 1, 1, 0, 1, 1, 1, 1, 1));
    EXPECT_EQ(popup_items(2, true, true, none), row(1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1));
    EXPECT_EQ(popup_items(3, true, true, none), row(0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0));
    EXPECT_EQ(popup_items(3, false, true, none), row(0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0));
    EXPECT_EQ(popup_items(4, false, true, none), row(0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1));
    EXPECT_EQ(popup_items(4, true, false, none), row(0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
}

TEST(PopupMenu, AnUnknownKindOnlyUpdatesPaste) {
    const PopupItems all = row(1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1);
    PopupItems expected = all;
    expected.paste = false;
    EXPECT_EQ(popup_items(7, false, true, all), expected);
    EXPECT_EQ(popup_items(-1, true, true, PopupItems{}), row(0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0));
}

}  // namespace
}  // namespace murrel
