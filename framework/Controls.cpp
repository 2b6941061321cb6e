#include "framework/Controls.h"

#include "framework/App.h"

namespace fw {

Control::~Control()
{
    Unsubclass();
}

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

bool Control::SubclassItem(const Window& parent, int id)
{
    return Subclass(parent.Item(id));
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

bool Control::Create(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
                     HWND parent, int id, DWORD exStyle)
{
    if (hwnd_ != nullptr)
        return false;
    HWND hwnd = ::CreateWindowExW(exStyle, className, text, style | WS_CHILD, rect.left, rect.top,
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

HICON Static::SetIcon(HICON icon) const
{
    return reinterpret_cast<HICON>(Send(STM_SETICON, reinterpret_cast<WPARAM>(icon), 0));
}

int ListBox::AddString(const wchar_t* text) const
{
    return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

bool ListBox::SetItemData(int index, LPARAM data) const
{
    return Send(LB_SETITEMDATA, static_cast<WPARAM>(index), data) != LB_ERR;
}

LPARAM ListBox::ItemData(int index) const
{
    return Send(LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}

int ListBox::CurrentSelection() const
{
    return static_cast<int>(Send(LB_GETCURSEL));
}

bool ListBox::SetCurrentSelection(int index) const
{
    // LB_SETCURSEL with -1 clears the selection and reports LB_ERR although it worked.
    const LRESULT result = Send(LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return index == -1 || result != LB_ERR;
}

int ComboBox::AddString(const wchar_t* text) const
{
    return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

void Trackbar::SetRange(int minimum, int maximum, bool redraw) const
{
    Send(TBM_SETRANGEMIN, FALSE, minimum);
    Send(TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maximum);
}

void Trackbar::SetPosition(int position, bool redraw) const
{
    Send(TBM_SETPOS, redraw ? TRUE : FALSE, position);
}

void Trackbar::SetTicFrequency(int frequency) const
{
    Send(TBM_SETTICFREQ, static_cast<WPARAM>(frequency), 0);
}

void UpDown::SetRange(int minimum, int maximum) const
{
    // The upper limit in the low word, the lower in the high word.
    Send(UDM_SETRANGE, 0, MAKELPARAM(static_cast<short>(maximum), static_cast<short>(minimum)));
}

HWND UpDown::SetBuddy(HWND buddy) const
{
    return reinterpret_cast<HWND>(Send(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0));
}

void UpDown::SetPosition(int position) const
{
    Send(UDM_SETPOS, 0, MAKELPARAM(static_cast<short>(position), 0));
}

bool AnimateControl::Open(HINSTANCE module, UINT resourceId) const
{
    return Send(ACM_OPENW, reinterpret_cast<WPARAM>(module), static_cast<LPARAM>(resourceId)) != FALSE;
}

bool AnimateControl::Play(UINT from, UINT to, UINT repeat) const
{
    return Send(ACM_PLAY, static_cast<WPARAM>(repeat), MAKELPARAM(from, to)) != FALSE;
}

bool AnimateControl::Stop() const
{
    return Send(ACM_STOP) != FALSE;
}

bool TabControl::InsertItem(int index, const wchar_t* text) const
{
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(text);
    return Send(TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) != -1;
}

int TabControl::CurrentSelection() const
{
    return static_cast<int>(Send(TCM_GETCURSEL));
}

bool TabControl::SetCurrentSelection(int index) const
{
    return Send(TCM_SETCURSEL, static_cast<WPARAM>(index), 0) != -1 || index == CurrentSelection();
}

bool TabControl::ItemRect(int index, RECT& rect) const
{
    return Send(TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)) != FALSE;
}

} // namespace fw
