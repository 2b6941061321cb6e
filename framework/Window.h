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

    // Destroys the window; classes that must release things with their window replace it and
    // call the base at their end. The modal loop ends a dialog through this too.
    virtual bool DestroyWindow() { return hwnd_ != nullptr && ::DestroyWindow(hwnd_) != FALSE; }

    // The class's message table; each class chains to its base's (see MessageMap.h).
    virtual const MessageMap& Messages() const;

    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(hwnd_, message, wParam, lParam);
    }

    std::wstring Text() const;
    void Show(int command) const { if (hwnd_ != nullptr) ::ShowWindow(hwnd_, command); }
    bool Move(const RECT& rect) const
    {
        return ::MoveWindow(hwnd_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE) != FALSE;
    }
    // All zero when the window is gone.
    RECT WindowRect() const;
    RECT ClientRect() const;

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
