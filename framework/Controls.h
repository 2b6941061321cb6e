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
    Control() = default;
    ~Control() override;

    bool Subclass(HWND hwnd);
    bool SubclassItem(const Window& parent, int id);
    void Unsubclass();
    bool IsSubclassed() const { return previousProc_ != nullptr; }

    // Creates a child control of `parent` and subclasses it.
    bool Create(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
                HWND parent, int id, DWORD exStyle = 0);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC previousProc_ = nullptr;
};

class Static : public Control {
public:
    HICON SetIcon(HICON icon) const
    {
        return reinterpret_cast<HICON>(Send(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
};

class Button : public Control {};

class ListBox : public Control {
public:
    // Index, or LB_ERR / LB_ERRSPACE.
    int AddString(const wchar_t* text) const
    {
        return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    bool SetItemData(int index, LPARAM data) const { return Send(LB_SETITEMDATA, index, data) != LB_ERR; }
    // LB_ERR (-1) for a bad index.
    LPARAM ItemData(int index) const { return Send(LB_GETITEMDATA, index); }
    // LB_ERR (-1) when nothing is selected.
    int CurrentSelection() const { return static_cast<int>(Send(LB_GETCURSEL)); }
    // -1 clears the selection, and LB_SETCURSEL then reports LB_ERR although it worked.
    bool SetCurrentSelection(int index) const { return Send(LB_SETCURSEL, index) != LB_ERR || index == -1; }
};

class ComboBox : public Control {
public:
    int AddString(const wchar_t* text) const
    {
        return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
};

class Trackbar : public Control {
public:
    void SetRange(int minimum, int maximum, bool redraw = true) const
    {
        Send(TBM_SETRANGEMIN, FALSE, minimum);
        Send(TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maximum);
    }
    void SetPosition(int position, bool redraw = true) const { Send(TBM_SETPOS, redraw ? TRUE : FALSE, position); }
    // A tick every `frequency` positions (TBS_AUTOTICKS).
    void SetTicFrequency(int frequency) const { Send(TBM_SETTICFREQ, frequency); }
};

class UpDown : public Control {
public:
    // UDM_SETRANGE: 16-bit limits, as Windows 2000's control keeps them; the upper in the low word.
    void SetRange(int minimum, int maximum) const
    {
        Send(UDM_SETRANGE, 0, MAKELPARAM(static_cast<short>(maximum), static_cast<short>(minimum)));
    }
    // The window whose text the control sets; returns the previous buddy.
    HWND SetBuddy(HWND buddy) const
    {
        return reinterpret_cast<HWND>(Send(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy)));
    }
    void SetPosition(int position) const { Send(UDM_SETPOS, 0, MAKELPARAM(static_cast<short>(position), 0)); }
};

class AnimateControl : public Control {
public:
    // ACM_OPEN of an AVI resource of `module`.
    bool Open(HINSTANCE module, UINT resourceId) const
    {
        return Send(ACM_OPENW, reinterpret_cast<WPARAM>(module), static_cast<LPARAM>(resourceId)) != FALSE;
    }
    bool Play(UINT from = 0, UINT to = 0xFFFF, UINT repeat = 0xFFFFFFFFu) const
    {
        return Send(ACM_PLAY, static_cast<WPARAM>(repeat), MAKELPARAM(from, to)) != FALSE;
    }
    bool Stop() const { return Send(ACM_STOP) != FALSE; }
};

class TabControl : public Control {
public:
    bool InsertItem(int index, const wchar_t* text) const;
    int CurrentSelection() const { return static_cast<int>(Send(TCM_GETCURSEL)); }
    bool SetCurrentSelection(int index) const
    {
        return Send(TCM_SETCURSEL, index) != -1 || index == CurrentSelection();
    }
    bool ItemRect(int index, RECT& rect) const
    {
        return Send(TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect)) != FALSE;
    }
};

} // namespace fw
