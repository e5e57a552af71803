// The pedal reader through its real thread, folder watch and event decoding,
// fed with recorded evdev streams through pipes (no kernel device needed):
// what reaches the user-interface thread for presses, releases, repeats,
// devices coming and going, keyboards, and the learn mode; and how long a
// press takes to become the player's play call.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>

#include "audio/devices/ui_dispatcher.h"
#include "player/remote/pedal_controller.h"
#include "player/remote/pedal_reader.h"
#include "player/remote/tests/fake_inputs.h"
#include "testsupport/scratch_dir.h"

namespace murrel {
namespace {

using remotetest::FakeInputs;
using namespace std::chrono_literals;
using Kind = PedalEvent::Kind;

struct Seen {
    PedalAction action;
    Kind kind;
    bool operator==(const Seen&) const = default;
};

class PedalReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = scratch.path() / "input";
        std::filesystem::create_directories(dir);
    }
    void start(PedalSettings settings = {}) {
        reader = std::make_unique<PedalReader>(ui, PedalReader::Options{dir.string(), inputs.opener()});
        reader->set_settings(settings);
        reader->OnPedal = [this](const PedalEvent& e) { seen.push_back({e.action, e.kind}); };
        reader->OnLearned = [this](const LearnedKey& k) { learned.push_back(k); };
        reader->OnDevicesChanged = [this] { ++device_changes; };
        std::string why;
        ASSERT_TRUE(reader->start(why)) << why;
    }
    bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds timeout = 3000ms) {
        return ui.pump_until(done, timeout);
    }
    bool wait_pedals(size_t n) {
        return wait_for([&] { return reader->devices().pedals.size() == n; });
    }

    testsupport::ScratchDir scratch;
    std::filesystem::path dir;
    FakeInputs inputs{scratch.path() / "input"};
    PumpDispatcher ui;
    std::unique_ptr<PedalReader> reader;
    std::vector<Seen> seen;
    std::vector<LearnedKey> learned;
    int device_changes = 0;
};

TEST_F(PedalReaderTest, ARecordedStreamOfThreePedalsGivesEachPressAndReleaseOnceAndInOrder) {
    inputs.plug("event3", remotetest::three_pedals());
    PedalSettings slow;
    slow.skip_repeat_ms = 5000;  // no repeats in this stream
    start(slow);
    ASSERT_TRUE(wait_pedals(1));
    // As recorded from a pedal: each change framed by its scan code and the
    // report's end; the kernel's autorepeat of a held key; one record split
    // across two writes.
    using R = FakeInputs;
    std::vector<input_event> stream{
        R::record(EV_MSC, MSC_SCAN, 0x90002), R::record(EV_KEY, BTN_1, 1), R::record(EV_SYN, SYN_REPORT, 0),
        R::record(EV_KEY, BTN_1, 2),          R::record(EV_SYN, SYN_REPORT, 0),
        R::record(EV_MSC, MSC_SCAN, 0x90001), R::record(EV_KEY, BTN_0, 1), R::record(EV_SYN, SYN_REPORT, 0),
        R::record(EV_KEY, BTN_0, 0),          R::record(EV_SYN, SYN_REPORT, 0),
        R::record(EV_KEY, BTN_1, 0),          R::record(EV_SYN, SYN_REPORT, 0),
        R::record(EV_KEY, BTN_2, 1),          R::record(EV_KEY, BTN_2, 0), R::record(EV_SYN, SYN_REPORT, 0),
        // A release of a key that was never seen pressed (pressed before the start).
        R::record(EV_KEY, BTN_0, 0),          R::record(EV_SYN, SYN_REPORT, 0),
    };
    ASSERT_TRUE(inputs.write_records("event3", stream, 5 * sizeof(input_event) + 7));
    const std::vector<Seen> expected{{PedalAction::Play, Kind::Press},        {PedalAction::Rewind, Kind::Press},
                                     {PedalAction::Rewind, Kind::Release},    {PedalAction::Play, Kind::Release},
                                     {PedalAction::FastForward, Kind::Press}, {PedalAction::FastForward, Kind::Release}};
    ASSERT_TRUE(wait_for([&] { return seen.size() >= expected.size(); }));
    ui.pump_for(100ms);
    EXPECT_EQ(seen, expected);
}

TEST_F(PedalReaderTest, KeyboardsAreOpenedButTypingNeverMovesTheFile) {
    inputs.plug("event0", remotetest::a_keyboard());
    inputs.plug("event1", remotetest::three_pedals());
    start();
    ASSERT_TRUE(wait_pedals(1));
    EXPECT_EQ(reader->devices().others, 1);
    ASSERT_TRUE(inputs.open("event0"));
    // The keyboard's codes would be a pedal's under the usual layout.
    for (int code : {KEY_ESC, KEY_ENTER, KEY_A}) {
        ASSERT_TRUE(inputs.key("event0", code, 1));
        ASSERT_TRUE(inputs.key("event0", code, 0));
    }
    ASSERT_TRUE(inputs.key("event1", BTN_1, 1));
    ASSERT_TRUE(wait_for([&] { return !seen.empty(); }));
    ui.pump_for(100ms);
    EXPECT_EQ(seen, (std::vector<Seen>{{PedalAction::Play, Kind::Press}}));
}

TEST_F(PedalReaderTest, APedalPluggedInLaterIsPickedUpAndOnePulledOutReleasesWhatWasHeld) {
    start();
    ASSERT_TRUE(wait_pedals(0));
    inputs.plug("event5", remotetest::three_pedals());
    ASSERT_TRUE(wait_pedals(1)) << "the new node was not seen";
    EXPECT_GT(device_changes, 0);
    ASSERT_TRUE(inputs.key("event5", BTN_1, 1));
    ASSERT_TRUE(wait_for([&] { return seen.size() == 1; }));
    inputs.unplug("event5");
    ASSERT_TRUE(wait_for([&] { return seen.size() == 2; })) << "pulling the pedal out left play held";
    EXPECT_EQ(seen[1], (Seen{PedalAction::Play, Kind::Release}));
    EXPECT_TRUE(wait_pedals(0));

    // A device whose stream ends without its node going (the kernel's ENODEV).
    inputs.plug("event6", remotetest::three_pedals());
    ASSERT_TRUE(wait_pedals(1));
    ASSERT_TRUE(inputs.key("event6", BTN_1, 1));
    ASSERT_TRUE(wait_for([&] { return seen.size() == 3; }));
    inputs.hang_up("event6");
    ASSERT_TRUE(wait_for([&] { return seen.size() == 4; }));
    EXPECT_EQ(seen[3], (Seen{PedalAction::Play, Kind::Release}));
    EXPECT_TRUE(wait_pedals(0));
}

TEST_F(PedalReaderTest, ANodeTheUserMayNotReadYetIsToldAndOpenedOnceItsPermissionsChange) {
    inputs.plug("event2", remotetest::three_pedals(), /*denied=*/true);
    start();
    ASSERT_TRUE(wait_for([&] { return reader->devices().unreadable.size() == 1; }));
    EXPECT_TRUE(reader->devices().pedals.empty());
    inputs.allow("event2");
    ASSERT_TRUE(wait_pedals(1));
    EXPECT_TRUE(reader->devices().unreadable.empty());
}

TEST_F(PedalReaderTest, AnInputFolderThatAppearsLaterIsWatchedFromThen) {
    std::filesystem::remove(dir);
    start();
    std::filesystem::create_directories(dir);
    // The folder's watch is set up on its creation; a node made at once may
    // come before it, and is found by the scan that follows.
    inputs.plug("event0", remotetest::three_pedals());
    ASSERT_TRUE(wait_pedals(1));
    inputs.plug("event1", remotetest::three_pedals());
    ASSERT_TRUE(wait_pedals(2));
}

TEST_F(PedalReaderTest, TheLearnModeTakesOnePedalPressFromAnyPedalAndNothingElse) {
    inputs.plug("event0", remotetest::a_keyboard());
    inputs.plug("event1", remotetest::three_pedals());
    start();
    ASSERT_TRUE(wait_pedals(1));
    reader->set_learning(true);
    ASSERT_TRUE(inputs.key("event0", KEY_ENTER, 1));  // the key that closes the dialog
    ASSERT_TRUE(inputs.key("event1", BTN_2, 1));
    ASSERT_TRUE(inputs.key("event1", BTN_2, 0));
    ASSERT_TRUE(wait_for([&] { return !learned.empty(); }));
    ui.pump_for(100ms);
    ASSERT_EQ(learned.size(), 1u);
    EXPECT_EQ(learned[0].code, BTN_2);
    EXPECT_EQ(learned[0].device.vendor, 0x05f3);
    EXPECT_TRUE(seen.empty()) << "a press being learned also acted";
    EXPECT_FALSE(reader->learning());
    ASSERT_TRUE(inputs.key("event1", BTN_1, 1));
    ASSERT_TRUE(wait_for([&] { return !seen.empty(); }));
    EXPECT_EQ(learned.size(), 1u);
}

TEST_F(PedalReaderTest, AHeldRewindRepeatsAtTheSettingsPaceUntilReleasedAndPlayNeverRepeats) {
    inputs.plug("event1", remotetest::three_pedals());
    PedalSettings s;
    s.skip_repeat_ms = 60;
    start(s);
    ASSERT_TRUE(wait_pedals(1));
    ASSERT_TRUE(inputs.key("event1", BTN_1, 1));  // play held all along
    ASSERT_TRUE(inputs.key("event1", BTN_0, 1));
    const auto pressed = std::chrono::steady_clock::now();
    ui.pump_for(400ms);
    ASSERT_TRUE(inputs.key("event1", BTN_0, 0));
    const double held_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pressed).count();
    ui.pump_for(200ms);
    const auto repeats = std::count(seen.begin(), seen.end(), Seen{PedalAction::Rewind, Kind::Repeat});
    // Held ≈ 400 ms at one repeat per 60 ms: 6; a slow machine may lose one or two.
    EXPECT_GE(repeats, static_cast<long>(held_ms / 60) - 2) << held_ms;
    EXPECT_LE(repeats, static_cast<long>(held_ms / 60) + 1) << held_ms;
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), (Seen{PedalAction::Rewind, Kind::Release})) << "a repeat came after the release";
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Seen{PedalAction::Play, Kind::Repeat}), 0);
}

TEST_F(PedalReaderTest, ADisabledPedalDoesNothingUntilSwitchedOnAgain) {
    inputs.plug("event1", remotetest::three_pedals());
    PedalSettings off;
    off.enabled = false;
    start(off);
    ASSERT_TRUE(wait_pedals(1));
    ASSERT_TRUE(inputs.key("event1", BTN_1, 1));
    ASSERT_TRUE(inputs.key("event1", BTN_1, 0));
    ui.pump_for(150ms);
    EXPECT_TRUE(seen.empty());
    reader->set_settings(PedalSettings{});
    ASSERT_TRUE(inputs.key("event1", BTN_1, 1));
    ASSERT_TRUE(wait_for([&] { return !seen.empty(); }));
}

// Counts the moment of each play call.
class StopwatchTransport final : public TransportControl {
public:
    void play() override {
        calls.push_back(std::chrono::steady_clock::now());
        status_ = PlaybackStatus::Playing;
    }
    void pause() override { status_ = PlaybackStatus::Paused; }
    void play_pause() override {}
    void stop() override {}
    void seek(int64_t) override {}
    int64_t position_ms() override { return 0; }
    PlaybackStatus status() const override { return status_; }
    std::optional<TrackInfo> track() const override { return std::nullopt; }
    bool can_play() const override { return true; }
    double rate() const override { return 1; }
    void set_rate(double) override {}
    double min_rate() const override { return 1; }
    double max_rate() const override { return 1; }

    std::vector<std::chrono::steady_clock::time_point> calls;

private:
    PlaybackStatus status_ = PlaybackStatus::Paused;
};

TEST_F(PedalReaderTest, APressReachesThePlayersPlayCallWellUnderThirtyMilliseconds) {
    inputs.plug("event1", remotetest::three_pedals());
    PedalSettings s;
    s.rewind_on_release_ms = 0;
    start(s);
    ASSERT_TRUE(wait_pedals(1));
    StopwatchTransport transport;
    PedalController controller(transport);
    controller.set_settings(s);
    reader->OnPedal = [&](const PedalEvent& e) { controller.handle(e); };
    std::vector<double> ms;
    for (int i = 0; i < 40; ++i) {
        const auto before = std::chrono::steady_clock::now();
        ASSERT_TRUE(inputs.key("event1", BTN_1, 1));
        ASSERT_TRUE(wait_for([&] { return transport.calls.size() == static_cast<size_t>(i + 1); }, 1000ms));
        ms.push_back(std::chrono::duration<double, std::milli>(transport.calls.back() - before).count());
        ASSERT_TRUE(inputs.key("event1", BTN_1, 0));
        ui.pump_for(5ms);
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2], worst = ms.back();
    std::printf("press to play call: median %.3f ms, 95th %.3f ms, worst %.3f ms over %zu presses\n", median,
                ms[ms.size() * 95 / 100], worst, ms.size());
    EXPECT_LT(worst, 30.0);
}

}  // namespace
}  // namespace murrel
