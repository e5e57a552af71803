// `murrelphonic --edit FILE` as a file manager's "Edit in the Voice Editor"
// starts it: on a first start the editor opens with the file, the main
// window hidden and its list at the file's folder; a later start hands the
// file to the running program; an editor holding unsaved changes asks first
// and keeps them on Cancel. What is opened is judged by ear at the sink.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <optional>
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

// A glide whose every half second is found at one place only.
using murrel::testsupport::glide;
using murrel::testsupport::part;

class EditCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (sound_server(why).empty()) {
            if (std::getenv("CI")) FAIL() << why;
            GTEST_SKIP() << why;
        }
        // Outside the data folder, where the list does not start.
        fs::create_directories(elsewhere);
        write_wav16((elsewhere / "memo.wav").string(), rising, kRate, 1);
        write_wav16((elsewhere / "letter.wav").string(), falling, kRate, 1);
    }

    // What the sink hears while Space plays the editor's document for a while.
    std::vector<int16_t> hear_editor(unsigned long editor, double seconds) {
        SinkRecording sink;
        EXPECT_TRUE(sink.ok());
        // An empty stretch of the transport bar: the editor has the keys.
        const QSize size = program.geometry(editor).size();
        program.click({size.width() / 2 + 60, size.height() - 22 - 25}, 1, editor);
        program.key("space");
        layout::pause_s(seconds);
        program.key("space");
        return sink.stop();
    }

    // A window of the program other than `editor` (a question over it).
    std::optional<unsigned long> window_over(unsigned long editor, std::chrono::milliseconds timeout) {
        std::optional<unsigned long> found;
        wait_until(
            [&] {
                std::istringstream out(
                    run_command({"xdotool", "search", "--onlyvisible", "--class", "murrelphonic"}));
                for (unsigned long id; out >> id;)
                    if (id != editor && program.geometry(id).width() > 100) found = id;
                return found.has_value();
            },
            timeout);
        return found;
    }

    // A later start of the same user's program.
    int second_start(const std::vector<std::string>& args) {
        Program second;
        second.environment["XDG_RUNTIME_DIR"] = program.folders().runtime.string();
        if (second.start(args) <= 0) return -1;
        return second.wait_exit(10s);
    }

    Program program;
    fs::path elsewhere = program.folders().root / "dictations";
    std::vector<int16_t> rising = glide(300, 1200, 8.0), falling = glide(1400, 500, 8.0);
};

TEST_F(EditCommand, AFirstStartWithEditShowsTheFileInTheEditorAndClosingItReturnsToTheListAtItsFolder) {
    ASSERT_GT(program.start({"--edit", (elsewhere / "memo.wav").string()}), 0);
    const auto editor = program.find_window("^Voice Editor$", 20s);
    ASSERT_TRUE(editor) << "the editor did not open";
    EXPECT_TRUE(wait_until([&] { return fs::exists(elsewhere / "MEMO.SDD"); }, 5s)) << "no display data was built";
    EXPECT_FALSE(program.find_window("^Murrelphonic$", 500ms)) << "the main window stays visible";
    layout::pause_s(0.8);
    const QSize size = program.geometry(*editor).size();
    program.shot("edit_command_first_start", *editor);

    const auto m = find_signal(hear_editor(*editor, 2.5), part(rising, 0.5, 0.5));
    EXPECT_GT(m.correlation, 0.95) << "the file named with --edit was not what the editor played";

    program.click(layout::editor_exit(size), 1, *editor);
    ASSERT_NE(program.main_window(), 0u) << "the main window did not come back";
    layout::pause_s(0.5);
    program.shot("edit_command_back_in_main");
    // The list shows the file's folder: letter.wav, the display data
    // MEMO.SDD, then memo.wav, which plays.
    SinkRecording sink;
    program.click(layout::list_row(2));
    program.click(layout::kPlay);
    layout::pause_s(2.5);
    program.click(layout::kStop);
    const auto played = find_signal(sink.stop(), part(rising, 1.0, 0.5));
    EXPECT_GT(played.correlation, 0.95) << "the list did not show the edited file's folder";
    program.close();
}

TEST_F(EditCommand, ASecondStartWithEditHandsTheFileToTheRunningProgramWhichShowsItInTheEditor) {
    ASSERT_GT(program.start(), 0);
    ASSERT_NE(program.main_window(), 0u);
    EXPECT_EQ(second_start({"--edit", (elsewhere / "memo.wav").string()}), 0);
    const auto editor = program.find_window("^Voice Editor$", 10s);
    if (!editor) {
        keep_screenshot(Desktop::grab(), "e2e_edit_command_no_editor");
        std::cerr << "running: " << program.running() << " exit " << program.wait_exit(1s) << "\n";
    }
    ASSERT_TRUE(editor) << "the running program did not open its editor";
    EXPECT_FALSE(program.find_window("^Murrelphonic$", 500ms)) << "the main window stays visible";
    layout::pause_s(0.8);
    program.shot("edit_command_handed_over", *editor);
    const auto m = find_signal(hear_editor(*editor, 2.5), part(rising, 0.5, 0.5));
    EXPECT_GT(m.correlation, 0.95) << "the handed-over file was not heard";
    EXPECT_TRUE(program.running());
    program.close();
}

TEST_F(EditCommand, AHandoverToAnEditorWithUnsavedChangesAsksAndCancelKeepsTheChangedDocument) {
    ASSERT_GT(program.start({"--edit", (elsewhere / "memo.wav").string()}), 0);
    const auto editor = program.find_window("^Voice Editor$", 20s);
    ASSERT_TRUE(editor);
    layout::pause_s(1.0);
    const QSize size = program.geometry(*editor).size();
    // The first half cut away: the document now starts in the glide's middle.
    program.drag(layout::editor_lower_wave(size, 0.0), layout::editor_lower_wave(size, 0.5), *editor);
    program.key("ctrl+t");
    layout::pause_s(1.0);

    EXPECT_EQ(second_start({"--edit", (elsewhere / "letter.wav").string()}), 0);
    const auto question = window_over(*editor, 5s);
    ASSERT_TRUE(question) << "handing over another file did not ask about the changed document";
    layout::pause_s(0.4);
    program.shot("edit_command_asks", *question);
    program.key("Escape");
    layout::pause_s(0.8);
    ASSERT_TRUE(program.find_window("^Voice Editor$", 2s));

    // Still the cut document: the glide from its middle on, not the other file.
    const std::vector<int16_t> heard = hear_editor(*editor, 2.5);
    const auto kept = find_signal(heard, part(rising, 5.0, 0.4));
    EXPECT_GT(kept.correlation, 0.95) << "the changed document was not kept";
    const auto other = find_signal(heard, part(falling, 0.4, 0.5));
    EXPECT_LT(other.correlation, 0.5) << "the handed-over file replaced the changed document";
    program.close();
}

}  // namespace
