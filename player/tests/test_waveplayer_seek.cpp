// Seeking the WAV player while its device refills on its own thread (the
// program's mode): the audio after a seek begins exactly at the new place and
// the position counts from there. (The player moves the wave inside the
// device's reset, so a refill running at the seek cannot read the wave after
// the move; that interleaving is too rare to provoke here.)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/virtual_backend.h"
#include "player/waveplayer.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;

namespace {

// 16 kHz stereo whose frame i holds i in its two channels (low 15 bits left,
// the rest right), so every frame names its own place.
void write_numbered_wav(const std::string& path, uint32_t frames) {
    auto le = [](std::ofstream& f, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.put(static_cast<char>(v >> (8 * i)));
    };
    std::ofstream f(path, std::ios::binary);
    f.write("RIFF", 4);
    le(f, 36 + frames * 4, 4);
    f.write("WAVEfmt ", 8);
    le(f, 16, 4);
    le(f, 1, 2);
    le(f, 2, 2);
    le(f, 16000, 4);
    le(f, 64000, 4);
    le(f, 4, 2);
    le(f, 16, 2);
    f.write("data", 4);
    le(f, frames * 4, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        le(f, i & 0x7FFF, 2);
        le(f, i >> 15, 2);
    }
}

std::vector<uint32_t> frame_numbers(const std::vector<uint8_t>& played) {
    std::vector<uint32_t> out(played.size() / 4);
    for (size_t i = 0; i < out.size(); ++i) {
        uint16_t l, r;
        std::memcpy(&l, played.data() + 4 * i, 2);
        std::memcpy(&r, played.data() + 4 * i + 2, 2);
        out[i] = l | (static_cast<uint32_t>(r) << 15);
    }
    return out;
}

TEST(WavePlayerSeek, AfterEachSeekTheDeviceHearsExactlyTheNewPlaceFirst) {
    testsupport::ScratchDir scratch;
    const std::string path = scratch.file("numbered.wav");
    write_numbered_wav(path, 16000 * 120);
    VirtualBackend backend;
    backend.set_clock(VirtualClock::RealTime);
    PumpDispatcher ui;
    TMMWavePlayer player(&backend, &ui);
    player.Wave().SetFileName(path);
    player.Wave().OpenFile();
    player.Play();
    ui.pump_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(player.Device().IsPlaying());

    int late = 0;
    for (int i = 0; i < 40; ++i) {
        // Places far apart, each on a whole millisecond.
        const int64_t ms = 5000 + (i * 37'123) % 100'000;
        backend.clear_played();
        player.SetPosition(ms);
        ASSERT_TRUE(ui.pump_until([&] { return backend.played().size() >= 4 * 800; }, std::chrono::seconds(5)));
        std::vector<uint32_t> heard = frame_numbers(backend.played());
        // What the device still played of the old place before the reset
        // comes first; then the new place must begin at its first frame.
        const uint32_t first = static_cast<uint32_t>(ms * 16);
        auto at = std::find(heard.begin(), heard.end(), first);
        if (at == heard.end() || at + 1 == heard.end() || *(at + 1) != first + 1) ++late;
        // The position counts from the new place (a few buffers heard since).
        EXPECT_GE(player.Position(), ms) << "at seek " << i;
        ASSERT_TRUE(player.Device().IsPlaying()) << "at seek " << i;
    }
    EXPECT_EQ(late, 0) << "seeks whose new place did not begin at its first frame";
    player.Stop();
}

}  // namespace
