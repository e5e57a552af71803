// Folder listings under a mask, the volumes view, the parent of a folder and
// the Type column's texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "filemanager/directory_listing.h"
#include "testsupport/scratch_dir.h"

namespace murrel {
namespace {

void touch(const std::string& path, size_t bytes = 0) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

std::vector<std::string> captions(const std::vector<DirEntry>& entries) {
    std::vector<std::string> out;
    for (const DirEntry& e : entries) out.push_back(e.caption);
    return out;
}

class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"b.wav", "A.wav", "c.vkd", "a.vkd", "notes.txt", "test", ".hidden.vkd"})
            touch(dir.file(name), 10);
        std::filesystem::create_directory(dir.file("zeta"));
        std::filesystem::create_directory(dir.file("Alpha"));
    }
    testsupport::ScratchDir dir;
};

TEST_F(Listing, FoldersComeFirstThenEachPatternsFilesInPatternOrder) {
    EXPECT_EQ(captions(list_directory(dir.path().string(), "*.vkd;*.wav")),
              (std::vector<std::string>{"Alpha", "zeta", ".hidden.vkd", "a.vkd", "c.vkd", "A.wav", "b.wav"}));
    EXPECT_EQ(captions(list_directory(dir.path().string() + "/", "*.wav")),
              (std::vector<std::string>{"Alpha", "zeta", "A.wav", "b.wav"}));
}

TEST_F(Listing, AnEmptyMaskListsEverythingAndAWordMatchesOnlyThatName) {
    EXPECT_EQ(list_directory(dir.path().string(), " ").size(), 9u);
    EXPECT_EQ(captions(list_directory(dir.path().string(), "test")),
              (std::vector<std::string>{"Alpha", "zeta", "test"}));
}

TEST_F(Listing, EntriesCarrySizeKindPathAndAttributes) {
    const auto entries = list_directory(dir.path().string(), "*.txt");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].kind, EntryKind::Dir);
    EXPECT_EQ(entries[0].size, 0);
    EXPECT_EQ(entries[0].full_path, dir.file("Alpha"));
    const DirEntry& txt = entries[2];
    EXPECT_EQ(txt.kind, EntryKind::File);
    EXPECT_EQ(txt.size, 10);
    EXPECT_EQ(txt.size_text, "1 KB");
    EXPECT_EQ(txt.full_path, dir.file("notes.txt"));
    EXPECT_NE(txt.attributes.find('A'), std::string::npos);
    EXPECT_EQ(std::string(entry_kind_text(txt.kind)), "file");
    EXPECT_EQ(std::string(entry_kind_text(EntryKind::Drive)), "drv");
}

TEST(ListingErrors, AMissingFolderListsNothing) {
    EXPECT_TRUE(list_directory("/no/such/folder/here", "*.*").empty());
}

TEST(SizeColumn, RoundsUpToWholeKilobytes) {
    EXPECT_EQ(size_column_text(0), "0 KB");
    EXPECT_EQ(size_column_text(1), "1 KB");
    EXPECT_EQ(size_column_text(1024), "1 KB");
    EXPECT_EQ(size_column_text(1025), "2 KB");
}

TEST(VoiceType, OnlyTheThreeRecordingModesGetTheirOwnName) {
    EXPECT_EQ(voice_type_text(2), "vkd file-sp");
    EXPECT_EQ(voice_type_text(3), "vkd file-hq");
    EXPECT_EQ(voice_type_text(4), "vkd file-shq");
    EXPECT_EQ(voice_type_text(1), "");
    EXPECT_EQ(voice_type_text(5), "");
}

TEST(ParentFolder, GoesUpAndFromAVolumesOwnFolderToTheVolumes) {
    const std::vector<Volume> volumes = {{"/", "System", "", "", VolumeKind::Root},
                                         {"/media/u/REC", "REC", "", "", VolumeKind::Removable}};
    EXPECT_EQ(parent_folder("/home/u/memos/", volumes), "/home/u");
    EXPECT_EQ(parent_folder("/home", volumes), "/");
    EXPECT_EQ(parent_folder("/", volumes), "Drives");
    EXPECT_EQ(parent_folder("/media/u/REC/", volumes), "Drives");
    EXPECT_EQ(parent_folder("/media/u/REC/FOLDER_A", volumes), "/media/u/REC");
    EXPECT_EQ(parent_folder("drives", volumes), "Drives");
}

TEST(VolumesView, OneDriveEntryPerVolume) {
    const std::vector<Volume> volumes = {{"/", "System", "", "", VolumeKind::Root},
                                         {"/media/u/REC", "REC", "/dev/sdb1", "vfat", VolumeKind::Removable}};
    const auto entries = list_volumes(volumes);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].caption, "REC");
    EXPECT_EQ(entries[1].full_path, "/media/u/REC");
    EXPECT_EQ(entries[1].kind, EntryKind::Drive);
    EXPECT_TRUE(is_drives_path("DRIVES"));
    EXPECT_FALSE(is_drives_path("/Drives"));
}

}  // namespace
}  // namespace murrel
