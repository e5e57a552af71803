// Playback through the strip on a virtual sound card: voice files decoded one
// frame per buffer, WAV files through the player chain, the time display's
// arithmetic, seeking, pause and resume, and every failure the user can meet.
#include "player/tests/player_fixture.h"

#include <thread>

#include "voicefile/stream_lease.h"

using namespace murrel;
using namespace murrel::playertest;

namespace {

using PlaybackTest = StripTest;

TEST_F(PlaybackTest, VoiceFilesOfEveryModePlayToTheEndAndTheDeviceReceivesTheDecodedFrames) {
    for (int codec : {5, 6, 7}) {
        SCOPED_TRACE(codec);
        backend.clear_played();
        std::vector<uint8_t> stream = encode_stream(codec, tone(mp3_sample_rate(codec), 2.0, 300 + 100 * codec));
        selected = scratch.file("voice" + std::to_string(codec) + ".vkd");
        write_voice_file(selected, codec, stream);
        strip->button_playClick();
        EXPECT_EQ(strip->transport(), TransportState::Playing);
        EXPECT_EQ(strip->display().file_type, "VKD");
        ASSERT_TRUE(play_to_end());
        std::vector<uint8_t> expected = expected_playback(stream, 1);
        std::vector<uint8_t> played = backend.played(0);
        ASSERT_EQ(played.size(), expected.size()) << testing::PrintToString(dialogs.texts()) << " decoded " << strip->voice().frames_decoded() << " read_pos " << strip->voice().read_pos();
        EXPECT_TRUE(played == expected);
        // The whole two seconds are heard, the last frames included.
        EXPECT_GE(played.size() / 2, static_cast<size_t>(2 * mp3_sample_rate(codec)));
        EXPECT_GT(strip->voice().frames_decoded(), 50);
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_FALSE(StreamLease::busy());
        EXPECT_EQ(strip->display().file_type, "___");
    }
}

TEST_F(PlaybackTest, AWavFilePlaysToTheEndAndTheDeviceReceivesItsSamples) {
    std::vector<int16_t> samples = tone(22050, 3.0, 500);  // 1.5 s of stereo frames
    for (size_t i = 1; i < samples.size(); i += 2) samples[i] = static_cast<int16_t>(-samples[i] / 2);
    selected = scratch.file("music.WAV");
    write_wav(selected, samples, 22050, 2);
    strip->button_playClick();
    EXPECT_EQ(strip->play_kind(), kFileWav);
    EXPECT_EQ(strip->display().file_type, "WAV");
    EXPECT_TRUE(strip->display().stereo);
    EXPECT_EQ(strip->display().file_name, "music.WAV");
    ASSERT_TRUE(play_to_end());
    std::vector<int16_t> played = as_samples(backend.played(0));
    ASSERT_EQ(played.size(), samples.size());
    EXPECT_TRUE(played == samples);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PlaybackTest, AnSpFileOf120000BytesShowsOneMinuteTotalAndReachesItWhenTheEndIsHeard) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("minute.vkd", 120000);
    strip->button_playClick();
    const PlayerDisplay& d = strip->display();
    EXPECT_EQ(d.total_hour * 3600 + d.total_minute * 60 + d.total_second, 60);
    EXPECT_EQ(d.bit_up, 16);
    EXPECT_EQ(d.bit_down1, 0);
    EXPECT_EQ(d.bit_down2, 0);
    EXPECT_TRUE(d.led_sp);
    EXPECT_FALSE(d.led_hq || d.led_shq);
    EXPECT_TRUE(strip->timer_enabled());
    strip->Timer_timedisplayTimer();
    // A little is read ahead of what plays, none of it heard yet.
    EXPECT_GT(strip->voice().read_pos(), 512);
    EXPECT_EQ(d.hour + ":" + d.minute + ":" + d.second, "00:00:00");
    ASSERT_TRUE(advance_until([&] { return strip->voice().read_pos() == 120512; }));
    // Heard on in steps of 50 ms: one minute shows before the device stops.
    std::string reached;
    int position = 0;
    ASSERT_TRUE(ui.pump_until([&] {
        backend.advance_output(800);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (strip->transport() == TransportState::Playing) {
            strip->Timer_timedisplayTimer();
            if (reached.empty() && d.minute == "01") {
                reached = d.hour + ":" + d.minute + ":" + d.second;
                position = d.position;
            }
        }
        return strip->transport() == TransportState::Stopped;
    }, std::chrono::seconds(30)));
    EXPECT_EQ(reached, "00:01:00");
    EXPECT_EQ(position, 100);
}

TEST_F(PlaybackTest, ASeekToFiftyMakesTheNextFramesComeFromOffset60000) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("seek.vkd", 120000);
    strip->button_playClick();
    strip->trackbar_positionTrack();
    strip->Timer_timedisplayTimer();  // skipped while the thumb is held
    EXPECT_EQ(strip->display().hour + strip->display().minute + strip->display().second, "000000");
    strip->trackbar_positionTrackEnd(50);
    ASSERT_TRUE(advance_until([&] { return !strip->voice().seek_requested(); }));
    // The reader searched from 60,000: one or two ring fills of 512 bytes,
    // and the reset's refill read the first frames from there.
    int64_t pos = strip->voice().read_pos();
    EXPECT_TRUE(pos == 60512 || pos == 61024) << pos;
    EXPECT_TRUE(strip->voice().first_frame() == false);
    strip->Timer_timedisplayTimer();
    EXPECT_EQ(strip->display().minute + ":" + strip->display().second, "00:30");
    EXPECT_EQ(strip->display().position, 50);
}

TEST_F(PlaybackTest, AfterASeekTheDeviceHearsTheNewPlaceAtOnceNotTheBuffersQueuedBeforeIt) {
    backend.set_clock(VirtualClock::Manual);
    // Ten seconds of loud tone, then ten of silence.
    std::vector<int16_t> pcm = tone(16000, 10.0, 440, 12000);
    pcm.resize(pcm.size() * 2, 0);
    std::vector<uint8_t> stream = encode_stream(5, pcm);
    selected = scratch.file("halves.vkd");
    write_voice_file(selected, 5, stream);
    strip->button_playClick();
    ASSERT_TRUE(advance_until([&] { return backend.played(0).size() > 8000; }));
    backend.clear_played();
    strip->trackbar_positionTrackEnd(75);
    ASSERT_TRUE(advance_until([&] { return backend.played(0).size() >= 16000; }));
    std::vector<int16_t> heard = as_samples(backend.played(0));
    int loudest = 0;
    for (int16_t v : heard) loudest = std::max(loudest, std::abs(static_cast<int>(v)));
    EXPECT_LT(loudest, 300) << "the first half second after the seek still carried the tone";
    strip->button_stopClick();
}

TEST_F(PlaybackTest, ASeekToOneHundredStopsAndTheNextPlaybackRunsAgain) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("end.vkd", 20000);
    strip->button_playClick();
    strip->trackbar_positionTrackEnd(100);
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(strip->display(), PlayerDisplay{});
    strip->button_playClick();
    EXPECT_EQ(strip->transport(), TransportState::Playing);
    // From the start again: two seconds heard show as two, with more read ahead.
    ASSERT_TRUE(advance_until([&] { return strip->position_ms() >= 2000; }));
    strip->Timer_timedisplayTimer();
    EXPECT_EQ(strip->display().second, "02");
    EXPECT_GT(strip->voice().read_pos(), 4000);
}

TEST_F(PlaybackTest, PauseThenPlayResumesTheSameFileAfterAnotherEntryWasSelected) {
    backend.set_clock(VirtualClock::Manual);
    std::string first = sp_file("first.vkd", 20000);
    selected = first;
    strip->button_playClick();
    strip->button_pauseClick();
    EXPECT_TRUE(strip->paused());
    EXPECT_EQ(strip->transport(), TransportState::Paused);
    EXPECT_EQ(strip->display().state_image, 18);
    selected = sp_file("second.vkd", 20000);
    strip->button_playClick();
    EXPECT_FALSE(strip->paused());
    EXPECT_EQ(strip->transport(), TransportState::Playing);
    EXPECT_EQ(strip->playing_path(), first);
    EXPECT_EQ(strip->display().file_name, "first.vkd");
    strip->button_stopClick();
    EXPECT_FALSE(strip->MMWaveOut_vkdplay().IsOpen());
    strip->button_pauseClick();  // stop, then pause does nothing
    EXPECT_FALSE(strip->paused());
    EXPECT_EQ(strip->transport(), TransportState::Stopped);
    EXPECT_EQ(strip->play_kind(), kFileVoice);  // kept by stop
}

TEST_F(PlaybackTest, PlayDoesNothingWithoutAPlayableSelectionAndRejectsABrokenVoiceFile) {
    strip->button_playClick();  // nothing selected
    EXPECT_EQ(strip->transport(), TransportState::Stopped);
    selected = scratch.file("notes.txt");
    std::ofstream(selected) << "hello";
    strip->button_playClick();
    EXPECT_EQ(strip->display().state_image, 19);
    EXPECT_TRUE(dialogs.messages.empty());
    selected = scratch.file("broken.vkd");
    std::ofstream(selected) << std::string(600, 'x');
    strip->button_playClick();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string>{"errmsg11"});
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(dialogs.messages[0].system_modal);
    EXPECT_EQ(strip->transport(), TransportState::Stopped);
}

TEST_F(PlaybackTest, WithoutASoundCardPlayWarnsAndNothingElseChanges) {
    backend.set_output_devices({});
    make_strip();
    EXPECT_FALSE(strip->probe_sound_output());
    EXPECT_FALSE(app().sound_output_present);
    selected = sp_file("x.vkd", 4000);
    PlayerDisplay before = strip->display();
    ButtonStates buttons = strip->buttons();
    strip->button_playClick();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string>{"errmsg12"});
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(strip->display(), before);
    EXPECT_EQ(strip->buttons(), buttons);
    EXPECT_FALSE(strip->MMWaveOut_vkdplay().IsOpen());
}

TEST_F(PlaybackTest, TheProbeFindsTheOutputDeviceAndReadsTheVoiceDevicesVolume) {
    app().sound_output_present = false;
    EXPECT_TRUE(strip->probe_sound_output());
    EXPECT_TRUE(app().sound_output_present);
    EXPECT_EQ(strip->MMWavePlayer().Device().DeviceID(), MapperId);
    // The volume the slider starts from is the device's.
    strip->MMWaveOut_vkdplay().SetVolume(0x20002000u);
    ASSERT_TRUE(strip->probe_sound_output());
    EXPECT_EQ(strip->volume(), 0x20002000u);
}

TEST_F(PlaybackTest, AVoiceFileOfCodecTypeThreeShowsItsBitRateAndLedsThenErrmsg11) {
    selected = scratch.file("adpcm.vkd");
    write_voice_file(selected, 5, std::vector<uint8_t>(4000, 0x55), 3);
    strip->button_playClick();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string>{"errmsg11"});
    EXPECT_EQ(strip->transport(), TransportState::Stopped);
    EXPECT_FALSE(strip->timer_enabled());
    EXPECT_FALSE(strip->MMWaveOut_vkdplay().IsOpen());
    EXPECT_EQ(strip->display().bit_up, 16);  // shown before the refusal
    EXPECT_TRUE(strip->display().led_sp);
    EXPECT_FALSE(StreamLease::busy());
}

// The file was valid when playing started: the box says what became of it and
// when, rather than calling it an invalid file.
TEST_F(PlaybackTest, APulledOutRecorderEndsPlaybackSayingTheFileWentAndNothingHangs) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("pulled.vkd", 40000);
    strip->button_playClick();
    std::filesystem::remove(selected);
    ASSERT_TRUE(ui.pump_until([&] {
        backend.advance_output(2000);
        return strip->transport() == TransportState::Stopped && !strip->MMWaveOut_vkdplay().IsOpen();
    }));
    ui.pump_for(std::chrono::milliseconds(50));
    ASSERT_EQ(dialogs.texts().size(), 1u);
    EXPECT_EQ(dialogs.texts()[0], selected + ": the file became shorter or unreadable at 00:00:00");
    EXPECT_FALSE(StreamLease::busy());
}

TEST_F(PlaybackTest, ADecodingCannotOverlapAPlaybackAndPlaybackWaitsForNone) {
    backend.set_clock(VirtualClock::Manual);
    selected = sp_file("busy.vkd", 20000);
    strip->button_playClick();
    EXPECT_TRUE(StreamLease::busy());
    EXPECT_FALSE(StreamLease::try_acquire().has_value());
    strip->button_stopClick();
    EXPECT_FALSE(StreamLease::busy());
    {
        // A decoding elsewhere holds the stream: playback does not start.
        StreamLease held = StreamLease::acquire();
        strip->button_playClick();
        EXPECT_EQ(strip->transport(), TransportState::Stopped);
        EXPECT_FALSE(strip->MMWaveOut_vkdplay().IsOpen());
        ASSERT_EQ(dialogs.messages.size(), 1u);
    }
    strip->button_playClick();
    EXPECT_EQ(strip->transport(), TransportState::Playing);
}

TEST_F(PlaybackTest, TheVolumeSliderSetsBothChannelsOfTheDevices) {
    selected = sp_file("vol.vkd", 8000);
    strip->trackbar_wavvolumeChange(65536);
    EXPECT_EQ(strip->volume(), 0xFFFFFFFFu);
    strip->trackbar_wavvolumeChange(0x4000);
    EXPECT_EQ(strip->volume(), 0x40004000u);
    backend.clear_played();
    strip->button_playClick();
    ASSERT_TRUE(play_to_end());
    std::vector<int16_t> played = as_samples(backend.played(0));
    int peak = 0;
    for (int16_t s : played) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 500);
    EXPECT_LT(peak, 3000);  // an 8000 tone at a quarter of the volume
}

}  // namespace

TEST_F(PlaybackTest, TheStreamsOwnRateAndChannelsOpenTheDeviceWhenTheHeaderDisagrees) {
    // An SP stream (16 kHz mono) under an SHQ header (22,050 Hz).
    const std::vector<uint8_t> stream = encode_stream(5, tone(16000, 1.0, 500));
    selected = scratch.file("odd.vkd");
    write_voice_file(selected, 7, stream);
    strip->button_playClick();
    ASSERT_EQ(strip->transport(), TransportState::Playing);
    const TWaveFormatEx* format = strip->MMWaveOut_vkdplay().GetWaveFormat();
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->nSamplesPerSec, 16000u);
    EXPECT_EQ(format->nChannels, 1);
    EXPECT_EQ(format->wBitsPerSample, 16);
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(backend.played(0), expected_playback(stream, 1));
}

// The program's WAV player takes every format the program reads through the
// conversion chain: the device hears the file decoded to 16-bit PCM.
TEST_F(PlaybackTest, WavFilesOfCodedAndWideFormatsPlayAsTheirDecodedSamples) {
    if (std::system("sox --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    const std::vector<int16_t> samples = tone(8000, 0.5, 440);
    const std::string src = scratch.file("src.wav");
    write_wav(src, samples, 8000, 1);
    for (const std::string encoding : {"-e u-law", "-e a-law", "-e ima-adpcm", "-e ms-adpcm", "-e floating-point", "-b 24"}) {
        SCOPED_TRACE(encoding);
        backend.clear_played();
        selected = scratch.file("coded.wav");
        ASSERT_EQ(std::system(("sox " + src + " " + encoding + " " + selected + " 2>/dev/null").c_str()), 0);
        strip->button_playClick();
        ASSERT_EQ(strip->transport(), TransportState::Playing) << testing::PrintToString(dialogs.texts());
        ASSERT_TRUE(play_to_end());
        const std::vector<int16_t> played = as_samples(backend.played(0));
        EXPECT_NEAR(double(played.size()), double(samples.size()), 600.0);
        // Close to the source: the codecs lose little of a tone.
        double err = 0, ref = 0;
        for (size_t i = 0; i < std::min(played.size(), samples.size()); ++i) {
            err += std::abs(double(played[i]) - samples[i]);
            ref += std::abs(double(samples[i]));
        }
        EXPECT_LT(err / ref, 0.25);
        EXPECT_TRUE(dialogs.messages.empty());
    }
}
