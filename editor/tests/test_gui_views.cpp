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

void send_mouse(QWidget& w, QEvent::Type type, int x, Qt::MouseButton button) {
    const QPointF at(x, w.height() / 2);
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
    pane.resize(900, 420);
    auto* layout = new QVBoxLayout(&pane);
    layout->setSpacing(1);
    layout->setContentsMargins(2, 2, 2, 2);
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
    strip->Model().SetDisplayRange(zmin - 2000, zmax + 2000);
    strip->Model().SetLocator(8 * kRate + 60);
    slider->SetRange(0, frames);
    slider->SetSlider(zmin, zmax);
    slider->SetLocator(8 * kRate + 60);
    slider->SetCaption("0:00:00.030");
    pane.update();
    QApplication::processEvents();

    EXPECT_GT(cutter->PixelBuffer().size(), 0u);
    shoot(pane, "editor_views");
    shoot(*full, "editor_fullview");
}
