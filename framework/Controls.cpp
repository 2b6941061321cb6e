#include "framework/Controls.h"

#include "framework/App.h"

namespace fw {

bool Control::Subclass(HWND hwnd)
{
    if (hwnd == nullptr || previousProc_ != nullptr || !Bind(hwnd))
        return false;
    ::SetLastError(0);
    const LONG_PTR previous =
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::SubclassProc));
    if (previous == 0 && ::GetLastError() != 0) {
        Unbind();
        return false;
    }
    previousProc_ = reinterpret_cast<WNDPROC>(previous);
    return true;
}

void Control::Unsubclass()
{
    if (previousProc_ == nullptr)
        return;
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
        // Only undo our own subclass: someone who subclassed after us keeps the chain intact.
        if (::GetWindowLongPtrW(hwnd_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Control::SubclassProc))
            ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
        Unbind();
    }
    previousProc_ = nullptr;
    hwnd_ = nullptr;
}

bool Control::Create(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect, HWND parent, int id)
{
    if (hwnd_ != nullptr)
        return false;
    HWND hwnd = ::CreateWindowExW(0, className, text, style | WS_CHILD, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ProgramInstance(), nullptr);
    if (hwnd == nullptr)
        return false;
    if (!Subclass(hwnd)) {
        const DWORD error = ::GetLastError();
        ::DestroyWindow(hwnd);
        ::SetLastError(error);
        return false;
    }
    return true;
}

LRESULT CALLBACK Control::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Control* self = static_cast<Control*>(FromHandle(hwnd));
    if (self == nullptr || self->hwnd_ != hwnd)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = self->Dispatch(message, wParam, lParam, self->previousProc_);
    if (message == WM_NCDESTROY) {
        self->Unsubclass();
        self->OnFinalMessage();
    }
    return result;
}

bool TabControl::InsertItem(int index, const wchar_t* text) const
{
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(text);
    return Send(TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) != -1;
}

} // namespace fw
