// The shipped Marksman.exe started as a process against the simulated driver: single instance,
// discovery failures, selection by name and without a dialog for one controller.
#include "simulator/SimProtocol.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/device/SimulatedControllers.h"

#include <gtest/gtest.h>

#include <string>

using namespace qelvo::test;

namespace {

const wchar_t kName1[] = L"\\Device\\TouchSim1";
const wchar_t kName2[] = L"\\Device\\TouchSim2";
const wchar_t* const kSelectCaption = qelvo::test::InLanguage(L"选择设备", L"Select Device");
const DWORD kProcessTimeoutMs = 90000;

std::wstring MarksmanCommand(const std::wstring& arguments = L"")
{
    std::wstring command = L"\"" + ExecutableDirectory() + L"\\" MARKSMAN_FROM_TEST_DIR L"\"";
    if (!arguments.empty())
        command += L" " + arguments;
    return command;
}

// A start-up message box of `process`: owner-less, captioned with the program's name.
HWND WaitForMessageBox(const Process& process)
{
    return WaitForWindow({L"#32770", L"Marksman", process.Id()}, kProcessTimeoutMs);
}

void ExpectStartupMessage(HWND box, const wchar_t* text)
{
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), text);
    EXPECT_EQ(::GetWindow(box, GW_OWNER), nullptr);
    // The exclamation icon is the box's icon control.
    HWND icon = ::GetDlgItem(box, 0x0440);
    if (icon != nullptr) {
        EXPECT_NE(::SendMessageW(icon, STM_GETICON, 0, 0), 0);
    }
}

void Dismiss(HWND box)
{
    ASSERT_TRUE(ClickUntil(::GetDlgItem(box, IDOK), [&] { return !::IsWindow(box); }));
}

// Waits until the process ends, noting whether it ever showed a window.
bool EndsWithoutWindow(Process& process, bool* sawWindow)
{
    *sawWindow = false;
    const bool ended = WaitFor(
        [&] {
            if (FindTopWindow({nullptr, nullptr, process.Id()}) != nullptr)
                *sawWindow = true;
            return !process.IsRunning();
        },
        kProcessTimeoutMs);
    return ended;
}

class MarksmanStartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.Start()) << "simulated driver: error " << sim.sim.LastError(); }
    void TearDown() override { EXPECT_TRUE(sim.Clear()); }

    void Controllers(int n, const wchar_t* secondName = kName2)
    {
        ASSERT_TRUE(sim.AddController(101, kName1));
        ASSERT_TRUE(sim.AddNode(L"USB\\VID_0EEF&PID_0001\\SIM1", kName1, L"Qelvo Ltd", L"Qelvo USB Touch 1"));
        if (n > 1) {
            ASSERT_TRUE(sim.AddController(102, secondName));
            ASSERT_TRUE(sim.AddNode(L"USB\\VID_0EEF&PID_0001\\SIM2", secondName, L"Qelvo Ltd", L"Qelvo USB Touch 2"));
        }
    }

    // Requests the driver accepted for controller `deviceId` (0 when it has none).
    uint32_t RequestsFor(uint32_t deviceId)
    {
        touchsim::SimControllerState state = {};
        if (!sim.sim.GetState(deviceId, &state))
            return 0;
        uint32_t total = 0;
        for (uint32_t count : state.requests)
            total += count;
        return total;
    }

    // Start-up took controller `deviceId` without asking: the program went on to calibrate it (the
    // worker asks that controller for its mode), never showed the selection dialog or a start-up
    // message, and asked no other controller anything.
    void ExpectTakenWithoutDialog(Process& process, uint32_t deviceId, uint32_t otherId)
    {
        bool sawDialog = false;
        bool calibrating = false;
        ASSERT_TRUE(WaitFor(
            [&] {
                if (FindTopWindow({nullptr, kSelectCaption, process.Id()}) != nullptr)
                    sawDialog = true;
                touchsim::SimControllerState state = {};
                if (sim.sim.GetState(deviceId, &state) &&
                    state.requests[touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_GET_MODE)] > 0)
                    calibrating = true;
                return sawDialog || calibrating || !process.IsRunning();
            },
            kProcessTimeoutMs));
        EXPECT_FALSE(sawDialog);
        EXPECT_TRUE(calibrating) << "the program ended before it asked the controller for its mode";
        EXPECT_EQ(FindTopWindow({L"#32770", L"Marksman", process.Id()}), nullptr) << "a start-up message";
        if (otherId != 0) {
            EXPECT_EQ(RequestsFor(otherId), 0u) << "the other controller was asked";
        }
    }

    SimulatedControllers sim;
};

TEST_F(MarksmanStartupTest, SecondStartIsRefusedAndTheFirstGoesOn)
{
    Controllers(2);
    Process first;
    ASSERT_TRUE(first.Start(MarksmanCommand()));
    HWND select = WaitForWindow({L"#32770", kSelectCaption, first.Id()}, kProcessTimeoutMs);
    ASSERT_NE(select, nullptr) << "the first instance did not come to its selection";

    Process second;
    ASSERT_TRUE(second.Start(MarksmanCommand()));
    HWND box = WaitForMessageBox(second);
    ExpectStartupMessage(box, qelvo::test::InLanguage(L"另外一个校准程序正在运行！",
                                                      L"Another calibration program is already running!"));
    Dismiss(box);
    DWORD exitCode = 0;
    EXPECT_TRUE(second.WaitForExit(kProcessTimeoutMs, &exitCode));

    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(::IsWindowVisible(select));
    ASSERT_TRUE(ClickUntil(::GetDlgItem(select, IDCANCEL), [&] { return !::IsWindow(select); }));
    bool sawWindow = false;
    ASSERT_TRUE(EndsWithoutWindow(first, &sawWindow)) << "cancelling the choice ends the program";

    // The lock went with the first instance: a new start comes to its selection again.
    Process third;
    ASSERT_TRUE(third.Start(MarksmanCommand()));
    HWND again = WaitForWindow({L"#32770", kSelectCaption, third.Id()}, kProcessTimeoutMs);
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(ClickUntil(::GetDlgItem(again, IDCANCEL), [&] { return !::IsWindow(again); }));
    EXPECT_TRUE(third.WaitForExit(kProcessTimeoutMs));
}

TEST_F(MarksmanStartupTest, NameThatMatchesNothingEndsWithoutAWindow)
{
    Controllers(2);
    Process process;
    ASSERT_TRUE(process.Start(MarksmanCommand(L"\\Device\\NoSuchTouch")));
    bool sawWindow = false;
    ASSERT_TRUE(EndsWithoutWindow(process, &sawWindow));
    EXPECT_FALSE(sawWindow);
    DWORD exitCode = 1;
    ASSERT_TRUE(process.WaitForExit(0, &exitCode));
    EXPECT_EQ(exitCode, 0u) << "ended by a crash, not by start-up";
    // It ended because the name matched nothing: it did ask the driver for its controllers,
    // and then asked neither of them anything.
    touchsim::SimSummary summary = {};
    ASSERT_TRUE(sim.sim.GetSummary(&summary));
    EXPECT_GE(summary.requests[touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_GET_DEVICE_COUNT)], 1u);
    EXPECT_GE(summary.requests[touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_GET_DEVICE_LIST)], 1u);
    EXPECT_EQ(RequestsFor(101), 0u);
    EXPECT_EQ(RequestsFor(102), 0u);
}

TEST_F(MarksmanStartupTest, NoControllerReportsDeviceManagementFailure)
{
    struct Case {
        const char* what;
        int controllers;
        bool countFails;
    } cases[] = {{"no controller", 0, false}, {"count request fails", 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(sim.Clear());
        if (c.controllers > 0) {
            Controllers(c.controllers);
        }
        if (c.countFails) {
            ASSERT_TRUE(sim.sim.InjectFault(touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultError, 1,
                                            ERROR_GEN_FAILURE));
        }
        Process process;
        ASSERT_TRUE(process.Start(MarksmanCommand()));
        HWND box = WaitForMessageBox(process);
        ExpectStartupMessage(box, qelvo::test::InLanguage(L"初始化设备管理失败！",
                                                          L"Failed to initialise the device manager!"));
        Dismiss(box);
        bool sawWindow = false;
        EXPECT_TRUE(EndsWithoutWindow(process, &sawWindow));
    }
}

TEST_F(MarksmanStartupTest, ControllerIsTakenWithoutADialog)
{
    struct Case {
        const char* what;
        int controllers;
        const wchar_t* arguments;
        uint32_t taken;
        uint32_t other;  // 0: none
        const wchar_t* secondName = kName2;
    } cases[] = {
        {"one controller, no arguments", 1, L"", 101, 0},
        {"name in other case than the driver's", 2, L"\\DEVICE\\touchsim2", 102, 101},
        // Names as the settings program quotes them: read back whole, never as a switch.
        {"quoted name with spaces", 2, L"\"\\Device\\Touch Sim 2\"", 102, 101, L"\\Device\\Touch Sim 2"},
        {"quoted name with a quote", 2, L"\"\\Device\\Touch\\\"2\"", 102, 101, L"\\Device\\Touch\"2"},
        {"quoted name that starts with a dash", 2, L"\"-Touch2\"", 102, 101, L"-Touch2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(sim.Clear());
        Controllers(c.controllers, c.secondName);
        Process process;
        ASSERT_TRUE(process.Start(MarksmanCommand(c.arguments)));
        ExpectTakenWithoutDialog(process, c.taken, c.other);
        // The calibration it went on to is not this test's business.
        process.Terminate();
        EXPECT_TRUE(process.WaitForExit(kProcessTimeoutMs));
    }
}

} // namespace
