// The calibration page's buttons of the shipped Setwell.exe: the tools are looked for in the
// current directory and started as asked; the shipped Marksman.exe calibrates the controller
// that Setwell had selected, without asking, while Setwell stays usable.
#include "simulator/SimProtocol.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"
#include "tests/wine/device/ListDriving.h"
#include "tests/wine/device/SimulatedControllers.h"
#include "tests/wine/setwell/SetwellSession.h"

#include <gtest/gtest.h>

#include <string>

using namespace qelvo::test;
using namespace setwelltest;

namespace {

const wchar_t kName1[] = L"\\Device\\TouchSim1";
const wchar_t kNode1[] = L"USB\\VID_0EEF&PID_0001\\SIM1";

// A window of another program (not Setwell, not this test) matching `query`.
HWND ForeignWindow(const WindowQuery& query, DWORD setwellId)
{
    for (HWND hwnd : FindTopWindows(query)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid != setwellId && pid != GetCurrentProcessId())
            return hwnd;
    }
    return nullptr;
}

// Closes a stand-in's window and waits until its process has ended.
bool CloseProgramOf(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    if (process == nullptr)
        return WaitFor([&] { return !IsWindow(hwnd); }, 30000);
    const bool ended = WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

class SetwellLaunch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start()) << "simulated driver: error " << sim.sim.LastError();
        ASSERT_TRUE(ReadDoubleClick(&saved));
    }
    void TearDown() override
    {
        if (setwell.Proc().IsRunning())
            setwell.Proc().Terminate();
        EXPECT_TRUE(SetDoubleClick(saved));
        for (HWND hwnd : FindTopWindows({L"QelvoProbe", nullptr, 0}))
            CloseProgramOf(hwnd);
        EXPECT_TRUE(sim.Clear());
    }

    void OneController()
    {
        ASSERT_TRUE(sim.AddController(101, kName1));
        ASSERT_TRUE(sim.AddNode(kNode1, kName1, L"Qelvo Ltd", L"Qelvo USB Touch 1"));
    }

    void Open(const std::wstring& currentDirectory)
    {
        ASSERT_TRUE(setwell.Start(currentDirectory)) << "error " << GetLastError();
        dialog = setwell.WaitForDialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(FindPages(dialog, &pages));
        ASSERT_TRUE(IsWindowVisible(pages.calibration));
    }

    void Close()
    {
        ASSERT_TRUE(PressUntil(dialog, IDCANCEL, [&] { return !setwell.Proc().IsRunning(); }));
    }

    SimulatedControllers sim;
    DoubleClickSettings saved;
    Setwell setwell;
    HWND dialog = nullptr;
    Pages pages;
};

struct LaunchFailure {
    const char* what;
    enum { Empty, TextFiles, Deep } folder;
    int button;
    int message;
    const wchar_t* appended;
};

// Each failure shows its message, owned by the dialog, without an icon, and leaves the dialog
// working.
TEST_F(SetwellLaunch, MissingUnstartableOrTooDeepToolsShowTheirMessage)
{
    const LaunchFailure cases[] = {
        {"calibrator missing", LaunchFailure::Empty, kCalibrate, 6, L""},
        {"calibrator is a text file", LaunchFailure::TextFiles, kCalibrate, 7, L"Code=193"},
        {"line test missing", LaunchFailure::Empty, kLineTest, 6, L""},
        {"line test is a text file", LaunchFailure::TextFiles, kLineTest, 7, L"Code=193"},
        {"calibrator in a 250-character folder", LaunchFailure::Deep, kCalibrate, 9, L""},
        {"line test in a 250-character folder", LaunchFailure::Deep, kLineTest, 9, L""},
    };
    ASSERT_NO_FATAL_FAILURE(OneController());
    for (const LaunchFailure& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder(L"launch");
        std::wstring directory = folder.Path();
        if (c.folder == LaunchFailure::TextFiles) {
            ASSERT_TRUE(folder.WriteText(L"Marksman.exe", "This is no program.\r\n"));
            ASSERT_TRUE(folder.WriteText(L"Scribe.exe", "This is no program either.\r\n"));
        } else if (c.folder == LaunchFailure::Deep) {
            ASSERT_TRUE(folder.MakeDeep(250, &directory));
        }
        ASSERT_EQ(GetFileAttributesW(directory.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
                  static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY)) << "no folder " << GetLastError();
        ASSERT_NO_FATAL_FAILURE(Open(directory));
        ASSERT_TRUE(setwell.PressToStart(pages.calibration, c.button));
        HWND box = setwell.WaitForMessage();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageBoxText(box), std::wstring(MessageText(c.message)) + c.appended);
        EXPECT_FALSE(MessageHasIcon(box));
        EXPECT_EQ(GetAncestor(MessageOwner(box), GA_ROOT), dialog) << "owned by the dialog";
        ASSERT_TRUE(Dismiss(box));
        EXPECT_EQ(ForeignWindow({L"QelvoProbe", nullptr, 0}, setwell.Id()), nullptr);
        ASSERT_TRUE(SelectTab(dialog, 1)) << "the dialog stays usable";
        ASSERT_NO_FATAL_FAILURE(Close());
    }
}

// Stand-ins named like the tools record how they were started.
TEST_F(SetwellLaunch, ToolsFromTheCurrentDirectoryStartWithTheirCommandLineAndShowState)
{
    ASSERT_NO_FATAL_FAILURE(OneController());
    TempFolder folder(L"standins");
    // A longer name after "Marksman" is found too.
    ASSERT_TRUE(folder.Copy(ProbePath(), L"MarksmanStandIn.exe"));
    ASSERT_TRUE(folder.Copy(ProbePath(), L"Scribe.exe"));
    ASSERT_NO_FATAL_FAILURE(Open(folder.Path()));

    ASSERT_TRUE(setwell.PressToStart(pages.calibration, kCalibrate));
    HWND marksman = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        marksman = FindTopWindow({L"QelvoProbe", L"MarksmanStandIn.exe", 0});
        return marksman != nullptr || setwell.FindMessage() != nullptr;
    }, 60000));
    ASSERT_NE(marksman, nullptr) << testing::PrintToString(MessageBoxText(setwell.FindMessage()));
    std::wstring commandLine, show, flags;
    const std::wstring record = folder.Path() + L"\\MarksmanStandIn.exe.txt";
    ASSERT_TRUE(ReadProbeFile(record, L"cmdline", &commandLine));
    ASSERT_TRUE(ReadProbeFile(record, L"show", &show));
    ASSERT_TRUE(ReadProbeFile(record, L"flags", &flags));
    EXPECT_EQ(commandLine, std::wstring(L" ") + kName1) << "one space and the controller's name";
    EXPECT_EQ(show, L"5") << "SW_SHOW";
    EXPECT_EQ(std::stoul(flags) & STARTF_USESHOWWINDOW, static_cast<unsigned long>(STARTF_USESHOWWINDOW));
    EXPECT_FALSE(IsZoomed(marksman));

    ASSERT_TRUE(setwell.PressToStart(pages.calibration, kLineTest));
    HWND scribe = WaitForWindow({L"QelvoProbe", L"Scribe.exe", 0}, 60000);
    ASSERT_NE(scribe, nullptr) << testing::PrintToString(MessageBoxText(setwell.FindMessage()));
    const std::wstring scribeRecord = folder.Path() + L"\\Scribe.exe.txt";
    ASSERT_TRUE(ReadProbeFile(scribeRecord, L"show", &show));
    EXPECT_EQ(show, L"3") << "SW_SHOWMAXIMIZED";
    EXPECT_TRUE(WaitFor([&] { return IsZoomed(scribe) != FALSE; }, 10000)) << "Scribe is not maximised";
    ASSERT_TRUE(ReadProbeFile(scribeRecord, L"cmdline", &commandLine));
    EXPECT_EQ(commandLine.find(L"\\Device\\"), std::wstring::npos) << "Scribe gets no controller name";

    // Setwell did not wait for them.
    EXPECT_EQ(setwell.FindMessage(), nullptr);
    ASSERT_TRUE(SelectTab(dialog, 2));
    EXPECT_TRUE(CloseProgramOf(marksman));
    EXPECT_TRUE(CloseProgramOf(scribe));
    ASSERT_NO_FATAL_FAILURE(Close());
}

// The shipped Scribe.exe in Setwell's current directory: the line-test button starts it, maximised,
// and Setwell stays usable.
TEST_F(SetwellLaunch, LineTestButtonStartsTheShippedScribeMaximised)
{
    ASSERT_NO_FATAL_FAILURE(OneController());
    TempFolder folder(L"scribe");
    ASSERT_TRUE(folder.Copy(ScribePath(), L"Scribe.exe"));
    ASSERT_NO_FATAL_FAILURE(Open(folder.Path()));

    ASSERT_TRUE(setwell.PressToStart(pages.calibration, kLineTest));
    HWND scribe = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        scribe = ForeignWindow({L"QelvoScribe", nullptr, 0}, setwell.Proc().Id());
        return (scribe != nullptr && IsWindowVisible(scribe)) || setwell.FindMessage() != nullptr;
    }, 60000));
    ASSERT_NE(scribe, nullptr) << testing::PrintToString(MessageBoxText(setwell.FindMessage()));
    // Scribe covers the screen: it is looked at and closed before anything else can fail.
    const bool maximised = WaitFor([&] { return IsZoomed(scribe) != FALSE; }, 10000);
    DWORD_PTR answer = 0;
    const bool answering = SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer) != 0;
    EXPECT_TRUE(CloseProgramOf(scribe));
    EXPECT_TRUE(maximised) << "Scribe is not maximised";
    EXPECT_TRUE(answering) << "Setwell waits for Scribe";
    EXPECT_EQ(setwell.FindMessage(), nullptr);
    ASSERT_NO_FATAL_FAILURE(Close());
}

// The real Marksman.exe, copied into Setwell's current directory, calibrates the controller chosen
// in Setwell's selection dialog (the second of the driver's list) without a dialog of its own.
TEST_F(SetwellLaunch, CalibrateButtonCalibratesTheSelectedControllerWithMarksman)
{
    using namespace caltest;
    Rig rig;
    ASSERT_TRUE(rig.Prepare(Panel::MirrorX)) << rig.Sim().LastError();
    // The driver lists another controller first, whose node sorts first in the selection dialog.
    const uint32_t otherId = 0x52;
    const wchar_t otherName[] = L"\\Device\\USBPDO-9";
    const touchsim::DesktopGeometry desktop = touchsim::SystemDesktop();
    ASSERT_TRUE(rig.Sim().RemoveController(kDeviceId));
    ASSERT_TRUE(rig.Sim().AddController(otherId, otherName, touchsim::StraightPanel(desktop.virtualScreen)));
    ASSERT_TRUE(rig.Sim().AddController(kDeviceId, kObjectName, MakePanel(Panel::MirrorX, desktop.virtualScreen)));
    ASSERT_TRUE(sim.AddNode(L"USB\\VID_0EEF&PID_0001\\CALSIM0", otherName, L"Qelvo", L"Other controller"));
    touch::TouchModeRecord mode = {kDeviceId, kInitialMode};
    DWORD returned = 0;
    ASSERT_TRUE(rig.Sim().Control(touch::IOCTL_TOUCH_SET_MODE, &mode, sizeof mode, nullptr, 0, &returned));
    ASSERT_TRUE(rig.Sim().ClearHistory());

    TempFolder folder(L"marksman");
    ASSERT_TRUE(folder.Copy(MarksmanPath(), L"Marksman.exe"));
    ASSERT_TRUE(setwell.Start(folder.Path()));
    HWND select = setwell.WaitForSelection();
    ASSERT_NE(select, nullptr);
    HWND list = GetDlgItem(select, 1080);
    ASSERT_EQ(RowText(list, 1), kInstanceId);
    ASSERT_TRUE(ClickRow(select, list, 1));
    ASSERT_TRUE(WaitFor([&] { return SelectedRow(list) == 1; }, 10000));
    ASSERT_TRUE(PressUntil(select, IDOK, [&] { return !IsWindow(select); }));
    dialog = setwell.WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(FindPages(dialog, &pages));

    ASSERT_TRUE(setwell.PressToStart(pages.calibration, kCalibrate));
    HWND calibration = nullptr;
    bool sawSelection = false;
    ASSERT_TRUE(WaitFor([&] {
        if (ForeignWindow({L"#32770", kSelectCaption, 0}, setwell.Id()) != nullptr)
            sawSelection = true;
        calibration = ForeignWindow({L"#32770", nullptr, 0}, setwell.Id());
        if (calibration != nullptr && GetDlgItem(calibration, 1000) == nullptr)
            calibration = nullptr;
        return calibration != nullptr || sawSelection || setwell.FindMessage() != nullptr;
    }, 90000));
    EXPECT_FALSE(sawSelection) << "Marksman asked for the controller";
    ASSERT_NE(calibration, nullptr) << testing::PrintToString(MessageBoxText(setwell.FindMessage()));
    DWORD marksmanId = 0;
    GetWindowThreadProcessId(calibration, &marksmanId);
    HANDLE marksman = OpenProcess(SYNCHRONIZE, FALSE, marksmanId);
    ASSERT_NE(marksman, nullptr);

    std::array<POINT, 3> raw = {};
    const bool tapped = TapTargets(calibration, rig, &raw);
    // Setwell answers while Marksman calibrates.
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0);
    EXPECT_TRUE(setwell.Proc().IsRunning());
    ASSERT_TRUE(tapped) << "the targets did not show";
    ASSERT_TRUE(WaitForPrompt(calibration, kPromptCheck, 30000));
    CaptureSettledPng(L"setwell-marksman-verification.png", nullptr);
    ASSERT_TRUE(BringToFront(calibration));
    ASSERT_TRUE(AnswerUntil([] { return SendKey(VK_RETURN); },
                            [&] { return WaitForSingleObject(marksman, 0) == WAIT_OBJECT_0; }, 60000));
    CloseHandle(marksman);
    ExpectStoredMatches(rig, raw, desktop.fullScale);
    touchsim::SimControllerState other = {};
    ASSERT_TRUE(rig.Sim().GetState(otherId, &other));
    EXPECT_EQ(other.requests[touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_GET_MODE)], 0u);
    EXPECT_EQ(other.calibrationSent, 0u);
    int error = -1;
    ASSERT_TRUE(MaxLandingError(rig, RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, &error));
    std::printf("accuracy after calibrating from Setwell: max-error=%d px\n", error);
    EXPECT_LE(error, 2);

    // Setwell is still there and works: a change applied reaches the calibrated controller.
    ASSERT_TRUE(setwell.Proc().IsRunning());
    ASSERT_TRUE(SelectTab(dialog, 1));
    ASSERT_TRUE(PressUntil(pages.touchMode, kModeFirst + 1, [&] { return CheckedMode(pages.touchMode) == 1; }));
    ASSERT_TRUE(PressUntil(dialog, kApply, [&] {
        touchsim::SimControllerState state = {};
        return rig.State(&state) && state.requests[touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_RELOAD_SETTINGS)] == 1;
    }));
    StoredValue values[6];
    DWORD keyError = 0;
    ASSERT_TRUE(ReadSettings(kInstanceId, values, &keyError));
    EXPECT_EQ(values[3].value, 1u);
    Stored stored = {};
    EXPECT_TRUE(ReadStored(&stored, &keyError)) << "Apply must keep the calibration values";
    ASSERT_NO_FATAL_FAILURE(Close());
}

} // namespace
