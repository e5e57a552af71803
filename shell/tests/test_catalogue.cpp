#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "shell/appstate.h"
#include "shell/catalogue.h"
#include "shell/profile.h"
#include "shell/textcodec.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;

namespace {

constexpr CatalogueWindow kWindows[] = {CatalogueWindow::Main, CatalogueWindow::Conversion,
                                        CatalogueWindow::Progress, CatalogueWindow::About,
                                        CatalogueWindow::Editor};

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override { app().reset(); }
    void TearDown() override { app().reset(); }
    testsupport::ScratchDir dir;
};

}  // namespace

TEST_F(Catalogue, EveryWindowHasItsKeysOnceWithTheWindowsPrefix) {
    struct Expect {
        CatalogueWindow window;
        std::size_t count;
        const char* first;
        const char* last;
    };
    const Expect table[] = {
        {CatalogueWindow::Main, 59, "FM_PUHopen", "FEM_mail_errmsg6"},
        {CatalogueWindow::Conversion, 9, "FC_panel_captiontitle", "FC_BrowseDlgCaption"},
        {CatalogueWindow::Progress, 2, "FP_panel_captiontitle", "FP_button_cancel"},
        {CatalogueWindow::About, 2, "FI_panel_captiontitle", "FI_button_ok"},
        {CatalogueWindow::Editor, 93, "FE_panel_captiontitle", "FE_wav_msg17"},
    };
    std::set<std::string_view> all;
    for (const auto& e : table) {
        auto keys = catalogue_keys(e.window);
        ASSERT_EQ(keys.size(), e.count);
        EXPECT_EQ(keys.front().key, e.first);
        EXPECT_EQ(keys.back().key, e.last);
        for (const auto& k : keys) {
            EXPECT_TRUE(all.insert(k.key).second) << k.key << " twice";
            EXPECT_EQ(k.use == TextUse::Message, k.control.empty()) << k.key;
        }
    }
}

TEST_F(Catalogue, WithoutAnIniFileOnlyThreeKeysHaveTextAndPanelsShowTheirBlanks) {
    app().ini_path = dir.file("missing.ini");
    for (CatalogueWindow w : kWindows) {
        WindowTexts texts = getmessage_frominifile(w);
        ASSERT_EQ(texts.texts.size(), catalogue_keys(w).size());
        for (const auto& t : texts.texts) {
            std::string_view key = t.key->key;
            std::string expected;
            if (key == "FP_button_cancel") expected = "&Cancel";
            if (key == "FI_button_ok") expected = "&Ok";
            if (key == "FE_button_cancel") expected = "Cancel";
            if (t.key->use == TextUse::PanelCaption) expected = "  ";
            EXPECT_EQ(t.text, expected) << key;
        }
    }
    EXPECT_EQ(app().messages.size(), 13u + 7u + 7u + 2u + 18u);
    EXPECT_EQ(app().message("FM_text_system_errmsg12"), "");
}

TEST_F(Catalogue, MessagesAreKeptAndControlTextsAreOnlyHandedBack) {
    app().ini_path = dir.file("m.ini");
    put(app().ini_path,
        "[Messages]\n"
        "FM_text_system_errmsg3=Cannot open the voice file.\n"
        "fm_puhopen=&Open it\n"
        "FM_button_play=Play\n"
        "FC_panel_captiontitle=File Conversion\n"
        "FE_wav_msg7=Save changes?\n");
    WindowTexts main = getmessage_frominifile(CatalogueWindow::Main);
    EXPECT_EQ(main.text("FM_PUHopen"), "&Open it");
    EXPECT_EQ(main.text("FM_button_play"), "Play");
    EXPECT_EQ(app().message("FM_text_system_errmsg3"), "Cannot open the voice file.");
    EXPECT_EQ(app().message("FM_PUHopen"), "");
    EXPECT_EQ(app().message("FE_wav_msg7"), "");  // the editor has not been created yet

    WindowTexts conv = getmessage_frominifile(CatalogueWindow::Conversion);
    EXPECT_EQ(conv.text("FC_panel_captiontitle"), "  File Conversion");
    EXPECT_EQ(conv.text("FM_PUHopen"), "");  // not a key of this window
    getmessage_frominifile(CatalogueWindow::Editor);
    EXPECT_EQ(app().message("FE_wav_msg7"), "Save changes?");
}

struct DecodeCase {
    const char* name;
    int32_t charset;
    std::string bytes;
    std::string utf8;
};

TEST_F(Catalogue, CharsetChoosesHowTheBytesAreDecoded) {
    const DecodeCase cases[] = {
        {"cyrillic code page", 204, "\xcf\xf0\xe8\xe2\xe5\xf2", "Привет"},
        {"only the low byte counts", 0x100 + 204, "\xc4\xe0", "Да"},
        {"undefined byte of the code page", 204, "a\x98z", "a\xEF\xBF\xBDz"},
        {"japanese", 128, "\x83\x65\x83\x58\x83\x67", "テスト"},
        {"korean", 129, "\xc7\xd1", "한"},
        {"cut-off lead byte", 129, "a\xc7", "a\xEF\xBF\xBD"},
        {"greek", 161, "\xe1", "α"},
        {"valid UTF-8 stays", 1, "caf\xc3\xa9 \xe2\x82\xac", "café €"},
        {"bytes that are no UTF-8 are code page 1252", 1, "caf\xe9 \x80 \x81", "café € \xC2\x81"},
        {"an overlong form is no UTF-8", 0, "\xc0\xaf", "À¯"},
        {"a surrogate is no UTF-8", 1, "\xed\xa0\x80", "í\xC2\xA0€"},
        {"unknown numbers read like the default", 42, "\xe9", "é"},
        {"plain ASCII anywhere", 204, "&Open", "&Open"},
    };
    for (const auto& c : cases) EXPECT_EQ(decode_catalogue_text(c.bytes, c.charset), c.utf8) << c.name;
}

TEST_F(Catalogue, TheWritingSystemFollowsTheCharacterSet) {
    EXPECT_EQ(charset_info(204).writing_system, WritingSystem::Cyrillic);
    EXPECT_EQ(charset_info(129).writing_system, WritingSystem::Korean);
    EXPECT_EQ(charset_info(128).writing_system, WritingSystem::Japanese);
    EXPECT_EQ(charset_info(136).writing_system, WritingSystem::TraditionalChinese);
    EXPECT_EQ(charset_info(1).writing_system, WritingSystem::Any);

    app().ini_path = dir.file("c.ini");
    put(app().ini_path, "[Messages]\nFI_button_ok=\xce\xea\n");
    app().charset = 204;
    WindowTexts about = getmessage_frominifile(CatalogueWindow::About);
    EXPECT_EQ(about.writing_system, WritingSystem::Cyrillic);
    EXPECT_EQ(about.text("FI_button_ok"), "Ок");
    EXPECT_EQ(charset_controls(CatalogueWindow::About).size(), 2u);
    EXPECT_EQ(charset_controls(CatalogueWindow::Editor).back(), "Gauge");
}

TEST_F(Catalogue, TheShippedIniFilesHaveATextForEveryKey) {
    ProfileFile ini(std::string(MURREL_SOURCE_DIR) + "/resources/Murrelphonic.ini");
    EXPECT_EQ(ini.read_string("Character", "Charset"), "1");
    for (CatalogueWindow w : kWindows)
        for (const auto& k : catalogue_keys(w))
            EXPECT_FALSE(ini.read_string("Messages", k.key).empty()) << k.key;

    ProfileFile fm(std::string(MURREL_SOURCE_DIR) + "/resources/FileManager.ini");
    for (int i = 0; i <= 32; ++i)
        EXPECT_FALSE(fm.read_string("FileSystemMessages", "FileSystem" + std::to_string(i)).empty()) << i;
}
