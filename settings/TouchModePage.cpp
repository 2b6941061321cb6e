#include "settings/TouchModePage.h"

#include "settings/resource.h"

namespace settings {

namespace {

constexpr int kDescriptions[4] = {IDC_DESCRIPTION_TOUCH_CLICK, IDC_DESCRIPTION_RELEASE_CLICK, IDC_DESCRIPTION_DRAG,
                                  IDC_DESCRIPTION_DOUBLE_CLICK_DRAG};

} // namespace

TouchModePage::TouchModePage() : SettingsPage(IDD_TOUCH_MODE_PAGE, kTouchModeTab, IDS_TAB_SETTINGS) {}

const fw::MessageMap& TouchModePage::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnCommandRange(IDC_MODE_TOUCH_CLICK, IDC_MODE_DOUBLE_CLICK_DRAG, &TouchModePage::OnModeClicked),
    };
    static const fw::MessageMap map(entries, &SettingsPage::Messages());
    return map;
}

bool TouchModePage::OnInitDialog()
{
    SettingsPage::OnInitDialog();
    slider_.SubclassItem(*this, IDC_DRAG_DELAY);
    spin_.SubclassItem(*this, IDC_DBLCLK_SPIN);

    slider_.SetRange(0, 1500);
    slider_.Send(TBM_SETTICFREQ, 150);
    slider_.Send(TBM_SETPOS, TRUE, static_cast<int>(values.DragDelay));

    spin_.Send(UDM_SETBUDDY, reinterpret_cast<WPARAM>(Item(IDC_DBLCLK_REGION)));
    spin_.SetRange(25, 100);
    spin_.SetPosition(static_cast<short>(values.DblClkRegion & 0xFFFF));

    UpdateData(false);
    EnableForMode(static_cast<int>(values.MouseMode));
    return true;
}

void TouchModePage::EnableForMode(int newMode)
{
    if (newMode < 0)
        return;
    const bool drag = newMode >= 2;
    const bool regionUsed = newMode == 3;
    ::EnableWindow(Item(IDC_DRAG_DELAY), drag);
    ::EnableWindow(Item(IDC_DBLCLK_REGION), regionUsed);
    ::EnableWindow(Item(IDC_DBLCLK_SPIN), regionUsed);
}

// The button has checked itself; `values` follows at the next saving exchange (Apply).
void TouchModePage::OnModeClicked(UINT id, UINT, HWND)
{
    const int clicked = static_cast<int>(id) - IDC_MODE_TOUCH_CLICK;
    EnableForMode(clicked);
    for (int i = 0; i < 4; ++i)
        ::ShowWindow(Item(kDescriptions[i]), i == clicked ? SW_SHOW : SW_HIDE);
}

} // namespace settings
