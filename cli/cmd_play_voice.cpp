// The voice-file side of `murrelphonic-cli play` and `record`: both run
// through the player strip, so the command line takes the program's own
// roads (a buffer request per frame for playing, start_record's set-up and
// the per-buffer encoder for recording) and can be checked without a screen.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "audio/devices/device_backend.h"
#include "audio/devices/ui_dispatcher.h"
#include "cli/commands.h"
#include "cli/decoder_diagnostics.h"
#include "cli/stop_signals.h"
#include "player/playerstrip.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "cli/batch_console.h"
#include "voicefile/koltheader.h"

namespace murrel::cli {

namespace {


// Messages go to standard error as the console service prints them; the
// save dialog is answered with the name given on the command line.
class CliDialogs final : public DialogService {
public:
    explicit CliDialogs(std::string save_as = {}) : save_as_(std::move(save_as)) { set_dialog_service(this); }
    ~CliDialogs() override { set_dialog_service(nullptr); }
    DialogResult message_box(const MessageRequest& r) override {
        if (r.icon == MessageIcon::Error || r.icon == MessageIcon::Warning) ++failures;
        return console_.message_box(r);
    }
    std::vector<std::string> open_files(const FileDialogRequest& r) override { return console_.open_files(r); }
    std::optional<std::string> save_file(const FileDialogRequest&) override {
        if (save_as_.empty()) return std::nullopt;
        return save_as_;
    }
    std::optional<std::string> choose_folder(const FolderDialogRequest& r) override {
        return console_.choose_folder(r);
    }
    int failures = 0;

private:
    ConsoleDialogService console_;
    std::string save_as_;
};

void show_elapsed(const PlayerDisplay& d) {
    std::fprintf(stderr, "\r%s:%s:%s", d.hour.c_str(), d.minute.c_str(), d.second.c_str());
    std::fflush(stderr);
}

}  // namespace

int play_voice_file(const std::string& path, int speed, int64_t from_ms) {
    load_console_texts();
    try {
        CliDialogs dialogs;
        app().sound_output_present = count_output_devices() > 0;
        PlayerStrip strip(nullptr, &main_pump());
        strip.SelectedFile = [&]() -> std::optional<std::string> { return path; };
        if (from_ms > 0) {
            Tkoltfile_info info;
            const int64_t length_ms = get_fileinfo(path, info) == kFileVoice
                                          ? (info.hours * 3600 + info.minutes * 60 + info.seconds) * 1000
                                          : 0;
            if (length_ms > 0 && from_ms >= length_ms) {
                std::fprintf(stderr, "murrelphonic-cli: %s: --from %.3f s is past the end of the file (%lld s)\n",
                             path.c_str(), from_ms / 1000.0, static_cast<long long>(length_ms / 1000));
                return 1;
            }
            strip.next_start_ms = from_ms;
        }
        strip.set_speed(speed);
        const bool terminal = isatty(STDERR_FILENO) != 0;
        catch_stop_signals();
        strip.button_playClick();
        if (strip.transport() != TransportState::Playing) return 1;
        std::printf("playing %s on \"%s\"\n", path.c_str(), strip.MMWaveOut_vkdplay().ProductName().c_str());
        std::fflush(stdout);
        auto next = std::chrono::steady_clock::now();
        DecoderDiagnostics diagnostics;
        main_pump().pump_until([&] {
            if (stop_requested() && strip.transport() != TransportState::Stopped) strip.button_stopClick();
            if (strip.timer_enabled() && std::chrono::steady_clock::now() >= next) {
                next += std::chrono::milliseconds(100);
                strip.Timer_timedisplayTimer();
                if (terminal) show_elapsed(strip.display());
            }
            return strip.transport() == TransportState::Stopped && !strip.MMWaveOut_vkdplay().IsOpen();
        }, std::chrono::hours(24), kDevicePoll);
        diagnostics.report(path, false);
        if (terminal) std::fprintf(stderr, "\n");
        if (dialogs.failures > 0) return 1;
        std::printf("%s\n", stop_requested() ? "stopped" : "played to the end");
        return stop_exit_code(0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", path.c_str(), e.what());
        return 1;
    }
}

bool recover_left_recording(const std::string& scratch);

int record_voice_file(int codec_type, double seconds, const std::string& out_path) {
    load_console_texts();
    try {
        CliDialogs dialogs(out_path);
        // The recording grows in a scratch file beside the target, as the
        // program's grows in its scratch folder, and becomes the target at stop.
        // It keeps the ".vkd" extension, since the header records the name's
        // extension and a save patches only its first three letters.
        app().temp_recording_path = out_path.substr(0, out_path.size() - 4) + ".recording.vkd";
        if (!recover_left_recording(app().temp_recording_path)) return 1;
        PlayerStrip strip(nullptr, &main_pump());
        catch_stop_signals();
        if (codec_type == 5) strip.button_sprecordClick();
        if (codec_type == 6) strip.button_hqrecordClick();
        if (codec_type == 7) strip.button_shqrecordClick();
        if (!strip.recording()) return 1;
        std::printf("recording %s (%s, %d Hz mono) from \"%s\" for %g s\n", out_path.c_str(),
                    recording_mode_name(codec_type), mp3_sample_rate(codec_type),
                    strip.recorder().Device().ProductName().c_str(), seconds);
        std::fflush(stdout);
        const int64_t limit = static_cast<int64_t>(seconds * 1000);
        main_pump().pump_until([&] {
            if (!strip.recording()) return true;  // stopped by a write failure
            if (stop_requested() || strip.recorder().Position() >= limit) strip.button_stopClick();
            return !strip.recording();
        }, std::chrono::hours(25), kDevicePoll);
        main_pump().pump_until([&] { return !strip.recorder().Device().IsOpen(); },
                               std::chrono::seconds(5));
        std::string saved = recording_save_name(out_path);
        if (dialogs.failures > 0 || !std::filesystem::exists(saved)) {
            std::fprintf(stderr, "murrelphonic-cli: the recording was not completed; what was recorded is in %s\n",
                         std::filesystem::exists(saved) ? saved.c_str() : app().temp_recording_path.c_str());
            return 1;
        }
        std::printf("recorded %s\n", saved.c_str());
        return stop_exit_code(0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", out_path.c_str(), e.what());
        return 1;
    }
}

}  // namespace murrel::cli
