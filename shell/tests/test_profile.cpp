#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "shell/profile.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;

namespace {

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* kSample =
    "; settings\n"
    "[Config]\n"
    "Default_path = /home/u/rec \n"
    "default_PATH=/second\n"
    "Quoted=\"  padded  \"\n"
    "Single='x'\n"
    "Half=\"open\n"
    "Empty=\n"
    "NoEquals\n"
    "[config]\n"
    "Other=from the second section\n"
    "[Character]\r\n"
    "Charset=204\r\n";

}  // namespace

struct ReadCase {
    const char* section;
    const char* key;
    const char* def;
    const char* expected;
};

TEST(ProfileRead, NamesMatchWithoutCaseAndTheFirstMatchWins) {
    testsupport::ScratchDir dir;
    put(dir.file("a.ini"), kSample);
    ProfileFile ini(dir.file("a.ini"));
    const ReadCase cases[] = {
        {"Config", "Default_path", "d", "/home/u/rec"},   // blanks around the value dropped
        {"CONFIG", "default_path", "d", "/home/u/rec"},   // case of both names ignored
        {"Config", "Quoted", "d", "  padded  "},          // one pair of quotes removed
        {"Config", "Single", "d", "x"},
        {"Config", "Half", "d", "\"open"},                // unmatched quote stays
        {"Config", "Empty", "d", ""},                     // present but empty: no default
        {"Config", "NoEquals", "d", "d"},                 // a line without '=' is no key
        {"Config", "Other", "d", "d"},                    // only the first [Config] is searched
        {"Character", "Charset", "1", "204"},             // CRLF lines read like LF lines
        {"Missing", "Charset", "1", "1"},
        {"Config", "; settings", "d", "d"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.read_string(c.section, c.key, c.def), c.expected) << c.section << "/" << c.key;
    EXPECT_TRUE(ini.section_exists("character"));
    EXPECT_FALSE(ini.value_exists("Config", "Other"));
}

TEST(ProfileRead, AMissingFileReadsAsEmptyAndValuesStopAt2047Bytes) {
    testsupport::ScratchDir dir;
    ProfileFile none(dir.file("none.ini"));
    EXPECT_EQ(none.read_string("Messages", "FP_button_cancel", "&Cancel"), "&Cancel");
    EXPECT_FALSE(none.section_exists("Messages"));

    put(dir.file("long.ini"), "[M]\nk=" + std::string(3000, 'a') + "\n");
    ProfileFile ini(dir.file("long.ini"));
    EXPECT_EQ(ini.read_string("M", "k").size(), 2047u);
    EXPECT_EQ(ini.read_string("M", "absent", std::string(2048, 'b')).size(), 2047u);
}

TEST(ProfileRead, NumbersAndFlagsFallBackToTheirDefaultsWhenNotDecimal) {
    testsupport::ScratchDir dir;
    put(dir.file("n.ini"),
        "[S]\nA=42\nB= -7 \nC=12abc\nD=\nE=99999999999\nF=0\nG=yes\nH=+3\n");
    ProfileFile ini(dir.file("n.ini"));
    EXPECT_EQ(ini.read_integer("S", "A", 5), 42);
    EXPECT_EQ(ini.read_integer("S", "B", 5), -7);
    EXPECT_EQ(ini.read_integer("S", "C", 5), 5);
    EXPECT_EQ(ini.read_integer("S", "D", 5), 5);
    EXPECT_EQ(ini.read_integer("S", "E", 5), 5);  // does not fit 32 bits
    EXPECT_EQ(ini.read_int64("S", "E", 5), 99999999999);
    EXPECT_EQ(ini.read_integer("S", "H", 5), 3);
    EXPECT_FALSE(ini.read_bool("S", "F", true));
    EXPECT_TRUE(ini.read_bool("S", "A", false));
    EXPECT_TRUE(ini.read_bool("S", "G", true));
    EXPECT_FALSE(ini.read_bool("S", "G", false));
}

TEST(ProfileParse, DecimalConversionAcceptsOnlySignedDigitsWithBlanks) {
    EXPECT_EQ(parse_int32("204"), 204);
    EXPECT_EQ(parse_int32("  -1 "), -1);
    EXPECT_EQ(parse_int32("2147483647"), 2147483647);
    EXPECT_EQ(parse_int32("-2147483648"), INT32_MIN);
    EXPECT_FALSE(parse_int32("2147483648"));
    EXPECT_FALSE(parse_int32(""));
    EXPECT_FALSE(parse_int32("-"));
    EXPECT_FALSE(parse_int32("0x10"));
    EXPECT_FALSE(parse_int32("1 2"));
    EXPECT_FALSE(parse_int32("abc"));
    EXPECT_EQ(parse_decimal("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(parse_decimal("9223372036854775808"));
}

struct WriteCase {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

TEST(ProfileWrite, OneKeyChangesAndEveryOtherLineStaysAsItWas) {
    const WriteCase cases[] = {
        {"replaces the first match keeping its spelling",
         "; c\n[Config]\nDEFAULT_PATH = /old\nx=1\n[config]\nDefault_path=/b\n", "config", "Default_path", "/new",
         "; c\n[Config]\nDEFAULT_PATH=/new\nx=1\n[config]\nDefault_path=/b\n"},
        {"adds a key after the section's last non-blank line",
         "[Config]\nx=1\n\n[Messages]\nk=v\n", "Config", "Default_path", "/p",
         "[Config]\nx=1\nDefault_path=/p\n\n[Messages]\nk=v\n"},
        {"adds a section at the end",
         "[Messages]\nk=v", "Config", "Default_path", "/p",
         "[Messages]\nk=v\n\n[Config]\nDefault_path=/p\n"},
        {"creates a missing file", "", "Config", "Default_path", "/p", "[Config]\nDefault_path=/p\n"},
        {"keeps CRLF line endings",
         "[Config]\r\nx=1\r\n", "Config", "y", "2", "[Config]\r\nx=1\r\ny=2\r\n"},
        {"adds to a last section without a final line ending",
         "[Config]\nx=1", "Config", "y", "2", "[Config]\nx=1\ny=2\n"},
        {"ends a last line that has a lone carriage return",
         "[Config]\r", "Config", "y", "2", "[Config]\r\ny=2\n"},
        {"cuts a value at its first line break",
         "[Config]\n", "Config", "p", "/a\n[Messages]", "[Config]\np=/a\n"},
    };
    for (const auto& c : cases) {
        testsupport::ScratchDir dir;
        std::string path = dir.file("w.ini");
        if (*c.before) put(path, c.before);
        ProfileFile ini(path);
        ini.write_string(c.section, c.key, c.value);
        EXPECT_EQ(get(path), c.after) << c.name;
        EXPECT_EQ(ini.read_string(c.section, c.key), ProfileFile(path).read_string(c.section, c.key)) << c.name;
    }
}

TEST(ProfileWrite, SeesLinesAddedByOthersSinceItWasRead) {
    testsupport::ScratchDir dir;
    std::string path = dir.file("w.ini");
    put(path, "[A]\na=1\n");
    ProfileFile ini(path);
    put(path, "[A]\na=1\nb=2\n");
    ini.write_integer("A", "c", 3);
    EXPECT_EQ(get(path), "[A]\na=1\nb=2\nc=3\n");
    ini.write_bool("A", "a", false);
    EXPECT_EQ(ini.read_string("A", "a"), "0");
}

TEST(ProfileWrite, DeferredWritesStoreTheSameFileOnceFlushed) {
    testsupport::ScratchDir dir;
    const std::string base = "; region\n[General]\nValidate=x\n";
    put(dir.file("through.ini"), base);
    put(dir.file("deferred.ini"), base);
    ProfileFile through(dir.file("through.ini"));
    ProfileFile deferred(dir.file("deferred.ini"));
    deferred.defer_writes();
    for (ProfileFile* f : {&through, &deferred}) {
        f->write_string("General", "Validate", "Region");
        f->write_integer("Sample", "NumFades", 2);
        f->write_string("Marker_0", "Name", "intro");
        f->write_bool("marker_0", "Fixed", true);
    }
    EXPECT_EQ(get(dir.file("deferred.ini")), base);  // nothing stored yet
    EXPECT_EQ(deferred.read_integer("Sample", "NumFades", 0), 2);
    deferred.flush();
    EXPECT_EQ(get(dir.file("deferred.ini")), get(dir.file("through.ini")));

    ProfileFile lost(dir.file("gone/x.ini"));
    lost.defer_writes();
    lost.write_string("A", "b", "c");
    EXPECT_THROW(lost.flush(), ProfileWriteError);
}

TEST(ProfileWrite, AFailedWriteNamesThePathAndLeavesTheFileAlone) {
    testsupport::ScratchDir dir;
    std::string missing_folder = dir.file("no/such/folder.ini");
    try {
        WritePrivateProfileString("Config", "Default_path", "/x", missing_folder);
        FAIL() << "no error";
    } catch (const ProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + missing_folder);
    }

    std::string readonly = dir.file("ro.ini");
    put(readonly, "[Config]\nDefault_path=/old\n");
    ::chmod(readonly.c_str(), 0444);
    EXPECT_THROW(WritePrivateProfileString("Config", "Default_path", "/new", readonly), ProfileWriteError);
    EXPECT_EQ(get(readonly), "[Config]\nDefault_path=/old\n");
    EXPECT_EQ(GetPrivateProfileString("config", "default_path", "", readonly), "/old");
}
