// Helpers of the display and range selection tests: a modal run on a user-interface thread of
// its own, mouse input over the whole virtual desktop, and screen pixels.
#pragma once

#include "calibrate/Geometry.h"
#include "calibrate/resource.h"
#include "tests/support/WineTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace calibrate {
// Printed in failures as (left, top, right, bottom).
inline void PrintTo(const Rect& r, std::ostream* os)
{
    *os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
} // namespace calibrate

namespace displaytest {

constexpr DWORD kWindowTimeout = 60000;
constexpr DWORD kStepTimeout = 30000;

// Runs `body` (a modal dialog run, typically) on a thread with its own message queue.
class UiThread {
public:
    explicit UiThread(std::function<INT_PTR()> body) : body_(std::move(body)) {}
    ~UiThread()
    {
        if (thread_ == nullptr)
            return;
        if (!Wait(kStepTimeout)) {
            // A run that hangs must not take the test program with it: close its windows.
            EndWindowsOfThread();
            Wait(kStepTimeout);
        }
        ::CloseHandle(thread_);
    }
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    bool Start()
    {
        thread_ = ::CreateThread(nullptr, 0, &UiThread::Main, this, 0, &threadId_);
        return thread_ != nullptr;
    }
    bool Wait(DWORD timeoutMs) const
    {
        return thread_ != nullptr && ::WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
    }
    INT_PTR Result() const { return result_; }
    DWORD ThreadId() const { return threadId_; }

    // Cancels every dialog and message box of the thread (used only when a test failed midway).
    void EndWindowsOfThread() const
    {
        ::EnumThreadWindows(
            threadId_,
            [](HWND hwnd, LPARAM) -> BOOL {
                ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                return TRUE;
            },
            0);
    }

private:
    static DWORD WINAPI Main(void* parameter)
    {
        UiThread* self = static_cast<UiThread*>(parameter);
        self->result_ = self->body_();
        return 0;
    }

    std::function<INT_PTR()> body_;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    std::atomic<INT_PTR> result_{-2};
};

inline calibrate::Rect R(long l, long t, long r, long b)
{
    return calibrate::Rect{int32_t(l), int32_t(t), int32_t(r), int32_t(b)};
}

inline calibrate::Rect FromRECT(const RECT& r)
{
    return R(r.left, r.top, r.right, r.bottom);
}

inline RECT ToRECT(const calibrate::Rect& r)
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

inline RECT VirtualScreen()
{
    const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN), y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// Moves the mouse to `p` (virtual-screen pixels) as one real input event. Absolute input runs
// 0..65536 over the virtual desktop and is scaled down with truncation: the smallest value that
// reaches p's pixel is taken. No SetCursorPos: its own move raced with the input under Wine.
inline bool MoveMouse(POINT p)
{
    const RECT desk = VirtualScreen();
    const long long width = desk.right - desk.left, height = desk.bottom - desk.top;
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>(((p.x - desk.left) * 65536LL + width - 1) / width);
    input.mi.dy = static_cast<LONG>(((p.y - desk.top) * 65536LL + height - 1) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    return ::SendInput(1, &input, sizeof input) == 1;
}

inline bool MouseButton(bool down)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    return ::SendInput(1, &input, sizeof input) == 1;
}

inline bool ClickAt(POINT p)
{
    return MoveMouse(p) && MouseButton(true) && MouseButton(false);
}

inline POINT Centre(const RECT& r)
{
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

inline RECT WindowRectOf(HWND hwnd)
{
    RECT r = {0, 0, 0, 0};
    ::GetWindowRect(hwnd, &r);
    return r;
}

// A captured piece of the screen, 8-bit RGB, top row first.
struct Shot {
    RECT area{};
    std::vector<unsigned char> rgb;

    bool Take(const RECT& where)
    {
        area = where;
        return qelvo::test::CaptureScreenRgb(where, rgb);
    }
    int Width() const { return area.right - area.left; }
    int Height() const { return area.bottom - area.top; }
    // Pixel at screen point (x, y), 0xRRGGBB.
    uint32_t At(int x, int y) const
    {
        const size_t i = (static_cast<size_t>(y - area.top) * Width() + (x - area.left)) * 3;
        return (uint32_t(rgb[i]) << 16) | (uint32_t(rgb[i + 1]) << 8) | rgb[i + 2];
    }
    bool Contains(int x, int y) const { return x >= area.left && x < area.right && y >= area.top && y < area.bottom; }
};

inline uint32_t Inverse(uint32_t rgb)
{
    return ~rgb & 0xFFFFFFu;
}

// Pixels that differ between two shots of the same area, outside `ignore` (screen coordinates).
inline long DifferingPixels(const Shot& a, const Shot& b, const RECT* ignore = nullptr)
{
    long count = 0;
    for (int y = a.area.top; y < a.area.bottom; ++y)
        for (int x = a.area.left; x < a.area.right; ++x) {
            if (ignore != nullptr && x >= ignore->left && x < ignore->right && y >= ignore->top && y < ignore->bottom)
                continue;
            if (a.At(x, y) != b.At(x, y))
                ++count;
        }
    return count;
}

// Screen pixels inside `area` that are white in `now` but were not in `before`, and the box of
// those that stand in columns of at least `minPerColumn` such pixels: a large glyph fills its
// columns, while a button redrawn meanwhile adds thin white edges that must not widen the box.
struct WhiteBlob {
    long count = 0;
    RECT box{0, 0, 0, 0};
};

inline WhiteBlob NewWhite(const Shot& before, const Shot& now, const RECT& area, int minPerColumn = 30)
{
    auto isNew = [&](int x, int y) { return now.At(x, y) == 0xFFFFFFu && before.At(x, y) != 0xFFFFFFu; };
    WhiteBlob blob;
    blob.box = RECT{area.right, area.bottom, area.left, area.top};
    for (int x = area.left; x < area.right; ++x) {
        int inColumn = 0;
        for (int y = area.top; y < area.bottom; ++y)
            inColumn += isNew(x, y) ? 1 : 0;
        blob.count += inColumn;
        if (inColumn < minPerColumn)
            continue;
        blob.box.left = std::min<LONG>(blob.box.left, x);
        blob.box.right = std::max<LONG>(blob.box.right, x + 1);
        for (int y = area.top; y < area.bottom; ++y)
            if (isNew(x, y)) {
                blob.box.top = std::min<LONG>(blob.box.top, y);
                blob.box.bottom = std::max<LONG>(blob.box.bottom, y + 1);
            }
    }
    return blob;
}

// Waits until two shots of `area` in a row are the same, so that a window's first painting is
// over before a test compares later shots with it.
inline bool TakeSettled(Shot& shot, const RECT& area, DWORD timeoutMs)
{
    Shot previous;
    if (!previous.Take(area))
        return false;
    return qelvo::test::WaitFor(
        [&] {
            if (!shot.Take(area))
                return false;
            const bool same = shot.rgb == previous.rgb;
            previous = shot;
            return same;
        },
        timeoutMs);
}

// Fills the range dialog's four boxes and presses its OK.
inline bool TypeRangeAndConfirm(HWND range, long left, long top, long right, long bottom)
{
    return ::SetDlgItemInt(range, IDC_RANGE_LEFT, static_cast<UINT>(left), TRUE) &&
           ::SetDlgItemInt(range, IDC_RANGE_TOP, static_cast<UINT>(top), TRUE) &&
           ::SetDlgItemInt(range, IDC_RANGE_RIGHT, static_cast<UINT>(right), TRUE) &&
           ::SetDlgItemInt(range, IDC_RANGE_BOTTOM, static_cast<UINT>(bottom), TRUE) &&
           qelvo::test::ClickWindow(::GetDlgItem(range, IDOK));
}

} // namespace displaytest
