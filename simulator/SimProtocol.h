// Private control interface of the simulated touch driver, used only by the test client and the
// touchsim tool. Its codes (functions 0xA00 and up) lie outside the suite's range. Plain C++ that
// also compiles in kernel mode; all records are packed.
#pragma once

#include <stdint.h>

#include "device/TouchProtocol.h"
#include "simulator/PanelModel.h"

namespace touchsim {

constexpr uint32_t IOCTL_SIM_RESET             = touch::MakeControlCode(0xA00); // no data
constexpr uint32_t IOCTL_SIM_SET_DESKTOP       = touch::MakeControlCode(0xA01); // in DesktopGeometry
constexpr uint32_t IOCTL_SIM_ADD_CONTROLLER    = touch::MakeControlCode(0xA02); // in SimControllerSpec
constexpr uint32_t IOCTL_SIM_REMOVE_CONTROLLER = touch::MakeControlCode(0xA03); // in DeviceIdRecord
constexpr uint32_t IOCTL_SIM_SET_PANEL         = touch::MakeControlCode(0xA04); // in SimPanelRecord
constexpr uint32_t IOCTL_SIM_TOUCH             = touch::MakeControlCode(0xA05); // in SimTouchRequest, out SimTouchResult
constexpr uint32_t IOCTL_SIM_MAP               = touch::MakeControlCode(0xA06); // same records, no touch completed
constexpr uint32_t IOCTL_SIM_SET_FAULT         = touch::MakeControlCode(0xA07); // in SimFault
constexpr uint32_t IOCTL_SIM_CLEAR_FAULTS      = touch::MakeControlCode(0xA08); // no data
constexpr uint32_t IOCTL_SIM_GET_STATE         = touch::MakeControlCode(0xA09); // in DeviceIdRecord, out SimControllerState
constexpr uint32_t IOCTL_SIM_GET_SUMMARY       = touch::MakeControlCode(0xA0A); // out SimSummary
constexpr uint32_t IOCTL_SIM_CLEAR_HISTORY     = touch::MakeControlCode(0xA0B); // no data
// in uint32_t: 0 removes the name \\.\VOVUDA, so that opening it fails with ERROR_FILE_NOT_FOUND
// as when the driver is not loaded (handles already open keep working); 1 (and a reset) restores it

constexpr uint32_t kMaxControllers = 8;
constexpr uint32_t kMaxFaults = 16;
constexpr uint32_t kModeHistory = 16;
constexpr uint32_t kRecordHistory = 8;
constexpr uint32_t kSuiteCodes = 9;
constexpr uint32_t kRequestRuns = 32;
constexpr uint32_t kMaxStalled = 16;             // requests held at once; more are served at once

// A fault with this code (kind kFaultError, any count but 0) removes the device's name, so that
// opening \\.\VOVUDA fails with ERROR_FILE_NOT_FOUND as when no driver runs; `value` is not used.
// Handles already open keep working. The name comes back with count 0, a faults clear, a reset,
// or when any handle to the device is closed.
constexpr uint32_t kSimOpenCode = 0;

// Index of a suite control code in the per-code counters, or kSuiteCodes if it is none.
constexpr uint32_t SuiteCodeIndex(uint32_t code)
{
    return code == touch::IOCTL_TOUCH_SET_CALIBRATION ? 0
         : code == touch::IOCTL_TOUCH_GET_MODE ? 1
         : code == touch::IOCTL_TOUCH_SET_MODE ? 2
         : code == touch::IOCTL_TOUCH_GET_CAL_STATE ? 3
         : code == touch::IOCTL_TOUCH_RESET_CAL_STATE ? 4
         : code == touch::IOCTL_TOUCH_RELOAD_SETTINGS ? 5
         : code == touch::IOCTL_TOUCH_SET_SCREEN_RANGE ? 6
         : code == touch::IOCTL_TOUCH_GET_DEVICE_LIST ? 7
         : code == touch::IOCTL_TOUCH_GET_DEVICE_COUNT ? 8
         : kSuiteCodes;
}

// What an injected fault does to the next `count` requests of its code.
enum SimFaultKind : uint32_t {
    kFaultError = 1,        // the request fails with Windows error `value`
    kFaultByteCount = 2,    // the request succeeds but reports `value` bytes (at most the output size)
    kFaultListCount = 3,    // device list: the reply's count is the requested count plus `value`;
                            // device count: the driver's count plus `value` (a lying driver)
    kFaultState = 4,        // calibration state: the reply's state is `value`
    kFaultStall = 5,        // the request is held `value` milliseconds, then served (a stalled driver);
                            // a reset, a faults clear, removing the code's faults or closing the
                            // handle serves it at once, a cancelled request ends with ERROR_OPERATION_ABORTED
};

// Windows errors the driver gives for bad requests.
constexpr uint32_t kErrorInvalidFunction = 1;       // unknown control code
constexpr uint32_t kErrorDeviceMissing = 55;        // ERROR_DEV_NOT_EXIST: unknown device id
constexpr uint32_t kErrorInvalidParameter = 87;     // input too short, or a value out of range
constexpr uint32_t kErrorInsufficientBuffer = 122;  // output too short
constexpr uint32_t kErrorTooManyControllers = 8;    // ERROR_NOT_ENOUGH_MEMORY: no free controller slot

#pragma pack(push, 1)

struct SimControllerSpec {
    uint32_t deviceId;
    uint16_t objectName[touch::kObjectNameUnits];   // NUL-terminated, at most 199 units
    PanelConfig panel;
};

struct SimPanelRecord {
    uint32_t deviceId;
    PanelConfig panel;
};

enum SimTouchWhere : uint32_t {
    kTouchRaw = 0,          // x, y are raw controller coordinates
    kTouchDesktop = 1,      // x, y are a desktop point, turned into raw through the panel model
};

struct SimTouchRequest {
    uint32_t deviceId;
    uint32_t where;         // SimTouchWhere
    int32_t x;
    int32_t y;
};

struct SimTouchResult {
    int32_t rawX;           // the raw point the touch was completed at
    int32_t rawY;
    int32_t landX;          // where that point moves the cursor with the mapping now in force
    int32_t landY;
};

struct SimFault {
    uint32_t code;          // a suite control code
    uint32_t kind;          // SimFaultKind
    uint32_t count;         // requests affected; 0 removes the faults of that code
    uint32_t value;
};

struct SimRequestRun {
    uint32_t code;          // a suite control code
    uint32_t count;         // requests of that code in a row
};

// Everything the driver knows about one controller. History arrays hold the last entries,
// oldest first; the counts are totals since the last reset or history clear.
struct SimControllerState {
    uint32_t deviceId;
    uint16_t objectName[touch::kObjectNameUnits];
    uint32_t mode;
    uint32_t calState;
    int32_t rawX;
    int32_t rawY;
    uint32_t calibrationSent;            // IOCTL_TOUCH_SET_CALIBRATION accepted since the reset
    touch::CalibrationRecord calibration;    // the mapping in force (the default until one was sent)
    uint32_t rangeSent;
    touch::ScreenRangeRecord range;
    uint32_t requests[kSuiteCodes];      // accepted requests per suite code (SuiteCodeIndex)
    uint32_t reloadCount;
    uint32_t touchCount;
    uint32_t modeHistoryCount;           // = set-mode requests accepted
    uint32_t modeHistory[kModeHistory];
    uint32_t calibrationHistoryCount;
    touch::CalibrationRecord calibrationHistory[kRecordHistory];
    uint32_t rangeHistoryCount;
    touch::ScreenRangeRecord rangeHistory[kRecordHistory];
    PanelConfig panel;
    // The accepted requests in order, consecutive requests of one code counted as one run: the
    // last kRequestRuns runs, oldest first; requestRunCount counts every run.
    uint32_t requestRunCount;
    SimRequestRun requestRuns[kRequestRuns];
};

struct SimSummary {
    uint32_t controllerCount;
    uint32_t deviceIds[kMaxControllers];
    DesktopGeometry desktop;
    uint32_t openHandles;
    uint32_t pendingFaults;              // requests still to be affected by injected faults
    uint32_t requests[kSuiteCodes];      // every request per suite code, failed ones included
    uint32_t failedRequests;             // suite requests refused or failed by a fault
    uint32_t stalledRequests;            // requests held by a stall fault right now
};

#pragma pack(pop)

} // namespace touchsim
