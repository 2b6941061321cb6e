#include "simulator/PanelModel.h"

namespace touchsim {
namespace {

// n / d rounded to the nearest integer, halves away from zero. d must not be 0.
int64_t RoundDiv(int64_t n, int64_t d)
{
    if (d < 0) {
        n = -n;
        d = -d;
    }
    return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
}

int32_t Clamp(int64_t v, int64_t lo, int64_t hi)
{
    if (lo > hi) {
        int64_t t = lo;
        lo = hi;
        hi = t;
    }
    return static_cast<int32_t>(v < lo ? lo : (v > hi ? hi : v));
}

// Maps v from [fromLo..fromHi] onto [toLo..toHi] linearly; a degenerate source gives toLo.
int64_t Lerp(int64_t v, int64_t fromLo, int64_t fromHi, int64_t toLo, int64_t toHi)
{
    if (fromHi == fromLo)
        return toLo;
    return toLo + RoundDiv((v - fromLo) * (toHi - toLo), fromHi - fromLo);
}

// Deterministic offset in [-amplitude, amplitude] for one coordinate of one touch.
int32_t Noise(uint32_t amplitude, uint32_t seed, uint32_t sequence, uint32_t axis)
{
    if (amplitude == 0)
        return 0;
    uint32_t h = seed * 2654435761u ^ (sequence * 2u + axis + 1u) * 2246822519u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    uint32_t span = amplitude * 2u + 1u;
    return static_cast<int32_t>(h % span) - static_cast<int32_t>(amplitude);
}

// Raw value of one controller axis at the fraction (pos - lo) / (hi - lo) of the area.
int32_t AxisRaw(int32_t pos, int32_t lo, int32_t hi, int32_t rawMin, int32_t rawMax, uint32_t mirrored)
{
    int32_t from = mirrored ? rawMax : rawMin;
    int32_t to = mirrored ? rawMin : rawMax;
    return static_cast<int32_t>(Lerp(pos, lo, hi, from, to));
}

} // namespace

PanelConfig StraightPanel(const Rect32& area)
{
    PanelConfig p = {};
    p.area = area;
    p.rawMinX = 0;
    p.rawMaxX = kRawLimit;
    p.rawMinY = 0;
    p.rawMaxY = kRawLimit;
    return p;
}

void DesktopToRaw(const PanelConfig& panel, int32_t x, int32_t y, uint32_t sequence, int32_t* rawX, int32_t* rawY)
{
    // Along the screen's X axis lies the controller's X axis, or its Y axis when swapped.
    int32_t alongX, alongY;
    if (panel.swapXY) {
        alongX = AxisRaw(x, panel.area.left, panel.area.right, panel.rawMinY, panel.rawMaxY, panel.mirrorY);
        alongY = AxisRaw(y, panel.area.top, panel.area.bottom, panel.rawMinX, panel.rawMaxX, panel.mirrorX);
    } else {
        alongX = AxisRaw(x, panel.area.left, panel.area.right, panel.rawMinX, panel.rawMaxX, panel.mirrorX);
        alongY = AxisRaw(y, panel.area.top, panel.area.bottom, panel.rawMinY, panel.rawMaxY, panel.mirrorY);
    }
    int64_t cx = panel.swapXY ? alongY : alongX;
    int64_t cy = panel.swapXY ? alongX : alongY;
    cx += Noise(panel.noise, panel.seed, sequence, 0);
    cy += Noise(panel.noise, panel.seed, sequence, 1);
    *rawX = Clamp(cx, 0, kRawLimit);
    *rawY = Clamp(cy, 0, kRawLimit);
}

void RawToDesktop(const touch::CalibrationRecord& calibration, const touch::ScreenRangeRecord& range,
                  const DesktopGeometry& desktop, int32_t rawX, int32_t rawY, int32_t* x, int32_t* y)
{
    int32_t a = calibration.SwapXY ? rawY : rawX;
    int32_t b = calibration.SwapXY ? rawX : rawY;
    int64_t nx = Lerp(a, calibration.XLow, calibration.XHigh, range.XMin, range.XRange);
    int64_t ny = Lerp(b, calibration.YLow, calibration.YHigh, range.YMin, range.YRange);
    int64_t full = desktop.fullScale > 0 ? desktop.fullScale : 1;
    nx = Clamp(nx, 0, full);
    ny = Clamp(ny, 0, full);
    const Rect32& vs = desktop.virtualScreen;
    int64_t px = vs.left + RoundDiv(nx * (static_cast<int64_t>(vs.right) - vs.left), full);
    int64_t py = vs.top + RoundDiv(ny * (static_cast<int64_t>(vs.bottom) - vs.top), full);
    *x = Clamp(px, vs.left, vs.right > vs.left ? vs.right - 1 : vs.left);
    *y = Clamp(py, vs.top, vs.bottom > vs.top ? vs.bottom - 1 : vs.top);
}

int32_t NormaliseX(const DesktopGeometry& desktop, int32_t x)
{
    const Rect32& vs = desktop.virtualScreen;
    int64_t w = static_cast<int64_t>(vs.right) - vs.left;
    if (w == 0)
        return 0;
    return static_cast<int32_t>((static_cast<int64_t>(x) - vs.left) * desktop.fullScale / w);
}

int32_t NormaliseY(const DesktopGeometry& desktop, int32_t y)
{
    const Rect32& vs = desktop.virtualScreen;
    int64_t h = static_cast<int64_t>(vs.bottom) - vs.top;
    if (h == 0)
        return 0;
    return static_cast<int32_t>((static_cast<int64_t>(y) - vs.top) * desktop.fullScale / h);
}

void MatchingCalibration(const PanelConfig& panel, const DesktopGeometry& desktop,
                         touch::CalibrationRecord* calibration, touch::ScreenRangeRecord* range)
{
    PanelConfig quiet = panel;
    quiet.noise = 0;
    // Controller points at the area's top-left (x0, y0) and bottom-right (x1, y1) corners.
    int32_t x0, y0, x1, y1;
    DesktopToRaw(quiet, panel.area.left, panel.area.top, 0, &x0, &y0);
    DesktopToRaw(quiet, panel.area.right, panel.area.bottom, 0, &x1, &y1);
    calibration->SwapXY = panel.swapXY ? 1u : 0u;
    if (panel.swapXY) {
        calibration->XLow = y0;
        calibration->XHigh = y1;
        calibration->YLow = x0;
        calibration->YHigh = x1;
    } else {
        calibration->XLow = x0;
        calibration->XHigh = x1;
        calibration->YLow = y0;
        calibration->YHigh = y1;
    }
    range->XMin = NormaliseX(desktop, panel.area.left);
    range->XRange = NormaliseX(desktop, panel.area.right);
    range->YMin = NormaliseY(desktop, panel.area.top);
    range->YRange = NormaliseY(desktop, panel.area.bottom);
}

void DefaultCalibration(const DesktopGeometry& desktop, touch::CalibrationRecord* calibration,
                        touch::ScreenRangeRecord* range)
{
    calibration->XLow = 0;
    calibration->YLow = 0;
    calibration->XHigh = kRawLimit;
    calibration->YHigh = kRawLimit;
    calibration->SwapXY = 0;
    range->XMin = 0;
    range->XRange = desktop.fullScale;
    range->YMin = 0;
    range->YRange = desktop.fullScale;
}

} // namespace touchsim
