// The wave views as widgets on a test document (cuts, markers, selection, a
// zoomed view beyond the finest level), with screenshots at 1x and 2x in
// build/screenshots/ for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>

#include "audio/formats/mmwave.h"
#include "editor/gui/mmenvelopeview.h"
#include "editor/gui/mmviewpanels.h"
#include "editor/gui/mmwaveeditor.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kRate = 16000;

// 20 s of stereo: bursts of tone on the first channel, a slower swell of a
// lower tone on the second.
std::vector<int16_t> document_samples(int64_t frames) {
    std::vector<int16_t> s;
    s.reserve(size_t(frames * 2));
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const double burst = std::fmod(t, 2.5) < 1.2 ? 0.8 : 0.05;
        const double swell = 0.5 + 0.45 * std::sin(t * 0.6);
        s.push_back(int16_t(30000 * burst * std::sin(2 * M_PI * 220 * t)));
        s.push_back(int16_t(30000 * swell * std::sin(2 * M_PI * 90 * t)));
    }
    return s;
}

void write_wav(const std::string& path, const std::vector<int16_t>& s, int channels) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(16, channels, kRate));
    ASSERT_EQ(w.WriteData(s.data(), int64_t(s.size() * 2)), int64_t(s.size() * 2));
    w.CloseFile();
}

void send_mouse(QWidget& w, QEvent::Type type, int x, Qt::MouseButton button, int y = -1) {
    const QPointF at(x, y < 0 ? w.height() / 2 : y);
    QMouseEvent e(type, at, w.mapToGlobal(at), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                  Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

class Views : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
        path = dir.file("take.wav");
        samples = document_samples(20 * kRate);
        write_wav(path, samples, 2);
        wave.SetFileName(path);
        wave.SetTimeFormat(TMMTimeFormats::tfSample);
    }
    testsupport::ScratchDir dir;
    std::string path;
    std::vector<int16_t> samples;
    TMMEnhancedWave wave;
};

fs::path screenshots() {
    const fs::path p = fs::path(MURREL_BIN_DIR) / ".." / "screenshots";
    fs::create_directories(p);
    return p;
}

// A pane of views stacked as the editor stacks them.
QVBoxLayout* pane_layout(QWidget& pane, int width, int height) {
    pane.resize(width, height);
    auto* layout = new QVBoxLayout(&pane);
    layout->setSpacing(1);
    layout->setContentsMargins(2, 2, 2, 2);
    return layout;
}

void shoot(QWidget& w, const std::string& name) {
    for (int ratio : {1, 2}) {
        QImage img(w.size() * ratio, QImage::Format_ARGB32);
        img.setDevicePixelRatio(ratio);
        img.fill(Qt::black);
        w.render(&img);
        EXPECT_TRUE(img.save(QString::fromStdString(
            (screenshots() / (name + "_" + std::to_string(ratio) + "x.png")).string())));
    }
}

}  // namespace

TEST_F(Views, LoadingBuildsTheDisplayDataOnceAndASecondViewReusesIt) {
    TMMWaveEditor full, cutter;
    full.MinimumSamples = cutter.MinimumSamples = 0;
    full.resize(800, 120);
    cutter.resize(800, 120);
    std::vector<int> percents;
    full.OnGenerate = [&](TMMWaveEditor&, int p, bool&) { percents.push_back(p); };
    cutter.OnGenerate = full.OnGenerate;
    full.SetWave(&wave);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    percents.clear();
    cutter.SetWave(&wave);
    EXPECT_TRUE(percents.empty());
    EXPECT_EQ(full.Model().RangeMaxX(), 20 * int64_t(kRate));
    EXPECT_EQ(full.Model().MarkerB(), 20 * int64_t(kRate));
    EXPECT_EQ(full.PixelBuffer().size(), 4u * 800);
}

TEST_F(Views, AWaveShorterThanTheMinimumOrACancelledBuildIsRefused) {
    TMMWaveEditor view;
    view.resize(400, 100);
    view.MinimumSamples = 20 * kRate + 1;
    try {
        view.SetWave(&wave);
        FAIL() << "no error";
    } catch (const EMMWaveEditError& e) {
        EXPECT_EQ(std::string(e.what()), "File must contain at least " + std::to_string(20 * kRate + 1) + " Samples");
    }
    view.MinimumSamples = 0;
    view.OnGenerate = [](TMMWaveEditor&, int p, bool& cancel) { cancel = p >= 10; };
    try {
        view.SetWave(&wave);
        FAIL() << "no error";
    } catch (const EMMWaveEditError& e) {
        EXPECT_STREQ(e.what(), "Unable to create Display Data");
    }
    EXPECT_FALSE(fs::exists(dir.file("TAKE.SDD")));
    EXPECT_TRUE(view.Wave().FileName().empty());
}

TEST_F(Views, ZoomedBeyondTheFinestLevelTheColumnsAreTheSamples) {
    TMMWaveEditor view;
    view.MinimumSamples = 0;
    view.resize(800, 100);
    view.SetWave(&wave);
    view.SetDisplayRange(100000, 100799);  // one frame a column
    const auto& px = view.PixelBuffer();
    for (int c : {0, 333, 799}) {
        const int64_t frame = 100000 + c;
        EXPECT_EQ(px[size_t(4 * c)], samples[size_t(2 * frame)]) << c;
        EXPECT_EQ(px[size_t(4 * c + 3)], samples[size_t(2 * frame + 1)]) << c;
    }
}

TEST_F(Views, ARedrawReadsAtMostOneEntryAColumnAndNoneBeyondTheFinestLevel) {
    TMMWaveEditor view;
    view.MinimumSamples = 0;
    view.resize(640, 100);
    view.SetWave(&wave);
    TMMDisplayRegistry& reg = *view.Registry;
    const int64_t frames = 20 * kRate;
    for (int64_t shown : {frames, frames / 3, frames / 50, int64_t(2000)}) {
        for (int64_t min : {int64_t(0), frames / 2 - shown / 2, frames - shown}) {
            const uint64_t before = reg.EntryReads();
            view.SetDisplayRange(min, min + shown);
            const uint64_t reads = reg.EntryReads() - before;
            if (shown == 2000) EXPECT_EQ(reads, 0u) << "the samples are read instead";
            else EXPECT_LE(reads, 640u) << shown << " from " << min;
        }
    }
}

TEST(TimePanel, TheLeftButtonDragsTheLocatorSnappedAndTheRightOneReportsTheBandAsDragged) {
    TMMTimePanel ruler;
    ruler.resize(1001, 24);
    ruler.Model().SetRangeX(0, 1000);
    ruler.Model().SetDisplayRange(0, 1000);
    ruler.Model().SnapToGrid = true;  // to the grid of the ruler's own labels
    send_mouse(ruler, QEvent::MouseButtonPress, 130, Qt::LeftButton);
    const int64_t grid = ruler.Model().GridWidthX;
    ASSERT_GT(grid, 1);
    auto on_nearest_line = [&](int64_t v, int64_t pressed) { return v % grid == 0 && std::abs(v - pressed) <= grid / 2; };
    EXPECT_TRUE(on_nearest_line(ruler.Model().Locator(), 130)) << ruler.Model().Locator() << " grid " << grid;
    send_mouse(ruler, QEvent::MouseMove, 480, Qt::LeftButton);
    send_mouse(ruler, QEvent::MouseButtonRelease, 480, Qt::LeftButton);
    const int64_t dragged = ruler.Model().Locator();
    EXPECT_TRUE(on_nearest_line(dragged, 480)) << dragged << " grid " << grid;
    std::pair<int64_t, int64_t> band{-1, -1};
    ruler.Model().OnZoomEnd = [&](auto&, int64_t a, int64_t b) { band = {a, b}; };
    send_mouse(ruler, QEvent::MouseButtonPress, 700, Qt::RightButton);
    send_mouse(ruler, QEvent::MouseMove, 200, Qt::RightButton);
    send_mouse(ruler, QEvent::MouseButtonRelease, 200, Qt::RightButton);
    EXPECT_EQ(band, (std::pair<int64_t, int64_t>{700, 200}));
    EXPECT_EQ(ruler.Model().Locator(), dragged) << "the right button leaves the locator";
}

TEST(ScrollPanel, TheThumbIsOrderedKeptApartClampedAndDraggedOrResized) {
    TMMScrollPanel s;
    s.resize(1001, 20);
    s.SetRange(0, 1000);
    s.SetSlider(500, 100);
    EXPECT_EQ(std::make_pair(s.SliderMin(), s.SliderMax()), std::make_pair(int64_t(100), int64_t(500)));
    s.SetSlider(300, 300);
    EXPECT_EQ(s.SliderMax(), 301);
    s.SetSlider(-20, 5000);
    EXPECT_EQ(std::make_pair(s.SliderMin(), s.SliderMax()), std::make_pair(int64_t(0), int64_t(1000)));

    std::vector<std::string> events;
    s.OnTrack = [&](auto&, int64_t a, int64_t b) { events.push_back("track " + std::to_string(a) + " " + std::to_string(b)); };
    s.OnTrackSize = [&](auto&, int64_t a, int64_t b) { events.push_back("size " + std::to_string(a) + " " + std::to_string(b)); };
    s.OnTrackEnd = [&](auto&, int64_t a, int64_t b) { events.push_back("end " + std::to_string(a) + " " + std::to_string(b)); };
    s.SetSlider(200, 400);
    send_mouse(s, QEvent::MouseButtonPress, 300, Qt::LeftButton);
    send_mouse(s, QEvent::MouseMove, 1000, Qt::LeftButton);  // stops at the end of the range
    send_mouse(s, QEvent::MouseButtonRelease, 1000, Qt::LeftButton);
    send_mouse(s, QEvent::MouseButtonPress, 800, Qt::LeftButton);  // the left end
    send_mouse(s, QEvent::MouseMove, 700, Qt::LeftButton);
    send_mouse(s, QEvent::MouseButtonRelease, 700, Qt::LeftButton);
    EXPECT_EQ(events, (std::vector<std::string>{"track 800 1000", "end 800 1000", "size 700 1000", "end 700 1000"}));
}

TEST_F(Views, ScreenshotsOfAPaneWithCutsMarkersASelectionAndAZoomBeyondTheFinestLevel) {
    TMMCutList cuts;
    cuts.Add({.start = 3 * int64_t(kRate), .length = kRate});
    cuts.Add({.start = 11 * int64_t(kRate), .length = 2 * int64_t(kRate)});
    wave.SetCutList(&cuts);
    wave.SetStartPos(kRate / 2);
    wave.SetEndPos(18 * int64_t(kRate));
    TMMMarkerList markers;
    for (auto [at, name] : {std::pair{int64_t(5 * kRate), "intro"}, {int64_t(8 * kRate), "point 2"},
                            {int64_t(15 * kRate), "end"}}) {
        TMMMarker m;
        m.ID = markers.NewID();
        m.Offset = at;
        m.Name = name;
        markers.Add(m);
    }

    QWidget pane;
    QVBoxLayout* layout = pane_layout(pane, 900, 420);
    auto* full_time = new TMMTimePanel;
    auto* full = new TMMWaveEditor;
    auto* cutter_time = new TMMTimePanel;
    auto* strip = new TMMMarkerPanel;
    auto* cutter = new TMMWaveEditor;
    auto* slider = new TMMScrollPanel;
    for (QWidget* w : std::initializer_list<QWidget*>{full_time, full, cutter_time, strip, cutter, slider})
        layout->addWidget(w, (w == full || w == cutter) ? 1 : 0);
    pane.show();
    QApplication::processEvents();

    full->MinimumSamples = cutter->MinimumSamples = 0;
    full->SetWave(&wave);
    full->Model().SetSelection(6 * kRate, 9 * kRate);
    const int64_t frames = 20 * kRate;
    full_time->Model().SetRangeX(0, frames);
    full_time->Model().SampleRate = kRate;
    full_time->Model().GridStepsX = 5;
    full_time->Model().SetDisplayRange(0, frames);

    // The zoomed view: 30 ms around the second marker, beyond the finest level.
    cutter->SetWave(&wave);
    const int64_t zmin = 8 * kRate - 240, zmax = 8 * kRate + 240;
    cutter->SetDisplayRange(zmin, zmax);
    cutter->Model().SetLocator(8 * kRate + 60);
    cutter_time->Model().SetRangeX(0, frames);
    cutter_time->Model().SampleRate = kRate;
    cutter_time->Model().ShowMsec = true;
    cutter_time->Model().GridStepsX = 5;
    cutter_time->Model().SetDisplayRange(zmin, zmax);
    strip->Model().Markers = &markers;
    strip->Model().SetRangeX(0, frames);
    strip->Model().SetDisplayRange(zmin, zmax);
    strip->Model().SetLocator(8 * kRate + 60);
    slider->SetRange(0, frames);
    slider->SetSlider(zmin, zmax);
    slider->SetLocator(8 * kRate + 60);
    slider->SetCaption("0:00:00.030");
    cutter->Model().GridWidthX = cutter_time->Model().GridWidthX;
    cutter->Model().DrawGridX = true;
    cutter->Model().Markers = full->Model().Markers = &markers;
    cutter->Model().SetHelpLocator(8 * kRate - 100);
    pane.update();
    QApplication::processEvents();

    EXPECT_GT(cutter_time->Model().GridWidthX, 0);
    EXPECT_GT(cutter->PixelBuffer().size(), 0u);
    shoot(pane, "editor_views");
    shoot(*full, "editor_fullview");
}

TEST(EnvelopeGain, TheGainIsInterpolatedBetweenPointsAndAppliedSaturated) {
    TMMEnvelope env;
    env.SetRange(0, 1000, 0, 32768);
    env.AddPoint(500, 32768);
    EXPECT_EQ(env.GainAt(0), 16384);
    EXPECT_EQ(env.GainAt(250), 24576);
    EXPECT_EQ(env.GainAt(500), 32768);
    EXPECT_EQ(env.GainAt(750), 24576);
    EXPECT_EQ(env.GainAt(5000), 16384) << "outside the points: unity";
    EXPECT_EQ(TMMEnvelope::Apply(1000, 8192), 500);
    EXPECT_EQ(TMMEnvelope::Apply(30000, 32768), 32767);
    EXPECT_EQ(TMMEnvelope::Apply(-30000, 32768), -32768);
}

TEST_F(Views, AnEnvelopeFollowsTheViewsRangeAndScalesTheDrawnWave) {
    TMMWaveEditor plain, shaped;
    TMMEnvelope env;
    for (TMMWaveEditor* v : {&plain, &shaped}) {
        v->MinimumSamples = 0;
        v->resize(400, 101);
        v->Colors.draw_mid_line = false;
    }
    shaped.SetEnvelope(&env);
    plain.SetWave(&wave);
    shaped.SetWave(&wave);
    EXPECT_EQ(env.RangeMaxX(), 20 * int64_t(kRate));
    // Silent first half, unity second half.
    env.SetPointY(0, 0);
    env.AddPoint(10 * kRate - 1, 0);
    env.AddPoint(10 * kRate, 16384);
    const QImage a = plain.grab().toImage(), b = shaped.grab().toImage();
    auto lit = [](const QImage& img, int x) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            if (y < 49 || y > 51) n += img.pixel(x, y) != QColor(Qt::black).rgb();  // the bevel left out
        return n;
    };
    for (int x : {10, 60, 110}) {  // inside bursts
        EXPECT_GT(lit(a, x), 20) << x;
        EXPECT_LE(lit(b, x), 2) << "the envelope silences column " << x;
    }
    for (int x : {250, 380}) EXPECT_EQ(lit(a, x), lit(b, x)) << "unity leaves column " << x;
    shaped.SetWave(nullptr);
    EXPECT_EQ(env.Count(), 2) << "no file: the envelope is reset";
}

TEST_F(Views, TheBevelBetweenChannelsIsDrawnByOnDrawBevelWhenSet) {
    TMMWaveEditor view;
    view.MinimumSamples = 0;
    view.resize(300, 103);
    view.SetWave(&wave);
    QRect seen;
    view.OnDrawBevel = [&](TMMWaveEditor&, QPainter& p, const QRect& r) {
        seen = r;
        p.fillRect(r, Qt::magenta);
    };
    const QImage img = view.grab().toImage();
    EXPECT_EQ(seen.height(), kStereoBevel);
    EXPECT_EQ(seen.width(), 300);
    EXPECT_EQ(img.pixelColor(150, seen.top() + 1), QColor(Qt::magenta));
}

TEST(MarkerStrip, AMarkerIsDraggedFoundAgainAfterResortingAndElsewhereTheLocatorMoves) {
    TMMMarkerList markers;
    for (int64_t at : {100, 300, 500}) {
        TMMMarker m;
        m.ID = markers.NewID();
        m.Offset = at;
        markers.Add(m);
    }
    TMMMarkerPanel strip;
    strip.resize(1001, 20);
    strip.Model().SetRangeX(0, 1000);
    strip.Model().SetDisplayRange(0, 1000);
    strip.Model().Markers = &markers;
    const int32_t first = markers.Items()[0].ID;
    std::vector<int64_t> moved;
    strip.OnMarkerMoved = [&](TMMMarkerPanel&, int64_t index) { moved.push_back(index); };
    int track_ends = 0;
    strip.Model().OnTrackEnd = [&](auto&) { ++track_ends; };
    send_mouse(strip, QEvent::MouseButtonPress, 103, Qt::LeftButton);
    send_mouse(strip, QEvent::MouseMove, 400, Qt::LeftButton);  // past the second marker
    send_mouse(strip, QEvent::MouseMove, 600, Qt::LeftButton);  // and the third
    send_mouse(strip, QEvent::MouseButtonRelease, 600, Qt::LeftButton);
    EXPECT_EQ(moved, (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(markers.Items()[2].ID, first);
    EXPECT_EQ(markers.Items()[2].Offset, 600);
    EXPECT_EQ(strip.Model().Locator(), -1) << "dragging a marker leaves the locator";
    EXPECT_EQ(strip.MarkerAt(604), 2);
    EXPECT_EQ(strip.MarkerAt(605), -1);

    strip.Model().SnapToGrid = true;
    strip.Model().GridWidthX = 50;
    send_mouse(strip, QEvent::MouseButtonPress, 820, Qt::LeftButton);
    send_mouse(strip, QEvent::MouseMove, 1200, Qt::LeftButton);
    send_mouse(strip, QEvent::MouseButtonRelease, 1200, Qt::LeftButton);
    EXPECT_EQ(strip.Model().Locator(), 1000) << "clamped to the range";
    EXPECT_EQ(track_ends, 2);
}

TEST(EnvelopeView, PointsAreAddedGrabbedAndKeptBetweenNeighboursAndTheRightButtonIsLeftToThePopup) {
    TMMEnvelope env;
    env.SetRange(0, 1000, 0, 32768);
    TMMEnvelopeView view;
    // A 3-pixel border; inside it one value a pixel across and 327.68 of gain
    // a pixel up.
    view.resize(1007, 107);
    view.SetEnvelope(&env);
    EXPECT_EQ(view.Model().DispMaxX(), 1000);
    const int unity_y = int(view.Model().ValueToPixelY(16384));
    EXPECT_EQ(unity_y, 53);

    // A press off the line adds a point at the pressed value and gain.
    send_mouse(view, QEvent::MouseButtonPress, 403, Qt::LeftButton, 28);
    send_mouse(view, QEvent::MouseButtonRelease, 403, Qt::LeftButton, 28);
    ASSERT_EQ(env.Count(), 3);
    EXPECT_EQ(env.Points()[1].x, 400);
    EXPECT_EQ(env.Points()[1].y, 24576);
    // Grabbed again and dragged past the last point: it stops before it.
    send_mouse(view, QEvent::MouseButtonPress, 405, Qt::LeftButton, 29);
    send_mouse(view, QEvent::MouseMove, 2000, Qt::LeftButton, 200);
    send_mouse(view, QEvent::MouseButtonRelease, 2000, Qt::LeftButton, 200);
    EXPECT_EQ(env.Points()[1].x, 999);
    EXPECT_EQ(env.Points()[1].y, 0);
    // The first point moves up and down only.
    send_mouse(view, QEvent::MouseButtonPress, 3, Qt::LeftButton, 53);
    send_mouse(view, QEvent::MouseMove, 303, Qt::LeftButton, 1);
    send_mouse(view, QEvent::MouseButtonRelease, 303, Qt::LeftButton, 1);
    EXPECT_EQ(env.Points()[0].x, 0);
    EXPECT_EQ(env.Points()[0].y, 32768);
    // The right button is the owner's pop-up's: the view changes nothing.
    send_mouse(view, QEvent::MouseButtonPress, 1002, Qt::RightButton, 103);
    EXPECT_EQ(env.Count(), 3);
    EXPECT_TRUE(TMMEnvelopeView::CanAdd(env, 500));
    EXPECT_FALSE(TMMEnvelopeView::CanAdd(env, 999));  // a point is there
    EXPECT_FALSE(TMMEnvelopeView::CanAdd(env, 1000));  // the end
}

TEST(EnvelopeView, AnEditIsAnnouncedBeforeItChangesThePointsAndReportsWhetherItChangedThem) {
    TMMEnvelope env;
    env.SetRange(0, 1000, 0, 32768);
    TMMEnvelopeView view;
    view.resize(1007, 107);
    view.SetEnvelope(&env);
    size_t points_at_begin = 0;
    std::vector<bool> ends;
    view.OnEditBegin = [&](TMMEnvelopeView&) { points_at_begin = size_t(env.Count()); };
    view.OnEditEnd = [&](TMMEnvelopeView&, bool changed) { ends.push_back(changed); };
    send_mouse(view, QEvent::MouseButtonPress, 403, Qt::LeftButton, 28);
    send_mouse(view, QEvent::MouseButtonRelease, 403, Qt::LeftButton, 28);
    EXPECT_EQ(points_at_begin, 2u);  // the snapshot for undo is taken before the point is added
    // Grabbed and let go where it was: no change.
    send_mouse(view, QEvent::MouseButtonPress, 403, Qt::LeftButton, 28);
    send_mouse(view, QEvent::MouseButtonRelease, 403, Qt::LeftButton, 28);
    // A press at the end's x off the line adds nothing and announces nothing.
    send_mouse(view, QEvent::MouseButtonPress, 1003, Qt::LeftButton, 90);
    send_mouse(view, QEvent::MouseButtonRelease, 1003, Qt::LeftButton, 90);
    EXPECT_EQ(ends, (std::vector<bool>{true, false}));
    EXPECT_EQ(env.Count(), 3);
}

TEST(EnvelopeView, AnEnvelopeDestroyedFirstIsLetGoByItsViews) {
    auto env = std::make_unique<TMMEnvelope>();
    TMMEnvelopeView view;
    TMMWaveEditor wave_view;
    view.resize(200, 50);
    view.SetEnvelope(env.get());
    wave_view.SetEnvelope(env.get());
    env.reset();
    EXPECT_EQ(view.Envelope(), nullptr);
    EXPECT_EQ(wave_view.Envelope(), nullptr);
    send_mouse(view, QEvent::MouseButtonPress, 100, Qt::LeftButton);  // nothing to edit, nothing breaks
    EXPECT_FALSE(view.grab().isNull());
}

TEST_F(Views, ScreenshotsOfTheEnvelopeViewAndTheWaveItShapes) {
    TMMEnvelope env;
    QWidget pane;
    QVBoxLayout* layout = pane_layout(pane, 900, 240);
    auto* view = new TMMWaveEditor;
    auto* volume = new TMMEnvelopeView;
    layout->addWidget(view, 2);
    layout->addWidget(volume, 1);
    pane.show();
    QApplication::processEvents();
    view->MinimumSamples = 0;
    view->SetEnvelope(&env);
    view->SetWave(&wave);
    volume->SetEnvelope(&env);
    env.AddPoint(4 * kRate, 4000);
    env.AddPoint(9 * kRate, 30000);
    env.AddPoint(15 * kRate, 16384);
    volume->Model().SetLocator(9 * kRate);
    QApplication::processEvents();
    EXPECT_EQ(volume->Model().RangeMaxX(), 20 * int64_t(kRate));
    shoot(pane, "editor_envelope");
}
