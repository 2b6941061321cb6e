#include "calibrate/PreviewLayout.h"
#include "calibrate/PromptLayout.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace calibrate;

TEST(PromptLayout, TwoTextsFormOneCentredBlock20PixelsApart)
{
    const PromptRects r = LayoutPrompts({1024, 768}, {300, 32}, {250, 16});
    // y1 = (768 - 32 - 16 - 20) / 2 = 350; lower at 350 + 32 + 20.
    EXPECT_EQ(r.upper, (Rect{362, 350, 662, 382}));
    EXPECT_EQ(r.lower, (Rect{387, 402, 637, 418}));
}

TEST(PromptLayout, HiddenLowerTextStillCountsTheGap)
{
    const PromptRects r = LayoutPrompts({1024, 768}, {200, 16}, {0, 0});
    EXPECT_EQ(r.upper, (Rect{412, 366, 612, 382}));
    EXPECT_EQ(r.lower, (Rect{512, 402, 512, 402}));

    const PromptRects lowerOnly = LayoutPrompts({1024, 768}, {0, 0}, {200, 16});
    EXPECT_EQ(lowerOnly.lower, (Rect{412, 386, 612, 402}));
}

TEST(PromptLayout, DivisionsTruncateTowardZero)
{
    const PromptRects odd = LayoutPrompts({1023, 767}, {300, 17}, {0, 0});
    EXPECT_EQ(odd.upper, (Rect{361, 365, 661, 382}));

    // Text wider and taller than the area: negative offsets, truncated toward zero.
    const PromptRects tight = LayoutPrompts({100, 31}, {301, 40}, {0, 0});
    EXPECT_EQ(tight.upper, (Rect{-100, -14, 201, 26}));
}

TEST(PromptLayout, ExtremeSizesStayDefined)
{
    const int32_t big = std::numeric_limits<int32_t>::max();
    const int32_t small = std::numeric_limits<int32_t>::min();
    const PromptRects r = LayoutPrompts({small, small}, {big, big}, {big, big});
    EXPECT_LE(r.upper.left, r.upper.right);
    EXPECT_LE(r.lower.top, r.lower.bottom);
}

TEST(PreviewLayout, SideBySideDisplaysFitTheWideDesktop)
{
    const Rect desktop{0, 0, 2048, 768};
    // rx 4.096 > ry 3.84: top and bottom move in by trunc(6.25), then the middle 60 %.
    EXPECT_EQ(FitToAspect({0, 0, 500, 200}, desktop), (Rect{0, 6, 500, 194}));
    const PreviewLayout layout = LayoutPreview({0, 0, 500, 200}, desktop, {{0, 0, 1024, 768}, {1024, 0, 2048, 768}});
    EXPECT_EQ(layout.picture, (Rect{100, 43, 400, 157}));
    ASSERT_EQ(layout.buttons.size(), 2u);
    EXPECT_EQ(layout.buttons[0], (Rect{100, 43, 250, 157}));
    EXPECT_EQ(layout.buttons[1], (Rect{250, 43, 400, 157}));
}

TEST(PreviewLayout, StackedDisplaysFitTheTallDesktop)
{
    const Rect desktop{0, 0, 1024, 1536};
    EXPECT_EQ(FitToAspect({0, 0, 500, 200}, desktop), (Rect{183, 0, 317, 200}));
    const PreviewLayout layout = LayoutPreview({0, 0, 500, 200}, desktop, {{0, 0, 1024, 768}, {0, 768, 1024, 1536}});
    EXPECT_EQ(layout.picture, (Rect{209, 40, 291, 160}));
    ASSERT_EQ(layout.buttons.size(), 2u);
    EXPECT_EQ(layout.buttons[0], (Rect{209, 40, 291, 100}));
    EXPECT_EQ(layout.buttons[1], (Rect{209, 100, 291, 160}));
}

TEST(PreviewLayout, OffsetGreyAreaAndNegativeDesktopOrigin)
{
    // The grey area in dialog client coordinates need not start at 0.
    EXPECT_EQ(PreviewPicture({-50, -10, 450, 190}, {0, 0, 2048, 768}), (Rect{50, 33, 350, 147}));
    EXPECT_EQ(PreviewPicture({14, 41, 514, 241}, {0, 0, 2048, 768}), (Rect{114, 84, 414, 198}));

    // The primary display right of a second one: the desktop starts at -1024.
    const PreviewLayout layout =
        LayoutPreview({0, 0, 500, 200}, {-1024, 0, 1024, 768}, {{0, 0, 1024, 768}, {-1024, 0, 0, 768}});
    EXPECT_EQ(layout.picture, (Rect{100, 43, 400, 157}));
    EXPECT_EQ(layout.buttons[0], (Rect{250, 43, 400, 157}));
    EXPECT_EQ(layout.buttons[1], (Rect{100, 43, 250, 157}));
}

TEST(PreviewLayout, FittingTruncatesTheInsetTowardZero)
{
    // (501 - 133.33) / 2 = 183.8 and (201 - 187.5) / 2 = 6.75: truncated, not rounded.
    EXPECT_EQ(FitToAspect({0, 0, 501, 200}, {0, 0, 1024, 1536}), (Rect{183, 0, 318, 200}));
    EXPECT_EQ(FitToAspect({0, 0, 500, 201}, {0, 0, 2048, 768}), (Rect{0, 6, 500, 195}));
}

TEST(PreviewLayout, EqualAspectKeepsTheArea)
{
    EXPECT_EQ(FitToAspect({10, 20, 410, 320}, {0, 0, 1024, 768}), (Rect{10, 20, 410, 320}));
    EXPECT_EQ(PreviewPicture({10, 20, 410, 320}, {0, 0, 1024, 768}), (Rect{90, 80, 330, 260}));
}

TEST(PreviewLayout, EmptyAreaOrDesktopNeitherDividesByZeroNorOverflows)
{
    EXPECT_EQ(FitToAspect({5, 5, 5, 200}, {0, 0, 1024, 768}), (Rect{5, 5, 5, 200}));
    EXPECT_EQ(FitToAspect({0, 0, 500, 200}, {0, 0, 0, 0}), (Rect{0, 0, 500, 200}));
    const PreviewLayout layout = LayoutPreview({0, 0, 500, 200}, {0, 0, 0, 0}, {{0, 0, 1024, 768}});
    EXPECT_EQ(layout.picture, (Rect{100, 40, 400, 160}));
    EXPECT_EQ(layout.buttons[0], (Rect{100, 40, 100, 40}));

    const int32_t lo = std::numeric_limits<int32_t>::min();
    const int32_t hi = std::numeric_limits<int32_t>::max();
    const Rect wide = PreviewPicture({lo, lo, hi, hi}, {lo, 0, hi, 1});
    EXPECT_LE(wide.left, wide.right);
    EXPECT_LE(wide.top, wide.bottom);
}
