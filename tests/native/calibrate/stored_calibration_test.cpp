#include "calibrate/StoredCalibration.h"

#include <gtest/gtest.h>

#include <string>

namespace calibrate {
namespace {

TEST(StoredCalibration, NineValuesInStoredOrderWithMirroredEdgesAndRangeEdges)
{
    // X mirrored: XLow above XHigh; the range's "Range" values are the right and bottom edges.
    const CalibrationValues values = {3800, 134, 300, 3966, 0};
    const auto stored = StoredCalibrationValues(values, 100, 200, 32767, 16000);
    const wchar_t* names[] = {L"XLow", L"XHigh", L"YLow", L"YHigh", L"SwapXY", L"XMin", L"XRange", L"YMin", L"YRange"};
    const uint32_t expected[] = {3800, 300, 134, 3966, 0, 100, 32767, 200, 16000};
    ASSERT_EQ(stored.size(), 9u);
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(std::wstring(stored[i].name), std::wstring(names[i])) << i;
        EXPECT_EQ(stored[i].value, expected[i]) << i;
    }
}

TEST(StoredCalibration, SwappedRecordAndNegativeRangeKeepTheirBits)
{
    const CalibrationValues values = {300, 134, 3800, 3966, 1};
    const auto stored = StoredCalibrationValues(values, -16384, 0, 0, 32767);
    EXPECT_EQ(stored[4].value, 1u);
    EXPECT_EQ(stored[5].value, 0xFFFFC000u);  // XMin of an area left of the primary display
    EXPECT_EQ(stored[6].value, 0u);
}

} // namespace
} // namespace calibrate
