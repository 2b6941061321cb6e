// Page 129 "校准": two icon buttons that start the calibration program for the selected
// controller and the line-drawing test, both from the current directory.
#pragma once

#include "settings/SettingsPage.h"

namespace settings {

class CalibrationPage : public SettingsPage {
public:
    CalibrationPage();

    const fw::MessageMap& Messages() const override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;

private:
    void OnCalibrate(UINT id, UINT code, HWND control);
    void OnLineTest(UINT id, UINT code, HWND control);

    fw::Control calibrateButton_;
    fw::Control lineTestButton_;
};

} // namespace settings
