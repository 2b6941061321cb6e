#include "calibrate/CustomRange.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace calibrate;

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

} // namespace

TEST(CustomRange, AtLeast179PixelsEachWay)
{
    EXPECT_TRUE(IsRangeLargeEnough({0, 0, 179, 179}));
    EXPECT_TRUE(IsRangeLargeEnough({-500, -300, -321, -121}));
    EXPECT_FALSE(IsRangeLargeEnough({0, 0, 178, 500}));
    EXPECT_FALSE(IsRangeLargeEnough({0, 0, 500, 178}));
    EXPECT_FALSE(IsRangeLargeEnough({100, 100, 100, 100}));
}

TEST(CustomRange, InvertedOrExtremeTypedRectangles)
{
    // Typed values are not normalised: an inverted rectangle is refused however large.
    EXPECT_FALSE(IsRangeLargeEnough({500, 0, 0, 500}));
    EXPECT_FALSE(IsRangeLargeEnough({0, 500, 500, 0}));
    // Differences that overflow 32 bits decide correctly.
    EXPECT_TRUE(IsRangeLargeEnough({kMin, kMin, kMax, kMax}));
    EXPECT_FALSE(IsRangeLargeEnough({kMax, kMax, kMin, kMin}));
    EXPECT_FALSE(IsRangeLargeEnough({kMax, 0, kMin, 500}));
}

TEST(CustomRange, NormaliseSwapsEachAxisOnlyWhenInverted)
{
    EXPECT_EQ(NormaliseRange({900, 650, 100, 50}), (Rect{100, 50, 900, 650}));
    EXPECT_EQ(NormaliseRange({900, 50, 100, 650}), (Rect{100, 50, 900, 650}));
    EXPECT_EQ(NormaliseRange({100, 650, 900, 50}), (Rect{100, 50, 900, 650}));
    EXPECT_EQ(NormaliseRange({100, 50, 900, 650}), (Rect{100, 50, 900, 650}));
}

TEST(CustomRange, DragsSetTheirCornerWithExclusiveBottomRight)
{
    const Rect start{10, 20, 30, 40};
    EXPECT_EQ(ApplyDrag(start, DragCorner::TopLeft, {100, 50}), (Rect{100, 50, 30, 40}));
    EXPECT_EQ(ApplyDrag(start, DragCorner::BottomRight, {899, 649}), (Rect{10, 20, 900, 650}));
    EXPECT_EQ(ApplyDrag(start, DragCorner::BottomRight, {-1, -2000}), (Rect{10, 20, 0, -1999}));
    EXPECT_EQ(ApplyDrag(start, DragCorner::BottomRight, {kMax, kMax}), (Rect{10, 20, kMax, kMax}));

    // Top-left dragged past the bottom-right corner: inverted while dragging, swapped on release.
    const Rect dragged = ApplyDrag({100, 50, 900, 650}, DragCorner::TopLeft, {1000, 700});
    EXPECT_EQ(dragged, (Rect{1000, 700, 900, 650}));
    EXPECT_EQ(NormaliseRange(dragged), (Rect{900, 650, 1000, 700}));
}

TEST(CustomRange, CheckMapsAcceptedRangesToNormalisedUnits)
{
    const RectMapper xp(NormalisedScreen(0x7FFF), Rect{0, 0, 2048, 768});
    Rect n{1, 1, 1, 1};
    EXPECT_EQ(CheckCustomRange({512, 0, 1536, 768}, xp, &n), RangeCheck::Accepted);
    EXPECT_EQ(n, (Rect{8191, 0, 24575, 32767}));

    // Beyond the desktop: accepted unclipped, outside 0..fullScale.
    EXPECT_EQ(CheckCustomRange({-100, -10, 2100, 800}, xp, &n), RangeCheck::Accepted);
    EXPECT_EQ(n, (Rect{-1599, -426, 33598, 34132}));

    n = Rect{1, 1, 1, 1};
    EXPECT_EQ(CheckCustomRange({0, 0, 178, 768}, xp, &n), RangeCheck::TooSmall);
    EXPECT_EQ(CheckCustomRange({1536, 0, 512, 768}, xp, &n), RangeCheck::TooSmall);
    // So far out that the normalised form would wrap in 32 bits.
    EXPECT_EQ(CheckCustomRange({0, 0, 70000, 768}, xp, &n), RangeCheck::OutOfReach);
    EXPECT_EQ(CheckCustomRange({-70000, 0, 500, 768}, xp, &n), RangeCheck::OutOfReach);
    EXPECT_EQ(CheckCustomRange({0, 0, 500, 80000}, xp, &n), RangeCheck::OutOfReach);
    EXPECT_EQ(n, (Rect{1, 1, 1, 1}));
}
