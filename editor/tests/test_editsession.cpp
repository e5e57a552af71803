// The edit session without a screen: every operation's audio compared frame
// by frame with what the test computes from the input, the marker and cut
// bookkeeping, undo and redo, cancel and full disks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "editor/editsession.h"
#include "shell/appstate.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

void write_wav16(const std::string& path, const std::vector<int16_t>& s, uint32_t rate = 16000, int ch = 1) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(16, ch, rate));
    w.WriteData(s.data(), int64_t(s.size() * 2));
    w.CloseFile();
}

void write_wav8(const std::string& path, const std::vector<uint8_t>& s, uint32_t rate = 8000) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(8, 1, rate));
    w.WriteData(s.data(), int64_t(s.size()));
    w.CloseFile();
}

std::vector<uint8_t> bytes_of(const std::string& path) {
    TMMWave w;
    w.SetFileName(path);
    w.OpenFile();
    std::vector<uint8_t> out(size_t(w.LengthInBytes()));
    int64_t got = 0;
    while (got < int64_t(out.size())) {
        const int64_t n = w.ReadData(out.data() + got, int64_t(out.size()) - got);
        if (n <= 0) break;
        got += n;
    }
    out.resize(size_t(got));
    return out;
}

std::vector<int16_t> samples_of(const std::string& path) {
    const std::vector<uint8_t> b = bytes_of(path);
    std::vector<int16_t> s(b.size() / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

std::vector<uint8_t> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A signal where every frame differs from its neighbours.
std::vector<int16_t> ramp(size_t n, int seed = 1) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = int16_t((int64_t(i) * 37 * seed + 11) % 60001 - 30000);
    return s;
}

std::set<std::string> files_in(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
    return out;
}

TMMMarker marker(int32_t id, int32_t next, int64_t offset, std::string name = "m") {
    TMMMarker m;
    m.ID = id;
    m.NextID = next;
    m.Offset = offset;
    m.Name = std::move(name);
    m.Color = 5;
    return m;
}

// Sets the cancel flag at the n-th progress step it sees.
struct CancelAt final : ConversionProgress {
    int at = -1, seen = 0;
    void set_current(int) override {
        if (++seen == at) app().convert_cancel = true;
    }
};

class EditSession : public ::testing::Test {
protected:
    void SetUp() override {
        app().reset();
        for (int k = 0; k <= 17; ++k) app().messages["FE_wav_msg" + std::to_string(k)] = "msg" + std::to_string(k);
        ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
        temp = dir.file("tempdata");
        doc_path = dir.file("doc.wav");
        input = ramp(16000);
        write_wav16(doc_path, input);
        session = std::make_unique<TMMEditSession>(temp);
        ASSERT_TRUE(session->OpenDocument(doc_path));
    }
    std::vector<int16_t> doc() { return samples_of(session->Document().FileName()); }
    std::set<std::string> temp_files() { return files_in(temp); }

    testsupport::ScratchDir dir;
    testsupport::ScriptedDialogs dialogs;
    std::string temp, doc_path;
    std::vector<int16_t> input;
    std::unique_ptr<TMMEditSession> session;
};

TEST_F(EditSession, CutRemovesTheSelectionAndKeepsItOnTheClipboard) {
    auto& m = session->DocumentMarkers();
    m.Add(marker(1, 2, 1000));   // pair: 1 before, 2 inside the selection
    m.Add(marker(2, 1, 5000));
    m.Add(marker(3, 0, 9000));   // after: moves left
    m.Add(marker(4, 0, 200));    // before: stays
    session->DocumentCuts().Add({100, 0, 50, 0, 0});     // before: stays
    session->DocumentCuts().Add({4500, 0, 100, 0, 0});   // contains SelStart: goes
    session->DocumentCuts().Add({12000, 0, 10, 0, 0});   // after: moves left
    session->SetSelection(4000, 7000);
    ASSERT_TRUE(session->CutSelection());

    std::vector<int16_t> expect(input.begin(), input.begin() + 4000);
    expect.insert(expect.end(), input.begin() + 7000, input.end());
    EXPECT_EQ(doc(), expect);
    EXPECT_EQ(samples_of(session->Clipboard().FileName()),
              std::vector<int16_t>(input.begin() + 4000, input.begin() + 7000));
    ASSERT_EQ(session->DocumentMarkers().Count(), 2);
    EXPECT_EQ(session->DocumentMarkers()[0].ID, 4);
    EXPECT_EQ(session->DocumentMarkers()[1].ID, 3);
    EXPECT_EQ(session->DocumentMarkers()[1].Offset, 6000);
    ASSERT_EQ(session->DocumentCuts().Count(), 2);
    EXPECT_EQ(session->DocumentCuts()[0].start, 100);
    EXPECT_EQ(session->DocumentCuts()[1].start, 9000);
    EXPECT_TRUE(session->Modified());
    EXPECT_EQ(session->Locator(), 4000);
    // The clipboard got the inner marker, unpaired and marked, from 0.
    ASSERT_EQ(session->ClipboardMarkers().Count(), 1);
    EXPECT_EQ(session->ClipboardMarkers()[0].Offset, 1000);
    EXPECT_EQ(session->ClipboardMarkers()[0].NextID, 0);
    EXPECT_EQ(session->ClipboardMarkers()[0].Color, 65535);

    const std::string cut_file = session->Document().FileName();
    ASSERT_TRUE(session->Undo());
    EXPECT_EQ(session->Document().FileName(), fs::absolute(doc_path).string());
    EXPECT_EQ(doc(), input);
    EXPECT_EQ(session->DocumentMarkers().Count(), 4);
    EXPECT_EQ(session->DocumentCuts().Count(), 3);
    EXPECT_FALSE(session->Modified());
    ASSERT_TRUE(session->Redo());
    EXPECT_EQ(session->Document().FileName(), cut_file);
    EXPECT_EQ(doc(), expect);
    EXPECT_EQ(session->DocumentMarkers().Count(), 2);
}

TEST_F(EditSession, TooLittleLeftOrSelectedIsRefusedWithTheClipboardAlreadyFilled) {
    session->SetScreenWidth(800);
    session->SetSelection(300, 15600);  // leaves 700 < 800 frames
    EXPECT_FALSE(session->CutSelection());
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"msg17"});
    EXPECT_EQ(doc(), input);
    EXPECT_EQ(samples_of(session->Clipboard().FileName()).size(), 15300u);
    session->SetSelection(100, 600);
    EXPECT_FALSE(session->TrimToSelection());
    EXPECT_EQ(dialogs.texts().size(), 2u);
    EXPECT_EQ(session->UndoCount(), 0u);
}

TEST_F(EditSession, TrimKeepsTheSelectionWithItsMarkers) {
    auto& m = session->DocumentMarkers();
    m.Add(marker(1, 2, 2000));
    m.Add(marker(2, 1, 3000));   // pair entirely inside: kept paired
    m.Add(marker(3, 4, 2500));   // partner outside: orphaned
    m.Add(marker(4, 3, 9000));
    session->DocumentCuts().Add({2100, 0, 10, 0, 0});
    session->SetSelection(1500, 4000);
    ASSERT_TRUE(session->TrimToSelection());
    EXPECT_EQ(doc(), std::vector<int16_t>(input.begin() + 1500, input.begin() + 4000));
    ASSERT_EQ(session->DocumentMarkers().Count(), 3);
    EXPECT_EQ(session->DocumentMarkers()[0].Offset, 500);
    EXPECT_EQ(session->DocumentMarkers()[0].NextID, 2);
    EXPECT_EQ(session->DocumentMarkers()[1].ID, 3);
    EXPECT_EQ(session->DocumentMarkers()[1].NextID, 0);
    EXPECT_EQ(session->DocumentMarkers()[1].Color, 65535);
    EXPECT_EQ(session->DocumentCuts().Count(), 0);
}

TEST_F(EditSession, PasteInsertsAtTheLocatorWithMarkersAndCutsMoved) {
    const std::vector<int16_t> clip = ramp(3000, 7);
    const std::string clip_path = dir.file("clipsrc.wav");
    write_wav16(clip_path, clip);
    // The clipboard from a copy of another document with a pair and a lone marker.
    TMMEditSession other(dir.file("othertemp"));
    ASSERT_TRUE(other.OpenDocument(clip_path));
    other.DocumentMarkers().Add(marker(10, 11, 100));
    other.DocumentMarkers().Add(marker(11, 10, 200));
    other.DocumentMarkers().Add(marker(12, 0, 300));
    other.SetSelection(0, 3000);
    ASSERT_TRUE(other.CopyToClipboard());
    ASSERT_TRUE(session->SetClipboardFile(other.Clipboard().FileName()));
    for (const TMMMarker& mk : other.ClipboardMarkers().Items()) session->ClipboardMarkers().Add(mk);

    session->DocumentMarkers().Add(marker(1, 0, 5000));  // exactly at P: stays before
    session->DocumentMarkers().Add(marker(2, 0, 5001));  // after: moves right
    session->DocumentCuts().Add({4000, 0, 2000, 0, 0});  // spans P: split
    session->DocumentCuts().Add({8000, 0, 10, 0, 0});    // after: moves
    session->SetSelection(100, 200);  // paste ignores the selection
    session->SetLocator(5000);
    ASSERT_TRUE(session->PasteClipboard());

    std::vector<int16_t> expect(input.begin(), input.begin() + 5000);
    expect.insert(expect.end(), clip.begin(), clip.end());
    expect.insert(expect.end(), input.begin() + 5000, input.end());
    EXPECT_EQ(doc(), expect);
    EXPECT_EQ(session->SelStart(), 5000);
    EXPECT_EQ(session->SelEnd(), 8000);
    const auto& m = session->DocumentMarkers();
    ASSERT_EQ(m.Count(), 5);
    EXPECT_EQ(m[0].ID, 1);
    EXPECT_EQ(m[0].Offset, 5000);
    EXPECT_EQ(m[1].Offset, 5100);
    EXPECT_EQ(m[2].Offset, 5200);
    EXPECT_EQ(m[3].Offset, 5300);
    EXPECT_EQ(m[4].Offset, 8001);
    // The pair was renewed and cross-linked; the lone marker is marked.
    EXPECT_NE(m[1].ID, 10);
    EXPECT_EQ(m[1].NextID, m[2].ID);
    EXPECT_EQ(m[2].NextID, m[1].ID);
    EXPECT_EQ(m[3].NextID, 0);
    EXPECT_EQ(m[3].Color, 65535);
    std::set<int32_t> ids;
    for (const TMMMarker& mk : m.Items()) ids.insert(mk.ID);
    EXPECT_EQ(ids.size(), 5u);
    const auto& c = session->DocumentCuts();
    ASSERT_EQ(c.Count(), 3);
    EXPECT_EQ(c[0].start, 4000);
    EXPECT_EQ(c[0].length, 1000);
    EXPECT_EQ(c[1].start, 8000);
    EXPECT_EQ(c[1].length, 1000);
    EXPECT_EQ(c[2].start, 11000);
}

TEST_F(EditSession, PasteOfAnotherFormatIsConvertedAndLeavesTheClipboardFileAlone) {
    std::vector<int16_t> stereo(2 * 2205);
    for (size_t i = 0; i < 2205; ++i) {
        stereo[2 * i] = int16_t((i * 97) % 20000 - 10000);
        stereo[2 * i + 1] = int16_t(-stereo[2 * i] / 2);
    }
    const std::string src = dir.file("stereo.wav");
    write_wav16(src, stereo, 22050, 2);
    ASSERT_TRUE(session->SetClipboardFile(src));
    const std::vector<uint8_t> clip_before = file_bytes(session->Clipboard().FileName());
    session->SetLocator(1000);
    ASSERT_TRUE(session->PasteClipboard());
    EXPECT_EQ(file_bytes(session->Clipboard().FileName()), clip_before);

    // What the converter of the program delivers for the clipboard alone.
    TMMAcmWave conv;
    conv.SetFileName(session->Clipboard().FileName());
    conv.SetOutputFormat(session->Document().OutputFormat());
    conv.OpenFile();
    std::vector<int16_t> block(size_t(conv.LengthInSamples()));
    ASSERT_EQ(conv.ReadData(block.data(), int64_t(block.size() * 2)), int64_t(block.size() * 2));
    EXPECT_EQ(block.size(), 1600u);  // 2205 frames at 22.05 kHz in 16 kHz frames

    std::vector<int16_t> expect(input.begin(), input.begin() + 1000);
    expect.insert(expect.end(), block.begin(), block.end());
    expect.insert(expect.end(), input.begin() + 1000, input.end());
    EXPECT_EQ(doc(), expect);
    EXPECT_EQ(session->Document().Channels(), 1);
    EXPECT_EQ(session->Document().SampleRate(), 16000u);
}

TEST_F(EditSession, InsertBlankAddsOneSecondOfSilenceAndReplacesTheClipboard) {
    session->SetLocator(4000);
    ASSERT_TRUE(session->InsertBlank());
    std::vector<int16_t> expect(input.begin(), input.begin() + 4000);
    expect.insert(expect.end(), 16000, 0);
    expect.insert(expect.end(), input.begin() + 4000, input.end());
    EXPECT_EQ(doc(), expect);
    EXPECT_EQ(samples_of(session->Clipboard().FileName()), std::vector<int16_t>(16000, 0));
    EXPECT_EQ(session->ClipboardMarkers().Count(), 0);

    // 8-bit: the silent value is 128.
    std::vector<uint8_t> eight(4000);
    for (size_t i = 0; i < eight.size(); ++i) eight[i] = uint8_t(i * 13);
    write_wav8(dir.file("eight.wav"), eight);
    ASSERT_TRUE(session->OpenDocument(dir.file("eight.wav")));
    session->SetLocator(1000);
    ASSERT_TRUE(session->InsertBlank());
    std::vector<uint8_t> expect8(eight.begin(), eight.begin() + 1000);
    expect8.insert(expect8.end(), 8000, 128);
    expect8.insert(expect8.end(), eight.begin() + 1000, eight.end());
    EXPECT_EQ(bytes_of(session->Document().FileName()), expect8);
}

TEST_F(EditSession, VolumeStepsAreRenderedOnSaveAndUndone) {
    session->ScaleVolume(TMMEditSession::kVolumeUp);
    ASSERT_EQ(session->Envelope().Points()[0].y, 18390);
    EXPECT_TRUE(session->Modified());
    ASSERT_TRUE(session->SaveDocumentTo(dir.file("up.wav")));
    const std::vector<int16_t> up = samples_of(dir.file("up.wav"));
    ASSERT_EQ(up.size(), input.size());
    for (size_t i = 0; i < input.size(); ++i) {
        const int32_t v = std::clamp((int32_t(input[i]) * 18390) >> 14, -32768, 32767);
        ASSERT_EQ(up[i], v) << i;
    }
    // Saved: the gain is in the audio now, the envelope flat, the history gone.
    EXPECT_EQ(session->Envelope().Points()[0].y, 16384);
    EXPECT_EQ(session->UndoCount(), 0u);
    EXPECT_FALSE(session->Modified());

    session->ScaleVolume(TMMEditSession::kVolumeDown);
    EXPECT_EQ(session->Envelope().Points()[1].y, 14596);  // Round(16384 x 0.8908987)
    session->ResetVolume();
    EXPECT_EQ(session->Envelope().Points()[1].y, 16384);
    ASSERT_TRUE(session->Undo());
    EXPECT_EQ(session->Envelope().Points()[1].y, 14596);
    EXPECT_EQ(session->Document().SourceFades()[1].value, 14596);
    ASSERT_TRUE(session->Undo());
    EXPECT_EQ(session->Envelope().Points()[1].y, 16384);
    EXPECT_FALSE(session->Modified());

    // At the top of the range a step up still records, but changes nothing.
    for (int k = 0; k < 8; ++k) session->ScaleVolume(TMMEditSession::kVolumeUp);
    EXPECT_EQ(session->Envelope().Points()[0].y, 32768);
    const size_t before = session->UndoCount();
    session->ScaleVolume(TMMEditSession::kVolumeUp);
    EXPECT_EQ(session->UndoCount(), before + 1);
    EXPECT_EQ(session->Envelope().Points()[0].y, 32768);
}

TEST_F(EditSession, MarkersAreAddedDeletedAndDragsGroupedForUndo) {
    EXPECT_TRUE(session->AddMarker(100));
    EXPECT_FALSE(session->AddMarker(100));
    EXPECT_TRUE(session->AddMarker(500));
    const TMMMarker& first = session->DocumentMarkers()[0];
    EXPECT_EQ(first.Name, "Marker");
    EXPECT_EQ(first.Color, 65535);
    EXPECT_GT(first.ID, 0);
    EXPECT_EQ(session->UndoCount(), 2u);
    session->DocumentMarkers().Add(marker(77, 78, 900));
    session->DocumentMarkers().Add(marker(78, 77, 950));
    session->DeleteMarker(2);  // goes with its partner
    EXPECT_EQ(session->DocumentMarkers().Count(), 2);

    session->BeginMarkerDrag();
    session->DocumentMarkers().SetOffset(0, 300);
    session->DocumentMarkers().SetOffset(0, 400);
    session->EndDrag();
    session->BeginMarkerDrag();
    session->EndSelectionDrag();
    session->EndDrag();
    EXPECT_EQ(session->UndoCount(), 4u);
    ASSERT_TRUE(session->Undo());
    EXPECT_EQ(session->DocumentMarkers()[0].Offset, 100);
    ASSERT_TRUE(session->Undo());
    EXPECT_EQ(session->DocumentMarkers().Count(), 4);
    session->DeleteAllMarkers();
    EXPECT_EQ(session->DocumentMarkers().Count(), 0);
    EXPECT_EQ(session->RedoCount(), 0u);  // a new change ends redo
}

TEST_F(EditSession, OnlyFiftyEditsAreKeptAndTheirFilesStayUntilTheStackIsCleared) {
    session->SetLocator(0);
    write_wav16(dir.file("tick.wav"), std::vector<int16_t>(10, 5));
    ASSERT_TRUE(session->SetClipboardFile(dir.file("tick.wav")));
    for (int k = 0; k < 51; ++k) ASSERT_TRUE(session->PasteClipboard()) << k;
    EXPECT_EQ(session->UndoCount(), 50u);
    EXPECT_EQ(session->TempFiles().size(), 51u);
    EXPECT_EQ(doc().size(), input.size() + 510);
    int undone = 0;
    while (session->UndoCount() > 0 && session->Undo()) ++undone;
    EXPECT_EQ(undone, 50);
    EXPECT_EQ(doc().size(), input.size() + 10);
    EXPECT_FALSE(session->Undo());
    EXPECT_EQ(dialogs.texts().back(), "msg15");
    session->ClearUndo();
    EXPECT_EQ(session->TempFiles().size(), 1u);  // the document's own
    EXPECT_TRUE(fs::exists(session->Document().FileName()));
    // The session's end takes the rest, display data included; the clipboard stays.
    session.reset();
    EXPECT_EQ(temp_files(), (std::set<std::string>{"clip.tmp", "clipcut.tmp"}));
}

TEST_F(EditSession, UndoOfAPasteRestoresTheDocumentAndItsFileGoesWithTheRedo) {
    session->DocumentMarkers().Add(marker(1, 0, 8000));
    session->ScaleVolume(TMMEditSession::kVolumeDown);
    const auto envelope = session->Envelope().Points();
    write_wav16(dir.file("tick.wav"), std::vector<int16_t>(100, 5));
    ASSERT_TRUE(session->SetClipboardFile(dir.file("tick.wav")));
    session->SetLocator(10);
    ASSERT_TRUE(session->PasteClipboard());
    const std::string pasted = session->Document().FileName();
    EXPECT_EQ(session->Envelope().Points()[0].y, 16384);  // every result starts flat
    ASSERT_TRUE(session->Undo());
    EXPECT_EQ(session->Document().FileName(), fs::absolute(doc_path).string());
    EXPECT_EQ(doc(), input);
    EXPECT_EQ(session->DocumentMarkers()[0].Offset, 8000);
    EXPECT_EQ(session->Envelope().Points(), envelope);
    // Kept while it can be redone; a new edit ends that and deletes it.
    EXPECT_TRUE(fs::exists(pasted));
    session->AddMarker(3);
    EXPECT_FALSE(fs::exists(pasted));
    EXPECT_EQ(std::count(session->TempFiles().begin(), session->TempFiles().end(), pasted), 0);
}

TEST_F(EditSession, SaveAsToANewNameClearsTheHistoryAndTheTemporaryFiles) {
    session->DocumentCuts().Add({1000, 0, 500, 0, 0});
    session->DocumentMarkers().Add(marker(1, 0, 3000));
    session->SetSelection(0, 100);
    ASSERT_TRUE(session->CopyToClipboard());
    session->SetLocator(2000);
    ASSERT_TRUE(session->PasteClipboard());
    ASSERT_EQ(session->TempFiles().size(), 1u);
    const std::string edited = session->TempFiles()[0];
    dialogs.save_answers.push_back(dir.file("saved.wav"));
    ASSERT_TRUE(session->SaveDocumentAs());
    EXPECT_EQ(dialogs.file_requests.at(0).file_name, fs::absolute(doc_path).string());
    EXPECT_EQ(session->DocumentName(), dir.file("saved.wav"));
    EXPECT_EQ(session->UndoCount(), 0u);
    EXPECT_FALSE(fs::exists(edited));
    EXPECT_TRUE(session->TempFiles().empty());
    // The cut is in the audio now: the list is empty and the marker moved with the audio.
    std::vector<int16_t> expect(input.begin(), input.begin() + 1000);
    expect.insert(expect.end(), input.begin() + 1500, input.begin() + 2000);
    expect.insert(expect.end(), input.begin(), input.begin() + 100);
    expect.insert(expect.end(), input.begin() + 2000, input.end());
    EXPECT_EQ(doc(), expect);
    EXPECT_EQ(session->DocumentCuts().Count(), 0);
    EXPECT_EQ(session->DocumentMarkers()[0].Offset, 3100 - 500);
}

TEST_F(EditSession, SaveSelectedRefusesThePanesOwnFiles) {
    session->SetReferenceName(dir.file("ref.wav"));
    session->SetSelection(100, 900);
    dialogs.save_answers = {doc_path, dir.file("ref.wav"), dir.file("part.wav")};
    EXPECT_FALSE(session->SaveSelection());
    EXPECT_FALSE(session->SaveSelection());
    EXPECT_TRUE(session->SaveSelection());
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string>{"msg8", "msg14"}));
    EXPECT_EQ(samples_of(dir.file("part.wav")), std::vector<int16_t>(input.begin() + 100, input.begin() + 900));
    EXPECT_EQ(doc(), input);
}

TEST_F(EditSession, CancelAtAnyStepLeavesEverythingAsItWas) {
    session->DocumentMarkers().Add(marker(1, 0, 9000));
    session->SetSelection(0, 100);
    ASSERT_TRUE(session->CopyToClipboard());
    const std::vector<TMMMarker> markers_before = session->DocumentMarkers().Items();
    struct Op {
        const char* name;
        std::function<bool()> run;
    };
    const std::vector<Op> ops = {
        {"cut", [&] { session->SetSelection(1000, 3000); return session->CutSelection(); }},
        {"trim", [&] { session->SetSelection(1000, 3000); return session->TrimToSelection(); }},
        {"paste", [&] { session->SetLocator(500); return session->PasteClipboard(); }},
    };
    for (const Op& op : ops) {
        // (Results undone are kept for redo, so each operation starts its own count.)
        const std::set<std::string> files_before = temp_files();
        int finished_at = 0;
        for (int at = 1; at < 500; ++at) {
            CancelAt cancel;
            cancel.at = at;
            session->SetProgress(&cancel);
            const bool ok = op.run();
            session->SetProgress(nullptr);
            if (ok) {
                finished_at = at;
                break;
            }
            ASSERT_TRUE(session->Cancelled()) << op.name << " " << at;
            ASSERT_EQ(doc(), input) << op.name << " " << at;
            ASSERT_EQ(session->DocumentMarkers().Items(), markers_before);
            ASSERT_EQ(session->UndoCount(), 0u);
            ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messages.back().text;
            ASSERT_EQ(temp_files(), files_before) << op.name << " " << at;
        }
        ASSERT_GT(finished_at, 2) << op.name;  // it was cancelled at least at its render and display steps
        ASSERT_TRUE(session->Undo());
    }
}

TEST_F(EditSession, AFullDiskFailsTheEditAndTheSaveWithNothingChanged) {
    session->SetSelection(0, 5000);
    ASSERT_TRUE(session->CopyToClipboard());
    session->SetLocator(100);
    ASSERT_TRUE(session->PasteClipboard());
    const std::string edited = session->Document().FileName();
    const std::set<std::string> files_before = temp_files();
    session->FreeSpace = [](const std::string&) { return int64_t(50000); };
    session->SetLocator(0);
    EXPECT_FALSE(session->PasteClipboard());
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"msg16"});
    EXPECT_FALSE(session->SaveDocumentTo(dir.file("full.wav")));
    EXPECT_EQ(dialogs.texts().back(), "msg17");
    EXPECT_FALSE(fs::exists(dir.file("full.wav")));
    EXPECT_EQ(session->Document().FileName(), edited);
    EXPECT_EQ(session->UndoCount(), 1u);
    EXPECT_EQ(session->TempFiles().size(), 1u);
    EXPECT_EQ(temp_files(), files_before);
    EXPECT_TRUE(session->Modified());

    // The same when the system refuses the writes themselves.
    session->FreeSpace = nullptr;
    dialogs.messages.clear();
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 20000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool pasted = session->PasteClipboard();
    const bool saved = session->SaveDocumentTo(dir.file("full.wav"));
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(pasted);
    EXPECT_FALSE(saved);
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string>{"msg16", "msg17"}));
    EXPECT_FALSE(fs::exists(dir.file("full.wav")));
    EXPECT_EQ(session->Document().FileName(), edited);
    EXPECT_EQ(session->UndoCount(), 1u);
    EXPECT_EQ(temp_files(), files_before);
}

TEST_F(EditSession, ATemporaryNameInUseIsNeverTakenOrDeleted) {
    // Every short name is somebody's: the edits take longer names instead.
    for (int n = 1; n <= 256; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "w%X.tmp", n);
        std::ofstream(temp + "/" + name) << "keep " << n;
    }
    session->SetSelection(0, 1000);
    ASSERT_TRUE(session->CopyToClipboard());
    session->SetLocator(0);
    ASSERT_TRUE(session->PasteClipboard());
    ASSERT_TRUE(session->PasteClipboard());
    ASSERT_EQ(session->TempFiles().size(), 2u);
    EXPECT_NE(session->TempFiles()[0], session->TempFiles()[1]);
    for (int n = 1; n <= 256; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "w%X.tmp", n);
        std::ifstream in(temp + "/" + name);
        std::string word;
        int k = 0;
        in >> word >> k;
        ASSERT_EQ(k, n) << name;
        EXPECT_NE(session->TempFiles()[0], temp + "/" + name);
    }
    std::vector<int16_t> expect(input.begin(), input.begin() + 1000);
    expect.insert(expect.end(), input.begin(), input.begin() + 1000);
    expect.insert(expect.end(), input.begin(), input.end());
    EXPECT_EQ(doc(), expect);
}

TEST_F(EditSession, TheClipboardAndItsMarkersSurviveANewSession) {
    session->DocumentMarkers().Add(marker(1, 0, 1200));
    session->SetSelection(1000, 2000);
    ASSERT_TRUE(session->CopyToClipboard());
    EXPECT_TRUE(fs::exists(temp + "/clip.tmp"));
    EXPECT_TRUE(fs::exists(temp + "/clipcut.tmp"));
    session.reset();
    TMMEditSession next(temp);
    ASSERT_EQ(next.ClipboardMarkers().Count(), 1);
    EXPECT_EQ(next.ClipboardMarkers()[0].Offset, 200);
    EXPECT_EQ(samples_of(next.Clipboard().FileName()),
              std::vector<int16_t>(input.begin() + 1000, input.begin() + 2000));
    // A region file naming something else is dropped with the clipboard.
    next.DeleteClipboardFiles();
    EXPECT_FALSE(fs::exists(temp + "/clip.tmp"));
    EXPECT_FALSE(fs::exists(temp + "/clipcut.tmp"));
    TMMEditSession empty(temp);
    EXPECT_TRUE(empty.ClipboardEmpty());
}

}  // namespace
