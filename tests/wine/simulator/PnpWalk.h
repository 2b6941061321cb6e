// The programs' SetupAPI walk over the USB enumerator's devices, recording what each call gave.
// Used in-process by the PnP test and by pnp_walk.exe, which the test starts as a child.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pnpwalk {

struct Property {
    bool ok = false;
    DWORD error = 0;        // GetLastError after a failed read
    DWORD type = 0;
    DWORD size = 0;         // the required size the call reported
    std::wstring text;
};

struct Device {
    std::wstring instanceId;
    Property objectName;    // SPDRP_PHYSICAL_DEVICE_OBJECT_NAME
    Property manufacturer;  // SPDRP_MFG
    Property description;   // SPDRP_DEVICEDESC
    bool keyOpened = false; // SetupDiOpenDevRegKey(DIREG_DRV, KEY_ALL_ACCESS)
    DWORD keyError = 0;
};

// SetupDiGetClassDevsW(NULL, L"USB", NULL, DIGCF_ALLCLASSES) and every device in it.
bool Walk(std::vector<Device>* devices, DWORD* error);

// One line per device, tab-separated key=value fields, and back.
std::wstring Format(const Device& d);
bool Parse(const std::wstring& line, Device* d);

} // namespace pnpwalk
