// TMMWaveIn against the virtual backend: format properties, the capability
// check, delivery, the recording limit, pause and stop, every failure text.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "audio/devices/device_errors.h"
#include "audio/devices/virtual_backend.h"
#include "audio/devices/wavein.h"
#include "testsupport/scripted_dialogs.h"

using namespace murrel;

namespace {

// Captured audio: byte i of the device is i mod 253.
void counting_input(uint8_t* dst, size_t bytes, uint64_t offset) {
    for (size_t i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>((offset + i) % 253);
}

std::vector<uint8_t> counting(size_t from, size_t n) {
    std::vector<uint8_t> v(n);
    counting_input(v.data(), n, from);
    return v;
}

class WaveInTest : public ::testing::Test {
protected:
    WaveInTest() {
        backend.set_input_script(counting_input);
        ui_thread = std::this_thread::get_id();
    }

    std::unique_ptr<TMMWaveIn> make(TMMCBMode mode = TMMCBMode::cmThread) {
        auto in = std::make_unique<TMMWaveIn>(&backend, &ui);
        in->SetSampleRate(16000);
        in->SetBitLength(TMMBits::b16Bit);
        in->SetBufferSize(1000);
        in->SetNumBuffers(4);
        in->SetCallBackMode(mode);
        in->OnBufferReady = [this](TMMDSPComponent*, TMMWaveHdr* hdr) {
            std::lock_guard lock(mutex);
            recorded.insert(recorded.end(), hdr->lpData, hdr->lpData + hdr->dwBytesRecorded);
            sizes.push_back(hdr->dwBytesRecorded);
            if (std::this_thread::get_id() != ui_thread) off_ui = true;
        };
        in->OnStop = [this](TMMDSPComponent*) {
            ++stops;
            stop_on_ui = std::this_thread::get_id() == ui_thread;
        };
        return in;
    }

    size_t recorded_size() {
        std::lock_guard lock(mutex);
        return recorded.size();
    }

    VirtualBackend backend;
    PumpDispatcher ui;
    testsupport::ScriptedDialogs dialogs;
    std::thread::id ui_thread;
    std::mutex mutex;
    std::vector<uint8_t> recorded;
    std::vector<uint32_t> sizes;
    std::atomic<bool> off_ui{false};
    int stops = 0;
    bool stop_on_ui = false;
};

TEST_F(WaveInTest, FormatFollowsTheThreeProperties) {
    TMMWaveIn in(&backend, &ui);
    EXPECT_EQ(in.SampleRate(), 11025);
    EXPECT_EQ(in.BitLength(), TMMBits::b8Bit);
    EXPECT_EQ(in.Mode(), TMMMode::mMono);
    EXPECT_EQ(*in.GetWaveFormat(), MakePCMFormat(8, 1, 11025));
    EXPECT_EQ(in.ProductName(), "Virtual Input");
    in.SetSampleRate(4000);
    EXPECT_EQ(in.SampleRate(), 8000);
    in.SetSampleRate(200000);
    EXPECT_EQ(in.SampleRate(), 100000);
    in.SetSampleRate(22050);
    in.SetBitLength(TMMBits::b16Bit);
    in.SetMode(TMMMode::mStereo);
    EXPECT_EQ(*in.GetWaveFormat(), MakePCMFormat(16, 2, 22050));
    in.SetMode(TMMMode::mMultiChannel);  // ignored
    EXPECT_EQ(in.Mode(), TMMMode::mStereo);
    TWaveFormatEx pcm = MakePCMFormat(8, 1, 16000);
    in.SetWaveFormat(&pcm);
    EXPECT_EQ(in.SampleRate(), 16000);
    EXPECT_EQ(in.BitLength(), TMMBits::b8Bit);
    EXPECT_EQ(in.Mode(), TMMMode::mMono);
    in.SetDeviceID(3);
    EXPECT_EQ(in.DeviceID(), InvalidId);
    EXPECT_EQ(in.ProductName(), "No wave audio recording device found");
}

TEST_F(WaveInTest, FormatPropertiesCannotChangeWhileOpen) {
    auto in = make();
    in->Open();
    std::vector<std::function<void()>> changes = {
        [&] { in->SetSampleRate(8000); }, [&] { in->SetBitLength(TMMBits::b8Bit); },
        [&] { in->SetMode(TMMMode::mStereo); }, [&] { in->SetBufferSize(64); },
        [&] { in->SetNumBuffers(3); }, [&] { in->SetDeviceID(0); },
        [&] { in->SetCallBackMode(TMMCBMode::cmWindow); }};
    for (auto& change : changes) {
        try {
            change();
            ADD_FAILURE();
        } catch (const EMMWaveInError& e) {
            EXPECT_STREQ(e.what(), "Change to property while device was open");
        }
    }
    EXPECT_EQ(in->SampleRate(), 16000);
    EXPECT_TRUE(in->IsOpen());
}

TEST_F(WaveInTest, TheDeviceMustListTheStandardFormatOfTheRateClass) {
    // Accepts 16 kHz in the query but lists no 22.05 kHz 16-bit mono.
    backend.set_input_devices({{"Picky", kAllStandardFormats & ~WAVE_FORMAT_2M16, 2, {}}});
    struct Case {
        int rate;
        TMMBits bits;
        bool ok;
    };
    for (Case c : {Case{16000, TMMBits::b16Bit, false}, Case{22050, TMMBits::b16Bit, false},
                   Case{16000, TMMBits::b8Bit, true}, Case{11025, TMMBits::b16Bit, true},
                   Case{44100, TMMBits::b16Bit, true}}) {
        auto in = make();
        in->SetSampleRate(c.rate);
        in->SetBitLength(c.bits);
        if (c.ok) {
            EXPECT_NO_THROW(in->Open()) << c.rate;
            continue;
        }
        try {
            in->Open();
            ADD_FAILURE() << c.rate;
        } catch (const EMMWaveInError& e) {
            EXPECT_STREQ(e.what(), "WaveInOpen:\n\rThe actual device can't record this format");
        }
        EXPECT_EQ(in->State(), kStateClosed);
    }
}

TEST_F(WaveInTest, OpenWithoutDeviceOrFormatFails) {
    auto in = make();
    in->SetDeviceID(5);
    EXPECT_THROW(in->Open(), EMMWaveInError);
    in->SetDeviceID(0);
    in->SetWaveFormat(nullptr);
    try {
        in->Open();
        ADD_FAILURE();
    } catch (const EMMWaveInError& e) {
        EXPECT_STREQ(e.what(), "Invalid wave format");
    }
    backend.set_input_devices({});
    TMMWaveIn none(&backend, &ui);
    try {
        none.Start();
        ADD_FAILURE();
    } catch (const EMMWaveInError& e) {
        EXPECT_STREQ(e.what(), "No wave audio recording device found");
    }
}

TEST_F(WaveInTest, DeliversEveryCapturedByteInOrder) {
    for (TMMCBMode mode : {TMMCBMode::cmThread, TMMCBMode::cmWindow, TMMCBMode::cmCallback}) {
        recorded.clear();
        sizes.clear();
        off_ui = false;
        auto in = make(mode);
        in->Start();
        EXPECT_TRUE(in->IsRecording());
        for (int i = 0; i < 20; ++i) {
            backend.advance_input(250);  // half a buffer
            ASSERT_TRUE(ui.pump_until([&] { return recorded_size() >= static_cast<size_t>(i + 1) / 2 * 1000; }));
        }
        EXPECT_EQ(recorded, counting(0, 10000)) << static_cast<int>(mode);
        EXPECT_EQ(off_ui.load(), mode == TMMCBMode::cmThread);
        in->Close();
        EXPECT_EQ(in->State(), kStateClosed);
    }
}

TEST_F(WaveInTest, TheRecordingLimitShortensTheLastBufferAndStopsTheDevice) {
    auto in = make();
    in->SetTimeFormat(TMMTimeFormats::tfMillisecond);
    in->SetMaxRecordTime(1000);
    in->SetBufferSize(3000);
    in->Start();
    EXPECT_EQ(in->ByteLimit(), 32000u);
    ASSERT_TRUE(ui.pump_until([&] {
        backend.advance_input(1500);
        return stops > 0;
    }));
    EXPECT_EQ(recorded, counting(0, 32000));
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back(), 2000u);  // 10 full buffers + 2000 of the 11th
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(stop_on_ui);
    EXPECT_FALSE(in->IsRecording());
    EXPECT_TRUE(in->IsOpen());
    // Once every delivery has ended and what they posted has run, no second
    // stop can come.
    EXPECT_TRUE(in->WaitDelivered());
    ASSERT_TRUE(ui.pump_until([&] { return ui.pending() == 0; }));
    EXPECT_EQ(stops, 1);  // exactly once
}

TEST_F(WaveInTest, LimitsConvertFromEveryTimeFormat) {
    struct Case {
        TMMTimeFormats format;
        int64_t value;
        uint64_t bytes;
    };
    for (Case c : {Case{TMMTimeFormats::tfSample, 100, 200}, Case{TMMTimeFormats::tfByte, 101, 100},
                   Case{TMMTimeFormats::tfMillisecond, 1, 32},
                   Case{TMMTimeFormats::tfMillisecond, -1, UINT64_MAX}}) {
        auto in = make();
        in->SetTimeFormat(c.format);
        in->SetMaxRecordTime(c.value);
        in->Start();
        EXPECT_EQ(in->ByteLimit(), c.bytes) << c.value;
        in->Close();
    }
}

TEST_F(WaveInTest, PauseKeepsBuffersAndPositionAndRestartGoesOn) {
    auto in = make(TMMCBMode::cmCallback);
    in->SetTimeFormat(TMMTimeFormats::tfSample);
    in->Start();
    backend.advance_input(800);  // one full buffer (500 frames) and 300 more
    EXPECT_EQ(in->GetPosition(), 800);
    in->Pause();
    EXPECT_TRUE(in->IsDevicePaused());
    EXPECT_EQ(backend.advance_input(500), 0u);  // nothing captured while paused
    EXPECT_EQ(in->GetPosition(), 800);
    EXPECT_EQ(sizes, (std::vector<uint32_t>{1000, 600}));  // the partial one came back
    in->Restart();
    backend.advance_input(1200);
    EXPECT_EQ(in->GetPosition(), 2000);
    in->Stop();
    EXPECT_EQ(recorded, counting(0, 4000));
    EXPECT_EQ(stops, 1);
}

TEST_F(WaveInTest, StopDeliversWhatCameBackBeforeTheResetOnly) {
    auto in = make(TMMCBMode::cmThread);
    in->Start();
    backend.advance_input(1750);  // 3 full buffers + 250 frames in the 4th
    in->Stop();
    // A delivery still running on the worker finishes the stop from the
    // user-interface thread.
    ASSERT_TRUE(ui.pump_until([&] { return stops == 1; }));
    EXPECT_FALSE(in->IsRecording());
    EXPECT_EQ(backend.advance_input(500), 0u);  // the device holds no buffer now
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(recorded, counting(0, 3500));
    }
    in->Start();  // a new recording reuses the ring
    backend.advance_input(500);
    ASSERT_TRUE(ui.pump_until([&] { return recorded_size() == 4500; }));
    in->Close();
}

TEST_F(WaveInTest, AStopRequestedDuringADeliveryCompletesOnceOnTheUserInterfaceThread) {
    auto in = make(TMMCBMode::cmThread);
    std::atomic<bool> in_delivery{false}, release{false};
    in->OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) {
        in_delivery = true;
        while (!release) std::this_thread::yield();
    };
    in->Start();
    backend.advance_input(500);
    ASSERT_TRUE(ui.pump_until([&] { return in_delivery.load(); }));
    in->Stop();  // a delivery is running: only a request
    EXPECT_EQ(stops, 0);
    EXPECT_TRUE(in->IsRecording());
    in->Close();  // becomes a request too
    EXPECT_TRUE(in->IsOpen());
    release = true;
    ASSERT_TRUE(ui.pump_until([&] { return in->State() == kStateClosed; }));
    EXPECT_EQ(stops, 1);
}

TEST_F(WaveInTest, AVanishedDeviceEndsTheRecordingWithAnError) {
    auto in = make(TMMCBMode::cmThread);
    in->Start();
    backend.advance_input(500);
    ASSERT_TRUE(ui.pump_until([&] { return recorded_size() == 1000; }));
    backend.vanish_input(0);
    ASSERT_TRUE(ui.pump_until([&] { return !dialogs.messages.empty(); }));
    EXPECT_EQ(dialogs.texts(),
              std::vector<std::string>{"WaveInAddBuffer:\n\rThe audio device is no longer present"});
    EXPECT_EQ(in->State(), kStateClosed);
}

TEST_F(WaveInTest, EveryErrorTextAndPrefixIsFilledIn) {
    for (int i = 0; i < kWaveInTextCount; ++i)
        EXPECT_GT(std::string(WaveInErrorText(static_cast<WaveInText>(i))).size(), 5u) << i;
    for (int i = 0; i < kWaveInCallCount; ++i) {
        std::string p = WaveInPrefix(static_cast<WaveInCall>(i));
        EXPECT_EQ(p.rfind("WaveIn", 0), 0u) << i;
        EXPECT_EQ(p.substr(p.size() - 3), ":\n\r") << i;
    }
}

// Real-time capture on the device's thread, deliveries on the worker, while
// the user-interface thread pauses, restarts and reads the position; the
// bytes delivered must be the captured stream with no byte twice.
TEST_F(WaveInTest, TransportOperationsRaceTheDeliveriesSafely) {
    backend.set_clock(VirtualClock::Fast);
    auto in = make(TMMCBMode::cmThread);
    in->SetBufferSize(64);
    in->Start();
    ASSERT_TRUE(ui.pump_until([&] { return recorded_size() > 0; }));
    for (int i = 0; i < 300; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        if (i % 3 == 0) in->Pause();
        if (i % 3 == 1) in->Restart();
        in->GetPosition();
        ui.pump();
    }
    in->Restart();
    in->Stop();
    // A delivery still running finishes the stop later, through the dispatcher.
    ASSERT_TRUE(ui.pump_until([&] { return stops > 0; }, std::chrono::seconds(10)));
    EXPECT_TRUE(in->WaitDelivered());
    ASSERT_TRUE(ui.pump_until([&] { return ui.pending() == 0; }));
    EXPECT_EQ(stops, 1);
    std::lock_guard lock(mutex);
    ASSERT_GT(recorded.size(), 0u);
    EXPECT_EQ(recorded, counting(0, recorded.size()));
}

}  // namespace

namespace {
// Whatever the device captured before a stop reaches the owner, even when
// the owner is slower than the input and filled buffers are still waiting.
TEST_F(WaveInTest, AStopDeliversEveryBufferCapturedBeforeIt) {
    for (TMMCBMode mode : {TMMCBMode::cmThread, TMMCBMode::cmCallback}) {
        {
            std::lock_guard lock(mutex);
            recorded.clear();
        }
        backend.set_clock(VirtualClock::Fast);
        auto in = make(mode);
        in->SetTimeFormat(TMMTimeFormats::tfByte);
        auto deliver = in->OnBufferReady;
        in->OnBufferReady = [&](TMMDSPComponent* s, TMMWaveHdr* hdr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a slow encoder
            deliver(s, hdr);
        };
        in->Start();
        ASSERT_TRUE(ui.pump_until([&] { return recorded_size() >= 20000; }));
        int64_t captured = in->GetPosition();
        in->Stop();
        ASSERT_TRUE(ui.pump_until([&] { return !in->IsRecording(); }, std::chrono::seconds(5))) << in->State() << " got " << recorded_size() << " of " << captured;
        in->Close();
        std::lock_guard lock(mutex);
        EXPECT_GE(static_cast<int64_t>(recorded.size()), captured) << "mode " << static_cast<int>(mode);
        EXPECT_EQ(recorded, counting(0, recorded.size()));
    }
}
}  // namespace
