// Points, sizes and rectangles of the calibration program, in pixels or normalised units.
// Plain value types; a Rect's right and bottom are exclusive and it is never normalised implicitly.
#pragma once

#include <stdint.h>

namespace calibrate {

struct Point {
    int32_t x;
    int32_t y;
};

struct Size {
    int32_t width;
    int32_t height;
};

struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

inline bool operator==(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(const Point& a, const Point& b) { return !(a == b); }
inline bool operator==(const Size& a, const Size& b) { return a.width == b.width && a.height == b.height; }
inline bool operator!=(const Size& a, const Size& b) { return !(a == b); }
inline bool operator==(const Rect& a, const Rect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const Rect& a, const Rect& b) { return !(a == b); }

// Width and height as 64-bit values, so that no rectangle can overflow them.
inline int64_t WidthOf(const Rect& r) { return int64_t(r.right) - r.left; }
inline int64_t HeightOf(const Rect& r) { return int64_t(r.bottom) - r.top; }

} // namespace calibrate
