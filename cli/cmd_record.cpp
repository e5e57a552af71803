// murrelphonic-cli record: records from the wave input device for a number of
// seconds in a recording mode, into a WAV file or, through the encoder, a
// voice file. Ctrl+C ends the recording early and keeps what was recorded.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "audio/formats/mmwave.h"
#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/wavein.h"
#include "cli/commands.h"
#include "cli/stop_signals.h"
#include "shell/appstate.h"
#include "voicefile/koltheader.h"

namespace murrel::cli {

int record_voice_file(int codec_type, double seconds, const std::string& out_path);

// Moves a scratch file left by an earlier recording that did not end (a
// crash, kill -9, power loss) to a free NAME.recovered-N.vkd beside it, so that
// a new recording never deletes it. False when it exists and cannot be moved.
bool recover_left_recording(const std::string& scratch) {
    if (!path_exists(scratch)) return true;
    const std::string stem = scratch.substr(0, scratch.size() - std::strlen(".recording.vkd"));
    for (int n = 1; n < 10000; ++n) {
        const std::string free_name = stem + ".recovered-" + std::to_string(n) + ".vkd";
        // link() refuses an existing name, so nothing is replaced.
        if (::link(scratch.c_str(), free_name.c_str()) == 0) {
            ::unlink(scratch.c_str());
            std::fprintf(stderr, "murrelphonic-cli: an unfinished recording was found in %s; it was kept as %s\n",
                         scratch.c_str(), free_name.c_str());
            return true;
        }
        if (errno != EEXIST) break;
    }
    std::fprintf(stderr, "murrelphonic-cli: %s holds an unfinished recording that could not be moved aside (%s)\n",
                 scratch.c_str(), std::strerror(errno));
    return false;
}

namespace {


std::string one_line(std::string text) {
    for (size_t p; (p = text.find("\n\r")) != std::string::npos;) text.replace(p, 2, " ");
    return text;
}

bool ends_with(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    std::string end = s.substr(s.size() - tail.size());
    for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return end == tail;
}

int usage() {
    std::fprintf(stderr, "usage: murrelphonic-cli record --mode sp|hq|shq --seconds N -o FILE.wav|FILE.vkd [--overwrite]\n");
    return 2;
}

int run(const std::vector<std::string>& args) {
    int codec = 0;
    double seconds = 0;
    std::string out_path;
    bool overwrite = false;
    for (size_t i = 0; i < args.size(); ++i) {
        bool has_value = i + 1 < args.size();
        if (args[i] == "--mode" && has_value) {
            const std::string& m = args[++i];
            codec = m == "sp" ? 5 : m == "hq" ? 6 : m == "shq" ? 7 : 0;
            if (!codec) return usage();
        } else if (args[i] == "--seconds" && has_value) {
            char* end = nullptr;
            seconds = std::strtod(args[++i].c_str(), &end);
            if (*end || !(seconds > 0) || seconds > 24 * 3600) {
                std::fprintf(stderr, "murrelphonic-cli: --seconds takes a number of seconds above 0, at most 86400\n");
                return usage();
            }
        } else if (args[i] == "-o" && has_value) {
            out_path = args[++i];
        } else if (args[i] == "--overwrite") {
            overwrite = true;
        } else {
            return usage();
        }
    }
    if (!codec || seconds <= 0 || out_path.empty()) return usage();
    bool voice = ends_with(out_path, ".vkd");
    if (!voice && !ends_with(out_path, ".wav")) return usage();
    if (path_exists(out_path) && !overwrite) {
        std::fprintf(stderr, "murrelphonic-cli: %s already exists (use --overwrite to replace it)\n", out_path.c_str());
        return 1;
    }
    // Voice files take the program's own recording road.
    if (voice) return record_voice_file(codec, seconds, out_path);

    try {
        const int rate = mp3_sample_rate(codec);
        TMMWave wave;
        wave.CreateFile(out_path, MakePCMFormat(16, 1, static_cast<uint32_t>(rate)));

        TMMWaveIn in(nullptr, &main_pump());
        in.SetSampleRate(rate);
        in.SetBitLength(TMMBits::b16Bit);
        in.SetMode(TMMMode::mMono);
        in.SetBufferSize(rate / 10 * 2);
        in.SetNumBuffers(10);
        in.SetDeviceID(MapperId);
        in.SetCallBackMode(TMMCBMode::cmThread);
        in.SetTimeFormat(TMMTimeFormats::tfMillisecond);
        in.SetMaxRecordTime(static_cast<int64_t>(seconds * 1000));
        std::atomic<bool> write_failed{false};
        // Runs on the device's worker; the main thread does not touch the
        // wave until the recording stopped.
        in.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr* hdr) {
            if (write_failed.load()) return;
            if (wave.WriteData(hdr->lpData, hdr->dwBytesRecorded) != hdr->dwBytesRecorded) write_failed.store(true);
        };
        bool stopped = false;
        in.OnStop = [&](TMMDSPComponent*) { stopped = true; };
        catch_stop_signals();
        std::printf("recording %s (%d Hz mono) from \"%s\" for %g s\n", out_path.c_str(), rate,
                    in.ProductName().c_str(), seconds);
        std::fflush(stdout);
        in.Start();
        main_pump().pump_until([&] {
            if ((stop_requested() || write_failed.load()) && in.IsRecording()) in.Stop();
            return stopped || !in.IsOpen();
        }, std::chrono::hours(25), kDevicePoll);
        in.WaitDelivered();
        in.Close();
        bool ok = !write_failed.load();
        wave.CloseFile();
        if (!ok) {
            std::fprintf(stderr, "murrelphonic-cli: writing %s failed; what was recorded is kept\n",
                         out_path.c_str());
            return 1;
        }
        std::printf("recorded %s\n", out_path.c_str());
        return stop_exit_code(0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", out_path.c_str(), one_line(e.what()).c_str());
        return 1;
    }
}

const CommandRegistration registration(
    {"record", "record --mode sp|hq|shq --seconds N -o FILE.wav|FILE.vkd [--overwrite]",
     "record from the sound device into a WAV file or a voice file", run});

}  // namespace
}  // namespace murrel::cli
