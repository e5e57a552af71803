// The browser's file commands through the real program: the clipboard read
// and written by another X client (xclip), a file manager's cut pasted as a
// move, Delete into the scratch home's trash, and a new folder named by typing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <QUrl>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"

using namespace murrel::e2e;
namespace fs = std::filesystem;

namespace {

std::string uri(const fs::path& p) { return QUrl::fromLocalFile(QString::fromStdString(p.string())).toString().toStdString(); }

class FileOps : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(other);
        std::ofstream(data / "memo.vkd") << "not a real voice file";
    }
    void TearDown() override {
        if (clip_owner > 0) {
            ::kill(clip_owner, SIGTERM);
            ::waitpid(clip_owner, nullptr, 0);
        }
    }
    void start() {
        ASSERT_GT(program.start(), 0);
        ASSERT_NE(program.main_window(), 0u) << "the main window never appeared";
    }
    // Lists `folder` by typing it into the address field.
    void go_to(const fs::path& folder) {
        program.click(layout::kAddress);
        program.key("ctrl+a");
        program.type(folder.string());
        program.key("Return");
        layout::pause_s(0.5);
    }
    // Another X client owns the clipboard with `content` as `target` only, as a
    // file manager does after its own copy or cut; it serves until TearDown.
    void offer_on_clipboard(const std::string& target, const std::string& content) {
        const fs::path file = program.folders().root / "clip.txt";
        std::ofstream(file, std::ios::binary) << content;
        const std::string display = Desktop::display();
        clip_owner = ::fork();
        if (clip_owner == 0) {
            // Not run_command: its pipe would stay open in xclip, which serves
            // until it is ended, and the read would never finish.
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::setenv("DISPLAY", display.c_str(), 1);
            ::execlp("xclip", "xclip", "-quiet", "-selection", "clipboard", "-t", target.c_str(), "-i",
                     file.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(clip_owner, 0);
        ASSERT_TRUE(wait_until([&] { return clipboard(target) == content; }, 5s)) << "xclip never owned the clipboard";
    }
    std::string clipboard(const std::string& target) {
        return run_command({"xclip", "-selection", "clipboard", "-o", "-t", target});
    }

    Program program;
    fs::path data = program.folders().data();
    fs::path other = program.folders().home / "other";
    fs::path trash = program.folders().home / ".local/share/Trash";
    pid_t clip_owner = -1;
};

TEST_F(FileOps, CtrlCOffersTheFileToOtherClientsAndCtrlVInAnotherFolderCopiesItThere) {
    start();
    program.click(layout::list_row(0));
    program.key("ctrl+c");
    layout::pause_s(0.3);
    const std::string targets = clipboard("TARGETS");
    EXPECT_NE(targets.find("text/uri-list"), std::string::npos) << targets;
    EXPECT_NE(targets.find("x-special/gnome-copied-files"), std::string::npos) << targets;
    EXPECT_NE(targets.find("application/x-kde-cutselection"), std::string::npos) << targets;
    EXPECT_EQ(clipboard("x-special/gnome-copied-files"), "copy\n" + uri(data / "memo.vkd"));
    EXPECT_EQ(clipboard("application/x-kde-cutselection"), "0");
    EXPECT_NE(clipboard("text/uri-list").find(uri(data / "memo.vkd")), std::string::npos);

    go_to(other);
    program.click(layout::kListEmpty);
    program.key("ctrl+v");
    EXPECT_TRUE(wait_until([&] { return fs::exists(other / "memo.vkd"); }, 5s));
    EXPECT_TRUE(fs::exists(data / "memo.vkd"));
    program.shot("pasted_copy");
}

TEST_F(FileOps, AFileManagersCutOfferedOnlyInTheGnomeFormatIsMovedByCtrlV) {
    start();
    offer_on_clipboard("x-special/gnome-copied-files", "cut\n" + uri(data / "memo.vkd"));
    layout::pause_s(0.3);
    go_to(other);
    program.click(layout::kListEmpty);
    program.key("ctrl+v");
    EXPECT_TRUE(wait_until([&] { return fs::exists(other / "memo.vkd"); }, 5s));
    EXPECT_FALSE(fs::exists(data / "memo.vkd"));
}

TEST_F(FileOps, DeleteSendsTheSelectedFileAndFolderToTheHomesTrash) {
    fs::create_directories(data / "day");
    std::ofstream(data / "day" / "in.vkd") << "in";
    start();
    program.click(layout::list_row(0));  // day
    program.key("shift+Down");           // and memo.vkd
    program.key("Delete");
    EXPECT_TRUE(wait_until([&] { return fs::exists(trash / "files" / "memo.vkd"); }, 5s));
    EXPECT_TRUE(fs::exists(trash / "files" / "day" / "in.vkd"));
    EXPECT_TRUE(fs::exists(trash / "info" / "memo.vkd.trashinfo"));
    EXPECT_TRUE(fs::exists(trash / "info" / "day.trashinfo"));
    EXPECT_FALSE(fs::exists(data / "day"));
    EXPECT_FALSE(fs::exists(data / "memo.vkd"));
}

TEST_F(FileOps, TheNewFolderButtonTwiceGivesTwoNamesAndTheSecondIsNamedByTyping) {
    start();
    program.click(layout::kNewFolder);
    layout::pause_s(0.5);
    program.key("Escape");
    program.click(layout::kNewFolder);
    layout::pause_s(0.5);
    program.shot("new_folder_editing");
    program.type("meeting");
    program.key("Return");
    EXPECT_TRUE(wait_until([&] { return fs::is_directory(data / "meeting"); }, 5s));
    EXPECT_TRUE(fs::is_directory(data / "New Folder"));
    EXPECT_FALSE(fs::exists(data / "New Folder(2)"));
    program.shot("new_folder_renamed");
}

TEST_F(FileOps, ThePropertiesOfAFileShowInTheirOwnWindow) {
    start();
    program.click(layout::list_row(0), 3);
    layout::pause_s(0.4);
    program.key("u");
    const auto dialog = program.find_window("memo.vkd - Properties", 5s);
    ASSERT_TRUE(dialog.has_value());
    program.shot("properties", *dialog);
}

}  // namespace
