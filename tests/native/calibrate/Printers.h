// Readable failure output for the calibration value types.
#pragma once

#include "calibrate/CalibrationMath.h"
#include "calibrate/Geometry.h"

#include <ostream>

namespace calibrate {

inline void PrintTo(const Point& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }
inline void PrintTo(const Size& s, std::ostream* os) { *os << s.width << " x " << s.height; }
inline void PrintTo(const Rect& r, std::ostream* os)
{
    *os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
inline void PrintTo(const CalibrationValues& v, std::ostream* os)
{
    *os << "{XLow " << v.XLow << ", YLow " << v.YLow << ", XHigh " << v.XHigh << ", YHigh " << v.YHigh
        << ", SwapXY " << v.SwapXY << "}";
}

} // namespace calibrate
