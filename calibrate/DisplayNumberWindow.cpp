#include "calibrate/DisplayNumberWindow.h"

#include "calibrate/DisplayDrawing.h"
#include "framework/PaintScope.h"

#include <new>
#include <string>

namespace calibrate {

namespace {

volatile LONG liveNumberWindows = 0;

} // namespace

const wchar_t* const DisplayNumberWindow::kClassName = L"QelvoDisplayNumber";

DisplayNumberWindow::DisplayNumberWindow(int number) : number_(number)
{
    ::InterlockedIncrement(&liveNumberWindows);
}

DisplayNumberWindow::~DisplayNumberWindow()
{
    ::InterlockedDecrement(&liveNumberWindows);
}

long DisplayNumberWindow::LiveCount()
{
    return ::InterlockedCompareExchange(&liveNumberWindows, 0, 0);
}

bool DisplayNumberWindow::Show(int number, const Rect& monitor)
{
    DisplayNumberWindow* window = new (std::nothrow) DisplayNumberWindow(number);
    if (window == nullptr)
        return false;
    // Create frees the object itself when it fails.
    if (!window->Create(kClassName, DecimalText(number).c_str(), WS_POPUP, ToRECT(monitor)))
        return false;
    ::ShowWindow(window->Handle(), SW_SHOW);
    return true;
}

const fw::MessageMap& DisplayNumberWindow::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_CREATE, &DisplayNumberWindow::OnCreate),
        fw::OnMessage(WM_PAINT, &DisplayNumberWindow::OnPaint),
        fw::OnMessage(WM_TIMER, &DisplayNumberWindow::OnTimer),
        fw::OnMessage(WM_DESTROY, &DisplayNumberWindow::OnDestroy),
    };
    static const fw::MessageMap map(entries, &GenericWindow::Messages());
    return map;
}

bool DisplayNumberWindow::PreCreateWindow(CREATESTRUCTW& cs)
{
    HCURSOR arrow = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    if (!RegisterWindowClass(kClassName, 0, arrow, nullptr, nullptr))
        return false;
    cs.lpszClass = kClassName;
    return true;
}

void DisplayNumberWindow::OnFinalMessage()
{
    delete this;
}

LRESULT DisplayNumberWindow::OnCreate(UINT, WPARAM, LPARAM, bool& handled)
{
    // Without its timer the window would stay for good: refuse to exist instead.
    timerId_ = ::SetTimer(hwnd_, 1, 2000, nullptr);
    handled = true;
    return timerId_ != 0 ? 0 : -1;
}

LRESULT DisplayNumberWindow::OnPaint(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = true;
    const fw::PaintScope paint(hwnd_);
    const HDC dc = paint.Dc();
    if (dc == nullptr)
        return 0;
    RECT client;
    if (::GetClientRect(hwnd_, &client)) {
        const ArialFont font(dc, 360);
        const COLORREF oldText = ::SetTextColor(dc, RGB(255, 255, 255));
        const int oldMode = ::SetBkMode(dc, TRANSPARENT);
        const std::wstring text = DecimalText(number_);
        ::DrawTextW(dc, text.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::SetBkMode(dc, oldMode);
        ::SetTextColor(dc, oldText);
    }
    return 0;
}

LRESULT DisplayNumberWindow::OnTimer(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    handled = true;
    if (wParam == timerId_)
        ::DestroyWindow(hwnd_);
    return 0;
}

LRESULT DisplayNumberWindow::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    if (timerId_ != 0) {
        ::KillTimer(hwnd_, timerId_);
        timerId_ = 0;
    }
    handled = false;
    return 0;
}

} // namespace calibrate
