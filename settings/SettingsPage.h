// What the four pages of the settings dialog share: the stored values a page shows, exchanged with
// its controls through its rows of kPageSettings, its tab, and the Return and Escape key-downs that
// never reach the dialog manager.
#pragma once

#include "framework/Dialog.h"
#include "settings/TouchSettings.h"

namespace settings {

// The tabs of the settings dialog, in the order they show.
enum SettingsTab { kCalibrationTab, kTouchModeTab, kSoundTab, kAboutTab, kTabCount };

// How a control shows a stored value.
enum class SettingControl {
    Radio,    // index of the checked button of the group starting at the control
    Integer,  // decimal text of an edit box
    Slider,   // trackbar position
    List,     // selected index of a combo box
};

// One stored value of TouchSettings, the page that shows it and the control it shows in. The
// dialog loads the pages and stores their values through this table alone.
struct PageSetting {
    uint32_t TouchSettings::*field;
    SettingsTab page;
    int controlId;
    SettingControl control;
};
extern const PageSetting kPageSettings[kStoredSettingCount];

class SettingsPage : public fw::Dialog {
public:
    SettingsPage(UINT templateId, SettingsTab tab, UINT titleId) : Dialog(templateId), tab(tab), titleId(titleId) {}

    const SettingsTab tab;
    const UINT titleId;  // string of the tab's title
    // Set before the page is created; after a saving exchange it holds what the controls showed.
    TouchSettings values;

    bool PreTranslateMessage(MSG& msg) override;

protected:
    // The page's rows of kPageSettings, in table order; a step that fails leaves its value as it was.
    void DoDataExchange(fw::DataExchange& dx) override;
};

} // namespace settings
