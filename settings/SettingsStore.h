// The settings' way to the registry, the system and the driver: the selected controller's
// driver key (opened and closed within each call), the system's double-click settings and the
// driver's reload code. Shows no messages: the dialog does.
#pragma once

#include "device/ControlDevice.h"
#include "device/TouchDeviceManager.h"
#include "settings/TouchSettings.h"

namespace settings {

// Reads the six values into `settings` (fallbacks for what is missing or out of range). False,
// and `settings` untouched, when the key cannot be opened.
bool LoadSettings(const touch::TouchDeviceManager& manager, TouchSettings& settings);

struct StoreResult {
    bool keyOpened = false;
    SettingSet written = 0;  // the values that were stored
};
// Writes the six values as REG_DWORD, each one also after a failed one.
StoreResult StoreSettings(const touch::TouchDeviceManager& manager, const TouchSettings& settings);

// System double-click width, height and time for the record's mode, each with SPIF_UPDATEINIFILE
// alone (no change broadcast); the results are not looked at.
void ApplySystemDoubleClick(const TouchSettings& settings);

enum class ReloadResult { Sent, NoDevice, Refused };

// How long Apply waits for the driver to take a reload.
constexpr DWORD kReloadMilliseconds = 5000;
// IOCTL_TOUCH_RELOAD_SETTINGS for the selected controller on `device`.
ReloadResult ReloadDriverSettings(const touch::TouchDeviceManager& manager, const touch::ControlDevice& device);

} // namespace settings
