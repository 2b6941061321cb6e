#include "framework/Window.h"

#include "framework/App.h"
#include "framework/Language.h"

#include <vector>

namespace fw {

namespace {
const wchar_t kObjectProperty[] = L"QelvoWindowObject";
} // namespace

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

RECT Window::WindowRect() const
{
    RECT rect = {};
    return ::GetWindowRect(hwnd_, &rect) ? rect : RECT{};
}

RECT Window::ClientRect() const
{
    RECT rect = {};
    return ::GetClientRect(hwnd_, &rect) ? rect : RECT{};
}

Window* Window::FromHandle(HWND hwnd)
{
    return hwnd != nullptr ? static_cast<Window*>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
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
    const UINT id = header != nullptr ? static_cast<UINT>(header->idFrom) : LOWORD(wParam);
    const UINT code = header != nullptr ? header->code : HIWORD(wParam);
    for (const MessageMap* map = &Messages(); map != nullptr; map = map->Base()) {
        for (const MessageEntry& entry : *map) {
            if (entry.message != message) {
                continue;
            } else if (entry.onMessage != nullptr) {
                bool handled = true;
                result = (this->*entry.onMessage)(message, wParam, lParam, handled);
                if (handled)
                    return true;
            } else if (id < entry.firstId || id > entry.lastId || code != entry.code) {
                continue;
            } else if (entry.onCommand != nullptr) {
                (this->*entry.onCommand)(id, code, reinterpret_cast<HWND>(lParam));
                result = 0;
                return true;
            } else if (header != nullptr) {
                result = (this->*entry.onNotify)(*const_cast<NMHDR*>(header));
                return true;
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
