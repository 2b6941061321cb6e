#include "scribe/StrokeStore.h"

#include <new>

namespace scribe {

bool StrokeStore::Append(Point p)
{
    if (points_.size() >= maxPoints_) {
        overflowed_ = true;
        return false;
    }
    try {
        points_.push_back(p);
    } catch (const std::bad_alloc&) {
        overflowed_ = true;
        return false;
    }
    return true;
}

bool StrokeStore::Begin(Point p)
{
    open_ = false;
    if (points_.size() >= maxPoints_) {
        overflowed_ = true;
        return false;
    }
    // Room for the start first, so that a stroke never exists without its point. The index grows
    // by doubling: one element more each time would copy it whole for every stroke.
    try {
        if (starts_.size() == starts_.capacity())
            starts_.reserve(starts_.empty() ? 64 : starts_.capacity() * 2);
    } catch (const std::bad_alloc&) {
        overflowed_ = true;
        return false;
    }
    const size_t start = points_.size();
    if (!Append(p))
        return false;
    starts_.push_back(start);
    open_ = true;
    return true;
}

bool StrokeStore::Extend(Point p)
{
    if (!open_)
        return false;
    const Point& last = points_.back();
    if (last.x == p.x && last.y == p.y)
        return false;
    return Append(p);
}

const Point* StrokeStore::StrokePoints(size_t index, size_t* count) const
{
    if (index >= starts_.size()) {
        *count = 0;
        return nullptr;
    }
    const size_t end = index + 1 < starts_.size() ? starts_[index + 1] : points_.size();
    *count = end - starts_[index];
    return points_.data() + starts_[index];
}

void StrokeStore::Clear()
{
    points_.clear();
    starts_.clear();
    open_ = false;
    overflowed_ = false;
}

} // namespace scribe
