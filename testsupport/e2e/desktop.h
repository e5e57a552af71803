#pragma once
// The end-to-end harness: the real program, started from a scratch copy of
// build/bin with its INI file beside it, on a private X server (Xvfb with a
// small window manager), driven through the X server as a person drives it
// (pointer and keys, by xdotool), and judged by what a person perceives: the
// screen, the files, the sound at the test sound server's sink.
//
// Threads: everything here is for the test's thread. The test process is a
// Qt GUI client of the same X server (see e2e_main.cpp), so that it can read
// the screen.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QImage>
#include <QPoint>
#include <QRect>

namespace murrel::e2e {

using namespace std::chrono_literals;

// Xvfb plus openbox, started once per test process before Qt connects.
class Desktop {
public:
    // False (with the reason in `error`) when the X server did not come up.
    static bool start(int width, int height, std::string& error);
    static void stop();
    // ":N" of the running server; "" before start.
    static std::string display();
    // The whole screen as it is now.
    static QImage grab();
};

// Runs `args` (found on PATH) with the test's environment plus DISPLAY and
// returns its standard output; `status` gets the exit status (-1 when it
// could not run).
std::string run_command(const std::vector<std::string>& args, int* status = nullptr);

struct ProgramFolders {
    std::filesystem::path root;  // scratch root, removed with the Program
    std::filesystem::path bin;   // the copy of build/bin: program, library, INI files
    std::filesystem::path home;
    std::filesystem::path runtime;
    std::filesystem::path data() const { return bin / "voicedata"; }
    std::filesystem::path temp() const { return bin / "tempdata"; }
};

class Program {
public:
    // Copies build/bin into a fresh scratch folder; nothing runs yet.
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    const ProgramFolders& folders() const { return folders_; }
    // Extra environment for the next start (e.g. MURREL_AUDIO).
    std::map<std::string, std::string> environment;

    // Starts build/bin/murrelphonic's copy; the process id, or -1.
    pid_t start(const std::vector<std::string>& args = {});
    bool running();
    // Waits for the process started last to end; its exit code, or -1 on a
    // timeout or a signal.
    int wait_exit(std::chrono::milliseconds timeout);
    // Asks the program to close as the window manager's close does; kills it
    // when it does not end in time.
    void close();

    // The visible top-level window whose name matches the regular expression
    // `name`, waiting for it.
    std::optional<unsigned long> find_window(const std::string& name, std::chrono::milliseconds timeout = 15s);
    // A visible window of the program other than the main window (a dialog
    // without a title bar), waiting for it.
    std::optional<unsigned long> find_dialog(std::chrono::milliseconds timeout = 5s);
    // The main window, once shown and painted; 0 when it never appeared.
    unsigned long main_window();
    QRect geometry(unsigned long window);
    // The window that has the keyboard focus.
    unsigned long focused_window();

    // Pointer and keys. Points are relative to the main window unless a
    // window is given. `key` takes xdotool key names ("Return", "ctrl+a").
    void click(QPoint at, int button = 1, unsigned long window = 0);
    void double_click(QPoint at, unsigned long window = 0);
    void move_to(QPoint at, unsigned long window = 0);
    void key(const std::string& keys);
    void type(const std::string& text);
    // Presses at `from`, moves to `to` in steps, releases.
    void drag(QPoint from, QPoint to, unsigned long window = 0);

    // The main window as shown on the screen; saved as
    // build/screenshots/e2e_<name>.png when `name` is given.
    QImage shot(const std::string& name = {}, unsigned long window = 0);

private:
    ProgramFolders folders_;
    pid_t pid_ = -1;
    unsigned long main_ = 0;
};

// Writes `image` as build/screenshots/<name>.png; the path.
std::string keep_screenshot(const QImage& image, const std::string& name);

// Waits up to `timeout` for `done`, checking every 20 ms.
template <class F>
bool wait_until(F done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        struct timespec ts{0, 20'000'000};
        nanosleep(&ts, nullptr);
    }
    return true;
}

// Records the test sound server's sink (its monitor) as 16 kHz mono 16-bit
// while it lives; holds the server's test lock so that no other sound test
// plays into the sink meanwhile.
class SinkRecording {
public:
    SinkRecording();
    ~SinkRecording();
    SinkRecording(const SinkRecording&) = delete;
    SinkRecording& operator=(const SinkRecording&) = delete;
    bool ok() const { return pid_ > 0; }
    // Stops recording; everything heard.
    std::vector<int16_t> stop();

private:
    std::filesystem::path file_;
    pid_t pid_ = -1;
};

// The test sound server's address, or "" with the reason in `why` when it
// cannot be reached.
std::string sound_server(std::string& why);
// Plays a WAV file into the sink (paplay); waits for it when `wait`.
pid_t play_into_sink(const std::string& wav, bool wait);

// Builds: a 16-bit PCM WAV of `samples`; the voice file of a WAV in the given
// mode through the command-line tool; the tool's decoding of a voice file.
void write_wav16(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels);
std::vector<int16_t> read_wav16(const std::string& path, int* rate = nullptr, int* channels = nullptr);
bool cli(const std::vector<std::string>& args, std::string* output = nullptr);

}  // namespace murrel::e2e
