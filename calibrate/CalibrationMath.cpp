#include "calibrate/CalibrationMath.h"

#include "calibrate/Int32.h"

namespace calibrate {

namespace {

int64_t Abs64(int64_t v) { return v < 0 ? -v : v; }

int32_t ClampEdge(int64_t v)
{
    if (v < 0)
        return 0;
    if (v > kRawEdgeMax)
        return kRawEdgeMax;
    return static_cast<int32_t>(v);
}

// Raw values at the two edges of one axis from the raw values at the targets standing one
// fifth in from those edges: the targets are three fifths apart, so the edge lies a third of
// their distance further out.
void AxisEdges(int32_t first, int32_t second, int32_t* low, int32_t* high)
{
    const int64_t d = Abs64(int64_t(second) - first) / 3;
    if (first > second) {
        *low = ClampEdge(int64_t(first) + d);
        *high = ClampEdge(int64_t(second) - d);
    } else {
        *low = ClampEdge(int64_t(first) - d);
        *high = ClampEdge(int64_t(second) + d);
    }
}

} // namespace

CalibrationValues ComputeCalibration(RawPoint p0, RawPoint p1, RawPoint p2)
{
    // Unswapped, the top-right point shares its raw X with the bottom-right one and its raw Y
    // with the top-left one; swapped, the other way round.
    const bool swapA = Abs64(int64_t(p2.x) - p0.x) < Abs64(int64_t(p2.x) - p1.x);
    const bool swapB = Abs64(int64_t(p2.y) - p1.y) < Abs64(int64_t(p2.y) - p0.y);
    const bool swap = swapA && swapB;

    int32_t xl, xh, yl, yh;
    AxisEdges(p0.x, p1.x, &xl, &xh);
    AxisEdges(p0.y, p1.y, &yl, &yh);

    CalibrationValues v;
    if (swap) {
        v.XLow = yl;
        v.YLow = xl;
        v.XHigh = yh;
        v.YHigh = xh;
    } else {
        v.XLow = xl;
        v.YLow = yl;
        v.XHigh = xh;
        v.YHigh = yh;
    }
    v.SwapXY = swap ? 1u : 0u;
    return v;
}

std::array<Point, kTargetCount> ComputeTargets(int32_t width, int32_t height)
{
    // a has the sign of width and |a| <= |width|, so width - a cannot overflow.
    const int32_t a = width / 5;
    const int32_t b = height / 5;
    std::array<Point, kTargetCount> targets;
    for (int i = 0; i < kTargetCount; ++i)
        targets[i] = Point{kTargets[i].right ? width - a : a, kTargets[i].bottom ? height - b : b};
    return targets;
}

std::array<Point, kGlideSteps> GlidePositions(Point from, Point to)
{
    const int64_t dx = (int64_t(to.x) - from.x) / kGlideDivisions;
    const int64_t dy = (int64_t(to.y) - from.y) / kGlideDivisions;
    std::array<Point, kGlideSteps> positions;
    for (int j = 1; j <= kGlideSteps; ++j) {
        // Every position lies between from and to, so it fits 32 bits.
        positions[j - 1] = Point{static_cast<int32_t>(from.x + j * dx), static_cast<int32_t>(from.y + j * dy)};
    }
    return positions;
}

Point TargetOrigin(Point target, int32_t controlWidth, int32_t controlHeight)
{
    const int64_t halfW = (int64_t(controlWidth) - 1) / 2;
    const int64_t halfH = (int64_t(controlHeight) - 1) / 2;
    return Point{ClampToInt32(target.x - halfW), ClampToInt32(target.y - halfH)};
}

} // namespace calibrate
