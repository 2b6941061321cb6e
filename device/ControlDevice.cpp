#include "device/ControlDevice.h"

#include "device/DeviceListReply.h"

#include <new>

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

namespace {

// What the request's thread and its waiter share; the last of the two to let go frees it.
struct PendingReload {
    LONG references = 2;
    HANDLE device = INVALID_HANDLE_VALUE;   // the thread's own copy, closed by the thread
    uint32_t deviceId = 0;
    BOOL ok = FALSE;
    DWORD error = 0;

    void Release()
    {
        if (::InterlockedDecrement(&references) == 0)
            delete this;
    }
};

DWORD WINAPI ReloadThread(void* parameter)
{
    PendingReload* pending = static_cast<PendingReload*>(parameter);
    const DeviceIdRecord record = {pending->deviceId};
    DWORD bytes = 0;
    pending->ok = ::DeviceIoControl(pending->device, IOCTL_TOUCH_RELOAD_SETTINGS, const_cast<DeviceIdRecord*>(&record),
                                    sizeof record, nullptr, 0, &bytes, nullptr);
    pending->error = pending->ok ? 0 : ::GetLastError();
    ::CloseHandle(pending->device);
    pending->Release();
    return 0;
}

} // namespace

bool ControlDevice::ReloadSettingsWithin(uint32_t deviceId, DWORD milliseconds) const
{
    if (!handle_.Valid()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    PendingReload* pending = new (std::nothrow) PendingReload;
    if (pending == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    pending->deviceId = deviceId;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle_.Get(), ::GetCurrentProcess(), &pending->device, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        const DWORD error = ::GetLastError();
        delete pending;
        ::SetLastError(error);
        return false;
    }
    fw::KernelHandle thread(::CreateThread(nullptr, 0, &ReloadThread, pending, 0, nullptr));
    if (!thread) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(pending->device);
        delete pending;
        ::SetLastError(error);
        return false;
    }
    const DWORD wait = ::WaitForSingleObject(thread.Get(), milliseconds);
    const bool ended = wait == WAIT_OBJECT_0;
    const bool ok = ended && pending->ok != FALSE;
    const DWORD error = ended ? pending->error : (wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : ::GetLastError());
    pending->Release();
    ::SetLastError(ok ? 0 : error);
    return ok;
}

bool ControlDevice::ReloadSettings(uint32_t deviceId) const
{
    const DeviceIdRecord record = {deviceId};
    return Control(IOCTL_TOUCH_RELOAD_SETTINGS, &record, sizeof record, nullptr, 0, nullptr);
}

} // namespace touch
