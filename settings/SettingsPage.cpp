#include "settings/SettingsPage.h"

#include "settings/resource.h"

namespace settings {

// Within a page, rows are exchanged in this order: the first failure stops the rest.
const PageSetting kPageSettings[kStoredSettingCount] = {
    {&TouchSettings::MouseMode, kTouchModeTab, IDC_MODE_TOUCH_CLICK, SettingControl::Radio},
    {&TouchSettings::DblClkRegion, kTouchModeTab, IDC_DBLCLK_REGION, SettingControl::Integer},
    {&TouchSettings::DragDelay, kTouchModeTab, IDC_DRAG_DELAY, SettingControl::Slider},
    {&TouchSettings::BeepMode, kSoundTab, IDC_BEEP_MODE, SettingControl::List},
    {&TouchSettings::BeepTime, kSoundTab, IDC_BEEP_TIME, SettingControl::Slider},
    {&TouchSettings::BeepFreq, kSoundTab, IDC_BEEP_FREQ, SettingControl::Slider},
};

bool SettingsPage::PreTranslateMessage(MSG& msg)
{
    return fw::IsReturnOrEscape(msg);
}

void SettingsPage::DoDataExchange(fw::DataExchange& dx)
{
    for (const PageSetting& row : kPageSettings) {
        if (row.page != tab)
            continue;
        // Controls show the stored bits as a signed number (a radio group with none checked: -1).
        int32_t shown = static_cast<int32_t>(values.*row.field);
        bool done = false;
        switch (row.control) {
        case SettingControl::Radio:
            done = dx.Radio(row.controlId, shown);
            break;
        case SettingControl::Integer:
            done = dx.Int(row.controlId, shown);
            break;
        case SettingControl::Slider:
            done = dx.TrackbarPosition(row.controlId, shown);
            break;
        case SettingControl::List:
            done = dx.ComboIndex(row.controlId, shown);
            break;
        }
        if (done)
            values.*row.field = static_cast<uint32_t>(shown);
    }
}

} // namespace settings
