#include "device/ControlDevice.h"

#include "device/DeviceListReply.h"

namespace touch {

bool ControlDevice::Open()
{
    handle_.Reset(::CreateFileW(TOUCH_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_.Valid();
}

bool ControlDevice::Control(uint32_t code, const void* in, uint32_t inBytes, void* out, uint32_t outBytes,
                            uint32_t* returned) const
{
    if (!handle_.Valid()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD bytes = 0;
    if (!::DeviceIoControl(handle_.Get(), code, const_cast<void*>(in), inBytes, out, outBytes, &bytes, nullptr))
        return false;
    if (returned != nullptr)
        *returned = bytes;
    return true;
}

bool ControlDevice::ControlExact(uint32_t code, const void* in, uint32_t inBytes, void* out, uint32_t outBytes) const
{
    uint32_t returned = 0;
    if (!Control(code, in, inBytes, out, outBytes, &returned))
        return false;
    if (returned != outBytes) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

bool ControlDevice::GetDeviceCount(uint32_t* count) const
{
    DeviceCountRecord record = {0};
    if (!ControlExact(IOCTL_TOUCH_GET_DEVICE_COUNT, &record, sizeof record, &record, sizeof record))
        return false;
    *count = record.count;
    return true;
}

bool ControlDevice::GetDeviceList(uint32_t capacity, void* reply, uint32_t replyBytes, uint32_t* returned) const
{
    const DeviceListRequest request = MakeDeviceListRequest(capacity);
    return Control(IOCTL_TOUCH_GET_DEVICE_LIST, &request, sizeof request, reply, replyBytes, returned);
}

bool ControlDevice::GetMode(uint32_t deviceId, uint32_t* mode) const
{
    TouchModeRecord record = {deviceId, 0};
    if (!ControlExact(IOCTL_TOUCH_GET_MODE, &record, sizeof record, &record, sizeof record))
        return false;
    *mode = record.mode;
    return true;
}

bool ControlDevice::SetMode(uint32_t deviceId, uint32_t mode) const
{
    const TouchModeRecord record = {deviceId, mode};
    return Control(IOCTL_TOUCH_SET_MODE, &record, sizeof record, nullptr, 0, nullptr);
}

bool ControlDevice::ResetCalibrationState(uint32_t deviceId) const
{
    const DeviceIdRecord record = {deviceId};
    return Control(IOCTL_TOUCH_RESET_CAL_STATE, &record, sizeof record, nullptr, 0, nullptr);
}

bool ControlDevice::GetCalibrationState(uint32_t deviceId, CalibrationStateRecord* state) const
{
    CalibrationStateRecord record = {deviceId, kCalStateWaiting, 0, 0};
    if (!ControlExact(IOCTL_TOUCH_GET_CAL_STATE, &record, sizeof record, &record, sizeof record))
        return false;
    *state = record;
    return true;
}

bool ControlDevice::SetCalibration(const CalibrationRecord& record) const
{
    return Control(IOCTL_TOUCH_SET_CALIBRATION, &record, sizeof record, nullptr, 0, nullptr);
}

bool ControlDevice::SetScreenRange(const ScreenRangeRecord& record) const
{
    return Control(IOCTL_TOUCH_SET_SCREEN_RANGE, &record, sizeof record, nullptr, 0, nullptr);
}

bool ControlDevice::ReloadSettings(uint32_t deviceId) const
{
    const DeviceIdRecord record = {deviceId};
    return Control(IOCTL_TOUCH_RELOAD_SETTINGS, &record, sizeof record, nullptr, 0, nullptr);
}

} // namespace touch
