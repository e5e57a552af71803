// The desktop's transport over the real player strip on a virtual sound
// card: the strip's own handlers run (its buttons and display follow), a
// time set by the desktop reads back the same, the time display moves at
// once, and the file's title and length come from the file.
#include <gtest/gtest.h>

#include <cstring>

#include "player/remote/strip_transport.h"
#include "player/tests/player_fixture.h"

namespace murrel {
namespace {

using namespace playertest;

class StripTransportTest : public StripTest {
protected:
    std::string time() const { return strip->display().minute + ":" + strip->display().second; }
};

TEST_F(StripTransportTest, PlayPauseAndStopRunTheStripsOwnHandlers) {
    backend.set_clock(VirtualClock::Manual);
    StripTransport t(*strip);
    EXPECT_EQ(t.status(), PlaybackStatus::Stopped);
    t.play();  // nothing selected
    EXPECT_EQ(t.status(), PlaybackStatus::Stopped);
    selected = sp_file("memo.vkd", 40000);
    t.play();
    EXPECT_EQ(t.status(), PlaybackStatus::Playing);
    EXPECT_EQ(strip->display().state_image, 17);
    EXPECT_FALSE(strip->buttons()[TransportButton::Play]);
    t.play_pause();
    EXPECT_EQ(t.status(), PlaybackStatus::Paused);
    EXPECT_TRUE(strip->paused());
    t.pause();  // already paused: stays
    EXPECT_EQ(t.status(), PlaybackStatus::Paused);
    t.play_pause();
    EXPECT_EQ(t.status(), PlaybackStatus::Playing);
    EXPECT_EQ(strip->playing_path(), selected);
    t.stop();
    EXPECT_EQ(t.status(), PlaybackStatus::Stopped);
    EXPECT_FALSE(strip->MMWaveOut_vkdplay().IsOpen());
    EXPECT_FALSE(t.track());
}

TEST_F(StripTransportTest, TheDesktopsRateIsTheStripsSpeedInItsStepsAndRange) {
    StripTransport t(*strip);
    EXPECT_DOUBLE_EQ(t.min_rate(), 0.5);
    EXPECT_DOUBLE_EQ(t.max_rate(), 2.0);
    t.set_rate(0.7);
    EXPECT_EQ(strip->speed(), 70);
    EXPECT_DOUBLE_EQ(t.rate(), 0.7);
    t.set_rate(1.23);  // between two steps: the nearer
    EXPECT_EQ(strip->speed(), 125);
    t.set_rate(5.0);
    EXPECT_EQ(strip->speed(), 200);
    t.set_rate(0.1);
    EXPECT_EQ(strip->speed(), 50);
    t.set_rate(0.0);  // no speed at all: refused, the speed stays
    EXPECT_EQ(strip->speed(), 50);
    strip->speed_up();
    EXPECT_DOUBLE_EQ(t.rate(), 0.55) << "the strip's own control is what the desktop reads";
}

TEST_F(StripTransportTest, AVoiceFileTakesATimeAndShowsItAtOncePlayingOrPaused) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("minute.vkd", 120000);
    StripTransport t(*strip);
    t.play();
    t.seek(30000);
    // 30 s of 16 kbit/s is offset 60,000; the reset has read its ten frames
    // ahead from there at once, as after a seek with the slider.
    EXPECT_GE(strip->voice().read_pos(), 60000);
    EXPECT_LE(strip->voice().read_pos(), 61100);
    EXPECT_GE(t.position_ms(), 30000);
    EXPECT_LT(t.position_ms(), 30600);
    EXPECT_EQ(time(), "00:30") << "the time display waited for its timer";
    const int64_t after_seek = t.position_ms();
    ASSERT_TRUE(advance_until([&] { return t.position_ms() > after_seek; })) << "playing on after the seek";

    t.pause();
    t.seek(10000);
    EXPECT_EQ(t.status(), PlaybackStatus::Paused) << "a seek while paused started playing";
    EXPECT_EQ(time(), "00:10");
    t.seek(-5000);
    EXPECT_LT(t.position_ms(), 1000) << "a time before the start is the start";
    t.play();
    EXPECT_EQ(t.status(), PlaybackStatus::Playing);
    ASSERT_TRUE(advance_until([&] { return strip->voice().read_pos() > 4000; }));
    EXPECT_LT(strip->voice().read_pos(), 20000) << "the resumed file did not start from the new place";
    t.stop();
}

TEST_F(StripTransportTest, ResumingInPlaceSkipsTheStripsRewindThatAResumeByHandTakes) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("minute.vkd", 120000);
    strip->set_rewind_ms(2000);
    StripTransport t(*strip);
    t.play();
    t.seek(30000);
    t.pause();
    const int64_t paused_at = t.position_ms();
    t.play_in_place();
    EXPECT_EQ(t.status(), PlaybackStatus::Playing);
    EXPECT_GE(t.position_ms(), paused_at) << "the pedal's resume went back again";
    t.pause();
    const int64_t paused_again = t.position_ms();
    t.play();
    EXPECT_EQ(t.status(), PlaybackStatus::Playing);
    EXPECT_LT(t.position_ms(), paused_again - 1000) << "a resume by hand lost the strip's rewind";
    t.stop();
    t.play_in_place();  // stopped: as play, from the selected file
    EXPECT_EQ(t.status(), PlaybackStatus::Playing);
    t.stop();
}

TEST_F(StripTransportTest, ATimeAtOrPastTheEndEndsThePlaybackAsTheSlidersEndDoes) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("short.vkd", 20000);
    StripTransport t(*strip);
    t.play();
    t.seek(11000);  // 20,000 bytes + header = 10.256 s: past the end
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(strip->display(), PlayerDisplay{});
    t.seek(1000);  // nothing open: nothing happens
    EXPECT_EQ(t.status(), PlaybackStatus::Stopped);
}

TEST_F(StripTransportTest, TheTrackIsTheVoiceFilesOwnTitleAndItsLength) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("x.vkd", 120000);
    {
        // The recorder's title differs from the name the file was given.
        std::fstream f(selected, std::ios::in | std::ios::out | std::ios::binary);
        char title[kolt::kFileTitleSize] = {};
        std::strcpy(title, "Interview 7");
        std::memset(title + 11, ' ', 5);
        f.seekp(kolt::kFileTitle);
        f.write(title, sizeof title);
    }
    StripTransport t(*strip);
    t.play();
    const auto track = t.track();
    ASSERT_TRUE(track);
    EXPECT_EQ(track->title, "Interview 7");
    EXPECT_EQ(track->length_ms, 60000);
    EXPECT_EQ(track->path, selected);
    t.stop();

    // A file whose title field is empty is called by its name.
    selected = sp_file("memo 12.vkd", 4000);
    {
        std::fstream f(selected, std::ios::in | std::ios::out | std::ios::binary);
        const char none[kolt::kFileTitleSize] = {};
        f.seekp(kolt::kFileTitle);
        f.write(none, sizeof none);
    }
    t.play();
    ASSERT_TRUE(t.track());
    EXPECT_EQ(t.track()->title, "memo 12");
    t.stop();
}

TEST_F(StripTransportTest, AWavFileSeeksInMillisecondsAndReportsItsLength) {
    backend.set_clock(VirtualClock::Manual);
    selected = scratch.file("talk.wav");
    write_wav(selected, tone(16000, 4.0, 300), 16000, 1);
    StripTransport t(*strip);
    t.play();
    ASSERT_EQ(strip->play_kind(), kFileWav);
    ASSERT_TRUE(t.track());
    EXPECT_EQ(t.track()->length_ms, 4000);
    EXPECT_EQ(t.track()->title, "talk");
    t.seek(2500);
    ASSERT_TRUE(advance_until([&] { return t.position_ms() >= 2500; }));
    EXPECT_LT(t.position_ms(), 3200);
    EXPECT_EQ(time(), "00:02");
    t.seek(4000);
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(t.status(), PlaybackStatus::Stopped);
}

}  // namespace
}  // namespace murrel
