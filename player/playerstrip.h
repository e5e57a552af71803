#pragma once
// The player strip's logic: playing the selected voice file or WAV file,
// recording in the three modes, pause, stop, seek, volume, the 100 ms time
// display and the button enables. No widgets: the strip keeps a display
// model and the button states, and a view (the widget, a test, the
// command-line tool) shows them after OnDisplayChanged.
//
// Threads: every handler runs on the user-interface thread (the dispatcher's
// pump). The voice device refills on its worker (fill_bufferfromdisk); the
// recorder's buffers arrive on the input device's thread. What those threads
// need shown is posted to the user-interface thread.
//
// The frame reader and the decoder are held through a StreamLease from
// play_file until the voice device has closed, so no decoding can run in
// between; a playback asked for while a decoding holds them does not start.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audio/devices/mmdsp_connector.h"
#include "audio/devices/mmdsp_stretch.h"
#include "audio/devices/waveout.h"
#include "player/playback_settings.h"
#include "player/recorder.h"
#include "player/timedisplay.h"
#include "player/transport.h"
#include "player/voice_stream.h"
#include "player/waveplayer.h"
#include "voicefile/fileinfo.h"
#include "voicefile/lamecoder.h"
#include "voicefile/stream_lease.h"

namespace murrel {

// Panel1 as data.
struct PlayerDisplay {
    std::string hour = "00", minute = "00", second = "00";
    int state_image = 19;
    int total_hour = 0, total_minute = 0, total_second = 0;
    bool led_sp = false, led_hq = false, led_shq = false;
    int bit_up = 0, bit_down1 = 0, bit_down2 = 0;
    bool stereo = false;
    std::string file_type = "___";
    std::string file_name;
    int position = 0;  // slider, 0-100
    int speed = 100;   // playback speed, percent
    bool operator==(const PlayerDisplay&) const = default;
};

class PlayerStrip {
public:
    PlayerStrip(AudioBackend* backend = nullptr, UiDispatcher* ui = nullptr);
    ~PlayerStrip();
    PlayerStrip(const PlayerStrip&) = delete;
    PlayerStrip& operator=(const PlayerStrip&) = delete;

    // What the file list tells: the selected entry's full path (none when
    // nothing is selected), the folder shown, and the refresh after a save.
    std::function<std::optional<std::string>()> SelectedFile;
    std::function<std::string()> ListDirectory;
    std::function<void()> RefreshList;
    // After any change of the display model or the button states.
    std::function<void()> OnDisplayChanged;
    // Whether the 100 ms timer should run (the view drives it).
    std::function<void(bool)> OnTimerEnabled;

    // The start-up's sound-output probe: sound_output_present from the
    // backend's output devices; with one, the WAV player is put on the wave
    // mapper (device 0 when the engine refuses it) and the voice device's
    // volume becomes volume(). Returns sound_output_present.
    bool probe_sound_output();

    // --- handlers ---------------------------------------------------------------
    void button_playClick();
    // Resumes a paused file exactly where it was paused, without the rewind
    // on resume: for a control that rewound already when it paused (the foot
    // pedal's release). Nothing unless paused.
    void resume_in_place();
    void play_file(const std::string& path);
    void button_pauseClick();
    void button_stopClick();
    void button_sprecordClick() { record_click(5); }
    void button_hqrecordClick() { record_click(6); }
    void button_shqrecordClick() { record_click(7); }
    void Timer_timedisplayTimer();
    // The position slider: dragging starts, the thumb is released at `percent`.
    void trackbar_positionTrack() { position_dragging_ = true; }
    void trackbar_positionTrackEnd(int percent);
    // The volume slider, 0-65536.
    void trackbar_wavvolumeChange(int value);

    // --- typing along -----------------------------------------------------------
    // Plays `path` from `from_ms` of file time instead of where it was left.
    void play_file_from(const std::string& path, int64_t from_ms);
    // Where the next play_file starts (once), in file time; unset: where the
    // file was left, less the rewind, or its start.
    std::optional<int64_t> next_start_ms;
    // Playback speed, 50–200 % in steps of 5, pitch kept, for voice and WAV
    // files alike; heard within a few buffers when changed during playback.
    int speed() const { return speed_; }
    void set_speed(int percent);
    void speed_up() { set_speed(speed_ + kSpeedStep); }
    void speed_down() { set_speed(speed_ - kSpeedStep); }
    // The position heard, in milliseconds of the file (not of the time it
    // took at another speed); 0 when nothing plays. For voice files it counts
    // the header as the time display does.
    int64_t position_ms();
    // Seeks to `ms` of file time while playing or paused; past the end stops
    // as the slider at 100 does.
    void set_position_ms(int64_t ms);
    // Seeks by `delta_ms` of file time from the position heard (never before
    // the start of the audio).
    void skip(int64_t delta_ms);
    static constexpr int64_t kSkipShortMs = 2000, kSkipLongMs = 10000;
    // Pause while playing, resume while paused, play the selection when stopped.
    void play_pause_toggle();
    // How much earlier a resume after pause starts, 0–5000 ms.
    int rewind_ms() const { return rewind_ms_; }
    void set_rewind_ms(int ms);
    // Where each of the last files was left; playing one of them again starts
    // there, less the rewind. A file heard to its end starts from its start.
    ResumePositions& resume_positions() { return resume_; }
    // Reads speed (under `window_key`), rewind and resume positions from the
    // INI file at `ini_path` and writes them back there whenever they change.
    // Without it nothing is kept.
    void use_settings_file(const std::string& ini_path, const char* window_key);
    TMMTimeStretch& VoiceStretch() { return voice_stretch_; }

    // --- state ---------------------------------------------------------------------
    const PlayerDisplay& display() const { return display_; }
    const ButtonStates& buttons() const { return buttons_; }
    TransportState transport() const { return transport_; }
    int play_kind() const { return play_kind_; }
    bool paused() const { return paused_; }
    bool recording() const { return recorder_.recording(); }
    bool timer_enabled() const { return timer_enabled_; }
    const std::string& playing_path() const { return playing_path_; }
    uint32_t volume() const { return volume_; }

    VoiceStream& voice() { return voice_; }
    TMMWaveOut& MMWaveOut_vkdplay() { return vkdplay_; }
    TMMWavePlayer& MMWavePlayer() { return wave_player_; }
    Recorder& recorder() { return recorder_; }
    TLameCoder& LameEnCoder() { return coder_; }
    // Feed the level meters: the WAV player's, the voice device's and the
    // recorder's audio.
    TMMConnector& MMConnector1() { return connector1_; }
    TMMConnector& MMConnector2() { return connector2_; }
    TMMConnector& MMConnector3() { return connector3_; }

    void playandrec_buttonset(TransportState state);
    void clear_displaypanel();

private:
    void record_click(int codec_type);
    void start_record(int codec_type);
    // False when the save failed and the rest of the stop is skipped.
    bool stop_recording_and_save();
    void set_timer(bool on);
    void set_bitrate(int32_t bitrate);
    void set_total(const Tkoltfile_info& info);
    void set_time(const Hms& t);
    void changed();
    void vkd_buffer_load(TMMWaveHdr* hdr, bool& more);
    void release_lease_when_closed();
    void buffer_open_failed();
    // File time of a voice-file byte offset and back, at the file's bit rate.
    int64_t voice_offset_ms(int64_t offset) const;
    int64_t voice_ms_offset(int64_t ms) const;
    int64_t file_length_ms() const;
    void seek_voice(int64_t offset);
    void keep_resume_position();
    void restart_paused();
    void save_settings();

    UiDispatcher* ui_;
    TLameCoder coder_;
    TMMConnector connector1_, connector2_, connector3_;
    // The voice file's chain: the buffer requests → the stretch → the device.
    TMMDSPComponent voice_source_;
    TMMTimeStretch voice_stretch_;
    TMMWaveOut vkdplay_;
    TMMWavePlayer wave_player_;
    Recorder recorder_;
    VoiceStream voice_;
    std::optional<StreamLease> lease_;
    std::unique_ptr<int16_t[]> request_buffer_;  // the refill's local buffer

    PlayerDisplay display_;
    ButtonStates buttons_;
    TransportState transport_ = TransportState::Stopped;
    int play_kind_ = 0;
    bool paused_ = false;
    bool timer_enabled_ = false;
    bool in_stop_ = false;
    std::atomic<bool> position_dragging_{false};
    std::string playing_path_;
    int64_t wav_length_ms_ = 0;  // the playing WAV file's length, read at its start
    uint32_t volume_ = 0xFFFFFFFFu;
    int speed_ = kSpeedNormal;
    int rewind_ms_ = kRewindDefaultMs;
    int64_t voice_base_ = 0;  // byte offset the voice device's run started reading at
    ResumePositions resume_;
    std::string settings_path_;
    const char* window_key_ = "MainSpeed";
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace murrel
