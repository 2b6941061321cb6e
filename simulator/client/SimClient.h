// Client of the simulated touch driver for tests and the touchsim tool: configures controllers
// and panels, injects touches and faults, reads back what the suite sent; and creates the USB
// device nodes that the PnP fixture joins with the simulated controllers.
// Every operation returns false on failure; the Windows error is then in LastError() (or in the
// error out-parameter of the free functions).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "simulator/SimProtocol.h"

namespace touchsim {

class SimClient {
public:
    SimClient() = default;
    ~SimClient();
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    // Opens \\.\VOVUDA the way the programs do (read/write, share mode 0). The handle is owned here.
    bool Open();
    void Close();
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD LastError() const { return lastError_; }

    // Forgets every controller, fault and record; the desktop goes back to 1024 x 768, 32767.
    bool Reset();
    bool SetDesktop(const DesktopGeometry& desktop);
    // Adds a controller at the end of the driver's list, or replaces the one with that id (its
    // state and history start afresh). objectName: at most 199 UTF-16 units.
    bool AddController(uint32_t deviceId, const std::wstring& objectName, const PanelConfig& panel);
    bool RemoveController(uint32_t deviceId);
    bool SetPanel(uint32_t deviceId, const PanelConfig& panel);

    // Completes a touch: the calibration state becomes 0x931 with the raw point. TouchAt turns a
    // desktop point into raw through the panel model. result (optional) also tells where the
    // point lands with the calibration record and screen range in force.
    bool TouchRaw(uint32_t deviceId, int32_t rawX, int32_t rawY, SimTouchResult* result = nullptr);
    bool TouchAt(uint32_t deviceId, int32_t x, int32_t y, SimTouchResult* result = nullptr);
    // The same without completing a touch.
    bool MapRaw(uint32_t deviceId, int32_t rawX, int32_t rawY, SimTouchResult* result);
    bool MapAt(uint32_t deviceId, int32_t x, int32_t y, SimTouchResult* result);

    // The next `count` requests of the suite control `code` are affected (see SimFaultKind);
    // count 0 removes the faults of that code.
    bool InjectFault(uint32_t code, SimFaultKind kind, uint32_t count, uint32_t value);
    // The next `count` requests of `code` do not return for `milliseconds` (a stalled driver);
    // Reset(), ClearFaults(), a count 0 or closing the stalled caller's handle serves them at once.
    bool StallRequests(uint32_t code, uint32_t milliseconds, uint32_t count = 1);
    bool ClearFaults();

    bool GetState(uint32_t deviceId, SimControllerState* state);
    bool GetSummary(SimSummary* summary);
    // Zeroes the request counters and histories; controllers, modes and mappings stay.
    bool ClearHistory();
    // false: \\.\VOVUDA can no longer be opened (error 2), as without the driver; open handles
    // keep working. true, Reset(), or any handle closed makes it openable again (the open fault).
    bool SetDeviceLink(bool present);

    // Any control request on the open handle, as DeviceIoControl; returned may be null.
    bool Control(uint32_t code, const void* in, DWORD inBytes, void* out, DWORD outBytes, DWORD* returned);

private:
    bool Touch(uint32_t code, uint32_t deviceId, uint32_t where, int32_t x, int32_t y, SimTouchResult* result);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD lastError_ = 0;
};

// The desktop of this session as the programs see it: the virtual screen and the full scale of
// the Windows version reported (16383 before 5.1, else 32767).
DesktopGeometry SystemDesktop();

// A USB device node for the PnP fixture. Created with SetupAPI under the USB enumerator, with the
// manufacturer and description as properties; the fixture reports objectName as the node's
// SPDRP_PHYSICAL_DEVICE_OBJECT_NAME.
struct DeviceNodeSpec {
    std::wstring instanceId;            // e.g. L"USB\\VID_0EEF&PID_0001\\SIM1"
    std::wstring objectName;            // empty: the node has no object name
    std::wstring manufacturer;
    std::wstring description;
    bool driverKey = true;              // create the driver key (DIREG_DRV)
    DWORD objectNameError = 0;          // non-zero: reading the object name fails with it
    DWORD objectNameType = REG_SZ;      // the registry type reported with the object name
    DWORD manufacturerError = 0;        // non-zero: reading SPDRP_MFG fails with it
    DWORD descriptionError = 0;         // non-zero: reading SPDRP_DEVICEDESC fails with it
};

// Replaces a node of the same instance id.
bool AddDeviceNode(const DeviceNodeSpec& setup, DWORD* error);
// Removes the node, its driver key and its fixture data.
bool RemoveDeviceNode(const std::wstring& instanceId, DWORD* error);
// Removes every node made by AddDeviceNode.
bool RemoveAllDeviceNodes(DWORD* error);
// Instance ids of the nodes made by AddDeviceNode.
bool ListDeviceNodes(std::vector<std::wstring>* instanceIds, DWORD* error);
// Opens the node's driver key, as the programs do; the caller closes it with RegCloseKey.
bool OpenDriverKey(const std::wstring& instanceId, REGSAM access, HKEY* key, DWORD* error);

} // namespace touchsim
