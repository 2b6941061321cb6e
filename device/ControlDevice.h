// The driver's control device \\.\VOVUDA: one open handle and one checked call per control code.
// Every call is synchronous. A call returns false when the driver refuses it or its reply has the
// wrong size; GetLastError then holds the driver's error, or ERROR_INVALID_DATA for a reply of the
// wrong size. Out-parameters are written only on success.
//
//   touch::ControlDevice device;
//   if (!device.Open()) ...                       // error in GetLastError
//   if (!device.ReloadSettings(deviceId)) ...
#pragma once

#include "device/TouchProtocol.h"
#include "framework/Handle.h"

#include <windows.h>

#include <stdint.h>

namespace touch {

class ControlDevice {
public:
    ControlDevice() = default;
    ControlDevice(const ControlDevice&) = delete;
    ControlDevice& operator=(const ControlDevice&) = delete;

    // Opens the device for reading and writing, no sharing, existing device only. A handle held
    // before is closed first.
    bool Open();
    bool IsOpen() const { return handle_.Valid(); }
    void Close() { handle_.Reset(); }

    // Count of controllers the driver serves; exactly 4 bytes must come back.
    bool GetDeviceCount(uint32_t* count) const;
    // The device list request for `capacity` entries into `reply` (`replyBytes` long). The reply
    // is checked by ReadDeviceListReply (DeviceListReply.h); *returned is what the driver filled.
    bool GetDeviceList(uint32_t capacity, void* reply, uint32_t replyBytes, uint32_t* returned) const;
    // The controller's touch mode; a reply of other than 8 bytes leaves it unknown and fails.
    bool GetMode(uint32_t deviceId, uint32_t* mode) const;
    bool SetMode(uint32_t deviceId, uint32_t mode) const;
    bool ResetCalibrationState(uint32_t deviceId) const;
    // Asks for the calibration state (sent as "waiting"); exactly 16 bytes must come back.
    bool GetCalibrationState(uint32_t deviceId, CalibrationStateRecord* state) const;
    bool SetCalibration(const CalibrationRecord& record) const;
    bool SetScreenRange(const ScreenRangeRecord& record) const;
    bool ReloadSettings(uint32_t deviceId) const;
    // The same request on a thread of its own, waited for at most `milliseconds`: a driver that
    // does not answer fails it with ERROR_TIMEOUT instead of holding the caller (a window) for
    // good. The request then finishes or stays on its own copy of the handle.
    bool ReloadSettingsWithin(uint32_t deviceId, DWORD milliseconds) const;

private:
    // One DeviceIoControl; *returned (if given) is the reply's size.
    bool Control(uint32_t code, const void* in, uint32_t inBytes, void* out, uint32_t outBytes,
                 uint32_t* returned) const;
    // The same, where a reply of other than `outBytes` fails with ERROR_INVALID_DATA.
    bool ControlExact(uint32_t code, const void* in, uint32_t inBytes, void* out, uint32_t outBytes) const;

    fw::FileHandle handle_;
};

} // namespace touch
