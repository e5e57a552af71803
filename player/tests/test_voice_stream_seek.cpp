// A seek on the user-interface thread while the device's thread is inside a
// buffer request: the request must not store the old place over the new one.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "player/tests/player_fixture.h"
#include "player/voice_stream.h"

using namespace murrel;
using namespace murrel::playertest;

namespace {

TEST(VoiceStreamSeek, ASeekDuringARunningRequestIsNeverLost) {
    testsupport::ScratchDir scratch;
    const std::string path = scratch.file("long.vkd");
    // 60 s of SP: 120,000 stream bytes, so the two places below lie 48,000 apart.
    write_voice_file(path, 5, encode_stream(5, tone(16000, 60.0, 300.0)));
    Tkoltfile_info info;
    info.codec_type = 5;
    info.bitrate = 16000;
    info.channels = 1;
    FrameReader reader;
    VoiceStream voice;
    voice.start(reader, path, info, static_cast<int64_t>(std::filesystem::file_size(path)), 1);

    // The device's thread asks for buffers back to back, so nearly every seek
    // lands while a request is reading.
    std::atomic<bool> quit{false};
    std::atomic<int64_t> requests{0};
    std::thread device([&] {
        std::vector<int16_t> buffer(kVoiceRequestSamples);
        int length = 0;
        while (!quit.load()) {
            voice.fill_bufferfromdisk(buffer.data(), kVoiceRequestSamples - 1, length);
            requests.fetch_add(1);
        }
    });
    int lost = 0;
    for (int i = 0; i < 200; ++i) {
        const int64_t target = (i % 2 == 0) ? 24000 : 72000;
        voice.seek(target);
        // Two whole requests after the seek: the one running when it came
        // and at least one that started after it.
        int64_t seen = requests.load();
        while (requests.load() < seen + 2) std::this_thread::yield();
        int64_t pos = voice.read_pos();
        // A few ring fills of 512 bytes beyond the target at most.
        if (pos < target || pos > target + 4096) ++lost;
    }
    quit.store(true);
    device.join();
    EXPECT_EQ(lost, 0) << "seeks whose place was overwritten by the old one";
    EXPECT_GT(voice.frames_decoded(), 200);
}

}  // namespace
