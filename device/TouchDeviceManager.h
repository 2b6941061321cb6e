// The touch controllers the driver serves, joined with their USB device nodes, and the one the
// program works with. One manager per program, a member of its application object.
#pragma once

#include "device/TouchProtocol.h"
#include "framework/Handle.h"

#include <windows.h>
#include <setupapi.h>

#include <stdint.h>

#include <memory>

namespace touch {

// A device-information set of SetupAPI, destroyed by its owner.
using DeviceInfoSet = fw::UniqueHandle<HDEVINFO, &::SetupDiDestroyDeviceInfoList, true>;

// One controller as the driver reports it, with what the device installer knows of it. Texts are
// zero-terminated; an entry that no device node matched keeps empty texts and an unfilled devInfo.
struct TouchDeviceEntry {
    uint32_t deviceId;
    wchar_t objectName[touch::kObjectNameUnits];
    wchar_t instanceId[touch::kObjectNameUnits];
    wchar_t manufacturer[touch::kObjectNameUnits];
    wchar_t description[touch::kObjectNameUnits];
    SP_DEVINFO_DATA devInfo;
};

class TouchDeviceManager {
public:
    TouchDeviceManager();
    virtual ~TouchDeviceManager();  // Release()
    TouchDeviceManager(const TouchDeviceManager&) = delete;
    TouchDeviceManager& operator=(const TouchDeviceManager&) = delete;

    // Asks the driver for its controllers and joins them with the USB device nodes. False (and the
    // manager empty) when the driver cannot be asked, its replies are malformed, or no controller
    // matched; false and nothing changed when the manager is not empty.
    bool Initialize();
    // Selects the first entry whose objectName equals `name` ignoring case.
    bool SelectByName(const wchar_t* name);
    // One entry: selects it without asking. Several: DeviceSelectDialog decides.
    bool SelectInteractively();

    bool GetSelectedDeviceId(uint32_t* deviceId) const;
    const wchar_t* GetSelectedDeviceName() const;  // null without a selection

    // The selected controller's driver key, opened (never created) with full access; the caller
    // owns it and hands it back to CloseDeviceKey. False and *key untouched on failure.
    bool OpenDeviceKey(HKEY* key) const;
    LONG CloseDeviceKey(HKEY key) const;
    // The same key handed to an owner that closes it.
    bool OpenDeviceKey(fw::RegistryKey& key) const;

    // Back to empty; the manager may be initialised again afterwards.
    void Release();

    bool IsInitialized() const;
    uint32_t EntryCount() const { return count_; }
    const TouchDeviceEntry* Entries() const { return entries_.get(); }
    int32_t SelectedIndex() const { return selected_; }

private:
    bool QueryDriver();
    bool MatchSetupDevices();

    std::unique_ptr<TouchDeviceEntry[]> entries_;
    uint32_t count_;
    int32_t selected_;
    DeviceInfoSet deviceInfoSet_;
};

} // namespace touch
