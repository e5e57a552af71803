#include "testsupport/e2e/desktop.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

extern char** environ;

namespace fs = std::filesystem;

namespace murrel::e2e {

namespace {

std::string g_display;
pid_t g_xvfb = -1;
pid_t g_wm = -1;

void pause_ms(int ms) {
    struct timespec ts{ms / 1000, (ms % 1000) * 1'000'000L};
    nanosleep(&ts, nullptr);
}

std::string bin_dir() {
    const char* dir = std::getenv("MURREL_BIN_DIR");
    return dir ? dir : MURREL_BIN_DIR;
}

// The environment of this process with `extra` laid over it.
std::vector<std::string> environment_with(const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
    }
    for (const auto& [k, v] : extra) env[k] = v;
    std::vector<std::string> out;
    for (const auto& [k, v] : env) out.push_back(k + "=" + v);
    return out;
}

// Spawns `args` with `env`; standard output into `out_fd` (or /dev/null).
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int out_fd = -1,
            bool quiet_errors = false) {
    std::vector<char*> argv, envp;
    std::vector<std::string> a = args, e = env;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : e) envp.push_back(s.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (quiet_errors) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::map<std::string, std::string> display_env() {
    return {{"DISPLAY", g_display}};
}

void end_process(pid_t& pid, int signal_number = SIGTERM) {
    if (pid <= 0) return;
    ::kill(pid, signal_number);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        pause_ms(20);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

fs::path fresh_root() {
    std::random_device rd;
    fs::path base = fs::temp_directory_path() / ("murrel-e2e-" + std::to_string(::getpid()) + "-" +
                                                 std::to_string(rd() % 1000000));
    fs::create_directories(base);
    return base;
}

unsigned long parse_id(const std::string& text) {
    std::istringstream in(text);
    unsigned long id = 0;
    in >> id;
    return id;
}

}  // namespace

bool Desktop::start(int width, int height, std::string& error) {
    int fds[2];
    if (::pipe(fds) != 0) {
        error = "pipe failed";
        return false;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    // -displayfd: the server picks a free display and writes its number.
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                                     "-nolisten", "tcp", "-noreset"};
    g_xvfb = spawn(args, environment_with({}), -1, true);
    ::close(fds[1]);
    if (g_xvfb <= 0) {
        ::close(fds[0]);
        error = "Xvfb could not be started (package xvfb)";
        return false;
    }
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) {
        error = "Xvfb did not report a display";
        return false;
    }
    g_display = ":" + number;
    ::setenv("DISPLAY", g_display.c_str(), 1);
    // A window manager, so that focus, moves and dialogs behave as on a desktop.
    g_wm = spawn({"openbox", "--sm-disable"}, environment_with(display_env()), -1, true);
    if (g_wm <= 0) {
        error = "openbox could not be started (package openbox)";
        return false;
    }
    // openbox is ready once it has announced itself on the root window.
    wait_until([] { return run_command({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
                           std::string::npos; },
               5s);
    pause_ms(300);
    return true;
}

void Desktop::stop() {
    end_process(g_wm);
    end_process(g_xvfb);
    g_display.clear();
}

std::string Desktop::display() { return g_display; }

QImage Desktop::grab() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    return screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

std::string run_command(const std::vector<std::string>& args, int* status) {
    int fds[2];
    if (::pipe(fds) != 0) {
        if (status) *status = -1;
        return {};
    }
    pid_t pid = spawn(args, environment_with(g_display.empty() ? std::map<std::string, std::string>{} : display_env()),
                      fds[1], true);
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int st = -1;
    if (pid > 0) {
        ::waitpid(pid, &st, 0);
        st = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    if (status) *status = st;
    return out;
}

// ------------------------------------------------------------------ Program

Program::Program() {
    folders_.root = fresh_root();
    folders_.bin = folders_.root / "bin";
    folders_.home = folders_.root / "home";
    folders_.runtime = folders_.root / "runtime";
    fs::create_directories(folders_.bin);
    fs::create_directories(folders_.home);
    fs::create_directories(folders_.runtime);
    fs::permissions(folders_.runtime, fs::perms::owner_all, fs::perm_options::replace);
    // What a build leaves in build/bin and the program reads beside itself;
    // not the folders an earlier run made there.
    for (const auto& e : fs::directory_iterator(bin_dir())) {
        const std::string name = e.path().filename().string();
        if (name == "voicedata" || name == "tempdata") continue;
        fs::copy(e.path(), folders_.bin / name, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    fs::create_directories(folders_.data());
}

Program::~Program() {
    close();
    std::error_code ec;
    fs::remove_all(folders_.root, ec);
}

pid_t Program::start(const std::vector<std::string>& args) {
    std::map<std::string, std::string> env = display_env();
    env["HOME"] = folders_.home.string();
    env["XDG_RUNTIME_DIR"] = folders_.runtime.string();
    env["XDG_CONFIG_HOME"] = (folders_.home / ".config").string();
    env["XDG_DATA_HOME"] = (folders_.home / ".local/share").string();
    env["XDG_CACHE_HOME"] = (folders_.home / ".cache").string();
    env["QT_QPA_PLATFORM"] = "xcb";
    std::string why;
    const std::string server = sound_server(why);
    if (!server.empty()) env["PULSE_SERVER"] = server;
    for (const auto& [k, v] : environment) env[k] = v;
    std::vector<std::string> argv = {(folders_.bin / "murrelphonic").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    // The program's own messages stay visible in the test's output.
    pid_ = spawn(argv, environment_with(env), 2);
    main_ = 0;
    return pid_;
}

bool Program::running() {
    if (pid_ <= 0) return false;
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int Program::wait_exit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    int code = -1;
    const bool ended = wait_until(
        [&] {
            int st = 0;
            if (::waitpid(pid_, &st, WNOHANG) != pid_) return false;
            code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            return true;
        },
        timeout);
    if (ended) pid_ = -1;
    return ended ? code : -1;
}

void Program::close() {
    if (pid_ <= 0) return;
    if (main_) run_command({"xdotool", "windowclose", std::to_string(main_)});
    if (wait_exit(5s) < 0) end_process(pid_);
}

std::optional<unsigned long> Program::find_dialog(std::chrono::milliseconds timeout) {
    const unsigned long main = main_window();
    std::optional<unsigned long> found;
    wait_until(
        [&] {
            std::istringstream out(run_command({"xdotool", "search", "--onlyvisible", "--class", "murrelphonic"}));
            for (unsigned long id; out >> id;)
                if (id != main && geometry(id).width() > 100) found = id;
            return found.has_value();
        },
        timeout);
    return found;
}

std::optional<unsigned long> Program::find_window(const std::string& name, std::chrono::milliseconds timeout) {
    std::optional<unsigned long> found;
    wait_until(
        [&] {
            const std::string out = run_command({"xdotool", "search", "--onlyvisible", "--name", name});
            if (unsigned long id = parse_id(out)) found = id;
            return found.has_value();
        },
        timeout);
    return found;
}

unsigned long Program::main_window() {
    if (main_) return main_;
    if (auto id = find_window("^Murrelphonic$", 20s)) {
        main_ = *id;
        pause_ms(400);  // its first paint
    }
    return main_;
}

QRect Program::geometry(unsigned long window) {
    const std::string out = run_command({"xdotool", "getwindowgeometry", "--shell", std::to_string(window)});
    std::map<std::string, int> v;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) v[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    }
    QRect g(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]);
    // xdotool adds the window manager's frame offset to a framed window's
    // position a second time (a dialog's shot came out a title bar too low);
    // xwininfo's absolute corner is the client area's own.
    const std::string info = run_command({"xwininfo", "-id", std::to_string(window)});
    auto field = [&](const std::string& key) -> std::optional<int> {
        const auto at = info.find(key);
        if (at == std::string::npos) return std::nullopt;
        return std::atoi(info.c_str() + at + key.size());
    };
    const auto x = field("Absolute upper-left X:"), y = field("Absolute upper-left Y:");
    if (x && y) g.moveTopLeft({*x, *y});
    return g;
}

unsigned long Program::focused_window() { return parse_id(run_command({"xdotool", "getwindowfocus"})); }

void Program::move_to(QPoint at, unsigned long window) {
    const QRect g = geometry(window ? window : main_window());
    run_command({"xdotool", "mousemove", std::to_string(g.x() + at.x()), std::to_string(g.y() + at.y())});
}

void Program::click(QPoint at, int button, unsigned long window) {
    move_to(at, window);
    pause_ms(60);
    run_command({"xdotool", "click", std::to_string(button)});
    pause_ms(120);
}

void Program::double_click(QPoint at, unsigned long window) {
    move_to(at, window);
    pause_ms(60);
    run_command({"xdotool", "click", "--repeat", "2", "--delay", "80", "1"});
    pause_ms(150);
}

void Program::key(const std::string& keys) {
    run_command({"xdotool", "key", "--delay", "40", keys});
    pause_ms(120);
}

void Program::type(const std::string& text) {
    run_command({"xdotool", "type", "--delay", "30", text});
    pause_ms(120);
}

void Program::drag(QPoint from, QPoint to, unsigned long window) {
    move_to(from, window);
    pause_ms(60);
    run_command({"xdotool", "mousedown", "1"});
    for (int i = 1; i <= 8; ++i) {
        move_to(from + (to - from) * i / 8, window);
        pause_ms(25);
    }
    run_command({"xdotool", "mouseup", "1"});
    pause_ms(150);
}

QImage Program::shot(const std::string& name, unsigned long window) {
    const QRect g = geometry(window ? window : main_window());
    QImage image = Desktop::grab().copy(g);
    if (!name.empty()) keep_screenshot(image, "e2e_" + name);
    return image;
}

std::string keep_screenshot(const QImage& image, const std::string& name) {
    const fs::path dir = fs::path(bin_dir()) / ".." / "screenshots";
    fs::create_directories(dir);
    const std::string path = (dir / (name + ".png")).string();
    image.save(QString::fromStdString(path), "PNG");
    return path;
}

// ------------------------------------------------------------------ sound

std::string sound_server(std::string& why) {
    const char* dir = std::getenv("MURREL_SOUND_DIR");
    std::ifstream f(std::string(dir ? dir : "/tmp/murrel-sound") + "/server");
    std::string address;
    std::getline(f, address);
    if (address.empty()) {
        why = "no test sound server (scripts/soundserver start)";
        return {};
    }
    int status = -1;
    run_command({"pactl", "-s", address, "info"}, &status);
    if (status != 0) {
        why = "the test sound server does not answer at " + address;
        return {};
    }
    return address;
}

namespace {
int g_sound_lock = -1;
int g_sound_lock_users = 0;

void take_sound_lock() {
    if (g_sound_lock_users++ > 0) return;
    const char* dir = std::getenv("MURREL_SOUND_DIR");
    // Close-on-exec: a program started while the lock is held would
    // otherwise keep it after we release it, and the next recording waits
    // for that program's exit.
    g_sound_lock = ::open((std::string(dir ? dir : "/tmp/murrel-sound") + "/test.lock").c_str(),
                          O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (g_sound_lock >= 0) ::flock(g_sound_lock, LOCK_EX);
}

void release_sound_lock() {
    if (--g_sound_lock_users > 0) return;
    if (g_sound_lock >= 0) ::close(g_sound_lock);
    g_sound_lock = -1;
}
}  // namespace

SinkRecording::SinkRecording() {
    std::string why;
    const std::string server = sound_server(why);
    if (server.empty()) return;
    take_sound_lock();
    file_ = fresh_root() / "heard.raw";
    pid_ = spawn({"parec", "-s", server, "-d", "murrel_sink.monitor", "--rate=16000", "--channels=1",
                  "--format=s16le", "--latency-msec=20", "--file-format=raw", file_.string()},
                 environment_with({}));
    pause_ms(300);  // the stream is connected before anything plays
}

SinkRecording::~SinkRecording() {
    stop();
    std::error_code ec;
    if (!file_.empty()) fs::remove_all(file_.parent_path(), ec);
}

std::vector<int16_t> SinkRecording::stop() {
    std::vector<int16_t> heard;
    if (pid_ <= 0) return heard;
    pause_ms(200);
    ::kill(pid_, SIGINT);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    release_sound_lock();
    std::ifstream f(file_, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    heard.resize(bytes.size() / 2);
    std::memcpy(heard.data(), bytes.data(), heard.size() * 2);
    return heard;
}

pid_t play_into_sink(const std::string& wav, bool wait) {
    std::string why;
    const std::string server = sound_server(why);
    if (server.empty()) return -1;
    pid_t pid = spawn({"paplay", "-s", server, "-d", "murrel_sink", wav}, environment_with({}));
    if (wait && pid > 0) {
        ::waitpid(pid, nullptr, 0);
        return 0;
    }
    return pid;
}

// ------------------------------------------------------------------ files

void write_wav16(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels) {
    auto le32 = [](std::ofstream& f, uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [](std::ofstream& f, uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    std::ofstream f(path, std::ios::binary);
    f.write("RIFF", 4);
    le32(f, 36 + data);
    f.write("WAVEfmt ", 8);
    le32(f, 16);
    le16(f, 1);
    le16(f, static_cast<uint16_t>(channels));
    le32(f, static_cast<uint32_t>(rate));
    le32(f, static_cast<uint32_t>(rate * channels * 2));
    le16(f, static_cast<uint16_t>(channels * 2));
    le16(f, 16);
    f.write("data", 4);
    le32(f, data);
    f.write(reinterpret_cast<const char*>(samples.data()), data);
}

std::vector<int16_t> read_wav16(const std::string& path, int* rate, int* channels) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> b{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    std::vector<int16_t> out;
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    };
    auto u16 = [&](size_t at) {
        uint16_t v;
        std::memcpy(&v, b.data() + at, 2);
        return v;
    };
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = u32(at + 4);
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && at + 24 <= b.size()) {
            if (channels) *channels = u16(at + 10);
            if (rate) *rate = static_cast<int>(u32(at + 12));
        }
        if (std::memcmp(b.data() + at, "data", 4) == 0) {
            const size_t n = std::min<size_t>(size, b.size() - at - 8) / 2;
            out.resize(n);
            std::memcpy(out.data(), b.data() + at + 8, n * 2);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}

bool cli(const std::vector<std::string>& args, std::string* output) {
    std::vector<std::string> argv = {bin_dir() + "/murrelphonic-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    int status = -1;
    std::string out = run_command(argv, &status);
    if (output) *output = out;
    return status == 0;
}

}  // namespace murrel::e2e
