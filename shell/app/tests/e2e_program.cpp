// The program as shipped, beyond playback: a dictation recorded from what
// plays into the sink and saved under a typed name, two voice files converted
// through the conversion button and its dialog, a second start handing over
// to the first (with the files it was given, as a file manager's "Open with"
// starts it), and a recorder plugged in and pulled out again.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"
#include "testsupport/signal_match.h"
#include "testsupport/test_signals.h"

using namespace murrel::e2e;
using murrel::testsupport::find_signal;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 16000;

// A glide between two pitches over `seconds`.
std::vector<int16_t> glide(double from_hz, double to_hz, double seconds, int rate = kRate) {
    return murrel::testsupport::glide(from_hz, to_hz, seconds, rate, 8000);
}

// Power at `hz` against the power at a neighbouring `off_hz` (Goertzel).
double tone_power(const std::vector<int16_t>& s, size_t from, size_t count, int rate, double hz) {
    const double w = 2 * M_PI * hz / rate;
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < from + count && i < s.size(); ++i) {
        const double s0 = s[i] + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
}

class ProgramCase : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (sound_server(why).empty()) {
            if (std::getenv("CI")) FAIL() << why;
            GTEST_SKIP() << why;
        }
    }
    void start() {
        ASSERT_GT(program.start(), 0);
        ASSERT_NE(program.main_window(), 0u) << "the main window never appeared";
    }
    // A voice file in the given folder, made from `samples` by the tool.
    void voice_file(const fs::path& folder, const std::string& name, const std::vector<int16_t>& samples) {
        const fs::path wav = scratch / (name + ".wav");
        fs::create_directories(scratch);
        write_wav16(wav.string(), samples, kRate, 1);
        ASSERT_TRUE(cli({"encode", wav.string(), "--mode", "sp", "-o", folder.string(), "--quiet"}));
    }
    ~ProgramCase() override {
        std::error_code ec;
        fs::remove_all(scratch, ec);
    }

    Program program;
    fs::path scratch = program.folders().root / "work";
};

TEST_F(ProgramCase, ADictationRecordedInSpFromAToneIsSavedAsMemoAndDecodesToTheTone) {
    const fs::path tone = program.folders().root / "tone.wav";
    // 48 kHz like the sink, so the tone reaches the monitor unresampled.
    std::vector<int16_t> t(48000 * 5);
    for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 1000.0 * i / 48000));
    write_wav16(tone.string(), t, 48000, 1);
    start();
    const pid_t player = play_into_sink(tone.string(), false);
    ASSERT_GT(player, 0);
    layout::pause_s(0.5);
    program.click(layout::kSpRecord);
    layout::pause_s(3.0);
    program.shot("recording");
    program.click(layout::kStop);
    const auto dialog = program.find_window("^Save VKD file", 5s);
    ASSERT_TRUE(dialog) << "no save dialog after stop";
    layout::pause_s(0.4);
    program.shot("save_dialog", *dialog);
    program.type("memo");
    program.key("Return");
    waitpid(player, nullptr, 0);

    const fs::path memo = program.folders().data() / "memo.vkd";
    ASSERT_TRUE(wait_until([&] { return fs::exists(memo); }, 5s)) << "memo.vkd was not saved";
    EXPECT_FALSE(fs::exists(program.folders().temp() / "temp_recording.vkd"));
    std::string info;
    ASSERT_TRUE(cli({"info", memo.string()}, &info));
    EXPECT_NE(info.find("SP"), std::string::npos) << info;
    fs::create_directories(scratch);
    ASSERT_TRUE(cli({"decode", memo.string(), "-o", scratch.string(), "--quiet"}));
    int rate = 0;
    const std::vector<int16_t> decoded = read_wav16((scratch / "memo.wav").string(), &rate);
    ASSERT_EQ(rate, 16000);
    ASSERT_GT(decoded.size(), static_cast<size_t>(2.5 * rate)) << "the recording is too short";
    // Its middle is the 1 kHz tone: far more power there than a semitone away.
    const size_t mid = decoded.size() / 2 - rate / 4;
    EXPECT_GT(tone_power(decoded, mid, rate / 2, rate, 1000), 100 * tone_power(decoded, mid, rate / 2, rate, 1300));
    // The list shows it (its only row), and playing that row plays the tone.
    program.shot("memo_saved");
    const std::vector<int16_t> heard = layout::hear_row(program, 0, 1.5);
    ASSERT_GT(heard.size(), static_cast<size_t>(kRate));
    const size_t loud = heard.size() / 2 - kRate / 8;
    EXPECT_GT(tone_power(heard, loud, kRate / 4, kRate, 1000), 100 * tone_power(heard, loud, kRate / 4, kRate, 1300))
        << "the listed memo did not play the tone";
}

TEST_F(ProgramCase, TwoVoiceFilesAreConvertedToWavThroughTheConversionButtonAndItsDialog) {
    voice_file(program.folders().data(), "a_one", glide(300, 900, 2.0));
    voice_file(program.folders().data(), "b_two", glide(900, 300, 2.0));
    start();
    program.click(layout::list_row(0));
    program.key("shift+Down");
    program.click(layout::kConvert);
    const auto dialog = program.find_dialog();
    ASSERT_TRUE(dialog) << "no conversion dialog";
    layout::pause_s(0.5);
    program.shot("conversion_dialog");
    // Its Convert button, left of Cancel in the bottom-right corner.
    const QRect box = program.geometry(*dialog);
    program.click({box.width() - 127, box.height() - 24}, 1, *dialog);
    for (const char* name : {"a_one", "b_two"}) {
        const fs::path made = program.folders().data() / (std::string(name) + ".wav");
        ASSERT_TRUE(wait_until([&] { return fs::exists(made); }, 10s)) << made;
        fs::create_directories(scratch / "ref");
        ASSERT_TRUE(cli({"decode", (program.folders().data() / (std::string(name) + ".vkd")).string(), "-o",
                         (scratch / "ref").string(), "--quiet"}));
        layout::pause_s(0.3);
        EXPECT_EQ(read_wav16(made.string()), read_wav16((scratch / "ref" / (std::string(name) + ".wav")).string()))
            << name << " differs from the tool's decoding";
    }
    program.shot("converted");
}

TEST_F(ProgramCase, ASecondStartBringsTheFirstWindowForwardAndEnds) {
    start();
    const unsigned long first = program.main_window();
    run_command({"xdotool", "windowminimize", std::to_string(first)});
    ASSERT_TRUE(wait_until([&] { return run_command({"xprop", "-id", std::to_string(first), "_NET_WM_STATE"})
                                            .find("HIDDEN") != std::string::npos; },
                           3s));
    // Another start of the same user's program: the same runtime folder.
    Program second;
    second.environment["XDG_RUNTIME_DIR"] = program.folders().runtime.string();
    ASSERT_GT(second.start(), 0);
    EXPECT_EQ(second.wait_exit(10s), 0);
    EXPECT_FALSE(fs::exists(second.folders().temp())) << "the second start made its folders";
    EXPECT_TRUE(wait_until([&] { return run_command({"xprop", "-id", std::to_string(first), "_NET_WM_STATE"})
                                            .find("HIDDEN") == std::string::npos; },
                           3s))
        << "the first window stayed minimised";
    EXPECT_TRUE(program.running());
}

TEST_F(ProgramCase, FilesNamedOnTheCommandLinePlayInTheFirstWindowAlsoFromASecondStart) {
    // Outside the data folder, where the list does not start.
    const fs::path elsewhere = program.folders().root / "dictations";
    fs::create_directories(elsewhere);
    voice_file(elsewhere, "rising", glide(300, 900, 4.0));
    voice_file(elsewhere, "falling", glide(1100, 400, 4.0));
    auto decoded = [&](const char* name) {
        EXPECT_TRUE(cli({"decode", (elsewhere / (std::string(name) + ".vkd")).string(), "-o", scratch.string(),
                         "--overwrite", "--quiet"}));
        return read_wav16((scratch / (std::string(name) + ".wav")).string());
    };
    auto part = [](const std::vector<int16_t>& s, double from, double length) {
        return std::vector<int16_t>(s.begin() + static_cast<long>(from * kRate),
                                    s.begin() + static_cast<long>((from + length) * kRate));
    };
    const std::vector<int16_t> rising = decoded("rising"), falling = decoded("falling");
    {
        SinkRecording sink;
        ASSERT_GT(program.start({(elsewhere / "rising.vkd").string()}), 0);
        ASSERT_NE(program.main_window(), 0u);
        layout::pause_s(3.0);
        program.shot("opened_from_command_line");
        const auto m = find_signal(sink.stop(), part(rising, 1.5, 0.5));
        EXPECT_GT(m.correlation, 0.95) << "the file named at start did not play";
    }
    program.click(layout::kStop);
    {
        SinkRecording sink;
        Program second;
        second.environment["XDG_RUNTIME_DIR"] = program.folders().runtime.string();
        ASSERT_GT(second.start({(elsewhere / "falling.vkd").string()}), 0);
        EXPECT_EQ(second.wait_exit(10s), 0);
        layout::pause_s(3.0);
        const auto m = find_signal(sink.stop(), part(falling, 1.5, 0.5));
        EXPECT_GT(m.correlation, 0.95) << "the file handed over by a second start did not play";
    }
    program.click(layout::kStop);
    EXPECT_TRUE(program.running());
}

TEST_F(ProgramCase, ARecorderPluggedInIsInTheDriveSelectorAndItsRemovalReturnsTheListToTheDataFolder) {
    // As an automounter lays it out: /media/<user>/<label>. The user's folder
    // is a tmpfs of its own here, so that pulling it out (a detaching
    // unmount) takes the recorder and its folder away in one step.
    const fs::path user = "/media/e2e-user-" + std::to_string(::getpid());
    const fs::path media = user / "MURREL-E2E";
    std::error_code ec;
    fs::create_directories(user, ec);
    if (ec || ::mount("tmpfs", user.c_str(), "tmpfs", 0, "size=1m") != 0) {
        const int e = errno;
        fs::remove(user, ec);
        GTEST_SKIP() << "cannot mount a stand-in recorder here: " << std::strerror(e);
    }
    ::umount2(user.c_str(), MNT_DETACH);  // plugged in only once the program runs
    struct Unmount {
        fs::path at;
        ~Unmount() {
            ::umount2(at.c_str(), MNT_DETACH);
            std::error_code ec;
            fs::remove(at, ec);
        }
    } unmount{user};
    auto plug_in = [&] {
        if (::mount("tmpfs", user.c_str(), "tmpfs", 0, "size=1m") != 0) return false;
        fs::create_directories(media);
        return ::mount("tmpfs", media.c_str(), "tmpfs", 0, "size=8m") == 0;
    };

    const std::vector<int16_t> at_home = glide(300, 900, 3.0), on_recorder = glide(1200, 500, 3.0);
    voice_file(program.folders().data(), "home", at_home);
    start();
    ASSERT_TRUE(plug_in());
    voice_file(media, "dictation", on_recorder);
    layout::pause_s(1.0);

    program.click(layout::kDriveSelector);
    layout::pause_s(0.5);
    program.shot("drive_selector");
    program.type("MURREL-E2E");
    program.key("Return");
    layout::pause_s(0.8);
    program.shot("recorder_listed");
    const std::vector<int16_t> heard = layout::hear_row(program, 0, 1.5);
    EXPECT_GT(find_signal(heard, {on_recorder.begin() + 4000, on_recorder.begin() + 12000}).correlation, 0.9)
        << "the recorder's dictation was not what played";

    ASSERT_EQ(::umount2(user.c_str(), MNT_DETACH), 0);
    layout::pause_s(1.0);
    program.shot("recorder_removed");
    const std::vector<int16_t> again = layout::hear_row(program, 0, 1.5);
    EXPECT_GT(find_signal(again, {at_home.begin() + 4000, at_home.begin() + 12000}).correlation, 0.9)
        << "after the removal the list is not back at the data folder";
}

}  // namespace
