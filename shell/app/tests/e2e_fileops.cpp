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
    // The whole screen: a dialog's reported geometry leaves out its frame and
    // a crop by it cuts the top of the dialog off.
    static void screen_shot(const std::string& name) { keep_screenshot(Desktop::grab(), "e2e_" + name); }
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
    ASSERT_TRUE(wait_until([&] { return fs::is_directory(data / "New Folder(2)"); }, 5s));
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
    screen_shot("properties");
}

TEST_F(FileOps, RenamingOntoATakenNameShowsAnErrorAndKeepsBothFiles) {
    std::ofstream(data / "taken.vkd") << "taken";
    start();
    program.click(layout::list_row(0), 3);  // memo.vkd
    layout::pause_s(0.4);
    program.key("r");
    layout::pause_s(0.4);
    program.key("ctrl+a");
    program.type("taken.vkd");
    program.key("Return");
    const auto box = program.find_dialog(5s);
    ASSERT_TRUE(box.has_value()) << "no error box";
    screen_shot("rename_taken");
    program.key("Return");
    std::stringstream taken;
    taken << std::ifstream(data / "taken.vkd").rdbuf();
    EXPECT_EQ(taken.str(), "taken");
    EXPECT_TRUE(fs::exists(data / "memo.vkd"));
}

TEST_F(FileOps, AFileDraggedFromTheListOntoAFolderOfTheTreeIsCopiedThere) {
    start();
    // The tree shows the listed folder at its top; the scratch home, a
    // sibling of the program's folder, is the row below it.
    program.drag(layout::list_row(0), layout::kTreeRowBelowListed);
    EXPECT_TRUE(wait_until([&] { return fs::exists(program.folders().home / "memo.vkd"); }, 5s));
    EXPECT_TRUE(fs::exists(data / "memo.vkd"));
    program.shot("dropped_on_tree");
}

// A fake mail program registered for mailto: links in the scratch home; it
// writes the arguments it was given to `received`.
void register_fake_mailer(const fs::path& home, const fs::path& received) {
    const fs::path apps = home / ".local/share/applications";
    fs::create_directories(apps);
    fs::create_directories(home / ".config");
    const fs::path script = home / "fakemail.sh";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << received.string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    std::ofstream(apps / "fakemail.desktop") << "[Desktop Entry]\nType=Application\nName=Fake mail\nExec="
                                             << script.string() << " %u\nMimeType=x-scheme-handler/mailto;\n";
    std::ofstream(home / ".config/mimeapps.list") << "[Default Applications]\nx-scheme-handler/mailto=fakemail.desktop\n";
}

std::string read_all(const fs::path& p) {
    std::stringstream s;
    s << std::ifstream(p).rdbuf();
    return s.str();
}

TEST_F(FileOps, TheMailButtonHandsTheSelectedFilesToTheRegisteredMailProgram) {
    const fs::path received = program.folders().home / "received.txt";
    register_fake_mailer(program.folders().home, received);
    std::ofstream(data / "note.wav") << "not a real wav";
    start();
    program.click(layout::list_row(0));
    program.key("shift+Down");
    program.click(layout::kMail);
    const auto warning = program.find_dialog(5s);
    ASSERT_TRUE(warning.has_value()) << "no warning before the hand-off";
    screen_shot("mail_warning");
    program.key("Return");
    ASSERT_TRUE(wait_until([&] { return fs::exists(received); }, 10s)) << "the mail program was never started";
    const std::string got = read_all(received);
    EXPECT_NE(got.find("attach=" + (data / "memo.vkd").string()), std::string::npos) << got;
    EXPECT_NE(got.find("attach=" + (data / "note.wav").string()), std::string::npos) << got;
    EXPECT_NE(program.main_window(), 0u) << "the main window did not come back";
}

TEST_F(FileOps, WithNoMailProgramTheMailButtonSaysSoAndStartsNothing) {
    start();
    program.click(layout::list_row(0));
    program.click(layout::kMail);
    const auto warning = program.find_dialog(5s);
    ASSERT_TRUE(warning.has_value());
    program.key("Return");
    layout::pause_s(0.5);
    const auto error = program.find_dialog(5s);
    ASSERT_TRUE(error.has_value()) << "no box saying mail is not available";
    EXPECT_NE(*error, *warning);
    screen_shot("mail_unavailable");
    program.key("Return");
}

TEST_F(FileOps, TheCommandLineMailReachesTheRegisteredProgramOrSaysItIsNotAvailable) {
    const fs::path home = program.folders().home;
    auto mail = [&](int& status) {
        return run_command({"env", "HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
                            "XDG_DATA_HOME=" + (home / ".local/share").string(), "sh", "-c",
                            "\"$0\" mail \"$1\" 2>&1", (program.folders().bin / "murrelphonic-cli").string(),
                            (data / "memo.vkd").string()},
                           &status);
    };
    int status = 0;
    EXPECT_NE(mail(status).find("MAPI services are not available on this system"), std::string::npos);
    EXPECT_NE(status, 0);
    const fs::path received = home / "received.txt";
    register_fake_mailer(home, received);
    mail(status);
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(wait_until([&] { return fs::exists(received); }, 10s));
    EXPECT_NE(read_all(received).find("attach=" + (data / "memo.vkd").string()), std::string::npos);
}

}  // namespace
