// Page 133 "声音": beep mode list (index = BeepMode), frequency and duration sliders whose
// positions are the stored numbers (BeepFreq, BeepTime).
#pragma once

#include "settings/SettingsPage.h"

namespace settings {

class SoundPage : public SettingsPage {
public:
    SoundPage();

protected:
    bool OnInitDialog() override;

private:
    fw::Control modeList_;
    fw::Trackbar frequencySlider_;
    fw::Trackbar durationSlider_;
};

} // namespace settings
