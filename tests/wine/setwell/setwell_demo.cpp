// The demo's walk through the suite (scripts/demo.sh): Setwell opens for a simulated controller,
// its calibrate button starts Marksman, the three targets are touched (here through the panel
// model, or with --follow by the person's own clicks, which "touchsim follow" turns into touches),
// the try is accepted, a setting is changed and applied; then the stored values, the driver's
// record and the accuracy at nine points are printed. Exit code 0 when every step worked.
#include "simulator/SimProtocol.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"
#include "tests/wine/setwell/SetwellSession.h"

#ifndef TOUCHSIM_PATH
#error TOUCHSIM_PATH must name the built touchsim.exe
#endif

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

using namespace qelvo::test;
using namespace setwelltest;

namespace {

std::string Narrow(const std::wstring& text)
{
    std::string out;
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n > 1) {
        out.resize(static_cast<size_t>(n));
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
        out.resize(static_cast<size_t>(n - 1));
    }
    return out;
}

int Fail(const char* what)
{
    std::printf("demo: FAILED: %s\n", what);
    std::fflush(stdout);
    return 1;
}

// The rectangle of `window` once it has painted, or the whole screen as it is (the targets move).
void Shot(const wchar_t* name, HWND window = nullptr)
{
    RECT rect = {};
    if (window != nullptr)
        GetWindowRect(window, &rect);
    std::wstring path = window != nullptr ? CaptureSettledPng(name, window, &rect) : CaptureScreenPng(name);
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path) {
            if (c == L'\\')
                c = L'/';
        }
    }
    std::printf("demo: screenshot %s\n", path.empty() ? "failed" : Narrow(path).c_str());
}

HWND CalibrationWindow(DWORD setwellId)
{
    for (HWND hwnd : FindTopWindows({L"#32770", nullptr, 0})) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid != setwellId && pid != GetCurrentProcessId() && GetDlgItem(hwnd, 1000) != nullptr)
            return hwnd;
    }
    return nullptr;
}

int Run(bool follow)
{
    using namespace caltest;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Rig rig;
    if (!rig.Prepare(Panel::Straight))
        return Fail("setting up the simulated controller");
    DoubleClickSettings saved;
    ReadDoubleClick(&saved);
    // The person's clicks become touches of this controller while the demo runs.
    Process follower;
    if (follow) {
        wchar_t command[512];
        swprintf(command, 512, L"\"%ls\" follow %lu", caltest::WinePath(TOUCHSIM_PATH).c_str(),
                 static_cast<unsigned long>(kDeviceId));
        if (!follower.Start(command))
            return Fail("starting touchsim follow");
    }

    // Setwell runs in the folder of the shipped Marksman.exe, as after an installation.
    std::wstring folder = MarksmanPath();
    folder.resize(folder.find_last_of(L'\\'));
    Setwell setwell;
    if (!setwell.Start(folder))
        return Fail("starting Setwell.exe");
    HWND dialog = setwell.WaitForDialog();
    Pages pages;
    if (dialog == nullptr || !FindPages(dialog, &pages))
        return Fail("Setwell's dialog did not show");
    std::printf("demo: Setwell opened for controller %ls without asking (one controller)\n", kObjectName);
    Shot(L"demo-setwell.png", dialog);

    if (!ClickItem(pages.calibration, kCalibrate))
        return Fail("pressing the calibrate button");
    HWND calibration = nullptr;
    if (!WaitFor([&] { return (calibration = CalibrationWindow(setwell.Id())) != nullptr; }, 90000))
        return Fail("Marksman's calibration window did not show");
    DWORD marksmanId = 0;
    GetWindowThreadProcessId(calibration, &marksmanId);
    HANDLE marksman = OpenProcess(SYNCHRONIZE, FALSE, marksmanId);
    if (marksman == nullptr)
        return Fail("opening Marksman's process");
    std::printf("demo: the calibrate button started Marksman.exe (process %lu) for %ls\n",
                static_cast<unsigned long>(marksmanId), kObjectName);
    if (!WaitForPrompt(calibration, kPromptTarget[0], 60000))
        return Fail("the first target did not show");
    Shot(L"demo-marksman-target.png");

    std::array<POINT, 3> raw = {};
    if (follow) {
        std::printf("demo: touch the three targets yourself: each left click on this display becomes a touch of the\n"
                    "      simulated controller (touchsim follow %lu); then double-click or press Enter to accept the try\n",
                    static_cast<unsigned long>(kDeviceId));
        if (!WaitForPrompt(calibration, kPromptCheck, 600000))
            return Fail("the targets were not touched within 10 minutes");
        Shot(L"demo-marksman-verification.png");
        if (WaitForSingleObject(marksman, 600000) != WAIT_OBJECT_0)
            return Fail("the try was not accepted within 10 minutes");
    } else {
        std::printf("demo: touching the three targets through the panel model\n");
        if (!TapTargets(calibration, rig, &raw))
            return Fail("touching the targets");
        for (int i = 0; i < 3; ++i)
            std::printf("demo: target %d touched at raw %ld,%ld\n", i + 1, raw[i].x, raw[i].y);
        if (!WaitForPrompt(calibration, kPromptCheck, 30000))
            return Fail("the try did not start");
        Shot(L"demo-marksman-verification.png");
        BringToFront(calibration);
        if (!AnswerUntil([] { return SendKey(VK_RETURN); },
                         [&] { return WaitForSingleObject(marksman, 0) == WAIT_OBJECT_0; }, 60000))
            return Fail("Marksman did not end after Enter");
        std::printf("demo: the try was accepted with Enter; Marksman ended\n");
    }
    CloseHandle(marksman);

    // A setting changed and applied in Setwell, which stayed open all along.
    if (!SelectTab(dialog, 1) || !ClickItem(pages.touchMode, kModeFirst + 1) ||
        !WaitFor([&] { return CheckedMode(pages.touchMode) == 1; }, 10000))
        return Fail("choosing the release-click mode");
    Shot(L"demo-setwell-touchmode.png", dialog);
    if (!SelectTab(dialog, 2) || !PickListRow(pages.sound, kBeepMode, 1))
        return Fail("choosing sound on touch");
    Shot(L"demo-setwell-sound.png", dialog);
    if (!ClickItem(dialog, kApply))
        return Fail("pressing Apply");
    const uint32_t reload = touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_RELOAD_SETTINGS);
    touchsim::SimControllerState state = {};
    if (!WaitFor([&] { return rig.State(&state) && state.requests[reload] >= 1; }, 30000))
        return Fail("the driver got no reload code");
    std::printf("demo: Apply stored the settings (mode 1 = release click, beep on touch) and told the driver\n");
    if (!PressUntil(dialog, IDOK, [&] { return !setwell.Proc().IsRunning(); }))
        return Fail("closing Setwell with OK");
    SetDoubleClick(saved);

    Stored stored = {};
    DWORD error = 0;
    if (!ReadStored(&stored, &error))
        return Fail("reading the calibration values");
    static const char* const names[9] = {"XLow", "XHigh", "YLow", "YHigh", "SwapXY", "XMin", "XRange", "YMin", "YRange"};
    std::printf("stored calibration:");
    for (int i = 0; i < 9; ++i)
        std::printf(" %s=%lu", names[i], static_cast<unsigned long>(stored.value[i]));
    StoredValue settings[6];
    if (!ReadSettings(kInstanceId, settings, &error))
        return Fail("reading the settings");
    std::printf("\nstored settings:");
    for (int i = 0; i < 6; ++i)
        std::printf(" %ls=%lu", kValueNames[i], static_cast<unsigned long>(settings[i].value));
    if (!rig.State(&state))
        return Fail("reading the driver's state");
    std::printf("\ndriver record: XLow=%ld YLow=%ld XHigh=%ld YHigh=%ld SwapXY=%lu; range XMin=%ld YMin=%ld XRange=%ld "
                "YRange=%ld; mode=%lu; calibrations sent=%lu; reloads=%lu\n",
                static_cast<long>(state.calibration.XLow), static_cast<long>(state.calibration.YLow),
                static_cast<long>(state.calibration.XHigh), static_cast<long>(state.calibration.YHigh),
                static_cast<unsigned long>(state.calibration.SwapXY), static_cast<long>(state.range.XMin),
                static_cast<long>(state.range.YMin), static_cast<long>(state.range.XRange),
                static_cast<long>(state.range.YRange), static_cast<unsigned long>(state.mode),
                static_cast<unsigned long>(state.calibrationSent), static_cast<unsigned long>(state.requests[reload]));

    const LONG w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    std::printf("accuracy (aimed -> landed, through the panel model):");
    for (LONG y : {0L, h / 2, h - 1}) {
        for (LONG x : {0L, w / 2, w - 1}) {
            touchsim::SimTouchResult result = {};
            if (!rig.Sim().MapAt(kDeviceId, x, y, &result))
                return Fail("mapping a point");
            std::printf(" (%ld,%ld)->(%d,%d)", x, y, result.landX, result.landY);
        }
    }
    int maxError = -1;
    if (!MaxLandingError(rig, RECT{0, 0, w, h}, &maxError))
        return Fail("measuring the accuracy");
    std::printf("\naccuracy: max error %d px at nine points of the %ldx%ld screen\n", maxError, w, h);
    rig.Sim().Reset();
    touchsim::RemoveAllDeviceNodes(&error);
    return maxError <= 2 ? 0 : Fail("the touches land more than 2 px off");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool follow = argc > 1 && wcscmp(argv[1], L"--follow") == 0;
    return Run(follow);
}
