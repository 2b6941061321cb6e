#include "calibrate/CustomRange.h"

#include "calibrate/Int32.h"

#include <utility>

namespace calibrate {

bool IsRangeLargeEnough(const Rect& range)
{
    return WidthOf(range) > kMinRangeExclusive && HeightOf(range) > kMinRangeExclusive;
}

Rect NormaliseRange(Rect range)
{
    if (range.left > range.right)
        std::swap(range.left, range.right);
    if (range.top > range.bottom)
        std::swap(range.top, range.bottom);
    return range;
}

Rect ApplyDrag(Rect range, DragCorner corner, Point p)
{
    if (corner == DragCorner::TopLeft) {
        range.left = p.x;
        range.top = p.y;
    } else {
        range.right = ClampToInt32(int64_t(p.x) + 1);
        range.bottom = ClampToInt32(int64_t(p.y) + 1);
    }
    return range;
}

RangeCheck CheckCustomRange(const Rect& range, const RectMapper& toNormal, Rect* normalised)
{
    if (!IsRangeLargeEnough(range))
        return RangeCheck::TooSmall;
    Rect mapped;
    if (!toNormal.TryMapRect(range, &mapped))
        return RangeCheck::OutOfReach;
    *normalised = mapped;
    return RangeCheck::Accepted;
}

} // namespace calibrate
