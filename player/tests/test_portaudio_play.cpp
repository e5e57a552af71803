// A voice file played through PortAudio into the test sound server's sink,
// recorded back from its monitor: the recording must hold the decoded audio,
// in one piece. Skipped (with the reason) when the server cannot be reached.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "testsupport/sound_server.h"

#include <thread>

#include "audio/devices/portaudio_backend.h"
#include "player/tests/player_fixture.h"


using namespace murrel;
using namespace murrel::testsupport;
using namespace murrel::playertest;

namespace {

// Normalised cross-correlation of `part` against `whole` at its best lag.
double best_correlation(const std::vector<int16_t>& whole, const std::vector<int16_t>& part, size_t& lag) {
    double best = 0;
    double pp = 0;
    for (int16_t v : part) pp += double(v) * v;
    for (size_t l = 0; l + part.size() <= whole.size(); l += 1) {
        double wp = 0, ww = 0;
        for (size_t i = 0; i < part.size(); ++i) {
            wp += double(whole[l + i]) * part[i];
            ww += double(whole[l + i]) * whole[l + i];
        }
        if (ww <= 0) continue;
        double c = wp / std::sqrt(ww * pp);
        if (c > best) {
            best = c;
            lag = l;
        }
    }
    return best;
}

TEST(PortAudioPlayback, AnSpVoiceFileIsHeardAsItsDecodedAudioWithoutDropouts) {
    std::string address = server_address();
    if (!server_reachable(address)) GTEST_SKIP() << "sound server not reachable (scripts/soundserver start)";
    int lock_fd = open((sound_dir() + "/test.lock").c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(lock_fd, 0);
    flock(lock_fd, LOCK_EX);
    setenv("PULSE_SERVER", address.c_str(), 1);
    {
        std::unique_ptr<AudioBackend> backend = make_portaudio_backend();
        ASSERT_GT(backend->out_num_devs(), 0);
        testsupport::ScratchDir scratch;
        testsupport::ScriptedDialogs dialogs;
        PumpDispatcher ui;
        app().reset();

        // A tone gliding in pitch, so the correlation has one clear peak.
        std::vector<int16_t> signal(16000 * 2);
        double phase = 0;
        for (size_t i = 0; i < signal.size(); ++i) {
            phase += 2 * 3.14159265358979 * (300 + 400.0 * i / signal.size()) / 16000;
            signal[i] = static_cast<int16_t>(9000 * std::sin(phase));
        }
        std::vector<uint8_t> stream = encode_stream(5, signal);
        std::string path = scratch.file("heard.vkd");
        write_voice_file(path, 5, stream);
        std::vector<int16_t> expected = as_samples(expected_playback(stream, 1));

        std::string monitor = scratch.file("monitor.raw");
        Child parec({"parec", "-s", address, "-d", "murrel_sink.monitor", "--rate=16000", "--channels=1",
                     "--format=s16le", "--latency-msec=20", "--file-format=raw", monitor});
        ASSERT_TRUE(parec.ok());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        {
            PlayerStrip strip(backend.get(), &ui);
            ASSERT_TRUE(strip.probe_sound_output());
            strip.SelectedFile = [&]() -> std::optional<std::string> { return path; };
            strip.button_playClick();
            ASSERT_EQ(strip.transport(), TransportState::Playing);
            ASSERT_TRUE(ui.pump_until(
                [&] { return strip.transport() == TransportState::Stopped && !strip.MMWaveOut_vkdplay().IsOpen(); },
                std::chrono::seconds(15)));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        parec.stop();
        std::vector<int16_t> heard = as_samples(read_file(monitor));
        EXPECT_TRUE(dialogs.messages.empty());

        // Three half-second stretches of the decoded audio, each found whole
        // in the recording at the same lag: nothing lost or repeated between.
        size_t first_lag = 0;
        for (size_t start : {4000u, 12000u, 24000u}) {
            std::vector<int16_t> part(expected.begin() + start, expected.begin() + start + 8000);
            size_t lag = 0;
            double c = best_correlation(heard, part, lag);
            EXPECT_GT(c, 0.95) << "at " << start;
            if (start == 4000u) first_lag = lag - start;
            else EXPECT_EQ(lag - start, first_lag) << "a dropout or repeat before " << start;
        }
        app().reset();
    }
    close(lock_fd);
}

}  // namespace
