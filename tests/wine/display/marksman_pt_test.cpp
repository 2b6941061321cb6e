// Marksman.exe started with the "pt" switch on a single display, against the simulated driver:
// the range dialog opens at once, and what it gives (or the whole display, when cancelled) is
// the area the calibration window covers.
#include "simulator/SimProtocol.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/device/SimulatedControllers.h"

#include <gtest/gtest.h>

#include <string>

using namespace qelvo::test;

namespace {

const wchar_t kName[] = L"\\Device\\TouchSim1";
const wchar_t* const kRangeCaption = qelvo::test::InLanguage(L"选择校准范围", L"Select Calibration Area");
const wchar_t* const kSelectCaption = qelvo::test::InLanguage(L"选择显示屏幕", L"Select Display");
const DWORD kProcessTimeoutMs = 90000;

std::wstring MarksmanCommand(const std::wstring& arguments)
{
    return L"\"" + ExecutableDirectory() + L"\\" MARKSMAN_FROM_TEST_DIR L"\" " + arguments;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A visible top-level window of `process` that covers exactly `area`; null on time-out or when
// the process ended. Notes whether the display-selection or the range dialog showed up meanwhile.
HWND WaitForWindowCovering(const Process& process, const RECT& area, bool* sawSelect, bool* sawRange = nullptr)
{
    HWND found = nullptr;
    WaitFor(
        [&] {
            if (FindTopWindow({L"#32770", kSelectCaption, process.Id()}) != nullptr)
                *sawSelect = true;
            if (sawRange != nullptr && FindTopWindow({L"#32770", kRangeCaption, process.Id()}) != nullptr)
                *sawRange = true;
            for (HWND hwnd : FindTopWindows({nullptr, nullptr, process.Id()})) {
                RECT r;
                if (::GetWindowRect(hwnd, &r) && SameRect(r, area)) {
                    found = hwnd;
                    return true;
                }
            }
            return !process.IsRunning();
        },
        kProcessTimeoutMs);
    return found;
}

class MarksmanCustomRange : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::GetSystemMetrics(SM_CMONITORS), 1) << "run on a single display";
        ASSERT_TRUE(sim.Start()) << "simulated driver: error " << sim.sim.LastError();
        ASSERT_TRUE(sim.AddController(101, kName));
        ASSERT_TRUE(sim.AddNode(L"USB\\VID_0EEF&PID_0001\\SIM1", kName, L"Qelvo Ltd", L"Qelvo USB Touch 1"));
    }
    void TearDown() override
    {
        if (process.IsRunning()) {
            process.Terminate(1);
            process.WaitForExit(kProcessTimeoutMs);
        }
        EXPECT_TRUE(sim.Clear());
    }

    // Starts Marksman with `arguments` and waits for its range dialog, which must come without
    // the display-selection dialog.
    HWND StartAndWaitForRangeDialog(const std::wstring& arguments)
    {
        if (!process.Start(MarksmanCommand(arguments)))
            return nullptr;
        HWND range = WaitForWindow({L"#32770", kRangeCaption, process.Id()}, kProcessTimeoutMs);
        EXPECT_EQ(FindTopWindow({L"#32770", kSelectCaption, process.Id()}), nullptr);
        return range;
    }

    SimulatedControllers sim;
    Process process;
};

TEST_F(MarksmanCustomRange, CancelledRangeCalibratesTheWholeDisplay)
{
    HWND range = StartAndWaitForRangeDialog(L"/pt");
    ASSERT_NE(range, nullptr);
    ASSERT_TRUE(ClickUntil(::GetDlgItem(range, IDCANCEL), [&] { return !::IsWindow(range); }));
    bool sawSelect = false;
    HWND calibration = WaitForWindowCovering(process, RECT{0, 0, 1024, 768}, &sawSelect);
    EXPECT_NE(calibration, nullptr) << "no window of the program covers the display";
    EXPECT_FALSE(sawSelect);
    EXPECT_EQ(FindTopWindow({L"#32770", L"Marksman", process.Id()}), nullptr) << "a message";
}

TEST_F(MarksmanCustomRange, ConfirmedRangeIsTheCalibratedArea)
{
    HWND range = StartAndWaitForRangeDialog(L"-pt " + std::wstring(kName));
    ASSERT_NE(range, nullptr);
    ASSERT_TRUE(BringToFront(range));
    ::SetDlgItemInt(range, 1107, 100, TRUE);
    ::SetDlgItemInt(range, 1109, 120, TRUE);
    ::SetDlgItemInt(range, 1108, 700, TRUE);
    ::SetDlgItemInt(range, 1110, 520, TRUE);
    ASSERT_TRUE(ClickUntil(::GetDlgItem(range, IDOK), [&] { return !::IsWindow(range); }));
    bool sawSelect = false;
    EXPECT_NE(WaitForWindowCovering(process, RECT{100, 120, 700, 520}, &sawSelect), nullptr);
    EXPECT_FALSE(sawSelect);
}

TEST_F(MarksmanCustomRange, SwitchInCapitalsHasNoEffect)
{
    ASSERT_TRUE(process.Start(MarksmanCommand(L"/PT")));
    bool sawSelect = false;
    bool sawRange = false;
    HWND calibration = WaitForWindowCovering(process, RECT{0, 0, 1024, 768}, &sawSelect, &sawRange);
    EXPECT_NE(calibration, nullptr);
    EXPECT_FALSE(sawRange);
    EXPECT_FALSE(sawSelect);
}

} // namespace
