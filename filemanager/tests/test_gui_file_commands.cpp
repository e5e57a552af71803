// The browser's file commands through its handlers and keys: the clipboard
// in the desktop file managers' formats, paste and cut, new folder, rename
// onto a taken name, delete to the trash, and the folder that holds the
// playing file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <fstream>

#include "filemanager/gui/file_browser.h"
#include "filemanager/tests/fake_browser_options.h"
#include "filemanager/gui/file_commands.h"
#include "filemanager/gui/properties_dialog.h"
#include "shell/appstate.h"
#include "testsupport/fake_mounts.h"
#include "testsupport/scripted_dialogs.h"

namespace murrel {
namespace {

namespace fs = std::filesystem;

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        app().reset();
        data = fake.home() + "/voicedata";
        other = fake.home() + "/other";
        fs::create_directories(data + "/day");
        fs::create_directories(other);
        std::ofstream(data + "/memo.vkd") << "memo";
        std::ofstream(data + "/take.wav") << "take";
        std::ofstream(data + "/day/in.vkd") << "in";
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(fake.home() + "/share"));
        const std::string ini = fake.home() + "/FileManager.ini";
        std::ofstream(ini) << "[FileSystemMessages]\nFileSystem3=already exists.\nFileSystem32=New folder\n";
        BrowserOptions options = fake_browser_options(fake, ini);
        browser = std::make_unique<TFileBrowser>(&host, options);
        commands = new TFileCommands(*browser);
        commands->busy_path = [this] { return busy; };
        browser->open_at(data);
        browser->FormShow();
        host.resize(800, 600);
    }
    void TearDown() override { QApplication::clipboard()->clear(); }

    TFileList& list() { return *browser->file_mycomputer; }
    int row_of(const std::string& caption) {
        for (int r = 0; r < list().count(); ++r)
            if (list().caption(r).toStdString() == caption) return r;
        return -1;
    }
    void select_only(std::initializer_list<const char*> names) {
        list().clearSelection();
        for (const char* n : names) list().setSelected(row_of(n), true);
    }
    void go_to(const std::string& folder) { browser->directory_mycomputer->OpenPath(folder); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { browser->file_mycomputerKeyDown(k, m); }

    testsupport::FakeMountTable fake;
    testsupport::ScriptedDialogs dialogs;
    QWidget host;
    std::unique_ptr<TFileBrowser> browser;
    TFileCommands* commands = nullptr;
    std::string data, other, busy;
};

TEST_F(Commands, CopyPutsTheThreeFormatsOfTheFileManagersOnTheClipboard) {
    select_only({"memo.vkd", "take.wav"});
    // Through the view, whose own Ctrl+C would put the row's caption there.
    QTest::keyClick(list().reportView(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    ASSERT_NE(clip, nullptr);
    const QString memo = QUrl::fromLocalFile(QString::fromStdString(data + "/memo.vkd")).toString();
    const QString take = QUrl::fromLocalFile(QString::fromStdString(data + "/take.wav")).toString();
    EXPECT_EQ(QString::fromUtf8(clip->data("x-special/gnome-copied-files")), "copy\n" + memo + "\n" + take);
    EXPECT_EQ(clip->data("application/x-kde-cutselection"), QByteArray("0"));
    EXPECT_EQ(clip->urls(), (QList<QUrl>{QUrl(memo), QUrl(take)}));
}

TEST_F(Commands, OnlyTheGnomeFormatIsReadAndACutIsAMove) {
    auto* mime = new QMimeData;
    mime->setData("x-special/gnome-copied-files",
                  "cut\n" + QUrl::fromLocalFile(QString::fromStdString(data + "/memo.vkd")).toEncoded());
    QApplication::clipboard()->setMimeData(mime);
    go_to(other);
    ASSERT_EQ(list().Directory(), other + "/");
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(fs::exists(other + "/memo.vkd"));
    EXPECT_FALSE(fs::exists(data + "/memo.vkd"));
    ASSERT_GE(row_of("memo.vkd"), 0);
    EXPECT_TRUE(list().isSelected(row_of("memo.vkd")));
}

TEST_F(Commands, PastingACopyIntoItsOwnFolderMakesANamedCopyOnceAndSelectsTheOriginal) {
    select_only({"memo.vkd"});
    key(Qt::Key_C, Qt::ControlModifier);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(fs::exists(data + "/memo (copy).vkd"));
    EXPECT_FALSE(fs::exists(data + "/memo (copy 2).vkd"));  // exactly once
    EXPECT_TRUE(list().isSelected(row_of("memo.vkd")));
    EXPECT_FALSE(list().isSelected(row_of("memo (copy).vkd")));
}

TEST_F(Commands, NothingIsPastedOntoTheVolumesViewAndTheStatusLineSaysSo) {
    select_only({"memo.vkd"});
    key(Qt::Key_C, Qt::ControlModifier);
    list().setDirectory("Drives");
    ASSERT_EQ(list().Directory(), "Drives");
    commands->button_pasteClick();
    EXPECT_EQ(browser->info_line(), TFileCommands::kNoFolderHere);
}

TEST_F(Commands, NewFolderTwiceGivesTheBaseNameThenTwoAndOpensTheNameForTyping) {
    commands->button_newfolderClick();
    commands->button_newfolderClick();
    EXPECT_TRUE(fs::is_directory(data + "/New folder"));
    EXPECT_TRUE(fs::is_directory(data + "/New folder(2)"));
    EXPECT_EQ(list().Directory(), data + "/");
    EXPECT_EQ(list().caption(list().Selected()), "New folder(2)");
    ASSERT_TRUE(list().IsEditing());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the first name's editor
    const auto* editor = list().reportView()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "New folder(2)");
}

TEST_F(Commands, TheReturnThatEndsTypingANameDoesNotPlayTheFile) {
    int played = 0;
    browser->host.play_selection = [&] { ++played; };
    select_only({"memo.vkd"});
    QTest::keyClick(list().reportView(), Qt::Key_Return);
    EXPECT_EQ(played, 1);
    commands->RenameSelected();
    ASSERT_TRUE(list().IsEditing());
    // What the name editor passes on to the view when Return ends it.
    QTest::keyClick(list().reportView(), Qt::Key_Return);
    EXPECT_EQ(played, 1);
}

TEST_F(Commands, RenamingOntoATakenNameShowsTheQuotedNameAndChangesNothing) {
    select_only({"memo.vkd"});
    commands->list_edited(QString::fromStdString(data + "/memo.vkd"), "take.wav");
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"\"take.wav\" already exists."});
    EXPECT_TRUE(fs::exists(data + "/memo.vkd"));
    commands->list_edited(QString::fromStdString(data + "/memo.vkd"), "renamed.vkd");
    EXPECT_TRUE(fs::exists(data + "/renamed.vkd"));
    EXPECT_FALSE(fs::exists(data + "/memo.vkd"));
}

TEST_F(Commands, DeleteSendsFilesAndFoldersToTheTrash) {
    select_only({"memo.vkd", "day"});
    key(Qt::Key_Delete);
    EXPECT_FALSE(fs::exists(data + "/memo.vkd"));
    EXPECT_TRUE(fs::exists(fake.home() + "/share/Trash/files/memo.vkd"));
    EXPECT_TRUE(fs::exists(fake.home() + "/share/Trash/files/day/in.vkd"));
    EXPECT_TRUE(fs::exists(fake.home() + "/share/Trash/info/day.trashinfo"));
    EXPECT_EQ(row_of("day"), -1);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Commands, AFolderHoldingThePlayingFileIsRefusedFromTheTree) {
    busy = data + "/day/in.vkd";
    EXPECT_FALSE(commands->delete_tree_folder(data + "/day/"));
    EXPECT_TRUE(fs::exists(busy));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("playing or recording"), std::string::npos);
    busy.clear();
    EXPECT_TRUE(commands->delete_tree_folder(data + "/day/"));
    EXPECT_FALSE(fs::exists(data + "/day"));
}

TEST_F(Commands, PropertiesNameThePathSizeAndWhatTheListSays) {
    const std::string text = properties_text(data + "/take.wav", "WAV file", "1 file(s) selected");
    EXPECT_NE(text.find("Path: " + data + "/take.wav"), std::string::npos) << text;
    EXPECT_NE(text.find("Size: 4 bytes"), std::string::npos) << text;
    EXPECT_NE(text.find("Permissions: rw"), std::string::npos) << text;
    EXPECT_NE(text.find("1 file(s) selected"), std::string::npos) << text;
}

TEST(OfferedFiles, UriListAndKdeCutAreReadAndOtherUrlsAreIgnored) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/a b.vkd"), QUrl("https://example.invalid/x")});
    mime.setData("application/x-kde-cutselection", "1");
    const OfferedFiles offer = offered_files(&mime);
    EXPECT_EQ(offer.paths, std::vector<std::string>{"/tmp/a b.vkd"});
    EXPECT_TRUE(offer.cut);
    EXPECT_TRUE(offered_files(nullptr).paths.empty());
}

}  // namespace
}  // namespace murrel
