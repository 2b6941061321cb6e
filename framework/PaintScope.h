// BeginPaint and EndPaint around one WM_PAINT of a window: every paint handler goes through it, so
// that EndPaint follows also when BeginPaint gave no DC (the caller then draws nothing).
//
//   fw::PaintScope paint(hwnd_);
//   if (paint.Dc() != nullptr) ...draw on paint.Dc()
#pragma once

#include <windows.h>

namespace fw {

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

} // namespace fw
