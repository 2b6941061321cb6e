#include "tests/wine/setwell/SetwellSession.h"

#include "simulator/client/SimClient.h"
#include "tests/wine/calibration/CalibrationScenario.h"

#include <commctrl.h>
#include <setupapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#ifndef SETWELL_PATH
#error SETWELL_PATH, MARKSMAN_PATH, SCRIBE_PATH and PROBE_PATH must name the built programs
#endif

namespace setwelltest {

using namespace qelvo::test;


const wchar_t* MessageText(int id)
{
    switch (id) {
    case 1: return InLanguage(L"读取触摸屏参数出错！", L"Failed to read the touch screen settings!");
    case 2: return InLanguage(L"另外一个触摸屏设置程序正在运行！", L"Another touch screen settings program is already running!");
    case 3: return InLanguage(L"权限不够，请以管理员登陆！", L"Not enough rights. Please log on as an administrator!");
    case 4: return InLanguage(L"不能加载驱动程序，请重新安装！", L"Cannot load the driver. Please reinstall it!");
    case 5: return InLanguage(L"更新驱动设置出错！", L"Failed to update the driver settings!");
    case 6: return InLanguage(L"找不到校准程序！请重新安装！", L"Cannot find the calibration program! Please reinstall!");
    case 7: return InLanguage(L"不能调用校准程序！", L"Cannot start the calibration program! ");
    case 9: return InLanguage(L"文件存放的路径太深！", L"The folder path is too long!");
    case 10: return InLanguage(L"禁用", L"Off");
    case 11: return InLanguage(L"触摸时发声", L"Beep on touch");
    case 12: return InLanguage(L"释放时发声", L"Beep on release");
    case 13: return InLanguage(L"校准", L"Calibration");
    case 14: return InLanguage(L"设置", L"Settings");
    case 15: return InLanguage(L"声音", L"Sound");
    case 16: return InLanguage(L"关于", L"About");
    case 17: return InLanguage(L"初始化设备管理失败！", L"Failed to initialise the device manager!");
    default: return L"?";
    }
}

std::wstring SetwellPath() { return caltest::WinePath(SETWELL_PATH); }
std::wstring MarksmanPath() { return caltest::WinePath(MARKSMAN_PATH); }
std::wstring ProbePath() { return caltest::WinePath(PROBE_PATH); }
std::wstring ScribePath() { return caltest::WinePath(SCRIBE_PATH); }

namespace {

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

RECT WindowRect(HWND hwnd)
{
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

struct ChildSearch {
    HWND dialog;
    std::vector<HWND> pages;
};

BOOL CALLBACK CollectPage(HWND hwnd, LPARAM lParam)
{
    ChildSearch* search = reinterpret_cast<ChildSearch*>(lParam);
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (GetParent(hwnd) == search->dialog && wcscmp(cls, L"#32770") == 0)
        search->pages.push_back(hwnd);
    return TRUE;
}

} // namespace

TempFolder::TempFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH] = {};
    const DWORD n = GetTempPathW(MAX_PATH, temp);
    std::wstring base(temp, n < MAX_PATH ? n : 0);
    if (!base.empty() && base.back() == L'\\')
        base.pop_back();
    static unsigned made = 0;
    path_ = base + L"\\sw-" + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++made);
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder()
{
    RemoveTree(path_);
}

bool TempFolder::Copy(const std::wstring& from, const wchar_t* name) const
{
    return CopyFileW(from.c_str(), (path_ + L"\\" + name).c_str(), FALSE) != FALSE;
}

bool TempFolder::WriteText(const wchar_t* name, const char* text) const
{
    HANDLE file = CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
    return ok && written == strlen(text);
}

bool TempFolder::MakeDeep(size_t length, std::wstring* deep)
{
    std::wstring path = path_;
    while (path.size() < length) {
        const size_t room = length - path.size() - 1;  // after the backslash
        if (room == 0) {
            path += L"d";  // no one-character segment fits behind a backslash: lengthen the last
            continue;
        }
        const std::wstring segment(room > 60 ? 60 : room, L'd');
        path += L"\\" + segment;
        if (!CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    *deep = path;
    return path.size() == length;
}

bool Setwell::Start(const std::wstring& currentDirectory, const std::wstring& program)
{
    process_.reset(new Process);
    return process_->Start(L"\"" + (program.empty() ? SetwellPath() : program) + L"\"",
                           currentDirectory.empty() ? nullptr : currentDirectory.c_str());
}

HWND Setwell::WaitForDialog(DWORD timeoutMs)
{
    return WaitForWindow({L"#32770", kCaption, process_->Id()}, timeoutMs);
}

HWND Setwell::WaitForSelection(DWORD timeoutMs)
{
    return WaitForWindow({L"#32770", kSelectCaption, process_->Id()}, timeoutMs);
}

HWND Setwell::WaitForMessage(DWORD timeoutMs)
{
    return WaitForWindow({L"#32770", kProgramName, process_->Id()}, timeoutMs);
}

HWND Setwell::FindMessage() const
{
    return FindTopWindow({L"#32770", kProgramName, process_->Id()});
}

namespace {
// How many running processes `parent` started.
size_t ChildCount(DWORD parent)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    size_t count = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        count += entry.th32ParentProcessID == parent ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}
} // namespace

bool Setwell::PressToStart(HWND page, int id)
{
    const size_t before = ChildCount(Id());
    auto started = [&] { return ChildCount(Id()) > before || FindMessage() != nullptr; };
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!ClickItem(page, id))
            return false;
        if (WaitFor(started, 5000))
            return true;
        // Still busy with the click: the start is on its way, and a second click would start twice.
        if (WaitForInputIdle(process_->Handle(), 0) != 0)
            break;
    }
    return WaitFor(started, 60000);
}

bool Setwell::Ended(DWORD timeoutMs)
{
    return process_->WaitForExit(timeoutMs);
}

HWND Pages::ByTab(int index) const
{
    switch (index) {
    case 0: return calibration;
    case 1: return touchMode;
    case 2: return sound;
    case 3: return about;
    default: return nullptr;
    }
}

bool FindPages(HWND dialog, Pages* pages)
{
    ChildSearch search = {dialog, {}};
    EnumChildWindows(dialog, &CollectPage, reinterpret_cast<LPARAM>(&search));
    *pages = Pages();
    for (HWND page : search.pages) {
        if (GetDlgItem(page, kCalibrate) != nullptr)
            pages->calibration = page;
        else if (GetDlgItem(page, kModeFirst) != nullptr)
            pages->touchMode = page;
        else if (GetDlgItem(page, kBeepMode) != nullptr)
            pages->sound = page;
        else
            pages->about = page;
    }
    return search.pages.size() == 4 && pages->calibration && pages->touchMode && pages->sound && pages->about;
}

int SelectedTab(HWND dialog)
{
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, kTab), TCM_GETCURSEL, 0, 0));
}

bool TabItemRect(HWND tab, int index, RECT* screen)
{
    // TCM_GETITEMRECT writes through its pointer in the tab control's own process: lend it a RECT
    // there and read it back.
    DWORD pid = 0;
    GetWindowThreadProcessId(tab, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process == nullptr)
        return false;
    void* remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    RECT r = {};
    SIZE_T got = 0;
    DWORD_PTR result = 0;
    const bool ok = remote != nullptr &&
                    SendMessageTimeoutW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000, &result) != 0 &&
                    result != 0 && ReadProcessMemory(process, remote, &r, sizeof r, &got) && got == sizeof r;
    if (remote != nullptr)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!ok)
        return false;
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    if (!ClientToScreen(tab, &corners[0]) || !ClientToScreen(tab, &corners[1]))
        return false;
    *screen = RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    return true;
}

bool SelectTab(HWND dialog, int index)
{
    HWND tab = GetDlgItem(dialog, kTab);
    RECT item = {};
    if (tab == nullptr || !TabItemRect(tab, index, &item) || !BringToFront(dialog))
        return false;
    // A click that comes while the dialog is still disabled (a message box just closed) is lost
    // under Wine: it is repeated until the tab shows, within the time limit.
    const POINT centre = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!Click(centre))
            return false;
        if (WaitFor([&] { return SelectedTab(dialog) == index; }, 2000))
            return true;
    }
    return false;
}

int SliderPos(HWND page, int id)
{
    return static_cast<int>(SendMessageW(GetDlgItem(page, id), TBM_GETPOS, 0, 0));
}

int ListIndex(HWND page, int id)
{
    return static_cast<int>(SendMessageW(GetDlgItem(page, id), CB_GETCURSEL, 0, 0));
}

bool Checked(HWND page, int id)
{
    return SendMessageW(GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Enabled(HWND page, int id)
{
    return IsWindowEnabled(GetDlgItem(page, id)) != FALSE;
}

bool Visible(HWND page, int id)
{
    return IsWindowVisible(GetDlgItem(page, id)) != FALSE;
}

int CheckedMode(HWND touchModePage)
{
    for (int mode = 0; mode < 4; ++mode) {
        if (Checked(touchModePage, kModeFirst + mode))
            return mode;
    }
    return -1;
}

bool ClickItem(HWND page, int id)
{
    HWND item = GetDlgItem(page, id);
    return item != nullptr && BringToFront(GetAncestor(page, GA_ROOT)) && ClickWindow(item);
}

bool ClickSpin(HWND page, bool up)
{
    HWND spin = GetDlgItem(page, kSpin);
    if (spin == nullptr || !BringToFront(GetAncestor(page, GA_ROOT)))
        return false;
    const RECT r = WindowRect(spin);
    const LONG quarter = (r.bottom - r.top) / 4;
    return Click(POINT{(r.left + r.right) / 2, up ? r.top + quarter : r.bottom - 1 - quarter});
}

bool PickListRow(HWND page, int id, int index)
{
    HWND combo = GetDlgItem(page, id);
    if (combo == nullptr)
        return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(combo, &pid);
    auto dropped = [&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; };
    // Either click can be lost under Wine like a tab click: the box is opened while it is closed and
    // the row clicked while it is open, until the row is picked, within the time limit.
    for (int attempt = 0; attempt < 5; ++attempt) {
        HWND list = nullptr;
        if (!dropped() && !ClickItem(page, id))
            return false;
        if (!WaitFor([&] {
                list = FindTopWindow({L"ComboLBox", nullptr, pid});
                return list != nullptr && dropped();
            }, 2000))
            continue;
        RECT item = {};
        if (SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) == LB_ERR)
            return false;
        POINT p = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
        if (!ClientToScreen(list, &p) || !Click(p))
            return false;
        if (WaitFor([&] { return !dropped() && ListIndex(page, id) == index; }, 2000))
            return true;
    }
    return false;
}

bool FocusAndKeys(HWND page, int id, const std::vector<WORD>& keys)
{
    HWND item = GetDlgItem(page, id);
    if (item == nullptr || !BringToFront(GetAncestor(page, GA_ROOT)))
        return false;
    const RECT r = WindowRect(item);
    if (!Click(POINT{r.left + 3, (r.top + r.bottom) / 2}))
        return false;
    DWORD thread = GetWindowThreadProcessId(item, nullptr);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!WaitFor([&] { return GetGUIThreadInfo(thread, &info) && info.hwndFocus == item; }, 10000))
        return false;
    for (WORD key : keys) {
        if (!SendKey(key))
            return false;
    }
    return true;
}

std::wstring CaptureSettledPng(const std::wstring& fileName, HWND window, const RECT* rect)
{
    if (window != nullptr)
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    const RECT area = rect != nullptr ? *rect
                                      : RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    std::vector<unsigned char> before, now;
    CaptureScreenRgb(area, before);
    // A settled screen is wanted, not a condition of the test: after 5 s the picture is taken anyway.
    WaitFor([&] {
        if (!CaptureScreenRgb(area, now))
            return false;
        const bool same = now == before;
        before.swap(now);
        return same;
    }, 5000, 100);
    return CaptureScreenPng(fileName, rect);
}

bool MessageHasIcon(HWND box)
{
    HWND icon = GetDlgItem(box, 0x0440);
    return icon != nullptr && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
}

HWND MessageOwner(HWND box)
{
    return GetWindow(box, GW_OWNER);
}

bool PressUntil(HWND window, int id, const std::function<bool()>& done)
{
    return ClickUntil(GetDlgItem(window, id), done);
}

bool Dismiss(HWND box)
{
    return PressUntil(box, IDOK, [&] { return !IsWindow(box); });
}

const wchar_t* const kValueNames[6] = {L"BeepMode", L"BeepFreq", L"BeepTime", L"MouseMode", L"DragDelay",
                                       L"DblClkRegion"};

bool ReadSettings(const std::wstring& instanceId, StoredValue values[6], DWORD* error)
{
    HKEY key = nullptr;
    if (!touchsim::OpenDriverKey(instanceId, KEY_READ, &key, error))
        return false;
    for (int i = 0; i < 6; ++i) {
        BYTE data[64] = {};
        DWORD type = 0, size = sizeof data;
        values[i] = StoredValue();
        if (RegQueryValueExW(key, kValueNames[i], nullptr, &type, data, &size) == ERROR_SUCCESS) {
            values[i].present = true;
            values[i].type = type;
            values[i].size = size;
            memcpy(&values[i].value, data, sizeof(uint32_t));
        }
    }
    RegCloseKey(key);
    return true;
}

bool WriteValue(const std::wstring& instanceId, const wchar_t* name, DWORD type, const void* data, DWORD size,
                DWORD* error)
{
    HKEY key = nullptr;
    if (!touchsim::OpenDriverKey(instanceId, KEY_SET_VALUE, &key, error))
        return false;
    const LONG status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    *error = static_cast<DWORD>(status);
    return status == ERROR_SUCCESS;
}

bool DeleteSettings(const std::wstring& instanceId, DWORD* error)
{
    HKEY key = nullptr;
    if (!touchsim::OpenDriverKey(instanceId, KEY_SET_VALUE, &key, error))
        return false;
    bool ok = true;
    for (const wchar_t* name : kValueNames) {
        const LONG status = RegDeleteValueW(key, name);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            *error = static_cast<DWORD>(status);
            ok = false;
        }
    }
    RegCloseKey(key);
    return ok;
}

bool DeleteDriverKey(const std::wstring& instanceId, DWORD* error)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    bool ok = SetupDiOpenDeviceInfoW(set, instanceId.c_str(), nullptr, 0, &device) &&
              SetupDiDeleteDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV);
    if (!ok)
        *error = GetLastError();
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

bool ReadProbeFile(const std::wstring& path, const wchar_t* key, std::wstring* value)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD got = 0;
    const BOOL ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    if (!ok)
        return false;
    std::wstring text(got, L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, buffer, static_cast<int>(got), &text[0], static_cast<int>(got));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    const std::wstring prefix = std::wstring(key) + L"=";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = text.substr(start, end - start);
        if (line.compare(0, prefix.size(), prefix) == 0) {
            *value = line.substr(prefix.size());
            return true;
        }
        start = end + 1;
    }
    return false;
}

namespace {
bool ReadDoubleClickOnce(DoubleClickSettings* now)
{
    TempFolder folder(L"dblclk");
    const std::wstring file = folder.Path() + L"\\dblclk.txt";
    Process probe;
    DWORD code = 1;
    if (!probe.Start(L"\"" + ProbePath() + L"\" dblclk \"" + file + L"\"") || !probe.WaitForExit(60000, &code) ||
        code != 0)
        return false;
    HANDLE f = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    char text[96] = {};
    DWORD got = 0;
    const BOOL ok = ReadFile(f, text, sizeof text - 1, &got, nullptr);
    CloseHandle(f);
    return ok && sscanf(text, "%d %d %u", &now->width, &now->height, &now->time) == 3;
}
} // namespace

bool ReadDoubleClick(DoubleClickSettings* now)
{
    // A probe that failed under Wine (seen once in a fresh-clone run) is started again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (ReadDoubleClickOnce(now))
            return true;
    }
    return false;
}

bool SetDoubleClick(const DoubleClickSettings& to)
{
    const bool width = SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, static_cast<UINT>(to.width), nullptr,
                                             SPIF_UPDATEINIFILE) != FALSE;
    const bool height = SystemParametersInfoW(SPI_SETDOUBLECLKHEIGHT, static_cast<UINT>(to.height), nullptr,
                                              SPIF_UPDATEINIFILE) != FALSE;
    const bool time = SystemParametersInfoW(SPI_SETDOUBLECLICKTIME, to.time, nullptr, SPIF_UPDATEINIFILE) != FALSE;
    return width && height && time;
}

namespace {

bool ReadRemote(HANDLE process, ULONG_PTR address, void* to, size_t size)
{
    SIZE_T got = 0;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(address), to, size, &got) && got == size;
}

bool RemoteString(HANDLE process, ULONG_PTR address, std::string* text)
{
    char buffer[128] = {};
    for (size_t i = 0; i + 1 < sizeof buffer; ++i) {
        if (!ReadRemote(process, address + i, &buffer[i], 1))
            return false;
        if (buffer[i] == 0)
            break;
    }
    *text = buffer;
    return true;
}

struct BasicInformation {
    LONG_PTR exitStatus;
    ULONG_PTR pebBase;
    ULONG_PTR affinity;
    LONG_PTR basePriority;
    ULONG_PTR processId;
    ULONG_PTR parentId;
};

} // namespace

bool DenyPrivileges(HANDLE process, std::string* why)
{
    typedef LONG(WINAPI * QueryInformation)(HANDLE, int, void*, ULONG, ULONG*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    QueryInformation query = ntdll == nullptr ? nullptr
        : reinterpret_cast<QueryInformation>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
    BasicInformation basic = {};
    ULONG length = 0;
    if (query == nullptr || query(process, 0, &basic, sizeof basic, &length) != 0) {
        *why = "NtQueryInformationProcess";
        return false;
    }
    ULONG_PTR base = 0;  // PEB.ImageBaseAddress
    if (!ReadRemote(process, basic.pebBase + 0x10, &base, sizeof base)) {
        *why = "reading the PEB";
        return false;
    }
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS64 nt = {};
    if (!ReadRemote(process, base, &dos, sizeof dos) || !ReadRemote(process, base + dos.e_lfanew, &nt, sizeof nt)) {
        *why = "reading the image headers";
        return false;
    }
    const IMAGE_DATA_DIRECTORY imports = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ULONG_PTR slot = 0;
    for (ULONG_PTR at = base + imports.VirtualAddress; slot == 0; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor = {};
        if (!ReadRemote(process, at, &descriptor, sizeof descriptor) || descriptor.Name == 0)
            break;
        std::string dll;
        if (!RemoteString(process, base + descriptor.Name, &dll) || _stricmp(dll.c_str(), "advapi32.dll") != 0)
            continue;
        const ULONG_PTR names = base + (descriptor.OriginalFirstThunk != 0 ? descriptor.OriginalFirstThunk
                                                                           : descriptor.FirstThunk);
        for (ULONG_PTR i = 0;; ++i) {
            ULONGLONG entry = 0;
            if (!ReadRemote(process, names + i * 8, &entry, sizeof entry) || entry == 0)
                break;
            std::string function;
            if ((entry & IMAGE_ORDINAL_FLAG64) == 0 && RemoteString(process, base + entry + 2, &function) &&
                function == "AdjustTokenPrivileges") {
                slot = base + descriptor.FirstThunk + i * 8;
                break;
            }
        }
    }
    if (slot == 0) {
        *why = "no import of AdjustTokenPrivileges";
        return false;
    }
    // mov dword ptr gs:[0x68], ERROR_NOT_ALL_ASSIGNED (the thread's last error); mov eax, 1; ret
    const unsigned char stub[] = {0x65, 0xC7, 0x04, 0x25, 0x68, 0x00, 0x00, 0x00, 0x14, 0x05, 0x00, 0x00,
                                  0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3};
    static_assert(ERROR_NOT_ALL_ASSIGNED == 0x514, "the stub's error");
    void* code = VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    SIZE_T written = 0;
    if (code == nullptr || !WriteProcessMemory(process, code, stub, sizeof stub, &written) ||
        written != sizeof stub || !FlushInstructionCache(process, code, sizeof stub)) {
        *why = "writing the stand-in";
        return false;
    }
    DWORD old = 0;
    if (!VirtualProtectEx(process, reinterpret_cast<void*>(slot), 8, PAGE_READWRITE, &old)) {
        *why = "unprotecting the import";
        return false;
    }
    const ULONG_PTR target = reinterpret_cast<ULONG_PTR>(code);
    const bool ok = WriteProcessMemory(process, reinterpret_cast<void*>(slot), &target, sizeof target, &written) &&
                    written == sizeof target;
    DWORD ignored = 0;
    VirtualProtectEx(process, reinterpret_cast<void*>(slot), 8, old, &ignored);
    if (!ok)
        *why = "writing the import";
    return ok;
}

} // namespace setwelltest
