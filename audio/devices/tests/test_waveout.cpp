// TMMWaveOut against the virtual backend: states, limits, the refill
// contract, the chain and every failure text.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "audio/devices/device_errors.h"
#include "audio/devices/mmdsp.h"
#include "audio/devices/virtual_backend.h"
#include "audio/devices/waveout.h"
#include "testsupport/scripted_dialogs.h"

using namespace murrel;

namespace {

// A source link: bytes 0,1,2,… (mod 251) up to `total`, rewound by Reset.
class PatternSource : public TMMDSPComponent {
public:
    explicit PatternSource(size_t total) : total_(total) {}
    void BufferLoad(TMMWaveHdr* hdr, bool& more) override {
        size_t n = std::min<size_t>(hdr->dwBufferLength, total_ - pos_);
        for (size_t i = 0; i < n; ++i) hdr->lpData[i] = static_cast<char>((pos_ + i) % 251);
        pos_ += n;
        hdr->dwBytesRecorded = static_cast<uint32_t>(n);
        more = pos_ < total_;
        ++loads;
        if (OnBufferLoad) OnBufferLoad(this, hdr, more);
    }
    void Opened() override { log.push_back("Opened"); TMMDSPComponent::Opened(); }
    void Started() override { log.push_back("Started"); TMMDSPComponent::Started(); }
    void Paused() override { log.push_back("Paused"); TMMDSPComponent::Paused(); }
    void Restarted() override { log.push_back("Restarted"); TMMDSPComponent::Restarted(); }
    void Stopped() override { log.push_back("Stopped"); TMMDSPComponent::Stopped(); }
    void Closed() override { log.push_back("Closed"); TMMDSPComponent::Closed(); }
    void WasReset() override { log.push_back("Reset"); pos_ = 0; }

    std::vector<std::string> log;
    std::atomic<int> loads{0};

private:
    size_t total_;
    size_t pos_ = 0;
};

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i % 251);
    return v;
}

const std::string kPropertyText = "Change to property while device was open";

class WaveOutTest : public ::testing::Test {
protected:
    WaveOutTest() {
        format = MakePCMFormat(16, 1, 16000);
        ui_thread = std::this_thread::get_id();
    }

    std::unique_ptr<TMMWaveOut> make(TMMCBMode mode = TMMCBMode::cmThread) {
        auto out = std::make_unique<TMMWaveOut>(&backend, &ui);
        out->SetWaveFormat(&format);
        out->SetBufferSize(1000);
        out->SetNumBuffers(4);
        out->SetCallBackMode(mode);
        out->OnStop = [this](TMMDSPComponent*) {
            ++stops;
            stop_on_ui = std::this_thread::get_id() == ui_thread;
        };
        return out;
    }

    // Moves audio through the device until OnStop fired.
    bool play_to_end(size_t frames_per_step = 500) {
        return ui.pump_until([&] {
            backend.advance_output(frames_per_step);
            return stops > 0;
        });
    }

    VirtualBackend backend;
    PumpDispatcher ui;
    testsupport::ScriptedDialogs dialogs;
    TWaveFormatEx format;
    std::thread::id ui_thread;
    int stops = 0;
    bool stop_on_ui = false;
};

TEST_F(WaveOutTest, PropertiesKeepTheirLimits) {
    TMMWaveOut out(&backend, &ui);
    EXPECT_EQ(out.BufferSize(), 2048);
    EXPECT_EQ(out.NumBuffers(), 10);
    EXPECT_EQ(out.CallBackMode(), TMMCBMode::cmWindow);
    EXPECT_EQ(out.TimeFormat(), TMMTimeFormats::tfByte);
    EXPECT_EQ(out.ProductName(), "Virtual Output");
    out.SetBufferSize(10);
    EXPECT_EQ(out.BufferSize(), 32);
    out.SetNumBuffers(1);
    EXPECT_EQ(out.NumBuffers(), 10);
    out.SetNumBuffers(1000);
    EXPECT_EQ(out.NumBuffers(), 500);
    out.SetDeviceID(7);
    EXPECT_EQ(out.DeviceID(), InvalidId);
    EXPECT_EQ(out.ProductName(), "No wave audio playing device found");
    out.SetDeviceID(MapperId);
    EXPECT_EQ(out.ProductName(), "Virtual Output");
}

TEST_F(WaveOutTest, PropertiesCannotChangeWhileTheDeviceIsOpen) {
    auto out = make();
    out->Open();
    int errors = 0;
    out->OnError = [&](TMMDSPComponent*) { ++errors; };
    auto expect_refused = [&](auto change) {
        try {
            change();
            ADD_FAILURE() << "no error";
        } catch (const EMMWaveOutError& e) {
            EXPECT_EQ(e.what(), kPropertyText);
        }
    };
    expect_refused([&] { out->SetBufferSize(4096); });
    expect_refused([&] { out->SetNumBuffers(5); });
    expect_refused([&] { out->SetDeviceID(0); });
    expect_refused([&] { out->SetCallBackMode(TMMCBMode::cmWindow); });
    EXPECT_EQ(errors, 4);
    EXPECT_TRUE(out->IsOpen());  // a refused change leaves the device alone
    EXPECT_EQ(out->BufferSize(), 1000);
}

TEST_F(WaveOutTest, EffectiveSizeIsWholeBlocksOfTheFormat) {
    TMMDSPComponent link;
    link.SetWaveFormat(&format);
    EXPECT_EQ(link.ComputeEffectiveSize(8000), 8000);
    TWaveFormatEx three = format;
    three.nBlockAlign = 3;
    three.wBitsPerSample = 24;
    link.SetWaveFormat(&three);
    EXPECT_EQ(link.ComputeEffectiveSize(8000), 7998);
    EXPECT_EQ(link.ComputeEffectiveSize(2), 3);  // at least one block

    // The device hands the effective size to its chain when it opens.
    backend.set_output_devices({{"Wide", kAllStandardFormats, 2, [](const TWaveFormatEx&) { return true; }}});
    TMMWaveOut out(&backend, &ui);
    PatternSource source(100);
    out.SetInput(&source);
    out.SetBufferSize(8000);
    source.SetWaveFormat(&three);  // flows forward to the device
    out.Open();
    EXPECT_EQ(out.EffectiveBufferSize(), 7998);
    EXPECT_EQ(source.EffectiveBufferSize(), 7998);
    out.SetInput(nullptr);
}

TEST_F(WaveOutTest, OpenFailuresNameTheirCause) {
    struct Case {
        const char* name;
        std::function<void(TMMWaveOut&)> setup;
        std::string text;
    };
    TWaveFormatEx odd = MakePCMFormat(16, 1, 4000);
    std::vector<Case> cases = {
        {"invalid id", [](TMMWaveOut& o) { o.SetDeviceID(9); }, "Invalid DeviceID"},
        {"no format", [](TMMWaveOut& o) { o.SetWaveFormat(nullptr); },
         "WaveOutOpen:\n\rInvalid wave format"},
        {"unplayable", [&](TMMWaveOut& o) { o.SetWaveFormat(&odd); },
         "WaveOutOpen:\n\rThe actual device can't play this format"},
    };
    for (const Case& c : cases) {
        auto out = make();
        c.setup(*out);
        std::vector<std::string> events;
        out->OnError = [&](TMMDSPComponent*) { events.push_back("error"); };
        try {
            out->Open();
            ADD_FAILURE() << c.name;
        } catch (const EMMWaveOutError& e) {
            events.push_back("raised");
            EXPECT_EQ(e.what(), c.text) << c.name;
        }
        EXPECT_EQ(events, (std::vector<std::string>{"error", "raised"})) << c.name;
        EXPECT_FALSE(out->IsOpen()) << c.name;
    }
    backend.set_output_devices({});
    TMMWaveOut none(&backend, &ui);
    none.SetWaveFormat(&format);
    EXPECT_EQ(none.NumDevs(), 0);
    try {
        none.Open();
        ADD_FAILURE();
    } catch (const EMMWaveOutError& e) {
        EXPECT_STREQ(e.what(), "No wave audio playing device found");
    }
}

TEST_F(WaveOutTest, PlaysEverySourceByteThenStopsOnTheUserInterfaceThread) {
    for (TMMCBMode mode : {TMMCBMode::cmThread, TMMCBMode::cmWindow, TMMCBMode::cmCallback}) {
        backend.clear_played();
        stops = 0;
        auto out = make(mode);
        PatternSource source(10 * 1000 + 250);
        out->SetInput(&source);
        std::atomic<bool> load_on_ui{false}, later_load_off_ui{false};
        int load_count = 0;
        out->OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
            EXPECT_EQ(hdr->dwBufferLength, 1000u);
            EXPECT_TRUE(more);
            bool on_ui = std::this_thread::get_id() == ui_thread;
            if (load_count++ == 0) load_on_ui = on_ui;
            else if (!on_ui) later_load_off_ui = true;
        };
        out->Start();
        EXPECT_TRUE(out->IsPlaying());
        ASSERT_TRUE(play_to_end()) << static_cast<int>(mode);
        EXPECT_EQ(backend.played(), pattern(10250)) << static_cast<int>(mode);
        EXPECT_TRUE(stop_on_ui);
        EXPECT_TRUE(load_on_ui);
        EXPECT_EQ(later_load_off_ui.load(), mode == TMMCBMode::cmThread);
        EXPECT_TRUE(out->IsOpen());  // Stop leaves the device open
        EXPECT_FALSE(out->IsPlaying());
        out->Close();
        EXPECT_EQ(out->State(), kStateClosed);
        out->SetInput(nullptr);
    }
}

TEST_F(WaveOutTest, LastDataOnTheFirstLoadPlaysOneBuffer) {
    auto out = make();
    out->OnBufferLoad = [](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
        std::fill(hdr->lpData, hdr->lpData + 600, 7);
        hdr->dwBytesRecorded = 600;
        more = false;
    };
    out->Start();
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(backend.played(), std::vector<uint8_t>(600, 7));
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(stop_on_ui);
}

TEST_F(WaveOutTest, NothingToPlayAtStartClosesTheDevice) {
    auto out = make();
    out->OnBufferLoad = [](TMMDSPComponent*, TMMWaveHdr* hdr, bool&) { hdr->dwBytesRecorded = 0; };
    try {
        out->Start();
        ADD_FAILURE();
    } catch (const EMMWaveOutError& e) {
        EXPECT_STREQ(e.what(), "WaveOutStart:\n\rUnable to start device");
    }
    EXPECT_EQ(out->State(), kStateClosed);
    EXPECT_EQ(stops, 0);
}

TEST_F(WaveOutTest, AnEmptyRefillThatPromisesMoreIsAnError) {
    for (TMMCBMode mode : {TMMCBMode::cmThread, TMMCBMode::cmWindow, TMMCBMode::cmCallback}) {
        dialogs.messages.clear();
        auto out = make(mode);
        int calls = 0, errors = 0;
        out->OnError = [&](TMMDSPComponent*) { ++errors; };
        out->OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr* hdr, bool&) {
            hdr->dwBytesRecorded = ++calls <= 4 ? 1000 : 0;
        };
        out->Start();
        ASSERT_TRUE(ui.pump_until([&] {
            backend.advance_output(500);
            return !dialogs.messages.empty();
        }));
        EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Error filling wave buffer"});
        EXPECT_EQ(errors, 1);
        EXPECT_EQ(out->State(), kStateClosed);
    }
}

TEST_F(WaveOutTest, AnEmptyLastRefillEndsQuietly) {
    auto out = make();
    int calls = 0;
    out->OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
        hdr->dwBytesRecorded = ++calls <= 5 ? 1000 : 0;
        more = calls <= 5;
    };
    out->Start();
    ASSERT_TRUE(play_to_end());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(backend.played().size(), 5000u);
}

TEST_F(WaveOutTest, PauseOnAClosedDeviceOpensItWithoutPlaying) {
    auto out = make();
    PatternSource source(3000);
    out->SetInput(&source);
    std::vector<std::string> events;
    out->OnPause = [&](TMMDSPComponent*) { events.push_back("pause"); };
    out->OnRestart = [&](TMMDSPComponent*) { events.push_back("restart"); };
    out->Restart();  // not paused: nothing
    out->Pause();
    EXPECT_TRUE(out->IsOpen());
    EXPECT_TRUE(out->IsDevicePaused());
    EXPECT_FALSE(out->IsPlaying());
    out->Start();
    EXPECT_EQ(backend.advance_output(1000), 0u);  // queued but held
    EXPECT_TRUE(backend.played().empty());
    out->Restart();
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(backend.played(), pattern(3000));
    EXPECT_EQ(events, (std::vector<std::string>{"pause", "restart"}));
    out->SetInput(nullptr);
}

TEST_F(WaveOutTest, PauseKeepsQueuedAudioAndPositionHolds) {
    auto out = make(TMMCBMode::cmCallback);
    out->SetTimeFormat(TMMTimeFormats::tfSample);
    PatternSource source(8000);
    out->SetInput(&source);
    out->Start();
    backend.advance_output(300);
    EXPECT_EQ(out->GetPosition(), 300);
    out->Pause();
    EXPECT_EQ(backend.advance_output(300), 0u);
    EXPECT_EQ(out->GetPosition(), 300);
    out->Restart();
    backend.advance_output(200);
    EXPECT_EQ(out->GetPosition(), 500);
    out->SetTimeFormat(TMMTimeFormats::tfMillisecond);
    EXPECT_EQ(out->GetPosition(), 31);  // 500 samples at 16 kHz, truncated
    out->SetTimeFormat(TMMTimeFormats::tfByte);
    EXPECT_EQ(out->GetPosition(), 1000);
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(backend.played(), pattern(8000));
    EXPECT_EQ(out->GetPosition(), 0);  // stopped: the device was reset
    out->Close();
    EXPECT_EQ(out->GetPosition(), 0);
    out->SetInput(nullptr);
}

TEST_F(WaveOutTest, ResetRewindsTheSourceAndPlaysOnFromItsStart) {
    auto out = make(TMMCBMode::cmThread);
    PatternSource source(6000);
    out->SetInput(&source);
    out->Start();
    backend.advance_output(700);  // 1400 bytes heard
    out->Reset();
    EXPECT_TRUE(out->IsPlaying());
    ASSERT_TRUE(play_to_end());
    std::vector<uint8_t> expected = pattern(1400);
    std::vector<uint8_t> whole = pattern(6000);
    expected.insert(expected.end(), whole.begin(), whole.end());
    EXPECT_EQ(backend.played(), expected);
    EXPECT_EQ(source.log, (std::vector<std::string>{"Opened", "Started", "Reset", "Stopped"}));
    out->SetInput(nullptr);
}

TEST_F(WaveOutTest, ChainNotificationsTravelToBothSidesInOrder) {
    auto out = make(TMMCBMode::cmCallback);
    PatternSource source(2500);
    PatternSource sink(0);  // used as the Output: records notifications
    out->SetInput(&source);
    out->SetOutput(&sink);
    EXPECT_EQ(source.Output(), out.get());
    EXPECT_EQ(sink.Input(), out.get());
    std::vector<uint32_t> ready_sizes;
    sink.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr* hdr) {
        ready_sizes.push_back(hdr->dwBytesRecorded);
    };
    std::vector<std::string> order;
    out->OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr*, bool&) { order.push_back("own"); };
    source.OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr*, bool&) { order.push_back("input"); };
    out->Start();
    out->Pause();
    out->Restart();
    ASSERT_TRUE(play_to_end());
    out->Close();
    std::vector<std::string> expected = {"Opened", "Started", "Paused", "Restarted", "Stopped", "Closed"};
    EXPECT_EQ(source.log, expected);
    EXPECT_EQ(sink.log, expected);
    // Loads: the device's own handler first, then its Input.
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order[0], "own");
    EXPECT_EQ(order[1], "input");
    // BufferReady shows the buffers that play next: the 2nd and 3rd.
    EXPECT_EQ(ready_sizes, (std::vector<uint32_t>{1000, 500}));
    out->SetOutput(nullptr);
    EXPECT_EQ(sink.Input(), nullptr);
    out->SetInput(nullptr);
}

TEST_F(WaveOutTest, StopDuringPlaybackFiresOnStopOnceAndKeepsTheDeviceOpen) {
    auto out = make(TMMCBMode::cmThread);
    PatternSource source(100000);
    out->SetInput(&source);
    out->Start();
    backend.advance_output(1500);
    out->Stop();
    // A refill still running finishes the stop later, through the dispatcher.
    ASSERT_TRUE(ui.pump_until([&] { return stops > 0; }, std::chrono::seconds(10)));
    ui.pump();
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(out->IsOpen());
    EXPECT_FALSE(out->IsPlaying());
    backend.clear_played();
    EXPECT_EQ(backend.advance_output(1000), 0u);  // nothing left queued
    out->Stop();  // not playing: nothing
    EXPECT_EQ(stops, 1);
    out->SetInput(nullptr);
}

// A live source (a recording device feeding playback) cannot be replayed:
// Pause drops what is queued but keeps the position, Restart starts afresh.
TEST_F(WaveOutTest, PausingALiveSourceKeepsThePositionAndRestartsAfresh) {
    struct LiveSource : PatternSource {
        using PatternSource::PatternSource;
        bool IsSoundComponent() const override { return true; }
    };
    auto out = make(TMMCBMode::cmCallback);
    out->SetTimeFormat(TMMTimeFormats::tfSample);
    LiveSource live(100000);
    out->SetInput(&live);
    out->Start();
    backend.advance_output(700);
    EXPECT_EQ(out->GetPosition(), 700);
    int loads_before = live.loads.load();
    out->Pause();
    EXPECT_EQ(out->GetPosition(), 700);  // what was heard still counts
    EXPECT_EQ(backend.advance_output(500), 0u);
    out->Restart();
    EXPECT_GT(live.loads.load(), loads_before);  // the ring was loaded again
    backend.advance_output(300);
    EXPECT_EQ(out->GetPosition(), 1000);
    out->Stop();
    EXPECT_EQ(stops, 1);
    out->SetInput(nullptr);
}

TEST_F(WaveOutTest, CallbacksRefusedByTheBackendShowTheMessageAndKeepTheMode) {
    backend.set_callbacks_allowed(false);
    TMMWaveOut out(&backend, &ui);
    out.SetCallBackMode(TMMCBMode::cmThread);
    out.SetCallBackMode(TMMCBMode::cmCallback);
    EXPECT_EQ(out.CallBackMode(), TMMCBMode::cmThread);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "TMMWaveOut");
    EXPECT_EQ(dialogs.messages[0].text,
              "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported "
              "under Windows 95");
}

TEST_F(WaveOutTest, AVanishedDeviceEndsPlaybackWithTheWriteError) {
    auto out = make(TMMCBMode::cmThread);
    PatternSource source(100000);
    out->SetInput(&source);
    out->Start();
    backend.advance_output(600);
    backend.vanish_output(0);
    ASSERT_TRUE(ui.pump_until([&] { return !dialogs.messages.empty(); }));
    EXPECT_EQ(dialogs.texts(),
              std::vector<std::string>{"WaveOutWrite:\n\rThe audio device is no longer present"});
    EXPECT_EQ(out->State(), kStateClosed);
    EXPECT_EQ(backend.out_num_devs(), 0);
    out->SetInput(nullptr);
}

TEST_F(WaveOutTest, VolumeScalesTheSamplesPerChannel) {
    TWaveFormatEx stereo = MakePCMFormat(16, 2, 16000);
    auto out = make(TMMCBMode::cmCallback);
    out->SetWaveFormat(&stereo);
    out->SetVolume(0x8000u << 16 | 0xFFFF);  // right at half
    out->OnBufferLoad = [](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
        auto* s = reinterpret_cast<int16_t*>(hdr->lpData);
        for (int i = 0; i < 4; ++i) s[i] = (i % 2) ? 20000 : -20000;
        hdr->dwBytesRecorded = 8;
        more = false;
    };
    out->Start();
    EXPECT_EQ(out->Volume(), 0x8000FFFFu);
    ASSERT_TRUE(play_to_end());
    std::vector<uint8_t> bytes = backend.played();
    ASSERT_EQ(bytes.size(), 8u);
    const auto* s = reinterpret_cast<const int16_t*>(bytes.data());
    EXPECT_EQ(s[0], -20000);
    EXPECT_EQ(s[1], 10000);  // 20000 × 0x8000 / 0xFFFF
    EXPECT_EQ(s[2], -20000);
}

TEST_F(WaveOutTest, EveryErrorTextAndPrefixIsFilledIn) {
    for (int i = 0; i < kWaveOutTextCount; ++i)
        EXPECT_GT(std::string(WaveOutErrorText(static_cast<WaveOutText>(i))).size(), 5u) << i;
    for (int i = 0; i < kWaveOutCallCount; ++i) {
        std::string p = WaveOutPrefix(static_cast<WaveOutCall>(i));
        EXPECT_EQ(p.rfind("WaveOut", 0), 0u) << i;
        EXPECT_EQ(p.substr(p.size() - 3), ":\n\r") << i;
    }
    EXPECT_EQ(mm_error_text(12345), "Specified error number is out of range (unknown error)");
}

// The user-interface thread works the transport while the worker refills and
// the device plays in real time; every byte played must be source data in
// order from some rewind point, and the device must end stopped once.
TEST_F(WaveOutTest, ADeviceThatDrainsBeforeTheWorkerRefillsDoesNotEndPlayback) {
    // The device plays buffers faster than the worker refills them, so at times
    // nothing is queued while refills are still waiting to run: an underrun,
    // not the end of the data.
    backend.set_clock(VirtualClock::Fast);
    auto out = make(TMMCBMode::cmThread);
    out->SetNumBuffers(3);
    out->SetBufferSize(256);
    const size_t total = 60 * 256 + 100;
    PatternSource source(total);
    source.OnBufferLoad = [](TMMDSPComponent*, TMMWaveHdr*, bool&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    out->SetInput(&source);
    out->Start();
    ASSERT_TRUE(ui.pump_until([&] { return stops > 0; }));
    EXPECT_EQ(backend.played(), pattern(total));
    out->Close();
    out->SetInput(nullptr);
}

TEST_F(WaveOutTest, TransportOperationsRaceTheWorkerSafely) {
    backend.set_clock(VirtualClock::Fast);
    auto out = make(TMMCBMode::cmThread);
    out->SetNumBuffers(3);
    out->SetBufferSize(256);
    PatternSource source(400000);
    out->SetInput(&source);
    out->Start();
    for (int i = 0; i < 200; ++i) {
        switch (i % 5) {
        case 0: out->Pause(); break;
        case 1: out->Restart(); break;
        case 2: out->GetPosition(); break;
        case 3: if (i % 20 == 3) out->Reset(); break;
        case 4: ui.pump(); break;
        }
    }
    out->Restart();
    out->Stop();
    ASSERT_TRUE(ui.pump_until([&] { return stops > 0; }, std::chrono::seconds(10)));
    ui.pump();
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(out->IsOpen());
    out->Close();
    std::vector<uint8_t> played = backend.played();
    // Reset rewinds to 0, so each byte is either its predecessor + 1 (mod
    // 251) or the start of the pattern again.
    for (size_t i = 1; i < played.size(); ++i) {
        bool next = played[i] == (played[i - 1] + 1) % 251;
        ASSERT_TRUE(next || played[i] == 0) << "at " << i;
    }
    out->SetInput(nullptr);
}

}  // namespace
