// The strokes drawn so far, kept so that the window can paint them again whenever it is uncovered.
// Bounded: at most `maxPoints` points in all; once full (or when memory runs out) further points
// are refused and what is stored stays as it was. Portable, tested natively.
#pragma once

#include "scribe/AccuracyCheck.h"

#include <cstddef>
#include <vector>

namespace scribe {

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

    size_t StrokeCount() const { return starts_.size(); }
    size_t PointCount() const { return points_.size(); }
    // The points of stroke `index` (at least one); null for an index out of range.
    const Point* StrokePoints(size_t index, size_t* count) const;
    // Some point was refused for want of room.
    bool Overflowed() const { return overflowed_; }
    void Clear();

private:
    bool Append(Point p);

    size_t maxPoints_;
    std::vector<Point> points_;
    std::vector<size_t> starts_;  // index of each stroke's first point
    bool open_ = false;
    bool overflowed_ = false;
};

} // namespace scribe
