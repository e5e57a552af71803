// The Voice Editor's mouse while it plays, in the program as shipped: the
// locator dragged and let go goes on playing there, a drag to the zoomed
// view's edge brings the range and the pointer along, marker B dragged by its
// flag ends the new play all there (as heard at the sink); and a changed
// document is not lost when the desktop closes the window or ends the program.
#include <gtest/gtest.h>

#include <signal.h>

#include <cmath>
#include <sstream>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"
#include "testsupport/signal_match.h"
#include "testsupport/test_signals.h"

using namespace murrel::e2e;
using murrel::testsupport::find_signal;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 16000;
constexpr double kSeconds = 8.0;

// A glide whose every stretch is found at one place only.
std::vector<int16_t> glide(double seconds) { return murrel::testsupport::glide(300, 1500, seconds); }

std::vector<int16_t> stretch(const std::vector<int16_t>& s, double from, double to) {
    return {s.begin() + long(from * kRate), s.begin() + long(to * kRate)};
}

// The marker strip's play-range flags as drawn: the leftmost and rightmost
// columns in their colour, and the row of their tips.
struct Flags {
    int a = -1, b = -1, y = -1;
};
Flags find_flags(const QImage& shot) {
    const QRgb range = qRgb(80, 160, 255);
    Flags f;
    for (int y = shot.height() / 2; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) == (range & 0xFFFFFF)) {
                if (f.y < 0) f.y = y;
                if (f.a < 0 || x < f.a) f.a = x;
                f.b = std::max(f.b, x);
            }
    return f;
}

QPoint pointer_now() {
    std::istringstream out(run_command({"xdotool", "getmouselocation"}));
    std::string x, y;
    out >> x >> y;  // "x:123 y:456 ..."
    return {std::atoi(x.c_str() + 2), std::atoi(y.c_str() + 2)};
}

// The last heard sample above the noise.
size_t last_loud(const std::vector<int16_t>& s) {
    size_t last = 0;
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs(int(s[i])) > 1500) last = i;
    return last;
}

bool skip_without_sound(std::string& why) {
    return sound_server(why).empty();
}

}  // namespace

TEST(EditorMouse, WhilePlayingTheLocatorDragResumesWhereLetGoTheEdgeBringsThePointerAndMarkerBEndsPlayback) {
    std::string why;
    if (skip_without_sound(why)) {
        if (std::getenv("CI")) FAIL() << why;
        GTEST_SKIP() << why;
    }
    Program program;
    const std::vector<int16_t> original = glide(kSeconds);
    write_wav16((program.folders().data() / "dictation.wav").string(), original, kRate, 1);
    ASSERT_GT(program.start(), 0);
    ASSERT_NE(program.main_window(), 0u);
    program.click(layout::list_row(0));
    program.click(layout::kWavEdit);
    const auto editor = program.find_window("^Voice Editor$", 10s);
    ASSERT_TRUE(editor) << "the editor did not open";
    layout::pause_s(1.0);
    const QRect window = program.geometry(*editor);
    const QSize size = window.size();
    const Flags flags = find_flags(program.shot("editor_mouse_opened", *editor));
    ASSERT_GT(flags.b, flags.a + 100) << "markers A and B were not found on the marker strip";
    // Frames per pixel as the strip maps them: A is frame 0, B the file's end.
    const auto second_at = [&](int x) { return double(x - flags.a) / double(flags.b - flags.a) * kSeconds; };

    {
        SinkRecording sink;
        ASSERT_TRUE(sink.ok());
        program.key("space");
        layout::pause_s(0.6);
        // The locator grabbed at 1 s and let go at about 4.8 s.
        program.drag(layout::editor_lower_wave(size, 0.125), layout::editor_lower_wave(size, 0.6), *editor);
        layout::pause_s(1.2);
        program.key("space");
        const std::vector<int16_t> heard = sink.stop();
        const double let_go = second_at(layout::editor_lower_wave(size, 0.6).x());
        const auto m = find_signal(heard, stretch(original, let_go + 0.2, let_go + 0.6));
        EXPECT_GT(m.correlation, 0.9) << "playback did not go on where the locator was let go";
    }

    // Zoomed in from the start, the locator dragged to the view's right edge:
    // the range centres on it and the pointer is put where the locator now is.
    program.key("Home");
    program.key("space");
    layout::pause_s(0.3);
    const QPoint middle = layout::editor_lower_wave(size, 0.5);
    program.move_to(middle, *editor);
    for (int i = 0; i < 4; ++i) run_command({"xdotool", "click", "4"});
    layout::pause_s(0.4);
    const QImage zoomed = program.shot("editor_mouse_zoomed", *editor);
    // The view's last column: its black background seen from the window's right.
    int right = zoomed.width() - 1;
    while (right > middle.x() && (zoomed.pixel(right, middle.y()) & 0xFFFFFF) != 0) --right;
    int left = 0;
    while (left < middle.x() && (zoomed.pixel(left, middle.y()) & 0xFFFFFF) != 0) ++left;
    ASSERT_GT(right, left + 400);
    program.move_to({left + (right - left) / 3, middle.y()}, *editor);
    run_command({"xdotool", "mousedown", "1"});
    layout::pause_s(0.1);
    program.move_to({right - 1, middle.y()}, *editor);
    layout::pause_s(0.4);
    const QPoint after = pointer_now() - window.topLeft();
    run_command({"xdotool", "mouseup", "1"});
    layout::pause_s(0.2);
    program.shot("editor_mouse_followed", *editor);
    EXPECT_LT(std::abs(after.x() - (left + right) / 2), 30)
        << "the pointer is at " << after.x() << " instead of the view's middle " << (left + right) / 2;
    program.key("space");
    for (int i = 0; i < 10; ++i) run_command({"xdotool", "click", "5"});
    layout::pause_s(0.5);

    {
        SinkRecording sink;
        ASSERT_TRUE(sink.ok());
        program.key("space");
        layout::pause_s(0.5);
        // Marker B by its flag to the middle: play all starts again from A and ends there.
        const int to = flags.a + (flags.b - flags.a) / 2;
        program.drag({flags.b - 2, flags.y + 2}, {to, flags.y + 2}, *editor);
        program.shot("editor_mouse_marker_b", *editor);
        layout::pause_s(kSeconds / 2 + 1.5);
        const std::vector<int16_t> heard = sink.stop();
        const double new_b = second_at(to);
        const size_t end = last_loud(heard);
        ASSERT_GT(end, size_t(kRate));
        const std::vector<int16_t> last(heard.begin() + long(end - kRate / 4), heard.begin() + long(end));
        const auto m = find_signal(original, last);
        EXPECT_GT(m.correlation, 0.9);
        const double stopped = double(m.lag + last.size()) / kRate;
        EXPECT_NEAR(stopped, new_b, 0.1) << "playback did not end at the new marker B";
        // From A again: the file's start heard after the drag.
        const size_t restart = end - std::min(end, size_t((new_b + 0.3) * kRate));
        const auto again = find_signal(std::vector<int16_t>(heard.begin() + long(restart), heard.end()),
                                       stretch(original, 0.3, 0.7));
        EXPECT_GT(again.correlation, 0.9) << "play all did not start again from marker A";
    }
    program.close();
}

TEST(EditorMouse, ChangesAreKeptWhenTheWindowManagerClosesTheEditorAndWhenTheProgramIsTerminated) {
    Program program;
    const std::vector<int16_t> original = glide(kSeconds);
    const fs::path wav = program.folders().data() / "dictation.wav";
    write_wav16(wav.string(), original, kRate, 1);
    const pid_t pid = program.start();
    ASSERT_GT(pid, 0);
    ASSERT_NE(program.main_window(), 0u);
    program.click(layout::list_row(0));
    program.click(layout::kWavEdit);
    const auto editor = program.find_window("^Voice Editor$", 10s);
    ASSERT_TRUE(editor);
    layout::pause_s(1.0);
    const QSize size = program.geometry(*editor).size();
    program.drag(layout::editor_lower_wave(size, 0.3), layout::editor_lower_wave(size, 0.5), *editor);
    program.key("ctrl+t");
    layout::pause_s(1.0);

    // The window manager's close (its Alt+F4): the question comes, Cancel keeps the editor.
    program.key("alt+F4");
    const auto question = program.find_dialog(5s);
    ASSERT_TRUE(question) << "closing from the window manager did not ask about the changes";
    program.shot("editor_mouse_close_question", *question);
    program.key("Escape");
    layout::pause_s(0.5);
    EXPECT_TRUE(program.find_window("^Voice Editor$", 2s)) << "Cancel did not keep the editor";
    EXPECT_FALSE(program.find_window("^Murrelphonic$", 500ms)) << "the main window came back";
    program.shot("editor_mouse_after_cancel", *editor);

    // The end of the program (a logout's SIGTERM): nobody is asked, the changes are kept.
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(program.wait_exit(10s), 0);
    const fs::path copy = program.folders().data() / "dictation (recovered).wav";
    ASSERT_TRUE(fs::exists(copy)) << "no recovery copy";
    const std::vector<int16_t> kept = read_wav16(copy.string());
    EXPECT_LT(kept.size(), original.size() - kRate);
    EXPECT_GT(kept.size(), original.size() / 2);
    EXPECT_TRUE(std::equal(kept.begin(), kept.begin() + kRate, original.begin()));
    EXPECT_EQ(read_wav16(wav.string()).size(), original.size()) << "the original was changed";
}
