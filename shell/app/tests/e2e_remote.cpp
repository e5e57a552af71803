// The desktop's controls of the real program: the media-player service on
// a private session bus driven by gdbus and playerctl as the desktop's
// media keys drive it, heard at the test sound server's sink; and a foot
// pedal made with uinput, pressed while another program's window has the
// keyboard, through the kernel's real input path.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/uinput.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"
#include "testsupport/signal_match.h"
#include "testsupport/test_signals.h"

using namespace murrel::e2e;
using murrel::testsupport::find_signal;
using murrel::testsupport::rms;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 16000;
constexpr double kSeconds = 6.0;
constexpr const char* kName = "org.mpris.MediaPlayer2.murrelphonic";

// A glide, so that any half second of it is found at one place only.
std::vector<int16_t> glide() { return murrel::testsupport::glide(300, 1500, kSeconds, kRate, 9000, true); }

using murrel::testsupport::part;

class DesktopControls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new fs::path(fs::temp_directory_path() / ("murrel-e2e-remote-" + std::to_string(::getpid())));
        fs::create_directories(*scratch_ / "ref");
        const std::string wav = (*scratch_ / "dictation.wav").string();
        write_wav16(wav, glide(), kRate, 1);
        ASSERT_TRUE(cli({"encode", wav, "--mode", "sp", "-o", scratch_->string(), "--quiet"}));
        fs::remove(wav);
        ASSERT_TRUE(cli({"decode", (*scratch_ / "dictation.vkd").string(), "-o", (*scratch_ / "ref").string(),
                         "--quiet"}));
        decoded_ = new std::vector<int16_t>(read_wav16((*scratch_ / "ref/dictation.wav").string()));
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*scratch_, ec);
        delete scratch_;
        delete decoded_;
    }

    void SetUp() override {
        std::string why;
        if (sound_server(why).empty()) {
            if (std::getenv("CI")) FAIL() << why;
            GTEST_SKIP() << why;
        }
        const fs::path bus_file = program.folders().root / "bus.txt";
        const std::string start = "dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 >" +
                                  bus_file.string() + " 2>/dev/null";
        ASSERT_EQ(std::system(start.c_str()), 0) << "no dbus-daemon";
        std::ifstream in(bus_file);
        std::getline(in, address_);
        in >> bus_pid_;
        ASSERT_FALSE(address_.empty());
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        program.environment["DBUS_SESSION_BUS_ADDRESS"] = address_;
        // The time display is read as a screen reader reads it.
        run_command({"gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus",
                     "--method", "org.freedesktop.DBus.Properties.Set", "org.a11y.Status", "IsEnabled", "<true>"});
        fs::copy_file(*scratch_ / "dictation.vkd", program.folders().data() / "dictation.vkd");
    }
    void TearDown() override {
        program.close();
        for (pid_t p : others_) {
            ::kill(p, SIGTERM);
            ::waitpid(p, nullptr, 0);
        }
        if (bus_pid_ > 0) ::kill(bus_pid_, SIGTERM);
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    void start() {
        ASSERT_GT(program.start(), 0);
        ASSERT_NE(program.main_window(), 0u) << "the main window never appeared";
        ASSERT_TRUE(wait_until([&] { return bus_has_player(); }, 10s)) << "the program never took " << kName;
    }
    bool bus_has_player() {
        return gdbus({"--dest", "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus", "--method",
                      "org.freedesktop.DBus.NameHasOwner", kName}) == "(true,)";
    }
    std::string gdbus(std::vector<std::string> args) {
        args.insert(args.begin(), {"gdbus", "call", "--session"});
        std::string out = run_command(args);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }
    std::string player(const std::string& method, std::vector<std::string> args = {}) {
        std::vector<std::string> a{"--dest", kName, "--object-path", "/org/mpris/MediaPlayer2", "--method",
                                   "org.mpris.MediaPlayer2.Player." + method};
        a.insert(a.end(), args.begin(), args.end());
        return gdbus(a);
    }
    // The player's position in microseconds, as the desktop reads it.
    long long position_us() {
        const std::string out = gdbus({"--dest", kName, "--object-path", "/org/mpris/MediaPlayer2", "--method",
                                       "org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Player",
                                       "Position"});
        std::smatch m;
        if (!std::regex_search(out, m, std::regex("int64 (-?[0-9]+)"))) return -1;
        return std::stoll(m[1].str());
    }
    // The elapsed-time display's reading ("00:00:04"), or "" when not found.
    std::string elapsed() {
        const std::string walker = std::string(MURREL_SOURCE_DIR) + "/shell/app/tests/a11y_walk.py";
        std::istringstream lines(run_command({"/usr/bin/python3", walker, "Murrelphonic"}));
        for (std::string line; std::getline(lines, line);)
            if (line.find("\tlabel\tElapsed time\t") != std::string::npos) return line.substr(line.rfind('\t') + 1);
        return "";
    }
    std::string playerctl(std::vector<std::string> args) {
        args.insert(args.begin(), {"playerctl", "--player=murrelphonic"});
        std::string out = run_command(args);
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }
    pid_t start_other(std::vector<std::string> argv) {
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
        others_.push_back(pid);
        return pid;
    }

    static const std::vector<int16_t>& decoded() { return *decoded_; }

    Program program;
    std::string address_;
    pid_t bus_pid_ = -1;
    std::vector<pid_t> others_;

private:
    static fs::path* scratch_;
    static std::vector<int16_t>* decoded_;
};

fs::path* DesktopControls::scratch_ = nullptr;
std::vector<int16_t>* DesktopControls::decoded_ = nullptr;

TEST_F(DesktopControls, MediaKeysOnTheSessionBusPlayPauseSeekAndReadTheFilesPositionAndMetadata) {
    // The place sought to itself, without the rewind on resume that typing
    // along wants (the player's own tests hold that rewind).
    {
        std::ofstream ini(program.folders().bin / "Murrelphonic.ini", std::ios::app);
        ini << "\n[Playback]\nRewindMs=0\n";
    }
    start();
    program.click(layout::list_row(0));
    SinkRecording sink;
    ASSERT_TRUE(sink.ok());
    EXPECT_EQ(playerctl({"status"}), "Stopped");
    player("Play");
    layout::pause_s(1.5);
    EXPECT_EQ(playerctl({"status"}), "Playing");
    EXPECT_EQ(playerctl({"metadata", "xesam:title"}), "dictation");
    const std::string length = playerctl({"metadata", "mpris:length"});
    EXPECT_NEAR(std::atof(length.c_str()) / 1e6, kSeconds, 0.3) << length;
    program.shot("mpris_playing");

    player("Pause");
    layout::pause_s(0.3);
    EXPECT_EQ(playerctl({"status"}), "Paused");
    const long long paused_at = position_us();
    ASSERT_GT(paused_at, 1'000'000);
    layout::pause_s(1.0);
    EXPECT_EQ(position_us(), paused_at) << "the position ran on while paused";
    player("Seek", {"2000000"});
    const long long sought = position_us();
    // The desktop reads the place heard, so a seek moves it by just that.
    EXPECT_NEAR(double(sought - paused_at), 2e6, 0.1e6) << "the seek did not move by two seconds";
    // The time display shows the same place: the second sought to.
    char shown[32];
    std::snprintf(shown, sizeof shown, "00:00:%02lld", sought / 1'000'000);
    EXPECT_TRUE(wait_until([&] { return elapsed() == shown; }, 3s))
        << "the time display shows " << elapsed() << ", not " << shown;
    player("PlayPause");
    layout::pause_s(2.0);
    player("Stop");
    layout::pause_s(0.3);
    EXPECT_EQ(playerctl({"status"}), "Stopped");
    const std::vector<int16_t> heard = sink.stop();

    const auto start_of_file = find_signal(heard, part(decoded(), 0.3, 0.5));
    EXPECT_GT(start_of_file.correlation, 0.95) << "Play from the bus was not heard";
    // After the seek the sink hears the file from about two seconds further.
    // The voice file's position counts its header (as its time display
    // does): what is heard starts a quarter second before it, and its first
    // frames lack the bit reservoir a continuous decoding had.
    const double resumed_s = double(sought) / 1e6;
    const auto after_seek = find_signal(heard, part(decoded(), resumed_s + 0.1, 0.5));
    EXPECT_GT(after_seek.correlation, 0.9) << "the place sought to was not heard";
    EXPECT_GT(after_seek.lag, start_of_file.lag);
}

TEST_F(DesktopControls, ThePedalSettingsOpenFromTheMainWindowsKeyboardAndEscapeClosesThem) {
    start();
    program.key("ctrl+shift+p");
    const auto dialog = program.find_window("^Foot pedal$", 5s);
    ASSERT_TRUE(dialog) << "Ctrl+Shift+P opened no pedal settings";
    layout::pause_s(0.4);
    const QImage shot = program.shot("pedal_settings", *dialog);
    EXPECT_GT(shot.width(), 300);
    program.key("Escape");
    EXPECT_TRUE(wait_until([&] { return !program.find_window("^Foot pedal$", 200ms); }, 3s))
        << "Escape left the pedal settings open";
}

// A uinput device of three pedals, as the kernel shows a USB pedal.
class VirtualPedal {
public:
    bool create(std::string& why) {
        fd_ = ::open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            why = std::string("/dev/uinput: ") + std::strerror(errno) +
                  " (the kernel here has no uinput; the reader is tested with recorded event streams instead)";
            return false;
        }
        ::ioctl(fd_, UI_SET_EVBIT, EV_KEY);
        for (int code : {BTN_0, BTN_1, BTN_2}) ::ioctl(fd_, UI_SET_KEYBIT, code);
        uinput_setup setup{};
        setup.id.bustype = BUS_USB;
        setup.id.vendor = 0x1234;
        setup.id.product = 0x5678;
        std::strcpy(setup.name, "Test Foot Pedal");
        if (::ioctl(fd_, UI_DEV_SETUP, &setup) < 0 || ::ioctl(fd_, UI_DEV_CREATE) < 0) {
            why = std::string("uinput refused the device: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    ~VirtualPedal() {
        if (fd_ >= 0) {
            ::ioctl(fd_, UI_DEV_DESTROY);
            ::close(fd_);
        }
    }
    void key(int code, int value) {
        send(EV_KEY, code, value);
        send(EV_SYN, SYN_REPORT, 0);
    }

private:
    void send(int type, int code, int value) {
        input_event e{};
        e.type = static_cast<uint16_t>(type);
        e.code = static_cast<uint16_t>(code);
        e.value = value;
        (void)!::write(fd_, &e, sizeof e);
    }
    int fd_ = -1;
};

TEST_F(DesktopControls, AFootPedalPlaysWhileAnotherWindowHasTheKeyboardAndItsReleasePausesFurtherBack) {
    VirtualPedal pedal;
    std::string why;
    if (!pedal.create(why)) GTEST_SKIP() << why;
    start();
    program.click(layout::list_row(0));
    start_other({MURREL_OTHER_WINDOW, "target", (program.folders().root / "unused.txt").string()});
    const auto other = program.find_window("other window: target", 10s);
    ASSERT_TRUE(other) << "the other window never appeared";
    layout::pause_s(0.5);
    program.click(QPoint(100, 100), 1, *other);
    ASSERT_TRUE(wait_until([&] { return program.focused_window() != program.main_window(); }, 3s));
    // The reader finds the new node once its permissions are set.
    layout::pause_s(1.0);

    SinkRecording sink;
    ASSERT_TRUE(sink.ok());
    pedal.key(BTN_1, 1);  // the middle pedal of three plays
    layout::pause_s(2.5);
    EXPECT_EQ(playerctl({"status"}), "Playing");
    const long long before_release = position_us();
    pedal.key(BTN_1, 0);
    layout::pause_s(0.4);
    EXPECT_EQ(playerctl({"status"}), "Paused");
    const long long after_release = position_us();
    // Both readings run ahead of what is heard by the frames read ahead.
    EXPECT_NEAR(double(before_release - after_release), 1e6, 0.8e6) << "the release did not go back a second";
    char shown[32];
    std::snprintf(shown, sizeof shown, "00:00:%02lld", after_release / 1'000'000);
    EXPECT_TRUE(wait_until([&] { return elapsed() == shown; }, 3s))
        << "the time display shows " << elapsed() << ", not " << shown;
    program.shot("pedal_released");
    layout::pause_s(1.0);
    pedal.key(BTN_1, 1);
    layout::pause_s(1.5);
    pedal.key(BTN_1, 0);
    layout::pause_s(0.3);
    const std::vector<int16_t> heard = sink.stop();
    EXPECT_NE(program.focused_window(), program.main_window()) << "the pedal took the keyboard's focus";

    const auto first = find_signal(heard, part(decoded(), 0.3, 0.5));
    EXPECT_GT(first.correlation, 0.95) << "the pedal's press was not heard";
    // The stretch just before the release is heard twice: once before it, once
    // after playing on from a second further back.
    const double again_s = double(after_release) / 1e6 + 0.1;
    const auto replay = find_signal(std::vector<int16_t>(heard.begin() + static_cast<long>(first.lag) + 2 * kRate,
                                                         heard.end()),
                                    part(decoded(), again_s, 0.4));
    EXPECT_GT(replay.correlation, 0.9) << "playing on did not start a second back";
    // Between the release and the next press the sink is silent.
    const size_t pause_mid = first.lag + static_cast<size_t>(2.5 * kRate + 0.7 * kRate);
    EXPECT_LT(rms(heard, pause_mid, kRate / 4), 100.0) << "sound while the pedal was up";
}

}  // namespace
