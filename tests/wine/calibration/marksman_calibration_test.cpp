// The shipped Marksman.exe against the simulated driver: the targets are tapped where they show
// on the screen, through the panel model, as a user's finger would.
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#ifndef MARKSMAN_PATH
#error MARKSMAN_PATH must name the built Marksman.exe
#endif

namespace {

using namespace caltest;
using namespace qelvo::test;

std::wstring MarksmanPath()
{
    return WinePath(MARKSMAN_PATH);
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

class MarksmanCalibration : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (marksman.IsRunning())
            marksman.Terminate();
        rig.Sim().Reset();
        DWORD error = 0;
        touchsim::RemoveAllDeviceNodes(&error);
    }

    // Starts Marksman with the controller's name and waits for its first target.
    void Launch()
    {
        LARGE_INTEGER started, shown;
        QueryPerformanceCounter(&started);
        ASSERT_TRUE(marksman.Start(L"\"" + MarksmanPath() + L"\" " + kObjectName));
        dialog = WaitForWindow({L"#32770", nullptr, marksman.Id()}, 60000);
        ASSERT_NE(dialog, nullptr);
        ASSERT_NE(GetDlgItem(dialog, 1000), nullptr) << "the calibration window";
        ASSERT_TRUE(WaitForPrompt(dialog, kPromptTarget[0], 60000));
        QueryPerformanceCounter(&shown);
        startMs = Milliseconds(started, shown);
    }

    HWND MessageBoxOfMarksman(DWORD timeoutMs)
    {
        return WaitForWindow({L"#32770", L"Marksman", marksman.Id()}, timeoutMs);
    }

    bool Exited(DWORD timeoutMs)
    {
        DWORD code = 0;
        return marksman.WaitForExit(timeoutMs, &code);
    }

    void ExpectStoredMatches(const std::array<POINT, 3>& raw)
    {
        // The whole desktop: normalised 0..full scale on both axes.
        caltest::ExpectStoredMatches(rig, raw, touchsim::SystemDesktop().fullScale);
    }

    Rig rig;
    Process marksman;
    HWND dialog = nullptr;
    double startMs = 0;
};

// The independent computation itself, on cases worked out by hand.
TEST(ExpectedRecordHelper, HandComputedCases)
{
    Record r = ExpectedRecord({POINT{1000, 900}, POINT{3100, 3200}, POINT{3090, 910}});
    EXPECT_EQ(r.XLow, 300);
    EXPECT_EQ(r.YLow, 134);
    EXPECT_EQ(r.XHigh, 3800);
    EXPECT_EQ(r.YHigh, 3966);
    EXPECT_EQ(r.SwapXY, 0u);
    r = ExpectedRecord({POINT{900, 1000}, POINT{3200, 3100}, POINT{910, 3090}});
    EXPECT_EQ(r.XLow, 300);
    EXPECT_EQ(r.YLow, 134);
    EXPECT_EQ(r.XHigh, 3800);
    EXPECT_EQ(r.YHigh, 3966);
    EXPECT_EQ(r.SwapXY, 1u);
    r = ExpectedRecord({POINT{3100, 900}, POINT{1000, 3200}, POINT{1010, 910}});
    EXPECT_EQ(r.XLow, 3800);
    EXPECT_EQ(r.XHigh, 300);
    r = ExpectedRecord({POINT{100, 50}, POINT{4000, 4090}, POINT{3990, 60}});
    EXPECT_EQ(r.XLow, 0);
    EXPECT_EQ(r.YLow, 0);
    EXPECT_EQ(r.XHigh, 4096);
    EXPECT_EQ(r.YHigh, 4096);
}

struct PanelRun {
    Panel panel;
    bool doubleClick;
};

class MarksmanPanels : public MarksmanCalibration, public ::testing::WithParamInterface<PanelRun> {};

TEST_P(MarksmanPanels, AcceptedCalibrationIsStoredAppliedAndAccurate)
{
    const PanelRun run = GetParam();
    ASSERT_TRUE(rig.Prepare(run.panel)) << rig.Sim().LastError();
    ASSERT_NO_FATAL_FAILURE(Launch());
    std::printf("start-to-first-target %s %.0f ms\n", PanelName(run.panel), startMs);
    RecordProperty("start_to_first_target_ms", static_cast<int>(startMs));

    std::array<POINT, 3> raw = {};
    ASSERT_TRUE(TapTargets(dialog, rig, &raw));
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptCheck, 30000));
    EXPECT_EQ(ItemText(dialog, 1004), kPromptAccept);
    EXPECT_FALSE(TargetVisible(dialog));
    if (run.panel == Panel::Straight)
        CaptureScreenPng(L"marksman-verification.png");
    uint32_t mode = 0;
    ASSERT_TRUE(CurrentMode(rig, &mode));
    EXPECT_EQ(mode, 3u);

    if (run.doubleClick) {
        // The driver is in mode 3: a double tap reaches the window as a double click.
        ASSERT_TRUE(AnswerUntil([] { return DoubleClick(POINT{40, 40}); }, [&] { return !marksman.IsRunning(); }, 60000));
    } else {
        ASSERT_TRUE(BringToFront(dialog));
        ASSERT_TRUE(AnswerUntil([] { return SendKey(VK_RETURN); }, [&] { return !marksman.IsRunning(); }, 60000));
    }
    ASSERT_TRUE(Exited(30000));
    ExpectStoredMatches(raw);
    ASSERT_TRUE(CurrentMode(rig, &mode));
    EXPECT_EQ(mode, kInitialMode);

    int error = -1;
    ASSERT_TRUE(MaxLandingError(rig, RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, &error));
    std::printf("accuracy full-screen %s max-error=%d px\n", PanelName(run.panel), error);
    RecordProperty("max_error_px", error);
    // 1024 x 768 is not divisible by 5: the targets stand at truncated positions (204 for 204.8,
    // 820 for 819.2), while the edges are taken a third of the targets' raw distance further out.
    // That places the edges up to 1.3 pixels too far out; with the driver's truncation 2 pixels.
    EXPECT_LE(error, 2);
}

INSTANTIATE_TEST_SUITE_P(Panels, MarksmanPanels,
                         ::testing::Values(PanelRun{Panel::Straight, false}, PanelRun{Panel::MirrorX, true},
                                           PanelRun{Panel::MirrorY, false}, PanelRun{Panel::Swapped, true},
                                           PanelRun{Panel::SwappedMirrored, false},
                                           PanelRun{Panel::Straight, true}),
                         [](const ::testing::TestParamInfo<PanelRun>& info) {
                             std::string name = PanelName(info.param.panel);
                             for (char& c : name) {
                                 if (c == '-' || c == '+')
                                     c = '_';
                             }
                             return name + (info.param.doubleClick ? "_DoubleClick" : "_Enter");
                         });

TEST_F(MarksmanCalibration, EscDuringATargetStoresNothingAndRestoresTheMode)
{
    ASSERT_TRUE(rig.Prepare(Panel::Straight));
    ASSERT_NO_FATAL_FAILURE(Launch());
    // The first target is really on the screen: a pixel of its disc, off the cross-hair, is not
    // the window's colour once the clip has drawn its first frame.
    const POINT centre = TargetCentre(dialog);
    const RECT disc = {centre.x + 5, centre.y + 5, centre.x + 6, centre.y + 6};
    EXPECT_TRUE(WaitFor([&] {
        std::vector<unsigned char> rgb;
        return CaptureScreenRgb(disc, rgb) && rgb.size() >= 3 &&
               !(rgb[0] == 212 && rgb[1] == 222 && rgb[2] == 244);
    }, 10000, 50)) << "the first target was not drawn";
    CaptureScreenPng(L"marksman-target.png");
    POINT raw = {};
    ASSERT_TRUE(rig.Tap(TargetCentre(dialog), &raw));
    // The glide lasts about 0.7 s: a picture of it when the prompt is caught in time.
    if (WaitFor([&] { return ItemText(dialog, 1003) == kPromptMoving; }, 5000, 5))
        CaptureScreenPng(L"marksman-glide.png");
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptTarget[1], 30000));
    ASSERT_TRUE(BringToFront(dialog));
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    ASSERT_TRUE(Exited(30000));
    EXPECT_EQ(FindTopWindow({L"#32770", L"Marksman", 0}), nullptr);
    EXPECT_TRUE(NothingStored());
    touchsim::SimControllerState state = {};
    ASSERT_TRUE(rig.State(&state));
    EXPECT_EQ(state.mode, kInitialMode);
    EXPECT_EQ(state.calibrationSent, 0u);
    EXPECT_EQ(state.rangeSent, 0u);
}

// A driver that stops answering (a state request held for a minute): Esc still ends the window
// within seconds, nothing is stored, and the lock is free for the next start.
TEST_F(MarksmanCalibration, EscDuringAStalledRequestEndsTheProgramAndTheNextStartWorks)
{
    ASSERT_TRUE(rig.Prepare(Panel::Straight));
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(rig.Sim().StallRequests(touch::IOCTL_TOUCH_GET_CAL_STATE, 60000)) << rig.Sim().LastError();
    const auto stalled = [&] {
        touchsim::SimSummary summary = {};
        return rig.Sim().GetSummary(&summary) ? summary.stalledRequests : 0xFFFFFFFFu;
    };
    ASSERT_TRUE(WaitFor([&] { return stalled() == 1; }, 10000));
    ASSERT_TRUE(BringToFront(dialog));
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    ASSERT_TRUE(Exited(20000)) << "Marksman still waits for the driver";
    // 1 s to see the stall, at most 5 s for the worker, then the end.
    const DWORD took = GetTickCount() - pressed;
    std::printf("Esc to the end of Marksman with a stalled request: %lu ms\n", static_cast<unsigned long>(took));
    EXPECT_LT(took, 20000u);
    EXPECT_EQ(FindTopWindow({L"#32770", nullptr, marksman.Id()}), nullptr);
    EXPECT_TRUE(NothingStored());
    // The ended process's request is cancelled by the system; a faults clear serves any left.
    const bool cancelled = WaitFor([&] { return stalled() == 0; }, 5000);
    std::printf("held request after the exit: %s\n", cancelled ? "cancelled" : "still held");
    ASSERT_TRUE(rig.Sim().ClearFaults());
    EXPECT_TRUE(WaitFor([&] { return stalled() == 0; }, 10000));

    Process again;
    ASSERT_TRUE(again.Start(L"\"" + MarksmanPath() + L"\" " + kObjectName));
    HWND second = WaitForWindow({L"#32770", nullptr, again.Id()}, 60000);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(GetDlgItem(second, 1000), nullptr) << "the calibration window, not a message";
    ASSERT_TRUE(WaitForPrompt(second, kPromptTarget[0], 60000));
    ASSERT_TRUE(BringToFront(second));
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    DWORD code = 0;
    ASSERT_TRUE(again.WaitForExit(30000, &code));
    EXPECT_TRUE(NothingStored());
}

// Writes the click mode into the controller's driver key, as the settings program's Apply does.
bool StoreMouseMode(uint32_t mode)
{
    HKEY key = nullptr;
    DWORD error = 0;
    if (!touchsim::OpenDriverKey(kInstanceId, KEY_SET_VALUE, &key, &error))
        return false;
    const LONG set = RegSetValueExW(key, L"MouseMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode), sizeof mode);
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

// The settings program applies another click mode while a calibration runs: the calibration is
// stored whole (or not at all) and ends with the driver in the stored mode, not the old one. An
// unchanged stored mode leaves the mode of the start, as before.
TEST_F(MarksmanCalibration, ClickModeAppliedDuringTheCalibrationIsTheModeAfterIt)
{
    ASSERT_TRUE(rig.Prepare(Panel::Straight));
    ASSERT_TRUE(StoreMouseMode(kInitialMode));
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(StoreMouseMode(2));
    std::array<POINT, 3> raw = {};
    ASSERT_TRUE(TapTargets(dialog, rig, &raw));
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptCheck, 30000));
    ASSERT_TRUE(BringToFront(dialog));
    ASSERT_TRUE(AnswerUntil([] { return SendKey(VK_RETURN); }, [&] { return !marksman.IsRunning(); }, 60000));
    ASSERT_TRUE(Exited(30000));
    ExpectStoredMatches(raw);
    uint32_t mode = 9;
    ASSERT_TRUE(CurrentMode(rig, &mode));
    EXPECT_EQ(mode, 2u) << "the stored click mode";

    // Cancelled, with the stored mode left alone: back to the driver's mode of the start.
    touch::TouchModeRecord zero = {kDeviceId, 0};
    ASSERT_TRUE(rig.Sim().Control(touch::IOCTL_TOUCH_SET_MODE, &zero, sizeof zero, nullptr, 0, nullptr));
    Process again;
    ASSERT_TRUE(again.Start(L"\"" + MarksmanPath() + L"\" " + kObjectName));
    HWND second = WaitForWindow({L"#32770", nullptr, again.Id()}, 60000);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(WaitForPrompt(second, kPromptTarget[0], 60000));
    ASSERT_TRUE(BringToFront(second));
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    DWORD code = 0;
    ASSERT_TRUE(again.WaitForExit(30000, &code));
    ASSERT_TRUE(CurrentMode(rig, &mode));
    EXPECT_EQ(mode, 0u);
}

TEST_F(MarksmanCalibration, EscDuringTheTryRepeatsTheTargetsAndKeepsTheRejectedValues)
{
    ASSERT_TRUE(rig.Prepare(Panel::MirrorY));
    ASSERT_NO_FATAL_FAILURE(Launch());
    std::array<POINT, 3> first = {};
    std::array<POINT, 3> centres = {};
    ASSERT_TRUE(TapTargets(dialog, rig, &first, &centres));
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptCheck, 30000));
    ASSERT_TRUE(BringToFront(dialog));
    ASSERT_TRUE(AnswerUntil([] { return SendKey(VK_ESCAPE); },
                            [&] { return ItemText(dialog, 1003) == kPromptTarget[0]; }, 60000));
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptTarget[0], 30000));
    // The rejected values stay in force in the driver; nothing is stored yet.
    touchsim::SimControllerState state = {};
    ASSERT_TRUE(rig.State(&state));
    const Record rejected = ExpectedRecord(first);
    EXPECT_EQ(state.calibrationSent, 1u);
    EXPECT_EQ(state.calibration.YLow, rejected.YLow);
    EXPECT_EQ(state.mode, 3u);
    EXPECT_EQ(state.modeHistoryCount, 1u) << "the mode is not set again";
    EXPECT_TRUE(NothingStored());

    // Second pass: the user slides a little off before lifting; the new values are stored.
    ASSERT_TRUE(rig.Sim().SetPanel(kDeviceId, [] {
        touchsim::PanelConfig panel = MakePanel(Panel::MirrorY, touchsim::SystemDesktop().virtualScreen);
        panel.noise = 3;
        panel.seed = 11;
        return panel;
    }()));
    std::array<POINT, 3> second = {};
    ASSERT_TRUE(TapTargets(dialog, rig, &second));
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptCheck, 30000));
    ASSERT_TRUE(BringToFront(dialog));
    ASSERT_TRUE(AnswerUntil([] { return SendKey(VK_RETURN); },
                            [&] { return !marksman.IsRunning() || MessageBoxOfMarksman(0) != nullptr; }, 60000));
    ASSERT_TRUE(Exited(30000));
    ExpectStoredMatches(second);
    ASSERT_TRUE(rig.State(&state));
    EXPECT_EQ(state.calibrationSent, 2u);
    EXPECT_EQ(state.mode, kInitialMode);
}

TEST_F(MarksmanCalibration, TargetTimesOutAfterThirtySeconds)
{
    ASSERT_TRUE(rig.Prepare(Panel::Straight));
    ASSERT_NO_FATAL_FAILURE(Launch());
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    ASSERT_TRUE(Exited(60000));
    QueryPerformanceCounter(&to);
    EXPECT_GE(Milliseconds(from, to), 25000.0) << "the time-out came early";
    EXPECT_EQ(FindTopWindow({L"#32770", L"Marksman", 0}), nullptr);
    EXPECT_TRUE(NothingStored());
    uint32_t mode = 0;
    ASSERT_TRUE(CurrentMode(rig, &mode));
    EXPECT_EQ(mode, kInitialMode);
}

TEST_F(MarksmanCalibration, TryTimesOutAfterThirtySecondsIntoANewPass)
{
    ASSERT_TRUE(rig.Prepare(Panel::Swapped));
    ASSERT_NO_FATAL_FAILURE(Launch());
    std::array<POINT, 3> raw = {};
    ASSERT_TRUE(TapTargets(dialog, rig, &raw));
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptCheck, 30000));
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptTarget[0], 60000));
    QueryPerformanceCounter(&to);
    EXPECT_GE(Milliseconds(from, to), 25000.0);
    EXPECT_TRUE(NothingStored());
    ASSERT_TRUE(TapTargets(dialog, rig, &raw));
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptCheck, 30000));
    ASSERT_TRUE(AnswerUntil([] { return DoubleClick(POINT{40, 40}); }, [&] { return !marksman.IsRunning(); }, 60000));
    ASSERT_TRUE(Exited(30000));
    ExpectStoredMatches(raw);
}

// One control request fails; the user sees the message with the system's text for the error.
struct FailureCase {
    const char* name;
    uint32_t code;
    uint32_t kind;
    uint32_t value;
    int tapsFirst;              // targets tapped before the failure can show
    bool injectAfterFirstTarget;  // the fault concerns the second request of its code
    const wchar_t* message;
    DWORD shownError;
    uint32_t modeAfter;
};

class MarksmanFailures : public MarksmanCalibration, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(MarksmanFailures, ShowsTheMessageStoresNothingAndClosesTheDevice)
{
    const FailureCase& c = GetParam();
    ASSERT_TRUE(rig.Prepare(Panel::Straight));
    if (!c.injectAfterFirstTarget) {
        ASSERT_TRUE(rig.Sim().InjectFault(c.code, static_cast<touchsim::SimFaultKind>(c.kind), 1, c.value));
    }
    ASSERT_TRUE(marksman.Start(L"\"" + MarksmanPath() + L"\" " + kObjectName));
    if (c.injectAfterFirstTarget || c.tapsFirst > 0) {
        dialog = WaitForWindow({L"#32770", nullptr, marksman.Id()}, 60000);
        ASSERT_NE(dialog, nullptr);
    }
    if (c.injectAfterFirstTarget) {
        ASSERT_TRUE(WaitForPrompt(dialog, kPromptTarget[0], 60000));
        ASSERT_TRUE(rig.Sim().InjectFault(c.code, static_cast<touchsim::SimFaultKind>(c.kind), 1, c.value));
        ASSERT_TRUE(BringToFront(dialog));
        ASSERT_TRUE(SendKey(VK_ESCAPE));
    }
    if (c.tapsFirst > 0) {
        std::array<POINT, 3> raw = {};
        ASSERT_TRUE(TapTargets(dialog, rig, &raw));
    }

    HWND box = MessageBoxOfMarksman(60000);
    ASSERT_NE(box, nullptr);
    const std::wstring expected = std::wstring(c.message) + (c.shownError != 0 ? SystemText(c.shownError) : L"");
    EXPECT_EQ(MessageBoxText(box), expected);
    CaptureScreenPng(std::wstring(L"marksman-failure-") + std::wstring(c.name, c.name + strlen(c.name)) + L".png");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(Exited(30000)) << "no hang after the message";

    EXPECT_TRUE(NothingStored());
    touchsim::SimSummary summary = {};
    ASSERT_TRUE(rig.Sim().GetSummary(&summary));
    EXPECT_EQ(summary.openHandles, 1u);
    EXPECT_EQ(summary.pendingFaults, 0u);
    uint32_t mode = 0;
    ASSERT_TRUE(CurrentMode(rig, &mode));
    EXPECT_EQ(mode, c.modeAfter);
}

constexpr uint32_t kErrorFault = touchsim::kFaultError;

INSTANTIATE_TEST_SUITE_P(
    EveryRequest, MarksmanFailures,
    ::testing::Values(
        FailureCase{"get_mode", touch::IOCTL_TOUCH_GET_MODE, kErrorFault, ERROR_ACCESS_DENIED, 0, false, kTextGetMode,
                    ERROR_ACCESS_DENIED, kInitialMode},
        FailureCase{"get_mode_short", touch::IOCTL_TOUCH_GET_MODE, touchsim::kFaultByteCount, 4, 0, false, kTextGetMode,
                    ERROR_INVALID_DATA, kInitialMode},
        FailureCase{"set_mode_start", touch::IOCTL_TOUCH_SET_MODE, kErrorFault, ERROR_GEN_FAILURE, 0, false, kTextSetMode,
                    ERROR_GEN_FAILURE, kInitialMode},
        FailureCase{"reset_cal_state", touch::IOCTL_TOUCH_RESET_CAL_STATE, kErrorFault, ERROR_DEV_NOT_EXIST, 0, false,
                    kTextReset, ERROR_DEV_NOT_EXIST, kInitialMode},
        FailureCase{"get_cal_state", touch::IOCTL_TOUCH_GET_CAL_STATE, kErrorFault, ERROR_ACCESS_DENIED, 0, false,
                    kTextGetState, ERROR_ACCESS_DENIED, kInitialMode},
        FailureCase{"get_cal_state_short", touch::IOCTL_TOUCH_GET_CAL_STATE, touchsim::kFaultByteCount, 8, 0, false,
                    kTextGetState, ERROR_INVALID_DATA, kInitialMode},
        FailureCase{"get_cal_state_unknown", touch::IOCTL_TOUCH_GET_CAL_STATE, touchsim::kFaultState, 0x1234, 0, false,
                    kTextGetState, ERROR_INVALID_DATA, kInitialMode},
        FailureCase{"set_calibration", touch::IOCTL_TOUCH_SET_CALIBRATION, kErrorFault, ERROR_INVALID_PARAMETER, 3,
                    false, kTextSetRange, ERROR_INVALID_PARAMETER, kInitialMode},
        FailureCase{"set_screen_range", touch::IOCTL_TOUCH_SET_SCREEN_RANGE, kErrorFault, ERROR_ACCESS_DENIED, 3, false,
                    kTextSetRange, ERROR_ACCESS_DENIED, kInitialMode},
        FailureCase{"set_mode_finish", touch::IOCTL_TOUCH_SET_MODE, kErrorFault, ERROR_ACCESS_DENIED, 0, true,
                    kTextSetMode, ERROR_ACCESS_DENIED, 3u}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(MarksmanCalibration, FailedStoreShowsMessage18)
{
    ASSERT_TRUE(rig.Prepare(Panel::Straight, /*driverKey=*/false));
    ASSERT_NO_FATAL_FAILURE(Launch());
    std::array<POINT, 3> raw = {};
    ASSERT_TRUE(TapTargets(dialog, rig, &raw));
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptCheck, 30000));
    ASSERT_TRUE(BringToFront(dialog));
    ASSERT_TRUE(AnswerUntil([] { return SendKey(VK_RETURN); },
                            [&] { return !marksman.IsRunning() || MessageBoxOfMarksman(0) != nullptr; }, 60000));
    HWND box = MessageBoxOfMarksman(60000);
    ASSERT_NE(box, nullptr);
    const std::wstring text = MessageBoxText(box);
    // The node has no driver key: SetupAPI's error has no system text, so its code is appended.
    EXPECT_EQ(text, std::wstring(kTextSave) + SystemText(0xE0000204));
    EXPECT_EQ(SystemText(0xE0000204), L"Code=(0xe0000204)");
    char utf8[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
    std::printf("failed store: %s\n", utf8);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(Exited(30000));
    touchsim::SimSummary summary = {};
    ASSERT_TRUE(rig.Sim().GetSummary(&summary));
    EXPECT_EQ(summary.openHandles, 1u);
    uint32_t mode = 0;
    ASSERT_TRUE(CurrentMode(rig, &mode));
    EXPECT_EQ(mode, kInitialMode);
}

// The driver goes away after start-up found the controller: the worker cannot open the device.
TEST_F(MarksmanCalibration, DriverGoneBeforeTheCalibrationShowsMessage2)
{
    ASSERT_TRUE(rig.Prepare(Panel::Straight));
    // "/pt" on one display: the range dialog waits for the user after discovery has closed its handle.
    ASSERT_TRUE(marksman.Start(L"\"" + MarksmanPath() + L"\" /pt " + kObjectName));
    HWND range = WaitForWindow({L"#32770", kRangeCaption, marksman.Id()}, 60000);
    ASSERT_NE(range, nullptr);
    // The device's name goes; the test's own handle stays usable.
    ASSERT_TRUE(rig.Sim().InjectFault(touchsim::kSimOpenCode, touchsim::kFaultError, 1, 0));
    // Cancelling the range calibrates the whole display.
    ASSERT_TRUE(ClickUntil(GetDlgItem(range, IDCANCEL), [&] { return !IsWindow(range); }));

    HWND box = MessageBoxOfMarksman(60000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kTextNoDriver) << "the message alone, without system text";
    HWND owner = GetWindow(box, GW_OWNER);
    EXPECT_NE(owner, nullptr);
    EXPECT_NE(GetDlgItem(owner, 1000), nullptr) << "owned by the calibration window";
    CaptureScreenPng(L"marksman-failure-no-driver.png");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(Exited(30000)) << "no hang after the message";
    ASSERT_TRUE(rig.Sim().ClearFaults()) << "the name comes back";

    touchsim::SimSummary summary = {};
    ASSERT_TRUE(rig.Sim().GetSummary(&summary));
    EXPECT_EQ(summary.openHandles, 1u);
    touchsim::SimControllerState state = {};
    ASSERT_TRUE(rig.State(&state));
    EXPECT_EQ(state.requestRunCount, 0u) << "nothing was asked of the controller";
    EXPECT_EQ(state.mode, kInitialMode);
    EXPECT_TRUE(NothingStored());
}

} // namespace
