// Cost of playing a voice file: the buffer requests of a playback (the file
// reopened, one frame found and decoded per request) against a plain decoding
// of the same stream read in one pass, both in this run. Prints the share of
// one core the requests need at real-time speed.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bench/sp_stream.h"
#include "player/voice_stream.h"
#include "voicefile/bytesource.h"
#include "voicefile/framereader.h"
#include "voicefile/koltheader.h"

using namespace murrel;
using Clock = std::chrono::steady_clock;

int main() {
    const int codec = 5, rate = 16000, seconds = 300;
    std::vector<uint8_t> stream = bench::encode_sp(bench::speechlike_signal(rate, seconds));
    if (stream.empty()) return 1;
    std::string path = (std::filesystem::temp_directory_path() / "murrel-bench-playback.vkd").string();
    {
        KoltHeader h = make_recording_header(codec, 2, path);
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(h.data()), h.size());
        f.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    }
    Tkoltfile_info info;
    info.codec_type = codec;
    info.bitrate = 16000;
    info.channels = 1;

    // Peer: the same frames decoded from memory in one pass.
    FrameReader peer_reader;
    peer_reader.reset();
    MemorySource source(stream);
    auto t0 = Clock::now();
    int frames_peer = 0, ch = 1;
    for (bool first = true; !peer_reader.at_end(); first = false)
        if (peer_reader.decode_next_frame(source, first, ch) > 0) ++frames_peer;
    double peer_s = std::chrono::duration<double>(Clock::now() - t0).count();

    FrameReader reader;
    VoiceStream voice;
    voice.start(reader, path, info, static_cast<int64_t>(std::filesystem::file_size(path)), 1);
    std::vector<int16_t> buffer(kVoiceRequestSamples);
    int requests = 0, length = 0;
    t0 = Clock::now();
    while (voice.fill_bufferfromdisk(buffer.data(), kVoiceRequestSamples - 1, length)) ++requests;
    double play_s = std::chrono::duration<double>(Clock::now() - t0).count();
    std::filesystem::remove(path);

    std::printf("audio: %d s SP (%zu stream bytes)\n", seconds, stream.size());
    std::printf("buffer requests: %d in %.3f s = %.1f us each, %.0fx real time, %.3f%% of a core while playing\n",
                requests, play_s, play_s / requests * 1e6, seconds / play_s, play_s / seconds * 100);
    std::printf("one-pass decoding (peer): %d frames in %.3f s, %.0fx real time\n", frames_peer, peer_s,
                seconds / peer_s);
    std::printf("requests / peer time: %.2f\n", play_s / peer_s);
    return 0;
}
