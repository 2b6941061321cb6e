// The nine registry values in which an accepted calibration is kept in the controller's driver
// key, in the order they are written. All are REG_DWORD.
#pragma once

#include "calibrate/CalibrationMath.h"

#include <array>
#include <cstddef>

namespace calibrate {

struct StoredValue {
    const wchar_t* name;
    uint32_t value;
};

constexpr size_t kStoredValueCount = 9;

// XLow, XHigh, YLow, YHigh, SwapXY from the record, then XMin, XRange, YMin, YRange: the
// calibrated area's left, right, top and bottom edges in normalised units. Signed values are
// stored as their 32-bit two's complement.
std::array<StoredValue, kStoredValueCount> StoredCalibrationValues(const CalibrationValues& values, int32_t xMin,
                                                                   int32_t yMin, int32_t xRange, int32_t yRange);

} // namespace calibrate
