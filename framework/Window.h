// Window: a thin, non-owning wrapper over an HWND plus the message routing shared by dialogs,
// subclassed controls and generic windows. The derived classes own their window's lifetime.
#pragma once

#include "framework/MessageMap.h"

#include <windows.h>

#include <string>

namespace fw {

class Window {
public:
    Window() = default;
    explicit Window(HWND hwnd) : hwnd_(hwnd) {}
    virtual ~Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return hwnd_; }
    bool IsValid() const { return hwnd_ != nullptr && ::IsWindow(hwnd_) != FALSE; }

    // Destroys the window; classes that must release things with their window replace it and
    // call the base at their end. The modal loop ends a dialog through this too.
    virtual bool DestroyWindow();

    // The class's message table; each class chains to its base's (see MessageMap.h).
    virtual const MessageMap& Messages() const;

    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(hwnd_, message, wParam, lParam);
    }
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(hwnd_, message, wParam, lParam) != FALSE;
    }

    std::wstring Text() const;
    bool SetText(const wchar_t* text) const { return ::SetWindowTextW(hwnd_, text) != FALSE; }
    bool SetText(const std::wstring& text) const { return SetText(text.c_str()); }
    bool SetItemText(int id, const wchar_t* text) const { return ::SetDlgItemTextW(hwnd_, id, text) != FALSE; }
    // False when there is no item `id` (or no window).
    bool EnableItem(int id, bool enable) const;
    bool ShowItem(int id, bool show) const;
    bool Show(int command = SW_SHOW) const;
    bool Move(const RECT& rect, bool repaint = true) const
    {
        const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
        return ::MoveWindow(hwnd_, rect.left, rect.top, width, height, repaint) != FALSE;
    }
    bool Invalidate(bool erase = true) const { return ::InvalidateRect(hwnd_, nullptr, erase) != FALSE; }
    // All zero when the window is gone.
    RECT WindowRect() const;
    RECT ClientRect() const;
    int Id() const { return ::GetDlgCtrlID(hwnd_); }

    // Owner draw: a parent that gets WM_DRAWITEM for one of its subclassed controls hands it to the
    // control object (after the parent's own table). Return true when the item was drawn.
    virtual bool DrawItem(const DRAWITEMSTRUCT&) { return false; }

    // The Window object behind a dialog, subclassed control or generic window; null for others.
    static Window* FromHandle(HWND hwnd);

protected:
    // The one way an object is tied to its window: a window property that FromHandle reads.
    // Bind also sets Handle(); Unbind cuts the tie and clears it.
    bool Bind(HWND hwnd);
    void Unbind();

    // Walks the class's table chain. Returns true if an entry handled the message.
    bool Route(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // A message of a subclassed control or a generic window: the table, then the reflection of
    // WM_DRAWITEM, then `fallback`. The object may be gone on return.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam, WNDPROC fallback);
    // Reflection of WM_DRAWITEM to the control's object; true if the control drew it.
    static bool ReflectDrawItem(LPARAM lParam);
    // Called once the window is gone (after WM_NCDESTROY); the object may delete itself here.
    virtual void OnFinalMessage() {}

    HWND hwnd_ = nullptr;
};

// The background of the programs' own windows: the calibration screen, the settings dialog and
// the line-drawing test.
constexpr COLORREF kPageColour = RGB(212, 222, 244);

// Loads string `id` of the program's module (which includes the framework's strings) in the language of
// ResourceLanguage() (framework/Language.h); empty if missing.
std::wstring LoadText(UINT id);

} // namespace fw
