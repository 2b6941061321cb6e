// The settings program's main dialog (template 102): four pages on a tab control, OK, Cancel
// and Apply. It holds the committed TouchSettings record and the driver's control device for its
// whole life. Data flows one way: registry -> record -> pages when it opens; pages -> record ->
// registry and driver on Apply, both ways through kPageSettings (SettingsPage.h).
#pragma once

#include "device/ControlDevice.h"
#include "framework/Dialog.h"
#include "framework/Handle.h"
#include "settings/AboutPage.h"
#include "settings/CalibrationPage.h"
#include "settings/SoundPage.h"
#include "settings/TouchModePage.h"
#include "settings/TouchSettings.h"

namespace settings {

class SettingsDialog : public fw::Dialog {
public:
    SettingsDialog();

    const fw::MessageMap& Messages() const override;
    bool PreTranslateMessage(MSG& msg) override;

    // The committed settings (what the registry holds as far as this dialog knows).
    const TouchSettings& Committed() const { return settings_; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(fw::DataExchange& dx) override;

private:
    // Reads the record from the selected controller's driver key; shows message 1 on failure.
    bool ReadSettings();
    // Writes the record's six values and sets the system's double-click settings. Commits into
    // settings_ only the values that were stored.
    bool WriteSettings(const TouchSettings& wanted);
    // The pages' values into the record, the registry, the system and the driver; nothing when
    // no value changed.
    void OnApply(UINT id, UINT code, HWND control);

    LRESULT OnTabChanging(NMHDR& header);
    LRESULT OnTabChanged(NMHDR& header);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    // The page of tab `index`; null outside.
    SettingsPage* PageAt(int index);
    bool PlacePages();

    fw::TabControl tab_;
    TouchSettings settings_;
    CalibrationPage calibrationPage_;
    TouchModePage touchModePage_;
    SoundPage soundPage_;
    AboutPage aboutPage_;
    SettingsPage* const pages_[kTabCount] = {&calibrationPage_, &touchModePage_, &soundPage_, &aboutPage_};
    touch::ControlDevice device_;
};

} // namespace settings
