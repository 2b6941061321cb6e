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
    HICON SetIcon(HICON icon) const;
};

class Button : public Control {};

class ListBox : public Control {
public:
    int AddString(const wchar_t* text) const;    // index, or LB_ERR / LB_ERRSPACE
    bool SetItemData(int index, LPARAM data) const;
    LPARAM ItemData(int index) const;            // LB_ERR (-1) for a bad index
    int CurrentSelection() const;                // LB_ERR (-1) when nothing is selected
    bool SetCurrentSelection(int index) const;   // -1 clears the selection
};

class ComboBox : public Control {
public:
    int AddString(const wchar_t* text) const;
};

class Trackbar : public Control {
public:
    void SetRange(int minimum, int maximum, bool redraw = true) const;
    void SetPosition(int position, bool redraw = true) const;
    // A tick every `frequency` positions (TBS_AUTOTICKS).
    void SetTicFrequency(int frequency) const;
};

class UpDown : public Control {
public:
    // UDM_SETRANGE: 16-bit limits, as Windows 2000's control keeps them.
    void SetRange(int minimum, int maximum) const;
    // The window whose text the control sets; returns the previous buddy.
    HWND SetBuddy(HWND buddy) const;
    void SetPosition(int position) const;
};

class AnimateControl : public Control {
public:
    // ACM_OPEN of an AVI resource of `module`.
    bool Open(HINSTANCE module, UINT resourceId) const;
    bool Play(UINT from = 0, UINT to = 0xFFFF, UINT repeat = 0xFFFFFFFFu) const;
    bool Stop() const;
};

class TabControl : public Control {
public:
    bool InsertItem(int index, const wchar_t* text) const;
    int CurrentSelection() const;
    bool SetCurrentSelection(int index) const;
    bool ItemRect(int index, RECT& rect) const;
};

} // namespace fw
