// The Voice Editor's layout and its envelope view, through the window as a
// person meets it: the two pane panels' heights for each window height, the
// splitter bars and the views' minimums, maximising, the envelope view with
// its gain points edited by mouse and pop-up, undone and heard, the volume
// bar, a catalogue in a non-Latin character set, and what a screen reader
// reads off the wave views.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QSplitterHandle>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "shell/catalogue.h"
#include "shell/tests/editor_fixture.h"
#include "ui/accessible.h"
#include "ui/bitmap_button.h"

namespace murrel {
namespace {
namespace fs = std::filesystem;

using namespace editortest;

// A steady tone: every stretch of it has the same loudness.
std::vector<int16_t> tone(size_t frames, double amplitude = 12000) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) s[i] = int16_t(amplitude * std::sin(2 * M_PI * 440.0 * double(i) / 16000));
    return s;
}

double rms(const int16_t* s, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / double(n)) : 0;
}

// A press, moves in steps and a release of the left button, as a hand makes
// them (the global positions are what a splitter bar follows).
void drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
    auto send = [w, button](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, from, button);
    for (int i = 1; i <= 4; ++i) send(QEvent::MouseMove, from + (to - from) * i / 4, button);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    QApplication::processEvents();
}

void click(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton) { drag(w, at, at, button); }

class EditorLayout : public EditorFixture {
protected:
    void SetUp() override {
        ui::install_accessibility();
        EditorFixture::SetUp();
        show();
        write_wav(doc, tone(kFrames));
    }
    void resize(int w, int h) {
        edit->resize(w, h);
        QApplication::processEvents();
    }
    // The point of the envelope view for `frame` at `gain`.
    QPoint envelope_point(int64_t frame, int32_t gain) {
        TMMCustomMarkerPanel& m = lower().VolumeView->Model();
        return {int(m.ValueToPixel(frame)), int(m.ValueToPixelY(gain))};
    }
};

TEST_F(EditorLayout, ThePanePanelsShareWhatTheTransportBarTheStatusBarAnd137PixelsLeaveEqually) {
    const QSize screen = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(edit->minimumSize(), QSize(610, 550));
    EXPECT_EQ(edit->maximumSize(), screen);
    edit->OpenFileIntoPane(2, doc);
    ASSERT_TRUE(edit->document_loaded);
    // Heights the offscreen screen allows, odd and even; each by hand:
    // (h - 51 - 22 - 137) / 2.
    const struct {
        int height, panel;
    } cases[] = {{600, 195}, {599, 194}, {550, 170}, {577, 183}};
    for (const auto& c : cases) {
        if (c.height > screen.height()) continue;
        resize(700, c.height);
        ASSERT_EQ(edit->height(), c.height);
        EXPECT_EQ(edit->PanePanelHeight(c.height), c.panel);
        EXPECT_EQ(upper().CutterPanel->height(), c.panel) << c.height;
        EXPECT_EQ(lower().CutterPanel->height(), c.panel) << c.height;
        // Nothing overlaps, and the panes end where the transport bar begins
        // (the odd pixel of an odd height left over).
        const int upper_bottom = upper().CutterPanel->mapTo(edit.get(), QPoint(0, c.panel)).y();
        const int lower_top = lower().Titlepanel->mapTo(edit.get(), QPoint(0, 0)).y();
        const int lower_bottom = lower().CutterPanel->mapTo(edit.get(), QPoint(0, c.panel)).y();
        EXPECT_EQ(lower_top - upper_bottom, Tform_edit::kPaneGap);
        EXPECT_EQ(edit->speedbar->y() - lower_bottom, Tform_edit::kPaneMargin + (c.height - 210) % 2) << c.height;
        EXPECT_EQ(edit->StatusBar->geometry().bottom(), c.height - 1);
        // The gauge, when it runs, covers the status bar and moves nothing.
        EXPECT_EQ(edit->GaugePanel->geometry(), edit->StatusBar->rect());
        // Both panes' views fit their panels and keep their minimums.
        for (TEditorPane* p : {&upper(), &lower()}) {
            EXPECT_GE(p->FullView->height() + TEditorPane::kRulerHeight, TEditorPane::kOverviewMin);
            EXPECT_GE(p->CutterView->height(), TEditorPane::kZoomedViewMin);
            EXPECT_LE(p->ScrollPanel->mapTo(p->CutterPanel, QPoint(0, p->ScrollPanel->height())).y(),
                      c.panel - TEditorPane::kFrameWidth);
        }
    }
}

TEST(EditorPaneHeights, EachPartKeepsItsMinimumTakenFromTheOthersOrAllShareWhenEvenTheyDoNotFit) {
    // Minimums: overview 50, zoomed part 18 + 16 + 50 = 84, envelope 20.
    const struct {
        const char* name;
        int space;
        TPaneViewHeights wanted;
        bool envelope;
        TPaneViewHeights fitted;
    } cases[] = {
        {"room for all: the zoomed part takes the rest", 300, {70, 200, 0}, false, {70, 230, 0}},
        {"an overview dragged too small comes back to 50", 300, {30, 270, 0}, false, {50, 250, 0}},
        {"an envelope dragged too small comes back to 20", 300, {70, 150, 10}, true, {70, 210, 20}},
        {"a hidden envelope takes nothing", 300, {70, 150, 80}, false, {70, 230, 0}},
        {"the zoomed part takes back from the overview", 146, {100, 40, 0}, false, {62, 84, 0}},
        {"and from the envelope first", 200, {80, 50, 60}, true, {80, 84, 36}},
        {"then from the overview", 160, {80, 50, 60}, true, {56, 84, 20}},
        {"less than the minimums: shares of 50:84:20", 150, {50, 84, 60}, true, {48, 83, 19}},
        {"no room at all", 0, {70, 100, 0}, false, {0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TEditorPane::FitViewHeights(c.space, c.wanted, c.envelope), c.fitted) << c.name;
}

TEST_F(EditorLayout, SplitterBarsStopAtTheMinimumsAndLettingGoKeepsThePanelHeights) {
    resize(760, 600);
    edit->OpenFileIntoPane(2, doc);
    const int panel = lower().CutterPanel->height();
    ASSERT_EQ(panel, (600 - 210) / 2);
    // The envelope view and its bar are hidden until asked for.
    EXPECT_TRUE(lower().VolumeView->isHidden());
    EXPECT_TRUE(lower().VolumeViewSplitter->isHidden());
    EXPECT_FALSE(lower().FullViewSplitter->isHidden());
    EXPECT_EQ(lower().FullViewSplitter->objectName(), "FullViewSplitter");
    EXPECT_EQ(upper().VolumeViewSplitter->objectName(), "VolumeViewSplitter_up");

    QSplitterHandle* bar = lower().FullViewSplitter;
    const QPoint mid(bar->width() / 2, bar->height() / 2);
    drag(bar, mid, mid + QPoint(0, 1000));  // the overview as tall as it goes
    QApplication::processEvents();
    EXPECT_EQ(lower().CutterView->height(), TEditorPane::kZoomedViewMin);
    drag(bar, mid, mid - QPoint(0, 1000));  // and as short
    QApplication::processEvents();
    EXPECT_EQ(lower().FullView->height() + TEditorPane::kRulerHeight, TEditorPane::kOverviewMin);
    EXPECT_EQ(lower().CutterPanel->height(), panel);

    edit->ShowEnvelopeClick(2, true);
    QApplication::processEvents();
    ASSERT_TRUE(lower().VolumeView->isVisible());
    EXPECT_TRUE(lower().VolumeViewSplitter->isVisible());
    QSplitterHandle* envelope_bar = lower().VolumeViewSplitter;
    const QPoint emid(envelope_bar->width() / 2, envelope_bar->height() / 2);
    drag(envelope_bar, emid, emid + QPoint(0, 1000));
    QApplication::processEvents();
    EXPECT_EQ(lower().VolumeView->height(), TEditorPane::kEnvelopeMin);
    drag(envelope_bar, emid, emid - QPoint(0, 1000));
    QApplication::processEvents();
    EXPECT_EQ(lower().CutterView->height(), TEditorPane::kZoomedViewMin);
    // The three parts and two bars fill the splitter exactly.
    const TPaneViewHeights h = lower().ViewHeights();
    EXPECT_EQ(h.overview + h.zoom + h.envelope + 2 * TEditorPane::kHandleWidth, lower().ViewSplitter->height());
    EXPECT_EQ(lower().CutterPanel->height(), panel);
    // Hidden again, the zoomed view gets the envelope's room back.
    const int zoomed = lower().CutterView->height();
    edit->ShowEnvelopeClick(2, false);
    QApplication::processEvents();
    EXPECT_EQ(lower().CutterView->height(), zoomed + h.envelope + TEditorPane::kHandleWidth);
    EXPECT_FALSE(edit->Item("PDDownEnvelope")->isChecked());
}

TEST_F(EditorLayout, MaximiseFillsTheWorkAreaAndRestoreAndShowingAgainKeepWhatWasChosen) {
    resize(700, 560);
    const QRect normal = edit->geometry();
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    edit->button_maximize->click();
    QApplication::processEvents();
    EXPECT_TRUE(edit->Maximised());
    EXPECT_EQ(edit->geometry(), work);
    EXPECT_EQ(lower().CutterPanel->height(), (work.height() - 210) / 2);
    // Shown again from the main window, a maximised editor fills the work area.
    edit->hide();
    edit->resize(650, 555);
    edit->show();
    QApplication::processEvents();
    EXPECT_EQ(edit->geometry(), work);
    edit->button_maximize->click();
    QApplication::processEvents();
    EXPECT_FALSE(edit->Maximised());
    EXPECT_EQ(edit->geometry(), normal);
    EXPECT_EQ(lower().CutterPanel->height(), (560 - 210) / 2);
}

TEST_F(EditorLayout, GainPointsAddedDraggedAndDeletedByMouseAreEachOneUndoStepAndArePlayed) {
    edit->OpenFileIntoPane(2, doc);
    ASSERT_TRUE(edit->document_loaded);
    // Ctrl+E shows and hides the active pane's envelope view, the View
    // menu's item too.
    QApplication::setActiveWindow(edit.get());
    QApplication::processEvents();
    ASSERT_TRUE(edit->isActiveWindow());
    auto ctrl_e = [this] {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_E, Qt::ControlModifier);
        QApplication::sendEvent(lower().CutterView, &e);
        QApplication::processEvents();
    };
    ctrl_e();
    EXPECT_TRUE(lower().VolumeView->isVisible());
    EXPECT_TRUE(upper().VolumeView->isHidden());
    ctrl_e();
    EXPECT_TRUE(lower().VolumeView->isHidden());
    edit->Item("PDDownEnvelope")->trigger();
    QApplication::processEvents();
    ASSERT_TRUE(lower().VolumeView->isVisible());
    EXPECT_TRUE(edit->Item("PDDownEnvelope")->isChecked());
    TMMEnvelope& envelope = edit->Session().Envelope();
    ASSERT_EQ(envelope.Count(), 2);
    EXPECT_FALSE(edit->Session().Modified());

    // A press in the middle at about a quarter of unity adds a point there;
    // dragging it moves it; the whole is one undo step.
    QWidget* view = lower().VolumeView;
    drag(view, envelope_point(kFrames / 2, 4096), envelope_point(kFrames * 3 / 5, 4096));
    ASSERT_EQ(envelope.Count(), 3);
    EXPECT_NEAR(double(envelope.Points()[1].x), kFrames * 3 / 5, double(kFrames) / view->width() * 2);
    EXPECT_NEAR(envelope.Points()[1].y, 4096, 32768.0 / view->height() * 2);
    EXPECT_EQ(edit->Session().UndoCount(), 1u);
    EXPECT_TRUE(edit->Session().Modified());
    // The document's fades carry the points, so that saving renders them.
    EXPECT_EQ(edit->Session().Document().SourceFades().Count(), 3);
    // Grabbing the point and letting it go where it was is no edit.
    click(view, envelope_point(envelope.Points()[1].x, envelope.Points()[1].y));
    EXPECT_EQ(edit->Session().UndoCount(), 1u);
    // A press on the end point does not add one.
    click(view, envelope_point(0, 30000));
    EXPECT_EQ(envelope.Count(), 3);

    // Played from the start, the middle is quieter than the start.
    lower().SetLocator(0);
    edit->button_playClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    play_for(kFrames);
    const std::vector<int16_t> heard = played(size_t(kFrames));
    ASSERT_GE(heard.size(), size_t(kFrames * 3 / 4));
    const double start = rms(heard.data(), 1600), dip = rms(heard.data() + kFrames * 3 / 5 - 800, 1600);
    EXPECT_GT(start, 8000);
    EXPECT_LT(dip, start * 0.35) << "the gain point is not heard";
    edit->button_stopClick();
    settle();

    // The right button opens the pop-up: on the point, delete it; elsewhere, a new one.
    const QPoint on_point = envelope_point(envelope.Points()[1].x, envelope.Points()[1].y);
    click(view, on_point, Qt::RightButton);
    ASSERT_TRUE(edit->VolumePopup->isVisible());
    EXPECT_TRUE(edit->Item("PUvolumepopupdelete")->isEnabled());
    EXPECT_FALSE(edit->Item("PUvolumepopupnew")->isEnabled());
    edit->VolumePopup->hide();
    edit->Item("PUvolumepopupdelete")->trigger();
    EXPECT_EQ(envelope.Count(), 2);
    EXPECT_EQ(edit->Session().UndoCount(), 2u);
    click(view, envelope_point(kFrames / 4, 24576), Qt::RightButton);
    EXPECT_TRUE(edit->Item("PUvolumepopupnew")->isEnabled());
    EXPECT_FALSE(edit->Item("PUvolumepopupdelete")->isEnabled());
    edit->VolumePopup->hide();
    edit->Item("PUvolumepopupnew")->trigger();
    ASSERT_EQ(envelope.Count(), 3);
    EXPECT_NEAR(envelope.Points()[1].y, 24576, 32768.0 / view->height() * 2);
    EXPECT_EQ(edit->Session().UndoCount(), 3u);

    // Undo steps back through the pop-up's and the mouse's edits.
    edit->button_undoClick();
    EXPECT_EQ(envelope.Count(), 2);
    edit->button_undoClick();
    ASSERT_EQ(envelope.Count(), 3);
    EXPECT_NEAR(double(envelope.Points()[1].x), kFrames * 3 / 5, double(kFrames) / view->width() * 2);
    edit->button_undoClick();
    EXPECT_EQ(envelope.Count(), 2);
    EXPECT_FALSE(edit->Session().Modified());
}

TEST_F(EditorLayout, TheReferencePlaysWithItsOwnEnvelopeAndANewFileStartsFlat) {
    const std::string ref = dir.file("reference.wav");
    write_wav(ref, tone(kFrames));
    edit->OpenFileIntoPane(1, ref);
    ASSERT_TRUE(edit->reference_loaded);
    edit->ShowEnvelopeClick(1, true);
    QApplication::processEvents();
    TMMEnvelope& envelope = edit->ReferenceEnvelope();
    ASSERT_EQ(envelope.Count(), 2);
    EXPECT_EQ(envelope.RangeMaxX(), kFrames);
    // Half gain over the whole file.
    envelope.SetPoints({{0, 8192, false}, {kFrames, 8192, false}});
    EXPECT_EQ(edit->PlayEnvelope(), &envelope);
    edit->button_playClick();
    settle();
    ASSERT_TRUE(edit->Playing());
    play_for(8000);
    const std::vector<int16_t> heard = played(8000);
    ASSERT_EQ(heard.size(), 8000u);
    const std::vector<int16_t> original = tone(8000);
    for (size_t i = 0; i < heard.size(); i += 397) EXPECT_EQ(heard[i], original[i] >> 1) << i;
    edit->button_stopClick();
    settle();
    // The reference's edits make no undo records of the document.
    EXPECT_EQ(edit->Session().UndoCount(), 0u);
    // Another file in the pane comes with a flat envelope.
    const std::string other = dir.file("other.wav");
    write_wav(other, tone(kFrames / 2));
    edit->OpenFileIntoPane(1, other);
    ASSERT_TRUE(edit->reference_loaded);
    ASSERT_EQ(envelope.Count(), 2);
    EXPECT_EQ(envelope.RangeMaxX(), kFrames / 2);
    EXPECT_EQ(envelope.Points()[0].y, 16384);
    EXPECT_EQ(envelope.Points()[1].y, 16384);
}

TEST_F(EditorLayout, TheVolumeBarClickedAtXSetsTheSliderAndTheBarAndHidesWhileTheSliderIsDragged) {
    std::vector<uint32_t> volumes;
    edit->SetMainVolume = [&](uint32_t v) { volumes.push_back(v); };
    const int w = edit->trackbar_wavvolume->width();
    ASSERT_EQ(w, 160);
    // Trunc(x / 160 x 100 x 655.36) and the bar Trunc(position / 65536 x 140).
    const struct {
        int x, position, bar;
    } cases[] = {{40, 16384, 35}, {100, 40960, 87}, {159, 65126, 139}, {7, 2867, 6}};
    for (const auto& c : cases) {
        // The bar is only as wide as the volume: start from full volume.
        edit->trackbar_wavvolume->setValue(65536);
        click(edit->panel_volumemeter, QPoint(c.x, 1));
        EXPECT_EQ(edit->trackbar_wavvolume->value(), c.position) << c.x;
        EXPECT_EQ(edit->panel_volumemeter->width(), c.bar) << c.x;
        ASSERT_FALSE(volumes.empty());
        EXPECT_EQ(volumes.back(), uint32_t(c.position) | (uint32_t(c.position) << 16)) << c.x;
    }
    edit->trackbar_wavvolume->setSliderDown(true);
    EXPECT_TRUE(edit->panel_volumemeter->isHidden());
    edit->trackbar_wavvolume->setValue(32768);
    edit->trackbar_wavvolume->setSliderDown(false);
    EXPECT_FALSE(edit->panel_volumemeter->isHidden());
    EXPECT_EQ(edit->panel_volumemeter->width(), 70);
}

TEST_F(EditorLayout, ACyrillicCatalogueShowsItsCaptionsInThePanelsMenusAndPopups) {
    // Windows-1251 bytes: "Файл", "Вид", "Новая точка", "Правка".
    std::ofstream ini(app().ini_path, std::ios::binary);
    ini << "[Character]\nCharset=204\n[Messages]\n"
        << "FE_PDDownFile=\xD4\xE0\xE9\xEB\n"
        << "FE_PDDownView=\xC2\xE8\xE4\n"
        << "FE_PUvolumepopupnew=\xCD\xEE\xE2\xE0\xFF \xF2\xEE\xF7\xEA\xE0\n"
        << "FE_Panel_filekinddown=\xCF\xF0\xE0\xE2\xEA\xE0\n";
    ini.close();
    app().charset = 204;
    edit->FormCreate(getmessage_frominifile(CatalogueWindow::Editor));
    const QString file = QString::fromUtf8("Файл"), view = QString::fromUtf8("Вид"),
                  point = QString::fromUtf8("Новая точка"), kind = QString::fromUtf8("Правка");
    auto action = [this](const char* name) { return edit->findChild<QAction*>(name); };
    ASSERT_TRUE(action("PDDownFile"));
    EXPECT_EQ(action("PDDownFile")->text(), file);
    EXPECT_EQ(action("PDDownView")->text(), view);
    EXPECT_EQ(edit->Item("PUvolumepopupnew")->text(), point);
    EXPECT_EQ(lower().Panel_filekind->text(), "  " + kind);
    // Every control that shows these texts, the menus that drop down as
    // windows of their own included, has the character set and a font that
    // writes each letter.
    QMenu* file_menu = action("PDDownFile")->menu();
    ASSERT_TRUE(file_menu);
    const struct {
        QWidget* control;
        QString text;
        bool listed;  // among the controls the character set is set on
    } shown[] = {{lower().MenuBar, file, true},       {edit->MainMenu_down, file, true},
                 {file_menu, point, true},            {edit->VolumePopup, point, false},
                 {lower().Panel_filekind, kind, true}, {edit->StatusFile, kind, true}};
    for (const auto& s : shown) {
        const std::string name = s.control->objectName().toStdString();
        if (s.listed) {
            EXPECT_EQ(s.control->property("charset").toInt(), 204) << name;
        }
        const QFontMetrics fm(s.control->font());
        for (const QChar ch : s.text) EXPECT_TRUE(fm.inFont(ch)) << name;
    }
    EXPECT_EQ(edit->MainMenu_up->property("charset").toInt(), 204);
    EXPECT_EQ(edit->Gauge->property("charset").toInt(), 204);
    EXPECT_EQ(edit->button_Cancel->property("charset").toInt(), 204);
    // Controls the catalogue does not list keep their design font.
    EXPECT_FALSE(edit->StatusTime->property("charset").isValid());
}

TEST_F(EditorLayout, AScreenReaderFindsTheWaveViewsByNameAndReadsTheLocatorSelectionAndRange) {
    edit->OpenFileIntoPane(2, doc);
    ASSERT_TRUE(edit->document_loaded);
    auto iface = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w); };
    const struct {
        QWidget* view;
        const char* name;
        QAccessible::Role role;
    } views[] = {
        {lower().FullView, "Overview of the file to be edited", QAccessible::Chart},
        {lower().CutterView, "Zoomed view of the file to be edited", QAccessible::Chart},
        {lower().FullViewTimePanel, "Time ruler of the overview of the file to be edited", QAccessible::StaticText},
        {lower().CutterViewTimePanel, "Time ruler of the zoomed view of the file to be edited",
         QAccessible::StaticText},
        {lower().LocatorPanel, "Markers of the file to be edited", QAccessible::StaticText},
        {lower().VolumeView, "Gain envelope of the file to be edited", QAccessible::Chart},
        {upper().FullView, "Overview of the file to be referenced", QAccessible::Chart},
        {upper().CutterView, "Zoomed view of the file to be referenced", QAccessible::Chart},
    };
    for (const auto& v : views) {
        QAccessibleInterface* i = iface(v.view);
        ASSERT_TRUE(i) << v.name;
        EXPECT_EQ(i->text(QAccessible::Name), v.name);
        EXPECT_EQ(i->role(), v.role) << v.name;
        EXPECT_FALSE(i->text(QAccessible::Value).isEmpty()) << v.name;
    }
    EXPECT_EQ(iface(upper().FullView)->text(QAccessible::Value), "No file");
    EXPECT_EQ(iface(lower().FullView)->text(QAccessible::Value), "Locator 0:00.000, no selection");
    lower().SetLocator(8000);
    lower().SetSelection(16000, 32000);
    lower().ShowZoom(8000, 40000);
    EXPECT_EQ(iface(lower().FullView)->text(QAccessible::Value),
              "Locator 0:00.500, selection 0:01.000 to 0:02.000");
    EXPECT_EQ(iface(lower().CutterView)->text(QAccessible::Value),
              "Locator 0:00.500, selection 0:01.000 to 0:02.000, showing 0:00.500 to 0:02.500");
    EXPECT_EQ(iface(lower().FullViewTimePanel)->text(QAccessible::Value), "0:00.000 to 0:03.000");
    EXPECT_EQ(iface(lower().CutterViewTimePanel)->text(QAccessible::Value), "0:00.500 to 0:02.500");
    edit->AddMarkerAt(4000);
    EXPECT_EQ(iface(lower().LocatorPanel)->text(QAccessible::Value), "Locator 0:00.500, 1 marker");
    edit->Session().Envelope().SetPoints({{0, 8192, false}, {kFrames, 8192, false}});
    EXPECT_EQ(iface(lower().VolumeView)->text(QAccessible::Value), "2 gain points, 50 % at the locator");
}

TEST_F(EditorLayout, ScreenshotOfTheEditorWithTheEnvelopeViewAndGainPoints) {
    resize(800, 600);
    const std::string ref = dir.file("interview.wav"), take = dir.file("dictation 7.wav");
    std::vector<int16_t> speechlike(12 * 16000);
    for (size_t i = 0; i < speechlike.size(); ++i) {
        const double t = double(i) / 16000;
        speechlike[i] = int16_t(20000 * std::max(0.0, std::sin(t * 2.3)) * std::sin(2 * M_PI * 190 * t));
    }
    write_wav(ref, speechlike);
    write_wav(take, speechlike);
    edit->OpenFileIntoPane(1, ref);
    edit->OpenFileIntoPane(2, take);
    ASSERT_TRUE(edit->document_loaded && edit->reference_loaded);
    edit->ShowEnvelopeClick(2, true);
    edit->ShowEnvelopeClick(1, true);
    QApplication::processEvents();
    QWidget* view = lower().VolumeView;
    drag(view, envelope_point(3 * 16000, 16384), envelope_point(3 * 16000, 6000));
    drag(view, envelope_point(6 * 16000, 16384), envelope_point(6 * 16000, 26000));
    click(view, envelope_point(9 * 16000, 12000));
    ASSERT_EQ(edit->Session().Envelope().Count(), 5);
    lower().SetSelection(4 * 16000, 5 * 16000);
    edit->RefreshState();
    QApplication::processEvents();
    const fs::path shots = fs::path(MURREL_BIN_DIR) / ".." / "screenshots";
    fs::create_directories(shots);
    const QImage img = edit->grab().toImage();
    ASSERT_EQ(img.size(), QSize(800, 600));
    EXPECT_TRUE(img.save(QString::fromStdString((shots / "editor_envelope_view.png").string())));
    // The envelope view is painted with its line, not left blank.
    const QImage env = view->grab().toImage();
    int lit = 0;
    for (int x = 0; x < env.width(); ++x)
        for (int y = 0; y < env.height(); ++y) lit += qGray(env.pixel(x, y)) > 150;
    EXPECT_GT(lit, env.width() / 2);
}

}  // namespace
}  // namespace murrel
