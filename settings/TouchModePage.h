// Page 132 "设置": the click mode (radio group 1064-1067 = MouseMode 0-3), the drag delay slider
// and the double-click region with its spin control. Edits copies; Apply reads them back.
#pragma once

#include "settings/SettingsPage.h"

#include <stdint.h>

namespace settings {

class TouchModePage : public SettingsPage {
public:
    TouchModePage();

    const fw::MessageMap& Messages() const override;

    int mode = -1;          // index of the checked radio button
    int32_t region = 0;     // double-click region, shown as the edit's decimal text
    int dragDelay = 0;      // slider position

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;

private:
    void OnModeClicked(UINT id, UINT code, HWND control);
    // Enables slider, edit and spin as mode `mode` needs them (below 0: nothing changes).
    void EnableForMode(int mode);

    fw::Trackbar slider_;
    fw::UpDown spin_;
};

} // namespace settings
