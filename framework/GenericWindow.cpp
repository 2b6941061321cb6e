#include "framework/GenericWindow.h"

#include "framework/App.h"

namespace fw {

namespace {
// Set while Create runs: tells Create whether the window came to exist (and so whether the
// window's end has already called OnFinalMessage).
struct CreationRecord {
    bool reachedNcCreate = false;
};
} // namespace

static thread_local CreationRecord* pendingCreation = nullptr;

bool GenericWindow::Create(const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rect,
                           HWND parent, DWORD exStyle, HMENU menuOrId)
{
    if (hwnd_ != nullptr)
        return false;
    CREATESTRUCTW cs = {};
    cs.lpCreateParams = this;
    cs.hInstance = ProgramInstance();
    cs.hMenu = menuOrId;
    cs.hwndParent = parent;
    cs.cy = rect.bottom - rect.top;
    cs.cx = rect.right - rect.left;
    cs.y = rect.top;
    cs.x = rect.left;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = title;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!PreCreateWindow(cs)) {
        OnFinalMessage();
        return false;
    }
    CreationRecord record;
    CreationRecord* outer = pendingCreation;
    pendingCreation = &record;
    HWND hwnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                                  cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, this);
    const DWORD error = ::GetLastError();
    pendingCreation = outer;
    if (hwnd != nullptr)
        return true;
    // Either way the object hears of its end exactly once: through WM_NCDESTROY if the window had
    // come to exist, here otherwise. The object may be gone now.
    if (!record.reachedNcCreate)
        OnFinalMessage();
    ::SetLastError(error);
    return false;
}

const MessageMap& GenericWindow::Messages() const
{
    return Window::Messages();
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

bool GenericWindow::PreCreateWindow(CREATESTRUCTW&)
{
    return true;
}

LRESULT CALLBACK GenericWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTW* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        GenericWindow* created = static_cast<GenericWindow*>(cs->lpCreateParams);
        if (created != nullptr && created->Bind(hwnd) && pendingCreation != nullptr)
            pendingCreation->reachedNcCreate = true;
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
