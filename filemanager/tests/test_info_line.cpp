// The information line's formats and its locale-dependent number format.
#include <gtest/gtest.h>

#include "filemanager/info_line.h"

namespace murrel {
namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

TEST(InfoLine, NumbersHaveTwoDecimalsAndTheLocalesSeparators) {
    EXPECT_EQ(format_n(0, kUs), "0.00");
    EXPECT_EQ(format_n(117.6875, kUs), "117.69");
    EXPECT_EQ(format_n(1234567.891, kUs), "1,234,567.89");
    EXPECT_EQ(format_n(1234.5, kGerman), "1.234,50");
    QLocale plain = kUs;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);  // the line always groups
    EXPECT_EQ(format_n(1234.5, plain), "1,234.50");
}

TEST(InfoLine, OneSpVoiceFileShowsRateModeDurationAndSize) {
    VoiceSummary sp{16000, 1, 0, 1, 0};
    // 512 + 120,000 bytes.
    EXPECT_EQ(info_line_voice(sp, 120512 / 1024.0, kUs), "  16.00 Kbps, Mono [00:01:00],  117.69 Kbytes");
    VoiceSummary odd{44100, 2, 1, 2, 3};
    EXPECT_EQ(info_line_voice(odd, 2048.0, kGerman), "  44.100 Kbps, Stereo [01:02:03],  2.048,00 Kbytes");
    VoiceSummary shq{64000, 1, 0, 0, 5};
    EXPECT_EQ(info_line_voice(shq, 40, kUs), "  64.00 Kbps, Mono [00:00:05],  40.00 Kbytes");
    VoiceSummary fast{128000, 1, 0, 0, 0};
    EXPECT_EQ(info_line_voice(fast, 1, kUs), " 128.00 Kbps, Mono [00:00:00],  1.00 Kbytes");
}

TEST(InfoLine, OtherSelectionsShowTheCount) {
    EXPECT_EQ(info_line_count(1, 10.0, kUs), "1  selected file(s),  10.00 Kbytes");
    EXPECT_EQ(info_line_count(3, 1500.25, kUs), "3  selected file(s),  1,500.25 Kbytes");
    EXPECT_EQ(info_line_count(0, 0.0, kUs), "0  selected file(s),  0.00 Kbytes");
}

}  // namespace
}  // namespace murrel
