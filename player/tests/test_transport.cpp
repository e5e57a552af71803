// The transport's button enables for each state and the time display's
// arithmetic, as pure functions over hand-checked values.
#include <gtest/gtest.h>

#include "player/timedisplay.h"
#include "player/transport.h"

using namespace murrel;

namespace {

using B = TransportButton;

// Which buttons a state enables (E), disables (D) or leaves (.), in the order
// convert, wavedit, email, help, about, shq, hq, sp, play, pause.
std::string pattern(TransportState s, int mode = 2) {
    ButtonChanges c = transport_changes(s, mode);
    std::string out;
    for (auto& v : c.change) out += v ? (*v ? 'E' : 'D') : '.';
    return out;
}

TEST(TransportEnables, EachStateSetsExactlyItsButtons) {
    EXPECT_EQ(pattern(TransportState::Stopped), "EEEEEEEEEE");
    EXPECT_EQ(pattern(TransportState::Recording), "DDDDDDDDD.");
    EXPECT_EQ(pattern(TransportState::RecordingPaused, 2), ".......ED.");
    EXPECT_EQ(pattern(TransportState::RecordingPaused, 3), "......E.D.");
    EXPECT_EQ(pattern(TransportState::RecordingPaused, 4), ".....E..D.");
    EXPECT_EQ(pattern(TransportState::Playing), "...DDDDDDE");
    EXPECT_EQ(pattern(TransportState::Paused), "...DDDDDED");
}

TEST(TransportEnables, TheStateImagesRunFromFifteenToNineteen) {
    EXPECT_EQ(state_image_index(TransportState::Recording), 15);
    EXPECT_EQ(state_image_index(TransportState::RecordingPaused), 16);
    EXPECT_EQ(state_image_index(TransportState::Playing), 17);
    EXPECT_EQ(state_image_index(TransportState::Paused), 18);
    EXPECT_EQ(state_image_index(TransportState::Stopped), 19);
}

TEST(TransportEnables, ARecordingPausedAndResumedKeepsOnlyItsOwnRecordButtonUsable) {
    ButtonStates b;
    apply_changes(b, transport_changes(TransportState::Recording, 3));
    apply_changes(b, transport_changes(TransportState::RecordingPaused, 3));
    EXPECT_TRUE(b[B::HqRecord]);
    EXPECT_FALSE(b[B::SpRecord] || b[B::ShqRecord] || b[B::Play] || b[B::Convert] || b[B::Help]);
    EXPECT_TRUE(b[B::Pause]);  // kept from before: recording does not touch it
    apply_changes(b, transport_changes(TransportState::Recording, 3));
    EXPECT_FALSE(b[B::HqRecord]);
    apply_changes(b, transport_changes(TransportState::Stopped, 3));
    EXPECT_EQ(b, ButtonStates{});
}

TEST(TransportEnables, PlaybackKeepsConversionAndMailWhilePausingTogglesPlayAndPause) {
    ButtonStates b;
    apply_changes(b, transport_changes(TransportState::Playing, 2));
    EXPECT_TRUE(b[B::Convert] && b[B::WavEdit] && b[B::Email] && b[B::Pause]);
    EXPECT_FALSE(b[B::Play]);
    apply_changes(b, transport_changes(TransportState::Paused, 2));
    EXPECT_TRUE(b[B::Play]);
    EXPECT_FALSE(b[B::Pause]);
}

TEST(TimeDisplay, MillisecondsSplitIntoHoursMinutesSeconds) {
    EXPECT_EQ(split_milliseconds(0), (Hms{0, 0, 0}));
    EXPECT_EQ(split_milliseconds(-5), (Hms{0, 0, 0}));
    EXPECT_EQ(split_milliseconds(999), (Hms{0, 0, 0}));
    EXPECT_EQ(split_milliseconds(61500), (Hms{0, 1, 1}));
    EXPECT_EQ(split_milliseconds(3723000), (Hms{1, 2, 3}));
    EXPECT_EQ(split_milliseconds(100 * 3600000LL), (Hms{100, 0, 0}));
}

TEST(TimeDisplay, VoiceTimeCountsTheHeaderAndReachesTheFullMinuteAtTheLastByte) {
    EXPECT_EQ(voice_elapsed_seconds(512, 16000), 0);
    EXPECT_EQ(voice_elapsed_seconds(120512, 16000), 60);
    EXPECT_EQ(voice_elapsed_seconds(120512, 32000), 30);
    EXPECT_EQ(voice_elapsed_seconds(1000, 0), 0);
    EXPECT_EQ(voice_slider_percent(120512, 120000, 16000), 100);
    EXPECT_EQ(voice_slider_percent(512, 120000, 16000), 0);  // under a second shows 0
    EXPECT_EQ(voice_slider_percent(60512, 120000, 16000), 50);
    EXPECT_EQ(voice_slider_percent(0, 120000, 16000), 0);
    EXPECT_EQ(split_seconds(3725), (Hms{1, 2, 5}));
    EXPECT_EQ(two_digits(0), "00");
    EXPECT_EQ(two_digits(7), "07");
    EXPECT_EQ(two_digits(123), "123");
}

TEST(TimeDisplay, SeeksLandOnTruncatedOffsetsWithoutTheHeader) {
    EXPECT_EQ(voice_seek_offset(50, 120000), 60000);
    EXPECT_EQ(voice_seek_offset(33, 1001), 330);
    EXPECT_EQ(voice_seek_offset(0, 120000), 0);
    EXPECT_EQ(wav_seek_ms(25, 10001), 2500);
    EXPECT_EQ(wav_slider_percent(999, 1000), 99);
    EXPECT_EQ(wav_slider_percent(5, 0), 0);
}

}  // namespace
