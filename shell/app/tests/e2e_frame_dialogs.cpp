// The frame and the dialogs as a person meets them under a window manager: a
// double click on the top bar maximises and restores, a very quick click
// leaves no move behind, the smallest window keeps its readouts apart, and the
// boxes and dialogs open over the main window. The pictures are kept in
// build/screenshots/: the main window at normal size, maximised and at its
// minimum size, the list's styles, a message box, the about box, the
// conversion dialog, the file dialog and the progress dialog.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"

using namespace murrel::e2e;
namespace fs = std::filesystem;

namespace {

constexpr QPoint kOnTopBar{600, 30};
constexpr QPoint kHelp{268 + 38, 49 + 17};
constexpr QPoint kAbout{347 + 38, 49 + 17};
constexpr QPoint kViewStyle{249, 160};
// In the conversion dialog (420 × 230): its folder button and its go button.
constexpr QPoint kChangeFolder{341, 70};
constexpr QPoint kConvertGo{290, 204};

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string n(int v) { return std::to_string(v); }

// The window manager's frame around a decorated box shifts its client area.
bool centred_over(const QRect& dialog, const QRect& owner, int frame = 0) {
    return (dialog.center() - owner.center()).manhattanLength() <= 3 + frame;
}

class FrameAndDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        run_command({"sox", "-n", "-r", "16000", "-c", "1", "-b", "16", (program.folders().data() / "memo1.wav").string(),
                     "synth", "2", "sine", "300"});
        // Long enough that the progress dialog stays up for its picture.
        run_command({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16",
                     (program.folders().data() / "interview.wav").string(), "synth", "600", "sine", "500"});
        ASSERT_GT(program.start(), 0);
        main = program.main_window();
        ASSERT_NE(main, 0u) << "the main window never appeared";
    }
    void TearDown() override { program.close(); }

    QRect main_geometry() { return program.geometry(main); }
    void keep(const std::string& name) {
        pause_ms(400);
        keep_screenshot(Desktop::grab(), name);
    }
    void keep_main(const std::string& name) {
        pause_ms(400);
        keep_screenshot(Desktop::grab().copy(main_geometry()), name);
    }

    Program program;
    unsigned long main = 0;
};

TEST_F(FrameAndDialogs, ADoubleClickOnTheTopBarMaximisesAndAQuickClickLeavesNoMoveBehind) {
    EXPECT_EQ(main_geometry().size(), QSize(layout::kWidth, layout::kHeight));
    keep_main("main_window_normal");

    for (int i = 0; i < 4; ++i) {
        const QRect before = main_geometry();
        const QPoint press = before.topLeft() + kOnTopBar;
        run_command({"xdotool", "mousemove", n(press.x()), n(press.y()), "mousedown", "1", "mouseup", "1"});
        pause_ms(100);
        program.move_to(kOnTopBar + QPoint(40, 40));
        pause_ms(300);
        EXPECT_EQ(main_geometry(), before) << "the window follows the pointer with no button held";
        program.move_to({300, 400});
    }

    const QRect normal = main_geometry();
    program.double_click(kOnTopBar);
    const QSize screen = Desktop::grab().size();
    EXPECT_TRUE(wait_until([&] { return main_geometry() == QRect(QPoint(0, 0), screen); }, 3s))
        << "not maximised: " << main_geometry().width() << "x" << main_geometry().height();
    keep_main("main_window_maximised");
    program.double_click(kOnTopBar);
    EXPECT_TRUE(wait_until([&] { return main_geometry().size() == normal.size(); }, 3s));

    run_command({"xdotool", "windowsize", std::to_string(main), "610", "300"});
    EXPECT_TRUE(wait_until([&] { return main_geometry().size() == QSize(610, 300); }, 3s));
    keep_main("main_window_minimum");
    run_command({"xdotool", "windowsize", std::to_string(main), n(layout::kWidth), n(layout::kHeight)});
}

TEST_F(FrameAndDialogs, TheWindowIsWhereAndHowBigItWasLeftAtTheNextStart) {
    // In screen coordinates: the window moves under the pointer.
    auto drag = [&](QPoint in_window, QPoint by) {
        const QPoint from = main_geometry().topLeft() + in_window;
        run_command({"xdotool", "mousemove", n(from.x()), n(from.y())});
        pause_ms(60);
        run_command({"xdotool", "mousedown", "1"});
        for (int i = 1; i <= 8; ++i) {
            const QPoint at = from + by * i / 8;
            run_command({"xdotool", "mousemove", n(at.x()), n(at.y())});
            pause_ms(25);
        }
        run_command({"xdotool", "mouseup", "1"});
        pause_ms(150);
    };
    const QRect first = main_geometry();
    drag(kOnTopBar, {60, 40});
    // The pointer's first pixels go to telling a drag from a click.
    ASSERT_TRUE(wait_until([&] { return main_geometry().x() >= first.x() + 40 && main_geometry().y() >= first.y() + 25; }, 3s))
        << "the top bar did not move the window from " << first.x() << "," << first.y() << " to "
        << main_geometry().x() << "," << main_geometry().y();
    // The bottom-right corner of the frame, dragged outwards.
    const QPoint corner(first.width() - 3, first.height() - 3);
    drag(corner, {80, 50});
    ASSERT_TRUE(wait_until([&] { return main_geometry().width() >= first.width() + 60 && main_geometry().height() >= first.height() + 35; }, 3s))
        << "the corner did not resize the window: " << main_geometry().width() << "x" << main_geometry().height();
    program.click(kViewStyle);  // details become big icons
    pause_ms(300);
    const QRect left = main_geometry();
    const QPoint exit_button(left.width() - 45 + 8, 13 + 8);
    program.click(exit_button);
    ASSERT_EQ(program.wait_exit(10s), 0) << "the exit button did not end the program";

    std::ifstream ini(program.folders().bin / "Murrelphonic.ini");
    const std::string text{std::istreambuf_iterator<char>(ini), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("List_style=icon"), std::string::npos) << text;

    ASSERT_GT(program.start(), 0);
    main = program.main_window();
    ASSERT_NE(main, 0u);
    EXPECT_TRUE(wait_until([&] { return main_geometry() == left; }, 3s))
        << "started at " << main_geometry().x() << "," << main_geometry().y() << " " << main_geometry().width()
        << "x" << main_geometry().height() << " instead of " << left.x() << "," << left.y() << " " << left.width()
        << "x" << left.height();
    keep_main("main_window_remembered");
}

TEST_F(FrameAndDialogs, BoxesAndDialogsOpenCentredOverTheMainWindow) {
    // Help, where no program shows the manual, says so in a box; where one
    // does, the manual opens and there is no box to picture.
    program.click(kHelp);
    unsigned long box = 0;
    wait_until(
        [&] {
            std::istringstream ids(run_command({"xdotool", "search", "--onlyvisible", "--name", "^Murrelphonic$"}));
            for (unsigned long id; ids >> id;)
                if (id != main) box = id;
            return box != 0;
        },
        3s);
    if (box) {
        EXPECT_TRUE(centred_over(program.geometry(box), main_geometry(), 24));
        keep("message_box");
        program.key("Return");
    }
    program.click(kAbout);
    if (const auto about = program.find_dialog()) EXPECT_TRUE(centred_over(program.geometry(*about), main_geometry()));
    keep("about_box");
    program.key("Escape");
    pause_ms(300);
    for (const char* style : {"list_icon_view", "list_small_icon_view", "list_list_view"}) {
        program.click(kViewStyle);
        keep_main(style);
    }
    program.click(kViewStyle);  // back to the details view

    // The main window moved first: a dialog follows it, not the screen.
    run_command({"xdotool", "windowmove", std::to_string(main), "120", "80"});
    pause_ms(400);
    program.click(layout::list_row(0));  // interview.wav
    program.click(layout::kConvert);
    const auto conversion = program.find_dialog();
    ASSERT_TRUE(conversion) << "no conversion dialog";
    const QRect dialog = program.geometry(*conversion);
    EXPECT_EQ(dialog.size(), QSize(420, 230));
    EXPECT_TRUE(centred_over(dialog, main_geometry()));
    keep("conversion_dialog");

    program.click(kChangeFolder, 1, *conversion);
    pause_ms(800);
    keep("file_dialog");
    program.key("Escape");
    pause_ms(400);

    program.click(kConvertGo, 1, *conversion);
    pause_ms(300);
    if (const auto progress = program.find_dialog(2s))
        EXPECT_TRUE(centred_over(program.geometry(*progress), main_geometry()));
    keep("progress_dialog");
}

}  // namespace
