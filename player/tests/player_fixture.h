#pragma once
// Shared by the player suites: voice files made with the encoder, the
// reference decoding a playback must reproduce, WAV files, and a strip wired
// to a virtual sound card and a pumped user-interface thread.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/formats/mmwave.h"
#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/virtual_backend.h"
#include "player/playerstrip.h"
#include "shell/appstate.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"
#include "voicefile/bytesource.h"
#include "voicefile/framereader.h"
#include "voicefile/koltheader.h"
#include "voicefile/lamecoder.h"

namespace murrel::playertest {

inline std::vector<int16_t> tone(int rate, double seconds, double hz, int amplitude = 8000) {
    std::vector<int16_t> s(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(amplitude * std::sin(2 * 3.14159265358979 * hz * i / rate));
    return s;
}

// The MP3 stream of `samples` encoded for codec type 5-7.
inline std::vector<uint8_t> encode_stream(int codec_type, const std::vector<int16_t>& samples) {
    TLameCoder coder;
    setup_coder_for_mode(coder, codec_type);
    EXPECT_EQ(coder.PrepareEncoding(), 0u);
    std::vector<uint8_t> out;
    std::vector<uint8_t>& buf = coder.output_buffer();
    uint32_t chunk = coder.samples_per_chunk();
    for (size_t i = 0; i < samples.size(); i += chunk) {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(chunk, samples.size() - i));
        uint32_t produced = 0;
        coder.EncodeBuffer(samples.data() + i, n, buf.data(), produced);
        out.insert(out.end(), buf.begin(), buf.begin() + produced);
    }
    uint32_t produced = 0;
    coder.FlushEncoding(buf.data(), produced);
    out.insert(out.end(), buf.begin(), buf.begin() + produced);
    coder.CloseEncoding();
    return out;
}

inline void write_voice_file(const std::string& path, int codec_type, const std::vector<uint8_t>& stream,
                             int header_codec_type = -1) {
    KoltHeader h = make_recording_header(codec_type, codec_type - 3, path);
    if (header_codec_type >= 0) h[kolt::kCodecType] = static_cast<uint8_t>(header_codec_type);
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(h.data()), h.size());
    f.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
}

// What the playback path hands the device for a stream read from its start:
// one decoded frame per buffer, 500 zero bytes for a rejected frame and at
// the end of the frames. `reader` is a private one so the expectation does not disturb
// the process-wide reader's fill position.
inline std::vector<uint8_t> expected_playback(const std::vector<uint8_t>& stream, int channels) {
    FrameReader reader;
    reader.reset();
    MemorySource source(stream);
    std::vector<uint8_t> out;
    bool first = true;
    for (;;) {
        int ch = 1;
        int n = reader.decode_next_frame(source, first, ch);
        first = false;
        if (reader.at_end()) {
            out.insert(out.end(), 500, 0);
            break;
        }
        if (n == 0) {
            out.insert(out.end(), 500, 0);
        } else {
            const int16_t* pcm = reader.state.pcm_out;
            for (int i = 0; i < n; ++i) {
                const int16_t* l = pcm + i;
                out.insert(out.end(), reinterpret_cast<const uint8_t*>(l), reinterpret_cast<const uint8_t*>(l) + 2);
                if (channels == 2) {
                    const int16_t* r = ch == 2 ? pcm + kPcmChannelOffset + i : pcm + i;
                    out.insert(out.end(), reinterpret_cast<const uint8_t*>(r), reinterpret_cast<const uint8_t*>(r) + 2);
                }
            }
        }
    }
    return out;
}

inline std::vector<int16_t> as_samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

inline void write_wav(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels) {
    TMMWave wave;
    wave.CreateFile(path, MakePCMFormat(16, channels, rate));
    wave.WriteData(samples.data(), static_cast<int64_t>(samples.size() * 2));
    wave.CloseFile();
}

inline std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// A strip on a virtual sound card; the test's thread is the user-interface thread.
class StripTest : public ::testing::Test {
protected:
    void SetUp() override {
        app().reset();
        app().temp_dir = scratch.file("tempdata");
        std::filesystem::create_directories(app().temp_dir);
        app().temp_recording_path = app().temp_dir + "/temp_recording.vkd";
        app().messages["FM_text_system_errmsg11"] = "errmsg11";
        app().messages["FM_text_system_errmsg12"] = "errmsg12";
        backend.set_clock(VirtualClock::Fast);
        make_strip();
        // As the program's start-up does: the flag comes from the devices.
        ASSERT_TRUE(strip->probe_sound_output());
    }
    void TearDown() override {
        strip.reset();
        app().reset();
    }
    void make_strip() {
        strip.reset();
        strip = std::make_unique<PlayerStrip>(&backend, &ui);
        strip->SelectedFile = [this]() -> std::optional<std::string> {
            if (selected.empty()) return std::nullopt;
            return selected;
        };
        strip->ListDirectory = [this] { return scratch.path().string(); };
        strip->RefreshList = [this] { ++refreshes; };
        // Refills inside the virtual device's notification: with the device
        // thread, a device running as fast as it is pulled can drain its queue
        // before a refill has counted itself, and the device takes the empty
        // queue for the end of the data.
        strip->MMWaveOut_vkdplay().SetCallBackMode(TMMCBMode::cmCallback);
        strip->MMWavePlayer().Device().SetCallBackMode(TMMCBMode::cmCallback);
    }
    // An SP voice file whose stream is exactly `bytes` long.
    std::string sp_file(const std::string& name, size_t bytes) {
        std::vector<uint8_t> stream = encode_stream(5, tone(16000, bytes / 2000.0 + 1.0, 440));
        EXPECT_GE(stream.size(), bytes);
        stream.resize(bytes);
        std::string path = scratch.file(name);
        write_voice_file(path, 5, stream);
        return path;
    }
    // Moves a manual clock until `done` holds.
    bool advance_until(const std::function<bool()>& done) {
        return ui.pump_until([&] {
            if (done()) return true;
            backend.advance_output(2880);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return done();
        }, std::chrono::seconds(30));
    }
    // Pumps until the strip is back in the stopped state with every device closed.
    bool play_to_end(std::chrono::milliseconds timeout = std::chrono::milliseconds(20000)) {
        return ui.pump_until(
            [&] {
                return strip->transport() == TransportState::Stopped && !strip->MMWaveOut_vkdplay().IsOpen() &&
                       !strip->MMWavePlayer().IsOpen();
            },
            timeout);
    }

    testsupport::ScratchDir scratch;
    testsupport::ScriptedDialogs dialogs;
    VirtualBackend backend;
    PumpDispatcher ui;
    std::unique_ptr<PlayerStrip> strip;
    std::string selected;
    int refreshes = 0;
};

}  // namespace murrel::playertest
