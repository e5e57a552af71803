// The skinned frame: zones and what a press in them does, the main window's
// layout rules, window buttons, hover rule, help, about and closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include <fstream>

#include <QLabel>

#include "shell/appstate.h"
#include "shell/tests/program_folder.h"
#include "shell/catalogue.h"
#include "shell/gui/form_main.h"
#include "shell/gui/frame_zones.h"
#include "shell/profile.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"
#include "ui/bitmap_button.h"
#include "ui/frame_drag.h"
#include "ui/panels.h"
#include "ui/skin.h"
#include "ui/splitter.h"

namespace murrel {
namespace {

const QRect kWindow(100, 200, 853, 612);  // L 100, T 200, W 853, H 612
constexpr int L = 100, T = 200, W = 853, H = 612;

struct ZoneCase {
    QPoint cursor;
    FrameZone zone;
    Qt::CursorShape cursor_shape;
    int hit_test;
};

TEST(FrameZones, EachZoneHoldsUpToItsBoundaryAndCornersWinOverEdges) {
    const ZoneCase cases[] = {
        {{L + 11, T + 11}, FrameZone::TopLeft, Qt::SizeFDiagCursor, 13},
        {{L, T}, FrameZone::TopLeft, Qt::SizeFDiagCursor, 13},
        {{L + 3, T + 11}, FrameZone::TopLeft, Qt::SizeFDiagCursor, 13},  // corner beats the left edge
        {{L + 12, T + 11}, FrameZone::Inside, Qt::ArrowCursor, 0},
        {{L + 12, T + 6}, FrameZone::Top, Qt::SizeVerCursor, 12},
        {{L + W - 11, T + 11}, FrameZone::TopRight, Qt::SizeBDiagCursor, 14},
        {{L + W - 12, T + 3}, FrameZone::Top, Qt::SizeVerCursor, 12},
        {{L + 11, T + H - 11}, FrameZone::BottomLeft, Qt::SizeBDiagCursor, 16},
        {{L + 11, T + H - 12}, FrameZone::Inside, Qt::ArrowCursor, 0},
        {{L + 3, T + H - 12}, FrameZone::Left, Qt::SizeHorCursor, 10},
        {{L + W - 11, T + H - 11}, FrameZone::BottomRight, Qt::SizeFDiagCursor, 17},
        {{L + W - 3, T + H - 3}, FrameZone::BottomRight, Qt::SizeFDiagCursor, 17},
        {{L + 6, T + 300}, FrameZone::Left, Qt::SizeHorCursor, 10},
        {{L + 7, T + 300}, FrameZone::Inside, Qt::ArrowCursor, 0},
        {{L + W - 6, T + 300}, FrameZone::Right, Qt::SizeHorCursor, 11},
        {{L + W - 7, T + 300}, FrameZone::Inside, Qt::ArrowCursor, 0},
        {{L + 400, T + 6}, FrameZone::Top, Qt::SizeVerCursor, 12},
        {{L + 400, T + 7}, FrameZone::Inside, Qt::ArrowCursor, 0},
        {{L + 400, T + H - 6}, FrameZone::Bottom, Qt::SizeVerCursor, 15},
        {{L + 400, T + H - 7}, FrameZone::Inside, Qt::ArrowCursor, 0},
    };
    for (const ZoneCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "cursor " << c.cursor.x() - L << "," << c.cursor.y() - T);
        const FrameZone zone = frame_zone(c.cursor, kWindow);
        EXPECT_EQ(zone, c.zone);
        EXPECT_EQ(zone_cursor(zone), c.cursor_shape);
        EXPECT_EQ(zone_hit_test(zone), c.hit_test);
    }
    EXPECT_EQ(zone_edges(FrameZone::TopLeft), Qt::TopEdge | Qt::LeftEdge);
    EXPECT_EQ(zone_edges(FrameZone::BottomRight), Qt::BottomEdge | Qt::RightEdge);
    EXPECT_EQ(zone_edges(FrameZone::Inside), Qt::Edges());
}

TEST(FrameZones, APressThreePixelsInResizesTwentyPixelsInMovesAndMaximisedDoesNeither) {
    EXPECT_EQ(frame_press_action({L + 3, T + 50}, kWindow, false, true), FrameAction::Resize);
    EXPECT_EQ(frame_press_action({L + 20, T + 50}, kWindow, false, true), FrameAction::Move);
    EXPECT_EQ(frame_press_action({L + 7, T + 7}, kWindow, false, true), FrameAction::Resize);  // corner
    EXPECT_EQ(frame_press_action({L + 12, T + 7}, kWindow, false, true), FrameAction::Move);
    EXPECT_EQ(frame_press_action({L + 6, T + 50}, kWindow, false, true), FrameAction::Resize);
    EXPECT_EQ(frame_press_action({L + 20, T + 50}, kWindow, false, false), FrameAction::None);
    EXPECT_EQ(frame_press_action({L + 3, T + 50}, kWindow, true, true), FrameAction::None);
    EXPECT_EQ(frame_press_action({L + 20, T + 50}, kWindow, true, true), FrameAction::None);
}

TEST(FrameDrag, AManualResizeMovesOnlyTheDraggedEdgesAndStopsAtTheMinimum) {
    const QRect start(100, 100, 853, 612);
    const QSize min(610, 300);
    EXPECT_EQ(ui::resized_geometry(start, Qt::LeftEdge, {-40, 7}, min), QRect(60, 100, 893, 612));
    EXPECT_EQ(ui::resized_geometry(start, Qt::RightEdge, {25, 0}, min), QRect(100, 100, 878, 612));
    EXPECT_EQ(ui::resized_geometry(start, Qt::LeftEdge, {500, 0}, min), QRect(343, 100, 610, 612));
    EXPECT_EQ(ui::resized_geometry(start, Qt::TopEdge | Qt::LeftEdge, {10, 20}, min), QRect(110, 120, 843, 592));
    EXPECT_EQ(ui::resized_geometry(start, Qt::BottomEdge, {0, -400}, min), QRect(100, 100, 853, 300));
}

// A main window on a scratch program folder, with an INI file of our own.
class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        use_scratch_program_folder(dir);
    }
    void TearDown() override { app().reset(); }

    std::unique_ptr<TForm_main> make_window() {
        BrowserOptions options;
        options.texts_path = app().shipped_dir + "FileManager.ini";
        auto w = std::make_unique<TForm_main>(std::move(options));
        w->FormCreate(getmessage_frominifile(CatalogueWindow::Main));
        return w;
    }

    static void send_mouse(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton button,
                           Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    }

    testsupport::ScratchDir dir;
    testsupport::ScriptedDialogs dialogs;
};

TEST_F(MainWindowTest, TheWindowIsBorderlessBlackAndHasTheDesignedSizes) {
    auto w = make_window();
    EXPECT_EQ(w->size(), QSize(853, 612));
    EXPECT_EQ(w->minimumSize(), QSize(610, 300));
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(w->panel_layer0->geometry(), QRect(0, 0, 853, 101));
    EXPECT_EQ(w->Panel_layer4->geometry(), QRect(0, 612 - 51, 853, 51));
    EXPECT_EQ(w->Image6->geometry(), QRect(3, 7, 370, 36));
    EXPECT_EQ(w->button_about->geometry(), QRect(347, 49, 76, 35));
    EXPECT_EQ(w->button_exit->geometry(), QRect(853 - 45, 13, 30, 28));
    EXPECT_EQ(w->button_maximize->x(), 853 - 45 - 28);
    EXPECT_EQ(w->button_minimize->x(), 853 - 45 - 56);
    for (const char* name : {"Panel1", "Panel_layer2", "Panel_layer3", "Splitter2", "MMPanelFill_control",
                             "button_play", "button_sprecord", "combo_drive", "file_mycomputer"})
        EXPECT_NE(w->findChild<QWidget*>(name), nullptr) << name;
}

TEST_F(MainWindowTest, WideningByOneHundredPixelsMovesTheWindowButtonsAndWidensThePositionSlider) {
    auto w = make_window();
    w->show();
    auto* slider = new QWidget(w->MMPanelFill_control);
    slider->setObjectName("trackbar_position");
    slider->setGeometry(430, 20, 200, 14);
    w->FormResize();
    EXPECT_EQ(slider->width(), 853 - 430 - 32);
    const int exit_before = w->button_exit->x();
    w->resize(953, 612);
    EXPECT_EQ(slider->width(), 853 - 430 - 32 + 100);
    EXPECT_EQ(w->button_exit->x(), exit_before + 100);
    EXPECT_EQ(w->button_minimize->x(), exit_before + 100 - 56);
}

TEST_F(MainWindowTest, PressingNearTheLeftEdgeResizesAndFurtherInMovesTheWindow) {
    auto w = make_window();
    w->setGeometry(200, 150, 853, 612);
    w->show();
    const QRect start = w->geometry();
    // Offscreen has no window manager: the frame follows the mouse itself.
    QPoint press(start.left() + 3, start.top() + 60);
    send_mouse(w->panel_layer0, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseMove, press + QPoint(-40, 5), Qt::NoButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseButtonRelease, press + QPoint(-40, 5), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(w->geometry(), QRect(start.left() - 40, start.top(), start.width() + 40, start.height()));

    const QRect second = w->geometry();
    press = QPoint(second.left() + 20, second.top() + 60);
    send_mouse(w->panel_layer0, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseMove, press + QPoint(30, 25), Qt::NoButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseButtonRelease, press + QPoint(30, 25), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(w->geometry(), second.translated(30, 25));
}

TEST_F(MainWindowTest, WhileMaximisedTheFrameNeitherMovesNorResizesAndADoubleClickRestores) {
    auto w = make_window();
    w->show();
    w->button_maximizeClick();
    ASSERT_TRUE(w->maximised());
    EXPECT_EQ(w->button_maximize->strip().toImage(), ui::BitmapButton(ui::button_image(13)).strip().toImage());
    const QRect max_geometry = w->geometry();
    const QPoint press(max_geometry.left() + 3, max_geometry.top() + 60);
    send_mouse(w->panel_layer0, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseMove, press + QPoint(50, 0), Qt::NoButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseButtonRelease, press + QPoint(50, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(w->geometry(), max_geometry);
    EXPECT_EQ(w->panel_layer0MouseDown(max_geometry.center()), FrameAction::None);

    send_mouse(w->panel_layer0, QEvent::MouseButtonDblClick, QPoint(max_geometry.left() + 400, max_geometry.top() + 30),
               Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(w->maximised());
    EXPECT_EQ(w->button_maximize->strip().toImage(), ui::BitmapButton(ui::button_image(12)).strip().toImage());
}

TEST_F(MainWindowTest, TheFolderTreeKeepsFiftyPixelsWhenTheSplitterIsDraggedNarrower) {
    auto w = make_window();
    w->show();
    w->Splitter2->setSizes({30, 700});
    w->Splitter1Moved();
    EXPECT_EQ(w->Splitter2->sizes().at(0), 50);
    w->Splitter2->setSizes({120, 610});
    w->Splitter1Moved();
    EXPECT_EQ(w->Splitter2->sizes().at(0), 120);
}

TEST_F(MainWindowTest, TheFilterBoxSitsTwoPixelsRightOfTheAddressField) {
    auto w = make_window();
    w->show();
    w->resize(1000, 612);
    QApplication::processEvents();
    w->Panel_layer2CanResize();
    EXPECT_EQ(w->browser().combo_filefilter->x(), w->browser().edit_directory->geometry().right() + 1 + 2);
}

TEST_F(MainWindowTest, WhileAFilePlaysOnlyTheButtonUnderTheCursorIsHighlighted) {
    auto w = make_window();
    w->show();
    bool playing = true;
    w->hooks.devices_open = [&] { return playing; };
    const QPoint on_play = w->button_play->mapToGlobal(QPoint(5, 5));
    w->button_convert->set_highlight(true);
    w->button_HoverMouseMove(on_play);
    EXPECT_TRUE(w->button_play->highlighted());
    EXPECT_FALSE(w->button_convert->highlighted());
    // Onto the frame: the highlight goes.
    w->resize_MouseMove(w->Image_midleft, w->Image_midleft->mapToGlobal(QPoint(3, 40)), Qt::NoButton);
    w->resize_MouseMove(w->panel_layer0, w->panel_layer0->mapToGlobal(QPoint(500, 20)), Qt::NoButton);
    EXPECT_FALSE(w->button_play->highlighted());
    // The button's own edge is not "strictly inside".
    w->button_HoverMouseMove(w->button_play->mapToGlobal(QPoint(0, 5)));
    EXPECT_FALSE(w->button_play->highlighted());
    // Idle, the hover rule leaves the buttons to themselves.
    playing = false;
    w->button_play->set_highlight(true);
    w->button_HoverMouseMove(w->panel_layer0->mapToGlobal(QPoint(500, 20)));
    EXPECT_TRUE(w->button_play->highlighted());
}

class RecordingLauncher : public Launcher {
public:
    bool open(const std::string& path) override {
        opened.push_back(path);
        return program_found;
    }
    std::vector<std::string> opened;
    bool program_found = true;
};

TEST_F(MainWindowTest, HelpWithNoProgramForTheManualSaysSoInABox) {
    auto w = make_window();
    RecordingLauncher launcher;
    launcher.program_found = false;
    w->set_launcher(&launcher);
    w->button_helpClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("No program to show the manual"), std::string::npos);
    EXPECT_NE(dialogs.messages[0].text.find(app().shipped_dir + "manual.html"), std::string::npos);
    launcher.program_found = true;
    w->button_helpClick();
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

// A press on the top bar only arms the drag: a click, however quick, moves
// nothing afterwards, a jitter below the drag distance neither, and a double
// click reaches the frame (a move started on the press would have taken it).
TEST_F(MainWindowTest, ATopBarClickNeverLeavesADragBehindAndADoubleClickMaximises) {
    auto w = make_window();
    w->move(150, 120);
    w->show();
    const QRect start = w->geometry();
    const QPoint press(start.left() + 600, start.top() + 30);
    send_mouse(w->panel_layer0, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseButtonRelease, press, Qt::LeftButton, Qt::NoButton);
    send_mouse(w->panel_layer0, QEvent::MouseMove, press + QPoint(60, 40), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w->geometry(), start);

    send_mouse(w->panel_layer0, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseMove, press + QPoint(2, 1), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w->geometry(), start);
    send_mouse(w->panel_layer0, QEvent::MouseMove, press + QPoint(40, 20), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w->geometry().topLeft(), start.topLeft() + QPoint(40, 20));  // no jump by the drag distance
    send_mouse(w->panel_layer0, QEvent::MouseButtonRelease, press + QPoint(40, 20), Qt::LeftButton, Qt::NoButton);

    const QPoint again = w->geometry().topLeft() + QPoint(600, 30);
    send_mouse(w->panel_layer0, QEvent::MouseButtonPress, again, Qt::LeftButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseButtonRelease, again, Qt::LeftButton, Qt::NoButton);
    send_mouse(w->panel_layer0, QEvent::MouseButtonPress, again, Qt::LeftButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseButtonDblClick, again, Qt::LeftButton, Qt::LeftButton);
    send_mouse(w->panel_layer0, QEvent::MouseButtonRelease, again, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(w->maximised());
    send_mouse(w->panel_layer0, QEvent::MouseMove, again + QPoint(50, 50), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w->geometry(), w->screen()->availableGeometry());
}

TEST_F(MainWindowTest, HelpOpensTheHelpFileWhenPresentElseTheManualAndNothingWhilePlaying) {
    auto w = make_window();
    RecordingLauncher launcher;
    w->set_launcher(&launcher);
    int abouts = 0;
    w->hooks.about = [&] { ++abouts; };
    w->button_helpClick();
    std::ofstream(app().shipped_dir + "Murrelphonic.chm") << "help";
    w->button_helpClick();
    bool playing = true;
    w->hooks.devices_open = [&] { return playing; };
    w->button_helpClick();
    w->button_aboutClick();
    ASSERT_EQ(launcher.opened.size(), 2u);
    EXPECT_EQ(launcher.opened[0], app().shipped_dir + "manual.html");
    EXPECT_EQ(launcher.opened[1], app().shipped_dir + "Murrelphonic.chm");
    EXPECT_EQ(abouts, 0);
    playing = false;
    w->button_aboutClick();
    EXPECT_EQ(abouts, 1);
}

TEST_F(MainWindowTest, ClosingStopsThePlayerUnregistersDropsAndSavesTheBrowsedFolder) {
    auto w = make_window();
    std::vector<std::string> steps;
    w->hooks.stop = [&] { steps.push_back("stop"); };
    w->hooks.unregister_drop_targets = [&] { steps.push_back("drops"); };
    w->Timer_banner->start();
    const std::string other = app().app_dir + "elsewhere";
    std::filesystem::create_directories(other);
    w->browser().edit_directory->setText(QString::fromStdString(other));
    EXPECT_TRUE(w->close());
    EXPECT_EQ(steps, (std::vector<std::string>{"stop", "drops"}));
    EXPECT_FALSE(w->Timer_banner->isActive());
    EXPECT_EQ(ProfileFile(app().ini_path).read_string("Config", "Default_path"), other);
}

TEST_F(MainWindowTest, ConvertingDoesNothingWhileRecording) {
    auto w = make_window();
    int converts = 0;
    bool recording = true;
    w->hooks.convert = [&] { ++converts; };
    w->hooks.recording = [&] { return recording; };
    w->button_convertClick();
    recording = false;
    w->button_convertClick();
    EXPECT_EQ(converts, 1);
}

}  // namespace
}  // namespace murrel
