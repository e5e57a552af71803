// murrelphonic-cli play FILE.wav|FILE.vkd [--speed PCT] [--from SECONDS]:
// plays a WAV file through the wave output device to its end (Ctrl+C stops
// it), on the backend MURREL_AUDIO selects, at a speed with the pitch kept,
// from a point of the file. Voice files go through the player strip
// (cmd_play_voice.cpp).
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "audio/formats/acmchain.h"
#include "audio/formats/acmwave.h"
#include "audio/formats/mmwave.h"
#include "audio/devices/mmdsp_stretch.h"
#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/waveout.h"
#include "cli/commands.h"
#include "cli/stop_signals.h"
#include "cli/batch_console.h"
#include "voicefile/fileinfo.h"

namespace murrel::cli {

int play_voice_file(const std::string& path, int speed, int64_t from_ms);

namespace {

constexpr const char* kUsage = "usage: murrelphonic-cli play FILE.wav|FILE.vkd [--speed PCT] [--from SECONDS]\n";

struct PlayArgs {
    std::string path;
    int speed = kSpeedNormal;
    int64_t from_ms = 0;
};

// Empty when the arguments are fine, else what is wrong with them.
std::string parse_play_args(const std::vector<std::string>& args, PlayArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--speed" || a == "--from") {
            if (i + 1 >= args.size()) return a + " needs a value";
            const std::string& v = args[++i];
            char* end = nullptr;
            errno = 0;
            if (a == "--speed") {
                const long pct = std::strtol(v.c_str(), &end, 10);
                if (v.empty() || *end || errno || pct < kSpeedMin || pct > kSpeedMax || pct % kSpeedStep)
                    return "--speed takes a percentage from 50 to 200 in steps of 5, not \"" + v + "\"";
                out.speed = static_cast<int>(pct);
            } else {
                const double s = std::strtod(v.c_str(), &end);
                if (v.empty() || *end || errno || !(s >= 0) || s > 1e7)
                    return "--from takes a number of seconds from 0 on, not \"" + v + "\"";
                out.from_ms = static_cast<int64_t>(s * 1000 + 0.5);
            }
        } else if (a.empty() || a[0] == '-' || !out.path.empty()) {
            return "unexpected argument \"" + a + "\"";
        } else {
            out.path = a;
        }
    }
    if (out.path.empty()) return "no file given";
    return {};
}


std::string one_line(std::string text) {
    for (size_t p; (p = text.find("\n\r")) != std::string::npos;) text.replace(p, 2, " ");
    return text;
}

int run(const std::vector<std::string>& args) {
    PlayArgs play;
    if (const std::string why = parse_play_args(args, play); !why.empty()) {
        std::fprintf(stderr, "murrelphonic-cli: %s\n%s", why.c_str(), kUsage);
        return 2;
    }
    if (const std::string why = input_problem(play.path); !why.empty()) {
        std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", play.path.c_str(), why.c_str());
        return 1;
    }
    if (upper_extension(play.path) == ".VKD") return play_voice_file(play.path, play.speed, play.from_ms);
    try {
        // Every format the program reads plays, presented as PCM by the
        // conversion chain as the program's WAV player does.
        TMMAcmWave wave;
        try {
            wave.SetFileName(play.path);
        } catch (const EMMWaveError& e) {
            std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", play.path.c_str(), e.what());
            return 1;
        }
        if (!wave.FileFormat()) {
            std::fprintf(stderr, "murrelphonic-cli: %s: not a WAV file\n", play.path.c_str());
            return 1;
        }
        if (const std::string why = UnreadableReason(*wave.FileFormat()); !why.empty()) {
            std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", play.path.c_str(), why.c_str());
            return 1;
        }
        try {
            wave.OpenFile();
        } catch (const EMMWaveError& e) {
            std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", play.path.c_str(), e.what());
            return 1;
        }
        const TWaveFormatEx* format = wave.OutputFormat();
        const int64_t rate = wave.SampleRate();
        const int64_t length_ms = rate ? wave.DataSize() * 1000 / rate : 0;
        if (play.from_ms > 0 && play.from_ms >= length_ms) {
            std::fprintf(stderr, "murrelphonic-cli: %s: --from %.3f s is past the end of the file (%.3f s)\n",
                         play.path.c_str(), play.from_ms / 1000.0, length_ms / 1000.0);
            return 1;
        }
        if (play.from_ms > 0) wave.SetPosition(play.from_ms * rate / 1000);
        // The wave's buffers reach the device through the stretch link, as
        // in the program's WAV player.
        TMMDSPComponent source;
        TMMTimeStretch stretch;
        stretch.SetSpeed(play.speed);
        TMMWaveOut out(nullptr, &main_pump());
        source.SetOutput(&stretch);
        stretch.SetOutput(&out);
        struct Unlink {
            TMMDSPComponent& a;
            TMMTimeStretch& b;
            ~Unlink() {
                b.SetOutput(nullptr);
                a.SetOutput(nullptr);
            }
        } unlink{source, stretch};
        source.SetWaveFormat(format);
        // About a quarter of a second per buffer, ten buffers queued.
        out.SetBufferSize(static_cast<int>(std::max<uint32_t>(format->nAvgBytesPerSec / 4, 4096)));
        out.SetNumBuffers(kStretchQueueBuffers);
        out.SetDeviceID(MapperId);
        out.SetCallBackMode(TMMCBMode::cmThread);
        out.SetTimeFormat(TMMTimeFormats::tfMillisecond);
        // Loads run on the caller for the first buffers and on the device's
        // worker afterwards, never both at once: the wave is used by one
        // thread at a time.
        // A read that brings less than the wave still expects means the file
        // became shorter (or vanished) while it played.
        std::atomic<int64_t> cut_at_ms{-1};
        source.OnBufferLoad = [&wave, &cut_at_ms](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
            const int64_t expected = std::min<int64_t>(wave.BytesLeft(), hdr->dwBufferLength);
            const int64_t at = wave.Position();
            int64_t n = wave.ReadData(hdr->lpData, hdr->dwBufferLength);
            if (n < expected && cut_at_ms.load() < 0)
                cut_at_ms.store(wave.SampleRate() ? at * 1000 / wave.SampleRate() : 0);
            hdr->dwBytesRecorded = n > 0 ? static_cast<uint32_t>(n) : 0;
            more = n > 0 && wave.BytesLeft() > 0;
        };
        bool stopped = false;
        out.OnStop = [&](TMMDSPComponent*) { stopped = true; };
        catch_stop_signals();
        if (play.speed != kSpeedNormal || play.from_ms > 0)
            std::printf("playing %s on \"%s\" at %d %% from %.3f s\n", play.path.c_str(), out.ProductName().c_str(),
                        play.speed, play.from_ms / 1000.0);
        else
            std::printf("playing %s on \"%s\"\n", play.path.c_str(), out.ProductName().c_str());
        std::fflush(stdout);
        out.Start();
        int64_t heard = 0;
        main_pump().pump_until([&] {
            if (stop_requested() && out.IsPlaying()) out.Stop();
            // File time, whatever the speed.
            if (out.IsPlaying()) heard = stretch.SourceMs(out.GetPosition());
            return stopped || !out.IsOpen();
        }, std::chrono::hours(24), kDevicePoll);
        out.Close();
        if (const int64_t cut = cut_at_ms.load(); cut >= 0) {
            const long long s = cut / 1000;
            std::fprintf(stderr, "murrelphonic-cli: %s: the file became shorter or unreadable at %02lld:%02lld:%02lld\n",
                         play.path.c_str(), s / 3600, s / 60 % 60, s % 60);
            return 1;
        }
        std::printf("%s after %lld ms\n", stop_requested() ? "stopped" : "played to the end",
                    static_cast<long long>(heard));
        return stop_exit_code(0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", play.path.c_str(), one_line(e.what()).c_str());
        return 1;
    }
}

const CommandRegistration registration({"play", "play FILE.wav|FILE.vkd [--speed PCT] [--from SECONDS]",
                                        "play a WAV file or a voice file on the sound device to its end, at 50-200 % "
                                        "speed with the pitch kept, from a point in seconds",
                                        run});

}  // namespace
}  // namespace murrel::cli
