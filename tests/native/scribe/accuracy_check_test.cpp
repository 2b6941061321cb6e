// The accuracy check's layout and error maths and the stroke store. Expected values are worked
// out by hand from the documented rules (a tenth of the size in from each edge, the mirror
// image on the far side, the nearest crosshair within a tenth of the shorter side).
#include "scribe/AccuracyCheck.h"
#include "scribe/StrokeStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

// Every allocation of this program is counted, so that a test can see how often a store grows,
// and can be made to find no memory.
namespace {
std::atomic<unsigned long> g_allocations{0};
std::atomic<bool> g_memoryOut{false};
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (!g_memoryOut)
        if (void* p = std::malloc(size != 0 ? size : 1))
            return p;
    throw std::bad_alloc();
}

// The store grows with the std::nothrow form: replaced as well, since the sanitizer's own would
// bypass the one above.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    ++g_allocations;
    return g_memoryOut ? nullptr : std::malloc(size != 0 ? size : 1);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

using namespace scribe;

struct LayoutCase {
    const char* name;
    Area area;
    int32_t xs[3];
    int32_t ys[3];
    int32_t radius;
};

// 1024 x 748: the client area of a maximised window with a caption on a 1024 x 768 screen.
const LayoutCase kLayouts[] = {
    {"1024x768", {0, 0, 1024, 768}, {102, 512, 921}, {76, 384, 691}, 76},
    {"1024x748", {0, 0, 1024, 748}, {102, 512, 921}, {74, 374, 673}, 74},
    {"800x600 moved", {100, 50, 900, 650}, {180, 500, 819}, {110, 350, 589}, 60},
    {"odd 201x99", {-10, 20, 191, 119}, {10, 90, 170}, {29, 69, 109}, 9},
    {"tiny 30x30", {0, 0, 30, 30}, {3, 15, 26}, {3, 15, 26}, 8},
};

TEST(CrosshairLayout, NinePointsInsetByATenth)
{
    for (const LayoutCase& c : kLayouts) {
        SCOPED_TRACE(c.name);
        const std::array<Point, kCrosshairCount> points = CrosshairPositions(c.area);
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                EXPECT_EQ(points[row * 3 + column].x, c.xs[column]) << "row " << row << " column " << column;
                EXPECT_EQ(points[row * 3 + column].y, c.ys[row]) << "row " << row << " column " << column;
            }
        }
        EXPECT_EQ(CaptureRadius(c.area), c.radius);
    }
}

TEST(CrosshairLayout, EmptyAreaGivesItsCornerAndNoCrash)
{
    const std::array<Point, kCrosshairCount> points = CrosshairPositions(Area{5, 7, 5, 7});
    for (const Point& p : points) {
        EXPECT_EQ(p.x, 5);
        EXPECT_EQ(p.y, 7);
    }
}

TEST(CrosshairLayout, PointBelongsToTheNearestCrosshairWithinTheRadius)
{
    const Area area = {0, 0, 1024, 768};  // crosshairs at x 102/512/921, y 76/384/691, radius 76
    struct Probe {
        Point p;
        int expected;
    };
    const Probe probes[] = {
        {{102, 76}, 0},    // on the top-left one
        {{921, 76}, 2},
        {{512, 384}, 4},
        {{921, 691}, 8},
        {{102, 691}, 6},
        {{178, 76}, 0},    // exactly the radius to the right
        {{179, 76}, -1},   // one beyond
        {{102 + 45, 76 + 60}, 0},   // 45, 60: distance 75
        {{102 + 46, 76 + 61}, -1},  // distance 76.4
        {{512, 384 - 76}, 4},
        {{512, 384 + 77}, -1},
        {{0, 0}, -1},      // the corner itself is far from the inset crosshair
        {{307, 230}, -1},  // between crosshairs
        {{-5000, -5000}, -1},
        {{2000000000, 2000000000}, -1},  // no overflow of the squared distance
    };
    for (const Probe& probe : probes)
        EXPECT_EQ(CrosshairAt(area, probe.p), probe.expected) << probe.p.x << "," << probe.p.y;
}

TEST(CrosshairLayout, TieBetweenTwoCrosshairsGoesToTheFirst)
{
    // 20 x 20: crosshairs at 2, 10, 17 on both axes, radius 8; x 6 is 4 from both 2 and 10.
    const Area area = {0, 0, 20, 20};
    EXPECT_EQ(CrosshairAt(area, Point{6, 2}), 0);
    EXPECT_EQ(CrosshairAt(area, Point{7, 2}), 1);
}

TEST(ErrorMaths, LengthsMaxAndMean)
{
    EXPECT_DOUBLE_EQ(ErrorLength(Offset{0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(ErrorLength(Offset{3, 4}), 5.0);
    EXPECT_DOUBLE_EQ(ErrorLength(Offset{-6, 8}), 10.0);
    EXPECT_DOUBLE_EQ(ErrorLength(Offset{5, -12}), 13.0);
    EXPECT_NEAR(ErrorLength(Offset{1, 1}), 1.41421356, 1e-8);

    AccuracyCheck check;
    check.SetArea(Area{0, 0, 1024, 768});
    AccuracySummary s = check.Summarise();
    EXPECT_EQ(s.measured, 0);
    EXPECT_EQ(s.maxError, 0.0);
    EXPECT_EQ(s.meanError, 0.0);

    EXPECT_EQ(check.Record(Point{102 + 3, 76 + 4}), 0);     // 5
    EXPECT_EQ(check.Record(Point{512 - 6, 384 + 8}), 4);    // 10
    EXPECT_EQ(check.Record(Point{921, 691}), 8);            // 0
    EXPECT_EQ(check.Record(Point{512 + 5, 691 - 12}), 7);   // 13
    EXPECT_EQ(check.Record(Point{300, 300}), -1);           // near none: not recorded
    s = check.Summarise();
    EXPECT_EQ(s.measured, 4);
    EXPECT_DOUBLE_EQ(s.maxError, 13.0);
    EXPECT_DOUBLE_EQ(s.meanError, 7.0);  // (5 + 10 + 0 + 13) / 4
    EXPECT_TRUE(check.Measured(7));
    EXPECT_FALSE(check.Measured(1));
    EXPECT_FALSE(check.Measured(-1));
    EXPECT_FALSE(check.Measured(9));
    EXPECT_EQ(check.OffsetOf(7).dx, 5);
    EXPECT_EQ(check.OffsetOf(7).dy, -12);
    EXPECT_EQ(check.OffsetOf(4).dx, -6);

    // A later touch replaces the earlier one of the same crosshair.
    EXPECT_EQ(check.Record(Point{512 - 1, 691}), 7);  // 1
    s = check.Summarise();
    EXPECT_EQ(s.measured, 4);
    EXPECT_DOUBLE_EQ(s.maxError, 10.0);
    EXPECT_DOUBLE_EQ(s.meanError, 4.0);  // (5 + 10 + 0 + 1) / 4

    check.Clear();
    EXPECT_EQ(check.Summarise().measured, 0);
    EXPECT_FALSE(check.Measured(0));
}

TEST(ErrorMaths, NewAreaForgetsTheMeasurementsTheSameAreaKeepsThem)
{
    AccuracyCheck check;
    check.SetArea(Area{0, 0, 1024, 768});
    ASSERT_EQ(check.Record(Point{103, 77}), 0);
    check.SetArea(Area{0, 0, 1024, 768});
    EXPECT_TRUE(check.Measured(0));
    check.SetArea(Area{0, 0, 800, 600});
    EXPECT_FALSE(check.Measured(0));
    EXPECT_EQ(check.Crosshairs()[8].x, 719);
    EXPECT_EQ(check.Crosshairs()[8].y, 539);
}

TEST(ReadoutPlacement, BelowTheCrosshairInsideTheArea)
{
    const Area area = {0, 0, 1024, 748};
    // Centre crosshair 512,374: box 200 x 18 centred, top 374 + 20 + 4.
    Area box = ReadoutBox(area, 4, 200, 18);
    EXPECT_EQ(box.left, 412);
    EXPECT_EQ(box.top, 398);
    EXPECT_EQ(box.right, 612);
    EXPECT_EQ(box.bottom, 416);
    // Bottom-left 102,673: below fits (697..715 < 748); left edge 2.
    box = ReadoutBox(area, 6, 200, 18);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.top, 697);
    // A wide box at the top right is pushed in from the right edge.
    box = ReadoutBox(area, 2, 300, 18);
    EXPECT_EQ(box.right, 1024);
    EXPECT_EQ(box.left, 724);
    // No room below in a short area: above the crosshair. 200 x 100: bottom row at y 89.
    box = ReadoutBox(Area{0, 0, 200, 100}, 7, 60, 18);
    EXPECT_EQ(box.top, 89 - 20 - 4 - 18);
    EXPECT_EQ(box.left, 100 - 30);
}

std::vector<std::pair<int32_t, int32_t>> StrokeOf(const StrokeStore& store, size_t index)
{
    size_t count = 0;
    const Point* points = store.StrokePoints(index, &count);
    std::vector<std::pair<int32_t, int32_t>> result;
    for (size_t i = 0; i < count; ++i)
        result.emplace_back(points[i].x, points[i].y);
    return result;
}

TEST(StrokeStore, KeepsStrokesApartAndSkipsRepeats)
{
    StrokeStore store;
    EXPECT_FALSE(store.Extend(Point{1, 1})) << "no open stroke";
    ASSERT_TRUE(store.Begin(Point{10, 10}));
    EXPECT_TRUE(store.Extend(Point{11, 10}));
    EXPECT_FALSE(store.Extend(Point{11, 10})) << "a repeat is not stored";
    EXPECT_TRUE(store.Extend(Point{12, 12}));
    store.End();
    EXPECT_FALSE(store.Extend(Point{13, 13})) << "after End";
    ASSERT_TRUE(store.Begin(Point{50, 60}));  // a tap: one point
    store.End();
    ASSERT_TRUE(store.Begin(Point{50, 60}));  // a second press at the same place (double click)
    store.End();

    EXPECT_EQ(store.StrokeCount(), 3u);
    EXPECT_EQ(store.PointCount(), 5u);
    using P = std::pair<int32_t, int32_t>;
    EXPECT_EQ(StrokeOf(store, 0), (std::vector<P>{{10, 10}, {11, 10}, {12, 12}}));
    EXPECT_EQ(StrokeOf(store, 1), (std::vector<P>{{50, 60}}));
    EXPECT_EQ(StrokeOf(store, 2), (std::vector<P>{{50, 60}}));
    size_t count = 7;
    EXPECT_EQ(store.StrokePoints(3, &count), nullptr);
    EXPECT_EQ(count, 0u);

    store.Clear();
    EXPECT_EQ(store.StrokeCount(), 0u);
    EXPECT_EQ(store.PointCount(), 0u);
    EXPECT_FALSE(store.IsOpen());
}

TEST(StrokeStore, FullStoreRefusesPointsAndKeepsWhatItHas)
{
    StrokeStore store(4);
    ASSERT_TRUE(store.Begin(Point{0, 0}));
    EXPECT_TRUE(store.Extend(Point{1, 0}));
    EXPECT_TRUE(store.Extend(Point{2, 0}));
    store.End();
    ASSERT_TRUE(store.Begin(Point{5, 5}));
    EXPECT_FALSE(store.Overflowed());
    EXPECT_FALSE(store.Extend(Point{6, 5})) << "the fifth point";
    EXPECT_TRUE(store.Overflowed());
    store.End();
    EXPECT_FALSE(store.Begin(Point{9, 9}));
    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(store.Extend(Point{10, 9}));
    EXPECT_EQ(store.StrokeCount(), 2u);
    EXPECT_EQ(store.PointCount(), 4u);
    using P = std::pair<int32_t, int32_t>;
    EXPECT_EQ(StrokeOf(store, 1), (std::vector<P>{{5, 5}}));

    store.Clear();
    EXPECT_FALSE(store.Overflowed());
    EXPECT_TRUE(store.Begin(Point{9, 9}));
}

TEST(StrokeStore, ManyShortStrokesGrowTheStoreGeometrically)
{
    // 50 000 strokes of two points: a store that grew by one stroke at a time would allocate
    // (and copy its index) once per stroke; doubling needs a few dozen allocations in all.
    StrokeStore store;
    const unsigned long before = g_allocations.load();
    for (int32_t i = 0; i < 50000; ++i) {
        ASSERT_TRUE(store.Begin(Point{i % 1000, i / 1000}));
        ASSERT_TRUE(store.Extend(Point{i % 1000 + 1, i / 1000}));
        store.End();
    }
    const unsigned long grown = g_allocations.load() - before;
    EXPECT_EQ(store.StrokeCount(), 50000u);
    EXPECT_EQ(store.PointCount(), 100000u);
    EXPECT_LE(grown, 64u);
    size_t count = 0;
    const Point* last = store.StrokePoints(49999, &count);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(last[0].x, 999);
    EXPECT_EQ(last[0].y, 49);
}

TEST(StrokeStore, WantOfMemoryRefusesPointsAndKeepsWhatItHas)
{
    StrokeStore store;
    g_memoryOut = true;
    const bool begun = store.Begin(Point{0, 0});
    g_memoryOut = false;
    EXPECT_FALSE(begun) << "no room for the first stroke";
    EXPECT_TRUE(store.Overflowed());
    EXPECT_FALSE(store.IsOpen());
    EXPECT_EQ(store.StrokeCount(), 0u);
    EXPECT_EQ(store.PointCount(), 0u);

    ASSERT_TRUE(store.Begin(Point{0, 0}));
    g_memoryOut = true;
    int32_t stored = 0;
    while (stored < 100000 && store.Extend(Point{stored + 1, 0}))
        ++stored;
    const bool refusedAgain = store.Extend(Point{-1, -1});
    g_memoryOut = false;
    ASSERT_LT(stored, 100000) << "100 000 points went in without the store growing";
    EXPECT_FALSE(refusedAgain);
    EXPECT_EQ(store.PointCount(), static_cast<size_t>(stored) + 1);
    const std::vector<std::pair<int32_t, int32_t>> stroke = StrokeOf(store, 0);
    ASSERT_EQ(stroke.size(), static_cast<size_t>(stored) + 1);
    EXPECT_EQ(stroke.back(), std::make_pair(stored, 0));
    EXPECT_TRUE(store.Extend(Point{-2, -2})) << "memory is back";
    EXPECT_EQ(StrokeOf(store, 0).back(), std::make_pair(-2, -2));
}

TEST(StrokeStore, DefaultBoundHolds)
{
    StrokeStore store;
    ASSERT_TRUE(store.Begin(Point{0, 0}));
    size_t stored = 1;
    for (int32_t i = 1; i < 250000; ++i) {
        if (store.Extend(Point{i % 1000, i / 1000}))
            ++stored;
    }
    EXPECT_EQ(stored, StrokeStore::kDefaultMaxPoints);
    EXPECT_EQ(store.PointCount(), StrokeStore::kDefaultMaxPoints);
    EXPECT_TRUE(store.Overflowed());
}

} // namespace
