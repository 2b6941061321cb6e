// The calibration window and its worker in this process, against the simulated driver: prompt
// layout on screen, the events behind Esc, Enter, the timer and a system close, and accuracy on
// an area away from the desktop's origin. The test defines the application object itself.
#include "calibrate/CalibrationApp.h"
#include "calibrate/CalibrationDialog.h"
#include "calibrate/RectMapper.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using namespace caltest;
using namespace qelvo::test;

calibrate::CalibrationApp theApp;

// A message box shown by this process (caption: the test program's name).
HWND FindMessageBox()
{
    for (HWND box : FindTopWindows({L"#32770", nullptr, GetCurrentProcessId()})) {
        if (GetDlgItem(box, 1000) == nullptr && !MessageBoxText(box).empty())
            return box;
    }
    return nullptr;
}

// Runs a CalibrationDialog modally on a thread of its own, as the program's UI thread would.
class DialogThread {
public:
    DialogThread() = default;
    ~DialogThread()
    {
        if (thread_ == nullptr)
            return;
        // A test that stopped early may leave a failure message open: answer it.
        const bool ended = WaitFor(
            [&] {
                if (HWND box = FindMessageBox())
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
                return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
            },
            60000);
        if (!ended)
            ADD_FAILURE() << "the calibration window's thread did not end";
        CloseHandle(thread_);
    }
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;

    bool Start()
    {
        thread_ = CreateThread(nullptr, 0, &DialogThread::Run, this, 0, &threadId_);
        if (thread_ == nullptr)
            return false;
        return WaitFor([&] { return Window() != nullptr; }, 30000);
    }
    HWND Window() const
    {
        HWND found = nullptr;
        EnumThreadWindows(threadId_, &DialogThread::Find, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    calibrate::CalibrationDialog* Dialog() const { return dialog_; }
    // Blocks without polling (this thread owns no window).
    bool Join(DWORD timeoutMs) { return thread_ != nullptr && WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }
    bool Ended(DWORD timeoutMs) { return thread_ != nullptr && WaitFor([&] { return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }, timeoutMs); }

private:
    static BOOL CALLBACK Find(HWND hwnd, LPARAM found)
    {
        wchar_t cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        if (std::wstring(cls) == L"#32770" && GetDlgItem(hwnd, 1000) != nullptr && IsWindowVisible(hwnd)) {
            *reinterpret_cast<HWND*>(found) = hwnd;
            return FALSE;
        }
        return TRUE;
    }
    static DWORD WINAPI Run(void* self)
    {
        DialogThread& me = *static_cast<DialogThread*>(self);
        calibrate::CalibrationDialog dialog(nullptr);
        me.dialog_ = &dialog;
        dialog.RunModal();
        me.dialog_ = nullptr;
        return 0;
    }

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    calibrate::CalibrationDialog* volatile dialog_ = nullptr;
};

bool PressEnter(HWND window)
{
    if (PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0))
        return true;
    std::printf("Enter not posted: error %lu, window %s\n", GetLastError(), IsWindow(window) ? "alive" : "gone");
    return false;
}

class CalibrationScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fw::InitCommonControlClasses()); }

    void Prepare(Panel panel, const RECT& area)
    {
        ASSERT_TRUE(rig.Prepare(panel)) << rig.Sim().LastError();
        ASSERT_TRUE(theApp.deviceManager.Initialize());
        ASSERT_TRUE(theApp.deviceManager.SelectByName(kObjectName));
        theApp.displayRect = calibrate::Rect{area.left, area.top, area.right, area.bottom};
        const touchsim::DesktopGeometry desktop = touchsim::SystemDesktop();
        const calibrate::Rect screen = {desktop.virtualScreen.left, desktop.virtualScreen.top,
                                        desktop.virtualScreen.right, desktop.virtualScreen.bottom};
        const calibrate::RectMapper toNormal(calibrate::NormalisedScreen(desktop.fullScale), screen);
        const calibrate::Rect normal = toNormal.MapRect(theApp.displayRect);
        theApp.screenRange = calibrate::ScreenRange{normal.left, normal.top, normal.right, normal.bottom};
    }

    void TearDown() override
    {
        if (HWND box = FindMessageBox())
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        theApp.deviceManager.Release();
        rig.Sim().Reset();
        DWORD error = 0;
        touchsim::RemoveAllDeviceNodes(&error);
    }

    // The calibration ended: window gone, no message, mode back, nothing stored, device closed.
    void ExpectEndedWithoutStoring(DialogThread& run)
    {
        EXPECT_TRUE(run.Ended(30000));
        EXPECT_EQ(FindMessageBox(), nullptr);
        uint32_t mode = 0;
        ASSERT_TRUE(CurrentMode(rig, &mode));
        EXPECT_EQ(mode, kInitialMode);
        EXPECT_TRUE(NothingStored());
        touchsim::SimSummary summary = {};
        ASSERT_TRUE(rig.Sim().GetSummary(&summary));
        EXPECT_EQ(summary.openHandles, 1u) << "only the test's own handle stays open";
    }

    Rig rig;
};

RECT FullScreen()
{
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The text's size as DrawText measures it with the static's font on the window's DC.
SIZE Measure(HWND dialog, int id, const std::wstring& text)
{
    HDC dc = GetWindowDC(dialog);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(dialog, id), WM_GETFONT, 0, 0)));
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_CENTER);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT ItemRect(HWND dialog, int id)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(CalibrationScreen, PromptsFormOneCentredBlockAndAStaleTimerIsIgnored)
{
    const RECT area = FullScreen();
    ASSERT_NO_FATAL_FAILURE(Prepare(Panel::Straight, area));
    DialogThread run;
    ASSERT_TRUE(run.Start());
    HWND dialog = run.Window();
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptTarget[0], 30000));

    // The window covers the area exactly and stays on top.
    RECT placed = {};
    GetWindowRect(dialog, &placed);
    EXPECT_EQ(placed.left, area.left);
    EXPECT_EQ(placed.top, area.top);
    EXPECT_EQ(placed.right, area.right);
    EXPECT_EQ(placed.bottom, area.bottom);
    EXPECT_NE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

    const LONG W = area.right - area.left, H = area.bottom - area.top;
    {
        const SIZE upper = Measure(dialog, 1003, kPromptTarget[0]);
        const SIZE lower = Measure(dialog, 1004, kPromptCancel);
        const SIZE oneLine = Measure(dialog, 1003, L"请用手指触摸屏幕左上角的目标靶");
        EXPECT_EQ(upper.cy, 2 * oneLine.cy) << "the line break makes two lines";
        const LONG y1 = (H - upper.cy - lower.cy - 20) / 2;
        const RECT u = ItemRect(dialog, 1003), l = ItemRect(dialog, 1004);
        EXPECT_EQ(u.left, (W - upper.cx) / 2);
        EXPECT_EQ(u.top, y1);
        EXPECT_EQ(u.right - u.left, upper.cx);
        EXPECT_EQ(u.bottom - u.top, upper.cy);
        EXPECT_EQ(l.left, (W - lower.cx) / 2);
        EXPECT_EQ(l.top, y1 + upper.cy + 20);
        EXPECT_EQ(l.bottom - l.top, lower.cy);
        EXPECT_EQ(ItemText(dialog, 1004), kPromptCancel);
        CaptureScreenPng(L"calibration-target-prompts.png");
    }

    // A single prompt stands alone, the 20-pixel gap still counted below it.
    SendMessageW(dialog, calibrate::WM_CALIBRATION_PROMPT, 15, 0);
    {
        const SIZE upper = Measure(dialog, 1003, kPromptMoving);
        const RECT u = ItemRect(dialog, 1003);
        EXPECT_EQ(u.left, (W - upper.cx) / 2);
        EXPECT_EQ(u.top, (H - upper.cy - 20) / 2);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, 1004)));
        EXPECT_EQ(ItemText(dialog, 1003), kPromptMoving);
    }
    SendMessageW(dialog, calibrate::WM_CALIBRATION_PROMPT, 0, 7);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, 1003)));
    {
        const SIZE lower = Measure(dialog, 1004, kPromptCancel);
        EXPECT_EQ(ItemRect(dialog, 1004).top, (H - lower.cy - 20) / 2 + 20);
    }

    // A timer message with another id leaves the target waiting: the worker goes on polling.
    calibrate::CalibrationDialog* calibration = run.Dialog();
    ASSERT_NE(calibration, nullptr);
    const UINT_PTR running = calibration->TimerId();
    ASSERT_NE(running, 0u);
    PostMessageW(dialog, WM_TIMER, running + 7, 0);
    SendMessageW(dialog, WM_NULL, 0, 0);
    touchsim::SimControllerState before = {};
    ASSERT_TRUE(rig.State(&before));
    ASSERT_TRUE(WaitFor(
        [&] {
            touchsim::SimControllerState now = {};
            return rig.State(&now) && now.requests[3] >= before.requests[3] + 3;
        },
        30000));
    EXPECT_TRUE(IsWindow(dialog));
    uint32_t mode = 0;
    ASSERT_TRUE(CurrentMode(rig, &mode));
    EXPECT_EQ(mode, 3u);

    // The running timer's id cancels, as the 30 seconds would.
    PostMessageW(dialog, WM_TIMER, running, 0);
    ExpectEndedWithoutStoring(run);
}

TEST_F(CalibrationScreen, EscCancelsATargetIsIgnoredInTheGlideAndEnterAcceptsTheTry)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(Panel::Straight, FullScreen()));
    {
        DialogThread run;
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(WaitForPrompt(run.Window(), kPromptTarget[0], 30000));
        // Enter outside the verification sets an event nobody waits for.
        PostMessageW(run.Window(), WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(run.Window(), WM_KEYDOWN, VK_ESCAPE, 0);
        ExpectEndedWithoutStoring(run);
    }
    ASSERT_TRUE(rig.Sim().ClearHistory());
    {
        DialogThread run;
        ASSERT_TRUE(run.Start());
        const HWND window = run.Window();
        std::array<POINT, 3> raw = {};
        // Esc while the target glides is dropped: the next target still comes.
        ASSERT_TRUE(WaitForPrompt(window, kPromptTarget[0], 30000));
        ASSERT_TRUE(rig.Tap(TargetCentre(window), &raw[0]));
        ASSERT_TRUE(WaitFor([&] { return ItemText(window, 1003) == kPromptMoving; }, 30000, 5));
        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        for (int i = 1; i < 3; ++i) {
            ASSERT_TRUE(WaitForPrompt(window, kPromptTarget[i], 30000)) << "target " << i;
            ASSERT_TRUE(rig.Tap(TargetCentre(window), &raw[i]));
        }
        ASSERT_TRUE(WaitForPrompt(window, kPromptCheck, 30000));
        ASSERT_TRUE(AnswerUntil([&] { return PressEnter(window); }, [&] { return run.Ended(0); }, 60000));
        Stored stored = {};
        DWORD error = 0;
        ASSERT_TRUE(ReadStored(&stored, &error)) << error;
        const Record expected = ExpectedRecord(raw);
        EXPECT_EQ(stored.value[0], static_cast<uint32_t>(expected.XLow));
        EXPECT_EQ(stored.value[4], expected.SwapXY);
    }
}

TEST_F(CalibrationScreen, SystemCloseEndsTheCalibrationThroughTheWorker)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(Panel::Straight, FullScreen()));
    {
        // During a target.
        DialogThread run;
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(WaitForPrompt(run.Window(), kPromptTarget[0], 30000));
        PostMessageW(run.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        ExpectEndedWithoutStoring(run);
        touchsim::SimControllerState state = {};
        ASSERT_TRUE(rig.State(&state));
        EXPECT_EQ(state.modeHistoryCount, 2u) << "mode 3, then the saved mode";
    }
    ASSERT_TRUE(rig.Sim().ClearHistory());
    {
        // During the glide and the verification: not a new pass, the end.
        DialogThread run;
        ASSERT_TRUE(run.Start());
        std::array<POINT, 3> raw = {};
        ASSERT_TRUE(TapTargets(run.Window(), rig, &raw));
        ASSERT_TRUE(WaitForPrompt(run.Window(), kPromptCheck, 30000));
        PostMessageW(run.Window(), WM_CLOSE, 0, 0);
        ExpectEndedWithoutStoring(run);
        touchsim::SimControllerState state = {};
        ASSERT_TRUE(rig.State(&state));
        EXPECT_EQ(state.requests[4], 3u) << "no second pass";
    }
}

// Wine reports no CPU times for other processes: the idle cost is measured here, in-process.
ULONGLONG ProcessCpu100ns()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    return ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
           ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart;
}

TEST_F(CalibrationScreen, WaitingTargetTimesOutAndCostsLittleCpu)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(Panel::Straight, FullScreen()));
    DialogThread run;
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(WaitForPrompt(run.Window(), kPromptTarget[0], 30000));
    const ULONGLONG before = ProcessCpu100ns();
    const DWORD from = GetTickCount();
    // Nothing touches: the 30-second timer ends the calibration. This thread only waits.
    ASSERT_TRUE(run.Join(60000));
    const DWORD waited = GetTickCount() - from;
    const ULONGLONG used = ProcessCpu100ns() - before;
    EXPECT_GE(waited, 25000u);
    const double percent = 100.0 * (static_cast<double>(used) / 10000.0) / waited;
    std::printf("idle target: %.0f ms CPU in %lu ms = %.2f %% of a core\n", static_cast<double>(used) / 10000.0,
                static_cast<unsigned long>(waited), percent);
    RecordProperty("idle_cpu_per_mille", static_cast<int>(percent * 10));
    ExpectEndedWithoutStoring(run);
}

// Accuracy on an area that is not at the desktop's origin, for every panel kind.
TEST_F(CalibrationScreen, CustomAreaAwayFromTheOriginIsAccurateForEveryPanel)
{
    const RECT area = {160, 96, 880, 676};
    const Panel panels[] = {Panel::Straight, Panel::MirrorX, Panel::MirrorY, Panel::Swapped, Panel::SwappedMirrored};
    for (Panel panel : panels) {
        SCOPED_TRACE(PanelName(panel));
        theApp.deviceManager.Release();
        ASSERT_NO_FATAL_FAILURE(Prepare(panel, area));
        DialogThread run;
        ASSERT_TRUE(run.Start());
        const HWND window = run.Window();
        std::array<POINT, 3> raw = {}, centres = {};
        ASSERT_TRUE(TapTargets(window, rig, &raw, &centres));
        // Targets one fifth in from the area's edges, truncating.
        const LONG W = area.right - area.left, H = area.bottom - area.top;
        EXPECT_EQ(centres[0].x, area.left + W / 5);
        EXPECT_EQ(centres[0].y, area.top + H / 5);
        EXPECT_EQ(centres[1].x, area.left + W - W / 5);
        EXPECT_EQ(centres[1].y, area.top + H - H / 5);
        EXPECT_EQ(centres[2].x, area.left + W - W / 5);
        EXPECT_EQ(centres[2].y, area.top + H / 5);
        ASSERT_TRUE(WaitForPrompt(window, kPromptCheck, 30000));
        if (panel == Panel::Straight)
            CaptureScreenPng(L"calibration-custom-area-verification.png");
        ASSERT_TRUE(AnswerUntil([&] { return PressEnter(window); }, [&] { return run.Ended(0); }, 60000));

        touchsim::SimControllerState state = {};
        ASSERT_TRUE(rig.State(&state));
        const Record expected = ExpectedRecord(raw);
        EXPECT_EQ(state.calibration.XLow, expected.XLow);
        EXPECT_EQ(state.calibration.YLow, expected.YLow);
        EXPECT_EQ(state.calibration.XHigh, expected.XHigh);
        EXPECT_EQ(state.calibration.YHigh, expected.YHigh);
        EXPECT_EQ(state.calibration.SwapXY, expected.SwapXY);
        EXPECT_EQ(state.range.XMin, theApp.screenRange.XMin);
        EXPECT_EQ(state.range.XRange, theApp.screenRange.XRange);
        EXPECT_EQ(state.range.YMin, theApp.screenRange.YMin);
        EXPECT_EQ(state.range.YRange, theApp.screenRange.YRange);
        int error = -1;
        ASSERT_TRUE(MaxLandingError(rig, area, &error));
        std::printf("accuracy custom-area %s max-error=%d px\n", PanelName(panel), error);
        RecordProperty(std::string("max_error_custom_") + PanelName(panel), error);
        EXPECT_LE(error, 1);
    }
}

} // namespace
