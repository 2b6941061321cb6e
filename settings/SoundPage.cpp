#include "settings/SoundPage.h"

#include "settings/resource.h"

namespace settings {

SoundPage::SoundPage() : SettingsPage(IDD_SOUND_PAGE, kSoundTab, IDS_TAB_SOUND) {}

bool SoundPage::OnInitDialog()
{
    // The first load cannot select the mode yet: the list is still empty (and stays silent).
    SettingsPage::OnInitDialog();
    frequencySlider_.SubclassItem(*this, IDC_BEEP_FREQ);
    durationSlider_.SubclassItem(*this, IDC_BEEP_TIME);
    modeList_.SubclassItem(*this, IDC_BEEP_MODE);

    frequencySlider_.SetRange(1000, 5000);
    frequencySlider_.Send(TBM_SETTICFREQ, 400);
    frequencySlider_.Send(TBM_SETPOS, TRUE, static_cast<int>(values.BeepFreq));

    durationSlider_.SetRange(10, 200);
    durationSlider_.Send(TBM_SETTICFREQ, 19);
    durationSlider_.Send(TBM_SETPOS, TRUE, static_cast<int>(values.BeepTime));

    for (UINT id : {IDS_BEEP_DISABLED, IDS_BEEP_ON_TOUCH, IDS_BEEP_ON_RELEASE})
        modeList_.Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fw::LoadText(id).c_str()));

    UpdateData(false);
    return true;
}

} // namespace settings
