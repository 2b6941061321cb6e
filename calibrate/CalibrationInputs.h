// What a calibration works on, handed to the calibration window and its worker when the window
// is made: the controller, the area in pixels and in normalised units, and where to store.
#pragma once

#include "calibrate/Geometry.h"
#include "framework/Handle.h"

#include <stdint.h>

#include <functional>

namespace calibrate {

// The calibrated area in normalised desktop units; the "Range" values are edges, not sizes.
struct ScreenRange {
    int32_t XMin;
    int32_t YMin;
    int32_t XRange;
    int32_t YRange;
};

struct CalibrationInputs {
    uint32_t deviceId = 0;      // the driver's id of the selected controller
    Rect displayRect{};         // virtual-screen pixels, right and bottom exclusive
    ScreenRange screenRange{};  // the same area, normalised
    // Opens the controller's key to store the record into; false (error in GetLastError) when
    // it cannot be opened. Called on the worker's thread.
    std::function<bool(fw::RegistryKey& key)> openKey;
};

} // namespace calibrate
