// Masks, wildcard matching and the filter box's rules for typed patterns.
#include <gtest/gtest.h>

#include "filemanager/file_mask.h"

namespace murrel {
namespace {

TEST(FileMask, SplitsOnSemicolonsIgnoringBlanksAndEmptyMeansEverything) {
    EXPECT_EQ(split_mask("*.wav;*.vkd"), (std::vector<std::string>{"*.wav", "*.vkd"}));
    EXPECT_EQ(split_mask("  *.vkd ; *.wav  "), (std::vector<std::string>{"*.vkd", "*.wav"}));
    EXPECT_EQ(split_mask(""), (std::vector<std::string>{"*.*"}));
    EXPECT_EQ(split_mask("   "), (std::vector<std::string>{"*.*"}));
    EXPECT_EQ(split_mask(";;*.wav;"), (std::vector<std::string>{"*.wav"}));
}

TEST(FileMask, WildcardsMatchLikeTheRecordersHomeSystem) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.wav", "memo.wav", true},     {"*.wav", "MEMO.WAV", true},
        {"*.wav", "memo.wave", false},   {"*.wav", "memo.vkd", false},
        {"*.*", "README", true},         {"*.*", "a.b.c", true},
        {"*", "anything", true},         {"test", "test", true},
        {"test", "test.wav", false},     {"test", "mytest", false},
        {"m?mo.vkd", "memo.vkd", true},  {"m?mo.vkd", "mmo.vkd", false},
        {"*memo*", "old memo 2.vkd", true}, {"a*b*c", "axxbyyc", true},
        {"a*b*c", "axxbyy", false},      {"*.", "README", true},
        {"*.", "memo.wav", false},       {"memo.*", "memo", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(FileMask, TheFirstMatchingPatternDecidesTheGroup) {
    const auto patterns = split_mask("*.vkd;*.wav");
    EXPECT_EQ(matching_pattern(patterns, "a.vkd"), 0);
    EXPECT_EQ(matching_pattern(patterns, "a.WAV"), 1);
    EXPECT_EQ(matching_pattern(patterns, "a.mp3"), -1);
}

TEST(FilterBox, EnterPrefixesShortTextsWithoutAStar) {
    EXPECT_EQ(filter_text_on_enter("wav"), "*.wav");
    EXPECT_EQ(filter_text_on_enter("  vkd "), "*.vkd");
    EXPECT_EQ(filter_text_on_enter("*.a"), "*.a");
    EXPECT_EQ(filter_text_on_enter("test"), "test");  // four characters: unchanged
    EXPECT_EQ(filter_text_on_enter(" *.wav;*.vkd "), "*.wav;*.vkd");
}

TEST(FilterBox, AppendsOnlyWhenNoItemIsExactlyEqual) {
    std::vector<std::string> items = initial_filter_items();
    EXPECT_EQ(items, (std::vector<std::string>{"*.wav;*.vkd", "*.vkd", "*.wav"}));
    EXPECT_FALSE(filter_should_append(items, "*.wav"));
    EXPECT_TRUE(filter_should_append(items, "*.WAV"));  // case-sensitive comparison
    EXPECT_TRUE(filter_should_append(items, "*.mp3"));
}

}  // namespace
}  // namespace murrel
