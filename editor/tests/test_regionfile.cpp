// The region file against hand-written files in the exact layout.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "editor/regionfile.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;

namespace {
TMMMarker mk(int32_t id, int32_t next, int64_t offset, std::string name) {
    TMMMarker m;
    m.ID = id;
    m.NextID = next;
    m.Offset = offset;
    m.Name = std::move(name);
    return m;
}
}  // namespace

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A document with its own cut and marker lists attached.
struct ListedDocument {
    ListedDocument() {
        wave.SetCutList(&cuts);
        wave.SetMarkerList(&markers);
    }
    TMMEnhancedWave wave;
    TMMCutList cuts;
    TMMMarkerList markers;
};

class RegionFile : public ::testing::Test {
protected:
    void SetUp() override {
        wav = dir.file("take 1.wav");
        TMMWave w;
        w.FileMustExist = false;
        w.CreateFile(wav, MakePCMFormat(16, 1, 16000));
        std::vector<int16_t> s(2000, 100);
        w.WriteData(s.data(), int64_t(s.size() * 2));
        w.CloseFile();
        doc.SetCutList(&cuts);
        doc.SetMarkerList(&markers);
    }
    testsupport::ScratchDir dir;
    std::string wav;
    TMMEnhancedWave doc;
    TMMCutList cuts;
    TMMMarkerList markers;
};

TMMCutRecord cut(int64_t start, int64_t length, int32_t extra = 0) {
    TMMCutRecord r;
    r.start = start;
    r.length = length;
    r.extra = extra;
    return r;
}

}  // namespace

TEST_F(RegionFile, WritesTheKeysInOrderWithFivePointsAndFourCutsPerKey) {
    doc.SetFileName(wav);
    doc.SourceFades().Clear();
    for (int i = 0; i < 6; ++i) doc.SourceFades().AddPoint(i * 300, 16384 - i);
    for (int i = 0; i < 5; ++i) cuts.Add(cut(100 + i * 200, 50, i == 4 ? 7 : 0));
    doc.SetCutList(&cuts);
    doc.SetStartPos(10);
    doc.SetEndPos(1900);
    markers.Add({1234, 0, 700, "intro", "first part", true, false, 255, 3});
    markers.Add({99, 1234, 40, "", "", false, true, 65535, 0});

    const std::string path = dir.file("clipcut.tmp");
    put(path, "stale content\n");
    ASSERT_TRUE(WriteRegionFile(doc, path));
    const std::string want =
        "[General]\n"
        "Validate=Tapelore Region-File\n"
        "Version=1.00\n"
        "\n"
        "[Sample]\n"
        "FileName=" + wav + "\n"
        "StartPos=10\n"
        "EndPos=1900\n"
        "Position=0\n"
        "NumFades=6\n"
        "Fades1=(0,16384);(300,16383);(600,16382);(900,16381);(1200,16380);\n"
        "Fades2=(1500,16379);\n"
        "NumCuts=5\n"
        "Cuts1=(100,50,0);(300,50,0);(500,50,0);(700,50,0);\n"
        "Cuts2=(900,50,7);\n"
        "NumMarkers=2\n"
        "\n"
        "[Marker_0]\n"
        "Name=\n"
        "Comment=\n"
        "ID=99\n"
        "NextID=1234\n"
        "Offset=40\n"
        "Color=65535\n"
        "Flags=0\n"
        "Fixed=0\n"
        "Visible=1\n"
        "\n"
        "[Marker_1]\n"
        "Name=intro\n"
        "Comment=first part\n"
        "ID=1234\n"
        "NextID=0\n"
        "Offset=700\n"
        "Color=255\n"
        "Flags=3\n"
        "Fixed=1\n"
        "Visible=0\n";
    EXPECT_EQ(slurp(path), want);

    // And back: range, gain points, cuts and markers exactly.
    ListedDocument read_back;
    TMMEnhancedWave& back = read_back.wave;
    TMMCutList& back_cuts = read_back.cuts;
    TMMMarkerList& back_markers = read_back.markers;
    ASSERT_TRUE(ReadRegionFile(back, path));
    EXPECT_EQ(back.FileName(), wav);
    EXPECT_EQ(back.StartPos(), 10);
    EXPECT_EQ(back.EndPos(), 1900);
    EXPECT_EQ(back.SourceFades().Items(), doc.SourceFades().Items());
    EXPECT_EQ(back_cuts.Items(), cuts.Items());
    EXPECT_EQ(back_markers.Items(), markers.Items());
}

TEST_F(RegionFile, AFlatDocumentWithoutListsWritesTwoPointsAndNoListKeys) {
    TMMEnhancedWave plain;
    plain.SetFileName(wav);
    const std::string path = dir.file("r.tmp");
    ASSERT_TRUE(WriteRegionFile(plain, path));
    const std::string text = slurp(path);
    EXPECT_NE(text.find("NumFades=2\nFades1=(0,16384);(2000,16384);\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("NumCuts"), std::string::npos);
    EXPECT_EQ(text.find("NumMarkers"), std::string::npos);
    EXPECT_EQ(text.find("Marker_"), std::string::npos);
}

TEST_F(RegionFile, ReadsHandWrittenFilesWithTheirDefaults) {
    const std::string path = dir.file("hand.tmp");
    put(path,
        "[general]\r\nvalidate=Tapelore Region-File\r\nVERSION=1.00\r\n"
        "[Sample]\r\nFileName=" + wav + "\r\nEndPos=1500\r\nPosition=77\r\n"
        "NumFades=9\r\nFades1=(0,100);(1000,200);(400,300);\r\n"
        "NumCuts=3\r\nCuts1=(10,20,0);(15,5,0);(500,10,4);\r\n"
        "NumMarkers=2\r\n[Marker_1]\r\nOffset=5\r\nName=" + std::string(90, 'x') + "\r\n"
        "[Marker_0]\r\nOffset=9\r\nID=4\r\n");
    markers.Add(mk(1, 0, 0, "old"));
    ASSERT_TRUE(ReadRegionFile(doc, path));
    EXPECT_EQ(doc.StartPos(), 0);
    EXPECT_EQ(doc.EndPos(), 1500);
    EXPECT_EQ(doc.Position(), 0);  // not read
    // Points as read, unsorted; the count was larger than the keys present.
    ASSERT_EQ(doc.SourceFades().Count(), 3);
    EXPECT_EQ(doc.SourceFades()[2].position, 400);
    EXPECT_EQ(doc.SourceFades()[2].gain_right, 300);
    // The cut starting inside the first is refused.
    ASSERT_EQ(cuts.Count(), 2);
    EXPECT_EQ(cuts[1].extra, 4);
    EXPECT_EQ(doc.PlayList().Count(), 3);
    ASSERT_EQ(markers.Count(), 2);
    EXPECT_EQ(markers[0].Offset, 5);
    EXPECT_EQ(markers[0].Name, std::string(80, 'x'));
    EXPECT_TRUE(markers[0].Visible);
    EXPECT_EQ(markers[0].Color, 65535);
    EXPECT_EQ(markers[0].ID, 0);
    EXPECT_EQ(markers[1].ID, 4);
}

TEST_F(RegionFile, RejectsWhatIsNoRegionFileAndEmptiesTheDocument) {
    const std::string good_head = "[General]\nValidate=Tapelore Region-File\nVersion=1.00\n";
    struct Case {
        const char* name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"validate differs in case", "[General]\nValidate=tapelore region-file\nVersion=1.00\n"
                                     "[Sample]\nFileName=" + wav + "\n"},
        {"other version", "[General]\nValidate=Tapelore Region-File\nVersion=1.01\n"
                          "[Sample]\nFileName=" + wav + "\n"},
        {"point that is no number", good_head + "[Sample]\nFileName=" + wav +
                                        "\nNumFades=1\nFades1=(0,abc);\n"},
        {"cut that is no number", good_head + "[Sample]\nFileName=" + wav +
                                      "\nNumCuts=1\nCuts1=(1,2);\n"},
        {"missing wav file", good_head + "[Sample]\nFileName=" + dir.file("gone.wav") + "\n"},
    };
    for (const Case& c : cases) {
        doc.SetFileName(wav);
        cuts.Add(cut(1, 1));
        markers.Add(mk(1, 0, 0, "m"));
        const std::string path = dir.file("bad.tmp");
        put(path, c.text);
        EXPECT_FALSE(ReadRegionFile(doc, path)) << c.name;
        EXPECT_EQ(doc.FileName(), "") << c.name;
        EXPECT_EQ(cuts.Count(), 0) << c.name;
        EXPECT_EQ(markers.Count(), 0) << c.name;
        EXPECT_EQ(doc.SourceFades().Count(), 0) << c.name;
    }
}

TEST_F(RegionFile, AMissingFileLeavesTheDocumentUntouched) {
    doc.SetFileName(wav);
    markers.Add(mk(1, 0, 0, "m"));
    EXPECT_FALSE(ReadRegionFile(doc, dir.file("none.tmp")));
    EXPECT_EQ(doc.FileName(), wav);
    EXPECT_EQ(markers.Count(), 1);
}

// A thousand markers are written and read in one pass each (a key-by-key
// file took seconds); sections match without regard to case, the first of a
// name counts, as in every profile file.
TEST_F(RegionFile, AThousandMarkersRoundTripInOnePassEach) {
    doc.SetFileName(wav);
    for (int i = 0; i < 1000; ++i)
        markers.Add(mk(i + 1, i + 2, 1 + i, "m" + std::to_string(i)));
    const std::string path = dir.file("many.rgn");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WriteRegionFile(doc, path));
    ListedDocument read_back;
    TMMEnhancedWave& back = read_back.wave;
    TMMMarkerList& back_markers = read_back.markers;
    ASSERT_TRUE(ReadRegionFile(back, path));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 1.0);  // the benchmark holds the real figure
    ASSERT_EQ(back_markers.Count(), 1000);
    EXPECT_EQ(back_markers[999].Name, "m999");
    EXPECT_EQ(back_markers[999].Offset, 1000);
    EXPECT_EQ(back_markers[0].NextID, 2);

    std::string text = slurp(path);
    const std::size_t at = text.find("[Marker_1]");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 10, "[MARKER_1]");
    text += "\n[Marker_1]\nName=late copy\n";
    put(path, text);
    ASSERT_TRUE(ReadRegionFile(back, path));
    EXPECT_EQ(back_markers[1].Name, "m1");
}
