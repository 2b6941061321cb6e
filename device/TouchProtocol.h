// Control codes and records of the touch driver's control device \\.\VOVUDA.
// Shared by the programs, the simulated driver and the tests; plain C++ so that it also
// compiles natively and in kernel mode. All records are packed little-endian 32-bit fields.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace touch {

constexpr uint32_t MakeControlCode(uint32_t function)
{
    // FILE_DEVICE_MOUSE, METHOD_BUFFERED, FILE_ANY_ACCESS
    return (0x0Fu << 16) | (function << 2);
}

constexpr uint32_t IOCTL_TOUCH_SET_CALIBRATION   = MakeControlCode(0x801);
constexpr uint32_t IOCTL_TOUCH_GET_MODE          = MakeControlCode(0x807);
constexpr uint32_t IOCTL_TOUCH_SET_MODE          = MakeControlCode(0x809);
constexpr uint32_t IOCTL_TOUCH_GET_CAL_STATE     = MakeControlCode(0x80D);
constexpr uint32_t IOCTL_TOUCH_RESET_CAL_STATE   = MakeControlCode(0x80E);
constexpr uint32_t IOCTL_TOUCH_RELOAD_SETTINGS   = MakeControlCode(0x817);
constexpr uint32_t IOCTL_TOUCH_SET_SCREEN_RANGE  = MakeControlCode(0x81D);
constexpr uint32_t IOCTL_TOUCH_GET_DEVICE_LIST   = MakeControlCode(0x821);
constexpr uint32_t IOCTL_TOUCH_GET_DEVICE_COUNT  = MakeControlCode(0x829);

static_assert(IOCTL_TOUCH_SET_CALIBRATION == 0x000F2004, "control code");
static_assert(IOCTL_TOUCH_GET_MODE == 0x000F201C, "control code");
static_assert(IOCTL_TOUCH_SET_MODE == 0x000F2024, "control code");
static_assert(IOCTL_TOUCH_GET_CAL_STATE == 0x000F2034, "control code");
static_assert(IOCTL_TOUCH_RESET_CAL_STATE == 0x000F2038, "control code");
static_assert(IOCTL_TOUCH_RELOAD_SETTINGS == 0x000F205C, "control code");
static_assert(IOCTL_TOUCH_SET_SCREEN_RANGE == 0x000F2074, "control code");
static_assert(IOCTL_TOUCH_GET_DEVICE_LIST == 0x000F2084, "control code");
static_assert(IOCTL_TOUCH_GET_DEVICE_COUNT == 0x000F20A4, "control code");

// Link name of the control device, as the programs open it.
#define TOUCH_CONTROL_DEVICE_PATH L"\\\\.\\VOVUDA"

constexpr uint32_t kCalStateWaiting = 0x1667;   // no completed touch since the last reset
constexpr uint32_t kCalStateReady   = 0x931;    // a touch was completed; rawX/rawY hold its point

constexpr uint32_t kObjectNameUnits = 200;       // UTF-16 units, terminator included
constexpr uint32_t kCalibrationMode = 3;         // double-click and drag

#pragma pack(push, 1)

struct DeviceIdRecord {
    uint32_t deviceId;
};

struct DeviceCountRecord {
    uint32_t count;
};

struct DeviceListEntry {
    uint32_t deviceId;
    uint16_t objectName[kObjectNameUnits];
};

struct DeviceListHeader {
    uint32_t reserved;
    uint32_t count;
};

struct TouchModeRecord {
    uint32_t deviceId;
    uint32_t mode;
};

struct CalibrationStateRecord {
    uint32_t deviceId;
    uint32_t state;
    int32_t rawX;
    int32_t rawY;
};

struct CalibrationRecord {
    uint32_t deviceId;
    int32_t XLow;
    int32_t YLow;
    int32_t XHigh;
    int32_t YHigh;
    uint32_t SwapXY;
};

// Note the X, X, Y, Y order, unlike CalibrationRecord.
struct ScreenRangeRecord {
    uint32_t deviceId;
    int32_t XMin;
    int32_t XRange;
    int32_t YMin;
    int32_t YRange;
};

#pragma pack(pop)

static_assert(sizeof(DeviceIdRecord) == 4, "record size");
static_assert(sizeof(DeviceCountRecord) == 4, "record size");
static_assert(sizeof(DeviceListEntry) == 404, "record size");
static_assert(sizeof(DeviceListHeader) == 8, "record size");
static_assert(sizeof(TouchModeRecord) == 8, "record size");
static_assert(sizeof(CalibrationStateRecord) == 16, "record size");
static_assert(sizeof(CalibrationRecord) == 24, "record size");
static_assert(sizeof(ScreenRangeRecord) == 20, "record size");

// Field offsets as the driver lays the records out: a swapped field fails here, not in the field.
static_assert(offsetof(DeviceListHeader, reserved) == 0 && offsetof(DeviceListHeader, count) == 4, "layout");
static_assert(offsetof(DeviceListEntry, deviceId) == 0 && offsetof(DeviceListEntry, objectName) == 4, "layout");
static_assert(offsetof(TouchModeRecord, deviceId) == 0 && offsetof(TouchModeRecord, mode) == 4, "layout");
static_assert(offsetof(CalibrationStateRecord, deviceId) == 0 && offsetof(CalibrationStateRecord, state) == 4 &&
                  offsetof(CalibrationStateRecord, rawX) == 8 && offsetof(CalibrationStateRecord, rawY) == 12,
              "layout");
static_assert(offsetof(CalibrationRecord, deviceId) == 0 && offsetof(CalibrationRecord, XLow) == 4 &&
                  offsetof(CalibrationRecord, YLow) == 8 && offsetof(CalibrationRecord, XHigh) == 12 &&
                  offsetof(CalibrationRecord, YHigh) == 16 && offsetof(CalibrationRecord, SwapXY) == 20,
              "layout");
static_assert(offsetof(ScreenRangeRecord, deviceId) == 0 && offsetof(ScreenRangeRecord, XMin) == 4 &&
                  offsetof(ScreenRangeRecord, XRange) == 8 && offsetof(ScreenRangeRecord, YMin) == 12 &&
                  offsetof(ScreenRangeRecord, YRange) == 16,
              "layout");

// Bytes of a device list reply (and request buffer) for n entries.
constexpr uint32_t DeviceListBytes(uint32_t n)
{
    return static_cast<uint32_t>(sizeof(DeviceListHeader)) + n * static_cast<uint32_t>(sizeof(DeviceListEntry));
}

// The list request always carries the header and one zeroed entry.
constexpr uint32_t kDeviceListRequestBytes = DeviceListBytes(1);
static_assert(kDeviceListRequestBytes == 412, "request size");

} // namespace touch
