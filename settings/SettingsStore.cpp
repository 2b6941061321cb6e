#include "settings/SettingsStore.h"

#include "framework/Handle.h"

namespace settings {

bool LoadSettings(const touch::TouchDeviceManager& manager, TouchSettings& settings)
{
    fw::RegistryKey key;
    if (!manager.OpenDeviceKey(key))
        return false;
    // Data of other than 4 bytes (ERROR_MORE_DATA, ERROR_INVALID_DATA) count as not accepted.
    ReadStoredSettings(settings, [&key](const wchar_t* name, uint32_t* value) -> long {
        return fw::ReadDword(key.Get(), name, value);
    });
    return true;
}

StoreResult StoreSettings(const touch::TouchDeviceManager& manager, const TouchSettings& settings)
{
    StoreResult result;
    fw::RegistryKey key;
    if (!manager.OpenDeviceKey(key))
        return result;
    result.keyOpened = true;
    result.written = WriteStoredSettings(settings, [&key](const wchar_t* name, uint32_t value) -> long {
        return fw::WriteDword(key.Get(), name, value);
    });
    return result;
}

void ApplySystemDoubleClick(const TouchSettings& settings)
{
    const DoubleClickSettings system = SystemDoubleClick(settings);
    ::SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, system.width, nullptr, SPIF_UPDATEINIFILE);
    ::SystemParametersInfoW(SPI_SETDOUBLECLKHEIGHT, system.height, nullptr, SPIF_UPDATEINIFILE);
    ::SystemParametersInfoW(SPI_SETDOUBLECLICKTIME, system.time, nullptr, SPIF_UPDATEINIFILE);
}

ReloadResult ReloadDriverSettings(const touch::TouchDeviceManager& manager, const touch::ControlDevice& device)
{
    uint32_t deviceId = 0;
    if (!manager.GetSelectedDeviceId(&deviceId))
        return ReloadResult::NoDevice;
    // A driver that does not answer within the bound counts as refusing: the dialog stays usable.
    return device.ReloadSettingsWithin(deviceId, kReloadMilliseconds) ? ReloadResult::Sent : ReloadResult::Refused;
}

} // namespace settings
