// A seek on the user-interface thread while the device's thread is inside a
// buffer request: the request must not store the old place over the new one.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
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
    // lands while a request is reading; it logs the read position after each.
    std::atomic<bool> quit{false};
    std::mutex log_mutex;
    std::vector<int64_t> log;
    std::thread device([&] {
        std::vector<int16_t> buffer(kVoiceRequestSamples);
        int length = 0;
        while (!quit.load()) {
            voice.fill_bufferfromdisk(buffer.data(), kVoiceRequestSamples - 1, length);
            std::lock_guard lock(log_mutex);
            log.push_back(voice.read_pos());
        }
    });
    auto logged = [&] {
        std::lock_guard lock(log_mutex);
        return log.size();
    };
    int lost = 0;
    for (int i = 0; i < 200; ++i) {
        const int64_t target = (i % 2 == 0) ? 24000 : 72000;
        voice.seek(target);
        // Request `seen` may have begun before the seek; the one after it
        // began after the seek and must have read from the target: a few
        // ring fills of 512 bytes beyond it at most.
        size_t seen = logged();
        while (logged() < seen + 2) std::this_thread::yield();
        int64_t pos;
        {
            std::lock_guard lock(log_mutex);
            pos = log[seen + 1];
        }
        if (pos < target || pos > target + 4096) ++lost;
    }
    quit.store(true);
    device.join();
    EXPECT_EQ(lost, 0) << "seeks whose place was overwritten by the old one";
    EXPECT_GT(voice.frames_decoded(), 200);
}

}  // namespace
