// The chain links and the connector that feeds the displays.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "audio/devices/mmdsp.h"
#include "audio/devices/mmdsp_connector.h"
#include "audio/devices/virtual_backend.h"
#include "audio/devices/waveout.h"

using namespace murrel;

namespace {

TEST(DspChain, LinkingOneSideLinksTheOtherAndUnlinkingClearsBoth) {
    TMMDSPComponent a, b, c;
    a.SetOutput(&b);
    EXPECT_EQ(b.Input(), &a);
    b.SetInput(&c);  // replaces a
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(c.Output(), &b);
    c.SetOutput(nullptr);
    EXPECT_EQ(b.Input(), nullptr);
    {
        TMMDSPComponent temporary;
        temporary.SetOutput(&a);
    }
    EXPECT_EQ(a.Input(), nullptr);  // a destroyed link unlinks itself
}

TEST(DspChain, AFormatFlowsForwardAndStopsAStartedLinkFirst) {
    struct Link : TMMDSPComponent {
        int stopped = 0;
        void Stopped() override {
            ++stopped;
            TMMDSPComponent::Stopped();
        }
    } a, b;
    a.SetOutput(&b);
    b.Started();
    TWaveFormatEx f = MakePCMFormat(16, 2, 22050);
    a.SetWaveFormat(&f);
    ASSERT_NE(b.GetWaveFormat(), nullptr);
    EXPECT_EQ(*b.GetWaveFormat(), f);
    EXPECT_EQ(b.stopped, 1);
    EXPECT_EQ(a.stopped, 0);
    a.SetOutput(nullptr);
}

struct RecordingDisplay : TMMDisplay {
    void ShowData(const TWaveFormatEx& f, const uint8_t* pcm, size_t bytes) override {
        format = f;
        data.assign(pcm, pcm + bytes);
        ++calls;
        on_thread = std::this_thread::get_id();
    }
    TWaveFormatEx format;
    std::vector<uint8_t> data;
    int calls = 0;
    std::thread::id on_thread;
};

TEST(Connector, HandsTheBufferThatPlaysNextToDisplaysOnTheUserInterfaceThread) {
    VirtualBackend backend;
    PumpDispatcher ui;
    TMMWaveOut out(&backend, &ui);
    TMMConnector connector(&ui);
    RecordingDisplay display;
    connector.AddDisplay(&display);
    out.SetOutput(&connector);
    TWaveFormatEx f = MakePCMFormat(16, 1, 8000);
    out.SetWaveFormat(&f);
    out.SetBufferSize(100);
    out.SetNumBuffers(2);
    out.SetCallBackMode(TMMCBMode::cmThread);
    int loads = 0;
    out.OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
        std::memset(hdr->lpData, ++loads, 100);
        hdr->dwBytesRecorded = 100;
        more = loads < 3;
    };
    bool stopped = false;
    out.OnStop = [&](TMMDSPComponent*) { stopped = true; };
    out.Start();
    // The first buffer finishing shows the second, then the third. The stop
    // and the last display are posted from different threads, so either may
    // be handled first; both come.
    const std::vector<uint8_t> third(100, 3);
    ASSERT_TRUE(ui.pump_until([&] {
        backend.advance_output(50);
        return stopped && display.data == third;
    }, std::chrono::seconds(10)));
    ASSERT_GE(display.calls, 1);
    EXPECT_EQ(display.on_thread, std::this_thread::get_id());
    EXPECT_EQ(display.format, f);
    out.SetOutput(nullptr);
}

TEST(Connector, ConvertsFloatToPcmOnlyWhenAskedTo) {
    PumpDispatcher ui;
    TMMConnector connector(&ui);
    RecordingDisplay display;
    connector.AddDisplay(&display);
    TWaveFormatEx f = MakePCMFormat(16, 1, 8000);
    f.wFormatTag = kWaveFormatIeeeFloat;
    f.wBitsPerSample = 32;
    f.nBlockAlign = 4;
    connector.SetWaveFormat(&f);
    connector.SetEffectiveBufferSize(16);
    connector.Opened();
    float samples[2] = {0.5f, -2.0f};
    TMMWaveHdr hdr;
    hdr.lpData = reinterpret_cast<char*>(samples);
    hdr.dwBytesRecorded = 8;
    connector.BufferReady(&hdr);
    ui.pump();
    ASSERT_EQ(display.calls, 1);
    EXPECT_EQ(display.format.wFormatTag, WAVE_FORMAT_PCM);
    ASSERT_EQ(display.data.size(), 4u);
    int16_t s[2];
    std::memcpy(s, display.data.data(), 4);
    EXPECT_EQ(s[0], 16384);
    EXPECT_EQ(s[1], -32767);  // clipped
    connector.SetAutoConvert(false);
    connector.BufferReady(&hdr);
    ui.pump();
    EXPECT_EQ(display.calls, 1);
}

}  // namespace
