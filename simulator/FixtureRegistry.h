// Where the PnP fixture keeps its device-node data: one subkey per device node under
// HKEY_LOCAL_MACHINE, named by the node's instance id with each '\' replaced by '#'.
// Written by the client library (touchsim node commands), read by the setupapi.dll stand-in.
#pragma once

#define TOUCHSIM_NODES_KEY L"Software\\QelvoTouchSim\\DeviceNodes"

// REG_SZ: what SPDRP_PHYSICAL_DEVICE_OBJECT_NAME reports for the node.
#define TOUCHSIM_VALUE_OBJECT_NAME L"ObjectName"
// REG_DWORD, optional: the registry type reported with the object name (REG_SZ when absent).
#define TOUCHSIM_VALUE_OBJECT_NAME_TYPE L"ObjectNameType"
// REG_DWORD, optional: reading that property fails with this Windows error.
#define TOUCHSIM_VALUE_OBJECT_NAME_ERROR L"ObjectNameError"
#define TOUCHSIM_VALUE_MFG_ERROR L"MfgError"
#define TOUCHSIM_VALUE_DESC_ERROR L"DeviceDescError"

// The fixture's name for the real SetupAPI it forwards to, copied next to it in system32.
#define TOUCHSIM_REAL_SETUPAPI L"setupapi_real.dll"
