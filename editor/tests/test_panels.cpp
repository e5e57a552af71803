// The views' shared coordinate model, the selection rules of a wave view and
// the time ruler's label intervals, on panels whose pixel arithmetic can be
// checked by hand.
#include <gtest/gtest.h>

#include <vector>

#include "editor/markerpanel.h"
#include "editor/timepanelmodel.h"
#include "editor/waveeditormodel.h"

using namespace murrel;

namespace {

using Events = std::vector<std::tuple<std::string, int64_t, int64_t>>;

// 1001 pixels without border over 0..1000 of a 0..10000 range: one value per
// pixel, so pixel p shows value p.
class WaveView : public ::testing::Test {
protected:
    void SetUp() override {
        view.SetRangeX(0, 10000);
        view.SetSize(1001, 100);
        view.SetDisplayRange(0, 1000);
        view.OnSelecting = [&](auto&, int64_t a, int64_t b) { events.emplace_back("selecting", a, b); };
        view.OnSelectEnd = [&](auto&, int64_t a, int64_t b) { events.emplace_back("end", a, b); };
        view.OnTrackEnd = [&](auto&) { events.emplace_back("track end", 0, 0); };
        view.OnZoomEnd = [&](auto&, int64_t a, int64_t b) { events.emplace_back("zoom", a, b); };
    }
    void drag(int from, int to) {
        view.MouseDown(from);
        view.MouseMove(to);
        view.MouseUp(to);
    }
    TMMWaveEditorModel view;
    Events events;
};

}  // namespace

TEST(Rounding, HalvesGoToTheEvenNeighbourOnBothSidesOfZero) {
    EXPECT_EQ(RoundDivEven(1, 2), 0);
    EXPECT_EQ(RoundDivEven(3, 2), 2);
    EXPECT_EQ(RoundDivEven(5, 2), 2);
    EXPECT_EQ(RoundDivEven(-1, 2), 0);
    EXPECT_EQ(RoundDivEven(-3, 2), -2);
    EXPECT_EQ(RoundDivEven(7, 3), 2);
    EXPECT_EQ(RoundDivEven(8, 3), 3);
    EXPECT_EQ(RoundDivEven(-8, 3), -3);
    EXPECT_EQ(RoundDivEven(3, -2), -2);
}

TEST(CoordinateModel, MapsValuesAndPixelsWithTheBorderAndRoundsHalfToEven) {
    TMMCustomMarkerPanel p;
    p.SetRangeX(0, 10000000);
    p.SetSize(105, 20);
    p.SetBorder(2);  // span w - 2b - 1 = 100
    p.SetDisplayRange(0, 1000);
    EXPECT_EQ(p.ValueToPixel(0), 2);
    EXPECT_EQ(p.ValueToPixel(1000), 102);
    EXPECT_EQ(p.ValueToPixel(5), 2);    // 0.5 -> 0
    EXPECT_EQ(p.ValueToPixel(15), 4);   // 1.5 -> 2
    EXPECT_EQ(p.ValueToPixel(25), 4);   // 2.5 -> 2
    EXPECT_EQ(p.ValueToPixel(26), 5);
    EXPECT_EQ(p.ValueToPixel(-5), 2);   // -0.5 -> 0
    EXPECT_EQ(p.ValueToPixel(-15), 0);  // -1.5 -> -2
    EXPECT_EQ(p.PixelToValue(2), 0);
    EXPECT_EQ(p.PixelToValue(52), 500);
    EXPECT_EQ(p.PixelToValue(102), 1000);
    // Far outside the shown part the pixel is held at the drawing limit.
    EXPECT_EQ(p.ValueToPixel(1000000), 16384);
    p.SetDisplayRange(5000000, 5001000);
    EXPECT_EQ(p.ValueToPixel(0), -16384);

    TMMCustomMarkerPanel q;
    q.SetRangeX(0, 100);
    q.SetSize(11, 11);  // span 10
    q.SetDisplayRange(0, 5);
    EXPECT_EQ(q.DispMaxX(), 10) << "widened to the pixels first";
    q.SetSize(3, 11);  // span 2 over 0..10
    q.SetDisplayRange(0, 5);
    EXPECT_EQ(q.PixelToValue(1), 2);  // 2.5 -> 2
    EXPECT_EQ(q.PixelToValue(2), 5);
}

TEST(CoordinateModel, TheVerticalAxisRunsUpsideDown) {
    TMMCustomMarkerPanel p;
    p.SetSize(10, 101);  // span 100
    p.SetRangeY(0, 32768);
    p.SetDisplayRangeY(0, 32768);
    EXPECT_EQ(p.ValueToPixelY(32768), 0);
    EXPECT_EQ(p.ValueToPixelY(0), 100);
    EXPECT_EQ(p.ValueToPixelY(16384), 50);
    EXPECT_EQ(p.PixelToValueY(0), 32768);
    EXPECT_EQ(p.PixelToValueY(100), 0);
    EXPECT_EQ(p.PixelToValueY(25), 24576);
}

TEST(CoordinateModel, TheShownRangeIsOrderedWidenedToThePixelsAndKeptInsideTheRange) {
    TMMCustomMarkerPanel p;
    std::vector<std::pair<int64_t, int64_t>> reported;
    p.OnRangeChanged = [&](auto&, int64_t a, int64_t b) { reported.emplace_back(a, b); };
    p.SetRangeX(0, 1000);
    p.SetSize(204, 10);
    p.SetBorder(2);  // 200 pixels inside: at least 199 values apart
    reported.clear();

    p.SetDisplayRange(10, 20);
    EXPECT_EQ(std::make_pair(p.DispMinX(), p.DispMaxX()), std::make_pair(int64_t(10), int64_t(209)));
    p.SetDisplayRange(600, 300);
    EXPECT_EQ(std::make_pair(p.DispMinX(), p.DispMaxX()), std::make_pair(int64_t(300), int64_t(600)));
    p.SetDisplayRange(900, 1200);
    EXPECT_EQ(std::make_pair(p.DispMinX(), p.DispMaxX()), std::make_pair(int64_t(700), int64_t(1000)));
    p.SetDisplayRange(-50, 250);
    EXPECT_EQ(std::make_pair(p.DispMinX(), p.DispMaxX()), std::make_pair(int64_t(0), int64_t(300)));
    p.SetDisplayRange(990, 995);  // widened, then pushed back from the end
    EXPECT_EQ(std::make_pair(p.DispMinX(), p.DispMaxX()), std::make_pair(int64_t(801), int64_t(1000)));
    EXPECT_EQ(reported.size(), 5u);
    EXPECT_EQ(reported.back(), std::make_pair(int64_t(801), int64_t(1000)));

    p.SetRangeX(0, 50);  // narrower than the panel: the whole range
    EXPECT_EQ(std::make_pair(p.DispMinX(), p.DispMaxX()), std::make_pair(int64_t(0), int64_t(50)));
    p.SetRangeX(30, 10);
    EXPECT_EQ(p.RangeMaxX(), 31);
}

TEST(CoordinateModel, MarkersStayInOrderAndTheCorralKeepsThemAroundTheLocator) {
    TMMCustomMarkerPanel p;
    p.SetRangeX(0, 1000);
    int locator_events = 0;
    p.OnLocatorChanged = [&](auto&) { ++locator_events; };

    p.SetMarkerA(500);
    p.SetMarkerB(300);
    EXPECT_EQ(p.MarkerB(), 500) << "B not below A";
    p.SetMarkerA(800);
    EXPECT_EQ(p.MarkerA(), 500) << "A not above B";
    p.SetMarkerB(-5);
    EXPECT_EQ(p.MarkerB(), -1);
    p.SetMarkerA(800);
    EXPECT_EQ(p.MarkerA(), 800) << "free while B is not set";
    p.SetMarkerA(5000);
    EXPECT_EQ(p.MarkerA(), 1000) << "within the range";

    TMMCustomMarkerPanel c;
    c.SetRangeX(0, 1000);
    c.UseLocator = c.CorralLocator = true;
    c.SetLocator(400);
    c.SetMarkerA(600);
    EXPECT_EQ(c.MarkerA(), 400);
    c.SetMarkerA(100);
    c.SetMarkerB(50);
    EXPECT_EQ(c.MarkerB(), 400);
    c.SetMarkerB(700);
    c.SetLocator(900);
    EXPECT_EQ(c.Locator(), 700);
    c.SetLocator(10);
    EXPECT_EQ(c.Locator(), 100);
    c.UseLocator = false;  // corral off: markers only against each other
    c.SetMarkerA(650);
    EXPECT_EQ(c.MarkerA(), 650);

    p.SetLocator(10);
    p.SetLocator(10);
    p.SetLocator(-3);
    EXPECT_EQ(p.Locator(), -1);
    EXPECT_EQ(locator_events, 2);
}

TEST(CoordinateModel, SnapTakesTheNearestGridLineOnlyWhenAsked) {
    TMMCustomMarkerPanel p;
    p.SetRangeX(0, 1000);
    p.GridWidthX = 100;
    EXPECT_EQ(p.Snap(149), 149);
    p.SnapToGrid = true;
    EXPECT_EQ(p.Snap(149), 100);
    EXPECT_EQ(p.Snap(151), 200);
    EXPECT_EQ(p.Snap(250), 200);
    EXPECT_EQ(p.Snap(990), 1000);
}

TEST_F(WaveView, SetSelectionOrdersClampsAndTurnsEmptyIntoNone) {
    EXPECT_EQ(view.SetSelection(300, 100), 200);
    EXPECT_EQ(view.SelStart(), 100);
    EXPECT_EQ(view.SelEnd(), 300);
    EXPECT_EQ(view.SetSelection(-1, 300), 0);
    EXPECT_EQ(view.SelStart(), -1);
    EXPECT_EQ(view.SelEnd(), -1);
    EXPECT_EQ(view.SetSelection(400, 400), 0);
    EXPECT_EQ(view.SelStart(), -1);
    EXPECT_EQ(view.SetSelection(9000, 20000), 1000);

    view.CorralLocator = true;
    view.SetPlayRange(700, 200);
    EXPECT_EQ(view.MarkerA(), 200);
    EXPECT_EQ(view.MarkerB(), 700);
    EXPECT_EQ(view.SelStart(), -1) << "re-applied: 9000..10000 lies outside the play range";
    EXPECT_EQ(view.SetSelection(100, 500), 300);
    EXPECT_EQ(view.SelStart(), 200);
    view.SetPlayRange(-50, 300);
    EXPECT_EQ(view.MarkerA(), 0);
    EXPECT_EQ(view.SelEnd(), 300);
}

TEST_F(WaveView, AClickSelectsNothingAndADragBackOntoItsStartReportsNoSelection) {
    view.MouseDown(400);
    view.MouseUp(400);
    EXPECT_EQ(view.SelStart(), -1);
    EXPECT_EQ(events, (Events{{"selecting", -1, -1}, {"selecting", 400, 401}, {"end", -1, -1}, {"track end", 0, 0}}));

    events.clear();
    view.MouseDown(400);
    view.MouseMove(450);
    view.MouseMove(400);
    view.MouseUp(400);
    EXPECT_EQ(view.SelStart(), -1);
    EXPECT_EQ(events[2], (std::tuple<std::string, int64_t, int64_t>{"selecting", 400, 450}));
    EXPECT_EQ(events[3], (std::tuple<std::string, int64_t, int64_t>{"selecting", -1, -1}));
    EXPECT_EQ(events[4], (std::tuple<std::string, int64_t, int64_t>{"end", -1, -1}));

    drag(600, 300);
    EXPECT_EQ(view.SelStart(), 300);
    EXPECT_EQ(view.SelEnd(), 600);
}

TEST_F(WaveView, TheEdgesAreGrabbedThreeAndTwoPixelsAroundAndInsideTheSelectionMovesIt) {
    // Dragged to pixel 200; a press just inside an edge zone moves the whole
    // selection, one just outside starts a new one.
    struct Case { int press; int64_t start, end; };
    for (Case c : {Case{497, 200, 800}, Case{502, 200, 800}, Case{496, 200, 496}, Case{503, 197, 497},
                   Case{798, 200, 500}, Case{803, 200, 500}, Case{797, 0, 300}, Case{804, 200, 804}}) {
        view.SetSelection(500, 800);
        drag(c.press, 200);
        EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(c.start, c.end)) << c.press;
    }
}

TEST_F(WaveView, ACutIsSelectedWholeAndADragStopsAtTheNeighbouringCuts) {
    TMMCutList cuts;
    cuts.Add({.start = 100, .length = 50});
    cuts.Add({.start = 600, .length = 100});
    view.Cuts = &cuts;
    drag(620, 900);
    EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(int64_t(600), int64_t(700)));
    drag(300, 900);
    EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(int64_t(300), int64_t(600)));
    view.SetSelection(-1, -1);
    drag(400, 20);
    EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(int64_t(150), int64_t(400)));
    EXPECT_EQ(view.HintAt(120), kHintSkipedRegion);
}

TEST_F(WaveView, ADragNearAnEdgeScrollsByHalfTheShownWidthAndSnapsToTheGrid) {
    view.SetDisplayRange(2000, 3000);
    view.MouseDown(500);
    view.MouseMove(998);
    EXPECT_EQ(view.DispMinX(), 2500);
    EXPECT_EQ(view.SelEnd(), 3498);
    view.MouseMove(2);
    EXPECT_EQ(view.DispMinX(), 2000);
    view.MouseUp(2);
    EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(int64_t(2002), int64_t(2500)));

    view.SnapToGrid = true;
    view.GridWidthX = 100;
    view.SetSelection(-1, -1);
    drag(433, 777);
    EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(int64_t(2400), int64_t(2800)));
}

TEST_F(WaveView, AMovedSelectionKeepsItsLengthStaysInsideAndAClickInsideClearsIt) {
    view.SetRangeX(0, 1000);  // all of it shown: the edges do not scroll
    view.SetSelection(500, 800);
    EXPECT_EQ(view.HintAt(650), kHintMoveSelection);
    view.MouseDown(650);
    EXPECT_TRUE(view.MovingSelection());
    view.MouseMove(700);
    EXPECT_EQ(events.back(), (std::tuple<std::string, int64_t, int64_t>{"selecting", 550, 850}));
    view.MouseMove(990);  // stops with its end at the range's end
    view.MouseUp(990);
    EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(int64_t(700), int64_t(1000)));
    EXPECT_EQ(events.back(), (std::tuple<std::string, int64_t, int64_t>{"track end", 0, 0}));

    view.CorralLocator = true;  // kept inside the shown play range
    view.SetPlayRange(100, 900);
    view.SetSelection(300, 400);
    drag(350, 0);
    EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(int64_t(100), int64_t(200)));

    view.SnapToGrid = true;
    view.GridWidthX = 100;
    drag(150, 377);  // the start snaps to a grid line
    EXPECT_EQ(std::make_pair(view.SelStart(), view.SelEnd()), std::make_pair(int64_t(300), int64_t(400)));

    drag(350, 350);
    EXPECT_EQ(view.SelStart(), -1);
}

TEST_F(WaveView, AZoomIsReportedInOrderWidenedToThePixelsAndAppliedWithAutoZoom) {
    view.Zoom = true;
    view.AutoZoom = false;
    drag(600, 100);
    EXPECT_EQ(events.front(), (std::tuple<std::string, int64_t, int64_t>{"zoom", 100, 1100}));
    view.SetRangeX(0, 10000);
    view.SetDisplayRange(0, 10000);  // ten values a pixel
    events.clear();
    view.AutoZoom = true;
    drag(100, 105);
    EXPECT_EQ(events.front(), (std::tuple<std::string, int64_t, int64_t>{"zoom", 1000, 2000}));
    EXPECT_EQ(std::make_pair(view.DispMinX(), view.DispMaxX()), std::make_pair(int64_t(1000), int64_t(2000)));
}

TEST_F(WaveView, HintsNameTheEdgeTheInsideOrTheDefault) {
    view.DefaultHint = "wave";
    view.SetSelection(300, 600);
    EXPECT_EQ(view.HintAt(298), kHintResizeSelection);
    EXPECT_EQ(view.HintAt(603), kHintResizeSelection);
    EXPECT_EQ(view.HintAt(450), kHintMoveSelection);
    EXPECT_EQ(view.HintAt(700), "wave");
    view.Locked = true;
    view.MouseDown(700);
    EXPECT_FALSE(view.Dragging());
}

TEST(TimePanel, TakesTheSmallestIntervalWhoseLabelsFitAndReportsTheGrid) {
    TMMTimePanelModel t;
    t.SampleRate = 1000;  // a frame is a millisecond
    t.GridStepsX = 5;
    t.LabelWidth = [](const std::string&) { return 50; };  // 60 with the margin
    std::vector<int64_t> grids;
    t.OnGridChanged = [&](auto&, int64_t g) { grids.push_back(g); };
    t.SetRangeX(0, 36000000);
    t.SetSize(1002, 20);
    t.SetBorder(1);  // 1000 inside
    grids.clear();

    t.SetDisplayRange(0, 60000);  // 60000 / i × 60 < 1000: i > 3600
    EXPECT_EQ(t.Interval(), 5000);
    EXPECT_EQ(t.GridWidthX, 1000);
    t.SetDisplayRange(0, 60000);
    EXPECT_EQ(grids, (std::vector<int64_t>{1000})) << "only changes are reported";
    t.SetDisplayRange(0, 3600);  // i > 216: 500
    EXPECT_EQ(t.Interval(), 500);
    t.SetDisplayRange(0, 999);  // i > 59.94: 100
    EXPECT_EQ(t.Interval(), 100);
    t.SampleRate = 16000;  // 999 frames = 62.4 ms: i > 3.75
    EXPECT_EQ(t.Interval(), 5);
    EXPECT_EQ(t.GridWidthX, 16);
    t.LabelWidth = [](const std::string&) { return 1000000000; };
    EXPECT_EQ(t.Interval(), 36000000) << "nothing fits: the first";

    // The label measured is the one of the display end.
    std::string measured;
    t.LabelWidth = [&](const std::string& s) { measured = s; return 10; };
    t.ShowMsec = true;
    t.SampleRate = 1000;
    t.SetDisplayRange(3723000, 3724500);
    EXPECT_EQ(measured, "1:02:04.500");
}

TEST(TimePanel, ARightToLeftBandReportsStartAboveEnd) {
    TMMTimePanelModel t;
    t.SetRangeX(0, 10000);
    t.SetSize(1001, 20);
    t.SetDisplayRange(0, 1000);
    std::vector<std::pair<int64_t, int64_t>> zooms;
    t.OnZoomEnd = [&](auto&, int64_t a, int64_t b) { zooms.emplace_back(a, b); };
    t.RightDown(800);
    t.RightMove(500);
    EXPECT_TRUE(t.Banding());
    t.RightUp(200);
    t.RightDown(100);
    t.RightUp(300);
    EXPECT_EQ(zooms, (std::vector<std::pair<int64_t, int64_t>>{{800, 200}, {100, 300}}));
    EXPECT_FALSE(t.Banding());
    EXPECT_EQ(TimeLabel(3723004, false), "1:02:03");
}
