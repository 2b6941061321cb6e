// A window of a class the program registers itself (no dialog template), e.g. a top-level window
// that shows something for a while and frees itself:
//
//   class NumberWindow : public fw::GenericWindow {
//       bool PreCreateWindow(CREATESTRUCTW& cs) override;    // register the class, set cs
//       void OnFinalMessage() override { delete this; }      // object lives on the heap
//       const fw::MessageMap& Messages() const override;     // WM_CREATE, WM_PAINT, WM_TIMER...
//   };
#pragma once

#include "framework/Window.h"

namespace fw {

class GenericWindow : public Window {
public:
    // Creates the window. `className` must be registered (RegisterWindowClass below) by then or in
    // PreCreateWindow. The object must outlive the window unless OnFinalMessage frees it.
    bool Create(const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rect);

    // Registers a window class served by GenericWindow; an already registered name is success.
    static bool RegisterWindowClass(const wchar_t* className, UINT classStyle, HCURSOR cursor, HBRUSH background,
                                    HICON icon);

protected:
    // Last chance to change the creation parameters (and to register the class). False cancels.
    virtual bool PreCreateWindow(CREATESTRUCTW&) { return true; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

} // namespace fw
