// Cost of playing through the real sound backend, and how soon a seek is
// heard. A voice file (SP, made here with the encoder) and the same audio as
// a WAV file are played by the player strip exactly as the program plays
// them: the strip's devices on the backend chosen by MURREL_AUDIO (PortAudio
// by default), its posts run by an event loop like the program's, its 100 ms
// time display running. The process's CPU time (every thread, the sound
// library's included) over the measured span is the share of one core.
// Peer in the same run: the sound server's own player `paplay` playing the
// decoded WAV file at the same time as ours (the machine is shared, so both
// are measured over the same span), then alone; the command-line tool's
// `play` is measured too. The sound server's CPU is shown beside each: it is
// not ours, but it is what playing costs the machine.
//
// Seek latency: from the slider's release (trackbar_positionTrackEnd) until
// the first audio of the new place has been handed to the stream, plus the
// output latency the stream reports: when the user hears the new place.
//
// Usage: playcpu [--seconds N] [--seeks N] [--no-peers]   (defaults 60 and 20;
// --no-peers measures only this process)
// Needs a sound server (scripts/soundserver start; source <(scripts/soundserver env)).
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "audio/devices/device_stream.h"
#include "audio/devices/ui_dispatcher.h"
#include "bench/sp_stream.h"
#include "player/playerstrip.h"
#include "shell/appstate.h"
#include "voicefile/bytesource.h"
#include "voicefile/framereader.h"
#include "voicefile/koltheader.h"

using namespace murrel;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Stands in for the program's event loop: sleeps until work is posted or the
// strip's 100 ms timer is due.
class LoopDispatcher final : public UiDispatcher {
public:
    void post(std::function<void()> work) override {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
        }
        posted_.notify_one();
    }

    // Runs posts and `tick` every 100 ms until `done()` holds or `until` passes.
    bool run(Clock::time_point until, const std::function<void()>& tick,
             const std::function<bool()>& done = [] { return false; }) {
        auto next_tick = Clock::now() + std::chrono::milliseconds(100);
        for (;;) {
            for (;;) {
                std::function<void()> work;
                {
                    std::lock_guard lock(mutex_);
                    if (queue_.empty()) break;
                    work = std::move(queue_.front());
                    queue_.pop_front();
                }
                work();
            }
            if (done()) return true;
            auto now = Clock::now();
            if (now >= until) return false;
            if (now >= next_tick) {
                tick();
                next_tick += std::chrono::milliseconds(100);
                continue;
            }
            std::unique_lock lock(mutex_);
            posted_.wait_until(lock, std::min(next_tick, until), [&] { return !queue_.empty(); });
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

double ticks_to_s(long long t) { return static_cast<double>(t) / static_cast<double>(sysconf(_SC_CLK_TCK)); }

// utime + stime of a /proc stat file, in clock ticks; -1 when unreadable.
long long proc_ticks(const std::string& stat_path, std::string* comm = nullptr) {
    std::ifstream f(stat_path);
    std::string line;
    if (!std::getline(f, line)) return -1;
    size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return -1;
    if (comm) *comm = line.substr(open + 1, close - open - 1);
    std::vector<std::string> fields;
    size_t i = close + 2;
    while (i < line.size()) {
        size_t j = line.find(' ', i);
        if (j == std::string::npos) j = line.size();
        fields.push_back(line.substr(i, j - i));
        i = j + 1;
    }
    // fields[0] is the state (field 3); utime and stime are fields 14 and 15.
    if (fields.size() < 13) return -1;
    return std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str());
}

struct Snapshot {
    Clock::time_point at;
    rusage self{};
    std::map<std::string, long long> threads;  // "tid name" -> ticks
    long long server = -1;
};

pid_t server_pid() {
    const char* dir = std::getenv("MURREL_SOUND_DIR");
    std::ifstream f(std::string(dir ? dir : "/tmp/murrel-sound") + "/runtime/pid");
    pid_t p = 0;
    return (f >> p) ? p : 0;
}

Snapshot snapshot() {
    Snapshot s;
    s.at = Clock::now();
    getrusage(RUSAGE_SELF, &s.self);
    for (const auto& e : fs::directory_iterator("/proc/self/task")) {
        std::string comm;
        long long t = proc_ticks(e.path().string() + "/stat", &comm);
        if (t >= 0) s.threads[e.path().filename().string() + " " + comm] = t;
    }
    if (pid_t p = server_pid()) s.server = proc_ticks("/proc/" + std::to_string(p) + "/stat");
    return s;
}

double tv_s(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

struct Share {
    double cpu_percent = 0, user_s = 0, sys_s = 0, switches_per_s = 0, server_percent = -1;
};

Share report_self(const char* what, const Snapshot& a, const Snapshot& b) {
    double wall = std::chrono::duration<double>(b.at - a.at).count();
    Share r;
    r.user_s = tv_s(b.self.ru_utime) - tv_s(a.self.ru_utime);
    r.sys_s = tv_s(b.self.ru_stime) - tv_s(a.self.ru_stime);
    r.cpu_percent = (r.user_s + r.sys_s) / wall * 100;
    r.switches_per_s = static_cast<double>((b.self.ru_nvcsw - a.self.ru_nvcsw) +
                                           (b.self.ru_nivcsw - a.self.ru_nivcsw)) / wall;
    std::printf("%s: %.3f s CPU in %.1f s = %.2f%% of one core (user %.3f s, system %.3f s), "
                "%.0f context switches/s\n",
                what, r.user_s + r.sys_s, wall, r.cpu_percent, r.user_s, r.sys_s, r.switches_per_s);
    for (const auto& [name, ticks] : b.threads) {
        auto it = a.threads.find(name);
        long long d = ticks - (it == a.threads.end() ? 0 : it->second);
        std::printf("    thread %-28s %.2f%%\n", name.c_str(), ticks_to_s(d) / wall * 100);
    }
    if (a.server >= 0 && b.server >= 0) {
        r.server_percent = ticks_to_s(b.server - a.server) / wall * 100;
        std::printf("    sound server meanwhile (not ours): %.2f%%\n", r.server_percent);
    }
    return r;
}

// A child process with standard output and error on /dev/null.
struct Child {
    explicit Child(std::vector<std::string> argv) {
        pid = fork();
        if (pid != 0) return;
        int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ~Child() { stop(); }
    long long ticks() const { return pid > 0 ? proc_ticks("/proc/" + std::to_string(pid) + "/stat") : -1; }
    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
    }
    pid_t pid = -1;
};

// The child's share of one core between two tick readings `wall` apart.
double child_share(const char* what, long long t0, long long t1, double wall) {
    if (t0 < 0 || t1 < 0) {
        std::printf("%s: could not be run\n", what);
        return -1;
    }
    double share = ticks_to_s(t1 - t0) / wall * 100;
    std::printf("%s: %.2f%% of one core over the same %.1f s\n", what, share, wall);
    return share;
}

// Runs `argv` alone for `seconds` after a `settle` start, then interrupts it.
double measure_child(const char* what, std::vector<std::string> argv, double settle, double seconds) {
    Child child(std::move(argv));
    usleep(static_cast<useconds_t>(settle * 1e6));
    pid_t srv = server_pid();
    std::string srv_stat = "/proc/" + std::to_string(srv) + "/stat";
    long long t0 = child.ticks(), s0 = srv ? proc_ticks(srv_stat) : -1;
    auto w0 = Clock::now();
    usleep(static_cast<useconds_t>(seconds * 1e6));
    long long t1 = child.ticks(), s1 = srv ? proc_ticks(srv_stat) : -1;
    double wall = std::chrono::duration<double>(Clock::now() - w0).count();
    double share = child_share(what, t0, t1, wall);
    if (share >= 0 && s0 >= 0 && s1 >= 0)
        std::printf("    sound server meanwhile (not its): %.2f%%\n", ticks_to_s(s1 - s0) / wall * 100);
    return share;
}

std::vector<int16_t> decode(const std::vector<uint8_t>& stream) {
    FrameReader reader;
    reader.reset();
    MemorySource source(stream);
    std::vector<int16_t> pcm;
    int channels = 1;
    for (bool first = true; !reader.at_end(); first = false) {
        int n = reader.decode_next_frame(source, first, channels);
        pcm.insert(pcm.end(), reader.state.pcm_out, reader.state.pcm_out + std::max(n, 0));
    }
    return pcm;
}

void write_wav(const std::string& path, const std::vector<int16_t>& pcm, uint32_t rate) {
    auto le32 = [](std::ofstream& f, uint32_t v) {
        for (int i = 0; i < 4; ++i) f.put(static_cast<char>(v >> (8 * i)));
    };
    auto le16 = [](std::ofstream& f, uint16_t v) {
        f.put(static_cast<char>(v));
        f.put(static_cast<char>(v >> 8));
    };
    uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
    std::ofstream f(path, std::ios::binary);
    f.write("RIFF", 4);
    le32(f, 36 + bytes);
    f.write("WAVEfmt ", 8);
    le32(f, 16);
    le16(f, 1);
    le16(f, 1);
    le32(f, rate);
    le32(f, rate * 2);
    le16(f, 2);
    le16(f, 16);
    f.write("data", 4);
    le32(f, bytes);
    f.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct SeekFigures {
    std::vector<double> heard_ms;  // release → handed + output latency
    std::vector<double> call_ms;   // time the release handler kept the user-interface thread
    double latency_ms = 0;
    int missed = 0;
};

SeekFigures measure_seeks(PlayerStrip& strip, LoopDispatcher& loop, TMMWaveOut& device, int seeks,
                          const std::function<void()>& tick) {
    SeekFigures f;
    auto* backend = dynamic_cast<StreamBackend*>(&audio_backend());
    for (int i = 0; i < seeks; ++i) {
        loop.run(Clock::now() + std::chrono::milliseconds(600), tick);
        OutputStream* stream = backend ? backend->output_stream(device.Handle()) : nullptr;
        if (!stream || strip.transport() != TransportState::Playing) {
            ++f.missed;
            continue;
        }
        int percent = 5 + (i * 37) % 85;
        strip.trackbar_positionTrack();
        int64_t t0 = now_ns();
        strip.trackbar_positionTrackEnd(percent);
        int64_t t1 = now_ns();
        stream = backend->output_stream(device.Handle());
        loop.run(Clock::now() + std::chrono::milliseconds(500), tick,
                 [&] { return stream && stream->first_audio_handed_ns() >= t0; });
        int64_t handed = stream ? stream->first_audio_handed_ns() : 0;
        if (handed < t0) {
            ++f.missed;
            continue;
        }
        f.latency_ms = stream->output_latency() * 1000;
        f.heard_ms.push_back((handed - t0) / 1e6 + f.latency_ms);
        f.call_ms.push_back((t1 - t0) / 1e6);
    }
    return f;
}

void print_seeks(const char* what, SeekFigures f) {
    if (f.heard_ms.empty()) {
        std::printf("%s: no seek was heard (%d missed)\n", what, f.missed);
        return;
    }
    std::sort(f.heard_ms.begin(), f.heard_ms.end());
    std::sort(f.call_ms.begin(), f.call_ms.end());
    std::printf("%s: %zu seeks, heard after median %.1f ms, worst %.1f ms (of which the stream's "
                "output latency %.1f ms); the release handler took median %.2f ms, worst %.2f ms; "
                "%d not heard\n",
                what, f.heard_ms.size(), f.heard_ms[f.heard_ms.size() / 2], f.heard_ms.back(), f.latency_ms,
                f.call_ms[f.call_ms.size() / 2], f.call_ms.back(), f.missed);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    int seeks = 20;
    bool peers = true;
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--no-peers")) peers = false;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[i + 1]);
        if (!std::strcmp(argv[i], "--seeks")) seeks = std::atoi(argv[i + 1]);
    }
    const int rate = 16000;
    const int audio_seconds = static_cast<int>(seconds) + 8;
    std::vector<uint8_t> stream = bench::encode_sp(bench::speechlike_signal(rate, audio_seconds));
    if (stream.empty()) return 1;
    fs::path dir = fs::temp_directory_path() / ("murrel-bench-playcpu-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string vkd = (dir / "speech.vkd").string(), wav = (dir / "speech.wav").string();
    {
        KoltHeader h = make_recording_header(5, 2, vkd);
        std::ofstream f(vkd, std::ios::binary);
        f.write(reinterpret_cast<const char*>(h.data()), h.size());
        f.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    }
    write_wav(wav, decode(stream), rate);

    LoopDispatcher loop;
    set_ui_dispatcher(&loop);
    app().sound_output_present = count_output_devices() > 0;
    if (!app().sound_output_present) {
        std::printf("no sound output device on backend %s: start the sound server first\n",
                    audio_backend_name().c_str());
        return 1;
    }
    std::printf("backend %s; %d s of SP audio (%zu stream bytes); measuring %.0f s each\n",
                audio_backend_name().c_str(), audio_seconds, stream.size(), seconds);

    Share voice, wave;
    double peer_voice = -1, peer_wav = -1;
    SeekFigures voice_seeks, wav_seeks;
    {
        PlayerStrip strip(nullptr, &loop);
        std::string selected;
        strip.SelectedFile = [&]() -> std::optional<std::string> { return selected; };
        auto tick = [&] {
            if (strip.timer_enabled()) strip.Timer_timedisplayTimer();
        };
        // The peer plays the same audio alongside ours, so that both are
        // measured under the same conditions of this shared machine.
        auto play_and_measure = [&](const std::string& path, const char* what, double& peer_share) {
            std::unique_ptr<Child> peer;
            if (peers) peer = std::make_unique<Child>(std::vector<std::string>{"paplay", wav});
            selected = path;
            strip.button_playClick();
            loop.run(Clock::now() + std::chrono::seconds(2), tick);
            long long p0 = peer ? peer->ticks() : -1;
            Snapshot a = snapshot();
            loop.run(a.at + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
                     tick);
            Snapshot b = snapshot();
            long long p1 = peer ? peer->ticks() : -1;
            bool playing = strip.transport() == TransportState::Playing;
            Share s = report_self(what, a, b);
            if (!playing) std::printf("    (playback ended early: the figure is not valid)\n");
            if (peer) {
                peer_share = child_share("    peer: paplay playing the WAV file at the same time", p0, p1,
                                         std::chrono::duration<double>(b.at - a.at).count());
                std::printf("    (the sound server's figure covers both streams)\n");
            }
            return s;
        };
        voice = play_and_measure(vkd, "voice file, our process (player strip)", peer_voice);
        voice_seeks = measure_seeks(strip, loop, strip.MMWaveOut_vkdplay(), seeks, tick);
        strip.button_stopClick();
        wave = play_and_measure(wav, "same audio as WAV file, our process (player strip)", peer_wav);
        wav_seeks = measure_seeks(strip, loop, strip.MMWavePlayer().Device(), seeks, tick);
        strip.button_stopClick();
        loop.run(Clock::now() + std::chrono::milliseconds(300), [] {});
    }
    set_ui_dispatcher(nullptr);

    if (peers) {
        measure_child("peer alone: paplay playing the WAV file", {"paplay", wav}, 2, seconds);
        fs::path cli = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "murrelphonic-cli";
        if (fs::exists(cli))
            measure_child("murrelphonic-cli play of the voice file", {cli.string(), "play", vkd}, 2, seconds);
    }
    std::printf("\n");
    print_seeks("voice seek", voice_seeks);
    print_seeks("WAV seek", wav_seeks);
    if (peer_voice > 0) std::printf("voice playback / peer CPU (same span): %.2f\n", voice.cpu_percent / peer_voice);
    if (peer_wav > 0) std::printf("WAV playback / peer CPU (same span): %.2f\n", wave.cpu_percent / peer_wav);
    std::printf("voice playback: %.2f%% of one core (%s 2%%)\n", voice.cpu_percent,
                voice.cpu_percent < 2 ? "under" : "NOT under");
    fs::remove_all(dir);
    return 0;
}
