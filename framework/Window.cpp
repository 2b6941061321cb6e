#include "framework/Window.h"

#include "framework/App.h"
#include "framework/Language.h"

#include <vector>

namespace fw {

namespace {
const wchar_t kObjectProperty[] = L"QelvoWindowObject";
} // namespace

bool Window::DestroyWindow()
{
    if (hwnd_ == nullptr)
        return false;
    return ::DestroyWindow(hwnd_) != FALSE;
}

const MessageMap& Window::Messages() const
{
    static const MessageMap map(nullptr);
    return map;
}

std::wstring Window::Text() const
{
    if (hwnd_ == nullptr)
        return std::wstring();
    const int length = ::GetWindowTextLengthW(hwnd_);
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(hwnd_, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

bool Window::EnableItem(int id, bool enable) const
{
    HWND item = Item(id);
    if (item == nullptr)
        return false;
    ::EnableWindow(item, enable ? TRUE : FALSE);
    return true;
}

bool Window::ShowItem(int id, bool show) const
{
    HWND item = Item(id);
    if (item == nullptr)
        return false;
    ::ShowWindow(item, show ? SW_SHOW : SW_HIDE);
    return true;
}

bool Window::Show(int command) const
{
    if (hwnd_ == nullptr)
        return false;
    ::ShowWindow(hwnd_, command);
    return true;
}

RECT Window::WindowRect() const
{
    RECT rect = {0, 0, 0, 0};
    return ::GetWindowRect(hwnd_, &rect) ? rect : RECT{0, 0, 0, 0};
}

RECT Window::ClientRect() const
{
    RECT rect = {0, 0, 0, 0};
    return ::GetClientRect(hwnd_, &rect) ? rect : RECT{0, 0, 0, 0};
}

Window* Window::FromHandle(HWND hwnd)
{
    if (hwnd == nullptr)
        return nullptr;
    return static_cast<Window*>(::GetPropW(hwnd, kObjectProperty));
}

bool Window::Bind(HWND hwnd)
{
    if (!::SetPropW(hwnd, kObjectProperty, this))
        return false;
    hwnd_ = hwnd;
    return true;
}

void Window::Unbind()
{
    if (hwnd_ != nullptr)
        ::RemovePropW(hwnd_, kObjectProperty);
    hwnd_ = nullptr;
}

bool Window::Route(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const NMHDR* header = message == WM_NOTIFY ? reinterpret_cast<const NMHDR*>(lParam) : nullptr;
    for (const MessageMap* map = &Messages(); map != nullptr; map = map->Base()) {
        for (const MessageEntry& entry : *map) {
            switch (entry.kind) {
            case MessageEntry::Kind::Message:
                if (entry.message == message) {
                    bool handled = true;
                    result = (this->*entry.onMessage)(message, wParam, lParam, handled);
                    if (handled)
                        return true;
                }
                break;
            case MessageEntry::Kind::Command:
                if (message == WM_COMMAND) {
                    const UINT id = LOWORD(wParam);
                    const UINT code = HIWORD(wParam);
                    if (id >= entry.firstId && id <= entry.lastId && (entry.code == kAnyCode || entry.code == code)) {
                        (this->*entry.onCommand)(id, code, reinterpret_cast<HWND>(lParam));
                        result = 0;
                        return true;
                    }
                }
                break;
            case MessageEntry::Kind::Notify:
                if (header != nullptr) {
                    const UINT id = static_cast<UINT>(header->idFrom);
                    if (id >= entry.firstId && id <= entry.lastId &&
                        (entry.code == kAnyCode || entry.code == header->code)) {
                        result = (this->*entry.onNotify)(*const_cast<NMHDR*>(header));
                        return true;
                    }
                }
                break;
            }
        }
    }
    return false;
}

LRESULT Window::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, WNDPROC fallback)
{
    const HWND hwnd = hwnd_;
    LRESULT result = 0;
    if (Route(message, wParam, lParam, result))
        return result;
    if (message == WM_DRAWITEM && ReflectDrawItem(lParam))
        return TRUE;
    return ::CallWindowProcW(fallback, hwnd, message, wParam, lParam);
}

bool Window::ReflectDrawItem(LPARAM lParam)
{
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item == nullptr || item->CtlType == ODT_MENU)
        return false;
    Window* control = FromHandle(item->hwndItem);
    return control != nullptr && control->DrawItem(*item);
}

std::wstring LoadText(UINT id)
{
    return LoadResourceString(ProgramInstance(), id);
}

} // namespace fw
