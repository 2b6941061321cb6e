// Page 132 "设置": the click mode (radio group 1064-1067 = MouseMode 0-3), the drag delay slider
// and the double-click region with its spin control (MouseMode, DragDelay, DblClkRegion).
#pragma once

#include "settings/SettingsPage.h"

namespace settings {

class TouchModePage : public SettingsPage {
public:
    TouchModePage();

    const fw::MessageMap& Messages() const override;

protected:
    bool OnInitDialog() override;

private:
    void OnModeClicked(UINT id, UINT code, HWND control);
    // Enables slider, edit and spin as mode `mode` needs them (below 0: nothing changes).
    void EnableForMode(int mode);

    fw::Trackbar slider_;
    fw::UpDown spin_;
};

} // namespace settings
