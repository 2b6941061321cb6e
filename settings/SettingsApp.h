// The settings program's application object. Start-up (InitInstance) is the program's whole life:
// single instance, controller selection, the settings dialog. The program defines the one global
// object in Setwell.cpp; test programs that run the dialog in-process define their own.
#pragma once

#include "device/TouchDeviceManager.h"
#include "framework/App.h"

namespace settings {

class SettingsApp : public fw::App {
public:
    touch::TouchDeviceManager deviceManager;

protected:
    bool InitInstance() override;
};

inline SettingsApp& TheApp() { return fw::App::Get<SettingsApp>(); }

} // namespace settings
