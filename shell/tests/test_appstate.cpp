#include <gtest/gtest.h>

#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "testsupport/scripted_dialogs.h"

using namespace murrel;

TEST(AddSlash, AppendsOneSlashOnlyWhenMissingAndLeavesEmptyAlone) {
    EXPECT_EQ(AddSlash(""), "");
    EXPECT_EQ(AddSlash("/data"), "/data/");
    EXPECT_EQ(AddSlash("/data/"), "/data/");
    EXPECT_EQ(AddSlash("/"), "/");
}

TEST(AppState, ResetRestoresDefaultsAndForgetsKeptTexts) {
    app().charset = 204;
    app().convert_cancel = true;
    app().messages["FM_text_system_errmsg3"] = "cannot open";
    EXPECT_EQ(app().message("FM_text_system_errmsg3"), "cannot open");
    app().reset();
    EXPECT_EQ(app().charset, 1);
    EXPECT_FALSE(app().convert_cancel);
    EXPECT_EQ(app().message("FM_text_system_errmsg3"), "");
    EXPECT_EQ(app().app_name, "Murrelphonic");
}

TEST(Dialogs, ErrorsAndWarningsCarryTheProgramNameAndAreSystemModal) {
    testsupport::ScriptedDialogs script;
    show_error("disk full");
    show_warning("[a.wav] exists");
    ASSERT_EQ(script.messages.size(), 2u);
    EXPECT_EQ(script.messages[0].caption, "Murrelphonic");
    EXPECT_EQ(script.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(script.messages[0].system_modal);
    EXPECT_EQ(script.messages[1].icon, MessageIcon::Warning);
    EXPECT_EQ(script.texts()[1], "[a.wav] exists");
}

TEST(Dialogs, WithoutAnInstalledServiceQuestionsTakeTheSafeAnswer) {
    set_dialog_service(nullptr);
    EXPECT_EQ(dialogs().message_box({"c", "overwrite?", MessageIcon::Question, MessageButtons::YesNo, false}),
              DialogResult::No);
    EXPECT_FALSE(dialogs().save_file({}).has_value());
}
