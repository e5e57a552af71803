#include "player/playerstrip.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "audio/devices/device_errors.h"
#include "audio/formats/waveformat.h"
#include "player/player_texts.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/profile.h"
#include "voicefile/bytesource.h"
#include "voicefile/framereader.h"
#include "voicefile/koltheader.h"

namespace murrel {

namespace fs = std::filesystem;

PlayerStrip::PlayerStrip(AudioBackend* backend, UiDispatcher* ui)
    : ui_(ui ? ui : &ui_dispatcher()),
      connector1_(ui),
      connector2_(ui),
      connector3_(ui),
      vkdplay_(backend, ui),
      wave_player_(backend, ui),
      recorder_(coder_, backend, ui),
      request_buffer_(new int16_t[kVoiceRequestSamples]) {
    vkdplay_.SetBufferSize(8000);
    vkdplay_.SetNumBuffers(kStretchQueueBuffers);
    vkdplay_.SetDeviceID(MapperId);
    if (vkdplay_.DeviceID() == InvalidId) vkdplay_.SetDeviceID(0);
    vkdplay_.SetCallBackMode(TMMCBMode::cmThread);
    vkdplay_.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    vkdplay_.SetPriority(TThreadPriority::tpHighest);
    voice_source_.OnBufferLoad = [this](TMMDSPComponent*, TMMWaveHdr* hdr, bool& more) {
        vkd_buffer_load(hdr, more);
    };
    voice_source_.SetOutput(&voice_stretch_);
    voice_stretch_.SetOutput(&vkdplay_);
    vkdplay_.OnStop = [this](TMMDSPComponent*) { button_stopClick(); };
    vkdplay_.OnClose = [this](TMMDSPComponent*) { release_lease_when_closed(); };
    // The connector is shown each buffer as it goes to the device, so the
    // meters follow what is heard rather than what was just decoded.
    vkdplay_.SetOutput(&connector2_);
    wave_player_.SetTap(&connector1_);
    wave_player_.OnStop = [this](TMMDSPComponent*) { button_stopClick(); };
    recorder_.Device().SetOutput(&connector3_);
    recorder_.OnWriteFailed = [this] {
        show_error(player_text(PlayerText::ScratchUnwritable));
        button_stopClick();
    };
}

PlayerStrip::~PlayerStrip() {
    *alive_ = false;
    vkdplay_.OnStop = nullptr;
    vkdplay_.OnClose = nullptr;
    wave_player_.OnStop = nullptr;
    recorder_.OnWriteFailed = nullptr;
    try {
        if (recorder_.recording()) recorder_.stop();
        wave_player_.Stop();
        vkdplay_.Close();
    } catch (...) {
    }
    vkdplay_.SetOutput(nullptr);
    voice_stretch_.SetOutput(nullptr);
    voice_source_.SetOutput(nullptr);
    wave_player_.SetTap(nullptr);
    recorder_.Device().SetOutput(nullptr);
    lease_.reset();
}

void PlayerStrip::changed() {
    if (OnDisplayChanged) OnDisplayChanged();
}

void PlayerStrip::set_timer(bool on) {
    timer_enabled_ = on;
    if (OnTimerEnabled) OnTimerEnabled(on);
}

void PlayerStrip::playandrec_buttonset(TransportState state) {
    transport_ = state;
    apply_changes(buttons_, transport_changes(state, recorder_.record_mode_code()));
    display_.state_image = state_image_index(state);
    changed();
}

void PlayerStrip::clear_displaypanel() {
    display_.total_hour = display_.total_minute = display_.total_second = 0;
    display_.file_type = "___";
    display_.bit_up = display_.bit_down1 = display_.bit_down2 = 0;
    display_.led_sp = display_.led_hq = display_.led_shq = false;
    display_.stereo = false;
    display_.hour = display_.minute = display_.second = "00";
    display_.file_name.clear();
    changed();
}

void PlayerStrip::set_bitrate(int32_t bitrate) {
    if (bitrate < 0) bitrate = 0;
    display_.bit_up = std::min(bitrate / 1000, 9999);
    display_.bit_down1 = (bitrate % 1000) / 100;
    display_.bit_down2 = (bitrate % 100) / 10;
}

void PlayerStrip::set_total(const Tkoltfile_info& info) {
    display_.total_hour = info.hours;
    display_.total_minute = info.minutes;
    display_.total_second = info.seconds;
}

void PlayerStrip::set_time(const Hms& t) {
    display_.hour = two_digits(t.hours);
    display_.minute = two_digits(t.minutes);
    display_.second = two_digits(t.seconds);
}

bool PlayerStrip::probe_sound_output() {
    const bool present = vkdplay_.Backend().out_num_devs() > 0;
    app().sound_output_present = present;
    if (!present) return false;
    TMMWaveOut& wav_device = wave_player_.Device();
    wav_device.SetDeviceID(0);
    try {
        wav_device.SetDeviceID(MapperId);
        if (wav_device.DeviceID() == InvalidId) wav_device.SetDeviceID(0);
        volume_ = vkdplay_.Volume();
    } catch (const EMMWaveOutError&) {
        wav_device.SetDeviceID(0);
    }
    return true;
}

// ------------------------------------------------------------------ playback

void PlayerStrip::button_playClick() {
    if (recorder_.recording()) return;
    if (!app().sound_output_present) {
        show_warning(catalogue_text(kErrNoSoundOutput));
        return;
    }
    if (paused_) {
        // Typing along loses the last words while the hands move back to the
        // keys: resuming repeats them.
        if (rewind_ms_ > 0 && (wave_player_.IsOpen() || vkdplay_.IsOpen())) skip(-rewind_ms_);
        restart_paused();
        return;
    }
    std::optional<std::string> selected = SelectedFile ? SelectedFile() : std::nullopt;
    if (!selected || selected->empty()) return;
    std::string ext = upper_extension(*selected);
    if (ext != ".WAV" && ext != ".VKD") return;
    button_stopClick();
    display_.file_name = fs::path(*selected).filename().string();
    playandrec_buttonset(TransportState::Playing);
    play_file(*selected);
}

void PlayerStrip::play_file_from(const std::string& path, int64_t from_ms) {
    next_start_ms = std::max<int64_t>(from_ms, 0);
    play_file(path);
}

void PlayerStrip::play_file(const std::string& path) {
    // Where to begin: asked for, or where the file was left less the rewind.
    std::optional<int64_t> from = std::exchange(next_start_ms, std::nullopt);
    if (!from) {
        if (std::optional<int64_t> left = resume_.find(path))
            from = std::max<int64_t>(*left - rewind_ms_, 0);
    }
    Tkoltfile_info info;
    play_kind_ = get_fileinfo(path, info);
    display_.led_sp = display_.led_hq = display_.led_shq = false;
    if (play_kind_ == kFileNeither) {
        show_error(catalogue_text(kErrBadFile));
        playandrec_buttonset(TransportState::Stopped);
        return;
    }
    if (play_kind_ == kFileWav) {
        display_.stereo = info.channels != 1;
        set_bitrate(info.bitrate);
        set_total(info);
        display_.file_type = "WAV";
        playing_path_ = path;
        try {
            TMMWave& wave = wave_player_.Wave();
            wave.SetFileName(path);
            wave.OpenFile();
            wav_length_ms_ = wave.LengthInUnits();
            wave_player_.Stretch().SetSpeed(speed_);
            if (from && *from < wav_length_ms_) wave.SetPosition(*from);
            wave_player_.Play();
        } catch (const std::exception& e) {
            show_error(e.what());
            wave_player_.Wave().FreeWave();
            playandrec_buttonset(TransportState::Stopped);
            return;
        }
        set_timer(true);
        changed();
        return;
    }

    // A voice file.
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        show_error(catalogue_text(kErrBadFile));
        playandrec_buttonset(TransportState::Stopped);
        return;
    }
    KoltHeader header{};
    file.seekg(0, std::ios::end);
    int64_t file_size = static_cast<int64_t>(file.tellg());
    file.seekg(0);
    if (file_size >= static_cast<int64_t>(kKoltHeaderSize))
        file.read(reinterpret_cast<char*>(header.data()), kKoltHeaderSize);
    file.close();
    (void)kolt_filecheck(header.data());
    set_bitrate(info.bitrate);
    int channels = info.channels == 1 ? 1 : 2;
    int bits = header[kolt::kBitsPerSample];
    uint32_t rate = header[kolt::kSampleRate] * 256u + header[kolt::kSampleRate + 1];
    // The stream's own frames say how it sounds; a header that disagrees
    // would play it at the wrong speed.
    {
        FileSource probe;
        int stream_rate = 0, stream_channels = 0;
        if (probe.open(path) && probe_stream_format(probe, stream_rate, stream_channels)) {
            rate = static_cast<uint32_t>(stream_rate);
            channels = stream_channels;
            bits = 16;
        }
    }
    display_.stereo = channels == 2;
    set_total(info);
    display_.file_type = "VKD";
    display_.led_sp = info.mode_code == 2;
    display_.led_hq = info.mode_code == 3;
    display_.led_shq = info.mode_code == 4;
    changed();
    if (!is_mp3_codec(info.codec_type)) {
        set_timer(false);
        show_error(catalogue_text(kErrBadFile));
        playandrec_buttonset(TransportState::Stopped);
        return;
    }
    if (!lease_) lease_ = StreamLease::try_acquire();
    if (!lease_) {
        show_error(player_text(PlayerText::StreamBusy));
        playandrec_buttonset(TransportState::Stopped);
        return;
    }
    voice_.start(lease_->reader(), path, info, file_size, channels);
    voice_base_ = voice_.read_pos();
    playing_path_ = path;
    if (from && *from > 0) {
        const int64_t offset = voice_ms_offset(*from);
        if (offset > voice_base_ && offset < voice_.data_size() + static_cast<int64_t>(kKoltHeaderSize)) {
            voice_.seek(offset);
            voice_base_ = offset;
        }
    }
    voice_stretch_.SetSpeed(speed_);
    try {
        vkdplay_.SetBufferSize(channels == 1 ? 8000 : 12000);
        TWaveFormatEx format = MakePCMFormat(bits, channels, rate);
        voice_source_.SetWaveFormat(&format);
        vkdplay_.SetVolume(volume_);
        vkdplay_.Start();
    } catch (const std::exception& e) {
        if (vkdplay_.IsOpen()) vkdplay_.Close();
        release_lease_when_closed();
        show_error(e.what());
        playandrec_buttonset(TransportState::Stopped);
        return;
    }
    set_timer(true);
}

void PlayerStrip::vkd_buffer_load(TMMWaveHdr* hdr, bool& more) {
    int length = 0;
    more = voice_.fill_bufferfromdisk(request_buffer_.get(), kVoiceRequestSamples - 1, length);
    uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(std::max(length, 0)), hdr->dwBufferLength);
    std::memcpy(hdr->lpData, request_buffer_.get(), n);
    hdr->dwBytesRecorded = n;
    if (voice_.open_failed() || voice_.cut_short()) {
        // The device ends by itself (no more buffers); the box and the
        // buttons belong to the user-interface thread.
        more = false;
        auto alive = alive_;
        ui_->post([this, alive] {
            if (*alive) buffer_open_failed();
        });
    }
}

void PlayerStrip::buffer_open_failed() {
    // The file was fine when playing started: say what happened to it, and when.
    const int64_t s = voice_elapsed_seconds(voice_.read_pos() - static_cast<int64_t>(kKoltHeaderSize),
                                            voice_.info().bitrate);
    char at[32];
    std::snprintf(at, sizeof at, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    show_error(voice_.path() + ": the file became shorter or unreadable at " + at);
    playandrec_buttonset(TransportState::Stopped);
}

void PlayerStrip::release_lease_when_closed() {
    if (lease_ && !vkdplay_.IsOpen()) lease_.reset();
}

void PlayerStrip::button_pauseClick() {
    if (recorder_.recording()) {
        recorder_.pause();
        playandrec_buttonset(TransportState::RecordingPaused);
        return;
    }
    if (!wave_player_.IsOpen() && !vkdplay_.IsOpen()) return;
    if (play_kind_ == kFileWav) wave_player_.Pause();
    if (play_kind_ == kFileVoice) vkdplay_.Pause();
    paused_ = true;
    playandrec_buttonset(TransportState::Paused);
}

void PlayerStrip::button_stopClick() {
    if (!in_stop_ && !recorder_.recording()) keep_resume_position();
    set_timer(false);
    // Stopping a device raises its OnStop, which comes back here: the inner
    // run only repeats the resets.
    if (!in_stop_) {
        in_stop_ = true;
        struct Leave {
            bool& flag;
            ~Leave() { flag = false; }
        } leave{in_stop_};
        if (recorder_.recording() && !stop_recording_and_save()) return;
        try {
            wave_player_.Stop();
            wave_player_.Wave().CloseFile();
            wave_player_.Wave().FreeWave();
        } catch (const std::exception& e) {
            show_error(e.what());
        }
        try {
            vkdplay_.Close();
            vkdplay_.Stop();
            vkdplay_.Close();
        } catch (const std::exception& e) {
            show_error(e.what());
        }
        release_lease_when_closed();
    }
    clear_displaypanel();
    paused_ = false;
    display_.position = 0;
    playandrec_buttonset(TransportState::Stopped);
}

// ------------------------------------------------------------ time and seek

void PlayerStrip::Timer_timedisplayTimer() {
    if (position_dragging_.load()) return;
    if (recorder_.recording()) {
        set_time(split_milliseconds(recorder_.Position()));
    } else if (play_kind_ == kFileWav) {
        int64_t p = wave_player_.Position();
        display_.position = wav_slider_percent(p, wav_length_ms_);
        set_time(split_milliseconds(p));
    } else if (play_kind_ == kFileVoice && is_mp3_codec(voice_.info().codec_type)) {
        // The place heard, not the bytes read: the device's queue holds up
        // to a few seconds of decoded sound ahead of what plays.
        const int64_t heard = std::min(voice_ms_offset(position_ms()), voice_.read_pos());
        int64_t s = voice_elapsed_seconds(heard, voice_.info().bitrate);
        display_.position = voice_slider_percent(heard, voice_.data_size(), voice_.info().bitrate);
        set_time(split_seconds(s));
    } else {
        return;
    }
    changed();
}

void PlayerStrip::trackbar_positionTrackEnd(int percent) {
    percent = std::clamp(percent, 0, 100);
    display_.position = percent;
    if (!wave_player_.IsOpen() && !vkdplay_.IsOpen()) {
        display_.position = 0;
    } else if (wave_player_.IsOpen()) {
        wave_player_.SetPosition(wav_seek_ms(percent, wav_length_ms_));
    } else {
        // The new position is set before the reset, so that the buffers the
        // reset refills at once already come from it: refilled from the old
        // position they would play most of a second of the old place first.
        if (percent < 100 && is_mp3_codec(voice_.info().codec_type)) {
            voice_.seek(voice_seek_offset(percent, voice_.data_size()));
            voice_base_ = voice_.read_pos();
        }
        vkdplay_.Reset();
        if (percent >= 100) {
            position_dragging_ = false;
            vkdplay_.Stop();
            return;
        }
    }
    position_dragging_ = false;
    changed();
}

void PlayerStrip::trackbar_wavvolumeChange(int value) {
    uint32_t v = static_cast<uint32_t>(std::clamp(value, 0, 65535));
    volume_ = v | (v << 16);
    vkdplay_.SetVolume(volume_);
    wave_player_.Device().SetVolume(volume_);
}

// ----------------------------------------------------------------- recording

void PlayerStrip::record_click(int codec_type) {
    if (recorder_.recording()) {
        recorder_.resume();
        playandrec_buttonset(TransportState::Recording);
        return;
    }
    start_record(codec_type);
}

void PlayerStrip::start_record(int codec_type) {
    display_.led_sp = display_.led_hq = display_.led_shq = false;
    display_.total_hour = display_.total_minute = display_.total_second = 0;
    display_.file_name.clear();
    set_bitrate(mp3_kbitrate(std::clamp(codec_type, 5, 7)) * 1000);
    RecordStart prepared;
    try {
        prepared = recorder_.prepare(codec_type);
    } catch (const std::exception& e) {
        show_error(e.what());
        clear_displaypanel();
        return;
    }
    switch (prepared) {
    case RecordStart::Started: break;
    case RecordStart::EncoderRefused:
        show_error(player_text(PlayerText::EncoderRefused));
        clear_displaypanel();
        return;
    case RecordStart::ScratchFailed:
        show_error(player_text(PlayerText::ScratchUnwritable));
        clear_displaypanel();
        return;
    }
    display_.led_sp = recorder_.record_mode_code() == 2;
    display_.led_hq = recorder_.record_mode_code() == 3;
    display_.led_shq = recorder_.record_mode_code() == 4;
    display_.stereo = false;
    try {
        recorder_.start();
    } catch (const std::exception& e) {
        show_error(e.what());
        clear_displaypanel();
        playandrec_buttonset(TransportState::Stopped);
        return;
    }
    set_timer(true);
    playandrec_buttonset(TransportState::Recording);
}

bool PlayerStrip::stop_recording_and_save() {
    bool flushed = false;
    try {
        flushed = recorder_.stop();
    } catch (const std::exception& e) {
        show_error(e.what());
    }
    if (!flushed && !recorder_.write_failed()) show_error(player_text(PlayerText::ScratchUnwritable));
    // A recording with holes is kept, but the user learns that it has them.
    if (recorder_.lost_ms() > 0) {
        char text[256];
        std::snprintf(text, sizeof text, player_text(PlayerText::AudioLost), static_cast<int>(recorder_.lost_ms()));
        show_warning(text);
    }

    FileDialogRequest request;
    request.title = kSaveTitle;
    request.folder = ListDirectory ? ListDirectory() : std::string();
    request.filter = kSaveFilter;
    request.default_extension = kSaveDefaultExt;
    const std::string& scratch = app().temp_recording_path;
    std::optional<std::string> answer;
    for (;;) {
        answer = dialogs().save_file(request);
        if (answer && !answer->empty()) break;
        // A cancel never loses a recording silently: it is dropped only when
        // the user says so, otherwise the save dialog comes back.
        MessageRequest discard{app().app_name, player_text(PlayerText::DiscardRecording), MessageIcon::Warning,
                               MessageButtons::YesNo, false};
        if (dialogs().message_box(discard) == DialogResult::Yes) {
            std::error_code ec;
            fs::remove(scratch, ec);
            return true;
        }
    }

    std::string target = recording_save_name(*answer);
    std::error_code ec;
    if (target != *answer && fs::exists(target, ec)) {
        MessageRequest ask{app().app_name, target + " already exists.\nDo you want to replace it?",
                           MessageIcon::Warning, MessageButtons::YesNo, false};
        if (dialogs().message_box(ask) != DialogResult::Yes) return true;
    }
    if (fs::exists(scratch, ec)) {
        std::string error;
        if (!save_recording(scratch, target, error)) {
            show_error(std::string(player_text(PlayerText::SaveFailed)) + "\n" + error);
            return false;
        }
        if (RefreshList) RefreshList();
    }
    return true;
}

}  // namespace murrel

namespace murrel {

// ------------------------------------------------------------ typing along

int64_t PlayerStrip::voice_offset_ms(int64_t offset) const {
    const int64_t bytes_per_s = voice_.info().bitrate / 8;
    return bytes_per_s > 0 ? offset * 1000 / bytes_per_s : 0;
}

int64_t PlayerStrip::voice_ms_offset(int64_t ms) const {
    const int64_t bytes_per_s = voice_.info().bitrate / 8;
    return ms * bytes_per_s / 1000;
}

int64_t PlayerStrip::file_length_ms() const {
    if (play_kind_ == kFileWav) return wav_length_ms_;
    if (play_kind_ == kFileVoice) return voice_offset_ms(voice_.data_size() + static_cast<int64_t>(kKoltHeaderSize));
    return 0;
}

int64_t PlayerStrip::position_ms() {
    if (play_kind_ == kFileWav && wave_player_.IsOpen()) return wave_player_.Position();
    if (play_kind_ == kFileVoice && vkdplay_.IsOpen())
        return voice_offset_ms(voice_base_) + voice_stretch_.SourceMs(vkdplay_.GetPosition());
    return 0;
}

void PlayerStrip::seek_voice(int64_t offset) {
    voice_.seek(offset);
    voice_base_ = offset;
    vkdplay_.Reset();
}

void PlayerStrip::set_position_ms(int64_t ms) {
    ms = std::max<int64_t>(ms, 0);
    if (play_kind_ == kFileWav && wave_player_.IsOpen()) {
        if (ms >= wav_length_ms_) {
            wave_player_.Stop();
            return;
        }
        wave_player_.SetPosition(ms);
    } else if (play_kind_ == kFileVoice && vkdplay_.IsOpen() && is_mp3_codec(voice_.info().codec_type)) {
        const int64_t end = voice_.data_size() + static_cast<int64_t>(kKoltHeaderSize);
        const int64_t offset = std::max<int64_t>(voice_ms_offset(ms), kKoltHeaderSize);
        if (offset >= end) {
            vkdplay_.Stop();
            return;
        }
        seek_voice(offset);
    } else {
        return;
    }
    if (timer_enabled_) Timer_timedisplayTimer();
}

void PlayerStrip::skip(int64_t delta_ms) {
    if (recorder_.recording()) return;
    if (!wave_player_.IsOpen() && !vkdplay_.IsOpen()) return;
    set_position_ms(position_ms() + delta_ms);
}

void PlayerStrip::play_pause_toggle() {
    if (transport_ == TransportState::Playing) button_pauseClick();
    else if (transport_ == TransportState::Paused || transport_ == TransportState::Stopped) button_playClick();
}

void PlayerStrip::set_speed(int percent) {
    speed_ = clamp_speed(percent);
    // The stretch links read it at their next buffer: no reset, no break.
    voice_stretch_.SetSpeed(speed_);
    wave_player_.Stretch().SetSpeed(speed_);
    display_.speed = speed_;
    save_settings();
    changed();
}

void PlayerStrip::resume_in_place() {
    if (!paused_ || recorder_.recording() || !app().sound_output_present) return;
    restart_paused();
}

void PlayerStrip::restart_paused() {
    if (play_kind_ == kFileWav) wave_player_.Restart();
    if (play_kind_ == kFileVoice) vkdplay_.Restart();
    paused_ = false;
    playandrec_buttonset(TransportState::Playing);
}

void PlayerStrip::set_rewind_ms(int ms) {
    rewind_ms_ = std::clamp(ms, 0, kRewindMaxMs);
    save_settings();
}

void PlayerStrip::keep_resume_position() {
    if (playing_path_.empty() || (transport_ != TransportState::Playing && transport_ != TransportState::Paused))
        return;
    TMMWaveOut& device = play_kind_ == kFileWav ? wave_player_.Device() : vkdplay_;
    // A device that is no longer playing ended by itself: the file was heard
    // to its end (or became unreadable), and starts from its start next time.
    const bool live = device.IsPlaying() || device.IsDevicePaused();
    const int64_t at = live ? position_ms() : 0;
    const int64_t length = file_length_ms();
    if (!live || (length > 0 && at >= length - 1000)) resume_.forget(playing_path_);
    else resume_.remember(playing_path_, at);
    if (settings_path_.empty()) return;
    try {
        ProfileFile ini(settings_path_);
        resume_.save(ini);
    } catch (const ProfileWriteError&) {
        // A read-only INI file costs the resume position, never the playback.
    }
}

void PlayerStrip::use_settings_file(const std::string& ini_path, const char* window_key) {
    settings_path_.clear();  // no write-back while reading
    window_key_ = window_key;
    ProfileFile ini(ini_path);
    set_speed(read_window_speed(ini, window_key));
    rewind_ms_ = read_rewind_ms(ini);
    resume_.load(ini);
    settings_path_ = ini_path;
}

void PlayerStrip::save_settings() {
    if (settings_path_.empty()) return;
    try {
        ProfileFile ini(settings_path_);
        write_window_speed(ini, window_key_, speed_);
        write_rewind_ms(ini, rewind_ms_);
    } catch (const ProfileWriteError&) {
    }
}

}  // namespace murrel
