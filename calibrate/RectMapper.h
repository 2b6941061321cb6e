// Linear mapping of points and rectangles from a source rectangle onto a destination
// rectangle in integer arithmetic: desktop pixels to normalised units, desktop to preview.
#pragma once

#include "calibrate/Geometry.h"

namespace calibrate {

// Upper end of the normalised desktop units on both axes for an OS version:
// 0x7FFF from 5.1 on, 0x3FFF before.
int32_t FullScaleForVersion(uint32_t major, uint32_t minor);

// The normalised desktop, (0, 0, fullScale, fullScale).
Rect NormalisedScreen(int32_t fullScale);

class RectMapper {
public:
    RectMapper(const Rect& dest, const Rect& source);
    virtual ~RectMapper() = default;

    // x' = (x - source.left) * destWidth / sourceWidth + dest.left, likewise y'; the division
    // truncates toward zero and comes before the destination origin is added. Computed in
    // 64 bits: wherever the 32-bit product fits the result is the classic 32-bit one; beyond
    // that the exact result is clamped to the 32-bit range. An empty source axis (width or
    // height 0) maps every coordinate onto the destination origin of that axis.
    Point MapPoint(int32_t x, int32_t y) const;
    Point MapPoint(const Point& p) const { return MapPoint(p.x, p.y); }

    // Maps (left, top) and (right, bottom); the result is not normalised.
    Rect MapRect(const Rect& r) const;

    // Checked forms: false, *out untouched, when the source axis is empty, when
    // (coordinate - source origin) * destination size does not fit 32 bits, or when the
    // result does not; otherwise *out is exactly what MapPoint / MapRect give.
    bool TryMapPoint(int32_t x, int32_t y, Point* out) const;
    bool TryMapRect(const Rect& r, Rect* out) const;

private:
    bool MapAxis(int32_t v, int32_t srcOrigin, int32_t srcSize, int32_t destOrigin, int32_t destSize,
                 int32_t* out) const;

    int32_t destWidth_;
    int32_t destHeight_;
    int32_t destLeft_;
    int32_t destTop_;
    int32_t sourceWidth_;
    int32_t sourceHeight_;
    int32_t sourceLeft_;
    int32_t sourceTop_;
    bool exact_;  // all four sizes fitted 32 bits
};

} // namespace calibrate
