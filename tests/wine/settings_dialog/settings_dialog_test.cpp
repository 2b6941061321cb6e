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

// Copied into a test folder as "Marksman*.exe" or "Scribe.exe", this program writes how it was
// started (command line, then the show flags) next to itself and ends before any test runs.
struct StartedAsTool {
    StartedAsTool()
    {
        wchar_t path[MAX_PATH] = {};
        if (::GetModuleFileNameW(nullptr, path, MAX_PATH) == 0)
            return;
        const wchar_t* slash = wcsrchr(path, L'\\');
        const wchar_t* name = slash != nullptr ? slash + 1 : path;
        if (_wcsnicmp(name, L"Marksman", 8) != 0 && _wcsicmp(name, L"Scribe.exe") != 0)
            return;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        ::GetStartupInfoW(&startup);
        const std::wstring report = std::wstring(::GetCommandLineW()) + L"\n" +
                                    std::to_wstring(startup.dwFlags) + L" " + std::to_wstring(startup.wShowWindow);
        const std::wstring out = std::wstring(path) + L".started";
        HANDLE file = ::CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(file, report.data(), static_cast<DWORD>(report.size() * sizeof(wchar_t)), &written, nullptr);
            ::CloseHandle(file);
        }
        ::ExitProcess(0);
    }
} startedAsTool;

const wchar_t kInstance[] = L"USB\\VID_0EEF&PID_0001\\SETWELL1";
const wchar_t kName[] = L"\\Device\\TouchSim1";
const uint32_t kDeviceId = 0x51;
const wchar_t* const kCaption = qelvo::test::InLanguage(L"Qelvo设置程序", L"Qelvo Settings");
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
void ExpectOwnedMessage(HWND dialog, const std::wstring& text)
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

    // Radio clicks enable what the mode needs and show its own description only.
    const struct {
        int radio;
        bool slider, region;
        int description;
    } clicks[] = {{IDC_MODE_DOUBLE_CLICK_DRAG, true, true, IDC_DESCRIPTION_DOUBLE_CLICK_DRAG},
                  {IDC_MODE_DRAG, true, false, IDC_DESCRIPTION_DRAG},
                  {IDC_MODE_TOUCH_CLICK, false, false, IDC_DESCRIPTION_TOUCH_CLICK},
                  {IDC_MODE_RELEASE_CLICK, false, false, IDC_DESCRIPTION_RELEASE_CLICK}};
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.radio);
        // Settled when the button is checked and exactly one description shows.
        ASSERT_TRUE(ClickUntil(
            ::GetDlgItem(touchMode, click.radio),
            [&] {
                int shown = 0;
                for (int id = IDC_DESCRIPTION_TOUCH_CLICK; id <= IDC_DESCRIPTION_DOUBLE_CLICK_DRAG; ++id)
                    shown += id != IDC_DBLCLK_SPIN && ::IsWindowVisible(::GetDlgItem(touchMode, id)) ? 1 : 0;
                return ::SendDlgItemMessageW(touchMode, click.radio, BM_GETCHECK, 0, 0) == BST_CHECKED && shown == 1;
            },
            kTimeoutMs));
        EXPECT_EQ(::SendDlgItemMessageW(touchMode, click.radio, BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(touchMode, IDC_DRAG_DELAY)) != FALSE, click.slider);
        EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(touchMode, IDC_DBLCLK_REGION)) != FALSE, click.region);
        EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(touchMode, IDC_DBLCLK_SPIN)) != FALSE, click.region);
        for (int other : {IDC_DESCRIPTION_TOUCH_CLICK, IDC_DESCRIPTION_RELEASE_CLICK, IDC_DESCRIPTION_DRAG,
                          IDC_DESCRIPTION_DOUBLE_CLICK_DRAG}) {
            if (other != click.description) {
                EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(touchMode, other))) << other;
            }
        }
    }

    // The logo keeps the page's own background around its letters.
    ASSERT_TRUE(ClickTab(dialog, 3));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(about) && !::IsWindowVisible(touchMode); }, kTimeoutMs));
    RECT aboutRect = {};
    ::GetWindowRect(about, &aboutRect);
    const int width = aboutRect.right - aboutRect.left;
    const int height = aboutRect.bottom - aboutRect.top;
    const int logoX = (width - 102) / 2;
    const int logoY = (height / 2 - 32) / 2;
    std::vector<unsigned char> rgb;
    auto pixel = [&](int x, int y) {
        const size_t at = (static_cast<size_t>(y) * width + x) * 3;
        return (rgb[at] << 16) | (rgb[at + 1] << 8) | rgb[at + 2];
    };
    int background = 0, logoPixels = 0, backgroundInBox = 0;
    // Settled once the logo shows on screen.
    const bool logoShown = WaitFor(
        [&] {
            if (!CaptureScreenRgb(aboutRect, rgb))
                return false;
            background = pixel(2, 2);
            logoPixels = backgroundInBox = 0;
            for (int y = logoY; y < logoY + 32; ++y) {
                for (int x = logoX; x < logoX + 102; ++x)
                    ++(pixel(x, y) == background ? backgroundInBox : logoPixels);
            }
            return logoPixels > 102 * 32 / 10;
        },
        kTimeoutMs);
    CaptureScreenPng(L"setwell-about-page.png", &aboutRect);
    ASSERT_TRUE(logoShown) << logoPixels << " pixels of the logo";
    // Corners of the logo's box are background; the letters show in between.
    EXPECT_EQ(pixel(logoX, logoY), background);
    EXPECT_EQ(pixel(logoX + 101, logoY + 31), background);
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

    // Cancel drops the page's mode: the stored one stays.
    const uint32_t reloads = Reloads(controllers.sim);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(ui.Join(kTimeoutMs));
    EXPECT_EQ(result, IDCANCEL);
    DWORD mode = 0;
    EXPECT_TRUE(ReadValue(L"MouseMode", &mode));
    EXPECT_EQ(mode, 2u);
    EXPECT_EQ(Reloads(controllers.sim), reloads);
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
        ExpectOwnedMessage(dialog, qelvo::test::InLanguage(L"读取触摸屏参数出错！", L"Failed to read the touch screen settings!"));
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

// What a tool copied from this program wrote about its start; empty until it has.
std::wstring ReadStartReport(const std::wstring& toolPath)
{
    HANDLE file = ::CreateFileW((toolPath + L".started").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return L"";
    wchar_t text[1024] = {};
    DWORD read = 0;
    ::ReadFile(file, text, sizeof text - sizeof(wchar_t), &read, nullptr);
    ::CloseHandle(file);
    return std::wstring(text, read / sizeof(wchar_t));
}

TEST_F(SettingsDialogTest, CalibrationPageStartsToolsFromTheCurrentDirectory)
{
    Select();
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"setwell-tools-" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    // A folder whose path leaves no room for "\\Marksman*.exe" within MAX_PATH: 246 characters.
    std::wstring deep = folder + L"\\" + std::wstring(200, L'd');
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_LT(deep.size(), 246u);
    deep += L"\\" + std::wstring(245 - deep.size(), L'e');
    ASSERT_EQ(deep.size(), 246u);
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    wchar_t ownPath[MAX_PATH] = {};
    ASSERT_NE(::GetModuleFileNameW(nullptr, ownPath, MAX_PATH), 0u);
    wchar_t previous[MAX_PATH] = {};
    ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.c_str()));

    INT_PTR result = 12345;
    UiThread ui([&] {
        settings::SettingsDialog dialog;
        result = dialog.RunModal();
    });
    HWND dialog = WaitForThreadDialog(ui.Id(), kCaption, kTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    HWND page = PageWith(dialog, IDC_CALIBRATE);
    ASSERT_NE(page, nullptr);
    HWND calibrate = ::GetDlgItem(page, IDC_CALIBRATE);
    HWND lineTest = ::GetDlgItem(page, IDC_LINE_TEST);
    // A button that shows a message is pressed until it shows (a lost click is repeated; the
    // message disables the dialog); one that starts a program is pressed once, as a repeat could
    // start it twice.
    auto pressForMessage = [&](HWND button) {
        ASSERT_TRUE(ClickUntil(button, [] {
            return FindTopWindow({L"#32770", fw::ProgramName().c_str(), ::GetCurrentProcessId()}) != nullptr;
        }, kTimeoutMs));
    };
    auto press = [&](HWND button) {
        ASSERT_TRUE(BringToFront(dialog));
        ASSERT_TRUE(ClickWindow(button));
    };

    // Nothing there: message 6 for both buttons.
    pressForMessage(calibrate);
    ExpectOwnedMessage(dialog, qelvo::test::InLanguage(L"找不到校准程序！请重新安装！",
                                                       L"Cannot find the calibration program! Please reinstall!"));
    pressForMessage(lineTest);
    ExpectOwnedMessage(dialog, qelvo::test::InLanguage(L"找不到校准程序！请重新安装！",
                                                       L"Cannot find the calibration program! Please reinstall!"));

    // A file by that name that is no program: message 7 with the system's code.
    const std::wstring broken = folder + L"\\MarksmanBroken.exe";
    HANDLE file = ::CreateFileW(broken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, "not a program", 13, &written, nullptr);
    ::CloseHandle(file);
    pressForMessage(calibrate);
    ExpectOwnedMessage(dialog, std::wstring(qelvo::test::InLanguage(L"不能调用校准程序！", L"Cannot start the calibration program! ")) + L"Code=" + std::to_wstring(ERROR_BAD_EXE_FORMAT));
    ASSERT_TRUE(::DeleteFileW(broken.c_str()));

    // A calibration program with more characters after its name: started with one space and the
    // controller's device object name, shown normally.
    const std::wstring marksman = folder + L"\\Marksman2004.exe";
    ASSERT_TRUE(::CopyFileW(ownPath, marksman.c_str(), FALSE));
    press(calibrate);
    std::wstring report;
    ASSERT_TRUE(WaitFor([&] { return !(report = ReadStartReport(marksman)).empty(); }, 60000));
    EXPECT_EQ(report, std::wstring(L" ") + kName + L"\n" + std::to_wstring(STARTF_USESHOWWINDOW) + L" " +
                          std::to_wstring(SW_SHOW));

    // The line test: no command line of its own, maximised.
    const std::wstring scribe = folder + L"\\Scribe.exe";
    ASSERT_TRUE(::CopyFileW(ownPath, scribe.c_str(), FALSE));
    press(lineTest);
    ASSERT_TRUE(WaitFor([&] { return !(report = ReadStartReport(scribe)).empty(); }, 60000));
    const size_t lineEnd = report.find(L'\n');
    ASSERT_NE(lineEnd, std::wstring::npos);
    EXPECT_EQ(report.substr(lineEnd + 1),
              std::to_wstring(STARTF_USESHOWWINDOW) + L" " + std::to_wstring(SW_SHOWMAXIMIZED));
    EXPECT_NE(report.find(L"Scribe.exe"), std::wstring::npos) << "the program's own path is its command line";

    // Too deep a current directory: message 9, nothing looked for.
    ASSERT_TRUE(::SetCurrentDirectoryW(deep.c_str()));
    pressForMessage(calibrate);
    ExpectOwnedMessage(dialog, qelvo::test::InLanguage(L"文件存放的路径太深！", L"The folder path is too long!"));

    ::SetCurrentDirectoryW(previous);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(ui.Join(kTimeoutMs));
    EXPECT_EQ(result, IDCANCEL);
    for (const std::wstring& path : {marksman, marksman + L".started", scribe, scribe + L".started"})
        ::DeleteFileW(path.c_str());
    ::RemoveDirectoryW(deep.c_str());
    ::RemoveDirectoryW((folder + L"\\" + std::wstring(200, L'd')).c_str());
    ::RemoveDirectoryW(folder.c_str());
}

} // namespace
