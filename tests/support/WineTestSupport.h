// Helpers for tests that run under Wine and drive windows, input and processes.
// Every wait has a time limit and polls a condition; nothing sleeps for a fixed time.
//
//   using namespace qelvo::test;
//   HWND dlg = WaitForWindow({L"#32770", L"选择设备", process.Id()}, 20000);
//   ASSERT_NE(dlg, nullptr);
//   ClickWindow(GetDlgItem(dlg, IDOK));
//   ASSERT_TRUE(WaitFor([&] { return !IsWindow(dlg); }, 10000));
//   CaptureScreenPng(L"select-device.png");     // under %QELVO_SCREENSHOT_DIR% or <exe dir>\screenshots
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qelvo::test {

// Generous defaults: the machine is shared and slow.
constexpr DWORD kDefaultTimeoutMs = 30000;

// Polls `condition` every `pollMs` until it holds or `timeoutMs` passed; between polls it pumps
// the calling thread's messages (so windows of this thread stay alive). True if it held.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kDefaultTimeoutMs, DWORD pollMs = 20);

// Handles this thread's pending messages (sent and posted) once.
void PumpMessages();

// What a top-level window must match; null / 0 fields match anything.
struct WindowQuery {
    const wchar_t* className = nullptr;  // exact, e.g. L"#32770" for dialogs and message boxes
    const wchar_t* caption = nullptr;    // exact window text
    DWORD processId = 0;                 // owning process
    bool visibleOnly = true;
};

// First matching top-level window, or null.
HWND FindTopWindow(const WindowQuery& query);
// All matching top-level windows.
std::vector<HWND> FindTopWindows(const WindowQuery& query);
// Waits for a matching window; null on time-out.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs = kDefaultTimeoutMs);

// Window text through WM_GETTEXT (works across threads and processes; 5 s limit per call).
std::wstring WindowText(HWND hwnd);
std::wstring ItemText(HWND dialog, int id);
// The text of a message box's message (its static with id 0xFFFF), empty if not found.
std::wstring MessageBoxText(HWND box);
// The visible top-level windows, one a line: process id, class, text and a message box's message.
// For a failure report (GoogleTest prints it as UTF-8): what was on the screen instead of what a
// test waited for.
std::wstring DescribeTopWindows();

// Input through SendInput. Keys go to the window with the keyboard focus; clicks to the given
// screen point. Make the target foreground first (BringToFront) when several windows exist.
bool BringToFront(HWND hwnd, DWORD timeoutMs = 10000);
bool SendKey(WORD virtualKey);                      // down and up
bool SendKeyChord(WORD modifier, WORD virtualKey);  // e.g. VK_CONTROL + 'A'
bool TypeText(const std::wstring& text);            // Unicode characters
bool Click(POINT screen, bool right = false);
bool DoubleClick(POINT screen);                     // two clicks inside the double-click time
bool ClickWindow(HWND hwnd);                        // at the centre of its window rectangle
// Clicks `hwnd` until `done` holds: a click that reaches a window while Wine still places or
// activates it can be lost, so it is repeated every 3 s, at most `timeoutMs`. Only for clicks that a
// repeat does not undo.
bool ClickUntil(HWND hwnd, const std::function<bool()>& done, DWORD timeoutMs = 30000);
bool DoubleClickWindow(HWND hwnd);
POINT CentreOf(HWND hwnd);
// Presses the left button at `from`, moves to `to` in a few steps and releases it there.
bool Drag(POINT from, POINT to);

// Rewrites the entry of `function` imported from `dll` in `module`'s import address table (the
// calls that module makes go to `replacement` from now on); returns what the entry held, or null
// when the module does not import it. Patch back with the returned value.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

// While it lives, BeginPaint in this program gives no DC (after doing its work: the window is
// validated and a DC taken), and both BeginPaint and EndPaint calls are counted. A paint handler
// that skips EndPaint then shows as Ended() < Begun(). One at a time.
class FailingPaints {
public:
    FailingPaints();
    ~FailingPaints();
    FailingPaints(const FailingPaints&) = delete;
    FailingPaints& operator=(const FailingPaints&) = delete;
    bool Installed() const { return installed_; }
    long Begun() const;
    long Ended() const;

private:
    bool installed_ = false;
};

// A child process with its handles owned; terminated (and waited for) on destruction if still running.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // CreateProcessW with `commandLine` (the program path quoted inside it as needed).
    bool Start(const std::wstring& commandLine, const wchar_t* workingDirectory = nullptr);
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    bool IsRunning() const;
    // True if it ended in time; `exitCode` then holds its exit code.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    bool Terminate(UINT exitCode = 1);

private:
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
};

// Whether this process sees a Windows that is not Chinese (the harness's QELVO_LANGUAGE=en): the
// programs then show their English texts, and tests expect those.
bool EnglishWindows();
// `chinese` or `english`, by EnglishWindows(): a text as the user must see it.
const wchar_t* InLanguage(const wchar_t* chinese, const wchar_t* english);

// Folder of this test program (where CTest's build puts it).
std::wstring ExecutableDirectory();
// The shipped binary `name` to test: in %QELVO_SHIPPED_DIR% when that is set (the unpacked release
// archive), else `built` (the build tree's file).
std::wstring ShippedBinary(const std::wstring& name, const std::wstring& built);
// %QELVO_SCREENSHOT_DIR% if set, else <ExecutableDirectory()>\screenshots; created if missing.
std::wstring ScreenshotDirectory();
// Captures the screen (or `rect` of it, in screen coordinates) with GDI and writes a PNG named
// `fileName` into ScreenshotDirectory(). Returns the full path, empty on failure.
std::wstring CaptureScreenPng(const std::wstring& fileName, const RECT* rect = nullptr);
// Captures the given rectangle into 8-bit RGB rows (top row first); false on failure.
bool CaptureScreenRgb(const RECT& rect, std::vector<unsigned char>& rgb);

} // namespace qelvo::test
