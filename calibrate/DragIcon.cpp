#include "calibrate/DragIcon.h"

#include "calibrate/resource.h"
#include "framework/App.h"

namespace calibrate {

DragIcon::~DragIcon() = default;

const fw::MessageMap& DragIcon::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_LBUTTONDOWN, &DragIcon::OnButtonDown),
        fw::OnMessage(WM_MOUSEMOVE, &DragIcon::OnMouseMove),
        fw::OnMessage(WM_LBUTTONUP, &DragIcon::OnButtonUp),
        fw::OnMessage(WM_CAPTURECHANGED, &DragIcon::OnCaptureChanged),
    };
    static const fw::MessageMap map(entries, &Control::Messages());
    return map;
}

void DragIcon::Notify(UINT code, const POINT* screen)
{
    HWND parent = ::GetParent(hwnd_);
    if (parent == nullptr)
        return;
    DragMoveNotification record = {};
    record.header.hwndFrom = hwnd_;
    record.header.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(hwnd_));
    record.header.code = code;
    if (screen != nullptr) {
        record.x = screen->x;
        record.y = screen->y;
    }
    ::SendMessageW(parent, WM_NOTIFY, record.header.idFrom, reinterpret_cast<LPARAM>(&record));
}

LRESULT DragIcon::OnButtonDown(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    HINSTANCE module = fw::ProgramInstance();
    ::SetCapture(hwnd_);
    HCURSOR target = ::LoadCursorW(module, MAKEINTRESOURCEW(IDCUR_DRAG_TARGET));
    if (target != nullptr)
        ::SetCursor(target);
    HICON empty = ::LoadIconW(module, MAKEINTRESOURCEW(IDI_DRAG_WINDOW));
    if (empty != nullptr)
        Send(STM_SETICON, reinterpret_cast<WPARAM>(empty));
    dragging_ = true;
    Notify(kDragStarted, nullptr);
    return 0;
}

LRESULT DragIcon::OnMouseMove(UINT, WPARAM, LPARAM lParam, bool& handled)
{
    handled = false;
    if (!dragging_)
        return 0;
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (!::ClientToScreen(hwnd_, &at))
        return 0;
    Notify(kDragMoved, &at);
    return 0;
}

LRESULT DragIcon::OnButtonUp(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    if (dragging_)
        EndDrag(true);
    return 0;
}

// Losing the capture (another window took it, a message box opened) ends the drag as the
// button would: otherwise the inverted rectangle stayed on the screen.
LRESULT DragIcon::OnCaptureChanged(UINT, WPARAM, LPARAM lParam, bool& handled)
{
    handled = false;
    if (dragging_ && reinterpret_cast<HWND>(lParam) != hwnd_)
        EndDrag(false);
    return 0;
}

void DragIcon::EndDrag(bool releaseCapture)
{
    // Cleared first: releasing the capture reports WM_CAPTURECHANGED to this control.
    dragging_ = false;
    if (releaseCapture)
        ::ReleaseCapture();
    HICON target = ::LoadIconW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDI_DRAG_TARGET));
    if (target != nullptr)
        Send(STM_SETICON, reinterpret_cast<WPARAM>(target));
    Notify(kDragEnded, nullptr);
}

} // namespace calibrate
