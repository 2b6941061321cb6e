// The calibration program's application object. Start-up (InitInstance) is the program's whole
// life: single instance, controller selection, display choice, the calibration window.
// The program defines the one global object in Marksman.cpp. The calibration window and its
// worker get what they work on as CalibrationInputs; nothing else reads the application object.
#pragma once

#include "calibrate/CalibrationInputs.h"
#include "calibrate/Geometry.h"
#include "device/TouchDeviceManager.h"
#include "framework/App.h"

namespace calibrate {

class CalibrationApp : public fw::App {
public:
    touch::TouchDeviceManager deviceManager;
    Rect displayRect{};         // virtual-screen pixels, right and bottom exclusive
    ScreenRange screenRange{};  // the same area, normalised

protected:
    bool InitInstance() override;
};

} // namespace calibrate
