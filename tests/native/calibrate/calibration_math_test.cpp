#include "calibrate/CalibrationMath.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace calibrate;

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

CalibrationValues Values(int32_t xl, int32_t yl, int32_t xh, int32_t yh, uint32_t swap)
{
    return CalibrationValues{xl, yl, xh, yh, swap};
}

bool EdgesInRange(const CalibrationValues& v)
{
    for (int32_t e : {v.XLow, v.YLow, v.XHigh, v.YHigh}) {
        if (e < 0 || e > kRawEdgeMax)
            return false;
    }
    return v.SwapXY <= 1;
}

} // namespace

TEST(ComputeCalibration, WorkedPanelGivesEdgesAThirdBeyondTheTargets)
{
    // dX = 2100 / 3 = 700, dY = 2300 / 3 = 766.
    EXPECT_EQ(ComputeCalibration({1000, 900}, {3100, 3200}, {3090, 910}), Values(300, 134, 3800, 3966, 0));
}

TEST(ComputeCalibration, SwappedAxesGiveTheSameEdgesWithSwapXY)
{
    EXPECT_EQ(ComputeCalibration({900, 1000}, {3200, 3100}, {910, 3090}), Values(300, 134, 3800, 3966, 1));
}

TEST(ComputeCalibration, MirroredAxesGiveLowAboveHigh)
{
    EXPECT_EQ(ComputeCalibration({3100, 900}, {1000, 3200}, {1010, 910}), Values(3800, 134, 300, 3966, 0));
    // Mirrored in Y as well: top-left at high raw Y.
    EXPECT_EQ(ComputeCalibration({1000, 3200}, {3100, 900}, {3090, 3190}), Values(300, 3966, 3800, 134, 0));
    // Mirrored in X and swapped: screen X runs along falling raw Y.
    EXPECT_EQ(ComputeCalibration({900, 3100}, {3200, 1000}, {910, 1010}), Values(3800, 134, 300, 3966, 1));
}

TEST(ComputeCalibration, SwapNeedsBothTestsStrictly)
{
    // Only the X test says swapped: not swapped.
    EXPECT_EQ(ComputeCalibration({1000, 900}, {3100, 3200}, {1010, 910}).SwapXY, 0u);
    // Only the Y test says swapped: not swapped.
    EXPECT_EQ(ComputeCalibration({1000, 900}, {3100, 3200}, {3090, 3190}).SwapXY, 0u);
    // Equal distances are not "closer", on either axis, even when the other axis says swapped.
    EXPECT_EQ(ComputeCalibration({1000, 1000}, {3000, 3000}, {2000, 2000}).SwapXY, 0u);
    EXPECT_EQ(ComputeCalibration({1000, 900}, {3000, 3200}, {2000, 3190}).SwapXY, 0u);
    EXPECT_EQ(ComputeCalibration({1000, 900}, {3000, 3200}, {1010, 2050}).SwapXY, 0u);
    EXPECT_EQ(ComputeCalibration({1000, 900}, {3000, 3200}, {1010, 3190}).SwapXY, 1u);
}

TEST(ComputeCalibration, EdgesClampAtZeroAnd4096)
{
    // dX = 1300, dY = 1333: x0 - dX < 0 and x1 + dX > 4096.
    EXPECT_EQ(ComputeCalibration({100, 50}, {4000, 4050}, {3990, 60}), Values(0, 0, 4096, 4096, 0));
    // Mirrored: x0 + dX above 4096 lowered, x1 - dX below 0 raised.
    EXPECT_EQ(ComputeCalibration({4000, 4050}, {100, 50}, {110, 4040}), Values(4096, 4096, 0, 0, 0));
    // d = 2458 / 3 = 819 lands exactly on 0 and 4096, the upper bound being 4096, not 4095.
    EXPECT_EQ(ComputeCalibration({819, 819}, {3277, 3277}, {3277, 819}), Values(0, 0, 4096, 4096, 0));
    EXPECT_EQ(ComputeCalibration({1024, 1024}, {3072, 3072}, {3072, 1024}), Values(342, 342, 3754, 3754, 0));
}

TEST(ComputeCalibration, ThreeTouchesOnOneSpotGiveEqualEdges)
{
    EXPECT_EQ(ComputeCalibration({2000, 2100}, {2000, 2100}, {2000, 2100}), Values(2000, 2100, 2000, 2100, 0));
}

TEST(ComputeCalibration, ExtremeRawPointsStayDefinedAndInRange)
{
    // Differences of these overflow 32 bits; the sanitizers fail the test on any overflow.
    const RawPoint corners[] = {{kMin, kMin}, {kMax, kMax}, {kMin, kMax}, {kMax, kMin}, {0, 0}, {-1, 4097}};
    for (const RawPoint& a : corners) {
        for (const RawPoint& b : corners) {
            for (const RawPoint& c : corners) {
                const CalibrationValues v = ComputeCalibration(a, b, c);
                EXPECT_TRUE(EdgesInRange(v)) << a.x << "," << a.y << " " << b.x << "," << b.y;
            }
        }
    }
    EXPECT_EQ(ComputeCalibration({kMin, kMin}, {kMax, kMax}, {kMax, kMin}), Values(0, 0, 4096, 4096, 0));
    EXPECT_EQ(ComputeCalibration({kMax, kMax}, {kMin, kMin}, {kMin, kMax}), Values(4096, 4096, 0, 0, 0));
}

TEST(ComputeCalibration, RawPointsOutsideTheRawRangeStillGiveEdgesInRange)
{
    // Both points below 0 (mirrored): the low edge would be negative without the lower bound.
    EXPECT_EQ(ComputeCalibration({-3000, 900}, {-6000, 3200}, {-5990, 910}), Values(0, 134, 0, 3966, 0));
    // Both points above 4096: the low edge would be above 4096.
    EXPECT_EQ(ComputeCalibration({9000, 900}, {12000, 3200}, {11990, 910}), Values(4096, 134, 4096, 3966, 0));
}

TEST(ComputeTargets, OneFifthInFromEachEdgeTruncating)
{
    const auto t = ComputeTargets(1024, 768);
    EXPECT_EQ(t[0], (Point{204, 153}));
    EXPECT_EQ(t[1], (Point{820, 615}));
    EXPECT_EQ(t[2], (Point{820, 153}));

    const auto small = ComputeTargets(9, 4);
    EXPECT_EQ(small[0], (Point{1, 0}));
    EXPECT_EQ(small[1], (Point{8, 4}));
    EXPECT_EQ(small[2], (Point{8, 0}));

    const auto extreme = ComputeTargets(kMin, kMax);
    EXPECT_EQ(extreme[0], (Point{kMin / 5, kMax / 5}));
    EXPECT_EQ(extreme[1], (Point{kMin - kMin / 5, kMax - kMax / 5}));
}

TEST(GlidePositions, StepsOfOne25thTruncatingTowardZero)
{
    // From T0 to T1 of 1024 x 768: dx = 616 / 25 = 24, dy = 462 / 25 = 18.
    const auto down = GlidePositions({204, 153}, {820, 615});
    EXPECT_EQ(down.front(), (Point{228, 171}));
    EXPECT_EQ(down[11], (Point{204 + 12 * 24, 153 + 12 * 18}));
    EXPECT_EQ(down.back(), (Point{204 + 24 * 24, 153 + 24 * 18}));

    // From T1 to T2: dx = 0, dy = -462 / 25 = -18 (toward zero, not -19).
    const auto up = GlidePositions({820, 615}, {820, 153});
    for (int j = 0; j < kGlideSteps; ++j)
        EXPECT_EQ(up[j], (Point{820, 615 - (j + 1) * 18})) << j;

    // Less than 25 apart: no movement at all.
    const auto still = GlidePositions({10, 10}, {34, -14});
    for (const Point& p : still)
        EXPECT_EQ(p, (Point{10, 10}));
}

TEST(GlidePositions, ExtremeEndsStayBetweenThem)
{
    const auto all = GlidePositions({kMin, kMax}, {kMax, kMin});
    for (const Point& p : all) {
        EXPECT_GT(p.x, kMin);
        EXPECT_LT(p.y, kMax);
    }
    EXPECT_EQ(all.back().x, static_cast<int32_t>(int64_t(kMin) + 24 * ((int64_t(kMax) - kMin) / 25)));
}

TEST(TargetOrigin, PutsTheControlsCentrePixelOnTheTarget)
{
    EXPECT_EQ(TargetOrigin({204, 153}, 71, 71), (Point{169, 118}));
    EXPECT_EQ(TargetOrigin({0, 0}, 72, 70), (Point{-35, -34}));
    EXPECT_EQ(TargetOrigin({5, 5}, 1, 0), (Point{5, 5}));  // (0 - 1) / 2 truncates to 0
    EXPECT_EQ(TargetOrigin({kMin, kMax}, kMax, kMin), (Point{kMin, kMax}));
}
