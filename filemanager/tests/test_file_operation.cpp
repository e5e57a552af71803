// The file-operation service on scratch folders: free names for copies, whole
// copies or none, clear failure reasons, the trash and its fallback.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QByteArray>

#include "filemanager/file_operation.h"
#include "testsupport/scratch_dir.h"

namespace murrel {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class Recorder final : public FileOpObserver {
public:
    int64_t cancel_after_bytes = -1;
    bool answer = false;
    std::vector<std::vector<std::string>> asked;
    int64_t last_done = 0, last_total = 0;
    void progress(int64_t done, int64_t total, const std::string&) override {
        last_done = done;
        last_total = total;
    }
    bool cancel_requested() override { return cancel_after_bytes >= 0 && last_done >= cancel_after_bytes; }
    bool confirm_delete_for_good(const std::vector<std::string>& paths) override {
        asked.push_back(paths);
        return answer;
    }
};

// A tmpfs of its own, for another volume, a full disk or a read-only one;
// mounting needs root, so the cases that need it skip elsewhere.
class TmpfsMount {
public:
    TmpfsMount(const fs::path& at, const std::string& options) : at_(at) {
        fs::create_directories(at);
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool ok() const { return mounted_; }
    void make_read_only() { ::mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr); }

private:
    fs::path at_;
    bool mounted_ = false;
};

class FileOperation : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(src);
        fs::create_directories(dst);
        old_data_home_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data_home.string()));
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", old_data_home_); }
    FileOpOutcome copy(const std::vector<std::string>& sources, const std::string& destination) {
        return run_file_operation(FileOp::Copy, sources, destination, shell_flags(sources, destination), observer);
    }

    testsupport::ScratchDir dir;
    fs::path src = dir.path() / "src", dst = dir.path() / "dst", data_home = dir.path() / "share";
    Recorder observer;

private:
    QByteArray old_data_home_;
};

TEST_F(FileOperation, CopyNamesFollowTheDesktopsStyle) {
    write(src / "memo.vkd", "");
    write(src / "memo (copy).vkd", "");
    EXPECT_EQ(collision_free_name(src.string(), "memo.vkd"), "memo (copy 2).vkd");
    EXPECT_EQ(collision_free_name(src.string(), "memo (copy).vkd"), "memo (copy 2).vkd");
    EXPECT_EQ(collision_free_name(src.string(), "memo (copy 7).vkd"), "memo (copy 8).vkd");
    EXPECT_EQ(collision_free_name(src.string(), "README"), "README (copy)");
    EXPECT_EQ(collision_free_name(src.string(), ".profile"), ".profile (copy)");
    EXPECT_EQ(collision_free_name(src.string(), "take.2", true), "take.2 (copy)");
}

TEST_F(FileOperation, PastingIntoTheSameFolderMakesNumberedCopiesThatKeepContentAndTime) {
    write(src / "memo.vkd", "voice");
    const auto when = fs::last_write_time(src / "memo.vkd") - std::chrono::hours(30);
    fs::last_write_time(src / "memo.vkd", when);
    const std::string one = (src / "memo.vkd").string();
    EXPECT_TRUE(copy({one}, one).ok());
    const FileOpOutcome second = copy({one}, one);
    ASSERT_TRUE(second.ok()) << second.message;
    EXPECT_EQ(second.created, std::vector<std::string>{(src / "memo (copy 2).vkd").string()});
    EXPECT_EQ(names(src), (std::vector<std::string>{"memo (copy 2).vkd", "memo (copy).vkd", "memo.vkd"}));
    EXPECT_EQ(read(src / "memo (copy).vkd"), "voice");
    EXPECT_EQ(fs::last_write_time(src / "memo (copy).vkd"), when);
}

TEST_F(FileOperation, SeveralSourcesGoIntoTheFolderAndFoldersAreCopiedWhole) {
    fs::create_directories(src / "day" / "inner");
    write(src / "day" / "inner" / "a.vkd", "aa");
    write(src / "b.wav", "bb");
    write(dst / "b.wav", "old");
    const FileOpOutcome r = copy({(src / "day").string(), (src / "b.wav").string()}, dst.string() + "/");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(read(dst / "day" / "inner" / "a.vkd"), "aa");
    EXPECT_EQ(read(dst / "b.wav"), "old");
    EXPECT_EQ(read(dst / "b (copy).wav"), "bb");
    EXPECT_EQ(observer.last_total, 4);
}

TEST_F(FileOperation, AFolderIsNotCopiedOrMovedIntoItself) {
    fs::create_directories(src / "day");
    write(src / "day" / "a.vkd", "a");
    const FileOpOutcome c = copy({(src / "day").string()}, (src / "day" / "day").string());
    EXPECT_EQ(c.error, FileOpError::IntoItself);
    const FileOpOutcome m = run_file_operation(FileOp::Move, {(src / "day").string()}, (src / "day/x").string(),
                                               fof::kMultiDestFiles, observer);
    EXPECT_EQ(m.error, FileOpError::IntoItself);
    EXPECT_EQ(names(src / "day"), std::vector<std::string>{"a.vkd"});
}

TEST_F(FileOperation, ACancelledCopyLeavesNothingBehindAndWholeFilesBeforeItStay) {
    write(src / "a.wav", "first");
    write(src / "big.wav", std::string(3 << 20, 'x'));
    observer.cancel_after_bytes = 1 << 20;
    const FileOpOutcome r = copy({(src / "a.wav").string(), (src / "big.wav").string()}, dst.string());
    EXPECT_EQ(r.error, FileOpError::Cancelled);
    EXPECT_TRUE(r.aborted());
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(names(dst), std::vector<std::string>{"a.wav"});
}

TEST_F(FileOperation, AVanishedSourceIsNamedAsSuch) {
    const FileOpOutcome r = copy({(src / "gone.vkd").string()}, (dst / "gone.vkd").string());
    EXPECT_EQ(r.error, FileOpError::SourceMissing);
    EXPECT_NE(r.message.find("\"gone.vkd\": it no longer exists"), std::string::npos) << r.message;
    EXPECT_TRUE(names(dst).empty());
}

TEST_F(FileOperation, AFullDiskOrAReadOnlyVolumeIsReportedAndLeavesNoPartialFile) {
    TmpfsMount small(dir.path() / "small", "size=1m");
    if (!small.ok()) GTEST_SKIP() << "mounting a tmpfs needs root: " << std::strerror(errno);
    write(src / "big.wav", std::string(3 << 20, 'x'));
    const FileOpOutcome full = copy({(src / "big.wav").string()}, (dir.path() / "small" / "big.wav").string());
    EXPECT_EQ(full.error, FileOpError::DiskFull);
    EXPECT_NE(full.message.find("not enough free space"), std::string::npos) << full.message;
    EXPECT_TRUE(names(dir.path() / "small").empty());

    small.make_read_only();
    write(src / "a.wav", "a");
    const FileOpOutcome ro = copy({(src / "a.wav").string()}, (dir.path() / "small" / "a.wav").string());
    EXPECT_EQ(ro.error, FileOpError::PermissionDenied);
    EXPECT_TRUE(names(dir.path() / "small").empty());
}

TEST_F(FileOperation, MovingToAnotherVolumeCopiesThenRemovesAndRenameNeverReplaces) {
    TmpfsMount other(dir.path() / "other", "size=4m");
    if (!other.ok()) GTEST_SKIP() << "mounting a tmpfs needs root";
    fs::create_directories(src / "day");
    write(src / "day" / "a.vkd", "a");
    const FileOpOutcome m = run_file_operation(FileOp::Move, {(src / "day").string()},
                                               (dir.path() / "other").string() + "/", fof::kMultiDestFiles, observer);
    ASSERT_TRUE(m.ok()) << m.message;
    EXPECT_FALSE(fs::exists(src / "day"));
    EXPECT_EQ(read(dir.path() / "other" / "day" / "a.vkd"), "a");

    write(src / "x.vkd", "x");
    write(src / "y.vkd", "y");
    const FileOpOutcome r =
        run_file_operation(FileOp::Rename, {(src / "x.vkd").string()}, (src / "y.vkd").string(), 0, observer);
    EXPECT_EQ(r.error, FileOpError::TargetExists);
    EXPECT_EQ(read(src / "y.vkd"), "y");
    EXPECT_EQ(read(src / "x.vkd"), "x");
}

TEST_F(FileOperation, DeletingSendsFilesAndFoldersToTheTrashWithTheirInformation) {
    write(src / "memo.vkd", "m");
    fs::create_directories(src / "day");
    write(src / "day" / "a.vkd", "a");
    const std::vector<std::string> items{(src / "memo.vkd").string(), (src / "day").string()};
    const FileOpOutcome r = run_file_operation(FileOp::Delete, items, "", fof::kAllowUndo, observer);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.trashed, items);
    EXPECT_TRUE(observer.asked.empty());
    EXPECT_TRUE(names(src).empty());
    EXPECT_EQ(read(data_home / "Trash" / "files" / "day" / "a.vkd"), "a");
    EXPECT_TRUE(fs::exists(data_home / "Trash" / "files" / "memo.vkd"));
    const std::string info = read(data_home / "Trash" / "info" / "memo.vkd.trashinfo");
    EXPECT_NE(info.find("Path=" + (src / "memo.vkd").string()), std::string::npos) << info;
}

TEST_F(FileOperation, WithoutAUsableTrashDeletionAsksOnceAndADeclineKeepsEverything) {
    TmpfsMount recorder(dir.path() / "recorder", "size=1m");
    if (!recorder.ok()) GTEST_SKIP() << "mounting a tmpfs needs root";
    const fs::path r = dir.path() / "recorder";
    write(r / "a.vkd", "a");
    fs::create_directories(r / "day");
    const std::vector<std::string> items{(r / "a.vkd").string(), (r / "day").string()};
    FileOpOutcome no = run_file_operation(FileOp::Delete, items, "", fof::kAllowUndo, observer);
    EXPECT_EQ(no.error, FileOpError::Declined);
    EXPECT_EQ(names(r), (std::vector<std::string>{"a.vkd", "day"}));
    observer.answer = true;
    FileOpOutcome yes = run_file_operation(FileOp::Delete, items, "", fof::kAllowUndo, observer);
    EXPECT_TRUE(yes.ok()) << yes.message;
    EXPECT_TRUE(names(r).empty());
    ASSERT_EQ(observer.asked.size(), 2u);
    EXPECT_EQ(observer.asked[1], items);
    // Nothing was left on the recorder as a hidden trash folder either.
    EXPECT_FALSE(fs::exists(data_home / "Trash" / "files" / "a.vkd"));
}

TEST_F(FileOperation, FlagsFollowWhatIsCopiedOrDeleted) {
    write(src / "a.vkd", "a");
    fs::create_directories(src / "day");
    EXPECT_EQ(shell_flags({(src / "a.vkd").string()}, ""), 0x49u);
    EXPECT_EQ(shell_flags({(src / "day").string()}, dst.string()), 0x49u);
    EXPECT_EQ(shell_flags({(src / "day").string()}, ""), 0x02u);
}

}  // namespace
}  // namespace murrel
