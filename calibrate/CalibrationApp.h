// The calibration program's application object. Start-up (InitInstance) is the program's whole
// life: single instance, controller selection, display choice, the calibration window.
// The program defines the one global object in Marksman.cpp; test programs that run the
// calibration's dialogs in-process define their own and fill the fields themselves.
#pragma once

#include "calibrate/Geometry.h"
#include "device/TouchDeviceManager.h"
#include "framework/App.h"

namespace calibrate {

// The calibrated area in normalised desktop units; the "Range" values are edges, not sizes.
struct ScreenRange {
    int32_t XMin;
    int32_t YMin;
    int32_t XRange;
    int32_t YRange;
};

class CalibrationApp : public fw::App {
public:
    touch::TouchDeviceManager deviceManager;
    Rect displayRect{};         // virtual-screen pixels, right and bottom exclusive
    ScreenRange screenRange{};  // the same area, normalised

protected:
    bool InitInstance() override;
};

inline CalibrationApp& TheApp() { return fw::App::Get<CalibrationApp>(); }

} // namespace calibrate
