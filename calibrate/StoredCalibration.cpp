#include "calibrate/StoredCalibration.h"

namespace calibrate {

std::array<StoredValue, kStoredValueCount> StoredCalibrationValues(const CalibrationValues& values, int32_t xMin,
                                                                   int32_t yMin, int32_t xRange, int32_t yRange)
{
    return {{
        {L"XLow", static_cast<uint32_t>(values.XLow)},
        {L"XHigh", static_cast<uint32_t>(values.XHigh)},
        {L"YLow", static_cast<uint32_t>(values.YLow)},
        {L"YHigh", static_cast<uint32_t>(values.YHigh)},
        {L"SwapXY", values.SwapXY},
        {L"XMin", static_cast<uint32_t>(xMin)},
        {L"XRange", static_cast<uint32_t>(xRange)},
        {L"YMin", static_cast<uint32_t>(yMin)},
        {L"YRange", static_cast<uint32_t>(yRange)},
    }};
}

} // namespace calibrate
