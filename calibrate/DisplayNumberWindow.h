// A display's number shown large on the display itself for two seconds. Lives on the heap and
// frees itself once its window is gone; Show() hands the object over to its window.
#pragma once

#include "calibrate/Geometry.h"
#include "framework/GenericWindow.h"

#include <windows.h>

namespace calibrate {

class DisplayNumberWindow : public fw::GenericWindow {
public:
    // The window class: no style, arrow cursor, no background, no icon.
    static const wchar_t* const kClassName;

    // Creates the window on `monitor` (virtual-screen pixels) and shows it. On failure the
    // object has already been freed. Either way the caller must not touch it afterwards.
    static bool Show(int number, const Rect& monitor);

    // Number of objects alive in this process (they free themselves).
    static long LiveCount();

    const fw::MessageMap& Messages() const override;

protected:
    ~DisplayNumberWindow() override;
    bool PreCreateWindow(CREATESTRUCTW& cs) override;
    void OnFinalMessage() override;

private:
    explicit DisplayNumberWindow(int number);

    LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnTimer(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    int number_;
    UINT_PTR timerId_ = 0;
};

} // namespace calibrate
