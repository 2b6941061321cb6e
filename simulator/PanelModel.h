// Panel model of the simulated touch controller: how a point of the desktop becomes raw
// controller coordinates, and where a raw touch lands on the desktop through the calibration
// record and screen range the driver has applied.
// Freestanding C++ (no runtime, no floating point): it is compiled into the kernel-mode driver
// as well as into the client library and the native tests.
#pragma once

#include <stdint.h>

#include "device/TouchProtocol.h"

namespace touchsim {

struct Rect32 {
    int32_t left;
    int32_t top;
    int32_t right;      // exclusive
    int32_t bottom;     // exclusive
};

// The desktop the driver maps onto: the virtual screen in pixels and the normalised full scale
// (32767 on Windows XP and later, 16383 on Windows 2000).
struct DesktopGeometry {
    Rect32 virtualScreen;
    int32_t fullScale;
};

// One controller's panel. The controller's own X axis reports rawMinX..rawMaxX from one edge of
// the area to the other (rawMinY..rawMaxY for Y). Unswapped, its X axis runs along the screen's X
// axis; swapXY makes it run along the screen's Y axis (and its Y axis along the screen's X).
// mirrorX makes the controller's X axis fall (rawMaxX at the low screen edge); likewise mirrorY.
// noise adds a deterministic offset of at most +-noise raw units to each coordinate of a touch.
#pragma pack(push, 1)
struct PanelConfig {
    Rect32 area;        // desktop pixels covered by the panel
    int32_t rawMinX;
    int32_t rawMaxX;
    int32_t rawMinY;
    int32_t rawMaxY;
    uint32_t mirrorX;
    uint32_t mirrorY;
    uint32_t swapXY;
    uint32_t noise;
    uint32_t seed;
};
#pragma pack(pop)
static_assert(sizeof(PanelConfig) == 52, "record size");

// Raw coordinates are 12-bit on the real controllers; the model keeps them within this range.
constexpr int32_t kRawLimit = 4095;

// A straight panel covering area, raw 0..4095 on both axes.
PanelConfig StraightPanel(const Rect32& area);

// Desktop point -> raw point. sequence selects the noise sample (pass the touch number).
void DesktopToRaw(const PanelConfig& panel, int32_t x, int32_t y, uint32_t sequence, int32_t* rawX, int32_t* rawY);

// Raw point -> desktop pixel through an applied calibration record and screen range, the way the
// driver moves the cursor: raw -> [XLow..XHigh]/[YLow..YHigh] (SwapXY takes X from raw Y)
// -> normalised [XMin..XRange]/[YMin..YRange] -> virtual-screen pixels. The result is clamped to
// the virtual screen.
void RawToDesktop(const touch::CalibrationRecord& calibration, const touch::ScreenRangeRecord& range,
                  const DesktopGeometry& desktop, int32_t rawX, int32_t rawY, int32_t* x, int32_t* y);

// The record and range that a correct calibration of panel's area produces (noise aside).
void MatchingCalibration(const PanelConfig& panel, const DesktopGeometry& desktop,
                         touch::CalibrationRecord* calibration, touch::ScreenRangeRecord* range);

// The driver's mapping before any calibration: the whole raw range onto the whole desktop.
void DefaultCalibration(const DesktopGeometry& desktop, touch::CalibrationRecord* calibration,
                        touch::ScreenRangeRecord* range);

// Desktop pixel -> normalised units, as the calibration program computes its screen range
// (truncating integer division).
int32_t NormaliseX(const DesktopGeometry& desktop, int32_t x);
int32_t NormaliseY(const DesktopGeometry& desktop, int32_t y);

} // namespace touchsim
