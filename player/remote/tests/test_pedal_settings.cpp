// The pedal settings: bindings as the INI file keeps them, the default
// layout of a pedal nothing was learned for, which devices count as pedals,
// and the shipped udev rule agreeing with the table of known pedals.
#include <gtest/gtest.h>
#include <linux/input.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "player/remote/pedal_settings.h"
#include "shell/profile.h"
#include "testsupport/scratch_dir.h"

namespace murrel {
namespace {

InputIdentity device(std::string name, uint16_t vendor, uint16_t product, std::vector<int> keys) {
    return {"/dev/input/event7", std::move(name), vendor, product, std::move(keys)};
}

TEST(PedalBindingText, RoundTripsAndRejectsWhatItNeverWrites) {
    const PedalBinding on_model{0x05f3, 0x00ff, BTN_1};
    EXPECT_EQ(on_model.to_text(), "05f3:00ff:257");
    EXPECT_EQ(PedalBinding::parse("05f3:00ff:257"), on_model);
    EXPECT_EQ(PedalBinding::parse("05F3:00FF:257"), on_model);
    const PedalBinding any{0, 0, KEY_F13};
    EXPECT_EQ(any.to_text(), "183");
    EXPECT_EQ(PedalBinding::parse("183"), any);
    EXPECT_EQ(PedalBinding{}.to_text(), "");
    for (const char* bad : {"", ":", "257:", "05f3:257", "05f3:00ff:", "g5f3:00ff:1", "12345:0001:1",
                            "05f3:00ff:-1", "05f3:00ff:99999", "abc", "1 2"})
        EXPECT_FALSE(PedalBinding::parse(bad)) << bad;
}

TEST(PedalSettingsFile, KeepsEveryValueInItsOwnSectionAndLeavesTheOtherLinesAlone) {
    testsupport::ScratchDir scratch;
    const std::string ini = scratch.file("Murrelphonic.ini");
    std::ofstream(ini) << "[Config]\r\nDefault_path=/data\r\n";
    PedalSettings s;
    s.enabled = false;
    s.play = {0x05f3, 0x00ff, BTN_1};
    s.rewind = {0x05f3, 0x00ff, BTN_0};
    s.rewind_on_release_ms = 2500;
    s.skip_step_ms = 3000;
    s.skip_repeat_ms = 400;
    {
        ProfileFile p(ini);
        save_pedal_settings(p, s);
    }
    EXPECT_EQ(load_pedal_settings(ProfileFile(ini)), s);
    const ProfileFile back(ini);
    EXPECT_EQ(back.read_string("Config", "Default_path"), "/data");
    EXPECT_EQ(back.read_string("FootPedal", "Play"), "05f3:00ff:257");
    EXPECT_EQ(back.read_string("FootPedal", "FastForward"), "");
}

TEST(PedalSettingsFile, ValuesOutOfRangeOrNotNumbersFallBackToTheDefaults) {
    const PedalSettings d;
    const auto read = [](const std::string& text) {
        return load_pedal_settings(ProfileFile::from_text("[FootPedal]\n" + text));
    };
    EXPECT_EQ(read("RewindOnRelease=-5").rewind_on_release_ms, d.rewind_on_release_ms);
    EXPECT_EQ(read("RewindOnRelease=0").rewind_on_release_ms, 0);
    EXPECT_EQ(read("SkipStep=10").skip_step_ms, d.skip_step_ms);
    EXPECT_EQ(read("SkipRepeat=0").skip_repeat_ms, d.skip_repeat_ms);  // would repeat without pause
    EXPECT_EQ(read("SkipRepeat=fast").skip_repeat_ms, d.skip_repeat_ms);
    EXPECT_FALSE(read("Play=05f3:00ff").play.set());
    EXPECT_EQ(load_pedal_settings(ProfileFile::from_text("")), d);
}

TEST(PedalLayout, AnUnlearnedPedalsKeysTakeTheUsualOrderAndLearnedOnesReplaceIt) {
    const PedalSettings none;
    const auto three = device("USB Foot Pedal", 0x05f3, 0x00ff, {BTN_4, BTN_5, BTN_6});
    EXPECT_EQ(pedal_action(none, three, BTN_4), PedalAction::Rewind);
    EXPECT_EQ(pedal_action(none, three, BTN_5), PedalAction::Play);
    EXPECT_EQ(pedal_action(none, three, BTN_6), PedalAction::FastForward);
    EXPECT_EQ(pedal_action(none, three, BTN_7), PedalAction::None);
    const auto one = device("FootSwitch", 0x0c45, 0x7403, {KEY_B});
    EXPECT_EQ(pedal_action(none, one, KEY_B), PedalAction::Play);
    const auto two = device("Foot pedal", 1, 2, {BTN_0, BTN_1});
    EXPECT_EQ(pedal_action(none, two, BTN_0), PedalAction::Rewind);
    EXPECT_EQ(pedal_action(none, two, BTN_1), PedalAction::Play);
    // A pedal that presents itself as a whole keyboard gets no guess.
    std::vector<int> many;
    for (int k = KEY_ESC; k <= KEY_SPACE; ++k) many.push_back(k);
    EXPECT_EQ(pedal_action(none, device("Foot keyboard", 1, 2, many), KEY_A), PedalAction::None);

    PedalSettings learned;
    learned.play = {0x05f3, 0x00ff, BTN_4};
    EXPECT_EQ(pedal_action(learned, three, BTN_4), PedalAction::Play);
    EXPECT_EQ(pedal_action(learned, three, BTN_5), PedalAction::None) << "the default layout is off once learned";
    EXPECT_EQ(pedal_action(learned, device("USB Foot Pedal", 0x05f3, 0x0001, {BTN_4}), BTN_4), PedalAction::None)
        << "a binding belongs to its pedal model";
    learned.rewind = {0, 0, BTN_6};
    EXPECT_EQ(pedal_action(learned, device("other pedal", 9, 9, {BTN_6}), BTN_6), PedalAction::Rewind);
}

TEST(PedalDevices, KeyboardsAndMiceAreNoPedalsButLearnedAndNamedDevicesAre) {
    const PedalSettings none;
    std::vector<int> keyboard_keys{KEY_ENTER, KEY_A, KEY_Z, KEY_SPACE};
    std::sort(keyboard_keys.begin(), keyboard_keys.end());
    const auto keyboard = device("AT Translated Set 2 keyboard", 1, 1, keyboard_keys);
    const auto mouse = device("USB Optical Mouse", 2, 2, {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE});
    const auto knob = device("Volume knob", 3, 3, {KEY_VOLUMEDOWN, KEY_VOLUMEUP});
    EXPECT_FALSE(is_pedal(keyboard, none));
    EXPECT_FALSE(is_pedal(mouse, none));
    EXPECT_FALSE(is_pedal(knob, none));
    EXPECT_TRUE(is_pedal(device("VEC USB Footpedal", 0x05f3, 0x00ff, {BTN_0}), none));
    EXPECT_TRUE(is_pedal(device("no name", 0x413d, 0x2107, {KEY_A}), none));
    EXPECT_TRUE(is_pedal(device("Transcription PEDAL", 7, 7, {BTN_0}), none));
    PedalSettings learned;
    learned.play = {3, 3, KEY_VOLUMEUP};
    EXPECT_TRUE(is_pedal(knob, learned));

    EXPECT_FALSE(may_learn_from(keyboard, none)) << "the key that closes the dialog would be learned";
    EXPECT_FALSE(may_learn_from(mouse, none));
    EXPECT_TRUE(may_learn_from(knob, none));
    EXPECT_EQ(key_name(BTN_1), "BTN_1");
    EXPECT_EQ(key_name(KEY_MAX + 5), std::to_string(KEY_MAX + 5));
}

TEST(PedalUdevRule, GrantsTheSeatUserEveryKnownPedalBeforeTheSeatRulesRun) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(MURREL_SOURCE_DIR) / "resources/udev";
    std::vector<fs::path> rules;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".rules") rules.push_back(e.path());
    ASSERT_EQ(rules.size(), 1u);
    // The uaccess tag is acted on by 73-seat-late.rules: a later file is too late.
    EXPECT_LT(rules[0].filename().string(), "73") << rules[0];
    std::ifstream in(rules[0]);
    std::stringstream text;
    text << in.rdbuf();
    const std::string rule = text.str();
    for (const PedalModel& m : known_pedal_models()) {
        char line[128];
        std::snprintf(line, sizeof line, "ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\", TAG+=\"uaccess\"",
                      m.vendor, m.product);
        EXPECT_NE(rule.find(line), std::string::npos) << "the rule lacks " << line;
    }
    // Only event nodes of the input subsystem are opened up.
    EXPECT_NE(rule.find("SUBSYSTEM!=\"input\", GOTO="), std::string::npos);
    EXPECT_NE(rule.find("KERNEL!=\"event*\", GOTO="), std::string::npos);
    const std::regex label("LABEL=\"([a-z_]+)\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(rule, m, label));
    EXPECT_NE(rule.find("GOTO=\"" + m[1].str() + "\""), std::string::npos);
}

}  // namespace
}  // namespace murrel
