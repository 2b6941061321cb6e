// DisplaySelectDialog in this process, on the desktop the test run gives it: one display
// (SingleDisplay), two 1024 x 768 side by side with the left one primary (DualDisplay), or three
// with one left of the primary (TripleDisplay), as QELVO_HARNESS_LAYOUT of scripts/wine-harness.sh
// sets it up; see CMakeLists.txt.
#include "DisplayTestSupport.h"

#include "calibrate/DisplayNumberWindow.h"
#include "calibrate/DisplaySelectDialog.h"
#include "calibrate/resource.h"
#include "framework/App.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

using namespace displaytest;
using calibrate::DisplayEntry;
using calibrate::DisplaySelectDialog;
using calibrate::DisplayNumberWindow;
using calibrate::Rect;
using qelvo::test::WaitFor;
using qelvo::test::WaitForWindow;

namespace {

const wchar_t* const kSelectCaption = qelvo::test::InLanguage(L"选择显示屏幕", L"Select Display");
const wchar_t* const kRangeCaption = qelvo::test::InLanguage(L"选择校准范围", L"Select Calibration Area");

// The preview rules written out again, independently of the product's layout code.
Rect ExpectedPicture(const RECT& grey, const RECT& desk)
{
    RECT p = grey;
    const double w = p.right - p.left, h = p.bottom - p.top;
    const double vw = desk.right - desk.left, vh = desk.bottom - desk.top;
    const double rx = vw / w, ry = vh / h;
    if (ry > rx) {
        const long d = static_cast<long>(std::trunc((w - vw / ry) * 0.5));
        p.left += d;
        p.right -= d;
    } else if (ry < rx) {
        const long d = static_cast<long>(std::trunc((h - vh / rx) * 0.5));
        p.top += d;
        p.bottom -= d;
    }
    const long dx = static_cast<long>(std::trunc(0.2 * (p.right - p.left)));
    const long dy = static_cast<long>(std::trunc(0.2 * (p.bottom - p.top)));
    return R(p.left + dx, p.top + dy, p.right - dx, p.bottom - dy);
}

Rect ExpectedButton(const Rect& picture, const RECT& desk, const RECT& monitor)
{
    const int32_t fw = picture.right - picture.left, fh = picture.bottom - picture.top;
    const int32_t vw = desk.right - desk.left, vh = desk.bottom - desk.top;
    auto x = [&](int32_t v) { return (v - desk.left) * fw / vw + picture.left; };
    auto y = [&](int32_t v) { return (v - desk.top) * fh / vh + picture.top; };
    return R(x(monitor.left), y(monitor.top), x(monitor.right), y(monitor.bottom));
}

// The monitors as the system lists them, in its order.
std::vector<RECT> SystemMonitors()
{
    std::vector<RECT> found;
    ::EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, LPRECT rect, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<RECT>*>(list)->push_back(*rect);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// A child control's rectangle in its dialog's client coordinates.
Rect ClientRectOf(HWND dialog, HWND control)
{
    RECT r = WindowRectOf(control);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return FromRECT(r);
}

std::vector<HWND> NumberWindows()
{
    return qelvo::test::FindTopWindows({DisplayNumberWindow::kClassName, nullptr, ::GetCurrentProcessId()});
}

class CountOverride : public DisplaySelectDialog {
public:
    explicit CountOverride(int count) : DisplaySelectDialog(nullptr), count_(count) {}

protected:
    int CountMonitors() const override { return count_; }

private:
    int count_;
};

class DisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fw::InitCommonControlClasses()); }
    void TearDown() override
    {
        // Number windows of a test free themselves; none may outlive the test by much.
        EXPECT_TRUE(WaitFor([] { return DisplayNumberWindow::LiveCount() == 0; }, kStepTimeout));
    }
};

// ---- one display (the harness's own 1024 x 768 screen)

class SingleDisplay : public DisplayTest {
protected:
    void SetUp() override { ASSERT_EQ(::GetSystemMetrics(SM_CMONITORS), 1) << "run on a single display"; }
};

TEST_F(SingleDisplay, ClosesDuringInitialisationWithTheWholeDisplay)
{
    DisplaySelectDialog dialog(nullptr);
    ASSERT_TRUE(dialog.EnumerateDisplays());
    ASSERT_EQ(dialog.DisplayCount(), 1u);
    const DisplayEntry* entry = dialog.Display(0);
    ASSERT_NE(entry, nullptr);
    const RECT monitor = SystemMonitors().at(0);
    EXPECT_EQ(entry->monitorRect, FromRECT(monitor));
    EXPECT_EQ(entry->normalRect, R(0, 0, 32767, 32767));
    EXPECT_NE(entry->description.find(L" -> "), std::wstring::npos);

    EXPECT_EQ(dialog.RunModal(), IDOK);
    EXPECT_EQ(dialog.chosenRect, FromRECT(monitor));
    EXPECT_EQ(dialog.chosenRange, R(0, 0, 32767, 32767));
    EXPECT_EQ(dialog.Handle(), nullptr);
}

// Every paint must end with EndPaint also when BeginPaint gives no DC, or the window's DC and
// update state are never given back and WM_PAINT comes again and again.
TEST_F(SingleDisplay, NumberWindowEndsEveryPaintAlsoWhenBeginPaintGivesNoDc)
{
    qelvo::test::FailingPaints paints;
    ASSERT_TRUE(paints.Installed());
    const RECT monitor = SystemMonitors().at(0);
    ASSERT_TRUE(DisplayNumberWindow::Show(1, FromRECT(monitor)));
    HWND number = WaitForWindow({DisplayNumberWindow::kClassName, nullptr, ::GetCurrentProcessId()}, kStepTimeout);
    ASSERT_NE(number, nullptr);
    for (int i = 0; i < 3; ++i) {
        ::InvalidateRect(number, nullptr, FALSE);
        ::UpdateWindow(number);
    }
    EXPECT_GE(paints.Begun(), 3);
    EXPECT_EQ(paints.Ended(), paints.Begun());
}

TEST_F(SingleDisplay, CustomSwitchOpensTheRangeDialogAndCancelTakesTheWholeDisplay)
{
    DisplaySelectDialog dialog(nullptr);
    dialog.askCustomRange = true;
    ASSERT_TRUE(dialog.EnumerateDisplays());
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND range = WaitForWindow({L"#32770", kRangeCaption, ::GetCurrentProcessId()}, kWindowTimeout);
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(qelvo::test::FindTopWindow({L"#32770", kSelectCaption, ::GetCurrentProcessId()}), nullptr);
    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(range, IDCANCEL), [&] { return run.Wait(0); }, kStepTimeout));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(dialog.chosenRect, R(0, 0, 1024, 768));
    EXPECT_EQ(dialog.chosenRange, R(0, 0, 32767, 32767));
}

TEST_F(SingleDisplay, CustomSwitchTakesAConfirmedRange)
{
    DisplaySelectDialog dialog(nullptr);
    dialog.askCustomRange = true;
    ASSERT_TRUE(dialog.EnumerateDisplays());
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND range = WaitForWindow({L"#32770", kRangeCaption, ::GetCurrentProcessId()}, kWindowTimeout);
    ASSERT_NE(range, nullptr);
    ASSERT_TRUE(TypeRangeAndConfirm(range, 256, 192, 768, 576));
    ASSERT_TRUE(run.Wait(kStepTimeout));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(dialog.chosenRect, R(256, 192, 768, 576));
    // 256 x 32767 / 1024 = 8191.75, 192 x 32767 / 768 = 8191.75, both truncated.
    EXPECT_EQ(dialog.chosenRange, R(8191, 8191, 24575, 24575));
}

// ---- two 1024 x 768 displays side by side, the left one primary

class DualDisplay : public DisplayTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::GetSystemMetrics(SM_CMONITORS), 2) << "run under QELVO_HARNESS_LAYOUT=two";
        const RECT desk = VirtualScreen();
        ASSERT_EQ(FromRECT(desk), R(0, 0, 2048, 768));
    }
};

TEST_F(DualDisplay, EnumeratesAndDescribesBothDisplays)
{
    DisplaySelectDialog dialog(nullptr);
    ASSERT_TRUE(dialog.EnumerateDisplays());
    ASSERT_EQ(dialog.DisplayCount(), 2u);
    EXPECT_EQ(dialog.VirtualScreen(), R(0, 0, 2048, 768));
    EXPECT_EQ(dialog.NormalScreen(), R(0, 0, 32767, 32767));
    const std::vector<RECT> monitors = SystemMonitors();
    ASSERT_EQ(monitors.size(), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const DisplayEntry& entry = *dialog.Display(i);
        EXPECT_EQ(entry.monitorRect, FromRECT(monitors[i])) << i;
        EXPECT_EQ(entry.width, 1024);
        EXPECT_EQ(entry.height, 768);
        EXPECT_FALSE(entry.deviceName.empty());
        EXPECT_NE(entry.description.find(L" -> "), std::wstring::npos) << i;
        EXPECT_GT(entry.description.size(), 4u);
        if (entry.monitorRect.left == 0)
            EXPECT_EQ(entry.normalRect, R(0, 0, 16383, 32767));
        else
            EXPECT_EQ(entry.normalRect, R(16383, 0, 32767, 32767));
    }
    EXPECT_NE(dialog.Display(0)->deviceName, dialog.Display(1)->deviceName);
}

TEST_F(DualDisplay, RefusesWhenTheEnumerationAndTheCountDisagree)
{
    CountOverride fewer(1);
    EXPECT_FALSE(fewer.EnumerateDisplays());
    CountOverride more(3);
    EXPECT_FALSE(more.EnumerateDisplays());
    CountOverride none(0);
    EXPECT_FALSE(none.EnumerateDisplays());
}

TEST_F(DualDisplay, PreviewSelectionAndOk)
{
    DisplaySelectDialog dialog(nullptr);
    ASSERT_TRUE(dialog.EnumerateDisplays());
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForWindow({L"#32770", kSelectCaption, ::GetCurrentProcessId()}, kWindowTimeout);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(qelvo::test::BringToFront(hwnd));

    // Where the buttons belong, from the grey area of the live template.
    HWND grey = ::GetDlgItem(hwnd, IDC_DISPLAY_PREVIEW);
    ASSERT_NE(grey, nullptr);
    RECT area;
    ASSERT_TRUE(::GetClientRect(grey, &area));
    ::MapWindowPoints(grey, hwnd, reinterpret_cast<POINT*>(&area), 2);
    const RECT desk = VirtualScreen();
    const Rect picture = ExpectedPicture(area, desk);
    const std::vector<RECT> monitors = SystemMonitors();
    HWND buttons[2];
    for (int i = 0; i < 2; ++i) {
        buttons[i] = ::GetDlgItem(hwnd, IDC_MONITOR_BUTTON_FIRST + i);
        ASSERT_NE(buttons[i], nullptr) << i;
        EXPECT_EQ(ClientRectOf(hwnd, buttons[i]), ExpectedButton(picture, desk, monitors[i])) << i;
        EXPECT_EQ(qelvo::test::WindowText(buttons[i]), std::to_wstring(i + 1));
        EXPECT_TRUE(::IsWindowVisible(buttons[i]));
        EXPECT_EQ(::GetWindowLongW(buttons[i], GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    }
    EXPECT_EQ(::GetDlgItem(hwnd, IDC_MONITOR_BUTTON_FIRST + 2), nullptr);
    // Side by side and touching: the second starts where the first ends.
    EXPECT_EQ(ClientRectOf(hwnd, buttons[0]).right, ClientRectOf(hwnd, buttons[1]).left);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(hwnd, IDOK)));
    EXPECT_EQ(qelvo::test::ItemText(hwnd, IDC_DISPLAY_NAME), L"");
    EXPECT_EQ(qelvo::test::ItemText(hwnd, IDC_DISPLAY_RESOLUTION), L"");

    // Nothing selected: OK does nothing, and neither do Enter and Esc.
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(qelvo::test::SendKey(VK_RETURN));
    ASSERT_TRUE(qelvo::test::SendKey(VK_ESCAPE));
    // Both drawn unselected: grey border, white frame, blue face.
    for (HWND button : buttons) {
        const RECT r = WindowRectOf(button);
        EXPECT_TRUE(WaitFor(
            [&] {
                Shot s;
                return s.Take(r) && s.At(r.left, r.top) == 0x808080u && s.At(r.left + 3, r.top + 3) == 0x808080u &&
                       s.At(r.left + 4, r.top + 4) == 0xFFFFFFu && s.At(r.left + 5, r.top + 5) == 0x3A6EA5u;
            },
            kStepTimeout));
    }
    qelvo::test::CaptureScreenPng(L"display-select-dual-unselected.png", &desk);

    // The right display: dark border, texts, OK enabled.
    ASSERT_TRUE(qelvo::test::ClickUntil(buttons[1], [&] { return dialog.SelectedIndex() == 1; }, kStepTimeout));
    // Input is handled in order: OK, Enter and Esc before this click left the dialog running.
    EXPECT_FALSE(run.Wait(0)) << "the dialog ended without a selection";
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(::GetDlgItem(hwnd, IDOK)) != FALSE; }, kStepTimeout));
    EXPECT_EQ(qelvo::test::ItemText(hwnd, IDC_DISPLAY_NAME), dialog.Display(1)->description);
    EXPECT_EQ(qelvo::test::ItemText(hwnd, IDC_DISPLAY_RESOLUTION), L"1024x768");
    const RECT second = WindowRectOf(buttons[1]);
    ASSERT_TRUE(WaitFor(
        [&] {
            Shot s;
            return s.Take(second) && s.At(second.left + 2, second.top + 2) == 0x0A246Au &&
                   s.At(second.left + 5, second.top + 5) == 0x3A6EA5u &&
                   s.At(second.left + 4, second.top + 4) == 0xFFFFFFu;
        },
        kStepTimeout));
    qelvo::test::CaptureScreenPng(L"display-select-dual.png", &desk);

    // Clicking the selected one again changes nothing; the other one takes the border over.
    ASSERT_TRUE(qelvo::test::ClickWindow(buttons[1]));
    ::SendMessageW(hwnd, WM_NULL, 0, 0);
    EXPECT_EQ(dialog.SelectedIndex(), 1);
    ASSERT_TRUE(qelvo::test::ClickUntil(buttons[0], [&] { return dialog.SelectedIndex() == 0; }, kStepTimeout));
    EXPECT_EQ(qelvo::test::ItemText(hwnd, IDC_DISPLAY_NAME), dialog.Display(0)->description);
    ASSERT_TRUE(WaitFor(
        [&] {
            Shot s;
            return s.Take(second) && s.At(second.left + 2, second.top + 2) == 0x808080u;
        },
        kStepTimeout));
    ASSERT_TRUE(qelvo::test::ClickUntil(buttons[1], [&] { return dialog.SelectedIndex() == 1; }, kStepTimeout));

    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(hwnd, IDOK), [&] { return run.Wait(0); }, kStepTimeout));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(dialog.chosenRect, R(1024, 0, 2048, 768));
    EXPECT_EQ(dialog.chosenRange, R(16383, 0, 32767, 32767));
}

TEST_F(DualDisplay, IdentifyShowsEachNumberOnItsDisplayForTwoSeconds)
{
    DisplaySelectDialog dialog(nullptr);
    ASSERT_TRUE(dialog.EnumerateDisplays());
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForWindow({L"#32770", kSelectCaption, ::GetCurrentProcessId()}, kWindowTimeout);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(qelvo::test::BringToFront(hwnd));
    const RECT desk = VirtualScreen();
    Shot before;
    ASSERT_TRUE(TakeSettled(before, desk, kStepTimeout));

    ASSERT_TRUE(qelvo::test::ClickWindow(::GetDlgItem(hwnd, IDC_IDENTIFY)));
    const DWORD clicked = ::GetTickCount();
    std::vector<HWND> shown;
    ASSERT_TRUE(WaitFor([&] { return (shown = NumberWindows()).size() == 2; }, kStepTimeout));
    const std::vector<RECT> monitors = SystemMonitors();
    for (HWND number : shown) {
        const std::wstring text = qelvo::test::WindowText(number);
        ASSERT_TRUE(text == L"1" || text == L"2");
        const size_t index = text == L"1" ? 0 : 1;
        EXPECT_EQ(FromRECT(WindowRectOf(number)), FromRECT(monitors[index])) << index;
        EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(number, GWL_STYLE)) & (WS_POPUP | WS_CAPTION | WS_BORDER),
                  static_cast<DWORD>(WS_POPUP));
        EXPECT_EQ(::GetWindow(number, GW_OWNER), nullptr);
    }
    // Large white digits: a narrow "1" on the first display, a wider "2" on the second.
    // Both digits drawn, and the same in two shots in a row.
    WhiteBlob one, two;
    Shot during;
    ASSERT_TRUE(WaitFor(
        [&] {
            if (!during.Take(desk))
                return false;
            const WhiteBlob lastOne = one, lastTwo = two;
            one = NewWhite(before, during, monitors[0]);
            two = NewWhite(before, during, monitors[1]);
            return one.count > 3000 && two.count > 3000 && one.count == lastOne.count &&
                   two.count == lastTwo.count && EqualRect(&one.box, &lastOne.box) &&
                   EqualRect(&two.box, &lastTwo.box);
        },
        kStepTimeout));
    qelvo::test::CaptureScreenPng(L"identify-dual.png", &desk);
    EXPECT_GT(one.box.bottom - one.box.top, 250);
    EXPECT_GT(two.box.bottom - two.box.top, 250);
    EXPECT_LT(one.box.right - one.box.left, two.box.right - two.box.left)
        << "digit boxes " << testing::PrintToString(FromRECT(one.box)) << " and "
        << testing::PrintToString(FromRECT(two.box));
    EXPECT_LT(std::abs(Centre(two.box).x - Centre(monitors[1]).x), 120);

    ASSERT_TRUE(WaitFor([] { return NumberWindows().empty(); }, kStepTimeout));
    const DWORD lifetime = ::GetTickCount() - clicked;
    EXPECT_GE(lifetime, 1900u);
    ASSERT_TRUE(WaitFor([] { return DisplayNumberWindow::LiveCount() == 0; }, kStepTimeout));
    std::printf("number windows lived %lu ms; digits %ld and %ld px wide\n", static_cast<unsigned long>(lifetime),
                static_cast<long>(one.box.right - one.box.left), static_cast<long>(two.box.right - two.box.left));

    // The dialog is still there and answers.
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(dialog.SelectedIndex(), -1);
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(run.Wait(kStepTimeout));
    EXPECT_EQ(run.Result(), IDCANCEL);
}

// The range dialog is owned by the selection dialog, which is disabled while it runs: no second
// range dialog, and a cancel of the selection meanwhile stays a cancel when the range is confirmed.
TEST_F(DualDisplay, RangeDialogBlocksTheSelectionAndACancelStaysACancel)
{
    DisplaySelectDialog dialog(nullptr);
    ASSERT_TRUE(dialog.EnumerateDisplays());
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForWindow({L"#32770", kSelectCaption, ::GetCurrentProcessId()}, kWindowTimeout);
    ASSERT_NE(hwnd, nullptr);
    HWND range = nullptr;
    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(hwnd, IDC_CUSTOM_RANGE), [&] {
        return (range = qelvo::test::FindTopWindow({L"#32770", kRangeCaption, ::GetCurrentProcessId()})) != nullptr;
    }, kWindowTimeout));
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(::GetWindow(range, GW_OWNER), hwnd);
    EXPECT_FALSE(::IsWindowEnabled(hwnd));

    // Custom once more (as a click that got through would) opens nothing.
    ASSERT_TRUE(::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_CUSTOM_RANGE, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, IDC_CUSTOM_RANGE))));
    EXPECT_FALSE(WaitFor([&] {
        return qelvo::test::FindTopWindows({L"#32770", kRangeCaption, ::GetCurrentProcessId()}).size() > 1;
    }, 1000));

    // The selection is cancelled from outside, then the range confirmed: the result is Cancel.
    ASSERT_TRUE(::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0));
    ASSERT_TRUE(TypeRangeAndConfirm(range, 512, 0, 1536, 768));
    ASSERT_TRUE(run.Wait(kStepTimeout));
    EXPECT_EQ(run.Result(), IDCANCEL);
}

TEST_F(DualDisplay, CustomRangeAcrossBothDisplays)
{
    DisplaySelectDialog dialog(nullptr);
    ASSERT_TRUE(dialog.EnumerateDisplays());
    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForWindow({L"#32770", kSelectCaption, ::GetCurrentProcessId()}, kWindowTimeout);
    ASSERT_NE(hwnd, nullptr);

    // Cancelled: the selection dialog stays as it was.
    HWND range = nullptr;
    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(hwnd, IDC_CUSTOM_RANGE), [&] {
        return (range = qelvo::test::FindTopWindow({L"#32770", kRangeCaption, ::GetCurrentProcessId()})) != nullptr;
    }, kWindowTimeout));
    ASSERT_NE(range, nullptr);
    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(range, IDCANCEL), [&] { return !::IsWindow(range); }, kStepTimeout));
    ::SendMessageW(hwnd, WM_NULL, 0, 0);
    EXPECT_FALSE(run.Wait(0));
    EXPECT_EQ(dialog.SelectedIndex(), -1);
    EXPECT_EQ(dialog.chosenRect, R(0, 0, 0, 0));

    range = nullptr;
    ASSERT_TRUE(qelvo::test::ClickUntil(::GetDlgItem(hwnd, IDC_CUSTOM_RANGE), [&] {
        return (range = qelvo::test::FindTopWindow({L"#32770", kRangeCaption, ::GetCurrentProcessId()})) != nullptr;
    }, kWindowTimeout));
    ASSERT_NE(range, nullptr);
    ASSERT_TRUE(TypeRangeAndConfirm(range, 512, 0, 1536, 768));
    ASSERT_TRUE(run.Wait(kStepTimeout));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(dialog.chosenRect, R(512, 0, 1536, 768));
    EXPECT_EQ(dialog.chosenRange, R(8191, 0, 24575, 32767));
}

// ---- three displays: the primary, one left of it, a smaller one right of it

class TripleDisplay : public DisplayTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::GetSystemMetrics(SM_CMONITORS), 3) << "run under QELVO_HARNESS_LAYOUT=three";
        ASSERT_LT(::GetSystemMetrics(SM_XVIRTUALSCREEN), 0);
    }
};

TEST_F(TripleDisplay, LeftOfPrimaryStartsAtZeroAndIdentifyShowsThreeNumbers)
{
    DisplaySelectDialog dialog(nullptr);
    ASSERT_TRUE(dialog.EnumerateDisplays());
    ASSERT_EQ(dialog.DisplayCount(), 3u);
    const RECT desk = VirtualScreen();
    const std::vector<RECT> monitors = SystemMonitors();
    ASSERT_EQ(monitors.size(), 3u);
    int leftmost = -1;
    for (uint32_t i = 0; i < 3; ++i) {
        const DisplayEntry& entry = *dialog.Display(i);
        EXPECT_EQ(entry.monitorRect, FromRECT(monitors[i]));
        if (entry.monitorRect.left == desk.left)
            leftmost = static_cast<int>(i);
        EXPECT_EQ(entry.width, monitors[i].right - monitors[i].left);
        EXPECT_EQ(entry.height, monitors[i].bottom - monitors[i].top);
    }
    ASSERT_GE(leftmost, 0);
    EXPECT_LT(dialog.Display(leftmost)->monitorRect.left, 0);
    EXPECT_EQ(dialog.Display(leftmost)->normalRect.left, 0);

    UiThread run([&] { return dialog.RunModal(); });
    ASSERT_TRUE(run.Start());
    HWND hwnd = WaitForWindow({L"#32770", kSelectCaption, ::GetCurrentProcessId()}, kWindowTimeout);
    ASSERT_NE(hwnd, nullptr);
    HWND grey = ::GetDlgItem(hwnd, IDC_DISPLAY_PREVIEW);
    RECT area;
    ASSERT_TRUE(::GetClientRect(grey, &area));
    ::MapWindowPoints(grey, hwnd, reinterpret_cast<POINT*>(&area), 2);
    const Rect picture = ExpectedPicture(area, desk);
    for (int i = 0; i < 3; ++i) {
        HWND button = ::GetDlgItem(hwnd, IDC_MONITOR_BUTTON_FIRST + i);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(ClientRectOf(hwnd, button), ExpectedButton(picture, desk, monitors[i])) << i;
    }

    Shot before;
    ASSERT_TRUE(TakeSettled(before, desk, kStepTimeout));
    ASSERT_TRUE(qelvo::test::ClickWindow(::GetDlgItem(hwnd, IDC_IDENTIFY)));
    std::vector<HWND> shown;
    ASSERT_TRUE(WaitFor([&] { return (shown = NumberWindows()).size() == 3; }, kStepTimeout));
    for (HWND number : shown) {
        const int n = std::stoi(qelvo::test::WindowText(number));
        ASSERT_TRUE(n >= 1 && n <= 3);
        EXPECT_EQ(FromRECT(WindowRectOf(number)), FromRECT(monitors[n - 1])) << n;
    }
    Shot during;
    ASSERT_TRUE(WaitFor(
        [&] {
            if (!during.Take(desk))
                return false;
            for (const RECT& m : monitors)
                if (NewWhite(before, during, m).count < 3000)
                    return false;
            return true;
        },
        kStepTimeout));
    qelvo::test::CaptureScreenPng(L"identify-triple.png", &desk);
    ASSERT_TRUE(WaitFor([] { return NumberWindows().empty(); }, kStepTimeout));

    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(run.Wait(kStepTimeout));
    EXPECT_EQ(run.Result(), IDCANCEL);
}

} // namespace
