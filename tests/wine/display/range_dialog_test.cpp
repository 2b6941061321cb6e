// CalibrationRangeDialog and RunCustomRange in this process, driven with real mouse and keyboard
// input on the harness's single 1024 x 768 display.
#include "DisplayTestSupport.h"

#include "calibrate/CalibrationRangeDialog.h"
#include "calibrate/DisplaySelectDialog.h"
#include "calibrate/resource.h"
#include "framework/App.h"
#include "framework/FrameworkResource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace displaytest;
using calibrate::CalibrationRangeDialog;
using calibrate::DisplaySelectDialog;
using qelvo::test::ItemText;
using qelvo::test::WaitFor;
using qelvo::test::WaitForWindow;

namespace {

const wchar_t* const kRangeCaption = qelvo::test::InLanguage(L"选择校准范围", L"Select Calibration Area");

std::wstring LoadProgramString(UINT id)
{
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

HICON ProgramIcon(UINT id)
{
    return ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

HICON ShownIcon(HWND control)
{
    return reinterpret_cast<HICON>(::SendMessageW(control, STM_GETICON, 0, 0));
}

bool BoxesShow(HWND dialog, long left, long top, long right, long bottom)
{
    return ItemText(dialog, IDC_RANGE_LEFT) == std::to_wstring(left) &&
           ItemText(dialog, IDC_RANGE_TOP) == std::to_wstring(top) &&
           ItemText(dialog, IDC_RANGE_RIGHT) == std::to_wstring(right) &&
           ItemText(dialog, IDC_RANGE_BOTTOM) == std::to_wstring(bottom);
}

// The four boxes as "left, top, right, bottom", for failure messages.
std::string BoxesText(HWND dialog)
{
    std::string text;
    for (int id : {IDC_RANGE_LEFT, IDC_RANGE_TOP, IDC_RANGE_RIGHT, IDC_RANGE_BOTTOM})
        text += (text.empty() ? "" : ", ") + testing::PrintToString(ItemText(dialog, id));
    return text;
}

bool BoxesShow(HWND dialog, const RECT& r)
{
    return BoxesShow(dialog, r.left, r.top, r.right, r.bottom);
}

HWND WaitForRangeDialog()
{
    return WaitForWindow({L"#32770", kRangeCaption, ::GetCurrentProcessId()}, kWindowTimeout);
}

// The message box a dialog of this program shows: captioned with the program's name.
HWND WaitForMessageBox()
{
    return WaitForWindow({L"#32770", fw::ProgramName().c_str(), ::GetCurrentProcessId()}, kWindowTimeout);
}

// Presses button `id` of `dialog` until the program's message box shows (the dialog is disabled by
// then, so a repeated click presses nothing twice); null if none comes.
HWND PressForMessageBox(HWND dialog, int id)
{
    HWND box = nullptr;
    qelvo::test::ClickUntil(::GetDlgItem(dialog, id), [&] {
        box = qelvo::test::FindTopWindow({L"#32770", fw::ProgramName().c_str(), ::GetCurrentProcessId()});
        return box != nullptr;
    }, kWindowTimeout);
    return box;
}

bool DismissMessageBox(HWND box)
{
    return qelvo::test::ClickUntil(::GetDlgItem(box, IDOK), [&] { return !::IsWindow(box); }, kStepTimeout);
}

class RangeDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fw::InitCommonControlClasses()); }
    void SetUp() override { ASSERT_EQ(::GetSystemMetrics(SM_CMONITORS), 1) << "run on a single display"; }

    // Starts the dialog on `run`, brings it to the front and waits until its boxes show its own
    // window rectangle, the one returned in `own`.
    void OpenInFront(UiThread& run, HWND* hwnd, RECT* own)
    {
        ASSERT_TRUE(run.Start());
        const HWND dialog = WaitForRangeDialog();
        ASSERT_NE(dialog, nullptr);
        *hwnd = dialog;
        ASSERT_TRUE(qelvo::test::BringToFront(dialog));
        const RECT rect = WindowRectOf(dialog);
        *own = rect;
        ASSERT_TRUE(WaitFor([&] { return BoxesShow(dialog, rect); }, kStepTimeout));
    }

    // Presses the left button on `icon`'s centre, moves through `via` to `to`, waiting for the
    // dialog to show each point's effect, and releases it there.
    void DragIcon(HWND dialog, int iconId, POINT to, const std::function<void()>& whileHeld = nullptr)
    {
        HWND icon = ::GetDlgItem(dialog, iconId);
        ASSERT_NE(icon, nullptr);
        ASSERT_EQ(ShownIcon(icon), ProgramIcon(IDI_DRAG_TARGET));
        const POINT from = Centre(WindowRectOf(icon));
        const int xBox = iconId == IDC_TOP_LEFT_ICON ? IDC_RANGE_LEFT : IDC_RANGE_RIGHT;
        const int yBox = iconId == IDC_TOP_LEFT_ICON ? IDC_RANGE_TOP : IDC_RANGE_BOTTOM;
        const int extra = iconId == IDC_TOP_LEFT_ICON ? 0 : 1;
        // Wine moves the X pointer after each input and reports crossing the dialog's edge
        // later, at a stale position; a user holding the mouse at the point moves it there
        // again, so each step repeats its move until the boxes show the point, and the last
        // one until they show it on two polls in a row.
        const int steps = 4;
        const auto step = [&](int i, DWORD timeout) {
            const POINT at = {from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
            int seen = 0;
            const bool shown = WaitFor(
                [&] {
                    if (ItemText(dialog, xBox) == std::to_wstring(at.x + extra) &&
                        ItemText(dialog, yBox) == std::to_wstring(at.y + extra))
                        return ++seen >= (i == steps ? 2 : 1);
                    seen = 0;
                    MoveMouse(at);
                    return false;
                },
                timeout, 100);
            EXPECT_TRUE(shown || i == 1)
                << "step " << i << " to (" << at.x << ", " << at.y << "): boxes read " << BoxesText(dialog)
                << (ShownIcon(icon) == ProgramIcon(IDI_DRAG_WINDOW) ? ", dragging" : ", not dragging");
            return shown;
        };
        // Now and then Wine hands a drag that has just begun no move at all, however often the
        // pointer moves. A user lets go, types the corners back and picks the icon up again; so
        // does this (typed corners take effect at the first move of a drag).
        const std::string untouched = BoxesText(dialog);
        const int boxes[] = {IDC_RANGE_LEFT, IDC_RANGE_TOP, IDC_RANGE_RIGHT, IDC_RANGE_BOTTOM};
        std::wstring typed[4];
        for (int b = 0; b < 4; ++b)
            typed[b] = ItemText(dialog, boxes[b]);
        for (int attempt = 1;; ++attempt) {
            ASSERT_TRUE(MoveMouse(from));
            ASSERT_TRUE(MouseButton(true));
            // Picked up: the icon shows the empty window.
            ASSERT_TRUE(WaitFor([&] { return ShownIcon(icon) == ProgramIcon(IDI_DRAG_WINDOW); }, kStepTimeout));
            if (step(1, 10000))
                break;
            ASSERT_TRUE(MouseButton(false));
            ASSERT_TRUE(WaitFor([&] { return ShownIcon(icon) == ProgramIcon(IDI_DRAG_TARGET); }, kStepTimeout));
            for (int b = 0; b < 4; ++b)
                ::SetDlgItemTextW(dialog, boxes[b], typed[b].c_str());
            ASSERT_EQ(BoxesText(dialog), untouched);
            ASSERT_LT(attempt, 3) << "no move reached the drag in " << attempt << " tries: boxes read " << untouched;
        }
        for (int i = 2; i <= steps; ++i)
            ASSERT_TRUE(step(i, kStepTimeout));
        if (whileHeld)
            whileHeld();
        ASSERT_TRUE(MouseButton(false));
        ASSERT_TRUE(WaitFor([&] { return ShownIcon(icon) == ProgramIcon(IDI_DRAG_TARGET); }, kStepTimeout));
    }
};

TEST_F(RangeDialog, OpensWithItsOwnRectangleAndFollowsMoves)
{
    CalibrationRangeDialog dialog(nullptr);
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForRangeDialog();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(WaitFor([&] { return BoxesShow(hwnd, WindowRectOf(hwnd)); }, kStepTimeout));
    // Centred on the display.
    const RECT own = WindowRectOf(hwnd);
    EXPECT_LE(std::abs((own.left + own.right) / 2 - 512), 2);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0)), ProgramIcon(IDI_MARKSMAN));

    ASSERT_TRUE(::SetWindowPos(hwnd, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    const long w = own.right - own.left, h = own.bottom - own.top;
    EXPECT_TRUE(WaitFor([&] { return BoxesShow(hwnd, 40, 30, 40 + w, 30 + h); }, kStepTimeout));

    // Typed values are replaced by the next move.
    ::SetDlgItemTextW(hwnd, IDC_RANGE_LEFT, L"7");
    ASSERT_TRUE(::SetWindowPos(hwnd, nullptr, 60, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    EXPECT_TRUE(WaitFor([&] { return BoxesShow(hwnd, 60, 30, 60 + w, 30 + h); }, kStepTimeout));

    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(hwnd, IDOK), [&] { return run.Wait(0); }, kStepTimeout));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(dialog.range, R(60, 30, 60 + w, 30 + h));
}

TEST_F(RangeDialog, DraggingTheTargetsSetsTheCornersAndLeavesTheScreenAsItWas)
{
    CalibrationRangeDialog dialog(nullptr);
    UiThread run([&] { return dialog.RunModal(); });
    HWND hwnd = nullptr;
    RECT own{};
    ASSERT_NO_FATAL_FAILURE(OpenInFront(run, &hwnd, &own));
    const RECT screen = VirtualScreen();
    Shot before;
    ASSERT_TRUE(before.Take(screen));

    DragIcon(hwnd, IDC_TOP_LEFT_ICON, POINT{100, 50}, [&] {
        // While held, the rectangle from the target to the other corner is inverted.
        Shot during;
        EXPECT_TRUE(WaitFor(
            [&] {
                return during.Take(screen) && during.At(110, 60) == Inverse(before.At(110, 60)) &&
                       during.At(90, 60) == before.At(90, 60) &&
                       during.At(own.right + 10, 60) == before.At(own.right + 10, 60);
            },
            kStepTimeout));
        qelvo::test::CaptureScreenPng(L"range-drag-top-left.png");
    });
    EXPECT_TRUE(WaitFor([&] { return BoxesShow(hwnd, 100, 50, own.right, own.bottom); }, kStepTimeout));

    DragIcon(hwnd, IDC_BOTTOM_RIGHT_ICON, POINT{899, 649}, [&] {
        Shot during;
        EXPECT_TRUE(WaitFor(
            [&] {
                return during.Take(screen) && during.At(890, 640) == Inverse(before.At(890, 640)) &&
                       during.At(905, 640) == before.At(905, 640);
            },
            kStepTimeout));
        qelvo::test::CaptureScreenPng(L"range-drag-bottom-right.png");
    });
    EXPECT_TRUE(WaitFor([&] { return BoxesShow(hwnd, 100, 50, 900, 650); }, kStepTimeout));

    // Outside the dialog (whose boxes now read differently) every pixel is as before the drags.
    Shot after;
    long differing = -1;
    EXPECT_TRUE(WaitFor([&] { return after.Take(screen) && (differing = DifferingPixels(before, after, &own)) == 0; },
                        kStepTimeout))
        << differing << " pixels differ";
    qelvo::test::CaptureScreenPng(L"range-after-drag.png");

    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(hwnd, IDOK), [&] { return run.Wait(0); }, kStepTimeout));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(dialog.range, R(100, 50, 900, 650));
}

TEST_F(RangeDialog, DraggingPastTheOtherCornerSwapsTheCornersOnRelease)
{
    CalibrationRangeDialog dialog(nullptr);
    UiThread run([&] { return dialog.RunModal(); });
    HWND hwnd = nullptr;
    RECT own{};
    ASSERT_NO_FATAL_FAILURE(OpenInFront(run, &hwnd, &own));
    // Typed corners take effect at the first move of the drag.
    ::SetDlgItemTextW(hwnd, IDC_RANGE_RIGHT, L"300");
    ::SetDlgItemTextW(hwnd, IDC_RANGE_BOTTOM, L"200");
    Shot before;
    ASSERT_TRUE(before.Take(VirtualScreen()));

    DragIcon(hwnd, IDC_TOP_LEFT_ICON, POINT{950, 700}, [&] {
        EXPECT_TRUE(WaitFor([&] { return BoxesShow(hwnd, 950, 700, 300, 200); }, kStepTimeout));
        Shot during;
        EXPECT_TRUE(WaitFor(
            [&] { return during.Take(VirtualScreen()) && during.At(940, 690) == Inverse(before.At(940, 690)); },
            kStepTimeout));
    });
    EXPECT_TRUE(WaitFor([&] { return BoxesShow(hwnd, 300, 200, 950, 700); }, kStepTimeout)) << BoxesText(hwnd);
    Shot after;
    EXPECT_TRUE(WaitFor([&] { return after.Take(VirtualScreen()) && DifferingPixels(before, after, &own) == 0; },
                        kStepTimeout));
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(run.Wait(kStepTimeout));
    EXPECT_EQ(run.Result(), IDCANCEL);
}

// The system cancels a drag (a message box opens, another window takes the mouse): the drag ends
// as on release, and the screen is restored at once.
TEST_F(RangeDialog, DragCancelledBySystemEndsTheDragAndRestoresTheScreen)
{
    CalibrationRangeDialog dialog(nullptr);
    UiThread run([&] { return dialog.RunModal(); });
    HWND hwnd = nullptr;
    RECT own{};
    ASSERT_NO_FATAL_FAILURE(OpenInFront(run, &hwnd, &own));
    Shot before;
    ASSERT_TRUE(before.Take(VirtualScreen()));

    HWND icon = ::GetDlgItem(hwnd, IDC_TOP_LEFT_ICON);
    DragIcon(hwnd, IDC_TOP_LEFT_ICON, POINT{120, 80}, [&] {
        ::SendMessageW(icon, WM_CANCELMODE, 0, 0);
        EXPECT_EQ(ShownIcon(icon), ProgramIcon(IDI_DRAG_TARGET));
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        EXPECT_TRUE(::GetGUIThreadInfo(run.ThreadId(), &info));
        EXPECT_EQ(info.hwndCapture, nullptr);
        Shot after;
        EXPECT_TRUE(WaitFor([&] { return after.Take(VirtualScreen()) && DifferingPixels(before, after, &own) == 0; },
                            kStepTimeout));
    });
    // The release that follows finds no drag: the boxes keep the corner.
    ::SendMessageW(hwnd, WM_NULL, 0, 0);
    EXPECT_TRUE(BoxesShow(hwnd, 120, 80, own.right, own.bottom)) << BoxesText(hwnd);
    Shot after;
    ASSERT_TRUE(after.Take(VirtualScreen()));
    EXPECT_EQ(DifferingPixels(before, after, &own), 0);
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(run.Wait(kStepTimeout));
}

TEST_F(RangeDialog, ABoxWithoutANumberIsPromptedInExchangeOrder)
{
    CalibrationRangeDialog dialog(nullptr);
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForRangeDialog();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(qelvo::test::BringToFront(hwnd));
    // Bottom is read first, then left, right, top.
    ::SetDlgItemTextW(hwnd, IDC_RANGE_LEFT, L"x1");
    ::SetDlgItemTextW(hwnd, IDC_RANGE_TOP, L"10");
    ::SetDlgItemTextW(hwnd, IDC_RANGE_RIGHT, L"500");
    ::SetDlgItemTextW(hwnd, IDC_RANGE_BOTTOM, L"4 00");
    HWND box = PressForMessageBox(hwnd, IDOK);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(qelvo::test::MessageBoxText(box), LoadProgramString(IDS_FW_ENTER_INTEGER));
    ASSERT_TRUE(DismissMessageBox(box));
    UiThread* thread = &run;
    auto focused = [&] {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        return ::GetGUIThreadInfo(thread->ThreadId(), &info) ? info.hwndFocus : nullptr;
    };
    EXPECT_TRUE(WaitFor([&] { return focused() == ::GetDlgItem(hwnd, IDC_RANGE_BOTTOM); }, kStepTimeout));
    EXPECT_FALSE(run.Wait(0));

    ::SetDlgItemTextW(hwnd, IDC_RANGE_BOTTOM, L"400");
    box = PressForMessageBox(hwnd, IDOK);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(DismissMessageBox(box));
    EXPECT_TRUE(WaitFor([&] { return focused() == ::GetDlgItem(hwnd, IDC_RANGE_LEFT); }, kStepTimeout));

    // Enter in a box neither closes the dialog nor presses a button.
    ::SetDlgItemTextW(hwnd, IDC_RANGE_LEFT, L"");
    ASSERT_TRUE(qelvo::test::SendKey(VK_RETURN));
    ASSERT_TRUE(qelvo::test::SendKey(VK_ESCAPE));
    ASSERT_TRUE(qelvo::test::TypeText(L"20"));
    ASSERT_TRUE(WaitFor([&] { return ItemText(hwnd, IDC_RANGE_LEFT) == L"20"; }, kStepTimeout));
    EXPECT_EQ(qelvo::test::FindTopWindow({L"#32770", fw::ProgramName().c_str(), ::GetCurrentProcessId()}), nullptr);
    EXPECT_FALSE(run.Wait(0));

    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(hwnd, IDOK), [&] { return run.Wait(0); }, kStepTimeout));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(dialog.range, R(20, 10, 500, 400));
}

TEST_F(RangeDialog, ShowRangeInvertsTheTypedRectangleForASecond)
{
    CalibrationRangeDialog dialog(nullptr);
    UiThread run([&] { return dialog.RunModal(); });
    HWND hwnd = nullptr;
    RECT own{};
    ASSERT_NO_FATAL_FAILURE(OpenInFront(run, &hwnd, &own));
    ::SetDlgItemTextW(hwnd, IDC_RANGE_LEFT, L"40");
    ::SetDlgItemTextW(hwnd, IDC_RANGE_TOP, L"30");
    ::SetDlgItemTextW(hwnd, IDC_RANGE_RIGHT, L"300");
    ::SetDlgItemTextW(hwnd, IDC_RANGE_BOTTOM, L"200");
    Shot before;
    ASSERT_TRUE(before.Take(VirtualScreen()));
    ASSERT_TRUE(qelvo::test::ClickWindow(::GetDlgItem(hwnd, IDC_SHOW_RANGE)));
    Shot during;
    ASSERT_TRUE(WaitFor(
        [&] {
            return during.Take(VirtualScreen()) && during.At(100, 100) == Inverse(before.At(100, 100)) &&
                   during.At(30, 100) == before.At(30, 100);
        },
        kStepTimeout, 5));
    const DWORD seen = ::GetTickCount();
    qelvo::test::CaptureScreenPng(L"range-show.png");
    Shot after;
    ASSERT_TRUE(WaitFor([&] { return after.Take(VirtualScreen()) && DifferingPixels(before, after, &own) == 0; },
                        kStepTimeout, 5));
    std::printf("show range visible for about %lu ms\n", static_cast<unsigned long>(::GetTickCount() - seen));
    EXPECT_EQ(dialog.range, R(40, 30, 300, 200));
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(run.Wait(kStepTimeout));
}

// RunCustomRange: the 178/179 rule, inverted and unreachable ranges, string 22, and the dialog
// shown again with its own rectangle.
TEST_F(RangeDialog, RunCustomRangeRefusesSmallInvertedAndUnreachableRanges)
{
    DisplaySelectDialog select(nullptr);
    ASSERT_TRUE(select.EnumerateDisplays());
    std::atomic<bool> accepted{false};
    UiThread run([&] {
        accepted = select.RunCustomRange();
        return INT_PTR(0);
    });
    ASSERT_TRUE(run.Start());
    const std::wstring tooSmall = LoadProgramString(IDS_RANGE_TOO_SMALL);
    ASSERT_EQ(tooSmall, qelvo::test::InLanguage(L"选择的校准区域太小，请重新选择！",
                                                 L"The chosen calibration area is too small. Please choose again!"));

    const struct {
        long left, top, right, bottom;
    } refused[] = {
        {100, 100, 278, 400},     // 178 wide
        {100, 100, 400, 278},     // 178 high
        {400, 100, 100, 400},     // typed the wrong way round
        {0, 0, 100000, 700},      // x 32767 no longer fits 32 bits
        {-70000, 0, 500, 700},
    };
    for (const auto& r : refused) {
        HWND hwnd = WaitForRangeDialog();
        ASSERT_NE(hwnd, nullptr);
        // Each showing starts from the new window's own rectangle.
        EXPECT_TRUE(WaitFor([&] { return BoxesShow(hwnd, WindowRectOf(hwnd)); }, kStepTimeout));
        ASSERT_TRUE(TypeRangeAndConfirm(hwnd, r.left, r.top, r.right, r.bottom));
        HWND box = WaitForMessageBox();
        ASSERT_NE(box, nullptr) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        EXPECT_EQ(qelvo::test::MessageBoxText(box), tooSmall);
        ASSERT_TRUE(DismissMessageBox(box));
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(hwnd); }, kStepTimeout));
        EXPECT_EQ(select.chosenRect, R(0, 0, 0, 0));
    }
    HWND hwnd = WaitForRangeDialog();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(TypeRangeAndConfirm(hwnd, 100, 100, 279, 279));
    ASSERT_TRUE(run.Wait(kStepTimeout));
    EXPECT_TRUE(accepted);
    EXPECT_EQ(select.chosenRect, R(100, 100, 279, 279));
    // 100 x 32767 / 1024 = 3199.9, 100 x 32767 / 768 = 4266.5, 279 x 32767 / 1024 = 8927.7,
    // 279 x 32767 / 768 = 11903.4: truncated.
    EXPECT_EQ(select.chosenRange, R(3199, 4266, 8927, 11903));
}

TEST_F(RangeDialog, RunCustomRangeCancelledLeavesTheResults)
{
    DisplaySelectDialog select(nullptr);
    ASSERT_TRUE(select.EnumerateDisplays());
    select.chosenRect = R(1, 2, 3, 4);
    std::atomic<bool> accepted{true};
    UiThread run([&] {
        accepted = select.RunCustomRange();
        return INT_PTR(0);
    });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForRangeDialog();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(hwnd, IDCANCEL), [&] { return run.Wait(0); }, kStepTimeout));
    EXPECT_FALSE(accepted);
    EXPECT_EQ(select.chosenRect, R(1, 2, 3, 4));
}

} // namespace
