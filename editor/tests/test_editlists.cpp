// The document's lists as data: fade points and their interpolation, markers,
// and the gain envelope's edits.
#include <gtest/gtest.h>

#include <set>

#include "audio/formats/mmwave_errors.h"
#include "editor/mmenvelope.h"
#include "editor/mmfadelist.h"
#include "editor/mmmarkerlist.h"

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

TEST(FadeList, InterpolatedGainFollowsTheRampsAndIsZeroBeforeTheFirstPoint) {
    TMMFadeList f;
    EXPECT_EQ(f.InsertionIndex(5), -1);
    EXPECT_EQ(f.InterpolatedGain(5), 0);
    f.AddPoint(100, 0);
    f.AddPoint(200, 16384);
    f.AddPoint(300, 8192);
    const std::vector<std::pair<int64_t, int32_t>> table = {
        {99, 0},      // before the first point
        {100, 0},     {150, 8192}, {199, 16220},  // 16384 * 99 / 100, truncated
        {200, 16384}, {250, 12288},
        {300, 8192},
        {400, 0},     {500, -8192},  // the last ramp continued
    };
    for (auto [x, g] : table) EXPECT_EQ(f.InterpolatedGain(x), g) << x;
    // Neighbours at the same position give no ramp.
    TMMFadeList same;
    same.AddPoint(10, 5);
    same.AddPoint(10, 7);
    EXPECT_EQ(same.InterpolatedGain(10), 0);
}

TEST(FadeList, AddAppendsUnsortedAssignClearsExtraAndBadIndexRaisesTheListError) {
    TMMFadeList f;
    f.Add({50, 1, 2, 3, 9});
    f.Add({10, 4, 5, 6, 9});
    EXPECT_EQ(f[0].position, 50);
    EXPECT_EQ(f[1].position, 10);
    TMMFadeList g;
    g.Assign(f);
    EXPECT_EQ(g[0].extra, 0);
    EXPECT_EQ(g[1].gain_right, 6);
    try {
        (void)g[2];
        FAIL();
    } catch (const EMMListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (2)");
    }
    // Capacity: +4 below 5, +8 from 5 to 8, +16 from 9 on.
    TMMFadeList c;
    std::vector<int64_t> caps;
    for (int i = 0; i < 30; ++i) {
        c.AddPoint(i, 0);
        if (caps.empty() || caps.back() != c.Capacity()) caps.push_back(c.Capacity());
    }
    EXPECT_EQ(caps, (std::vector<int64_t>{4, 8, 16, 32}));
}

TEST(MarkerList, KeepsOffsetOrderInsertionOrderAtTheSameOffsetAndFindsPartners) {
    TMMMarkerList m;
    int changes = 0;
    m.OnChange = [&] { ++changes; };
    m.Add(mk(1, 3, 500, "b"));
    m.Add(mk(2, 0, 100, "a"));
    m.Add(mk(3, 1, 500, "c"));
    EXPECT_EQ(changes, 3);
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m[0].Name, "a");
    EXPECT_EQ(m[1].Name, "b");
    EXPECT_EQ(m[2].Name, "c");  // after the marker already at 500
    EXPECT_EQ(m.IndexAt(500), 1);
    EXPECT_EQ(m.IndexAt(501), -1);
    EXPECT_EQ(m.InsertionIndex(100), 1);
    EXPECT_EQ(m.Partner(1), 2);
    EXPECT_EQ(m.Partner(2), 1);
    EXPECT_EQ(m.Partner(0), -1);

    m.SetOffset(0, 900);
    EXPECT_EQ(m[2].Name, "a");
    EXPECT_EQ(m[2].Offset, 900);

    TMMMarker long_one;
    long_one.Name = std::string(100, 'n');
    long_one.Comment = std::string(300, 'c');
    m.Add(long_one);
    EXPECT_EQ(m[0].Name.size(), 80u);
    EXPECT_EQ(m[0].Comment.size(), 255u);
}

TEST(MarkerList, AssignReSortsAndNewIdsArePositiveAndUnused) {
    TMMMarkerList src;
    for (int i = 0; i < 40; ++i) src.Add(mk(i + 1, 0, (i * 37) % 50, std::to_string(i)));
    TMMMarkerList m;
    m.Assign(src);
    for (int64_t i = 1; i < m.Count(); ++i) EXPECT_LE(m[i - 1].Offset, m[i].Offset);
    std::set<int32_t> seen;
    for (const TMMMarker& x : m.Items()) seen.insert(x.ID);
    for (int i = 0; i < 20; ++i) {
        const int32_t id = m.NewID();
        EXPECT_GT(id, 0);
        EXPECT_FALSE(seen.count(id));
        m.Add(mk(id, 0, 0, ""));
        seen.insert(id);
    }
}

TEST(Envelope, AddAndDeleteKeepTheEndsAndTheOrder) {
    TMMEnvelope e;
    ASSERT_EQ(e.Count(), 2);
    EXPECT_EQ(e.Points()[0], (TMMEnvelopePoint{0, 16384, false}));
    EXPECT_EQ(e.Points()[1], (TMMEnvelopePoint{1000, 16384, false}));
    EXPECT_EQ(e.AddPoint(0, 5), -1);
    EXPECT_EQ(e.AddPoint(1000, 5), -1);
    EXPECT_EQ(e.AddPoint(-1, 5), -1);
    EXPECT_EQ(e.AddPoint(400, 32768), 1);
    EXPECT_EQ(e.AddPoint(400, 1), -1);
    EXPECT_EQ(e.AddPoint(200, 0, true), 1);
    EXPECT_EQ(e.Points()[1].y, 16384 + 16384 * 200 / 400);
    EXPECT_FALSE(e.DeletePoint(0));
    EXPECT_FALSE(e.DeletePoint(3));
    EXPECT_TRUE(e.DeletePoint(1));
    EXPECT_EQ(e.Count(), 3);
    e.SetAllToBase();
    EXPECT_EQ(e.Count(), 3);
    EXPECT_EQ(e.Points()[1].y, 16384);
    e.SetPointY(0, 99);
    e.Reset();
    EXPECT_EQ(e.Count(), 2);
    EXPECT_EQ(e.Points()[0].y, 16384);
}

TEST(Envelope, ScaleIsLimitedByTheRangeAndRoundsHalfToEven) {
    TMMEnvelope e;
    int changes = 0;
    e.OnChange = [&] { ++changes; };
    // Repeated +1 dB steps stop growing once the top reaches 32768.
    int32_t last = 0;
    for (int i = 0; i < 12; ++i) e.Scale(1.12246203);
    last = e.Points()[0].y;
    EXPECT_EQ(last, 32768);
    const int before = changes;
    e.Scale(1.5);
    EXPECT_EQ(changes, before);  // limited to exactly 1.0: nothing happens

    TMMEnvelope h;
    h.AddPoint(500, 5);
    h.Scale(0.5);  // 16384 * 0.5 = 8192, 5 * 0.5 = 2.5 -> 2
    EXPECT_EQ(h.Points()[1].y, 2);
    EXPECT_EQ(h.Points()[0].y, 8192);
    h.AddPoint(600, 7);
    h.Scale(0.5);  // 3.5 -> 4
    EXPECT_EQ(h.Points()[2].y, 4);

    // End points kept out of the change.
    TMMEnvelope k;
    k.AddPoint(10, 20000);
    k.MoveFirstPoint = false;
    k.MoveLastPoint = false;
    k.Scale(2.0);  // limited by the inner point alone: 32768 / 20000
    EXPECT_EQ(k.Points()[1].y, 32768);
    EXPECT_EQ(k.Points()[0].y, 16384);
    EXPECT_EQ(k.Points()[2].y, 16384);
}

TEST(Envelope, RangeChangeMapsInnerPointsAndValues) {
    TMMEnvelope e;
    e.AddPoint(250, 8192);
    e.SetRange(0, 4000, 0, 32768);
    EXPECT_EQ(e.Points()[1].x, 1000);
    EXPECT_EQ(e.Points()[2].x, 4000);
    e.SetRange(100, 500, 0, 16384);
    EXPECT_EQ(e.Points()[0].x, 100);
    EXPECT_EQ(e.Points()[1].x, 200);
    EXPECT_EQ(e.Points()[1].y, 4096);
    EXPECT_EQ(e.Points()[2].y, 8192);
    // From an empty range nothing can be kept in proportion, and nothing
    // divides by zero.
    e.SetRange(0, 0, 0, 16384);
    e.SetRange(0, 100, 0, 16384);
    EXPECT_EQ(e.Points()[1].x, 0);
}
