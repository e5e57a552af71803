#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/appstate.h"
#include "shell/profile.h"
#include "shell/shell_texts.h"
#include "shell/startup.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"

using namespace murrel;
namespace fs = std::filesystem;

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

// A recording as the recorder leaves it: header with the scratch file's title,
// then `audio` bytes of stream.
std::string recording(std::size_t audio) {
    std::string header(512, '\0');
    header.replace(0, 4, "QRVM");
    header[16] = 5;
    header.replace(112, 14, "temp_recording");
    header.replace(240, 3, "vkd");
    std::string stream;
    for (std::size_t i = 0; i < audio; ++i) stream += static_cast<char>(i * 7 + 1);
    return header + stream;
}

// Stands in for the voice-file code: the title becomes the file name less
// ".vkd", the extension "VKD".
bool patch_like_a_save(const std::string& path) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!f) return false;
    std::string name = fs::path(path).filename().string();
    std::string title(128, '\0');
    title.replace(0, name.size() - 4, name.substr(0, name.size() - 4));
    f.seekp(112);
    f.write(title.data(), 128);
    f.seekp(240);
    f.write("VKD", 3);
    return static_cast<bool>(f);
}

void set_mtime(const std::string& path, std::time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        app().reset();
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override { app().reset(); }

    StartupResult start() {
        StartupOptions options;
        options.program_dir = program.path().string();
        options.fallback_dir = fallback.path().string() + "/Murrelphonic";
        options.patch_recovered = patch_like_a_save;
        return start_up(options);
    }

    testsupport::ScratchDir program;
    testsupport::ScratchDir fallback;
    testsupport::ScriptedDialogs dialogs;
};

}  // namespace

TEST_F(Startup, WithoutAnIniFileTheFoldersAreMadeAndEveryCaptionIsEmpty) {
    StartupResult r = start();
    ASSERT_TRUE(r.ok);
    const std::string dir = AddSlash(program.path().string());
    EXPECT_EQ(app().app_dir, dir);
    EXPECT_EQ(app().ini_path, dir + "Murrelphonic.ini");
    EXPECT_EQ(app().data_dir, dir + "voicedata");
    EXPECT_EQ(app().temp_dir, dir + "tempdata");
    EXPECT_EQ(app().temp_recording_path, dir + "tempdata/temp_recording.vkd");
    EXPECT_TRUE(fs::is_directory(app().data_dir));
    EXPECT_TRUE(fs::is_directory(app().temp_dir));
    EXPECT_EQ(app().charset, 1);
    EXPECT_EQ(app().default_path, "");
    for (const auto& t : r.main_texts.texts) EXPECT_EQ(t.text, "") << t.key->key;
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(fs::exists(app().ini_path));  // reading never creates it
    EXPECT_TRUE(fs::is_empty(fallback.path()));
}

TEST_F(Startup, AMissingDefaultPathFallsBackToVoicedataAndClosingRewritesIt) {
    const std::string ini = program.file("Murrelphonic.ini");
    put(ini, "[Character]\nCharset=204\n[Config]\nDefault_path=" + program.file("removed") +
                 "\n[Messages]\nFM_PUHopen=\xce\xf2\xea\xf0\xfb\xf2\xfc\n");
    StartupResult r = start();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(app().data_dir, program.file("voicedata"));
    EXPECT_EQ(app().charset, 204);
    EXPECT_EQ(r.main_texts.text("FM_PUHopen"), "Открыть");
    EXPECT_TRUE(dialogs.messages.empty());

    // The edit box holds no folder: the browsed folder is written instead.
    fs::create_directory(program.file("browsed"));
    writeconfig_inifile(program.file("not a folder"), program.file("browsed"));
    EXPECT_EQ(get(ini), "[Character]\nCharset=204\n[Config]\nDefault_path=" + program.file("browsed") +
                            "\n[Messages]\nFM_PUHopen=\xce\xf2\xea\xf0\xfb\xf2\xfc\n");
    writeconfig_inifile(program.file("voicedata"), program.file("browsed"));
    EXPECT_EQ(ProfileFile(ini).read_string("Config", "Default_path"), program.file("voicedata"));

    // Next start opens the remembered folder and makes no voicedata beside it.
    app().reset();
    fs::remove(program.file("voicedata"));
    put(ini, "[Config]\nDefault_path=" + program.file("browsed") + "/\n");
    ASSERT_TRUE(start().ok);
    EXPECT_EQ(app().data_dir, program.file("browsed"));
    EXPECT_FALSE(fs::exists(program.file("voicedata")));
}

TEST_F(Startup, ACharsetThatIsNoNumberIsReportedAndTheDefaultUsed) {
    put(program.file("Murrelphonic.ini"), "[Character]\nCharset=Cyrillic\n");
    StartupResult r = start();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(app().charset, 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.texts()[0], "'Cyrillic' is not a valid integer value");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Error);
}

TEST_F(Startup, AFailedWriteOfTheLastFolderNamesTheIniFile) {
    ASSERT_TRUE(start().ok);
    put(app().ini_path, "[Config]\nDefault_path=/old\n");
    ::chmod(app().ini_path.c_str(), 0444);
    try {
        writeconfig_inifile("", app().data_dir);
        FAIL() << "no error";
    } catch (const ProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + app().ini_path);
    }
    EXPECT_EQ(get(app().ini_path), "[Config]\nDefault_path=/old\n");
}

TEST_F(Startup, AFolderThatCannotBeMadeIsReportedAndStopsTheStart) {
    put(program.file("voicedata"), "a file where the folder should be");
    StartupResult r = start();
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.texts()[0], "Unable to create folder " + program.file("voicedata"));
    EXPECT_FALSE(fs::exists(program.file("tempdata")));
}

TEST_F(Startup, TheScratchFolderLosesItsRegularFilesOnly) {
    const std::string temp = program.file("tempdata");
    fs::create_directories(temp + "/sub");
    put(temp + "/w12.tmp", "x");
    put(temp + "/readonly.wav", "x");
    ::chmod((temp + "/readonly.wav").c_str(), 0444);
    put(temp + "/nomode", "x");
    ::chmod((temp + "/nomode").c_str(), 0);
    put(temp + "/temp_recording.vkd", recording(0));  // a header alone holds nothing
    put(temp + "/.hidden", "kept");
    put(temp + "/sub/inner.tmp", "kept");
    fs::create_symlink(program.file("outside"), temp + "/link");
    put(program.file("outside"), "kept");

    ASSERT_TRUE(start().ok);
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(temp)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{".hidden", "sub", "link"}));
    EXPECT_TRUE(fs::exists(temp + "/sub/inner.tmp"));
    EXPECT_EQ(get(program.file("outside")), "kept");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Startup, ALeftoverRecordingIsRecoveredIntoTheDataFolderAndTheUserToldOnce) {
    const std::string temp = program.file("tempdata");
    fs::create_directories(temp);
    fs::create_directories(program.file("voicedata"));
    const std::string data = recording(3000);
    put(temp + "/temp_recording.vkd", data);
    set_mtime(temp + "/temp_recording.vkd", 1700000000);  // 2023-11-14 22:13:20 UTC
    put(program.file("voicedata/recovered_20231114_221320.vkd"), "an earlier one");

    StartupResult r = start();
    ASSERT_TRUE(r.ok);
    const std::string moved = program.file("voicedata/recovered_20231114_221320_2.vkd");
    ASSERT_EQ(r.recovered, std::vector<std::string>{moved});
    EXPECT_FALSE(fs::exists(temp + "/temp_recording.vkd"));
    EXPECT_EQ(get(program.file("voicedata/recovered_20231114_221320.vkd")), "an earlier one");

    std::string kept = get(moved);
    ASSERT_EQ(kept.size(), data.size());
    EXPECT_EQ(kept.substr(512), data.substr(512));  // not one byte of audio lost
    EXPECT_EQ(kept.substr(0, 112), data.substr(0, 112));
    EXPECT_EQ(kept.substr(112, 128), "recovered_20231114_221320_2" + std::string(101, '\0'));
    EXPECT_EQ(kept.substr(240, 4), std::string("VKD\0", 4));

    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.texts()[0], shell_text(ShellText::RecordingRecovered, moved));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Warning);

    app().reset();
    ASSERT_TRUE(start().ok);
    EXPECT_EQ(dialogs.messages.size(), 1u);  // nothing left to tell
    EXPECT_TRUE(fs::exists(moved));
}

TEST_F(Startup, ARecoveredRecordingGoesToTheProgramsOwnFolderNotToTheFolderOpenedAtStart) {
    const std::string temp = program.file("tempdata");
    fs::create_directories(temp);
    fs::create_directories(program.file("recorder"));
    put(program.file("Murrelphonic.ini"), "[Config]\nDefault_path=" + program.file("recorder") + "\n");
    put(temp + "/temp_recording.vkd", recording(2000));
    set_mtime(temp + "/temp_recording.vkd", 1700000000);

    StartupResult r = start();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(app().data_dir, program.file("recorder"));
    const std::string moved = program.file("voicedata/recovered_20231114_221320.vkd");
    ASSERT_EQ(r.recovered, std::vector<std::string>{moved});
    EXPECT_TRUE(fs::is_empty(program.file("recorder")));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.texts()[0].find(moved), std::string::npos);  // says where
}

TEST_F(Startup, ARecordingThatCannotLeaveTheScratchFolderWaitsThereUnderAHiddenName) {
    testsupport::ScratchDir temp;
    put(temp.file("temp_recording.vkd"), recording(100));
    put(temp.file("other.tmp"), "x");
    set_mtime(temp.file("temp_recording.vkd"), 1700000000);
    ScratchCleanup cleanup;
    cleanup.temp_dir = temp.path().string();
    cleanup.recovery_dirs = {"/proc/no-folder-can-be-made-here"};
    int patched = 0;
    cleanup.patch_recovered = [&](const std::string&) { return ++patched > 0; };

    CleanupReport first = clean_scratch_folder(cleanup);
    EXPECT_EQ(first.deleted, 1);
    ASSERT_EQ(first.recovered.size(), 1u);
    EXPECT_FALSE(first.recovered[0].moved_out);
    EXPECT_EQ(first.recovered[0].path, temp.file(".recovered_20231114_221320.vkd"));
    EXPECT_EQ(get(first.recovered[0].path), recording(100));
    EXPECT_EQ(patched, 0);

    CleanupReport second = clean_scratch_folder(cleanup);
    EXPECT_EQ(second.deleted, 0);
    EXPECT_TRUE(second.recovered.empty());
    EXPECT_TRUE(fs::exists(temp.file(".recovered_20231114_221320.vkd")));

    // Once a recovery folder can take it, it leaves, patched, and is told.
    testsupport::ScratchDir data;
    cleanup.recovery_dirs.push_back(data.path().string());
    CleanupReport third = clean_scratch_folder(cleanup);
    ASSERT_EQ(third.recovered.size(), 1u);
    EXPECT_TRUE(third.recovered[0].moved_out);
    EXPECT_EQ(third.recovered[0].path, data.file("recovered_20231114_221320.vkd"));
    EXPECT_EQ(get(third.recovered[0].path), recording(100));
    EXPECT_EQ(patched, 1);
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(Startup, AProgramFolderThatCannotBeWrittenKeepsTheSettingsInTheUsersFolder) {
    put(program.file("Murrelphonic.ini"), "[Config]\nDefault_path=\n[Messages]\nFM_PUHopen=&Open\n");
    // Read-only for everyone, the super-user included: a read-only mount.
    bool mounted = false;
    if (::geteuid() == 0) {
        if (::mount(program.path().c_str(), program.path().c_str(), nullptr, MS_BIND, nullptr) != 0)
            GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
        mounted = ::mount(nullptr, program.path().c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        if (!mounted) {
            ::umount(program.path().c_str());
            GTEST_SKIP() << "cannot make a read-only mount here";
        }
    } else {
        ::chmod(program.path().c_str(), 0555);
    }
    struct Restore {
        std::string path;
        bool mounted;
        ~Restore() {
            if (mounted) ::umount2(path.c_str(), MNT_DETACH);
            ::chmod(path.c_str(), 0755);
        }
    } restore{program.path().string(), mounted};

    StartupResult r = start();
    ASSERT_TRUE(r.ok);
    const std::string own = fallback.path().string() + "/Murrelphonic/";
    EXPECT_EQ(app().app_dir, AddSlash(program.path().string()));
    EXPECT_EQ(app().settings_dir, own);
    EXPECT_EQ(app().ini_path, own + "Murrelphonic.ini");
    EXPECT_EQ(app().data_dir, own + "voicedata");
    EXPECT_EQ(app().temp_dir, own + "tempdata");
    EXPECT_TRUE(fs::is_directory(own + "voicedata"));
    EXPECT_TRUE(fs::is_directory(own + "tempdata"));
    EXPECT_EQ(r.main_texts.text("FM_PUHopen"), "&Open");  // from the copied file

    writeconfig_inifile("", own + "voicedata");
    EXPECT_EQ(ProfileFile(own + "Murrelphonic.ini").read_string("Config", "Default_path"), own + "voicedata");
    EXPECT_EQ(ProfileFile(program.file("Murrelphonic.ini")).read_string("Config", "Default_path"), "");

    // A later start keeps the user's copy rather than copying again.
    app().reset();
    ASSERT_TRUE(start().ok);
    EXPECT_EQ(app().default_path, own + "voicedata");
}

// An installed tree: <prefix>/bin/ holds the program, <prefix>/share/murrelphonic/
// what ships with it. The settings go to the user's folder even though bin/ is
// writable here (as it is for root), and the shipped INI stays untouched.
TEST_F(Startup, AnInstalledProgramFindsItsShippedFilesAndKeepsTheSettingsWithTheUser) {
    fs::create_directories(program.path() / "bin");
    fs::create_directories(program.path() / "share" / "murrelphonic");
    const std::string shipped = (program.path() / "share" / "murrelphonic").string() + "/";
    put(shipped + "Murrelphonic.ini", "[Config]\nDefault_path=\n[Messages]\nFM_PUHopen=&Open\n");
    StartupOptions options;
    options.program_dir = (program.path() / "bin").string();
    options.fallback_dir = fallback.path().string() + "/Murrelphonic";
    StartupResult r = start_up(options);
    ASSERT_TRUE(r.ok);
    const std::string own = fallback.path().string() + "/Murrelphonic/";
    EXPECT_EQ(app().shipped_dir, shipped);
    EXPECT_EQ(app().settings_dir, own);
    EXPECT_EQ(app().data_dir, own + "voicedata");
    EXPECT_EQ(r.main_texts.text("FM_PUHopen"), "&Open");
    writeconfig_inifile("", own + "voicedata");
    EXPECT_EQ(ProfileFile(shipped + "Murrelphonic.ini").read_string("Config", "Default_path"), "");
    EXPECT_FALSE(fs::exists(program.path() / "bin" / "voicedata"));

    // Beside the program, the shipped files win (a build, an unpacked folder).
    put(program.file("bin/Murrelphonic.ini"), "[Config]\n");
    EXPECT_EQ(shipped_folder(options.program_dir, "Murrelphonic"), AddSlash(options.program_dir));
    // Neither place: the program's folder, as before.
    EXPECT_EQ(shipped_folder(fallback.path().string(), "Murrelphonic"), AddSlash(fallback.path().string()));
}

TEST(ShellTexts, EveryTextIsThereAndTakesItsArgument) {
    for (int i = 0; i < static_cast<int>(ShellText::Count); ++i) {
        auto id = static_cast<ShellText>(i);
        EXPECT_FALSE(shell_text(id).empty()) << i;
        EXPECT_NE(shell_text(id).find("%s"), std::string_view::npos) << i;
        EXPECT_NE(shell_text(id, "/x/y").find("/x/y"), std::string::npos) << i;
    }
}
