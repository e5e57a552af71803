#pragma once
// The information line under the file list and the number format it uses.
#include <QLocale>

#include <cstdint>
#include <string>

namespace murrel {

// What the line needs of a voice file's description (from get_fileinfo).
struct VoiceSummary {
    int32_t bitrate = 0;  // bits per second
    int32_t channels = 1;
    int32_t hours = 0, minutes = 0, seconds = 0;
};

// "%n": thousands separators and exactly two decimals, both separators taken
// from `locale` ("117.69", "1,234.50"; "1.234,50" in a German locale).
std::string format_n(double value, const QLocale& locale);

// Exactly one selected voice file:
// " %3d.%2.2d Kbps, %s [%2.2d:%2.2d:%2.2d],  %n Kbytes".
std::string info_line_voice(const VoiceSummary& voice, double kbytes, const QLocale& locale);

// Any other selection: "%d  selected file(s),  %n Kbytes" (for one file that is
// no voice file the count is 1).
std::string info_line_count(int count, double kbytes, const QLocale& locale);

}  // namespace murrel
