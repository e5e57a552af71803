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
#include "ui/skin.h"
#include "testsupport/e2e/desktop.h"

using namespace murrel::e2e;
namespace fs = std::filesystem;

namespace {

std::string uri(const fs::path& p) { return QUrl::fromLocalFile(QString::fromStdString(p.string())).toString().toStdString(); }

std::string read_all(const fs::path& p) {
    std::stringstream s;
    s << std::ifstream(p).rdbuf();
    return s.str();
}

class FileOps : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(other);
        std::ofstream(data / "memo.vkd") << "not a real voice file";
    }
    void TearDown() override {
        for (pid_t pid : others) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
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
    // Another program on the test's display, ended in TearDown. Not through
    // run_command: its pipe would stay open in a program that keeps running,
    // and the read would never finish.
    void start_other(std::vector<std::string> argv) {
        const std::string display = Desktop::display();
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::setenv("DISPLAY", display.c_str(), 1);
            std::vector<char*> args;
            for (std::string& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
        others.push_back(pid);
    }
    // Another X client owns the clipboard with `content` as `target` only, as a
    // file manager does after its own copy or cut.
    void offer_on_clipboard(const std::string& target, const std::string& content) {
        const fs::path file = program.folders().root / "clip.txt";
        std::ofstream(file, std::ios::binary) << content;
        start_other({"xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i", file.string()});
        ASSERT_TRUE(wait_until([&] { return clipboard(target) == content; }, 5s)) << "xclip never owned the clipboard";
    }
    // The window another program opens, found by its title.
    QRect other_window(const std::string& title) {
        const auto id = program.find_window(title, 10s);
        if (!id) return {};
        layout::pause_s(0.5);
        return program.geometry(*id);
    }
    // A drag across windows in screen coordinates, slow enough for the
    // programs to agree on the drop before the button is released.
    static void drag_on_screen(QPoint from, QPoint to) {
        auto move = [](QPoint p) {
            run_command({"xdotool", "mousemove", std::to_string(p.x()), std::to_string(p.y())});
        };
        move(from);
        layout::pause_s(0.1);
        run_command({"xdotool", "mousedown", "1"});
        for (int i = 1; i <= 12; ++i) {
            move(from + (to - from) * i / 12);
            layout::pause_s(0.04);
        }
        for (int i = 0; i < 3; ++i) {
            move(to + QPoint(i % 2, 1));
            layout::pause_s(0.1);
        }
        move(to);
        layout::pause_s(0.3);
        run_command({"xdotool", "mouseup", "1"});
        layout::pause_s(0.3);
    }
    QPoint on_main(QPoint p) { return program.geometry(program.main_window()).topLeft() + p; }
    // The tree row below the listed folder's, found by the listed folder's
    // highlight: the tree scrolls that row into view, but how far depends on
    // how many folders the scratch root's neighbours in /tmp add below it.
    QPoint tree_row_below_listed() {
        const QImage image = program.shot();
        const QColor mark = murrel::ui::colours::accent_deep;
        const auto is_mark = [&](int y) {
            const QColor c = image.pixelColor(60, y);
            return std::abs(c.red() - mark.red()) + std::abs(c.green() - mark.green()) +
                       std::abs(c.blue() - mark.blue()) < 24;
        };
        int top = -1, bottom = -1;
        for (int y = 180; y < 535 && y < image.height(); ++y) {
            if (is_mark(y)) {
                if (top < 0) top = y;
                bottom = y;
            } else if (top >= 0) {
                break;
            }
        }
        if (top < 0) return layout::kTreeRowBelowListed;  // the check on the copy reports it
        return {layout::kTreeRowBelowListed.x(), bottom + 1 + (bottom - top + 1) / 2};
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
    std::vector<pid_t> others;
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
    layout::pause_s(0.5);
    EXPECT_FALSE(fs::exists(other / "memo (copy).vkd")) << "Ctrl+V pasted twice";
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

// /dev/shm stands for a recorder's volume: another file system than the
// home's, whose trash takes nothing from it.
TEST_F(FileOps, OnAVolumeWithoutTheHomesTrashDeleteAsksAndDeletesOnlyWhenAnsweredYes) {
    const fs::path recorder = fs::path("/dev/shm") / program.folders().root.filename();
    fs::create_directories(recorder);
    std::ofstream(recorder / "rec.vkd") << "recorded";
    struct Cleanup {
        fs::path p;
        ~Cleanup() { fs::remove_all(p); }
    } cleanup{recorder};
    start();
    go_to(recorder);
    program.click(layout::list_row(0));
    program.key("Delete");
    auto question = program.find_dialog(5s);
    ASSERT_TRUE(question.has_value()) << "deleted without asking";
    screen_shot("delete_for_good");
    program.key("Escape");
    layout::pause_s(0.5);
    EXPECT_TRUE(fs::exists(recorder / "rec.vkd")) << "deleted although declined";
    program.click(layout::list_row(0));
    program.key("Delete");
    question = program.find_dialog(5s);
    ASSERT_TRUE(question.has_value());
    program.key("Return");
    EXPECT_TRUE(wait_until([&] { return !fs::exists(recorder / "rec.vkd"); }, 5s)) << "not deleted after Yes";
    EXPECT_FALSE(fs::exists(trash / "files" / "rec.vkd"));
    EXPECT_FALSE(fs::exists(recorder / (".Trash-" + std::to_string(::getuid()))));
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
    program.drag(layout::list_row(0), tree_row_below_listed());
    EXPECT_TRUE(wait_until([&] { return fs::exists(program.folders().home / "memo.vkd"); }, 5s));
    EXPECT_TRUE(fs::exists(data / "memo.vkd"));
    program.shot("dropped_on_tree");
}

TEST_F(FileOps, AFileDraggedOutOfTheListOntoAnotherProgramsWindowArrivesThereAsItsUri) {
    const fs::path out = program.folders().root / "dropped.txt";
    start();
    start_other({MURREL_OTHER_WINDOW, "target", out.string()});
    const QRect other = other_window("other window: target");
    ASSERT_FALSE(other.isEmpty()) << "the other window never appeared";
    drag_on_screen(on_main(layout::list_row(0)), other.center());
    ASSERT_TRUE(wait_until([&] { return fs::exists(out); }, 5s)) << "nothing was dropped";
    EXPECT_EQ(read_all(out), uri(data / "memo.vkd") + "\n");
    EXPECT_TRUE(fs::exists(data / "memo.vkd"));
}

TEST_F(FileOps, AFileDraggedFromAnotherProgramOntoTheListAndOntoATreeFolderIsCopiedThere) {
    std::ofstream(other / "given.vkd") << "given";
    start();
    start_other({MURREL_OTHER_WINDOW, "source", (other / "given.vkd").string()});
    const QRect from = other_window("other window: source");
    ASSERT_FALSE(from.isEmpty()) << "the other window never appeared";
    drag_on_screen(from.center(), on_main(layout::kListEmpty));
    EXPECT_TRUE(wait_until([&] { return fs::exists(data / "given.vkd"); }, 5s)) << "not copied into the list's folder";
    screen_shot("dropped_from_other");
    drag_on_screen(from.center(), on_main(tree_row_below_listed()));
    EXPECT_TRUE(wait_until([&] { return fs::exists(program.folders().home / "given.vkd"); }, 5s))
        << "not copied into the tree's folder";
    EXPECT_TRUE(fs::exists(other / "given.vkd"));
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
