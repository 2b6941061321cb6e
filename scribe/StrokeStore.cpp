#include "scribe/StrokeStore.h"

namespace scribe {

bool StrokeStore::Append(Point p)
{
    if (points_.Size() >= maxPoints_ || !points_.Push(p)) {
        overflowed_ = true;
        return false;
    }
    return true;
}

bool StrokeStore::Begin(Point p)
{
    open_ = false;
    // Room for the start first, so that a stroke never exists without its point.
    if (points_.Size() >= maxPoints_ || !starts_.Reserve(starts_.Size() + 1)) {
        overflowed_ = true;
        return false;
    }
    const size_t start = points_.Size();
    if (!Append(p))
        return false;
    starts_.Push(start);
    open_ = true;
    return true;
}

bool StrokeStore::Extend(Point p)
{
    if (!open_)
        return false;
    const Point& last = points_[points_.Size() - 1];
    if (last.x == p.x && last.y == p.y)
        return false;
    return Append(p);
}

const Point* StrokeStore::StrokePoints(size_t index, size_t* count) const
{
    if (index >= starts_.Size()) {
        *count = 0;
        return nullptr;
    }
    const size_t end = index + 1 < starts_.Size() ? starts_[index + 1] : points_.Size();
    *count = end - starts_[index];
    return points_.Data() + starts_[index];
}

void StrokeStore::Clear()
{
    points_.Clear();
    starts_.Clear();
    open_ = false;
    overflowed_ = false;
}

} // namespace scribe
