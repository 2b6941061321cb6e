#include "device/TouchDeviceManager.h"

#include "device/ControlDevice.h"
#include "device/DeviceAccess.h"
#include "device/DeviceListReply.h"
#include "device/DeviceSelectDialog.h"
#include "device/PropertyText.h"

#include <memory>
#include <new>
#include <string.h>
#include <utility>
#include <vector>

namespace touch {

#if !defined(_WIN64)
static_assert(sizeof(SP_DEVINFO_DATA) == 28, "SP_DEVINFO_DATA of the x86 target");
#endif
static_assert(sizeof(wchar_t) == sizeof(uint16_t), "UTF-16 units");

namespace {

constexpr DWORD kPropertyBytes = kObjectNameUnits * sizeof(wchar_t);  // 400

// One property read into the shared buffer. The buffer has one unit more than the 400 bytes the
// system may fill, so that a value without a terminator is still terminated after its last unit.
enum class PropertyRead { Ok, Unusable, Failed, TooLarge };

PropertyRead ReadTextProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, wchar_t* buffer)
{
    DWORD type = 0;
    DWORD size = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                             kPropertyBytes, &size)) {
        return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER ? PropertyRead::TooLarge : PropertyRead::Failed;
    }
    if (type != REG_SZ || !TerminatePropertyText(buffer, kObjectNameUnits + 1, size))
        return PropertyRead::Unusable;
    return PropertyRead::Ok;
}

} // namespace

TouchDeviceManager::TouchDeviceManager() : count_(0), selected_(-1) {}

TouchDeviceManager::~TouchDeviceManager()
{
    Release();
}

bool TouchDeviceManager::IsInitialized() const
{
    return deviceInfoSet_.Valid() && entries_ != nullptr && count_ != 0;
}

bool TouchDeviceManager::Initialize()
{
    if (deviceInfoSet_.Valid() || entries_ != nullptr || count_ != 0)
        return false;
    deviceInfoSet_.Reset(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (deviceInfoSet_.Valid() && QueryDriver() && MatchSetupDevices())
        return true;
    const DWORD error = ::GetLastError();
    Release();
    ::SetLastError(error);
    return false;
}

bool TouchDeviceManager::QueryDriver()
{
    ControlDevice device;
    if (!device.Open())
        return false;

    uint32_t capacity = 0;
    if (!device.GetDeviceCount(&capacity))
        return false;

    // A count above the ceiling is the driver's fault: nothing is allocated or asked for.
    uint32_t replyBytes = 0;
    if (!DeviceListReplyBytes(capacity, &replyBytes)) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    std::unique_ptr<unsigned char[]> reply(new (std::nothrow) unsigned char[replyBytes]());
    if (!reply) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    uint32_t returned = 0;
    if (!device.GetDeviceList(capacity, reply.get(), replyBytes, &returned))
        return false;

    std::unique_ptr<DeviceListEntry[]> records(new (std::nothrow) DeviceListEntry[capacity == 0 ? 1 : capacity]);
    if (records == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    uint32_t count = 0;
    if (!ReadDeviceListReply(reply.get(), replyBytes, returned, capacity, records.get(), &count)) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    if (count == 0)
        return true;

    std::unique_ptr<TouchDeviceEntry[]> list(new (std::nothrow) TouchDeviceEntry[count]());
    if (list == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        list[i].deviceId = records[i].deviceId;
        static_assert(sizeof(list[i].objectName) == sizeof(records[i].objectName), "name field");
        memcpy(list[i].objectName, records[i].objectName, sizeof(list[i].objectName));
    }
    entries_ = std::move(list);
    count_ = count;
    return true;
}

bool TouchDeviceManager::MatchSetupDevices()
{
    if (entries_ == nullptr || count_ == 0) {
        ::SetLastError(ERROR_NOT_FOUND);
        return false;
    }
    DeviceInfoSet usbDevices(::SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES));
    if (!usbDevices.Valid())
        return false;

    bool matched = false;
    wchar_t buffer[kObjectNameUnits + 1] = {};
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(usbDevices.Get(), index, &device); ++index) {
        const PropertyRead name =
            ReadTextProperty(usbDevices.Get(), &device, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, buffer);
        if (name == PropertyRead::TooLarge)
            break;
        if (name != PropertyRead::Ok)
            continue;

        TouchDeviceEntry* entry = nullptr;
        for (uint32_t i = 0; i < count_; ++i) {
            if (::lstrcmpiW(entries_[i].objectName, buffer) == 0) {
                entry = &entries_[i];
                break;
            }
        }
        if (entry == nullptr)
            continue;

        if (ReadTextProperty(usbDevices.Get(), &device, SPDRP_MFG, buffer) != PropertyRead::Ok)
            break;
        CopyTerminatedText(entry->manufacturer, buffer);
        if (ReadTextProperty(usbDevices.Get(), &device, SPDRP_DEVICEDESC, buffer) != PropertyRead::Ok)
            break;
        CopyTerminatedText(entry->description, buffer);
        if (!::SetupDiGetDeviceInstanceIdW(usbDevices.Get(), &device, entry->instanceId,
                                          kObjectNameUnits, nullptr)) {
            entry->instanceId[0] = L'\0';
            break;
        }
        entry->instanceId[kObjectNameUnits - 1] = L'\0';

        entry->devInfo.cbSize = sizeof(entry->devInfo);
        const bool opened =
            ::SetupDiOpenDeviceInfoW(deviceInfoSet_.Get(), entry->instanceId, nullptr, 0, &entry->devInfo) != FALSE;
        matched = true;
        if (!opened) {
            // Unfilled, as if never joined: OpenDeviceKey refuses it.
            memset(&entry->devInfo, 0, sizeof(entry->devInfo));
            break;
        }
    }
    if (!matched)
        ::SetLastError(ERROR_NOT_FOUND);
    return matched;
}

bool TouchDeviceManager::SelectByName(const wchar_t* name)
{
    if (!IsInitialized() || name == nullptr)
        return false;
    for (uint32_t i = 0; i < count_; ++i) {
        if (::lstrcmpiW(entries_[i].objectName, name) == 0) {
            selected_ = static_cast<int32_t>(i);
            return true;
        }
    }
    return false;
}

bool TouchDeviceManager::SelectInteractively()
{
    if (!IsInitialized())
        return false;
    if (count_ == 1) {
        selected_ = 0;
        return true;
    }
    DeviceSelectDialog dialog(entries_.get(), count_);
    if (dialog.RunModal() != IDOK)
        return false;
    const int32_t chosen = dialog.ChosenIndex();
    if (chosen < 0 || static_cast<uint32_t>(chosen) >= count_)
        return false;
    selected_ = chosen;
    return true;
}

bool TouchDeviceManager::GetSelectedDeviceId(uint32_t* deviceId) const
{
    if (!IsInitialized() || static_cast<uint32_t>(selected_) >= count_ || deviceId == nullptr)
        return false;
    *deviceId = entries_[selected_].deviceId;
    return true;
}

const wchar_t* TouchDeviceManager::GetSelectedDeviceName() const
{
    if (!IsInitialized() || static_cast<uint32_t>(selected_) >= count_)
        return nullptr;
    return entries_[selected_].objectName;
}

bool TouchDeviceManager::OpenDeviceKey(HKEY* key) const
{
    if (!IsInitialized() || static_cast<uint32_t>(selected_) >= count_ || key == nullptr)
        return false;
    SP_DEVINFO_DATA* devInfo = &entries_[selected_].devInfo;
    if (devInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
        ::SetLastError(ERROR_NO_SUCH_DEVINST);
        return false;
    }
    HKEY opened = ::SetupDiOpenDevRegKey(deviceInfoSet_.Get(), devInfo, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_ALL_ACCESS);
    if (opened == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) || opened == nullptr)
        return false;
    *key = opened;
    return true;
}

bool TouchDeviceManager::OpenDeviceKey(fw::RegistryKey& key) const
{
    HKEY opened = nullptr;
    if (!OpenDeviceKey(&opened))
        return false;
    key.Reset(opened);
    return true;
}

LONG TouchDeviceManager::CloseDeviceKey(HKEY key) const
{
    fw::RegistryKey owner(key);
    return owner ? ::RegCloseKey(owner.Release()) : ERROR_INVALID_HANDLE;
}

void TouchDeviceManager::Release()
{
    entries_.reset();
    deviceInfoSet_.Reset();
    count_ = 0;
    selected_ = -1;
}

} // namespace touch
