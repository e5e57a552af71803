// Recording through the strip from a scripted input device: the scratch
// file's header, saving under a chosen name, cancelling, and the failures
// that must keep what was recorded.
#include "player/player_texts.h"
#include "player/tests/player_fixture.h"

#include <numeric>
#include <thread>

using namespace murrel;
using namespace murrel::playertest;

namespace {

class RecordingTest : public StripTest {
protected:
    void SetUp() override {
        StripTest::SetUp();
        // A 440 Hz tone at whatever rate the device opens with, continuous
        // across buffers.
        backend.set_input_script([this](uint8_t* dst, size_t bytes, uint64_t offset) {
            auto* s = reinterpret_cast<int16_t*>(dst);
            for (size_t i = 0; i < bytes / 2; ++i) {
                double t = static_cast<double>(offset / 2 + i) / rate.load();
                s[i] = static_cast<int16_t>(8000 * std::sin(2 * 3.14159265358979 * 440 * t));
            }
        });
    }
    // Records until the device reports `ms` milliseconds.
    void record(int codec, int64_t ms) {
        rate = mp3_sample_rate(codec);
        if (codec == 5) strip->button_sprecordClick();
        if (codec == 6) strip->button_hqrecordClick();
        if (codec == 7) strip->button_shqrecordClick();
        ASSERT_TRUE(strip->recording());
        ASSERT_TRUE(ui.pump_until([&] { return strip->recorder().Position() >= ms; }));
    }
    // Signal-to-noise ratio of `got` against the tone, at the best lag.
    static double snr_db(const std::vector<int16_t>& got, int rate_hz) {
        std::vector<int16_t> ref = tone(rate_hz, got.size() / static_cast<double>(rate_hz) + 1, 440);
        double best = -100;
        for (int lag = 0; lag < 2500 && lag < static_cast<int>(got.size()); ++lag) {
            double sig = 0, err = 0;
            size_t n = std::min(got.size() - lag, ref.size()) ;
            n = std::min<size_t>(n, static_cast<size_t>(rate_hz) / 2);
            for (size_t i = 0; i < n; ++i) {
                double r = ref[i], g = got[i + lag];
                sig += r * r;
                err += (g - r) * (g - r);
            }
            if (err > 0) best = std::max(best, 10 * std::log10(sig / err));
        }
        return best;
    }
    std::atomic<int> rate{16000};
};

TEST_F(RecordingTest, EachModeSavedAsMemoCarriesItsHeaderAndDecodesToTheRecordedTone) {
    struct Mode { int codec, mode, bitrate, rate; double min_snr; };
    for (Mode m : {Mode{5, 2, 16000, 16000, 8}, Mode{6, 3, 32000, 16000, 12}, Mode{7, 4, 64000, 22050, 12}}) {
        SCOPED_TRACE(m.codec);
        record(m.codec, 1500);
        EXPECT_EQ(strip->transport(), TransportState::Recording);
        EXPECT_EQ(strip->display().state_image, 15);
        EXPECT_EQ(strip->display().bit_up, m.bitrate / 1000);
        EXPECT_EQ(strip->display().led_sp, m.mode == 2);
        EXPECT_EQ(strip->display().led_shq, m.mode == 4);
        EXPECT_EQ(strip->recorder().chunk_bytes(), static_cast<int>(2 * strip->LameEnCoder().samples_per_chunk()));
        strip->Timer_timedisplayTimer();
        EXPECT_GE(std::stoi(strip->display().second), 1);  // the fast input may have run on
        std::string memo = scratch.file("memo");
        dialogs.save_answers.push_back(memo);
        const int64_t captured_ms = strip->recorder().Position();
        strip->button_stopClick();
        // The device may finish its stop after its last delivery.
        ASSERT_TRUE(ui.pump_until([&] { return !strip->recorder().Device().IsOpen(); }, std::chrono::seconds(20)))
            << "state " << strip->recorder().Device().State();
        ASSERT_FALSE(dialogs.file_requests.empty());
        const FileDialogRequest& req = dialogs.file_requests.back();
        EXPECT_EQ(req.title, "Save VKD file");
        EXPECT_EQ(req.default_extension, "vkd");
        EXPECT_EQ(req.folder, scratch.path().string());
        EXPECT_EQ(strip->transport(), TransportState::Stopped);
        EXPECT_FALSE(std::filesystem::exists(app().temp_recording_path));

        std::vector<uint8_t> file = read_file(memo + ".vkd");
        ASSERT_GT(file.size(), 512u + 1000u);
        EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "QRVM");
        EXPECT_EQ(file[kolt::kCodecType], m.codec);
        EXPECT_EQ(file[kolt::kModeCode], m.mode);
        EXPECT_EQ(bytearraytodword(&file[kolt::kBitrate], 3), static_cast<uint32_t>(m.bitrate));
        EXPECT_EQ(bytearraytodword(&file[kolt::kSampleRate], 1), static_cast<uint32_t>(m.rate));
        EXPECT_EQ(header_title(file.data()), "memo");
        EXPECT_EQ(std::string(file.begin() + 240, file.begin() + 244), std::string("VKD\0", 4));
        std::vector<uint8_t> stream(file.begin() + 512, file.end());
        std::vector<int16_t> decoded = as_samples(expected_playback(stream, 1));
        // Everything captured up to the stop is in the file (the encoder's
        // delay and the flush only add to it).
        EXPECT_GE(decoded.size(), static_cast<size_t>(captured_ms * m.rate / 1000));
        EXPECT_GT(snr_db(decoded, m.rate), m.min_snr);
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.texts().front();
        std::filesystem::remove(memo + ".vkd");
    }
    EXPECT_EQ(refreshes, 3);
}

TEST_F(RecordingTest, ANameWithAnotherExtensionIsSavedWithVkdAppendedNeverDeleted) {
    record(5, 500);
    std::string chosen = scratch.file("memo.wav");
    dialogs.save_answers.push_back(chosen);
    strip->button_stopClick();
    EXPECT_TRUE(std::filesystem::exists(chosen + ".vkd"));
    EXPECT_FALSE(std::filesystem::exists(chosen));
    EXPECT_EQ(header_title(read_file(chosen + ".vkd").data()), "memo.wav");
}

TEST_F(RecordingTest, CancellingTheSaveDialogAsksAndNoReturnsToItWhileYesDiscards) {
    record(6, 500);
    // Cancel, No (back to the dialog), a name: saved there.
    dialogs.save_answers = {std::nullopt, scratch.file("kept.vkd")};
    dialogs.message_answers = {DialogResult::No};
    strip->button_stopClick();
    EXPECT_EQ(strip->transport(), TransportState::Stopped);
    ASSERT_EQ(dialogs.file_requests.size(), 2u);
    ASSERT_EQ(dialogs.texts(), std::vector<std::string>{player_text(PlayerText::DiscardRecording)});
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_GT(std::filesystem::file_size(scratch.file("kept.vkd")), 512u + 500u);
    EXPECT_EQ(refreshes, 1);

    // Cancel, Yes: the scratch file is gone, nothing is saved or recovered later.
    ui.pump_for(std::chrono::milliseconds(100));  // the event loop between two clicks
    record(6, 500);
    dialogs.save_answers = {std::nullopt};
    dialogs.message_answers = {DialogResult::Yes};
    strip->button_stopClick();
    EXPECT_EQ(strip->transport(), TransportState::Stopped);
    EXPECT_FALSE(std::filesystem::exists(app().temp_recording_path));
    EXPECT_EQ(refreshes, 1);
}

TEST_F(RecordingTest, AudioTheInputDeviceDroppedIsToldWhenTheRecordingStops) {
    record(5, 300);
    backend.overrun_input(16000 / 4);  // a quarter of a second at 16 kHz
    dialogs.save_answers = {scratch.file("holes.vkd")};
    strip->button_stopClick();
    char expected[256];
    std::snprintf(expected, sizeof expected, player_text(PlayerText::AudioLost), 250);
    ASSERT_EQ(dialogs.texts(), std::vector<std::string>{expected});
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(std::filesystem::exists(scratch.file("holes.vkd")));  // kept all the same

    // The next recording starts with a clean count.
    dialogs.messages.clear();
    ui.pump_for(std::chrono::milliseconds(100));
    record(5, 300);
    dialogs.save_answers = {scratch.file("whole.vkd")};
    strip->button_stopClick();
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(RecordingTest, PauseStopsCapturingAndTheModesButtonResumes) {
    record(7, 300);
    strip->button_pauseClick();
    EXPECT_EQ(strip->transport(), TransportState::RecordingPaused);
    EXPECT_TRUE(strip->buttons()[TransportButton::ShqRecord]);
    EXPECT_FALSE(strip->buttons()[TransportButton::SpRecord]);
    strip->button_playClick();  // does nothing while recording
    EXPECT_EQ(strip->transport(), TransportState::RecordingPaused);
    ui.pump_for(std::chrono::milliseconds(50));
    int64_t held = strip->recorder().Position();
    ui.pump_for(std::chrono::milliseconds(100));
    EXPECT_EQ(strip->recorder().Position(), held);
    strip->button_shqrecordClick();
    EXPECT_EQ(strip->transport(), TransportState::Recording);
    EXPECT_EQ(strip->recorder().record_codec_type(), 7);
    ASSERT_TRUE(ui.pump_until([&] { return strip->recorder().Position() > held + 200; }));
    dialogs.save_answers.push_back(std::nullopt);
    strip->button_stopClick();
}

TEST_F(RecordingTest, ALostScratchFolderStopsTheRecordingWithAClearMessageAndNothingHangs) {
    record(5, 300);
    std::filesystem::remove_all(app().temp_dir);
    ASSERT_TRUE(ui.pump_until([&] { return !strip->recording(); }));
    EXPECT_EQ(strip->transport(), TransportState::Stopped);
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_NE(dialogs.messages.front().text.find("scratch file"), std::string::npos);
    EXPECT_EQ(dialogs.file_requests.size(), 1u);  // the save dialog was still offered
}

TEST_F(RecordingTest, AnUnwritableScratchFileAtTheStartRecordsNothingAndSaysSo) {
    std::filesystem::remove_all(app().temp_dir);
    rate = 16000;
    strip->button_sprecordClick();
    EXPECT_FALSE(strip->recording());
    EXPECT_FALSE(strip->recorder().Device().IsOpen());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(strip->transport(), TransportState::Stopped);
}

}  // namespace

namespace {

TEST_F(RecordingTest, WhileRecordingTheScratchFileIsAlwaysAWholeVoiceFile) {
    // What a killed program leaves behind: the file as it stands between two
    // buffers, which the next start recovers.
    record(5, 800);
    strip->button_pauseClick();  // no append in progress while the file is read
    ui.pump_for(std::chrono::milliseconds(50));
    std::vector<uint8_t> file = read_file(app().temp_recording_path);
    ASSERT_GT(file.size(), 512u);
    EXPECT_TRUE(kolt_filecheck(file.data()));
    EXPECT_EQ(header_title(file.data()), "temp_recording");
    EXPECT_EQ(header_ext(file.data()), "vkd");
    std::vector<uint8_t> stream(file.begin() + 512, file.end());
    std::vector<int16_t> decoded = as_samples(expected_playback(stream, 1));
    EXPECT_GT(decoded.size(), 16000u / 2);
    dialogs.save_answers.push_back(std::nullopt);
    strip->button_stopClick();
}

}  // namespace
