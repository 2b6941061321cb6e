// BeginPaint and EndPaint around one WM_PAINT of a window.
#pragma once

#include <windows.h>

namespace settings {

class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd_, &paint_); }
    ~PaintScope() { ::EndPaint(hwnd_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC Dc() const { return dc_; }  // null when painting could not begin

private:
    HWND hwnd_;
    PAINTSTRUCT paint_ = {};
    HDC dc_ = nullptr;
};

} // namespace settings
