#include "player/timedisplay.h"

#include <cstdio>

namespace murrel {

Hms split_milliseconds(int64_t ms) {
    if (ms < 1) return {};
    int64_t total_minutes = ms / 60000;
    return {total_minutes / 60, total_minutes % 60, (ms % 60000) / 1000};
}

int64_t voice_elapsed_seconds(int64_t read_pos, int32_t bitrate) {
    int64_t byte_rate = static_cast<int64_t>(bitrate) >> 3;
    if (byte_rate <= 0) return 0;
    return read_pos / byte_rate;
}

Hms split_seconds(int64_t s) {
    if (s <= 0) return {};
    return {s / 3600, (s % 3600) / 60, s % 60};
}

int voice_slider_percent(int64_t read_pos, int64_t data_size, int32_t bitrate) {
    if (read_pos <= 0 || voice_elapsed_seconds(read_pos, bitrate) <= 0 || data_size <= 0) return 0;
    return static_cast<int>(static_cast<double>(read_pos) / static_cast<double>(data_size) * 100.0);
}

int wav_slider_percent(int64_t position_ms, int64_t length_ms) {
    if (length_ms == 0) return 0;
    return static_cast<int>(static_cast<double>(position_ms) / static_cast<double>(length_ms) * 100.0);
}

int64_t voice_seek_offset(int percent, int64_t data_size) {
    return static_cast<int64_t>(percent / 100.0 * static_cast<double>(data_size));
}

int64_t wav_seek_ms(int percent, int64_t length_ms) {
    return static_cast<int64_t>(percent / 100.0 * static_cast<double>(length_ms));
}

std::string two_digits(int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%2.2lld", static_cast<long long>(value));
    return text;
}

}  // namespace murrel
