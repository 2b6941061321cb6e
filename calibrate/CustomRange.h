// Rules of the custom calibration range: minimum size, normalisation, corner drags.
#pragma once

#include "calibrate/Geometry.h"
#include "calibrate/RectMapper.h"

namespace calibrate {

// Accepted only when right - left > kMinRangeExclusive and bottom - top > kMinRangeExclusive,
// i.e. at least 179 pixels each way. An inverted (typed, not normalised) rectangle is refused.
constexpr int32_t kMinRangeExclusive = 178;
bool IsRangeLargeEnough(const Rect& range);

// Swaps left/right when left > right and top/bottom when top > bottom.
Rect NormaliseRange(Rect range);

enum class DragCorner { TopLeft, BottomRight };

// A drag of the top-left icon to screen point p sets left = x, top = y; of the bottom-right
// icon sets right = x + 1, bottom = y + 1 (exclusive edges). The other two edges stay.
Rect ApplyDrag(Rect range, DragCorner corner, Point p);

enum class RangeCheck {
    Accepted,
    TooSmall,    // refused by IsRangeLargeEnough
    OutOfReach,  // so far outside the desktop that its normalised form does not fit 32 bits
};

// The check the range dialog's OK runs: on Accepted, *normalised = toNormal.MapRect(range);
// otherwise *normalised is untouched.
RangeCheck CheckCustomRange(const Rect& range, const RectMapper& toNormal, Rect* normalised);

} // namespace calibrate
