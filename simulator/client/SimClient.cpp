#include "simulator/client/SimClient.h"

#include <setupapi.h>

#include "simulator/FixtureRegistry.h"

namespace touchsim {

SimClient::~SimClient()
{
    Close();
}

bool SimClient::Open()
{
    Close();
    handle_ = CreateFileW(TOUCH_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        lastError_ = GetLastError();
        return false;
    }
    return true;
}

void SimClient::Close()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

bool SimClient::Control(uint32_t code, const void* in, DWORD inBytes, void* out, DWORD outBytes, DWORD* returned)
{
    DWORD bytes = 0;
    if (!DeviceIoControl(handle_, code, const_cast<void*>(in), inBytes, out, outBytes, &bytes, nullptr)) {
        lastError_ = GetLastError();
        return false;
    }
    if (returned != nullptr)
        *returned = bytes;
    return true;
}

bool SimClient::Reset()
{
    return Control(IOCTL_SIM_RESET, nullptr, 0, nullptr, 0, nullptr);
}

bool SimClient::SetDesktop(const DesktopGeometry& desktop)
{
    return Control(IOCTL_SIM_SET_DESKTOP, &desktop, sizeof(desktop), nullptr, 0, nullptr);
}

bool SimClient::AddController(uint32_t deviceId, const std::wstring& objectName, const PanelConfig& panel)
{
    if (objectName.size() >= touch::kObjectNameUnits) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return false;
    }
    SimControllerSpec setup = {};
    setup.deviceId = deviceId;
    for (size_t i = 0; i < objectName.size(); ++i)
        setup.objectName[i] = static_cast<uint16_t>(objectName[i]);
    setup.panel = panel;
    return Control(IOCTL_SIM_ADD_CONTROLLER, &setup, sizeof(setup), nullptr, 0, nullptr);
}

bool SimClient::RemoveController(uint32_t deviceId)
{
    touch::DeviceIdRecord in = {deviceId};
    return Control(IOCTL_SIM_REMOVE_CONTROLLER, &in, sizeof(in), nullptr, 0, nullptr);
}

bool SimClient::SetPanel(uint32_t deviceId, const PanelConfig& panel)
{
    SimPanelRecord in = {deviceId, panel};
    return Control(IOCTL_SIM_SET_PANEL, &in, sizeof(in), nullptr, 0, nullptr);
}

bool SimClient::Touch(uint32_t code, uint32_t deviceId, uint32_t where, int32_t x, int32_t y, SimTouchResult* result)
{
    SimTouchRequest in = {deviceId, where, x, y};
    SimTouchResult out = {};
    DWORD bytes = 0;
    if (!Control(code, &in, sizeof(in), &out, sizeof(out), &bytes))
        return false;
    if (bytes != sizeof(out)) {
        lastError_ = ERROR_INVALID_DATA;
        return false;
    }
    if (result != nullptr)
        *result = out;
    return true;
}

bool SimClient::TouchRaw(uint32_t deviceId, int32_t rawX, int32_t rawY, SimTouchResult* result)
{
    return Touch(IOCTL_SIM_TOUCH, deviceId, kTouchRaw, rawX, rawY, result);
}

bool SimClient::TouchAt(uint32_t deviceId, int32_t x, int32_t y, SimTouchResult* result)
{
    return Touch(IOCTL_SIM_TOUCH, deviceId, kTouchDesktop, x, y, result);
}

bool SimClient::MapRaw(uint32_t deviceId, int32_t rawX, int32_t rawY, SimTouchResult* result)
{
    return Touch(IOCTL_SIM_MAP, deviceId, kTouchRaw, rawX, rawY, result);
}

bool SimClient::MapAt(uint32_t deviceId, int32_t x, int32_t y, SimTouchResult* result)
{
    return Touch(IOCTL_SIM_MAP, deviceId, kTouchDesktop, x, y, result);
}

bool SimClient::InjectFault(uint32_t code, SimFaultKind kind, uint32_t count, uint32_t value)
{
    SimFault in = {code, kind, count, value};
    return Control(IOCTL_SIM_SET_FAULT, &in, sizeof(in), nullptr, 0, nullptr);
}

bool SimClient::StallRequests(uint32_t code, uint32_t milliseconds, uint32_t count)
{
    return InjectFault(code, kFaultStall, count, milliseconds);
}

bool SimClient::ClearFaults()
{
    return Control(IOCTL_SIM_CLEAR_FAULTS, nullptr, 0, nullptr, 0, nullptr);
}

bool SimClient::GetState(uint32_t deviceId, SimControllerState* state)
{
    touch::DeviceIdRecord in = {deviceId};
    DWORD bytes = 0;
    SimControllerState out = {};
    if (!Control(IOCTL_SIM_GET_STATE, &in, sizeof(in), &out, sizeof(out), &bytes))
        return false;
    if (bytes != sizeof(out)) {
        lastError_ = ERROR_INVALID_DATA;
        return false;
    }
    *state = out;
    return true;
}

bool SimClient::GetSummary(SimSummary* summary)
{
    SimSummary out = {};
    DWORD bytes = 0;
    if (!Control(IOCTL_SIM_GET_SUMMARY, nullptr, 0, &out, sizeof(out), &bytes))
        return false;
    if (bytes != sizeof(out)) {
        lastError_ = ERROR_INVALID_DATA;
        return false;
    }
    *summary = out;
    return true;
}

bool SimClient::ClearHistory()
{
    return Control(IOCTL_SIM_CLEAR_HISTORY, nullptr, 0, nullptr, 0, nullptr);
}

bool SimClient::SetDeviceLink(bool present)
{
    return InjectFault(kSimOpenCode, kFaultError, present ? 0 : 1, 0);
}

DesktopGeometry SystemDesktop()
{
    DesktopGeometry d = {};
    d.virtualScreen.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    d.virtualScreen.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    d.virtualScreen.right = d.virtualScreen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    d.virtualScreen.bottom = d.virtualScreen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    bool xpOrLater = true;
    if (GetVersionExW(&version))
        xpOrLater = version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1);
    d.fullScale = xpOrLater ? 0x7FFF : 0x3FFF;
    return d;
}

namespace {

// Device nodes get the mouse setup class, as the touch driver's devices have.
const GUID kMouseClass = {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class DevInfoSet {
public:
    explicit DevInfoSet(HDEVINFO set) : set_(set) {}
    ~DevInfoSet() { if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_); }
    DevInfoSet(const DevInfoSet&) = delete;
    DevInfoSet& operator=(const DevInfoSet&) = delete;
    HDEVINFO Get() const { return set_; }
    bool Valid() const { return set_ != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO set_;
};

class Key {
public:
    Key() = default;
    ~Key() { if (key_ != nullptr) RegCloseKey(key_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::wstring FixtureKeyPath(const std::wstring& instanceId)
{
    std::wstring name = instanceId;
    for (wchar_t& ch : name) {
        if (ch == L'\\')
            ch = L'#';
    }
    return std::wstring(TOUCHSIM_NODES_KEY) + L"\\" + name;
}

bool Fail(DWORD* error, DWORD code)
{
    if (error != nullptr)
        *error = code;
    return false;
}

bool SetString(HDEVINFO set, SP_DEVINFO_DATA* devInfo, DWORD property, const std::wstring& text, bool multi)
{
    std::wstring data = text;
    data.push_back(L'\0');
    if (multi)
        data.push_back(L'\0');
    return SetupDiSetDeviceRegistryPropertyW(set, devInfo, property, reinterpret_cast<const BYTE*>(data.c_str()),
                                             static_cast<DWORD>(data.size() * sizeof(wchar_t))) != FALSE;
}

bool WriteDword(HKEY key, const wchar_t* name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value))
        == ERROR_SUCCESS;
}

// Hardware id: the instance id without its last part (USB\VID_xxxx&PID_xxxx).
std::wstring HardwareId(const std::wstring& instanceId)
{
    size_t slash = instanceId.rfind(L'\\');
    return slash == std::wstring::npos ? instanceId : instanceId.substr(0, slash);
}

} // namespace

bool RemoveDeviceNode(const std::wstring& instanceId, DWORD* error)
{
    LONG rc = RegDeleteKeyW(HKEY_LOCAL_MACHINE, FixtureKeyPath(instanceId).c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        return Fail(error, static_cast<DWORD>(rc));
    DevInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set.Valid())
        return Fail(error, GetLastError());
    SP_DEVINFO_DATA devInfo = {};
    devInfo.cbSize = sizeof(devInfo);
    if (!SetupDiOpenDeviceInfoW(set.Get(), instanceId.c_str(), nullptr, 0, &devInfo))
        return Fail(error, GetLastError());
    // The driver key may be missing on purpose; only the node's removal decides the result.
    SetupDiDeleteDevRegKey(set.Get(), &devInfo, DICS_FLAG_GLOBAL, 0, DIREG_DRV);
    if (!SetupDiRemoveDevice(set.Get(), &devInfo))
        return Fail(error, GetLastError());
    return true;
}

bool AddDeviceNode(const DeviceNodeSpec& setup, DWORD* error)
{
    DWORD ignored = 0;
    RemoveDeviceNode(setup.instanceId, &ignored);

    DevInfoSet set(SetupDiCreateDeviceInfoList(&kMouseClass, nullptr));
    if (!set.Valid())
        return Fail(error, GetLastError());
    SP_DEVINFO_DATA devInfo = {};
    devInfo.cbSize = sizeof(devInfo);
    if (!SetupDiCreateDeviceInfoW(set.Get(), setup.instanceId.c_str(), &kMouseClass, setup.description.c_str(),
                                  nullptr, 0, &devInfo))
        return Fail(error, GetLastError());
    if (!SetupDiRegisterDeviceInfo(set.Get(), &devInfo, 0, nullptr, nullptr, nullptr))
        return Fail(error, GetLastError());
    if (!SetString(set.Get(), &devInfo, SPDRP_HARDWAREID, HardwareId(setup.instanceId), true)
        || !SetString(set.Get(), &devInfo, SPDRP_MFG, setup.manufacturer, false)
        || !SetString(set.Get(), &devInfo, SPDRP_DEVICEDESC, setup.description, false))
        return Fail(error, GetLastError());
    if (setup.driverKey) {
        HKEY driverKey = SetupDiCreateDevRegKeyW(set.Get(), &devInfo, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr,
                                                 nullptr);
        if (driverKey == INVALID_HANDLE_VALUE || driverKey == nullptr)
            return Fail(error, GetLastError());
        RegCloseKey(driverKey);
    }

    Key key;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, FixtureKeyPath(setup.instanceId).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, key.Out(), nullptr);
    if (rc != ERROR_SUCCESS)
        return Fail(error, static_cast<DWORD>(rc));
    bool ok = true;
    if (!setup.objectName.empty()) {
        ok = RegSetValueExW(key.Get(), TOUCHSIM_VALUE_OBJECT_NAME, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(setup.objectName.c_str()),
                            static_cast<DWORD>((setup.objectName.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    if (ok && setup.objectNameType != REG_SZ)
        ok = WriteDword(key.Get(), TOUCHSIM_VALUE_OBJECT_NAME_TYPE, setup.objectNameType);
    if (ok && setup.objectNameError != 0)
        ok = WriteDword(key.Get(), TOUCHSIM_VALUE_OBJECT_NAME_ERROR, setup.objectNameError);
    if (ok && setup.manufacturerError != 0)
        ok = WriteDword(key.Get(), TOUCHSIM_VALUE_MFG_ERROR, setup.manufacturerError);
    if (ok && setup.descriptionError != 0)
        ok = WriteDword(key.Get(), TOUCHSIM_VALUE_DESC_ERROR, setup.descriptionError);
    if (!ok)
        return Fail(error, GetLastError());
    return true;
}

bool ListDeviceNodes(std::vector<std::wstring>* instanceIds, DWORD* error)
{
    instanceIds->clear();
    Key key;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, TOUCHSIM_NODES_KEY, 0, KEY_READ, key.Out());
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return Fail(error, static_cast<DWORD>(rc));
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD units = 256;
        rc = RegEnumKeyExW(key.Get(), i, name, &units, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return true;
        if (rc != ERROR_SUCCESS)
            return Fail(error, static_cast<DWORD>(rc));
        std::wstring id(name, units);
        for (wchar_t& ch : id) {
            if (ch == L'#')
                ch = L'\\';
        }
        instanceIds->push_back(id);
    }
}

bool RemoveAllDeviceNodes(DWORD* error)
{
    std::vector<std::wstring> ids;
    if (!ListDeviceNodes(&ids, error))
        return false;
    bool ok = true;
    for (const std::wstring& id : ids) {
        DWORD e = 0;
        if (!RemoveDeviceNode(id, &e)) {
            // A node already gone leaves only its fixture data, which the removal has deleted.
            if (e != ERROR_NO_SUCH_DEVINST) {
                ok = false;
                if (error != nullptr)
                    *error = e;
            }
        }
    }
    return ok;
}

bool OpenDriverKey(const std::wstring& instanceId, REGSAM access, HKEY* key, DWORD* error)
{
    DevInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set.Valid())
        return Fail(error, GetLastError());
    SP_DEVINFO_DATA devInfo = {};
    devInfo.cbSize = sizeof(devInfo);
    if (!SetupDiOpenDeviceInfoW(set.Get(), instanceId.c_str(), nullptr, 0, &devInfo))
        return Fail(error, GetLastError());
    HKEY opened = SetupDiOpenDevRegKey(set.Get(), &devInfo, DICS_FLAG_GLOBAL, 0, DIREG_DRV, access);
    if (opened == INVALID_HANDLE_VALUE || opened == nullptr)
        return Fail(error, GetLastError());
    *key = opened;
    return true;
}

} // namespace touchsim
