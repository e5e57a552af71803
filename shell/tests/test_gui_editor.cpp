// The Voice Editor's window through its handlers and the scripted dialogs:
// opening and its refusals, the enables after each command, the edits through
// the session with undo and redo by key, playback on a virtual sound card
// with the locator carried across a cut, and the save question on closing.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QPushButton>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "audio/formats/mmwave.h"
#include "editor/displaydata.h"
#include "editor/gui/oscilloscope.h"
#include "shell/tests/editor_fixture.h"
#include "ui/bitmap_button.h"
#include "editor/gui/mmviewpanels.h"
#include "player/gui/led_text.h"
#include "player/gui/speed_control.h"
#include "voicefile/koltheader.h"

namespace murrel {
namespace {
namespace fs = std::filesystem;

using namespace editortest;

class EditorWindow : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        use_numbered_messages();
        show({1000, 700});
        write_wav(doc, ramp(kFrames));
    }
    void open_lower(const std::string& path) { edit->OpenFileIntoPane(2, path); }
};

TEST_F(EditorWindow, OpeningShowsTheFileItsNameAndTheStatusBarInTheirFormats) {
    open_lower(doc);
    ASSERT_TRUE(edit->document_loaded);
    EXPECT_EQ(edit->active_pane, 2);
    EXPECT_EQ(lower().Panel_filename->text(), "take.wav");
    EXPECT_EQ(lower().Frames(), kFrames);
    EXPECT_EQ(edit->StatusTime->text(), "Pos :0:00.000");
    EXPECT_EQ(edit->StatusMaxtime->text(), "Total : 0:03.000");
    EXPECT_EQ(edit->StatusSelected->text(), "Sel :0:00.000");
    EXPECT_EQ(edit->StatusRate->text(), "16.000 KHz");
    EXPECT_EQ(edit->StatusBits->text(), "16 Bit");
    EXPECT_TRUE(edit->StatusFile->text().startsWith("  "));
    // The name's end always shows; a panel too narrow for it loses its beginning.
    const QString shown_name = edit->StatusFile->text();
    EXPECT_TRUE(shown_name.endsWith("take.wav") || (shown_name.contains(QChar(0x2026)) && shown_name.endsWith(".wav")))
        << shown_name.toStdString() << " in " << edit->StatusFile->width();
    EXPECT_EQ(Tform_edit::FormatTime(16000LL * 3723 + 8, 16000), "1:02:03.000");
    EXPECT_EQ(Tform_edit::FormatTime(16000LL * (86400 + 61) + 160, 16000), "1:00:01:01.010");
    // The display data was built beside the file.
    EXPECT_TRUE(fs::exists(dir.file(DisplayFileName(doc))));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(EditorWindow, FormatsTheSameFileInBothPanesShortAndEmptyFilesAreRefusedWithTheirMessages) {
    const std::string stereo16 = dir.file("s16.wav"), stereo22 = dir.file("s22.wav"), empty = dir.file("empty.wav"),
                      shorty = dir.file("short.wav");
    write_wav(stereo16, ramp(kFrames, 2), 16000, 2);
    write_wav(stereo22, ramp(kFrames, 2), 22050, 2);
    write_wav(empty, {});
    write_wav(shorty, ramp(100));
    open_lower(stereo16);
    EXPECT_FALSE(edit->document_loaded);
    open_lower(empty);
    EXPECT_FALSE(edit->document_loaded);
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string>{"msg0", "msg11"}));

    open_lower(stereo22);
    EXPECT_TRUE(edit->document_loaded);
    edit->OpenFileIntoPane(1, stereo22);
    EXPECT_FALSE(edit->reference_loaded);
    EXPECT_EQ(dialogs.texts().back(), "msg9");
    edit->OpenFileIntoPane(1, doc);
    EXPECT_TRUE(edit->reference_loaded);
    EXPECT_EQ(edit->active_pane, 1);
    open_lower(doc);
    EXPECT_EQ(dialogs.texts().back(), "msg10");
    EXPECT_EQ(edit->Session().DocumentName(), fs::absolute(stereo22).string());

    // Shorter than the screen is wide: an error, and the pane stays empty.
    const size_t before = dialogs.messages.size();
    edit->OpenFileIntoPane(1, shorty);
    EXPECT_FALSE(edit->reference_loaded);
    EXPECT_EQ(dialogs.messages.size(), before + 1);
    EXPECT_EQ(upper().Frames(), 0);
    EXPECT_EQ(edit->active_pane, 2);
}

TEST_F(EditorWindow, AVoiceFileWhoseSaveDialogIsCancelledLeavesThePaneAsItWas) {
    open_lower(doc);
    const std::string voice = dir.file("memo.vkd");
    {
        const KoltHeader h = make_recording_header(5, 2, voice);
        std::ofstream f(voice, std::ios::binary);
        f.write(reinterpret_cast<const char*>(h.data()), std::streamsize(h.size()));
        f << std::string(4000, '\0');
    }
    dialogs.save_answers.push_back(std::nullopt);
    dialogs.open_answers.push_back({voice});
    edit->button_opendownfileClick();
    ASSERT_EQ(dialogs.file_requests.size(), 2u);
    EXPECT_NE(dialogs.file_requests[0].filter.find("*.vkd"), std::string::npos);
    EXPECT_EQ(dialogs.file_requests[1].file_name, dir.file("memo.WAV"));
    EXPECT_TRUE(edit->document_loaded);
    EXPECT_EQ(edit->Session().DocumentName(), fs::absolute(doc).string());
    EXPECT_EQ(lower().Panel_filename->text(), "take.wav");
}

TEST_F(EditorWindow, EnablesFollowTheSelectionTheClipboardAndTheUndoHistory) {
    EXPECT_FALSE(edit->button_cut->isEnabled());
    EXPECT_TRUE(edit->button_opendownfile->isEnabled());
    EXPECT_TRUE(edit->Item("PDUpOpen")->isEnabled());
    EXPECT_FALSE(edit->Item("PDDownClose")->isEnabled());
    open_lower(doc);
    EXPECT_TRUE(edit->button_downclose->isEnabled());
    EXPECT_FALSE(edit->button_copy->isEnabled());
    EXPECT_FALSE(edit->button_cut->isEnabled());
    EXPECT_FALSE(edit->button_undo->isEnabled());
    lower().SetSelection(8000, 16000);
    edit->RefreshState();
    EXPECT_TRUE(edit->button_copy->isEnabled());
    EXPECT_TRUE(edit->button_cut->isEnabled());
    EXPECT_TRUE(edit->Item("PDDownTrim")->isEnabled());
    // The whole file selected: copy yes, cut and trim no.
    edit->SelectAllClick();
    EXPECT_EQ(lower().SelStart(), 0);
    EXPECT_EQ(lower().SelEnd(), kFrames);
    EXPECT_TRUE(edit->button_copy->isEnabled());
    EXPECT_FALSE(edit->button_cut->isEnabled());
    EXPECT_FALSE(edit->button_trim->isEnabled());
    edit->SelectAllClick();  // already the whole file: discarded
    EXPECT_FALSE(lower().HasSelection());
    EXPECT_EQ(edit->StatusSelected->text(), "Sel :0:00.000");

    lower().SetSelection(8000, 16000);
    edit->button_copyClick();
    EXPECT_TRUE(edit->button_paste->isEnabled());
    EXPECT_TRUE(edit->Item("PDDownPaste")->isEnabled());
    edit->button_cutClick();
    EXPECT_EQ(lower().Frames(), kFrames - 8000);
    EXPECT_TRUE(edit->button_undo->isEnabled());
    EXPECT_FALSE(edit->button_redo->isEnabled());
    EXPECT_TRUE(edit->Session().Modified());
}

TEST_F(EditorWindow, EditsByButtonAndKeyGoThroughTheSessionAndUndoRedoByCtrlZCtrlShiftZAndCtrlY) {
    open_lower(doc);
    lower().SetSelection(16000, 32000);
    edit->RefreshState();
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_T, Qt::ControlModifier));  // cut
    EXPECT_EQ(frames_of(edit->Session().Document().FileName()), kFrames - 16000);
    EXPECT_EQ(lower().Frames(), kFrames - 16000);
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_Z, Qt::ControlModifier));
    EXPECT_EQ(lower().Frames(), kFrames);
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_EQ(lower().Frames(), kFrames - 16000);
    edit->PreviewKey(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_Y, Qt::ControlModifier));
    EXPECT_EQ(lower().Frames(), kFrames - 16000);

    // Insert blank at the locator, then trim to a selection.
    lower().SetLocator(0);
    edit->button_oneblankClick();
    EXPECT_EQ(lower().Frames(), kFrames);
    lower().SetSelection(0, 16000);
    edit->RefreshState();
    edit->PreviewKey(Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(lower().Frames(), 16000);
    // Markers: Enter marks the locator; the marker popup's entries follow the mouse.
    lower().SetLocator(4000);
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_Return, {}));
    ASSERT_EQ(edit->Session().DocumentMarkers().Count(), 1);
    EXPECT_EQ(edit->Session().DocumentMarkers()[0].Offset, 4000);
    edit->button_undoClick();
    EXPECT_EQ(edit->Session().DocumentMarkers().Count(), 0);

    // Save as writes what the pane shows.
    const std::string saved = dir.file("saved.wav");
    dialogs.save_answers.push_back(saved);
    edit->button_saveasClick();
    EXPECT_EQ(frames_of(saved), 16000);
}

TEST_F(EditorWindow, ThePopupsEnableWhatEachPaneAndSelectionAllow) {
    open_lower(doc);
    const std::string ref = dir.file("ref.wav");
    write_wav(ref, ramp(kFrames));
    edit->OpenFileIntoPane(1, ref);
    auto enabled = [this] {
        std::vector<std::string> on;
        for (const char* n : {"PUSelectionPopupPlayall", "PUSelectionPopupPlay", "PUSelectionPopupStop",
                              "PUSelectionpopup_marking", "PUSelectionPopupzoom", "PUSelectionpopup_SelectAll",
                              "PUSelectionpopup_copy", "PUSelectionpopup_cut", "PUSelectionpopup_trim",
                              "PUSelectionpopup_Paste"})
            if (edit->Item(n)->isEnabled()) on.push_back(n);
        edit->SelectionPopup->hide();
        return on;
    };
    auto right_click = [this](TEditorPane& pane) {
        QWidget* v = pane.CutterView;
        const QPointF at(v->width() / 2, v->height() / 2);
        QMouseEvent press(QEvent::MouseButtonPress, at, v->mapToGlobal(at), Qt::RightButton, Qt::RightButton, {});
        QApplication::sendEvent(v, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, v->mapToGlobal(at), Qt::RightButton, Qt::NoButton, {});
        QApplication::sendEvent(v, &release);
    };
    right_click(upper());
    EXPECT_EQ(edit->active_pane, 1);
    EXPECT_EQ(enabled(), (std::vector<std::string>{"PUSelectionpopup_SelectAll"}));
    upper().SetSelection(1000, 2000);
    right_click(upper());
    EXPECT_EQ(enabled(), (std::vector<std::string>{"PUSelectionPopupPlay", "PUSelectionPopupzoom",
                                                   "PUSelectionpopup_SelectAll", "PUSelectionpopup_copy"}));
    right_click(lower());
    EXPECT_EQ(edit->active_pane, 2);
    EXPECT_EQ(enabled(), (std::vector<std::string>{"PUSelectionpopup_marking", "PUSelectionpopup_SelectAll"}));
    lower().SetSelection(1000, 2000);
    edit->button_copyClick();
    right_click(lower());
    EXPECT_EQ(enabled().size(), 10u);
}

TEST_F(EditorWindow, PlayAllCarriesTheLocatorAcrossACutAndStopRewinds) {
    open_lower(doc);
    // Cut 1.0 .. 1.5 s out of the play stream.
    edit->Session().DocumentCuts().Add({.start = 16000, .length = 8000});
    lower().SetLocator(12000);
    edit->button_playClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    EXPECT_FALSE(edit->button_play->isEnabled());
    EXPECT_EQ(edit->play_start, 12000);
    // Half a second of stream: 4000 frames before the cut, 4000 after it.
    play_for(8000);
    edit->LocatorTimerTick();
    EXPECT_EQ(edit->locator_pos, 16000 + 8000 + 4000);
    EXPECT_EQ(lower().Locator(), edit->locator_pos);
    // What the device played is the file with the cut left out.
    const std::vector<int16_t> heard = played(8000);
    ASSERT_EQ(heard.size(), 8000u);
    EXPECT_EQ(heard[0], 12001);
    EXPECT_EQ(heard[3999], 16000);
    EXPECT_EQ(heard[4000], 24001);
    // The oscilloscope shows the frames just before the locator.
    const std::vector<int16_t> scope = edit->MMOscope1->Snapshot();
    ASSERT_EQ(scope.size(), size_t(TOscilloscope::kFrames));
    EXPECT_EQ(scope.back(), int16_t(edit->locator_pos % 30000));

    // Backspace starts again where playback began.
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_Backspace, {}));
    EXPECT_EQ(edit->locator_pos, 12000);
    edit->button_stopClick();
    settle();
    EXPECT_FALSE(edit->Playing());
    EXPECT_TRUE(edit->button_play->isEnabled());
    // Idle: stop rewinds to the start after play all.
    edit->button_stopClick();
    EXPECT_EQ(lower().Locator(), 0);
}

TEST_F(EditorWindow, PlaySelectionPlaysTheSelectionFromItsStartAndRepeatLoopsIt) {
    open_lower(doc);
    lower().SetSelection(8000, 12000);
    edit->checkbox_repeat->setChecked(true);
    edit->PlaySelectionClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    EXPECT_EQ(edit->play_start, 8000);
    EXPECT_EQ(edit->play_end, 12000);
    // Past the selection's end: the loop goes on from its start.
    for (int i = 0; i < 6; ++i) {
        backend.advance_output(1000);
        settle();
    }
    edit->LocatorTimerTick();
    EXPECT_GE(edit->locator_pos, 8000);
    EXPECT_LT(edit->locator_pos, 12000);
    const std::vector<int16_t> heard = played(6000);
    ASSERT_EQ(heard.size(), 6000u);
    EXPECT_EQ(heard[0], 8001);
    EXPECT_EQ(heard[3999], 12000);
    EXPECT_EQ(heard[4000], 8001);
    edit->button_stopClick();
    settle();
    edit->button_stopClick();
    EXPECT_EQ(lower().Locator(), 8000);
}

// Speed: the locator, the play range and the loop stay in file time while
// the device plays stretched audio; a speed key changes it mid-play.
TEST_F(EditorWindow, AtAnotherSpeedTheLocatorAndTheLoopStayInFileTimeAndTheSpeedKeysChangeItWhilePlaying) {
    open_lower(doc);
    edit->SetSpeed(50);
    EXPECT_EQ(edit->speed_control->label_speed->text(), "50%");
    edit->button_playClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    play_for(16000);  // one second heard
    edit->LocatorTimerTick();
    EXPECT_NEAR(double(edit->locator_pos), 8000.0, 160.0);
    EXPECT_EQ(lower().Locator(), edit->locator_pos);
    // Ctrl+F9 is faster by a step, heard at once.
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_F9, Qt::ControlModifier));
    EXPECT_EQ(edit->Speed(), 55);
    EXPECT_TRUE(edit->Playing());
    const int64_t before = edit->locator_pos;
    play_for(16000);
    edit->LocatorTimerTick();
    // 8800 frames on, within the stretcher's window and the seam's match;
    // heard only after the queue's 320 ms at half speed, it would be 8544.
    EXPECT_GE(edit->locator_pos - before, 8650);
    EXPECT_LE(edit->locator_pos - before, 8960);
    edit->button_stopClick();
    settle();

    // A loop of a quarter second at double speed, round two and a half times.
    backend.clear_played();
    lower().SetSelection(8000, 12000);
    edit->checkbox_repeat->setChecked(true);
    edit->SetSpeed(200);
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_F9, Qt::ControlModifier));  // no faster than 200 %
    EXPECT_EQ(edit->Speed(), 200);
    edit->PlaySelectionClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    play_for(5000);  // 10000 frames of the file: 4000 + 4000 + 2000
    edit->LocatorTimerTick();
    EXPECT_NEAR(double(edit->locator_pos), 10000.0, 200.0);
    EXPECT_GT(backend.played().size(), 9000u);
    edit->button_stopClick();
    settle();
}

TEST_F(EditorWindow, TheSpeedAndItsKeysComeFromTheSettingsFileAndTheSpeedIsKeptThere) {
    const std::string ini = dir.file("Murrelphonic.ini");
    {
        std::ofstream f(ini);
        f << "[Playback]\nEditSpeed=70\nMainSpeed=125\nKeyFaster=F6\nKeySlower=none\n";
    }
    edit->UseSettingsFile(ini);
    EXPECT_EQ(edit->Speed(), 70);
    EXPECT_EQ(edit->speed_control->label_speed->text(), "70%");
    edit->speed_control->button_faster->click();
    EXPECT_EQ(edit->Speed(), 75);
    EXPECT_TRUE(edit->PreviewKey(Qt::Key_F6, {}));
    EXPECT_EQ(edit->Speed(), 80);
    // The slower key is switched off: Ctrl+F7 does nothing here.
    EXPECT_FALSE(edit->PreviewKey(Qt::Key_F7, Qt::ControlModifier));
    EXPECT_EQ(edit->Speed(), 80);
    for (int i = 0; i < 40; ++i) edit->speed_control->button_faster->click();
    EXPECT_EQ(edit->Speed(), 200);
    EXPECT_FALSE(edit->speed_control->button_faster->isEnabled());
    std::ifstream in(ini);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("EditSpeed=200"), std::string::npos) << text;
    EXPECT_NE(text.find("MainSpeed=125"), std::string::npos) << text;
}

TEST_F(EditorWindow, ClosingWithChangesAsksCancelKeepsEverythingNoCloses) {
    bool closed = false;
    edit->OnClosed = [&] { closed = true; };
    open_lower(doc);
    lower().SetSelection(8000, 16000);
    edit->button_cutClick();
    ASSERT_TRUE(edit->Session().Modified());
    dialogs.message_answers.push_back(DialogResult::Cancel);
    EXPECT_FALSE(edit->close());
    EXPECT_TRUE(edit->isVisible());
    EXPECT_TRUE(edit->document_loaded);
    EXPECT_EQ(lower().Frames(), kFrames - 8000);
    EXPECT_FALSE(closed);
    EXPECT_EQ(dialogs.texts().back(), "msg7");
    EXPECT_EQ(dialogs.messages.back().buttons, MessageButtons::YesNoCancel);
    // Yes with a cancelled save dialog keeps it too.
    dialogs.message_answers.push_back(DialogResult::Yes);
    dialogs.save_answers.push_back(std::nullopt);
    EXPECT_FALSE(edit->close());
    EXPECT_TRUE(edit->document_loaded);

    dialogs.message_answers.push_back(DialogResult::No);
    EXPECT_TRUE(edit->close());
    EXPECT_FALSE(edit->isVisible());
    EXPECT_FALSE(edit->document_loaded);
    EXPECT_TRUE(closed);
    // The original file is untouched.
    EXPECT_EQ(frames_of(doc), kFrames);
}

TEST_F(EditorWindow, TheWheelZoomsAroundThePointerAndShiftWheelScrolls) {
    open_lower(doc);
    TEditorPane& pane = lower();
    QWidget* v = pane.CutterView;
    auto wheel = [v](int x, int delta, Qt::KeyboardModifiers mods) {
        const QPointF at(x, v->height() / 2);
        QWheelEvent e(at, v->mapToGlobal(at), {}, QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(v, &e);
    };
    const int x = v->width() / 4;
    const int64_t under = pane.CutterView->Model().PixelToValue(x);
    wheel(x, 240, {});
    const int64_t width = pane.ZoomEnd() - pane.ZoomStart();
    EXPECT_NEAR(double(width), kFrames * 0.64, kFrames * 0.01);
    EXPECT_NEAR(double(pane.CutterView->Model().PixelToValue(x)), double(under), double(width) / 100);
    EXPECT_EQ(pane.ScrollPanel->SliderMin(), pane.ZoomStart());
    const int64_t start = pane.ZoomStart();
    wheel(x, -120, Qt::ShiftModifier);
    EXPECT_EQ(pane.ZoomEnd() - pane.ZoomStart(), width);
    EXPECT_GT(pane.ZoomStart(), start);
    wheel(x, -1200, {});
    EXPECT_EQ(pane.ZoomStart(), 0);
    EXPECT_EQ(pane.ZoomEnd(), kFrames);
}

TEST_F(EditorWindow, TheGaugeShowsDuringARenderAndItsCancelLeavesTheDocumentAsItWas) {
    const std::string longer = dir.file("long.wav");
    write_wav(longer, ramp(120 * 16000));
    open_lower(longer);
    ASSERT_TRUE(edit->document_loaded);
    lower().SetSelection(16000, 60 * 16000);
    edit->RefreshState();
    bool shown = false;
    QTimer poll;
    // Pressed while the cut runs, as soon as the gauge is up.
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (edit->GaugePanel->isVisible() && !shown) {
            shown = true;
            // No key acts while the gauge is up.
            EXPECT_TRUE(edit->PreviewKey(Qt::Key_Space, {}));
            EXPECT_FALSE(edit->Playing());
            edit->button_Cancel->click();
        }
    });
    poll.start(0);
    edit->button_cutClick();
    poll.stop();
    EXPECT_TRUE(shown) << "no gauge during the cut";
    EXPECT_FALSE(edit->GaugePanel->isVisible());
    EXPECT_EQ(lower().Frames(), 120 * 16000);
    EXPECT_EQ(frames_of(edit->Session().Document().FileName()), 120 * 16000);
    EXPECT_FALSE(edit->Session().Modified());
    EXPECT_FALSE(edit->button_undo->isEnabled());
}

TEST_F(EditorWindow, ALocatorDraggedAlongTheMarkerStripWhilePlayingPausesAndPlaysOnWhereItIsLetGo) {
    open_lower(doc);
    edit->button_playClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    TMMMarkerPanel* strip = lower().LocatorPanel;
    auto mouse = [strip](QEvent::Type type, int x) {
        const QPointF at(x, strip->height() / 2);
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, at, strip->mapToGlobal(at), Qt::LeftButton, held, {});
        QApplication::sendEvent(strip, &e);
    };
    const int x = strip->width() / 2;
    mouse(QEvent::MouseButtonPress, x / 2);
    mouse(QEvent::MouseMove, x);
    EXPECT_TRUE(edit->WaveOut().IsDevicePaused());
    mouse(QEvent::MouseButtonRelease, x);
    settle();
    EXPECT_FALSE(edit->WaveOut().IsDevicePaused());
    const int64_t at = lower().Locator();
    EXPECT_NEAR(double(at), kFrames / 2.0, kFrames / 50.0);
    backend.advance_output(1600);
    settle();
    edit->LocatorTimerTick();
    EXPECT_EQ(edit->locator_pos, at + 1600);
    EXPECT_EQ(played(1).size(), 1u);
    edit->button_stopClick();
    settle();
}

// Catches the paints of one widget.
class PaintClock : public QObject {
public:
    explicit PaintClock(QWidget* w) { w->installEventFilter(this); }
    std::chrono::steady_clock::time_point last{};
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            last = std::chrono::steady_clock::now();
            ++paints;
        }
        return false;
    }
};

TEST_F(EditorWindow, AnHourLongFileWithItsDisplayDataOpensInUnderHalfASecondAndEachTickIsPaintedAtOnce) {
    const std::string hour = dir.file("hour.wav");
    {
        TMMWave w;
        w.FileMustExist = false;
        w.CreateFile(hour, MakePCMFormat(16, 1, 16000));
        const std::vector<int16_t> minute = ramp(60 * 16000);
        for (int m = 0; m < 60; ++m) ASSERT_EQ(w.WriteData(minute.data(), int64_t(minute.size() * 2)), int64_t(minute.size() * 2));
        w.CloseFile();
    }
    open_lower(hour);  // builds the display data
    ASSERT_TRUE(edit->document_loaded);
    ASSERT_TRUE(edit->ClosePane(2));
    const auto t0 = std::chrono::steady_clock::now();
    open_lower(hour);
    QApplication::processEvents();
    const double open_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_TRUE(edit->document_loaded);
    EXPECT_LT(open_ms, 500.0);
    std::printf("opening an hour with its display data: %.1f ms\n", open_ms);

    // Ticks during playback: each moves the locator and is painted in the
    // next pass of the event loop.
    lower().ShowZoom(0, 10 * 16000);
    edit->button_playClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    PaintClock clock(lower().CutterView);
    std::vector<double> delays;
    for (int i = 0; i < 60; ++i) {
        backend.advance_output(480);
        ui.pump();
        const int before = clock.paints;
        const auto tick = std::chrono::steady_clock::now();
        edit->LocatorTimerTick();
        for (int k = 0; k < 50 && clock.paints == before; ++k) QApplication::processEvents();
        ASSERT_GT(clock.paints, before) << "tick " << i << " was not painted";
        delays.push_back(std::chrono::duration<double, std::milli>(clock.last - tick).count());
    }
    std::sort(delays.begin(), delays.end());
    std::printf("tick to paint: median %.2f ms, worst %.2f ms\n", delays[delays.size() / 2], delays.back());
    EXPECT_LT(delays[delays.size() / 2], 10.0);
    edit->button_stopClick();
    settle();
}

// Speech-like bursts for the screenshots.
std::vector<int16_t> speech(size_t frames, double seed) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 16000;
        const double envelope = std::max(0.0, std::sin(t * 2.1 + seed)) * (0.5 + 0.5 * std::sin(t * 7.3 + seed));
        s[i] = int16_t(24000 * envelope * std::sin(2 * M_PI * (180 + 40 * std::sin(t * 3)) * t));
    }
    return s;
}

fs::path screenshots() {
    const fs::path p = fs::path(MURREL_BIN_DIR) / ".." / "screenshots";
    fs::create_directories(p);
    return p;
}

TEST_F(EditorWindow, ScreenshotsWithTwoDocumentsASelectionMarkersAndDuringPlayback) {
    const std::string a = dir.file("interview.wav"), b = dir.file("dictation 12.wav");
    write_wav(a, speech(20 * 16000, 0.3));
    write_wav(b, speech(30 * 16000, 1.7));
    edit->resize(1280, 800);
    edit->OpenFileIntoPane(1, a);
    open_lower(b);
    ASSERT_TRUE(edit->reference_loaded && edit->document_loaded);
    for (int64_t at : {3 * 16000, 9 * 16000, 17 * 16000}) edit->AddMarkerAt(at);
    lower().SetSelection(5 * 16000, 8 * 16000);
    lower().ShowZoom(2 * 16000, 14 * 16000);
    upper().SetSelection(2 * 16000, 4 * 16000);
    edit->RefreshState();
    QApplication::processEvents();
    auto shoot = [this](const std::string& name) {
        QApplication::processEvents();
        const QImage img = edit->grab().toImage();
        EXPECT_TRUE(img.save(QString::fromStdString((screenshots() / name).string())));
        return img;
    };
    const QImage idle = shoot("editor_window_two_documents.png");
    lower().SetLocator(6 * 16000);
    edit->PlaySelectionClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    play_for(16000);
    edit->LocatorTimerTick();
    EXPECT_EQ(lower().Locator(), 6 * 16000);
    const QImage playing = shoot("editor_window_playing.png");
    EXPECT_NE(idle, playing);
    edit->button_stopClick();
    settle();
}

}  // namespace
}  // namespace murrel
