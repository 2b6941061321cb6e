#include "tests/support/WineTestSupport.h"

#include "tests/support/PngEncoder.h"

#include <cstdio>

namespace qelvo::test {

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return condition();
        // Wakes early for this thread's own messages, which are pumped before the next poll.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, pollMs, QS_ALLINPUT);
        PumpMessages();
    }
}

namespace {

struct Search {
    const WindowQuery* query;
    std::vector<HWND> found;
};

bool Matches(HWND hwnd, const WindowQuery& query)
{
    if (query.visibleOnly && !::IsWindowVisible(hwnd))
        return false;
    if (query.processId != 0) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner != query.processId)
            return false;
    }
    if (query.className != nullptr) {
        wchar_t name[256] = {};
        if (::GetClassNameW(hwnd, name, 256) == 0 || std::wstring(name) != query.className)
            return false;
    }
    if (query.caption != nullptr && WindowText(hwnd) != query.caption)
        return false;
    return true;
}

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM lParam)
{
    Search* search = reinterpret_cast<Search*>(lParam);
    if (Matches(hwnd, *search->query))
        search->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectChildren(HWND hwnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    return TRUE;
}

bool SendInputs(INPUT* inputs, UINT count)
{
    return ::SendInput(count, inputs, sizeof(INPUT)) == count;
}

INPUT KeyInput(WORD virtualKey, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(virtualKey, 0));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

INPUT MouseInput(DWORD flags, POINT screen)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        // Absolute coordinates run 0..65535 over the primary screen.
        const int width = ::GetSystemMetrics(SM_CXSCREEN);
        const int height = ::GetSystemMetrics(SM_CYSCREEN);
        input.mi.dx = width > 1 ? MulDiv(screen.x, 65535, width - 1) : 0;
        input.mi.dy = height > 1 ? MulDiv(screen.y, 65535, height - 1) : 0;
    }
    return input;
}

bool MoveTo(POINT screen)
{
    if (!::SetCursorPos(screen.x, screen.y))
        return false;
    INPUT move = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, screen);
    return SendInputs(&move, 1);
}

} // namespace

std::vector<HWND> FindTopWindows(const WindowQuery& query)
{
    Search search{&query, {}};
    ::EnumWindows(&CollectTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindTopWindow(const WindowQuery& query)
{
    const std::vector<HWND> found = FindTopWindows(query);
    return found.empty() ? nullptr : found.front();
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitFor([&] { return (found = FindTopWindow(query)) != nullptr; }, timeoutMs);
    return found;
}

std::wstring WindowText(HWND hwnd)
{
    if (hwnd == nullptr)
        return std::wstring();
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return std::wstring();
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                               SMTO_ABORTIFHUNG, 5000, &copied))
        return std::wstring();
    return std::wstring(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
}

std::wstring ItemText(HWND dialog, int id)
{
    return WindowText(::GetDlgItem(dialog, id));
}

std::wstring MessageBoxText(HWND box)
{
    std::vector<HWND> children;
    ::EnumChildWindows(box, &CollectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        if (::GetDlgCtrlID(child) == 0xFFFF) {
            const std::wstring text = WindowText(child);
            if (!text.empty())
                return text;
        }
    }
    return std::wstring();
}

std::wstring DescribeTopWindows()
{
    std::wstring lines;
    for (HWND hwnd : FindTopWindows({})) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        wchar_t className[64] = {};
        ::GetClassNameW(hwnd, className, 64);
        lines += L"pid " + std::to_wstring(pid) + L" " + className + L" \"" + WindowText(hwnd) + L"\" " +
                 MessageBoxText(hwnd) + L"\n";
    }
    return lines;
}

bool BringToFront(HWND hwnd, DWORD timeoutMs)
{
    if (!::IsWindow(hwnd))
        return false;
    return WaitFor(
        [&] {
            if (::GetForegroundWindow() == hwnd)
                return true;
            ::SetForegroundWindow(hwnd);
            return ::GetForegroundWindow() == hwnd;
        },
        timeoutMs, 50);
}

bool SendKey(WORD virtualKey)
{
    INPUT inputs[2] = {KeyInput(virtualKey, false), KeyInput(virtualKey, true)};
    return SendInputs(inputs, 2);
}

bool SendKeyChord(WORD modifier, WORD virtualKey)
{
    INPUT inputs[4] = {KeyInput(modifier, false), KeyInput(virtualKey, false), KeyInput(virtualKey, true),
                       KeyInput(modifier, true)};
    return SendInputs(inputs, 4);
}

bool TypeText(const std::wstring& text)
{
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = c;
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    return inputs.empty() || SendInputs(inputs.data(), static_cast<UINT>(inputs.size()));
}

bool Click(POINT screen, bool right)
{
    if (!MoveTo(screen))
        return false;
    INPUT inputs[2] = {MouseInput(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN, screen),
                       MouseInput(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP, screen)};
    return SendInputs(inputs, 2);
}

bool DoubleClick(POINT screen)
{
    if (!MoveTo(screen))
        return false;
    // One batch: both clicks reach the queue well inside the double-click time.
    INPUT inputs[4] = {MouseInput(MOUSEEVENTF_LEFTDOWN, screen), MouseInput(MOUSEEVENTF_LEFTUP, screen),
                       MouseInput(MOUSEEVENTF_LEFTDOWN, screen), MouseInput(MOUSEEVENTF_LEFTUP, screen)};
    return SendInputs(inputs, 4);
}

POINT CentreOf(HWND hwnd)
{
    RECT rect = {0, 0, 0, 0};
    ::GetWindowRect(hwnd, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

bool ClickWindow(HWND hwnd)
{
    return ::IsWindow(hwnd) && Click(CentreOf(hwnd));
}

bool ClickUntil(HWND hwnd, const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    do {
        if (::IsWindow(hwnd) && BringToFront(::GetAncestor(hwnd, GA_ROOT), 5000))
            ClickWindow(hwnd);
        if (WaitFor(done, 3000))
            return true;
    } while (::GetTickCount() - start < timeoutMs);
    return done();
}

bool DoubleClickWindow(HWND hwnd)
{
    return ::IsWindow(hwnd) && DoubleClick(CentreOf(hwnd));
}

bool Drag(POINT from, POINT to)
{
    if (!MoveTo(from))
        return false;
    INPUT down = MouseInput(MOUSEEVENTF_LEFTDOWN, from);
    if (!SendInputs(&down, 1))
        return false;
    const int steps = 8;
    for (int i = 1; i <= steps; ++i) {
        const POINT at = {from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        if (!MoveTo(at))
            return false;
    }
    INPUT up = MouseInput(MOUSEEVENTF_LEFTUP, to);
    return SendInputs(&up, 1);
}

Process::~Process()
{
    if (IsRunning()) {
        Terminate(1);
        ::WaitForSingleObject(process_, 10000);
    }
    if (thread_ != nullptr)
        ::CloseHandle(thread_);
    if (process_ != nullptr)
        ::CloseHandle(process_);
}

bool Process::Start(const std::wstring& commandLine, const wchar_t* workingDirectory)
{
    if (process_ != nullptr)
        return false;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, workingDirectory, &startup,
                          &info))
        return false;
    process_ = info.hProcess;
    thread_ = info.hThread;
    id_ = info.dwProcessId;
    return true;
}

bool Process::IsRunning() const
{
    return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (process_ == nullptr)
        return false;
    if (::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    if (!::GetExitCodeProcess(process_, &code))
        return false;
    if (exitCode != nullptr)
        *exitCode = code;
    return true;
}

bool Process::Terminate(UINT exitCode)
{
    return process_ != nullptr && ::TerminateProcess(process_, exitCode) != FALSE;
}

std::wstring ExecutableDirectory()
{
    std::vector<wchar_t> path(32768);
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring full(path.data(), length);
    const size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : full.substr(0, slash);
}

std::wstring ShippedBinary(const std::wstring& name, const std::wstring& built)
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"QELVO_SHIPPED_DIR", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return built;
    return std::wstring(folder, length) + L"\\" + name;
}

std::wstring ScreenshotDirectory()
{
    std::wstring folder;
    wchar_t buffer[1024];
    const DWORD length = ::GetEnvironmentVariableW(L"QELVO_SCREENSHOT_DIR", buffer, 1024);
    if (length > 0 && length < 1024)
        folder = buffer;
    else
        folder = ExecutableDirectory() + L"\\screenshots";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool CaptureScreenRgb(const RECT& rect, std::vector<unsigned char>& rgb)
{
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = ::GetDC(nullptr);
    if (screen == nullptr)
        return false;
    bool ok = false;
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = memory != nullptr ? ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap != nullptr) {
        HGDIOBJ previous = ::SelectObject(memory, bitmap);
        if (::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) && ::GdiFlush()) {
            const unsigned char* pixels = static_cast<const unsigned char*>(bits);
            rgb.resize(static_cast<size_t>(width) * height * 3);
            for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
                rgb[i * 3] = pixels[i * 4 + 2];
                rgb[i * 3 + 1] = pixels[i * 4 + 1];
                rgb[i * 3 + 2] = pixels[i * 4];
            }
            ok = true;
        }
        ::SelectObject(memory, previous);
        ::DeleteObject(bitmap);
    }
    if (memory != nullptr)
        ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

std::wstring CaptureScreenPng(const std::wstring& fileName, const RECT* rect)
{
    RECT area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (rect != nullptr)
        area = *rect;
    std::vector<unsigned char> rgb;
    if (!CaptureScreenRgb(area, rgb))
        return std::wstring();
    const std::vector<uint8_t> png = EncodePng(static_cast<uint32_t>(area.right - area.left),
                                               static_cast<uint32_t>(area.bottom - area.top), rgb);
    if (png.empty())
        return std::wstring();
    const std::wstring path = ScreenshotDirectory() + L"\\" + fileName;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::wstring();
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    ::CloseHandle(file);
    if (!wrote || written != png.size())
        return std::wstring();
    return path;
}

void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    auto base = reinterpret_cast<BYTE*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) {
        return nullptr;
    }
    for (auto desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name != 0; ++desc) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + desc->Name), dll) != 0) {
            continue;
        }
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) != 0) {
                continue;
            }
            DWORD oldProtect = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &oldProtect)) {
                return nullptr;
            }
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), oldProtect, &oldProtect);
            return previous;
        }
    }
    return nullptr;
}

namespace {

LONG g_paintsBegun = 0;
LONG g_paintsEnded = 0;
using BeginPaintFunction = HDC(WINAPI*)(HWND, PAINTSTRUCT*);
using EndPaintFunction = BOOL(WINAPI*)(HWND, const PAINTSTRUCT*);
BeginPaintFunction g_realBeginPaint = nullptr;
EndPaintFunction g_realEndPaint = nullptr;

HDC WINAPI FailingBeginPaint(HWND hwnd, PAINTSTRUCT* paint)
{
    ::InterlockedIncrement(&g_paintsBegun);
    g_realBeginPaint(hwnd, paint);
    return nullptr;
}

BOOL WINAPI CountingEndPaint(HWND hwnd, const PAINTSTRUCT* paint)
{
    ::InterlockedIncrement(&g_paintsEnded);
    return g_realEndPaint(hwnd, paint);
}

} // namespace

FailingPaints::FailingPaints()
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    g_paintsBegun = 0;
    g_paintsEnded = 0;
    g_realBeginPaint = reinterpret_cast<BeginPaintFunction>(
        PatchImport(self, "user32.dll", "BeginPaint", reinterpret_cast<void*>(&FailingBeginPaint)));
    g_realEndPaint = reinterpret_cast<EndPaintFunction>(
        PatchImport(self, "user32.dll", "EndPaint", reinterpret_cast<void*>(&CountingEndPaint)));
    installed_ = g_realBeginPaint != nullptr && g_realEndPaint != nullptr;
}

FailingPaints::~FailingPaints()
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    if (g_realBeginPaint != nullptr)
        PatchImport(self, "user32.dll", "BeginPaint", reinterpret_cast<void*>(g_realBeginPaint));
    if (g_realEndPaint != nullptr)
        PatchImport(self, "user32.dll", "EndPaint", reinterpret_cast<void*>(g_realEndPaint));
}

long FailingPaints::Begun() const
{
    return g_paintsBegun;
}

long FailingPaints::Ended() const
{
    return g_paintsEnded;
}

bool EnglishWindows()
{
    return PRIMARYLANGID(GetUserDefaultUILanguage()) != LANG_CHINESE;
}

const wchar_t* InLanguage(const wchar_t* chinese, const wchar_t* english)
{
    return EnglishWindows() ? english : chinese;
}

} // namespace qelvo::test
