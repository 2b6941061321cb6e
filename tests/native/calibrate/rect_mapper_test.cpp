#include "calibrate/RectMapper.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace calibrate;

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

const Rect kXp = NormalisedScreen(0x7FFF);

} // namespace

TEST(FullScale, XpAndLaterUse7FFFEarlierUse3FFF)
{
    struct Row {
        uint32_t major, minor;
        int32_t fullScale;
    };
    for (const Row& row : {Row{5, 1, 0x7FFF}, Row{5, 2, 0x7FFF}, Row{6, 0, 0x7FFF}, Row{10, 0, 0x7FFF},
                           Row{5, 0, 0x3FFF}, Row{4, 10, 0x3FFF}})
        EXPECT_EQ(FullScaleForVersion(row.major, row.minor), row.fullScale) << row.major << "." << row.minor;
    EXPECT_EQ(NormalisedScreen(0x3FFF), (Rect{0, 0, 0x3FFF, 0x3FFF}));
}

TEST(RectMapper, NormalisesDisplaysOfADesktop)
{
    // Two 1024 x 768 displays side by side, the left one primary.
    const RectMapper twoSideBySide(kXp, Rect{0, 0, 2048, 768});
    EXPECT_EQ(twoSideBySide.MapRect({1024, 0, 2048, 768}), (Rect{16383, 0, 32767, 32767}));
    EXPECT_EQ(twoSideBySide.MapRect({0, 0, 1024, 768}), (Rect{0, 0, 16383, 32767}));
    EXPECT_EQ(twoSideBySide.MapRect({512, 0, 1536, 768}), (Rect{8191, 0, 24575, 32767}));

    // A display left of the primary one: negative pixels, normalised from 0.
    const RectMapper leftOfPrimary(kXp, Rect{-1024, 0, 1024, 768});
    EXPECT_EQ(leftOfPrimary.MapRect({-1024, 0, 0, 768}), (Rect{0, 0, 16383, 32767}));
    EXPECT_EQ(leftOfPrimary.MapRect({0, 0, 1024, 768}), (Rect{16383, 0, 32767, 32767}));

    // One display on Windows 2000 covers the whole normalised range.
    const RectMapper single(NormalisedScreen(0x3FFF), Rect{0, 0, 800, 600});
    EXPECT_EQ(single.MapRect({0, 0, 800, 600}), (Rect{0, 0, 0x3FFF, 0x3FFF}));
}

TEST(RectMapper, DividesBeforeAddingTheOriginAndTruncatesTowardZero)
{
    // (x - 0) * 3 / 2 + 100: 1 -> 101 (not 102 as rounding, nor (1*3+200)/2).
    const RectMapper m(Rect{100, -50, 103, -47}, Rect{0, 0, 2, 2});
    EXPECT_EQ(m.MapPoint(1, 1), (Point{101, -49}));
    // Negative numerators: -1 * 3 / 2 = -1 (toward zero), not -2.
    EXPECT_EQ(m.MapPoint(-1, -1), (Point{99, -51}));
    EXPECT_EQ(m.MapPoint(-3, -5), (Point{96, -57}));

    // A range reaching left of and above the desktop maps below 0, toward zero.
    const RectMapper desk(kXp, Rect{0, 0, 2048, 768});
    EXPECT_EQ(desk.MapPoint(-100, -1), (Point{-1599, -42}));
    // Beyond the desktop on the other side: above fullScale, unclipped.
    EXPECT_EQ(desk.MapPoint(4096, 1536), (Point{65534, 65534}));
}

TEST(RectMapper, MapsIntoAShiftedDestinationAndKeepsInvertedRects)
{
    const RectMapper m(Rect{100, 43, 400, 157}, Rect{0, 0, 1024, 1536});
    EXPECT_EQ(m.MapRect({0, 768, 1024, 1536}), (Rect{100, 100, 400, 157}));
    // Not normalised: an inverted source rectangle stays inverted.
    EXPECT_EQ(m.MapRect({1024, 1536, 0, 768}), (Rect{400, 157, 100, 100}));
}

TEST(RectMapper, CheckedFormAgreesWhereTheProductFits)
{
    const RectMapper desk(kXp, Rect{-1024, -300, 1024, 768});
    const int32_t samples[] = {-65535, -1025, -1024, -1, 0, 1, 767, 768, 1023, 1024, 64000};
    for (int32_t x : samples) {
        for (int32_t y : samples) {
            Point checked{kMin, kMin};
            ASSERT_TRUE(desk.TryMapPoint(x, y, &checked)) << x << "," << y;
            EXPECT_EQ(checked, desk.MapPoint(x, y));
        }
    }
    Rect r{};
    ASSERT_TRUE(desk.TryMapRect({-1024, -300, 1024, 768}, &r));
    EXPECT_EQ(r, kXp);
}

TEST(RectMapper, CheckedFormRefusesWhatWouldWrapIn32Bits)
{
    const RectMapper desk(kXp, Rect{0, 0, 2048, 768});
    Point p{7, 7};
    // 65538 * 32767 = 2147483646 still fits; 65539 * 32767 does not.
    EXPECT_TRUE(desk.TryMapPoint(65538, -65538, &p));
    EXPECT_EQ(p, (Point{1048575, -2796202}));
    p = Point{7, 7};
    EXPECT_FALSE(desk.TryMapPoint(65539, 0, &p));
    EXPECT_FALSE(desk.TryMapPoint(0, -65539, &p));
    EXPECT_EQ(p, (Point{7, 7}));

    Rect r{1, 2, 3, 4};
    EXPECT_FALSE(desk.TryMapRect({0, 0, 70000, 768}, &r));
    EXPECT_FALSE(desk.TryMapRect({-70000, 0, 100, 768}, &r));
    EXPECT_EQ(r, (Rect{1, 2, 3, 4}));

    // The difference to the source origin itself overflowing 32 bits.
    const RectMapper far(Rect{0, 0, 1, 1}, Rect{-10, -10, 10, 10});
    EXPECT_FALSE(far.TryMapPoint(kMax, 0, &p));
    // A result that does not fit although the product does: large destination origin.
    const RectMapper shifted(Rect{kMax - 10, 0, kMax, 10}, Rect{0, 0, 10, 10});
    EXPECT_TRUE(shifted.TryMapPoint(10, 0, &p));
    EXPECT_EQ(p.x, kMax);
    EXPECT_FALSE(shifted.TryMapPoint(11, 0, &p));
}

TEST(RectMapper, UncheckedFormIsExactThenClampedBeyond32Bits)
{
    const RectMapper desk(kXp, Rect{0, 0, 2048, 768});
    // 65539 * 32767 wraps in 32 bits; the exact quotient is 1048591.
    EXPECT_EQ(desk.MapPoint(65539, 0).x, 1048591);
    EXPECT_EQ(desk.MapPoint(kMax, kMin), (Point{kMax, kMin}));
    const RectMapper shifted(Rect{kMax - 10, kMin, kMax, kMin + 10}, Rect{0, 0, 10, 10});
    EXPECT_EQ(shifted.MapPoint(100, -100), (Point{kMax, kMin}));
}

TEST(RectMapper, EmptyOrHugeRectanglesNeverDivideByZeroOrOverflow)
{
    const RectMapper emptySource(kXp, Rect{5, 5, 5, 5});
    EXPECT_EQ(emptySource.MapPoint(100, -100), (Point{0, 0}));
    Point p{3, 3};
    EXPECT_FALSE(emptySource.TryMapPoint(5, 5, &p));
    EXPECT_EQ(p, (Point{3, 3}));

    // Sizes that do not fit 32 bits: defined results, and the checked form refuses.
    const RectMapper huge(Rect{kMin, kMin, kMax, kMax}, Rect{kMin, kMin, kMax, kMax});
    (void)huge.MapRect({kMin, kMin, kMax, kMax});
    EXPECT_FALSE(huge.TryMapPoint(0, 0, &p));
    // Only the destination width is beyond 32 bits; the point itself maps without overflow.
    const RectMapper wideDest(Rect{kMin, 0, kMax, 10}, Rect{0, 0, 10, 10});
    EXPECT_FALSE(wideDest.TryMapPoint(0, 0, &p));
    const RectMapper hugeSource(kXp, Rect{kMax, kMax, kMin, kMin});
    (void)hugeSource.MapRect({kMin, kMax, kMax, kMin});
    EXPECT_FALSE(hugeSource.TryMapPoint(0, 0, &p));
}
