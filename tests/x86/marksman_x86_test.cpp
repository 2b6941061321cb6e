// The shipped x86 Marksman.exe in the emulated 32-bit Wine of the x86 smoke run, against the x86
// simulated driver: one calibration as Windows XP presents itself to the program and one as
// Windows 2000 does. The three targets are tapped through the simulated panel where they show on
// the screen, the try is accepted with Enter, and the driver key must then hold the record of the
// raw points and the whole desktop in that version's normalised units: 0..32767 on XP and later,
// 0..16383 on Windows 2000.
#include "tests/support/PngEncoder.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

#ifndef MARKSMAN_PATH
#error MARKSMAN_PATH must name the built x86 Marksman.exe
#endif

using namespace caltest;
using namespace qelvo::test;

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

// The emulation now and then kills or stalls a thread of an emulated program (the animation's
// threads come and go with every target). A wait that fails while Marksman shows no message of
// its own says so with these words; the smoke run then starts the case again. Wrong values and
// Marksman's own messages always fail.
const char kNoMessage[] = "no message from Marksman";

// Cross-process questions are dear under emulation, and a target waits 30 s for its touch.
constexpr DWORD kPollMs = 200;
constexpr DWORD kNextPromptMs = 20000;

// Wine reports to a program the Windows version named under AppDefaults\<program name>, read when
// the program starts. Only Marksman is shown another version; this process keeps its own.
const wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\Marksman.exe";

bool PresentVersionToMarksman(const wchar_t* version)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                   static_cast<DWORD>((lstrlenW(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

struct WindowsVersion {
    const char* name;
    const wchar_t* wineVersion;  // as winecfg -v names it
    int32_t fullScale;
};

class X86Calibration : public ::testing::TestWithParam<WindowsVersion> {
protected:
    void TearDown() override
    {
        // Removing the device node below may broadcast to every top-level window: a Marksman that
        // still hangs there would hold it up, so it must be gone first.
        if (marksman.IsRunning()) {
            marksman.Terminate();
            marksman.WaitForExit(60000);
        }
        rig.Sim().Reset();
        DWORD error = 0;
        touchsim::RemoveAllDeviceNodes(&error);
        RegDeleteKeyW(HKEY_CURRENT_USER, kAppDefaults);
    }

    // What became of Marksman, for a failure message: still running or its exit code, and the
    // text of a message box it shows.
    std::string Whereabouts()
    {
        std::string text;
        DWORD code = 0;
        if (marksman.IsRunning())
            text = "Marksman is running";
        else if (GetExitCodeProcess(marksman.Handle(), &code))
            text = "Marksman ended with exit code " + std::to_string(code);
        HWND box = FindTopWindow({L"#32770", L"Marksman", marksman.Id()});
        if (box != nullptr)
            text += ", its message reads \"" + Utf8(MessageBoxText(box)) + "\"";
        else
            text += std::string(", ") + kNoMessage;
        touchsim::SimControllerState state = {};
        if (rig.State(&state)) {
            text += "; driver: mode " + std::to_string(state.mode) + ", record " + std::to_string(state.calibration.XLow)
                + "," + std::to_string(state.calibration.YLow) + "," + std::to_string(state.calibration.XHigh) + ","
                + std::to_string(state.calibration.YHigh) + ", range " + std::to_string(state.range.XMin) + ","
                + std::to_string(state.range.YMin) + "," + std::to_string(state.range.XRange) + ","
                + std::to_string(state.range.YRange);
        }
        const std::wstring shot = CaptureScreenPng(L"x86-failure.png");
        if (!shot.empty())
            text += "; screen in " + Utf8(shot);
        return text;
    }

    Rig rig;
    Process marksman;
};

TEST_P(X86Calibration, TapsAcceptedByEnterStoreTheDesktopInTheVersionsUnits)
{
    const WindowsVersion& version = GetParam();
    ASSERT_TRUE(PresentVersionToMarksman(version.wineVersion));
    ASSERT_TRUE(rig.Prepare(Panel::Straight, true, version.fullScale));

    ASSERT_TRUE(marksman.Start(L"\"" + ShippedBinary(L"Marksman.exe", WinePath(MARKSMAN_PATH)) + L"\" " + kObjectName));
    // Every emulated process start takes a while; the first of a session more.
    HWND dialog = WaitForWindow({L"#32770", nullptr, marksman.Id()}, 240000);
    ASSERT_NE(dialog, nullptr) << "no window of Marksman; " << Whereabouts();
    ASSERT_NE(GetDlgItem(dialog, 1000), nullptr) << "not the calibration window";
    // Each target waits 30 s for its touch, and everything here runs emulated: the first target is
    // only grabbed from the screen before its tap and written out at the end.
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    std::vector<unsigned char> firstTarget;
    std::array<POINT, 3> raw = {};
    for (int i = 0; i < 3; ++i) {
        const DWORD waited = GetTickCount();
        // The next prompt follows a tap within a second or two even here; one that has not come
        // after 20 s won't: the emulation has stalled the program.
        ASSERT_TRUE(WaitForPrompt(dialog, kPromptTarget[i], i == 0 ? 60000 : kNextPromptMs, kPollMs))
            << "target " << i + 1 << " did not show; the prompt reads \"" << Utf8(ItemText(dialog, 1003)) << "\"; "
            << Whereabouts();
        ASSERT_TRUE(TargetVisible(dialog)) << "target " << i + 1 << " is not visible; " << Whereabouts();
        if (i == 0)
            CaptureScreenRgb(screen, firstTarget);
        const DWORD tapped = GetTickCount();
        ASSERT_TRUE(rig.Tap(TargetCentre(dialog), &raw[i]))
            << "tap on target " << i + 1 << ": driver error " << rig.Sim().LastError();
        std::printf("target %d shown after %lu ms, tapped %lu ms later\n", i + 1,
                    static_cast<unsigned long>(tapped - waited), static_cast<unsigned long>(GetTickCount() - tapped));
        std::fflush(stdout);
    }
    ASSERT_TRUE(WaitForPrompt(dialog, kPromptCheck, kNextPromptMs, kPollMs)) << "no try after the third target; " << Whereabouts();
    EXPECT_EQ(ItemText(dialog, 1004), kPromptAccept);

    // Enter is taken once the worker waits for the answer; until Marksman ends it is given again,
    // with room for the emulation between the tries.
    ASSERT_TRUE(BringToFront(dialog));
    bool ended = false;
    DWORD exitCode = 0;
    for (int attempt = 0; attempt < 8 && !ended; ++attempt) {
        SendKey(VK_RETURN);
        ended = marksman.WaitForExit(15000, &exitCode);
    }
    ASSERT_TRUE(ended) << "Marksman did not end after Enter; " << Whereabouts();
    if (!firstTarget.empty()) {
        const std::vector<uint8_t> png = EncodePng(static_cast<uint32_t>(screen.right), static_cast<uint32_t>(screen.bottom),
                                                   firstTarget);
        const std::wstring path = ScreenshotDirectory() + L"\\x86-first-target-"
            + (version.fullScale == 0x3FFF ? L"win2k" : L"winxp") + L".png";
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
            CloseHandle(file);
        }
    }

    ExpectStoredMatches(rig, raw, version.fullScale);
    touchsim::SimControllerState state = {};
    ASSERT_TRUE(rig.State(&state));
    EXPECT_EQ(state.mode, kInitialMode) << "the user's mode is back";

    // Touches land where they are made through what the driver now holds.
    int landing = -1;
    ASSERT_TRUE(
        MaxLandingError(rig, RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, &landing));
    std::printf("x86 %s: full scale %d, max landing error %d px\n", version.name, version.fullScale, landing);
    std::fflush(stdout);
    EXPECT_LE(landing, 2);
}

INSTANTIATE_TEST_SUITE_P(Versions, X86Calibration,
                         ::testing::Values(WindowsVersion{"WindowsXP", L"winxp", 0x7FFF},
                                           WindowsVersion{"Windows2000", L"win2k", 0x3FFF}),
                         [](const ::testing::TestParamInfo<WindowsVersion>& info) { return info.param.name; });

} // namespace
