// Target positions and the calibration record's values from the three raw touch points.
#pragma once

#include "calibrate/Geometry.h"
#include "calibrate/resource.h"

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

// The targets in the order they are touched: the corner each sits a fifth of the area's width and
// height in from, and the string the worker shows while it waits for the touch.
struct TargetSpec {
    bool right;   // else left
    bool bottom;  // else top
    unsigned promptId;
};
constexpr TargetSpec kTargets[] = {
    {false, false, IDS_PROMPT_TOP_LEFT},     // T0
    {true, true, IDS_PROMPT_BOTTOM_RIGHT},   // T1
    {true, false, IDS_PROMPT_TOP_RIGHT},     // T2
};
constexpr int kTargetCount = static_cast<int>(sizeof kTargets / sizeof kTargets[0]);
static_assert(kTargetCount == 3, "ComputeCalibration takes one point per target of kTargets");

// From the points touched at T0 (top left), T1 (bottom right) and T2 (top right). Defined for
// any 32-bit input; edges beyond 0..kRawEdgeMax are clamped into it.
CalibrationValues ComputeCalibration(RawPoint p0, RawPoint p1, RawPoint p2);

// The targets of kTargets for an area of width W and height H: x is W/5 or W - W/5, y is H/5 or
// H - H/5, truncating, relative to the calibrated area's top-left corner (the calibration window's
// client coordinates).
std::array<Point, kTargetCount> ComputeTargets(int32_t width, int32_t height);

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
