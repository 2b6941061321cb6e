#include "framework/GenericWindow.h"

#include "framework/App.h"

namespace fw {

// Set while Create runs: tells Create whether the window came to exist (and so whether the
// window's end has already called OnFinalMessage).
static thread_local bool* reachedNcCreate = nullptr;

bool GenericWindow::Create(const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rect)
{
    if (hwnd_ != nullptr)
        return false;
    // No menu, no parent, no extended style, unless PreCreateWindow sets them.
    CREATESTRUCTW cs = {this, ProgramInstance(), nullptr, nullptr, rect.bottom - rect.top, rect.right - rect.left,
                        rect.top, rect.left, static_cast<LONG>(style), title, className, 0};
    if (!PreCreateWindow(cs)) {
        OnFinalMessage();
        return false;
    }
    bool reached = false;
    bool* outer = reachedNcCreate;
    reachedNcCreate = &reached;
    HWND hwnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                                  cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, this);
    const DWORD error = ::GetLastError();
    reachedNcCreate = outer;
    if (hwnd != nullptr)
        return true;
    // Either way the object hears of its end exactly once: through WM_NCDESTROY if the window had
    // come to exist, here otherwise. The object may be gone now.
    if (!reached)
        OnFinalMessage();
    ::SetLastError(error);
    return false;
}

bool GenericWindow::RegisterWindowClass(const wchar_t* className, UINT classStyle, HCURSOR cursor,
                                        HBRUSH background, HICON icon)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = &GenericWindow::WindowProc;
    windowClass.hInstance = ProgramInstance();
    windowClass.hIcon = icon;
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    if (::RegisterClassExW(&windowClass) != 0)
        return true;
    return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

LRESULT CALLBACK GenericWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTW* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        GenericWindow* created = static_cast<GenericWindow*>(cs->lpCreateParams);
        if (created != nullptr && created->Bind(hwnd) && reachedNcCreate != nullptr)
            *reachedNcCreate = true;
    }
    GenericWindow* self = static_cast<GenericWindow*>(FromHandle(hwnd));
    if (self == nullptr)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = self->Dispatch(message, wParam, lParam, &::DefWindowProcW);
    if (message == WM_NCDESTROY) {
        self->Unbind();
        self->OnFinalMessage();
    }
    return result;
}

} // namespace fw
