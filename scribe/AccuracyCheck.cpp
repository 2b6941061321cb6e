#include "scribe/AccuracyCheck.h"

#include <algorithm>
#include <cmath>

namespace scribe {

namespace {

// Low, middle and high line of one axis over pixels first..first+size-1.
std::array<int32_t, 3> Lines(int32_t first, int32_t size)
{
    if (size <= 0)
        return {first, first, first};
    const int32_t inset = size / 10;
    return {first + inset, first + size / 2, first + (size - 1) - inset};
}

} // namespace

std::array<Point, kCrosshairCount> CrosshairPositions(const Area& area)
{
    const std::array<int32_t, 3> xs = Lines(area.left, area.right - area.left);
    const std::array<int32_t, 3> ys = Lines(area.top, area.bottom - area.top);
    std::array<Point, kCrosshairCount> points = {};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            points[row * 3 + column] = Point{xs[column], ys[row]};
    }
    return points;
}

int32_t CaptureRadius(const Area& area)
{
    const int32_t shorter = std::min(area.right - area.left, area.bottom - area.top);
    return std::max<int32_t>(8, shorter / 10);
}

int CrosshairAt(const Area& area, Point p)
{
    const std::array<Point, kCrosshairCount> points = CrosshairPositions(area);
    const int64_t radius = CaptureRadius(area);
    int best = -1;
    int64_t bestDistance = radius * radius;
    for (int i = 0; i < kCrosshairCount; ++i) {
        const int64_t dx = static_cast<int64_t>(p.x) - points[i].x;
        const int64_t dy = static_cast<int64_t>(p.y) - points[i].y;
        const int64_t distance = dx * dx + dy * dy;
        if (distance < bestDistance || (best < 0 && distance == bestDistance)) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

double ErrorLength(Offset offset)
{
    return std::sqrt(static_cast<double>(offset.dx) * offset.dx + static_cast<double>(offset.dy) * offset.dy);
}

void AccuracyCheck::SetArea(const Area& area)
{
    if (area.left == area_.left && area.top == area_.top && area.right == area_.right && area.bottom == area_.bottom)
        return;
    area_ = area;
    Clear();
}

int AccuracyCheck::Record(Point p)
{
    const int index = CrosshairAt(area_, p);
    if (index < 0)
        return -1;
    const Point centre = CrosshairPositions(area_)[index];
    measured_[index] = true;
    offsets_[index] = Offset{p.x - centre.x, p.y - centre.y};
    return index;
}

bool AccuracyCheck::Measured(int index) const
{
    return index >= 0 && index < kCrosshairCount && measured_[index];
}

Offset AccuracyCheck::OffsetOf(int index) const
{
    return Measured(index) ? offsets_[index] : Offset{0, 0};
}

AccuracySummary AccuracyCheck::Summarise() const
{
    AccuracySummary summary = {0, 0.0, 0.0};
    double total = 0.0;
    for (int i = 0; i < kCrosshairCount; ++i) {
        if (!measured_[i])
            continue;
        const double length = ErrorLength(offsets_[i]);
        ++summary.measured;
        total += length;
        summary.maxError = std::max(summary.maxError, length);
    }
    if (summary.measured > 0)
        summary.meanError = total / summary.measured;
    return summary;
}

void AccuracyCheck::Clear()
{
    measured_.fill(false);
    offsets_.fill(Offset{0, 0});
}

Area ReadoutBox(const Area& area, int index, int32_t width, int32_t height)
{
    const Point centre = CrosshairPositions(area)[std::clamp(index, 0, kCrosshairCount - 1)];
    int32_t left = centre.x - width / 2;
    int32_t top = centre.y + kCrosshairArm + 4;
    if (top + height > area.bottom)
        top = centre.y - kCrosshairArm - 4 - height;
    left = std::max(area.left, std::min(left, area.right - width));
    top = std::max(area.top, std::min(top, area.bottom - height));
    return Area{left, top, left + width, top + height};
}

} // namespace scribe
