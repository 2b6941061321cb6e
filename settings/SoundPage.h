// Page 133 "声音": beep mode list (index = BeepMode), frequency and duration sliders whose
// positions are the stored numbers. Edits copies; Apply reads them back.
#pragma once

#include "settings/SettingsPage.h"

namespace settings {

class SoundPage : public SettingsPage {
public:
    SoundPage();

    int mode = -1;       // selected index of the mode list
    int duration = 0;    // BeepTime, position of slider 1078
    int frequency = 0;   // BeepFreq, position of slider 1077

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;

private:
    fw::ComboBox modeList_;
    fw::Trackbar frequencySlider_;
    fw::Trackbar durationSlider_;
};

} // namespace settings
