// A stand-in for the programs that Setwell starts, and a reader of the system's double-click
// settings as a freshly started process sees them.
//
//   setwell_probe dblclk FILE   writes "width height time" (GetSystemMetrics, GetDoubleClickTime)
//   any other start             (copied as Scribe.exe or Marksman*.exe): writes "<own file name>.txt"
//                               into its current directory with its command line, start-up flags and
//                               show state, then shows a window captioned with its file name, shown as
//                               it was asked to, until WM_CLOSE or 120 s.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool WriteUtf8(const std::wstring& path, const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    if (size > 0 && WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size,
                                        nullptr, nullptr) != size)
        return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == utf8.size();
}

LRESULT CALLBACK ProbeWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

int StandIn(HINSTANCE instance, int showCommand)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 2;
    std::wstring name(path, length);
    name = name.substr(name.find_last_of(L"\\/") + 1);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t numbers[64];
    swprintf(numbers, 64, L"flags=%lu\nshow=%u\n", static_cast<unsigned long>(startup.dwFlags),
             static_cast<unsigned>(startup.wShowWindow));
    if (!WriteUtf8(name + L".txt", std::wstring(L"cmdline=") + GetCommandLineW() + L"\n" + numbers))
        return 3;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = ProbeWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"QelvoProbe";
    if (RegisterClassW(&wc) == 0)
        return 4;
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, name.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                320, 200, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr)
        return 5;
    ShowWindow(hwnd, showCommand);
    SetTimer(hwnd, 1, 120000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand)
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv != nullptr && argc == 3 && wcscmp(argv[1], L"dblclk") == 0) {
        wchar_t text[96];
        swprintf(text, 96, L"%d %d %u\n", GetSystemMetrics(SM_CXDOUBLECLK), GetSystemMetrics(SM_CYDOUBLECLK),
                 GetDoubleClickTime());
        const bool ok = WriteUtf8(argv[2], text);
        LocalFree(argv);
        return ok ? 0 : 1;
    }
    if (argv != nullptr)
        LocalFree(argv);
    return StandIn(instance, showCommand);
}
