// The device operations every backend shares (queue, pause, reset, stop,
// positions, the order buffers come back in) and the choice of backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "audio/devices/device_backend.h"
#include "audio/devices/virtual_backend.h"

using namespace murrel;

namespace {

struct Recorder : WaveCallback {
    void wave_message(WaveMsg msg, TMMWaveHdr* hdr) override {
        if (msg == WaveMsg::Done) done.push_back(hdr);
        else if (msg == WaveMsg::Open) ++opens;
        else ++closes;
    }
    std::vector<TMMWaveHdr*> done;
    int opens = 0, closes = 0;
};

struct Buffer {
    explicit Buffer(size_t n, char fill = 0) : data(n, fill) {
        hdr.lpData = data.data();
        hdr.dwBufferLength = static_cast<uint32_t>(n);
    }
    std::vector<char> data;
    TMMWaveHdr hdr;
};

TEST(Backend, OutputQueuePlaysInOrderAndReturnsBuffersWhenPlayed) {
    VirtualBackend b;
    Recorder r;
    WaveHandle h = 0;
    TWaveFormatEx f = MakePCMFormat(8, 1, 8000);
    ASSERT_EQ(b.out_open(&h, MapperId, f, &r, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(r.opens, 1);
    Buffer a(100, 1), c(50, 2);
    EXPECT_EQ(b.out_write(h, &a.hdr), WAVERR_UNPREPARED);
    b.out_prepare(h, &a.hdr);
    b.out_prepare(h, &c.hdr);
    ASSERT_EQ(b.out_write(h, &a.hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(b.out_write(h, &c.hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(b.out_write(h, &c.hdr), WAVERR_STILLPLAYING);
    EXPECT_EQ(b.out_unprepare(h, &a.hdr), WAVERR_STILLPLAYING);
    EXPECT_EQ(b.out_close(h), WAVERR_STILLPLAYING);
    b.out_pause(h);
    EXPECT_EQ(b.advance_output(200), 0u);
    b.out_restart(h);
    EXPECT_EQ(b.advance_output(120), 120u);
    ASSERT_EQ(r.done, std::vector<TMMWaveHdr*>{&a.hdr});
    EXPECT_TRUE(a.hdr.dwFlags.load() & WHDR_DONE);
    MMTime t;
    b.out_get_position(h, t);
    EXPECT_EQ(t.value, 120u);
    b.out_reset(h);  // the rest of c comes back unplayed; the position restarts
    EXPECT_EQ(r.done, (std::vector<TMMWaveHdr*>{&a.hdr, &c.hdr}));
    b.out_get_position(h, t);
    EXPECT_EQ(t.value, 0u);
    std::vector<uint8_t> expected(100, 1);
    expected.insert(expected.end(), 20, 2);
    EXPECT_EQ(b.played(), expected);
    EXPECT_EQ(b.out_close(h), MMSYSERR_NOERROR);
    EXPECT_EQ(r.closes, 1);
    EXPECT_EQ(b.out_write(h, &a.hdr), MMSYSERR_INVALHANDLE);
}

TEST(Backend, QueuedAudioNotYetPlayedCanBeTakenBackAndQueuedAgainRefilled) {
    VirtualBackend b;
    Recorder r;
    WaveHandle h = 0;
    ASSERT_EQ(b.out_open(&h, 0, MakePCMFormat(8, 1, 8000), &r, 0), MMSYSERR_NOERROR);
    Buffer a(100, 1), c(50, 2), d(50, 3);
    for (Buffer* x : {&a, &c, &d}) {
        b.out_prepare(h, &x->hdr);
        ASSERT_EQ(b.out_write(h, &x->hdr), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(b.advance_output(30), 30u);  // a is being played
    TMMWaveHdr* chain = nullptr;
    uint64_t bytes = 0;
    // Room for one whole buffer only: the one queued last goes.
    ASSERT_EQ(b.out_take_unplayed(h, 60, chain, bytes), MMSYSERR_NOERROR);
    EXPECT_EQ(chain, &d.hdr);
    EXPECT_EQ(bytes, 50u);
    EXPECT_EQ(chain->lpNext, nullptr);
    // One take at a time.
    TMMWaveHdr* other = nullptr;
    uint64_t other_bytes = 0;
    EXPECT_NE(b.out_take_unplayed(h, 1000, other, other_bytes), MMSYSERR_NOERROR);
    std::fill(d.data.begin(), d.data.end(), 4);
    d.hdr.dwBufferLength = 20;  // refilled shorter
    ASSERT_EQ(b.out_put_back(h, chain), MMSYSERR_NOERROR);
    // With room for all: both unbegun buffers and the unplayed end of a.
    ASSERT_EQ(b.out_take_unplayed(h, 1000, chain, bytes), MMSYSERR_NOERROR);
    ASSERT_EQ(chain, &c.hdr);
    EXPECT_EQ(chain->lpNext, &d.hdr);
    EXPECT_EQ(bytes, 70u + 50u + 20u);
    std::fill(c.data.begin(), c.data.end(), 5);
    ASSERT_EQ(b.out_put_back(h, chain), MMSYSERR_NOERROR);
    EXPECT_EQ(b.advance_output(1000), 50u + 20u);
    EXPECT_EQ(r.done, (std::vector<TMMWaveHdr*>{&a.hdr, &c.hdr, &d.hdr}));
    std::vector<uint8_t> expected(30, 1);
    expected.insert(expected.end(), 50, 5);
    expected.insert(expected.end(), 20, 4);
    EXPECT_EQ(b.played(), expected);
    MMTime t;
    b.out_get_position(h, t);
    EXPECT_EQ(t.value, 100u);  // the position counts what was heard

    // A reset in between: the taken buffers come back Done, nothing plays.
    r.done.clear();
    b.clear_played();
    a.hdr.dwBufferLength = 100;
    ASSERT_EQ(b.out_write(h, &a.hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(b.out_take_unplayed(h, 1000, chain, bytes), MMSYSERR_NOERROR);
    EXPECT_EQ(chain, &a.hdr);
    b.out_reset(h);
    EXPECT_TRUE(r.done.empty());
    b.out_put_back(h, chain);
    EXPECT_EQ(r.done, std::vector<TMMWaveHdr*>{&a.hdr});
    EXPECT_EQ(b.advance_output(100), 0u);
    EXPECT_TRUE(b.played().empty());
    b.out_close(h);
}

TEST(Backend, EightBitVolumeScalesAroundTheMidpoint) {
    VirtualBackend b;
    Recorder r;
    WaveHandle h = 0;
    ASSERT_EQ(b.out_open(&h, 0, MakePCMFormat(8, 1, 8000), &r, 0), MMSYSERR_NOERROR);
    b.out_set_volume(h, 0x00008000);  // left (the mono channel) at half
    Buffer a(3);
    a.data = {char(0xFF), char(0x80), char(0x00)};
    b.out_prepare(h, &a.hdr);
    b.out_write(h, &a.hdr);
    b.advance_output(3);
    EXPECT_EQ(b.played(), (std::vector<uint8_t>{191, 128, 64}));
    b.out_close(h);
}

TEST(Backend, InputStopReturnsThePartialBufferAndKeepsTheEmptyOnes) {
    VirtualBackend b;
    b.set_input_script([](uint8_t* d, size_t n, uint64_t off) {
        for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(off + i);
    });
    Recorder r;
    WaveHandle h = 0;
    ASSERT_EQ(b.in_open(&h, 0, MakePCMFormat(8, 1, 8000), &r, 0), MMSYSERR_NOERROR);
    Buffer a(10), c(10);
    b.in_prepare(h, &a.hdr);
    b.in_prepare(h, &c.hdr);
    b.in_add_buffer(h, &a.hdr);
    b.in_add_buffer(h, &c.hdr);
    EXPECT_EQ(b.advance_input(5), 0u);  // not started
    b.in_start(h);
    EXPECT_EQ(b.advance_input(14), 14u);
    EXPECT_EQ(r.done, std::vector<TMMWaveHdr*>{&a.hdr});
    b.in_stop(h);
    ASSERT_EQ(r.done.size(), 2u);
    EXPECT_EQ(c.hdr.dwBytesRecorded, 4u);
    EXPECT_EQ(c.data[0], 10);
    MMTime t;
    b.in_get_position(h, t);
    EXPECT_EQ(t.value, 14u);
    b.in_add_buffer(h, &a.hdr);
    b.in_reset(h);  // an empty buffer comes back empty
    EXPECT_EQ(r.done.back(), &a.hdr);
    EXPECT_EQ(a.hdr.dwBytesRecorded, 0u);
    b.in_get_position(h, t);
    EXPECT_EQ(t.value, 0u);
    EXPECT_EQ(b.in_close(h), MMSYSERR_NOERROR);
}

TEST(Backend, OpenChecksDevicesAndFormats) {
    VirtualBackend b;
    WaveHandle h = 0;
    TWaveFormatEx f = MakePCMFormat(16, 2, 44100);
    EXPECT_EQ(b.out_open(&h, 3, f, nullptr, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(b.out_open(nullptr, 0, f, nullptr, kWaveFormatQuery), MMSYSERR_NOERROR);
    TWaveFormatEx too_slow = MakePCMFormat(16, 2, 4000);
    EXPECT_EQ(b.out_open(nullptr, 0, too_slow, nullptr, kWaveFormatQuery), WAVERR_BADFORMAT);
    b.set_output_devices({});
    EXPECT_EQ(b.out_open(&h, MapperId, f, nullptr, 0), MMSYSERR_NODRIVER);
    EXPECT_EQ(b.out_error_text(MMSYSERR_NODRIVER), "The audio device is no longer present");
}

TEST(Backend, TheBackendIsChosenByNameNeverSilently) {
    EXPECT_THROW(select_audio_backend("loudspeaker"), std::runtime_error);
    select_audio_backend("virtual");
    EXPECT_EQ(audio_backend_name(), "virtual");
    EXPECT_EQ(audio_backend().name(), "virtual");
    EXPECT_EQ(count_output_devices(), 1);
    VirtualBackend mine;
    mine.set_output_devices({});
    set_audio_backend(&mine);
    EXPECT_EQ(count_output_devices(), 0);
    set_audio_backend(nullptr);
    EXPECT_EQ(count_output_devices(), 1);
}

}  // namespace
