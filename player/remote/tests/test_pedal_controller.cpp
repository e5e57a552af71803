// What the pedals do to the transport, by the transcription convention.
#include <gtest/gtest.h>

#include "player/remote/pedal_controller.h"
#include "player/remote/tests/fake_transport.h"

namespace murrel {
namespace {

using remotetest::FakeTransport;
using Kind = PedalEvent::Kind;

class PedalControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.rewind_on_release_ms = 1500;
        settings.skip_step_ms = 2000;
        controller.set_settings(settings);
    }
    void pedal(PedalAction a, Kind k) { controller.handle({a, k, 0}); }

    FakeTransport transport;
    PedalController controller{transport};
    PedalSettings settings;
};

TEST_F(PedalControllerTest, HoldingPlayPlaysAndLettingGoPausesFurtherBack) {
    transport.rewind_on_resume_ms = 2000;  // the player's own, for a resume by hand
    pedal(PedalAction::Play, Kind::Press);
    EXPECT_EQ(transport.status(), PlaybackStatus::Playing);
    transport.position = 10000;  // played on
    pedal(PedalAction::Play, Kind::Release);
    EXPECT_EQ(transport.status(), PlaybackStatus::Paused);
    EXPECT_EQ(transport.position, 8500);
    pedal(PedalAction::Play, Kind::Press);
    EXPECT_EQ(transport.status(), PlaybackStatus::Playing);
    EXPECT_EQ(transport.position, 8500) << "playing on starts where the release left it, not rewound twice";
    // Near the start the rewind stops at the start.
    transport.position = 700;
    pedal(PedalAction::Play, Kind::Release);
    EXPECT_EQ(transport.position, 0);
}

TEST_F(PedalControllerTest, ReleasingPlayOfAFileThatEndedOrWasPausedByHandMovesNothing) {
    pedal(PedalAction::Play, Kind::Press);
    transport.stop();  // the file played to its end while the pedal was held
    transport.calls.clear();
    pedal(PedalAction::Play, Kind::Release);
    EXPECT_TRUE(transport.calls.empty());
    pedal(PedalAction::Play, Kind::Press);
    transport.position = 5000;
    transport.pause();  // the pause button, pedal still down
    pedal(PedalAction::Play, Kind::Release);
    EXPECT_EQ(transport.position, 5000);
}

TEST_F(PedalControllerTest, RewindAndFastForwardStepAtThePressAndEachRepeatButNotAtTheRelease) {
    pedal(PedalAction::Play, Kind::Press);
    transport.position = 30000;
    pedal(PedalAction::Rewind, Kind::Press);
    pedal(PedalAction::Rewind, Kind::Repeat);
    pedal(PedalAction::Rewind, Kind::Release);
    EXPECT_EQ(transport.position, 26000);
    pedal(PedalAction::FastForward, Kind::Press);
    EXPECT_EQ(transport.position, 28000);
    EXPECT_EQ(transport.status(), PlaybackStatus::Playing) << "moving does not pause";
    // Paused files move too, and rewind stops at the start.
    transport.pause();
    transport.position = 1000;
    pedal(PedalAction::Rewind, Kind::Press);
    EXPECT_EQ(transport.position, 0);
}

TEST_F(PedalControllerTest, FastForwardStopsShortOfTheEndInsteadOfEndingThePlayback) {
    pedal(PedalAction::Play, Kind::Press);
    transport.position = 59000;
    pedal(PedalAction::FastForward, Kind::Press);
    pedal(PedalAction::FastForward, Kind::Repeat);
    EXPECT_EQ(transport.status(), PlaybackStatus::Playing);
    EXPECT_EQ(transport.position, 59999);
}

TEST_F(PedalControllerTest, WithNothingOpenTheMovingPedalsDoNothing) {
    pedal(PedalAction::Rewind, Kind::Press);
    pedal(PedalAction::FastForward, Kind::Repeat);
    EXPECT_TRUE(transport.calls.empty());
}

}  // namespace
}  // namespace murrel
