// Control wrappers. A Control is bound to an existing child window (by id, through data exchange or
// SubclassItem) or creates one at run time; either way its window procedure is subclassed so the
// object's message table sees the control's messages first. The subclass is removed when the
// window is destroyed or the object is, whichever comes first.
#pragma once

#include "framework/Window.h"

#include <commctrl.h>

#include <string>

namespace fw {

class Control : public Window {
public:
    ~Control() override { Unsubclass(); }

    bool Subclass(HWND hwnd);
    bool SubclassItem(const Window& parent, int id) { return Subclass(parent.Item(id)); }
    void Unsubclass();

    // Creates a child control of `parent` and subclasses it.
    bool Create(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect, HWND parent, int id);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC previousProc_ = nullptr;
};

class Trackbar : public Control {
public:
    // Two messages: TBM_SETRANGE packs 16-bit limits, these take any int. Redraws once, at the end.
    void SetRange(int minimum, int maximum) const
    {
        Send(TBM_SETRANGEMIN, FALSE, minimum);
        Send(TBM_SETRANGEMAX, TRUE, maximum);
    }
};

class UpDown : public Control {
public:
    // UDM_SETRANGE: 16-bit limits, as Windows 2000's control keeps them; the upper in the low word.
    void SetRange(int minimum, int maximum) const
    {
        Send(UDM_SETRANGE, 0, MAKELPARAM(static_cast<short>(maximum), static_cast<short>(minimum)));
    }
    void SetPosition(int position) const { Send(UDM_SETPOS, 0, MAKELPARAM(static_cast<short>(position), 0)); }
};

class TabControl : public Control {
public:
    bool InsertItem(int index, const wchar_t* text) const;
};

} // namespace fw
