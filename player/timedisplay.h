#pragma once
// The arithmetic of the player strip's time display and position slider.
#include <cstdint>
#include <string>

namespace murrel {

struct Hms {
    int64_t hours = 0, minutes = 0, seconds = 0;
    bool operator==(const Hms&) const = default;
};

// A millisecond value split into hours, minutes and seconds; all 0 below 1 ms.
Hms split_milliseconds(int64_t ms);
// Elapsed seconds of a voice file whose next frame is read at file offset
// `read_pos` (header included): read_pos ÷ (bitrate / 8); 0 when the byte
// rate is 0.
int64_t voice_elapsed_seconds(int64_t read_pos, int32_t bitrate);
Hms split_seconds(int64_t s);
// Slider percent 0-100 of a voice playback: trunc(read_pos ÷ data_size × 100),
// 0 when read_pos or the elapsed seconds are 0 or data_size is not positive.
int voice_slider_percent(int64_t read_pos, int64_t data_size, int32_t bitrate);
// Slider percent of a WAV playback: trunc(position ÷ length × 100), 0 for length 0.
int wav_slider_percent(int64_t position_ms, int64_t length_ms);
// The read offset a seek to `percent` sets: trunc(percent ÷ 100 × data_size),
// counted from the start of the file (the header is not added).
int64_t voice_seek_offset(int percent, int64_t data_size);
// WAV seek: trunc(percent ÷ 100 × length_ms).
int64_t wav_seek_ms(int percent, int64_t length_ms);
// "%2.2d": at least two digits.
std::string two_digits(int64_t value);

}  // namespace murrel
