// Scribe's window in this process (its resources linked in): every paint ends with EndPaint, also
// when BeginPaint gives no DC.
#include "scribe/ScribeWindow.h"

#include "tests/support/WineTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(ScribePaint, EveryPaintEndsAlsoWhenBeginPaintGivesNoDc)
{
    scribe::ScribeWindow window;
    qelvo::test::FailingPaints paints;
    ASSERT_TRUE(paints.Installed());
    ASSERT_TRUE(window.CreateMaximised()) << GetLastError();
    for (int i = 0; i < 3; ++i) {
        ::InvalidateRect(window.Handle(), nullptr, TRUE);
        ::UpdateWindow(window.Handle());
    }
    EXPECT_GE(paints.Begun(), 3);
    EXPECT_EQ(paints.Ended(), paints.Begun());
    ::DestroyWindow(window.Handle());
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

} // namespace
