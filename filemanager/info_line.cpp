#include "filemanager/info_line.h"

#include <cstdio>

namespace murrel {

std::string format_n(double value, const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(l.numberOptions() & ~QLocale::OmitGroupSeparator);
    return l.toString(value, 'f', 2).toStdString();
}

std::string info_line_voice(const VoiceSummary& voice, double kbytes, const QLocale& locale) {
    char head[160];
    std::snprintf(head, sizeof head, " %3d.%2.2d Kbps, %s [%2.2d:%2.2d:%2.2d],  ",
                  voice.bitrate / 1000, voice.bitrate % 1000,
                  voice.channels == 1 ? "Mono" : "Stereo", voice.hours, voice.minutes,
                  voice.seconds);
    return head + format_n(kbytes, locale) + " Kbytes";
}

std::string info_line_count(int count, double kbytes, const QLocale& locale) {
    return std::to_string(count) + "  selected file(s),  " + format_n(kbytes, locale) + " Kbytes";
}

}  // namespace murrel
