// The calibration window and its worker in this process, against the simulated driver: prompt
// layout on screen, the events behind Esc, Enter, the timer and a system close, the requests the
// driver sees, failures reached from inside the process (refused privilege, failed wait, refused
// registry write) and accuracy on an area away from the desktop's origin. The window gets its
// inputs directly; no application object is involved.
#include "calibrate/CalibrationDialog.h"
#include "calibrate/CalibrationInputs.h"
#include "device/TouchDeviceManager.h"
#include "framework/App.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"
#include "tests/wine/calibration/CalibrationWindowThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using namespace caltest;
using namespace qelvo::test;

using DialogThread = CalibrationWindowThread;

// Calls of this process redirected through its import table, each doing harm only when asked.
namespace hook {

decltype(&AdjustTokenPrivileges) realAdjust;
decltype(&WaitForSingleObject) realWait;
decltype(&RegSetValueExW) realSetValue;
decltype(&PostMessageW) realPost;

std::atomic<bool> refusePrivilege{false};
std::atomic<long> failPolls{0};       // waits of the worker's 100 ms poll still to fail
std::atomic<const wchar_t*> refusedValue{nullptr};
DWORD testThread;
std::atomic<DWORD> windowThread{0};     // not 0: WM_CLOSE posts of other threads fail
std::atomic<long> foreignWakes{0};      // WM_NULL posts (a modal run's end) of another thread

// The account does not hold the privilege: the call succeeds without assigning it.
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                  PTOKEN_PRIVILEGES previous, PDWORD returned)
{
    if (refusePrivilege.load()) {
        SetLastError(ERROR_NOT_ALL_ASSIGNED);
        return TRUE;
    }
    return realAdjust(token, disableAll, state, length, previous, returned);
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    if (milliseconds == 100 && GetCurrentThreadId() != testThread && failPolls.load() > 0) {
        --failPolls;
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return realWait(handle, milliseconds);
}

LONG WINAPI RegSetValueExW(HKEY key, const wchar_t* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    const wchar_t* refused = refusedValue.load();
    if (refused != nullptr && name != nullptr && std::wcscmp(name, refused) == 0)
        return ERROR_ACCESS_DENIED;
    return realSetValue(key, name, reserved, type, data, size);
}

// A queue that takes no more: the worker's close cannot be posted. Whoever ends the modal run
// then posts WM_NULL to wake its loop; that must be the window's own thread.
BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const DWORD owner = windowThread.load();
    if (owner != 0 && GetCurrentThreadId() != owner && GetCurrentThreadId() != testThread) {
        if (message == WM_CLOSE) {
            SetLastError(ERROR_NOT_ENOUGH_QUOTA);
            return FALSE;
        }
        if (message == WM_NULL)
            ++foreignWakes;
    }
    return realPost(window, message, wParam, lParam);
}

template <class Function>
bool Install(const char* dll, const char* name, Function replacement, Function* real)
{
    void* previous = PatchImport(GetModuleHandleW(nullptr), dll, name, reinterpret_cast<void*>(replacement));
    *real = reinterpret_cast<Function>(previous);
    return previous != nullptr;
}

bool InstallAll()
{
    testThread = GetCurrentThreadId();
    return Install("advapi32.dll", "AdjustTokenPrivileges", &hook::AdjustTokenPrivileges, &realAdjust) &&
           Install("kernel32.dll", "WaitForSingleObject", &hook::WaitForSingleObject, &realWait) &&
           Install("advapi32.dll", "RegSetValueExW", &hook::RegSetValueExW, &realSetValue) &&
           Install("user32.dll", "PostMessageW", &hook::PostMessageW, &realPost);
}

void Disarm()
{
    refusePrivilege = false;
    failPolls = 0;
    refusedValue = nullptr;
    windowThread = 0;
}

} // namespace hook

bool PressEnter(HWND window)
{
    if (PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0))
        return true;
    std::printf("Enter not posted: error %lu, window %s\n", GetLastError(), IsWindow(window) ? "alive" : "gone");
    return false;
}

class CalibrationScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(fw::InitCommonControlClasses());
        ASSERT_TRUE(hook::InstallAll()) << "the test program imports the calls it redirects";
    }

    void Prepare(Panel panel, const RECT& area)
    {
        manager.Release();
        ASSERT_TRUE(rig.Prepare(panel)) << rig.Sim().LastError();
        ASSERT_TRUE(MakeInputs(manager, area, &inputs));
    }

    void TearDown() override
    {
        hook::Disarm();
        if (HWND box = FindOwnMessageBox())
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        manager.Release();
        rig.Sim().Reset();
        DWORD error = 0;
        touchsim::RemoveAllDeviceNodes(&error);
    }

    // The calibration ended: window gone, no message, mode back, nothing stored, device closed.
    void ExpectEndedWithoutStoring(DialogThread& run)
    {
        EXPECT_TRUE(run.Ended(30000));
        EXPECT_EQ(FindOwnMessageBox(), nullptr);
        uint32_t mode = 0;
        ASSERT_TRUE(CurrentMode(rig, &mode));
        EXPECT_EQ(mode, kInitialMode);
        EXPECT_TRUE(NothingStored());
        touchsim::SimSummary summary = {};
        ASSERT_TRUE(rig.Sim().GetSummary(&summary));
        EXPECT_EQ(summary.openHandles, 1u) << "only the test's own handle stays open";
    }

    Rig rig;
    touch::TouchDeviceManager manager;
    calibrate::CalibrationInputs inputs;
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
    DialogThread run(inputs);
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
        DialogThread run(inputs);
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(WaitForPrompt(run.Window(), kPromptTarget[0], 30000));
        // Enter outside the verification sets an event nobody waits for.
        PostMessageW(run.Window(), WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(run.Window(), WM_KEYDOWN, VK_ESCAPE, 0);
        ExpectEndedWithoutStoring(run);
    }
    ASSERT_TRUE(rig.Sim().ClearHistory());
    {
        DialogThread run(inputs);
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

        // What the driver saw, in order: the mode saved and set once, a reset before each target's
        // polls, the record right before the range, the mode given back.
        touchsim::SimControllerState state = {};
        ASSERT_TRUE(rig.State(&state));
        const std::vector<RequestRun> runs = RequestSequence(state);
        const uint32_t expectedCodes[] = {
            touch::IOCTL_TOUCH_GET_MODE,        touch::IOCTL_TOUCH_SET_MODE,
            touch::IOCTL_TOUCH_RESET_CAL_STATE, touch::IOCTL_TOUCH_GET_CAL_STATE,
            touch::IOCTL_TOUCH_RESET_CAL_STATE, touch::IOCTL_TOUCH_GET_CAL_STATE,
            touch::IOCTL_TOUCH_RESET_CAL_STATE, touch::IOCTL_TOUCH_GET_CAL_STATE,
            touch::IOCTL_TOUCH_SET_CALIBRATION, touch::IOCTL_TOUCH_SET_SCREEN_RANGE,
            touch::IOCTL_TOUCH_SET_MODE,
        };
        ASSERT_EQ(runs.size(), sizeof expectedCodes / sizeof expectedCodes[0]);
        for (size_t i = 0; i < runs.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(runs[i].code, expectedCodes[i]);
            if (runs[i].code != touch::IOCTL_TOUCH_GET_CAL_STATE) {
                EXPECT_EQ(runs[i].count, 1u);
            }
        }
        ASSERT_GE(state.modeHistoryCount, 2u);
        EXPECT_EQ(state.modeHistory[0], 3u);
        EXPECT_EQ(state.modeHistory[1], kInitialMode);
    }
}

TEST_F(CalibrationScreen, SystemCloseEndsTheCalibrationThroughTheWorker)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(Panel::Straight, FullScreen()));
    {
        // During a target.
        DialogThread run(inputs);
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
        DialogThread run(inputs);
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

TEST_F(CalibrationScreen, CloseThatCannotBePostedIsSentAndEndsTheRunOnTheWindowsThread)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(Panel::Straight, FullScreen()));
    DialogThread run(inputs);
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(WaitForPrompt(run.Window(), kPromptTarget[0], 30000));
    hook::foreignWakes = 0;
    hook::windowThread = run.ThreadId();
    ASSERT_TRUE(PostMessageW(run.Window(), WM_KEYDOWN, VK_ESCAPE, 0));
    ExpectEndedWithoutStoring(run);
    EXPECT_EQ(hook::foreignWakes.load(), 0) << "the worker ended the window's modal run itself";
    hook::windowThread = 0;
}

// The idle cost of this wait is printed by measure_idle_cpu; here only what can be counted.
TEST_F(CalibrationScreen, WaitingTargetTimesOutPollingEveryHundredMilliseconds)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(Panel::Straight, FullScreen()));
    DialogThread run(inputs);
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(WaitForPrompt(run.Window(), kPromptTarget[0], 30000));
    touchsim::SimControllerState before = {};
    ASSERT_TRUE(rig.State(&before));
    const DWORD from = GetTickCount();
    // Nothing touches: the 30-second timer ends the calibration. This thread only waits.
    ASSERT_TRUE(run.Join(60000));
    const DWORD waited = GetTickCount() - from;
    EXPECT_GE(waited, 25000u);
    ExpectEndedWithoutStoring(run);

    // One state request per 100 ms wait: no more than the wait allows, and not a slower poll.
    touchsim::SimControllerState after = {};
    ASSERT_TRUE(rig.State(&after));
    const uint32_t index = touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_GET_CAL_STATE);
    const uint32_t polls = after.requests[index] - before.requests[index];
    std::printf("polls while waiting: %u in %lu ms\n", polls, static_cast<unsigned long>(waited));
    EXPECT_LE(polls, waited / 80 + 5);
    EXPECT_GE(polls, waited / 400);
}

// Accuracy on an area that is not at the desktop's origin, for every panel kind.
TEST_F(CalibrationScreen, CustomAreaAwayFromTheOriginIsAccurateForEveryPanel)
{
    const RECT area = {160, 96, 880, 676};
    const Panel panels[] = {Panel::Straight, Panel::MirrorX, Panel::MirrorY, Panel::Swapped, Panel::SwappedMirrored};
    for (Panel panel : panels) {
        SCOPED_TRACE(PanelName(panel));
        ASSERT_NO_FATAL_FAILURE(Prepare(panel, area));
        DialogThread run(inputs);
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
        EXPECT_EQ(state.range.XMin, inputs.screenRange.XMin);
        EXPECT_EQ(state.range.XRange, inputs.screenRange.XRange);
        EXPECT_EQ(state.range.YMin, inputs.screenRange.YMin);
        EXPECT_EQ(state.range.YRange, inputs.screenRange.YRange);
        int error = -1;
        ASSERT_TRUE(MaxLandingError(rig, area, &error));
        std::printf("accuracy custom-area %s max-error=%d px\n", PanelName(panel), error);
        RecordProperty(std::string("max_error_custom_") + PanelName(panel), error);
        EXPECT_LE(error, 1);
    }
}

// A failure the user sees with its own message; a failure after it (the mode cannot be given
// back) changes neither the message nor the code shown.
struct FailureCase {
    const char* name;
    bool refusePrivilege;        // before the start
    const wchar_t* refusedValue; // before the start; the targets are tapped and the try accepted
    bool failPoll;               // at the first target: the wait of the next poll fails
    DWORD stateError;            // at the first target: the next state request fails with it
    DWORD restoreError;          // at the first target: giving the mode back fails with it
    const wchar_t* message;
    DWORD shownError;            // 0: the message alone
    uint32_t modeAfter;
};

const FailureCase kFailures[] = {
    {"privilege_refused", true, nullptr, false, 0, 0, kTextNoPrivilege, 0, kInitialMode},
    {"wait_fails_then_restore_fails", false, nullptr, true, 0, ERROR_ACCESS_DENIED, kTextWaitFailed, 0, 3},
    {"state_fails_then_restore_fails", false, nullptr, false, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE, kTextGetState,
     ERROR_ACCESS_DENIED, 3},
    {"one_value_write_refused", false, L"YLow", false, 0, 0, kTextSave, ERROR_ACCESS_DENIED, kInitialMode},
};

TEST_F(CalibrationScreen, FailureShowsTheFirstFailuresMessageAndCode)
{
    for (const FailureCase& c : kFailures) {
        SCOPED_TRACE(c.name);
        hook::Disarm();
        ASSERT_NO_FATAL_FAILURE(Prepare(Panel::Straight, FullScreen()));
        hook::refusePrivilege = c.refusePrivilege;
        hook::refusedValue = c.refusedValue;
        DialogThread run(inputs);
        ASSERT_TRUE(run.Start());
        const HWND window = run.Window();
        std::array<POINT, 3> raw = {};
        if (c.failPoll || c.stateError != 0 || c.restoreError != 0) {
            ASSERT_TRUE(WaitForPrompt(window, kPromptTarget[0], 30000));
            if (c.restoreError != 0) {
                ASSERT_TRUE(rig.Sim().InjectFault(touch::IOCTL_TOUCH_SET_MODE, touchsim::kFaultError, 1,
                                                  c.restoreError));
            }
            if (c.stateError != 0) {
                ASSERT_TRUE(rig.Sim().InjectFault(touch::IOCTL_TOUCH_GET_CAL_STATE, touchsim::kFaultError, 1,
                                                  c.stateError));
            }
            if (c.failPoll)
                hook::failPolls = 1;
        }
        if (c.refusedValue != nullptr) {
            ASSERT_TRUE(TapTargets(window, rig, &raw));
            ASSERT_TRUE(WaitForPrompt(window, kPromptCheck, 30000));
            ASSERT_TRUE(AnswerUntil([&] { return PressEnter(window); },
                                    [&] { return FindOwnMessageBox() != nullptr || run.Ended(0); }, 60000));
        }

        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (box = FindOwnMessageBox()) != nullptr; }, 60000)) << "no message";
        const std::wstring expected = std::wstring(c.message) + (c.shownError != 0 ? SystemText(c.shownError) : L"");
        EXPECT_EQ(MessageBoxText(box), expected);
        EXPECT_EQ(GetWindow(box, GW_OWNER), window) << "owned by the calibration window";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(run.Ended(30000));

        touchsim::SimSummary summary = {};
        ASSERT_TRUE(rig.Sim().GetSummary(&summary));
        EXPECT_EQ(summary.openHandles, 1u) << "the worker's handle is closed";
        EXPECT_EQ(summary.pendingFaults, 0u) << "the restore was tried";
        touchsim::SimControllerState state = {};
        ASSERT_TRUE(rig.State(&state));
        EXPECT_EQ(state.mode, c.modeAfter);
        if (c.refusePrivilege) {
            EXPECT_EQ(state.requestRunCount, 0u) << "nothing asked of the driver without the privilege";
        }

        Stored stored = {};
        bool present[9] = {};
        DWORD error = 0;
        ASSERT_TRUE(ReadStoredValues(&stored, present, &error)) << error;
        if (c.refusedValue == nullptr) {
            EXPECT_FALSE(present[0]) << "nothing stored";
            continue;
        }
        // The refused value is missing; every value before and after it is written.
        const Record record = ExpectedRecord(raw);
        const uint32_t values[9] = {static_cast<uint32_t>(record.XLow),  static_cast<uint32_t>(record.XHigh),
                                    static_cast<uint32_t>(record.YLow),  static_cast<uint32_t>(record.YHigh),
                                    record.SwapXY,
                                    static_cast<uint32_t>(inputs.screenRange.XMin),
                                    static_cast<uint32_t>(inputs.screenRange.XRange),
                                    static_cast<uint32_t>(inputs.screenRange.YMin),
                                    static_cast<uint32_t>(inputs.screenRange.YRange)};
        for (int i = 0; i < 9; ++i) {
            SCOPED_TRACE(::testing::Message() << "value " << i);
            if (std::wcscmp(kStoredNames[i], c.refusedValue) == 0) {
                EXPECT_FALSE(present[i]);
            } else {
                EXPECT_TRUE(present[i]);
                EXPECT_EQ(stored.value[i], values[i]);
            }
        }
    }
}

} // namespace
