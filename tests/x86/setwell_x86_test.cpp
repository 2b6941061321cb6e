// The shipped x86 Setwell.exe in the emulated 32-bit Wine of the x86 smoke run, against the x86
// simulated driver with one controller and its device node: the pages show the values stored in
// the driver key, a mode picked with a click is stored by Apply together with the other five, the
// driver is told to reload that controller's settings, and Cancel ends the program.
#include "settings/resource.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

#ifndef SETWELL_PATH
#error SETWELL_PATH must name the built x86 Setwell.exe
#endif

using namespace caltest;
using namespace qelvo::test;

const wchar_t* const kCaption = qelvo::test::InLanguage(L"Qelvo设置程序", L"Qelvo Settings");

// A wait that fails while Setwell shows no message of its own says so with these words: the
// emulation has stalled or killed the program, and the smoke run starts the case again. Wrong
// values and Setwell's own messages always fail.
const char kNoMessage[] = "no message from Setwell";

// Cross-process questions are dear under emulation.
constexpr DWORD kPollMs = 200;
constexpr DWORD kStepMs = 30000;
constexpr UINT kAskMs = 10000;

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

// The values as stored before Setwell starts: none of them its default.
struct Value {
    const wchar_t* name;
    DWORD stored;
};
const Value kStored[] = {{L"BeepMode", 1},  {L"BeepFreq", 3000}, {L"BeepTime", 100},
                         {L"MouseMode", 2}, {L"DragDelay", 300}, {L"DblClkRegion", 40}};

bool WriteStored()
{
    HKEY key = nullptr;
    DWORD error = 0;
    if (!touchsim::OpenDriverKey(kInstanceId, KEY_SET_VALUE, &key, &error))
        return false;
    bool ok = true;
    for (const Value& v : kStored) {
        ok = ok && RegSetValueExW(key, v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.stored), sizeof(DWORD))
                       == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

// One REG_DWORD of the driver key; false when it is missing or of another kind.
bool ReadValue(const wchar_t* name, DWORD* value)
{
    HKEY key = nullptr;
    DWORD error = 0;
    if (!touchsim::OpenDriverKey(kInstanceId, KEY_READ, &key, &error))
        return false;
    DWORD type = 0, size = sizeof(DWORD);
    const LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(DWORD);
}

// A message to a control of Setwell's, with a time limit: a stalled program gives no answer.
bool Ask(HWND page, int id, UINT message, LRESULT* answer)
{
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(GetDlgItem(page, id), message, 0, 0, SMTO_NORMAL, kAskMs, &result) == 0)
        return false;
    *answer = static_cast<LRESULT>(result);
    return true;
}

// The page (child dialog) of the main dialog that holds control `id`.
HWND PageWith(HWND dialog, int id)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgItem(child, id) != nullptr)
            return child;
    }
    return nullptr;
}

// Whether the control shows on the screen: a control not painted yet is one flat colour, the page's
// background.
bool Painted(HWND control)
{
    RECT rect = {};
    std::vector<unsigned char> rgb;
    if (!GetWindowRect(control, &rect) || !CaptureScreenRgb(rect, rgb) || rgb.size() < 3)
        return false;
    for (size_t at = 3; at + 2 < rgb.size(); at += 3) {
        if (rgb[at] != rgb[0] || rgb[at + 1] != rgb[1] || rgb[at + 2] != rgb[2])
            return true;
    }
    return false;
}

// What the two pages of values show.
struct Shown {
    LRESULT radio[4];  // BM_GETCHECK of 1064..1067
    LRESULT dragDelay;
    std::wstring region;
    LRESULT beepMode;
    LRESULT beepFreq;
    LRESULT beepTime;
};

bool ReadShown(HWND touchMode, HWND sound, Shown* shown)
{
    for (int i = 0; i < 4; ++i) {
        if (!Ask(touchMode, IDC_MODE_TOUCH_CLICK + i, BM_GETCHECK, &shown->radio[i]))
            return false;
    }
    shown->region = ItemText(touchMode, IDC_DBLCLK_REGION);
    return Ask(touchMode, IDC_DRAG_DELAY, TBM_GETPOS, &shown->dragDelay)
        && Ask(sound, IDC_BEEP_MODE, CB_GETCURSEL, &shown->beepMode)
        && Ask(sound, IDC_BEEP_FREQ, TBM_GETPOS, &shown->beepFreq)
        && Ask(sound, IDC_BEEP_TIME, TBM_GETPOS, &shown->beepTime);
}

class X86Setwell : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedTime = GetDoubleClickTime();
        savedWidth = static_cast<UINT>(GetSystemMetrics(SM_CXDOUBLECLK));
        savedHeight = static_cast<UINT>(GetSystemMetrics(SM_CYDOUBLECLK));
    }

    void TearDown() override
    {
        // Removing the device node may broadcast to every top-level window: a Setwell that still
        // hangs there would hold it up, so it must be gone first.
        if (setwell.IsRunning()) {
            setwell.Terminate();
            setwell.WaitForExit(60000);
        }
        rig.Sim().Reset();
        DWORD error = 0;
        touchsim::RemoveAllDeviceNodes(&error);
        // Apply sets the system's double-click settings for the whole prefix.
        SystemParametersInfoW(SPI_SETDOUBLECLICKTIME, savedTime, nullptr, SPIF_UPDATEINIFILE);
        SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, savedWidth, nullptr, SPIF_UPDATEINIFILE);
        SystemParametersInfoW(SPI_SETDOUBLECLKHEIGHT, savedHeight, nullptr, SPIF_UPDATEINIFILE);
    }

    uint32_t Reloads()
    {
        touchsim::SimControllerState state = {};
        return rig.State(&state) ? state.reloadCount : 0xFFFFFFFFu;
    }

    // What became of Setwell, for a failure message: still running or its exit code, the text of
    // a message box it shows, the reloads the driver saw.
    std::string Whereabouts()
    {
        std::string text;
        DWORD code = 0;
        if (setwell.IsRunning())
            text = "Setwell is running";
        else if (GetExitCodeProcess(setwell.Handle(), &code))
            text = "Setwell ended with exit code " + std::to_string(code);
        HWND box = FindTopWindow({L"#32770", L"Setwell", setwell.Id()});
        if (box != nullptr)
            text += ", its message reads \"" + Utf8(MessageBoxText(box)) + "\"";
        else
            text += std::string(", ") + kNoMessage;
        text += "; driver: " + std::to_string(Reloads()) + " reloads";
        const std::wstring shot = CaptureScreenPng(L"x86-setwell-failure.png");
        if (!shot.empty())
            text += "; screen in " + Utf8(shot);
        return text;
    }

    Rig rig;
    Process setwell;
    UINT savedTime = 500, savedWidth = 4, savedHeight = 4;
};

// Moves the tab control, which has the focus when the dialog opens, to tab `index` with the arrow
// keys. A key that comes while the emulated program is busy can be lost, so the selection is asked
// after each; tab control messages with pointers do not cross processes, so no click is aimed.
bool SelectTab(HWND dialog, int index)
{
    HWND tab = GetDlgItem(dialog, IDC_TAB);
    int selected = -1;
    auto current = [&] {
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(tab, TCM_GETCURSEL, 0, 0, SMTO_NORMAL, kAskMs, &answer) == 0)
            return false;
        selected = static_cast<int>(answer);
        return selected == index;
    };
    if (current())
        return true;
    return AnswerUntil(
        [&] { return selected >= 0 && BringToFront(dialog) && SendKey(selected < index ? VK_RIGHT : VK_LEFT); },
        current, kStepMs);
}

TEST_F(X86Setwell, ShowsStoredValuesAndAppliesAClickedModeToTheKeyAndTheDriver)
{
    ASSERT_TRUE(rig.Prepare(Panel::Straight, true));
    ASSERT_TRUE(WriteStored());

    const DWORD started = GetTickCount();
    ASSERT_TRUE(setwell.Start(L"\"" + ShippedBinary(L"Setwell.exe", WinePath(SETWELL_PATH)) + L"\""));
    // Every emulated process start takes a while; the first of a session more.
    HWND dialog = WaitForWindow({L"#32770", kCaption, setwell.Id()}, 240000);
    ASSERT_NE(dialog, nullptr) << "no window of Setwell; " << Whereabouts();
    std::printf("Setwell's dialog after %lu ms\n", static_cast<unsigned long>(GetTickCount() - started));
    std::fflush(stdout);
    HWND touchMode = PageWith(dialog, IDC_DRAG_DELAY);
    HWND sound = PageWith(dialog, IDC_BEEP_MODE);
    ASSERT_TRUE(touchMode != nullptr && sound != nullptr) << "the settings and sound pages are missing";

    // The stored values: mode 2 is the drag radio, the beep mode the list's index.
    Shown shown = {};
    ASSERT_TRUE(ReadShown(touchMode, sound, &shown)) << "Setwell did not answer; " << Whereabouts();
    EXPECT_EQ(shown.radio[0], BST_UNCHECKED);
    EXPECT_EQ(shown.radio[1], BST_UNCHECKED);
    EXPECT_EQ(shown.radio[2], BST_CHECKED) << "radio 1066 (MouseMode 2)";
    EXPECT_EQ(shown.radio[3], BST_UNCHECKED);
    EXPECT_EQ(shown.dragDelay, 300);
    EXPECT_EQ(shown.region, L"40");
    EXPECT_EQ(shown.beepMode, 1);
    EXPECT_EQ(shown.beepFreq, 3000);
    EXPECT_EQ(shown.beepTime, 100);

    ASSERT_TRUE(SelectTab(dialog, 1)) << "the settings tab did not open; " << Whereabouts();
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(touchMode) != FALSE; }, kStepMs, kPollMs))
        << "the settings page did not show; " << Whereabouts();

    // The double-click-and-drag radio, clicked: it checks itself, the drag one is released and
    // the region becomes editable.
    HWND doubleClickDrag = GetDlgItem(touchMode, IDC_MODE_DOUBLE_CLICK_DRAG);
    HWND region = GetDlgItem(touchMode, IDC_DBLCLK_REGION);
    ASSERT_TRUE(AnswerUntil(
        [&] {
            BringToFront(dialog);
            return ClickWindow(doubleClickDrag);
        },
        [&] {
            LRESULT checked = 0;
            return Ask(touchMode, IDC_MODE_DOUBLE_CLICK_DRAG, BM_GETCHECK, &checked) && checked == BST_CHECKED
                && IsWindowEnabled(region);
        },
        kStepMs))
        << "the click on radio 1067 did not take; " << Whereabouts();
    ASSERT_TRUE(ReadShown(touchMode, sound, &shown)) << "Setwell did not answer; " << Whereabouts();
    EXPECT_EQ(shown.radio[2], BST_UNCHECKED) << "radio 1066 after the click";
    // The picture once the page has drawn what the mode shows: slider, region and description.
    // (No title bar: Wine has no window manager to draw one here.)
    ASSERT_TRUE(WaitFor(
        [&] {
            return Painted(GetDlgItem(touchMode, IDC_DRAG_DELAY)) && Painted(region)
                && Painted(GetDlgItem(touchMode, IDC_DESCRIPTION_DOUBLE_CLICK_DRAG));
        },
        kStepMs, kPollMs))
        << "the settings page was not drawn; " << Whereabouts();
    RECT client = {};
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    CaptureScreenPng(L"x86-setwell.png", &client);

    // Apply, pressed until the driver is told: an Apply with nothing changed since writes and
    // tells nothing, so exactly one reload may follow.
    HWND apply = GetDlgItem(dialog, IDC_APPLY);
    const DWORD applied = GetTickCount();
    ASSERT_TRUE(AnswerUntil(
        [&] {
            BringToFront(dialog);
            return ClickWindow(apply);
        },
        [&] { return Reloads() != 0 || FindTopWindow({L"#32770", L"Setwell", setwell.Id()}) != nullptr; }, kStepMs))
        << "no reload after Apply; " << Whereabouts();
    std::printf("Apply: the driver told after %lu ms\n", static_cast<unsigned long>(GetTickCount() - applied));
    std::fflush(stdout);
    ASSERT_EQ(FindTopWindow({L"#32770", L"Setwell", setwell.Id()}), nullptr) << Whereabouts();

    for (const Value& v : kStored) {
        const DWORD expected = lstrcmpW(v.name, L"MouseMode") == 0 ? 3 : v.stored;
        DWORD value = 0xFFFFFFFFu;
        EXPECT_TRUE(ReadValue(v.name, &value)) << Utf8(v.name) << " is no REG_DWORD of the driver key";
        EXPECT_EQ(value, expected) << Utf8(v.name);
    }
    // The one controller got the one reload; nothing went to another id.
    touchsim::SimSummary summary = {};
    ASSERT_TRUE(rig.Sim().GetSummary(&summary));
    EXPECT_EQ(Reloads(), 1u);
    EXPECT_EQ(summary.requests[touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_RELOAD_SETTINGS)], 1u);
    EXPECT_EQ(summary.failedRequests, 0u);

    // Cancel ends the program, without another reload.
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    DWORD exitCode = 0;
    ASSERT_TRUE(AnswerUntil(
        [&] {
            BringToFront(dialog);
            return ClickWindow(cancel);
        },
        [&] { return setwell.WaitForExit(0, &exitCode); }, kStepMs))
        << "Setwell did not end after Cancel; " << Whereabouts();
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(Reloads(), 1u);
    DWORD mode = 0;
    EXPECT_TRUE(ReadValue(L"MouseMode", &mode));
    EXPECT_EQ(mode, 3u);
}

} // namespace
