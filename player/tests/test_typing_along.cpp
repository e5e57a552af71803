// Playback for typing along: speed with the pitch kept, positions in file
// time whatever the speed, the rewind on resume, the skip keys' steps, the
// play/pause toggle, and where each file was left, kept in the INI file.
#include <fstream>

#include "player/playback_settings.h"
#include "player/tests/player_fixture.h"
#include "shell/profile.h"

using namespace murrel;
using namespace murrel::playertest;

namespace {

class TypingAlongTest : public StripTest {
protected:
    void SetUp() override {
        StripTest::SetUp();
        backend.set_clock(VirtualClock::Manual);
    }
    // Lets `ms` of output pass through the device at `rate`, in 10 ms steps.
    void play_for(int ms, int rate = 16000) {
        for (int t = 0; t < ms; t += 10) {
            backend.advance_output(static_cast<size_t>(rate / 100));
            ui.pump();
        }
    }
    std::string wav_file(const std::string& name, double seconds) {
        std::string path = scratch.file(name);
        write_wav(path, tone(16000, seconds, 500), 16000, 1);
        return path;
    }
    std::string vkd_file(const std::string& name, double seconds) {
        std::string path = scratch.file(name);
        write_voice_file(path, 5, encode_stream(5, tone(16000, seconds, 500)));
        return path;
    }
};

TEST_F(TypingAlongTest, TheTimeDisplayAndPositionStayInFileTimeAcrossASpeedChange) {
    for (bool voice : {false, true}) {
        SCOPED_TRACE(voice ? "voice file" : "WAV file");
        selected = voice ? vkd_file("speech.vkd", 12) : wav_file("speech.wav", 12);
        strip->set_speed(50);
        strip->button_playClick();
        ASSERT_EQ(strip->transport(), TransportState::Playing);
        const int64_t start = strip->position_ms();
        play_for(4000);  // four seconds heard at half speed: two seconds of the file
        EXPECT_NEAR(double(strip->position_ms() - start), 2000.0, 150.0);
        strip->set_speed(200);
        play_for(1000);  // then one second at double speed
        // The audio already queued at the device plays out at the old speed
        // first: that is how long a change takes to be heard.
        const TMMTimeStretch& stretch = voice ? strip->VoiceStretch() : strip->MMWavePlayer().Stretch();
        const int queued_ms = kStretchQueueBuffers * stretch.MaxChunkMs();
        EXPECT_LE(queued_ms, 400);
        const double expected = 2000.0 + queued_ms * 0.5 + (1000.0 - queued_ms) * 2.0;
        // Five seconds were heard; the file is near four.
        const int64_t at = strip->position_ms();
        EXPECT_NEAR(double(at - start), expected, 150.0);
        if (!voice) {
            strip->Timer_timedisplayTimer();
            const int64_t shown = std::stoi(strip->display().second);
            EXPECT_NEAR(double(shown), at / 1000.0, 1.0);
            EXPECT_LT(shown, 5);
            EXPECT_NEAR(strip->display().position, at * 100.0 / 12000, 1.0);
        }
        EXPECT_EQ(strip->display().speed, 200);
        strip->button_stopClick();
        ASSERT_TRUE(play_to_end());
        strip->set_speed(100);
    }
}

TEST_F(TypingAlongTest, SpeedKeepsToItsRangeAndStepsOfFive) {
    strip->set_speed(100);
    for (int i = 0; i < 30; ++i) strip->speed_up();
    EXPECT_EQ(strip->speed(), 200);
    for (int i = 0; i < 11; ++i) strip->speed_down();
    EXPECT_EQ(strip->speed(), 145);
    strip->set_speed(12);
    EXPECT_EQ(strip->speed(), 50);
    EXPECT_EQ(strip->MMWavePlayer().Stretch().Speed(), 50);
    EXPECT_EQ(strip->VoiceStretch().Speed(), 50);
}

TEST_F(TypingAlongTest, ResumingAfterPauseStartsTheRewindEarlier) {
    struct Case {
        int rewind_asked, rewind_kept;
    };
    for (Case c : {Case{2000, 2000}, Case{0, 0}, Case{5000, 5000}, Case{9000, 5000}, Case{-3, 0}}) {
        SCOPED_TRACE(c.rewind_asked);
        strip->set_rewind_ms(c.rewind_asked);
        EXPECT_EQ(strip->rewind_ms(), c.rewind_kept);
        selected = wav_file("rewind.wav", 12);
        strip->resume_positions().forget(selected);
        strip->button_playClick();
        play_for(6000);
        strip->button_pauseClick();
        const int64_t paused_at = strip->position_ms();
        EXPECT_NEAR(double(paused_at), 6000.0, 100.0);
        strip->button_playClick();  // resume
        EXPECT_EQ(strip->transport(), TransportState::Playing);
        EXPECT_NEAR(double(strip->position_ms()), double(paused_at - c.rewind_kept), 100.0);
        strip->button_stopClick();
        ASSERT_TRUE(play_to_end());
    }
}

TEST_F(TypingAlongTest, SkipsMoveByTheirStepsAndStopAtTheEdgesOfTheFile) {
    for (bool voice : {false, true}) {
        SCOPED_TRACE(voice ? "voice file" : "WAV file");
        selected = voice ? vkd_file("skip.vkd", 30) : wav_file("skip.wav", 30);
        strip->button_playClick();
        play_for(500);
        const int64_t a = strip->position_ms();
        strip->skip(PlayerStrip::kSkipLongMs);
        EXPECT_NEAR(double(strip->position_ms()), double(a + 10000), 150.0);
        strip->skip(PlayerStrip::kSkipShortMs);
        EXPECT_NEAR(double(strip->position_ms()), double(a + 12000), 150.0);
        strip->skip(-PlayerStrip::kSkipShortMs);
        EXPECT_NEAR(double(strip->position_ms()), double(a + 10000), 150.0);
        // The audio after a skip is the new place's, not what was queued.
        backend.clear_played();
        play_for(200);
        EXPECT_FALSE(backend.played(0).empty());
        strip->skip(-60000);  // before the start: the start of the audio
        EXPECT_LT(strip->position_ms(), voice ? 400 : 50);
        EXPECT_EQ(strip->transport(), TransportState::Playing);
        strip->skip(60000);  // past the end: stopped, as the slider at 100
        ASSERT_TRUE(play_to_end());
        EXPECT_EQ(strip->transport(), TransportState::Stopped);
    }
}

TEST_F(TypingAlongTest, PlayPauseTogglesBetweenTheTransportStates) {
    selected = wav_file("toggle.wav", 5);
    strip->set_rewind_ms(0);
    strip->play_pause_toggle();
    EXPECT_EQ(strip->transport(), TransportState::Playing);
    play_for(300);
    strip->play_pause_toggle();
    EXPECT_EQ(strip->transport(), TransportState::Paused);
    strip->play_pause_toggle();
    EXPECT_EQ(strip->transport(), TransportState::Playing);
    strip->button_stopClick();
}

TEST_F(TypingAlongTest, PlayingAFileAgainStartsWhereItWasLeftLessTheRewind) {
    const std::string ini = scratch.file("Murrelphonic.ini");
    strip->use_settings_file(ini, "MainSpeed");
    selected = wav_file("left.wav", 20);
    strip->button_playClick();
    play_for(7000);
    strip->button_stopClick();
    ASSERT_TRUE(play_to_end());
    ASSERT_TRUE(strip->resume_positions().find(selected).has_value());
    EXPECT_NEAR(double(*strip->resume_positions().find(selected)), 7000.0, 100.0);

    // A new run of the program reads it back from the INI file.
    make_strip();
    ASSERT_TRUE(strip->probe_sound_output());
    strip->use_settings_file(ini, "MainSpeed");
    strip->button_playClick();
    EXPECT_NEAR(double(strip->position_ms()), 5000.0, 100.0);  // 7 s less the 2 s rewind

    // Heard to its end: next time from the start.
    strip->skip(20000);
    ASSERT_TRUE(play_to_end());
    EXPECT_FALSE(strip->resume_positions().find(selected).has_value());
    strip->button_playClick();
    EXPECT_LT(strip->position_ms(), 50);
    strip->button_stopClick();
    ASSERT_TRUE(play_to_end());
}

TEST_F(TypingAlongTest, EachWindowsSpeedAndTheRewindAreKeptInTheIniFile) {
    const std::string ini = scratch.file("Murrelphonic.ini");
    {
        std::ofstream f(ini);
        f << "[Playback]\nEditSpeed=150\nRewindMs=3500\n";
    }
    strip->use_settings_file(ini, "MainSpeed");
    EXPECT_EQ(strip->speed(), 100);  // nothing kept for the main window yet
    EXPECT_EQ(strip->rewind_ms(), 3500);
    strip->set_speed(75);
    strip->set_rewind_ms(1000);
    ProfileFile read(ini);
    EXPECT_EQ(read.read_integer(kPlaybackSection, "MainSpeed", 0), 75);
    EXPECT_EQ(read.read_integer(kPlaybackSection, "EditSpeed", 0), 150);  // the other window's stays
    EXPECT_EQ(read.read_integer(kPlaybackSection, "RewindMs", 0), 1000);

    // Values nobody could have meant read as the defaults.
    const std::pair<const char*, int> speeds[] = {{"75", 75}, {"77", 75}, {"20", 100}, {"300", 100}, {"fast", 100}};
    for (auto [text, kept] : speeds) {
        ProfileFile f = ProfileFile::from_text(std::string("[Playback]\nMainSpeed=") + text + "\nRewindMs=-1\n");
        EXPECT_EQ(read_window_speed(f, "MainSpeed"), kept) << text;
        EXPECT_EQ(read_rewind_ms(f), kRewindDefaultMs);
    }
}

TEST(ResumePositions, KeepTheLastHundredFilesNewestFirst) {
    ResumePositions r;
    for (int i = 0; i < 101; ++i) r.remember("/f/" + std::to_string(i) + ".vkd", i * 1000);
    EXPECT_EQ(r.entries().size(), 100u);
    EXPECT_FALSE(r.find("/f/0.vkd"));  // the oldest went
    EXPECT_EQ(r.entries().front().first, "/f/100.vkd");
    r.remember("/f/1.vkd", 5);  // played again: to the front, once
    EXPECT_EQ(r.entries().front(), (std::pair<std::string, int64_t>{"/f/1.vkd", 5}));
    EXPECT_EQ(r.entries().size(), 100u);
    r.forget("/f/1.vkd");
    EXPECT_FALSE(r.find("/f/1.vkd"));
}

TEST(ResumePositions, SurviveTheIniFileAndSkipWhatCannotBeRead) {
    testsupport::ScratchDir scratch;
    const std::string ini = scratch.file("Murrelphonic.ini");
    {
        std::ofstream f(ini);
        f << "[Config]\nLanguage=1\n[Playback]\nResume1=9,/old/one.vkd\nResume2=oops\nResume3=12,\n"
             "Resume4=-5,/neg.vkd\n";
    }
    ResumePositions r;
    r.load(ProfileFile(ini));
    ASSERT_EQ(r.entries().size(), 1u);
    EXPECT_EQ(*r.find("/old/one.vkd"), 9);

    r.remember("/media/REC/a, b.vkd", 61250);  // a comma in the name
    r.remember("/media/REC/c.wav", 0);
    ProfileFile out(ini);
    r.save(out);
    ResumePositions back;
    back.load(ProfileFile(ini));
    EXPECT_EQ(back.entries(), r.entries());
    ProfileFile check(ini);
    EXPECT_EQ(check.read_integer("Config", "Language", 0), 1);  // the rest of the file stays
    EXPECT_EQ(check.read_string(kPlaybackSection, "Resume4"), "");  // left over from before: emptied
}

TEST(PlayerKeys, DefaultsUnlessTheIniFileSaysOtherwise) {
    PlayerKeys d = read_player_keys(ProfileFile::from_text(""));
    EXPECT_EQ(d.play_pause, "F8");
    EXPECT_EQ(d.skip_back, "F7");
    EXPECT_EQ(d.skip_forward_long, "Shift+F9");
    PlayerKeys k = read_player_keys(
        ProfileFile::from_text("[Playback]\nKeyPlayPause=Ctrl+P\nKeyFaster=none\nKeySlower=\n"));
    EXPECT_EQ(k.play_pause, "Ctrl+P");
    EXPECT_EQ(k.faster, "");           // switched off
    EXPECT_EQ(k.slower, "Ctrl+F7");    // empty keeps the default
}

}  // namespace
