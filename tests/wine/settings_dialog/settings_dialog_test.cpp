// SettingsDialog in-process on a thread of its own, with one simulated controller whose driver
// key the test fills and reads: opening values, tab switching, swallowed Return and Escape,
// Apply with its registry writes, system double-click settings and reload code, and a driver key
// that goes away between two Apply presses.
#include "settings/SettingsApp.h"
#include "settings/SettingsDialog.h"
#include "settings/resource.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/device/SimulatedControllers.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>

using namespace qelvo::test;

settings::SettingsApp theApp;

namespace {

const wchar_t kInstance[] = L"USB\\VID_0EEF&PID_0001\\SETWELL1";
const wchar_t kName[] = L"\\Device\\TouchSim1";
const uint32_t kDeviceId = 0x51;
const wchar_t kCaption[] = L"Qelvo设置程序";
const DWORD kTimeoutMs = 30000;

bool WriteValue(const wchar_t* name, DWORD value)
{
    HKEY key = nullptr;
    DWORD error = 0;
    if (!touchsim::OpenDriverKey(kInstance, KEY_ALL_ACCESS, &key, &error))
        return false;
    const bool ok = ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
                    ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

bool ReadValue(const wchar_t* name, DWORD* value)
{
    HKEY key = nullptr;
    DWORD error = 0;
    if (!touchsim::OpenDriverKey(kInstance, KEY_READ, &key, &error))
        return false;
    DWORD size = sizeof *value;
    const bool ok = ::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
                    ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

// The driver key's path under HKLM, from the device node's "Driver" value.
std::wstring DriverKeyPath()
{
    const std::wstring enumPath = std::wstring(L"System\\CurrentControlSet\\Enum\\") + kInstance;
    wchar_t driver[200] = {};
    DWORD size = sizeof driver - sizeof(wchar_t);
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, enumPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"";
    const LONG read = ::RegQueryValueExW(key, L"Driver", nullptr, nullptr, reinterpret_cast<BYTE*>(driver), &size);
    ::RegCloseKey(key);
    if (read != ERROR_SUCCESS || driver[0] == L'\0')
        return L"";
    return std::wstring(L"System\\CurrentControlSet\\Control\\Class\\") + driver;
}

// Deletes a key with everything below it.
LONG DeleteKeyTree(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    LONG result = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (result != ERROR_SUCCESS)
        return result;
    wchar_t name[256];
    for (;;) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (DeleteKeyTree(key, name) != ERROR_SUCCESS)
            break;
    }
    ::RegCloseKey(key);
    return ::RegDeleteKeyW(root, path.c_str());
}

uint32_t Reloads(touchsim::SimClient& sim)
{
    touchsim::SimControllerState state = {};
    return sim.GetState(kDeviceId, &state) ? state.reloadCount : 0xFFFFFFFFu;
}

// The page (child dialog) of the main dialog that holds control `id`.
HWND PageWith(HWND dialog, int id)
{
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::GetDlgItem(child, id) != nullptr)
            return child;
    }
    return nullptr;
}

// Clicks tab `index` until it is the selected one (a click that arrives while the window is
// still settling after a key can be lost).
bool ClickTab(HWND dialog, int index)
{
    HWND tab = ::GetDlgItem(dialog, IDC_TAB);
    RECT item = {};
    if (!::SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)))
        return false;
    POINT centre = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ::ClientToScreen(tab, &centre);
    DWORD lastClick = 0;
    return WaitFor(
        [&] {
            if (::SendMessageW(tab, TCM_GETCURSEL, 0, 0) == index)
                return true;
            if (lastClick == 0 || ::GetTickCount() - lastClick > 1000) {
                lastClick = ::GetTickCount();
                BringToFront(dialog);
                Click(centre);
            }
            return false;
        },
        kTimeoutMs);
}

// Apply through the dialog's own command; returns once the dialog has handled it (no message box
// may come up on this path).
void ApplyAndWait(HWND dialog)
{
    DWORD_PTR ignored = 0;
    ASSERT_NE(::SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED),
                                    reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDC_APPLY)), SMTO_NORMAL, kTimeoutMs,
                                    &ignored),
              0);
}

// A message box owned by `dialog` with the given text; dismissed with its OK button.
void ExpectOwnedMessage(HWND dialog, const wchar_t* text)
{
    HWND box = WaitForWindow({L"#32770", fw::ProgramName().c_str(), ::GetCurrentProcessId()}, kTimeoutMs);
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(MessageBoxText(box), text);
    EXPECT_EQ(::GetWindow(box, GW_OWNER), dialog);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }, kTimeoutMs));
}

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fw::InitCommonControlClasses();
        ASSERT_TRUE(controllers.Start());
        ASSERT_TRUE(controllers.AddController(kDeviceId, kName));
        ASSERT_TRUE(controllers.AddNode(kInstance, kName, L"Qelvo", L"Touch"));
        savedTime = ::GetDoubleClickTime();
        savedWidth = static_cast<UINT>(::GetSystemMetrics(SM_CXDOUBLECLK));
        savedHeight = static_cast<UINT>(::GetSystemMetrics(SM_CYDOUBLECLK));
    }
    void TearDown() override
    {
        theApp.deviceManager.Release();
        ::SystemParametersInfoW(SPI_SETDOUBLECLICKTIME, savedTime, nullptr, SPIF_UPDATEINIFILE);
        ::SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, savedWidth, nullptr, SPIF_UPDATEINIFILE);
        ::SystemParametersInfoW(SPI_SETDOUBLECLKHEIGHT, savedHeight, nullptr, SPIF_UPDATEINIFILE);
        controllers.Clear();
    }

    void Select()
    {
        ASSERT_TRUE(theApp.deviceManager.Initialize());
        ASSERT_TRUE(theApp.deviceManager.SelectInteractively());
    }

    SimulatedControllers controllers;
    UINT savedTime = 500, savedWidth = 4, savedHeight = 4;
};

TEST_F(SettingsDialogTest, OpensWithStoredValuesSwitchesTabsAndIgnoresReturnAndEscape)
{
    ASSERT_TRUE(WriteValue(L"BeepMode", 1));
    ASSERT_TRUE(WriteValue(L"BeepFreq", 3000));
    ASSERT_TRUE(WriteValue(L"BeepTime", 100));
    ASSERT_TRUE(WriteValue(L"MouseMode", 2));
    ASSERT_TRUE(WriteValue(L"DragDelay", 600));
    ASSERT_TRUE(WriteValue(L"DblClkRegion", 500));
    Select();

    INT_PTR result = 12345;
    UiThread ui([&] {
        settings::SettingsDialog dialog;
        result = dialog.RunModal();
    });
    HWND dialog = WaitForThreadDialog(ui.Id(), kCaption, kTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    HWND tab = ::GetDlgItem(dialog, IDC_TAB);
    HWND calibration = PageWith(dialog, IDC_CALIBRATE);
    HWND touchMode = PageWith(dialog, IDC_DRAG_DELAY);
    HWND sound = PageWith(dialog, IDC_BEEP_MODE);
    HWND about = nullptr;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        ::GetClassNameW(child, className, 16);
        if (lstrcmpW(className, L"#32770") == 0 && child != calibration && child != touchMode && child != sound)
            about = child;
    }
    ASSERT_TRUE(calibration && touchMode && sound && about);

    EXPECT_EQ(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(::SendMessageW(tab, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(::IsWindowVisible(calibration));
    EXPECT_FALSE(::IsWindowVisible(touchMode) || ::IsWindowVisible(sound) || ::IsWindowVisible(about));

    // Values as stored; mode 2 leaves only the slider enabled; a region outside 25..100 is shown.
    EXPECT_EQ(::SendDlgItemMessageW(touchMode, IDC_MODE_DRAG, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendDlgItemMessageW(touchMode, IDC_DRAG_DELAY, TBM_GETPOS, 0, 0), 600);
    EXPECT_EQ(ItemText(touchMode, IDC_DBLCLK_REGION), L"500");
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(touchMode, IDC_DRAG_DELAY)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(touchMode, IDC_DBLCLK_REGION)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(touchMode, IDC_DBLCLK_SPIN)));
    EXPECT_EQ(::SendDlgItemMessageW(touchMode, IDC_DRAG_DELAY, TBM_GETRANGEMAX, 0, 0), 1500);
    EXPECT_EQ(::SendDlgItemMessageW(sound, IDC_BEEP_MODE, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(::SendDlgItemMessageW(sound, IDC_BEEP_MODE, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(::SendDlgItemMessageW(sound, IDC_BEEP_FREQ, TBM_GETPOS, 0, 0), 3000);
    EXPECT_EQ(::SendDlgItemMessageW(sound, IDC_BEEP_TIME, TBM_GETPOS, 0, 0), 100);

    // The pages sit inside the tab control, below its row of titles.
    RECT tabRect = {}, pageRect = {}, item = {};
    ::GetWindowRect(tab, &tabRect);
    ::GetWindowRect(calibration, &pageRect);
    ::SendMessageW(tab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(pageRect.left - tabRect.left, item.left);
    EXPECT_EQ(pageRect.top - tabRect.top, item.top + item.bottom);

    ASSERT_TRUE(ClickTab(dialog, 1));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(touchMode) && !::IsWindowVisible(calibration); }, kTimeoutMs));
    CaptureScreenPng(L"setwell-touch-mode-page.png");

    // The logo keeps the page's own background around its letters.
    ASSERT_TRUE(ClickTab(dialog, 3));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(about) && !::IsWindowVisible(touchMode); }, kTimeoutMs));
    ::UpdateWindow(about);
    RECT aboutRect = {};
    ::GetWindowRect(about, &aboutRect);
    CaptureScreenPng(L"setwell-about-page.png", &aboutRect);
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(WaitFor([&] { return CaptureScreenRgb(aboutRect, rgb); }, kTimeoutMs));
    const int width = aboutRect.right - aboutRect.left;
    const int height = aboutRect.bottom - aboutRect.top;
    const int logoX = (width - 102) / 2;
    const int logoY = (height / 2 - 32) / 2;
    auto pixel = [&](int x, int y) {
        const size_t at = (static_cast<size_t>(y) * width + x) * 3;
        return (rgb[at] << 16) | (rgb[at + 1] << 8) | rgb[at + 2];
    };
    const int background = pixel(2, 2);
    int logoPixels = 0, backgroundInBox = 0;
    for (int y = logoY; y < logoY + 32; ++y) {
        for (int x = logoX; x < logoX + 102; ++x) {
            if (pixel(x, y) == background)
                ++backgroundInBox;
            else
                ++logoPixels;
        }
    }
    // Corners of the logo's box are background; the letters show in between.
    EXPECT_EQ(pixel(logoX, logoY), background);
    EXPECT_EQ(pixel(logoX + 101, logoY + 31), background);
    EXPECT_GT(logoPixels, 102 * 32 / 10);
    EXPECT_GT(backgroundInBox, 102 * 32 / 2);

    // The tab control has the focus: Escape and Return do nothing, the arrow key that follows
    // them moves to the next tab. (Last: Wine's tab control takes no clicks after a change by
    // keyboard.)
    ASSERT_TRUE(ClickTab(dialog, 1));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(touchMode) && !::IsWindowVisible(about); }, kTimeoutMs));
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    ASSERT_TRUE(SendKey(VK_RETURN));
    ASSERT_TRUE(SendKey(VK_RIGHT));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(sound) && !::IsWindowVisible(touchMode); }, kTimeoutMs));
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_TRUE(ui.Running());

    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(ui.Join(kTimeoutMs));
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(SettingsDialogTest, ApplyWritesChangesOnceAndTriesAgainWhatCouldNotBeStored)
{
    ASSERT_TRUE(WriteValue(L"MouseMode", 3));
    ASSERT_TRUE(WriteValue(L"DblClkRegion", 40));
    Select();
    INT_PTR result = 12345;
    UiThread ui([&] {
        settings::SettingsDialog dialog;
        result = dialog.RunModal();
    });
    HWND dialog = WaitForThreadDialog(ui.Id(), kCaption, kTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    HWND sound = PageWith(dialog, IDC_BEEP_MODE);
    ASSERT_NE(sound, nullptr);
    const uint32_t reloadsAtStart = Reloads(controllers.sim);

    // Nothing changed: no write, no code.
    ApplyAndWait(dialog);
    EXPECT_EQ(Reloads(controllers.sim), reloadsAtStart);
    DWORD value = 0;
    EXPECT_FALSE(ReadValue(L"BeepMode", &value)) << "written without a change";

    // Only the beep mode changed: all six written, system double-click for mode 3, one reload.
    ::SendDlgItemMessageW(sound, IDC_BEEP_MODE, CB_SETCURSEL, 0, 0);
    ApplyAndWait(dialog);
    EXPECT_EQ(Reloads(controllers.sim), reloadsAtStart + 1);
    const struct {
        const wchar_t* name;
        DWORD expected;
    } stored[] = {{L"BeepMode", 0}, {L"BeepFreq", 1000}, {L"BeepTime", 32}, {L"MouseMode", 3},
                  {L"DragDelay", 0}, {L"DblClkRegion", 40}};
    for (const auto& s : stored) {
        value = 0xFFFF;
        EXPECT_TRUE(ReadValue(s.name, &value)) << s.name;
        EXPECT_EQ(value, s.expected) << s.name;
    }
    EXPECT_EQ(::GetDoubleClickTime(), 800u);
    EXPECT_EQ(::GetSystemMetrics(SM_CXDOUBLECLK), 40);
    EXPECT_EQ(::GetSystemMetrics(SM_CYDOUBLECLK), 40);

    // A second Apply without a change does nothing.
    ApplyAndWait(dialog);
    EXPECT_EQ(Reloads(controllers.sim), reloadsAtStart + 1);

    // The driver key goes away: the next change cannot be stored. The user is told (message 1),
    // the driver is still told to reload, and the change is not taken as stored: the following
    // Apply tries again and tells again.
    const std::wstring keyPath = DriverKeyPath();
    ASSERT_FALSE(keyPath.empty());
    ASSERT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, keyPath), ERROR_SUCCESS);
    ::SendDlgItemMessageW(sound, IDC_BEEP_MODE, CB_SETCURSEL, 2, 0);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
        ExpectOwnedMessage(dialog, L"读取触摸屏参数出错！");
        EXPECT_TRUE(WaitFor([&] { return Reloads(controllers.sim) == reloadsAtStart + 1 + attempt; }, kTimeoutMs));
    }
    // Back again: the pending change is stored at the next Apply, after which Apply is quiet.
    HKEY recreated = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &recreated,
                                nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(recreated);
    ApplyAndWait(dialog);
    EXPECT_EQ(Reloads(controllers.sim), reloadsAtStart + 4);
    EXPECT_TRUE(ReadValue(L"BeepMode", &value));
    EXPECT_EQ(value, 2u);
    EXPECT_TRUE(ReadValue(L"DblClkRegion", &value));
    EXPECT_EQ(value, 40u);
    ApplyAndWait(dialog);
    EXPECT_EQ(Reloads(controllers.sim), reloadsAtStart + 4);

    // OK with nothing changed closes without a code.
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(ui.Join(kTimeoutMs));
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Reloads(controllers.sim), reloadsAtStart + 4);
}

} // namespace
