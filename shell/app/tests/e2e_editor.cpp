// The Voice Editor in the program as shipped: a WAV file selected in the list
// and opened with the Editing button, heard with Space, a range selected with
// the mouse, cut, undone, redone and saved, and the window closed back to
// the main window.
#include <gtest/gtest.h>

#include <cmath>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"
#include "testsupport/signal_match.h"
#include "testsupport/test_signals.h"

using namespace murrel::e2e;
using murrel::testsupport::find_signal;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 16000;

// A glide whose every half second is found at one place only.
std::vector<int16_t> glide(double seconds) { return murrel::testsupport::glide(300, 1500, seconds); }

// Saves the edited document through the lower pane's File menu as `path`.
void save_as(Program& program, unsigned long editor, const fs::path& path) {
    program.click(layout::editor_lower_file_menu(program.geometry(editor).size()), 1, editor);
    program.key("Down");
    program.key("Down");
    program.key("Return");
    const auto dialog = program.find_window("^Save As$", 5s);
    ASSERT_TRUE(dialog) << "no save dialog";
    layout::pause_s(0.4);
    program.key("ctrl+a");
    program.type(path.string());
    program.key("Return");
    ASSERT_TRUE(wait_until([&] { return fs::exists(path); }, 5s)) << path << " was not saved";
    layout::pause_s(0.5);
}

}  // namespace

TEST(Editor, AWavFileOpenedWithEditingIsHeardCutUndoneRedoneSavedAndClosedBackToTheMainWindow) {
    std::string why;
    if (sound_server(why).empty()) {
        if (std::getenv("CI")) FAIL() << why;
        GTEST_SKIP() << why;
    }
    Program program;
    const std::vector<int16_t> original = glide(8.0);
    write_wav16((program.folders().data() / "dictation.wav").string(), original, kRate, 1);
    ASSERT_GT(program.start(), 0);
    ASSERT_NE(program.main_window(), 0u);

    program.click(layout::list_row(0));
    program.click(layout::kWavEdit);
    const auto editor = program.find_window("^Voice Editor$", 10s);
    ASSERT_TRUE(editor) << "the editor did not open";
    EXPECT_TRUE(wait_until([&] { return fs::exists(program.folders().data() / "DICTATION.SDD"); }, 5s))
        << "no display data was built";
    EXPECT_FALSE(program.find_window("^Murrelphonic$", 500ms)) << "the main window stays visible";
    layout::pause_s(0.8);
    const QSize size = program.geometry(*editor).size();
    program.shot("editor_opened", *editor);

    {
        SinkRecording sink;
        ASSERT_TRUE(sink.ok());
        program.key("space");
        layout::pause_s(2.5);
        program.shot("editor_playing", *editor);
        program.key("space");
        const std::vector<int16_t> heard = sink.stop();
        const auto m = find_signal(heard, std::vector<int16_t>(original.begin() + kRate / 2, original.begin() + kRate));
        EXPECT_GT(m.correlation, 0.95) << "the start of the file was not heard";
    }

    // A range across the middle of the zoomed view, which shows the whole file.
    program.drag(layout::editor_lower_wave(size, 0.35), layout::editor_lower_wave(size, 0.55), *editor);
    layout::pause_s(0.3);
    program.shot("editor_selection", *editor);
    // Cut, undo, redo: saving clears the history, so the saved file is the
    // redone cut, which holds only when undo and redo went both ways.
    program.key("ctrl+t");
    layout::pause_s(1.0);
    program.shot("editor_cut", *editor);
    program.key("ctrl+z");
    layout::pause_s(1.0);
    program.key("ctrl+y");
    layout::pause_s(1.0);
    const fs::path cut = program.folders().root / "cut.wav";
    save_as(program, *editor, cut);
    const std::vector<int16_t> after_cut = read_wav16(cut.string());
    ASSERT_LT(after_cut.size(), original.size() - kRate);
    ASSERT_GT(after_cut.size(), original.size() / 2);
    // The original with one stretch from the middle taken out.
    size_t a = 0;
    while (a < after_cut.size() && after_cut[a] == original[a]) ++a;
    const size_t removed = original.size() - after_cut.size();
    EXPECT_GT(a, original.size() / 4);
    EXPECT_LT(a, original.size() / 2);
    EXPECT_TRUE(std::equal(after_cut.begin() + long(a), after_cut.end(), original.begin() + long(a + removed)))
        << "the rest after the cut differs";

    program.click(layout::editor_exit(size), 1, *editor);
    EXPECT_TRUE(program.find_window("^Murrelphonic$", 5s)) << "the main window did not come back";
    EXPECT_FALSE(program.find_window("^Voice Editor$", 500ms)) << "the editor stayed open";
    program.close();
}

TEST(Editor, AGainPointAddedByMouseInTheEnvelopeViewMakesThatStretchOfTheSavedFileQuieter) {
    std::string why;
    if (sound_server(why).empty()) {
        if (std::getenv("CI")) FAIL() << why;
        GTEST_SKIP() << why;
    }
    Program program;
    // A steady tone: any stretch of the original is as loud as any other.
    std::vector<int16_t> original(static_cast<size_t>(kRate * 6));
    for (size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440.0 * double(i) / kRate));
    write_wav16((program.folders().data() / "steady.wav").string(), original, kRate, 1);
    ASSERT_GT(program.start(), 0);
    ASSERT_NE(program.main_window(), 0u);
    program.click(layout::list_row(0));
    program.click(layout::kWavEdit);
    const auto editor = program.find_window("^Voice Editor$", 10s);
    ASSERT_TRUE(editor) << "the editor did not open";
    layout::pause_s(1.0);
    const QSize size = program.geometry(*editor).size();

    program.key("ctrl+e");
    layout::pause_s(0.5);
    // One point in the middle at a quarter of unity: the gain falls from
    // the start to it and rises again to the end. A pixel of the view is
    // some 600 of the 32768 gain steps, so where the click lands is known
    // to within a few hundredths of unity.
    program.click(layout::editor_lower_envelope(size, 0.5, 0.25), 1, *editor);
    layout::pause_s(0.5);
    program.shot("editor_envelope_point", *editor);

    const fs::path quieter = program.folders().root / "quieter.wav";
    save_as(program, *editor, quieter);
    const std::vector<int16_t> saved = read_wav16(quieter.string());
    ASSERT_EQ(saved.size(), original.size()) << "gain changes no length";
    auto rms = [](const std::vector<int16_t>& s, size_t from, size_t n) {
        double sum = 0;
        for (size_t i = from; i < from + n; ++i) sum += double(s[i]) * s[i];
        return std::sqrt(sum / double(n));
    };
    const size_t middle = original.size() / 2, stretch = kRate / 10;
    const double before = rms(original, middle - stretch / 2, stretch);
    const double after = rms(saved, middle - stretch / 2, stretch);
    EXPECT_LT(after, before * 0.45) << "the middle is not quieter";
    EXPECT_GT(after, before * 0.08) << "the middle went silent";
    // Far from the point the file is nearly as loud as it was.
    EXPECT_GT(rms(saved, 0, stretch), rms(original, 0, stretch) * 0.9);
    EXPECT_GT(rms(saved, original.size() - stretch, stretch), rms(original, original.size() - stretch, stretch) * 0.9);
    program.click(layout::editor_exit(size), 1, *editor);
    EXPECT_TRUE(program.find_window("^Murrelphonic$", 5s)) << "the main window did not come back";
    program.close();
}
