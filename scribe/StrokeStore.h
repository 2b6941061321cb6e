// The strokes drawn so far, kept so that the window can paint them again whenever it is uncovered.
// Bounded: at most `maxPoints` points in all; once full (or when memory runs out) further points
// are refused and what is stored stays as it was. Portable, tested natively.
#pragma once

#include "scribe/AccuracyCheck.h"

#include <cstddef>
#include <memory>
#include <new>

namespace scribe {

// A growing array of plain values whose growth reports a want of memory instead of throwing.
template <typename T>
class GrowingArray {
public:
    size_t Size() const { return size_; }
    const T* Data() const { return items_.get(); }
    const T& operator[](size_t i) const { return items_[i]; }
    // Room for `wanted` values, doubling from 64; false (and nothing changed) when memory ran out.
    bool Reserve(size_t wanted)
    {
        if (wanted <= capacity_)
            return true;
        size_t capacity = capacity_ == 0 ? 64 : capacity_;
        while (capacity < wanted)
            capacity *= 2;
        std::unique_ptr<T[]> grown(new (std::nothrow) T[capacity]);
        if (grown == nullptr)
            return false;
        for (size_t i = 0; i < size_; ++i)
            grown[i] = items_[i];
        items_.swap(grown);
        capacity_ = capacity;
        return true;
    }
    bool Push(const T& value)
    {
        if (!Reserve(size_ + 1))
            return false;
        items_[size_++] = value;
        return true;
    }
    void Clear() { size_ = 0; }

private:
    std::unique_ptr<T[]> items_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

class StrokeStore {
public:
    // About 1.6 MB of points: hours of drawing.
    static constexpr size_t kDefaultMaxPoints = 200000;

    explicit StrokeStore(size_t maxPoints = kDefaultMaxPoints) : maxPoints_(maxPoints) {}

    // Starts a stroke at `p`. False when it could not be stored; the stroke's later points are then
    // refused as well.
    bool Begin(Point p);
    // Adds `p` to the open stroke. True when it was stored (the segment from the previous point is
    // then to be drawn); false without an open stroke, for a repeat of the previous point, when
    // full or out of memory.
    bool Extend(Point p);
    void End() { open_ = false; }
    bool IsOpen() const { return open_; }

    size_t StrokeCount() const { return starts_.Size(); }
    size_t PointCount() const { return points_.Size(); }
    // The points of stroke `index` (at least one); null for an index out of range.
    const Point* StrokePoints(size_t index, size_t* count) const;
    // Some point was refused for want of room.
    bool Overflowed() const { return overflowed_; }
    void Clear();

private:
    bool Append(Point p);

    size_t maxPoints_;
    GrowingArray<Point> points_;
    GrowingArray<size_t> starts_;  // index of each stroke's first point
    bool open_ = false;
    bool overflowed_ = false;
};

} // namespace scribe
