// The x64 Windows Installer package as an administrator uses it, with Wine's msiexec: a silent
// install puts the files into Program Files and the shortcuts into the Start menu; Setwell started
// as its shortcut starts it calibrates through the installed Marksman; a later version upgrades in
// place and keeps a custom folder; an earlier one is refused, as is Windows before 2000; uninstall
// removes what the package added and leaves the controller's calibration. Packages: PACKAGES_DIR
// (built by CMake).
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"
#include "tests/wine/setwell/SetwellSession.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <psapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using namespace qelvo::test;
using namespace setwelltest;

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kProductName[] = L"Qelvo Touch";
const wchar_t* const kFiles[] = {L"Marksman.exe", L"Setwell.exe", L"Scribe.exe", L"Fitment.dll",
                                 L"README-CN.txt", L"README-EN.txt", L"example-coinstaller.inf"};
struct ShortcutSpec {
    const wchar_t* name;
    const wchar_t* program;
};
// The programs' Chinese names: the .lnk files Wine makes must carry them.
const ShortcutSpec kShortcuts[] = {{L"Qelvo \u89e6\u6478\u5c4f\u8bbe\u7f6e\u7a0b\u5e8f", L"Setwell.exe"},
                                   {L"Qelvo \u89e6\u6478\u5c4f\u6821\u51c6\u7a0b\u5e8f", L"Marksman.exe"},
                                   {L"Qelvo \u89e6\u6478\u5c4f\u5212\u7ebf\u6d4b\u8bd5\u7a0b\u5e8f", L"Scribe.exe"}};
const UINT kFatalError = 1603;

// `folder` "rebuild": the same version built once more (another package code, the same product).
std::wstring Package(const wchar_t* version, const wchar_t* folder = nullptr)
{
    std::wstring path = caltest::WinePath(PACKAGES_DIR);
    if (folder != nullptr)
        path += std::wstring(L"\\") + folder;
    return path + L"\\qelvo-touch-" + version + L"-x64.msi";
}

std::wstring FolderPath(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return L"";
    return path;
}

std::wstring DefaultFolder() { return FolderPath(CSIDL_PROGRAM_FILES) + L"\\Qelvo\\Touch"; }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring WithoutSlash(std::wstring path)
{
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

// msiexec with `arguments`; its exit code and how long it took.
bool Msiexec(const std::wstring& arguments, DWORD* exitCode, double* seconds = nullptr)
{
    Process msiexec;
    const auto start = std::chrono::steady_clock::now();
    if (!msiexec.Start(L"msiexec.exe " + arguments))
        return false;
    if (!msiexec.WaitForExit(180000, exitCode))
        return false;
    if (seconds != nullptr)
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

struct Entry {
    std::wstring productCode;
    std::wstring version;
    std::wstring publisher;
    DWORD noModify = 0;
};

std::wstring StringValue(HKEY key, const wchar_t* name)
{
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return L"";
    return buffer;
}

// The Add/Remove Programs entries named "Qelvo Touch".
// Calls `visit` with each subkey of HKLM\`path` (64-bit view) until it returns false.
void ForEachSubkey(const wchar_t* path, const std::function<bool(HKEY key, const wchar_t* name)>& visit)
{
    HKEY root = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &root) != ERROR_SUCCESS)
        return;
    bool more = true;
    for (DWORD i = 0; more; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, name, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
            continue;
        more = visit(key, name);
        RegCloseKey(key);
    }
    RegCloseKey(root);
}

std::vector<Entry> Entries()
{
    std::vector<Entry> entries;
    ForEachSubkey(kUninstallKey, [&](HKEY key, const wchar_t* name) {
        if (StringValue(key, L"DisplayName") == kProductName) {
            Entry entry;
            entry.productCode = name;
            entry.version = StringValue(key, L"DisplayVersion");
            entry.publisher = StringValue(key, L"Publisher");
            DWORD size = sizeof entry.noModify;
            RegQueryValueExW(key, L"NoModify", nullptr, nullptr, reinterpret_cast<BYTE*>(&entry.noModify), &size);
            entries.push_back(entry);
        }
        return true;
    });
    return entries;
}

// The product icon the installer registered for Add/Remove Programs (Products\<packed code>).
std::wstring ProductIcon()
{
    std::wstring icon;
    ForEachSubkey(L"Software\\Classes\\Installer\\Products", [&](HKEY key, const wchar_t*) {
        if (StringValue(key, L"ProductName") == kProductName)
            icon = StringValue(key, L"ProductIcon");
        return icon.empty();
    });
    return icon;
}

bool QelvoKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Qelvo", 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The .lnk of a shortcut: in the all-users Start menu, or (Wine puts a per-machine package's
// shortcuts there) in the user's. Empty when in neither.
std::wstring ShortcutFile(const wchar_t* name)
{
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        const std::wstring path = FolderPath(csidl) + L"\\Qelvo Touch\\" + name + L".lnk";
        if (Exists(path))
            return path;
    }
    return L"";
}

bool MenuFolderExists()
{
    return Exists(FolderPath(CSIDL_COMMON_PROGRAMS) + L"\\Qelvo Touch") ||
           Exists(FolderPath(CSIDL_PROGRAMS) + L"\\Qelvo Touch");
}

// Target and working folder of a .lnk, as the shell reads them.
bool ReadShortcut(const std::wstring& file, std::wstring* target, std::wstring* workingFolder)
{
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    bool ok = false;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        wchar_t path[MAX_PATH] = {};
        wchar_t folder[MAX_PATH] = {};
        ok = SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
             SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
             SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH));
        *target = path;
        *workingFolder = folder;
        persist->Release();
    }
    link->Release();
    return ok;
}

// Files, shortcuts (target and working folder) of an install in `folder`, checked with GoogleTest.
void ExpectInstalledIn(const std::wstring& folder)
{
    for (const wchar_t* name : kFiles)
        EXPECT_TRUE(Exists(folder + L"\\" + name)) << testing::PrintToString(folder + L"\\" + name);
    EXPECT_EQ(ReadAll(folder + L"\\Setwell.exe"), ReadAll(SetwellPath()));
    EXPECT_EQ(ReadAll(folder + L"\\Marksman.exe"), ReadAll(MarksmanPath()));
    EXPECT_EQ(ReadAll(folder + L"\\Scribe.exe"), ReadAll(ScribePath()));
    for (const ShortcutSpec& shortcut : kShortcuts) {
        const std::wstring file = ShortcutFile(shortcut.name);
        ASSERT_FALSE(file.empty()) << "no shortcut " << testing::PrintToString(shortcut.name);
        std::wstring target, working;
        ASSERT_TRUE(ReadShortcut(file, &target, &working)) << testing::PrintToString(file);
        EXPECT_EQ(_wcsicmp(target.c_str(), (folder + L"\\" + shortcut.program).c_str()), 0)
            << testing::PrintToString(target);
        EXPECT_EQ(_wcsicmp(WithoutSlash(working).c_str(), folder.c_str()), 0) << testing::PrintToString(working);
    }
}

// Nothing of the package is left: files, folders, shortcuts, entry, its registry key.
void ExpectRemovedFrom(const std::wstring& folder)
{
    for (const wchar_t* name : kFiles)
        EXPECT_FALSE(Exists(folder + L"\\" + name)) << testing::PrintToString(folder + L"\\" + name);
    EXPECT_FALSE(Exists(folder)) << testing::PrintToString(folder);
    for (const ShortcutSpec& shortcut : kShortcuts)
        EXPECT_EQ(ShortcutFile(shortcut.name), L"") << testing::PrintToString(shortcut.name);
    EXPECT_FALSE(MenuFolderExists());
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(QelvoKeyExists()) << "HKLM\\Software\\Qelvo is left";
}

std::wstring ImageOf(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr)
        return L"";
    wchar_t path[MAX_PATH] = {};
    const bool ok = GetModuleFileNameExW(process, nullptr, path, MAX_PATH) != 0;
    CloseHandle(process);
    return ok ? path : L"";
}

// msiexec /i <package> /qb: the message box it shows (saved as `shot`), dismissed; its exit code.
void ExpectRefusedWith(const std::wstring& package, const std::wstring& message, const wchar_t* shot)
{
    Process msiexec;
    ASSERT_TRUE(msiexec.Start(L"msiexec.exe /i \"" + package + L"\" /qb"));
    HWND box = nullptr;
    WaitFor([&] {
        for (HWND hwnd : FindTopWindows({L"#32770", nullptr, msiexec.Id()})) {
            if (!MessageBoxText(hwnd).empty())
                box = hwnd;
        }
        return box != nullptr || !msiexec.IsRunning();
    }, 90000);
    ASSERT_NE(box, nullptr) << "msiexec /qb showed no message";
    EXPECT_EQ(MessageBoxText(box), message);
    CaptureSettledPng(shot, box);
    EXPECT_TRUE(Dismiss(box));
    DWORD code = 0;
    ASSERT_TRUE(msiexec.WaitForExit(60000, &code));
    EXPECT_EQ(code, kFatalError);
}

// The Windows version msiexec.exe sees (Wine's per-program setting); empty removes it.
bool SetMsiexecVersion(const wchar_t* version)
{
    const wchar_t key[] = L"Software\\Wine\\AppDefaults\\msiexec.exe";
    if (version == nullptr || *version == 0) {
        const LSTATUS status = RegDeleteKeyW(HKEY_CURRENT_USER, key);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    HKEY hkey = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hkey, nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS status = RegSetValueExW(hkey, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                          static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(hkey);
    return status == ERROR_SUCCESS;
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_NO_FATAL_FAILURE(RemoveAll());
    }
    void TearDown() override
    {
        if (setwell.Proc().IsRunning())
            setwell.Proc().Terminate();
        EXPECT_TRUE(SetMsiexecVersion(nullptr));
        RemoveAll();
        DWORD error = 0;
        EXPECT_TRUE(touchsim::RemoveAllDeviceNodes(&error));
        CoUninitialize();
    }
    // Uninstalls every Qelvo Touch product, as a failed test may have left one.
    void RemoveAll()
    {
        for (const Entry& entry : Entries()) {
            DWORD code = 0;
            ASSERT_TRUE(Msiexec(L"/x " + entry.productCode + L" /qn", &code));
            EXPECT_EQ(code, 0u);
        }
    }
    Setwell setwell;
};

TEST_F(Installer, SilentInstallThenSetwellFromItsShortcutCalibratesWithTheInstalledMarksman)
{
    using namespace caltest;
    Rig rig;
    ASSERT_TRUE(rig.Prepare(Panel::Straight)) << rig.Sim().LastError();
    const std::wstring folder = DefaultFolder();

    DWORD code = 1;
    double seconds = 0;
    TempFolder logs(L"msi-logs");
    ASSERT_TRUE(Msiexec(L"/i \"" + Package(L"3.0.0") + L"\" /qn /l*v \"" + logs.Path() + L"\\install.log\"", &code,
                        &seconds));
    ASSERT_EQ(code, 0u);
    std::printf("install: %.2f s\n", seconds);
    ASSERT_NO_FATAL_FAILURE(ExpectInstalledIn(folder));
    const std::vector<Entry> entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].version, L"3.0.0");
    EXPECT_EQ(entries[0].publisher, L"Qelvo");
    EXPECT_EQ(entries[0].noModify, 1u);
    // Add/Remove Programs shows Setwell's icon: the package's icon is Setwell.exe.
    const std::wstring icon = ProductIcon();
    EXPECT_EQ(ReadAll(icon), ReadAll(SetwellPath())) << testing::PrintToString(icon);

    // Setwell as its shortcut starts it: the .lnk's target in the .lnk's working folder.
    std::wstring target, working;
    ASSERT_TRUE(ReadShortcut(ShortcutFile(kShortcuts[0].name), &target, &working));
    ASSERT_TRUE(setwell.Start(working, target));
    HWND dialog = setwell.WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    Pages pages;
    ASSERT_TRUE(FindPages(dialog, &pages));
    ASSERT_TRUE(setwell.PressToStart(pages.calibration, kCalibrate));
    HWND calibration = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        for (HWND hwnd : FindTopWindows({L"#32770", nullptr, 0})) {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid != setwell.Id() && pid != GetCurrentProcessId() && GetDlgItem(hwnd, 1000) != nullptr)
                calibration = hwnd;
        }
        return calibration != nullptr || setwell.FindMessage() != nullptr;
    }, 90000)) << "on the screen instead:\n" << DescribeTopWindows();
    ASSERT_NE(calibration, nullptr) << "Setwell shows "
                                    << testing::PrintToString(MessageBoxText(setwell.FindMessage()));
    EXPECT_EQ(_wcsicmp(ImageOf(calibration).c_str(), (folder + L"\\Marksman.exe").c_str()), 0)
        << testing::PrintToString(ImageOf(calibration));
    DWORD marksmanId = 0;
    GetWindowThreadProcessId(calibration, &marksmanId);
    HANDLE marksman = OpenProcess(SYNCHRONIZE, FALSE, marksmanId);
    ASSERT_NE(marksman, nullptr);
    std::array<POINT, 3> raw = {};
    const bool tapped = TapTargets(calibration, rig, &raw);
    if (!tapped)
        CloseHandle(marksman);
    ASSERT_TRUE(tapped) << "the targets did not show";
    const bool prompted = WaitForPrompt(calibration, kPromptCheck, 30000);
    const bool accepted = prompted && BringToFront(calibration) &&
                          AnswerUntil([] { return SendKey(VK_RETURN); },
                                      [&] { return WaitForSingleObject(marksman, 0) == WAIT_OBJECT_0; }, 60000);
    CloseHandle(marksman);
    ASSERT_TRUE(accepted);
    ExpectStoredMatches(rig, raw, touchsim::SystemDesktop().fullScale);
    EXPECT_EQ(setwell.FindMessage(), nullptr);
    ASSERT_TRUE(PressUntil(dialog, IDCANCEL, [&] { return !setwell.Proc().IsRunning(); }));
    Stored before = {};
    DWORD keyError = 0;
    ASSERT_TRUE(ReadStored(&before, &keyError)) << keyError;
    const DWORD beepFreq = 3000;
    ASSERT_TRUE(WriteValue(kInstanceId, L"BeepFreq", REG_DWORD, &beepFreq, sizeof beepFreq, &keyError)) << keyError;

    // Add/Remove Programs (Wine's uninstaller) lists the entry.
    {
        Process uninstaller;
        ASSERT_TRUE(uninstaller.Start(L"uninstaller.exe"));
        HWND window = WaitForWindow({nullptr, nullptr, uninstaller.Id()}, 60000);
        ASSERT_NE(window, nullptr);
        CaptureSettledPng(L"installer-add-remove-programs.png", window);
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (!uninstaller.WaitForExit(30000))
            uninstaller.Terminate();
    }

    ASSERT_TRUE(Msiexec(L"/x " + entries[0].productCode + L" /qn /l*v \"" + logs.Path() + L"\\uninstall.log\"", &code,
                        &seconds));
    EXPECT_EQ(code, 0u);
    std::printf("uninstall: %.2f s\n", seconds);
    ExpectRemovedFrom(folder);
    EXPECT_FALSE(Exists(icon)) << testing::PrintToString(icon);
    // The controller's calibration is the machine's, not the package's.
    Stored after = {};
    ASSERT_TRUE(ReadStored(&after, &keyError)) << "uninstall removed the calibration: " << keyError;
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(after.value[i], before.value[i]) << kStoredNames[i];
    StoredValue settings[6];
    ASSERT_TRUE(ReadSettings(kInstanceId, settings, &keyError)) << keyError;
    EXPECT_TRUE(settings[1].present && settings[1].value == beepFreq) << "uninstall removed Setwell's BeepFreq";
}

TEST_F(Installer, UpgradeKeepsTheCustomFolderAndADowngradeIsRefused)
{
    TempFolder logs(L"msi-logs");
    const std::wstring custom = L"C:\\Kiosk Tools\\Touch";
    DWORD code = 1;
    double seconds = 0;
    ASSERT_TRUE(Msiexec(L"/i \"" + Package(L"3.0.0") + L"\" /qn INSTALLDIR=\"" + custom + L"\"", &code, &seconds));
    ASSERT_EQ(code, 0u);
    std::printf("install into %ls: %.2f s\n", custom.c_str(), seconds);
    ASSERT_NO_FATAL_FAILURE(ExpectInstalledIn(custom));
    EXPECT_FALSE(Exists(DefaultFolder()));

    // 3.0.1 without INSTALLDIR: it replaces 3.0.0 where it was.
    ASSERT_TRUE(Msiexec(L"/i \"" + Package(L"3.0.1") + L"\" /qn /l*v \"" + logs.Path() + L"\\upgrade.log\"", &code,
                        &seconds));
    ASSERT_EQ(code, 0u);
    std::printf("upgrade 3.0.0 -> 3.0.1: %.2f s\n", seconds);
    ASSERT_NO_FATAL_FAILURE(ExpectInstalledIn(custom));
    EXPECT_FALSE(Exists(DefaultFolder())) << "the upgrade went to the default folder";
    std::vector<Entry> entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].version, L"3.0.1");

    // Another build of the installed version is that product again, not a second one beside it
    // (Windows refuses it with 1638; Wine reinstalls it).
    ASSERT_TRUE(Msiexec(L"/i \"" + Package(L"3.0.1", L"rebuild") + L"\" /qn", &code));
    EXPECT_TRUE(code == 0 || code == 1638) << code;
    entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].version, L"3.0.1");
    ASSERT_NO_FATAL_FAILURE(ExpectInstalledIn(custom));

    // 3.0.0 over 3.0.1 is refused and changes nothing.
    ASSERT_TRUE(Msiexec(L"/i \"" + Package(L"3.0.0") + L"\" /qn", &code));
    EXPECT_EQ(code, kFatalError);
    entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].version, L"3.0.1");
    ASSERT_NO_FATAL_FAILURE(ExpectInstalledIn(custom));

    // With the basic interface the refusal tells why.
    ASSERT_NO_FATAL_FAILURE(ExpectRefusedWith(Package(L"3.0.0"),
                                              L"A newer version of Qelvo Touch is already installed. "
                                              L"Uninstall it first to install this older version.",
                                              L"installer-downgrade-refused.png"));
    ASSERT_EQ(Entries().size(), 1u);

    ASSERT_TRUE(Msiexec(L"/x " + entries[0].productCode + L" /qn", &code, &seconds));
    EXPECT_EQ(code, 0u);
    std::printf("uninstall from %ls: %.2f s\n", custom.c_str(), seconds);
    ExpectRemovedFrom(custom);
    RemoveDirectoryW(L"C:\\Kiosk Tools");
}

// Windows 2000 is the oldest Windows the packages accept (msiexec made to see each version).
TEST_F(Installer, WindowsBefore2000IsRefused)
{
    struct Case {
        const wchar_t* version;
        bool accepted;
    };
    for (const Case& c : {Case{L"nt40", false}, Case{L"win2k", true}}) {
        SCOPED_TRACE(testing::PrintToString(c.version));
        ASSERT_TRUE(SetMsiexecVersion(c.version));
        DWORD code = 1;
        const bool ran = Msiexec(L"/i \"" + Package(L"3.0.0") + L"\" /qn", &code);
        if (!c.accepted && ran)
            ExpectRefusedWith(Package(L"3.0.0"), L"Qelvo Touch needs Windows 2000 or later.",
                              L"installer-before-2000-refused.png");
        ASSERT_TRUE(SetMsiexecVersion(nullptr));
        ASSERT_TRUE(ran);
        EXPECT_EQ(code, c.accepted ? 0u : kFatalError);
        EXPECT_EQ(Entries().size(), c.accepted ? 1u : 0u);
        ASSERT_NO_FATAL_FAILURE(RemoveAll());
    }
}

} // namespace
