// murrelphonic-cli play FILE.wav|FILE.vkd: plays a WAV file through the wave
// output device to its end (Ctrl+C stops it), on the backend MURREL_AUDIO
// selects. Voice files go through the player strip (cmd_play_voice.cpp).
#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "audio/formats/acmchain.h"
#include "audio/formats/acmwave.h"
#include "audio/formats/mmwave.h"
#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/waveout.h"
#include "cli/commands.h"
#include "cli/stop_signals.h"
#include "cli/batch_console.h"
#include "voicefile/fileinfo.h"

namespace murrel::cli {

int play_voice_file(const std::string& path);

namespace {


std::string one_line(std::string text) {
    for (size_t p; (p = text.find("\n\r")) != std::string::npos;) text.replace(p, 2, " ");
    return text;
}

int run(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        std::fprintf(stderr, "usage: murrelphonic-cli play FILE.wav|FILE.vkd\n");
        return 2;
    }
    if (const std::string why = input_problem(args[0]); !why.empty()) {
        std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", args[0].c_str(), why.c_str());
        return 1;
    }
    if (upper_extension(args[0]) == ".VKD") return play_voice_file(args[0]);
    try {
        // Every format the program reads plays, presented as PCM by the
        // conversion chain as the program's WAV player does.
        TMMAcmWave wave;
        try {
            wave.SetFileName(args[0]);
        } catch (const EMMWaveError& e) {
            std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", args[0].c_str(), e.what());
            return 1;
        }
        if (!wave.FileFormat()) {
            std::fprintf(stderr, "murrelphonic-cli: %s: not a WAV file\n", args[0].c_str());
            return 1;
        }
        if (const std::string why = UnreadableReason(*wave.FileFormat()); !why.empty()) {
            std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", args[0].c_str(), why.c_str());
            return 1;
        }
        try {
            wave.OpenFile();
        } catch (const EMMWaveError& e) {
            std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", args[0].c_str(), e.what());
            return 1;
        }
        const TWaveFormatEx* format = wave.OutputFormat();
        TMMWaveOut out(nullptr, &main_pump());
        out.SetWaveFormat(format);
        // About a quarter of a second per buffer, ten buffers queued.
        out.SetBufferSize(static_cast<int>(std::max<uint32_t>(format->nAvgBytesPerSec / 4, 4096)));
        out.SetNumBuffers(10);
        out.SetDeviceID(MapperId);
        out.SetCallBackMode(TMMCBMode::cmThread);
        out.SetTimeFormat(TMMTimeFormats::tfMillisecond);
        // Loads run on the caller for the first buffers and on the device's
        // worker afterwards, never both at once: the wave is used by one
        // thread at a time.
        // A read that brings less than the wave still expects means the file
        // became shorter (or vanished) while it played.
        std::atomic<int64_t> cut_at_ms{-1};
        out.OnBufferLoad = [&wave, &cut_at_ms](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
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
        std::printf("playing %s on \"%s\"\n", args[0].c_str(), out.ProductName().c_str());
        std::fflush(stdout);
        out.Start();
        int64_t heard = 0;
        main_pump().pump_until([&] {
            if (stop_requested() && out.IsPlaying()) out.Stop();
            if (out.IsPlaying()) heard = out.GetPosition();
            return stopped || !out.IsOpen();
        }, std::chrono::hours(24), kDevicePoll);
        out.Close();
        if (const int64_t cut = cut_at_ms.load(); cut >= 0) {
            const long long s = cut / 1000;
            std::fprintf(stderr, "murrelphonic-cli: %s: the file became shorter or unreadable at %02lld:%02lld:%02lld\n",
                         args[0].c_str(), s / 3600, s / 60 % 60, s % 60);
            return 1;
        }
        std::printf("%s after %lld ms\n", stop_requested() ? "stopped" : "played to the end",
                    static_cast<long long>(heard));
        return stop_exit_code(0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", args[0].c_str(), one_line(e.what()).c_str());
        return 1;
    }
}

const CommandRegistration registration({"play", "play FILE.wav|FILE.vkd",
                                        "play a WAV file or a voice file on the sound device to its end", run});

}  // namespace
}  // namespace murrel::cli
