// The windows' remembered settings as they sit in the INI file.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "shell/profile.h"
#include "shell/window_settings.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;

namespace {

std::string get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(WindowSettings, WhatIsWrittenReadsBackAndTheProgramsOwnKeysStayAsTheyWere) {
    testsupport::ScratchDir dir;
    const std::string path = dir.file("Murrelphonic.ini");
    std::ofstream(path, std::ios::binary) << "[Config]\r\nDefault_path=/home/u/rec\r\n[Messages]\r\nFM_PUHopen=&Open\r\n";
    WindowSettings s;
    s.normal = WindowRect{-40, 25, 900, 640};
    s.maximised = true;
    s.tree_width = 260;
    s.list_style = "smallicon";
    s.columns = {230, 80, 120, 150, 60};
    s.convert_mode = 7;
    s.convert_folder = "/media/u/REC/FOLDER A";
    ProfileFile ini(path);
    write_window_settings(ini, s);

    EXPECT_EQ(read_window_settings(ProfileFile(path)), s);
    const std::string text = get(path);
    EXPECT_EQ(text.rfind("[Config]\r\nDefault_path=/home/u/rec\r\n[Messages]\r\nFM_PUHopen=&Open\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("[Window]"), std::string::npos);

    // Written again with less known: the unset values read as unset.
    WindowSettings fewer;
    fewer.list_style = "report";
    write_window_settings(ini, fewer);
    EXPECT_EQ(read_window_settings(ProfileFile(path)), fewer);
}

TEST(WindowSettings, ValuesThatMakeNoSenseReadAsUnsetEachOnItsOwn) {
    const ProfileFile ini = ProfileFile::from_text(
        "[Window]\n"
        "Left=10\nTop=20\nWidth=-5\nHeight=400\n"  // one bad number loses the place, not the rest
        "Maximized=yes\n"
        "Tree_width=300\n"
        "List_style=thumbnails\n"
        "Columns=200,abc,90\n"
        "Convert_mode=4\n"
        "Convert_folder=/tmp\n");
    const WindowSettings s = read_window_settings(ini);
    EXPECT_FALSE(s.normal);
    EXPECT_FALSE(s.maximised);
    EXPECT_EQ(s.tree_width, 300);
    EXPECT_EQ(s.list_style, "");
    EXPECT_TRUE(s.columns.empty());
    EXPECT_FALSE(s.convert_mode);
    EXPECT_EQ(s.convert_folder, "/tmp");

    const WindowSettings none = read_window_settings(ProfileFile::from_text("[Config]\nDefault_path=/x\n"));
    EXPECT_EQ(none, WindowSettings{});
}

TEST(WindowSettings, AnIniFileThatCannotBeWrittenIsReportedByItsPath) {
    testsupport::ScratchDir dir;
    // Its folder is a file: no rights let anyone write there.
    std::ofstream(dir.file("plain")) << "x";
    const std::string path = dir.file("plain") + "/Murrelphonic.ini";
    WindowSettings s;
    s.tree_width = 100;
    ProfileFile ini(path);
    try {
        write_window_settings(ini, s);
        ADD_FAILURE() << "the write was reported as done";
    } catch (const ProfileWriteError& e) {
        EXPECT_EQ(e.path(), path);
    }
}

}  // namespace
