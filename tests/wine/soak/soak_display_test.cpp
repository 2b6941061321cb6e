// The display dialog on two displays (the harness with QELVO_HARNESS_LAYOUT=two), in this process: Identify and a
// dragged, then cancelled custom range, many times over; the counters of this process must stay.
#include "SoakSupport.h"

#include "calibrate/DisplayNumberWindow.h"
#include "calibrate/DisplaySelectDialog.h"
#include "calibrate/resource.h"
#include "framework/App.h"
#include "tests/wine/display/DisplayTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace displaytest;
using qelvo::test::WaitFor;
using qelvo::test::WaitForWindow;

namespace {

const wchar_t kSelectCaption[] = L"选择显示屏幕";
const wchar_t kRangeCaption[] = L"选择校准范围";

std::vector<HWND> NumberWindows()
{
    return qelvo::test::FindTopWindows({calibrate::DisplayNumberWindow::kClassName, nullptr, ::GetCurrentProcessId()});
}

TEST(SoakCounters, EachCounterSeesTheProbesObjectsComeAndGo)
{
    const soak::Proof& proof = soak::CounterProof();
    for (const std::string& name : soak::CounterNames()) {
        auto row = proof.find(name);
        EXPECT_TRUE(row != proof.end() && row->second.measurable) << name << " is not measurable";
    }
}

TEST(SoakDualDisplay, IdentifyAndCancelledRangeDrag)
{
    ASSERT_EQ(::GetSystemMetrics(SM_CMONITORS), 2) << "run in the harness with QELVO_HARNESS_LAYOUT=two";
    ASSERT_TRUE(fw::InitCommonControlClasses());
    calibrate::DisplaySelectDialog dialog(nullptr);
    ASSERT_TRUE(dialog.EnumerateDisplays());
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForWindow({L"#32770", kSelectCaption, ::GetCurrentProcessId()}, kWindowTimeout);
    ASSERT_NE(hwnd, nullptr);

    auto identify = [&](int i) {
        if (!qelvo::test::BringToFront(hwnd) || !qelvo::test::ClickWindow(::GetDlgItem(hwnd, IDC_IDENTIFY)) ||
            !WaitFor([] { return NumberWindows().size() == 2; }, kStepTimeout)) {
            ADD_FAILURE() << "identify " << i << ": the two numbers did not show";
            return false;
        }
        if (!WaitFor([] { return NumberWindows().empty() && calibrate::DisplayNumberWindow::LiveCount() == 0; },
                     kStepTimeout)) {
            ADD_FAILURE() << "identify " << i << ": a number window stayed";
            return false;
        }
        return true;
    };
    auto rangeDrag = [&](int i) {
        if (!qelvo::test::BringToFront(hwnd) || !qelvo::test::ClickWindow(::GetDlgItem(hwnd, IDC_CUSTOM_RANGE))) {
            ADD_FAILURE() << "range " << i << ": custom range";
            return false;
        }
        HWND range = WaitForWindow({L"#32770", kRangeCaption, ::GetCurrentProcessId()}, kWindowTimeout);
        if (range == nullptr || !qelvo::test::BringToFront(range)) {
            ADD_FAILURE() << "range " << i << ": no range dialog";
            return false;
        }
        HWND icon = ::GetDlgItem(range, IDC_TOP_LEFT_ICON);
        const POINT from = Centre(WindowRectOf(icon));
        const POINT to = {from.x - 30 - i % 20, from.y - 20};
        // The press counts only once the pointer is on the icon, and Wine may report moves late:
        // each move is repeated until it shows; a drag that did not reach the boxes is let go and
        // made again, three tries in all.
        auto pointerAt = [](POINT p) {
            POINT now = {};
            return ::GetCursorPos(&now) && now.x == p.x && now.y == p.y;
        };
        bool dragged = false;
        for (int attempt = 0; attempt < 3 && !dragged; ++attempt) {
            if (!WaitFor([&] { return pointerAt(from) || (MoveMouse(from), false); }, 5000, 100) ||
                !MouseButton(true))
                continue;
            dragged = WaitFor(
                [&] {
                    if (qelvo::test::ItemText(range, IDC_RANGE_LEFT) == std::to_wstring(to.x))
                        return true;
                    MoveMouse(to);
                    return false;
                },
                5000, 100);
            MouseButton(false);
        }
        if (!dragged) {
            ADD_FAILURE() << "range " << i << ": the drag did not reach the boxes";
            return false;
        }
        if (!qelvo::test::ClickWindow(::GetDlgItem(range, IDCANCEL)) ||
            !WaitFor([&] { return !::IsWindow(range); }, kStepTimeout)) {
            ADD_FAILURE() << "range " << i << ": cancel";
            return false;
        }
        ::SendMessageW(hwnd, WM_NULL, 0, 0);
        if (run.Wait(0) || dialog.SelectedIndex() != -1) {
            ADD_FAILURE() << "range " << i << ": the cancelled range ended the display dialog";
            return false;
        }
        return true;
    };
    // Wine's cache of device contexts and their regions for these windows grows in steps, with
    // unchanged cycles between them, up to its size: settled means five unchanged cycles in a row.
    soak::MeasureCycles("Display dialog on two displays: Identify", ::GetCurrentProcessId(), 1, identify, nullptr, {},
                        5);
    soak::MeasureCycles("Display dialog on two displays: range drag, then cancel", ::GetCurrentProcessId(), 1,
                        rangeDrag, nullptr, {}, 5);
    EXPECT_EQ(qelvo::test::FindTopWindow({L"#32770", kRangeCaption, ::GetCurrentProcessId()}), nullptr);
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(run.Wait(kStepTimeout));
    EXPECT_EQ(run.Result(), IDCANCEL);
}

} // namespace
