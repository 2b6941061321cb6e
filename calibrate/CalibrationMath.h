// Target positions and the calibration record's values from the three raw touch points.
#pragma once

#include "calibrate/Geometry.h"

#include <array>

namespace calibrate {

// A controller's raw touch point (CalibrationStateRecord.rawX / rawY).
struct RawPoint {
    int32_t x;
    int32_t y;
};

// The values of a CalibrationRecord, named as stored. Every edge lies in 0..kRawEdgeMax; a low
// edge above its high edge expresses a mirrored axis. SwapXY 1: screen X comes from raw Y.
struct CalibrationValues {
    int32_t XLow;
    int32_t YLow;
    int32_t XHigh;
    int32_t YHigh;
    uint32_t SwapXY;
};

inline bool operator==(const CalibrationValues& a, const CalibrationValues& b)
{
    return a.XLow == b.XLow && a.YLow == b.YLow && a.XHigh == b.XHigh && a.YHigh == b.YHigh &&
           a.SwapXY == b.SwapXY;
}

constexpr int32_t kRawEdgeMax = 4096;

// From the points touched at T0 (top left), T1 (bottom right) and T2 (top right). Defined for
// any 32-bit input; edges beyond 0..kRawEdgeMax are clamped into it.
CalibrationValues ComputeCalibration(RawPoint p0, RawPoint p1, RawPoint p2);

// T0 = (W/5, H/5), T1 = (W - W/5, H - H/5), T2 = (W - W/5, H/5), truncating, relative to the
// calibrated area's top-left corner (the calibration window's client coordinates).
std::array<Point, 3> ComputeTargets(int32_t width, int32_t height);

// Glide from one target to the next: step = (to - from) / kGlideDivisions truncating per axis;
// the kGlideSteps positions are from + j * step for j = 1..kGlideSteps. The last one is short
// of `to` by the truncation; the caller places the next target exactly at `to` afterwards.
constexpr int kGlideDivisions = 25;
constexpr int kGlideSteps = 24;
constexpr int kGlideStepMilliseconds = 30;
std::array<Point, kGlideSteps> GlidePositions(Point from, Point to);

// Top-left corner at which a control of the given size shows its centre pixel on `target`:
// (target.x - (w - 1) / 2, target.y - (h - 1) / 2). 71 x 71 gives an offset of 35, 35.
Point TargetOrigin(Point target, int32_t controlWidth, int32_t controlHeight);

} // namespace calibrate
