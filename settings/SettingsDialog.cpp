#include "settings/SettingsDialog.h"

#include "device/DeviceAccess.h"
#include "framework/PaintScope.h"
#include "settings/SettingsApp.h"
#include "settings/SettingsStore.h"
#include "settings/resource.h"

namespace settings {

namespace {

constexpr int kTabCount = 4;
constexpr UINT kTabTitles[kTabCount] = {IDS_TAB_CALIBRATION, IDS_TAB_SETTINGS, IDS_TAB_SOUND, IDS_TAB_ABOUT};

} // namespace

SettingsDialog::SettingsDialog() : Dialog(IDD_SETTINGS)
{
    icon_ = ::LoadIconW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDI_SETWELL));
}

const fw::MessageMap& SettingsDialog::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnCommand(IDC_APPLY, &SettingsDialog::OnApply),
        fw::OnNotify(IDC_TAB, TCN_SELCHANGING, &SettingsDialog::OnTabChanging),
        fw::OnNotify(IDC_TAB, TCN_SELCHANGE, &SettingsDialog::OnTabChanged),
        fw::OnMessage(WM_PAINT, &SettingsDialog::OnPaint),
        fw::OnMessage(WM_QUERYDRAGICON, &SettingsDialog::OnQueryDragIcon),
        fw::OnMessage(WM_DESTROY, &SettingsDialog::OnDestroy),
    };
    static const fw::MessageMap map(entries, &Dialog::Messages());
    return map;
}

void SettingsDialog::DoDataExchange(fw::DataExchange& dx)
{
    dx.Bind(IDC_TAB, tab_);
}

bool SettingsDialog::PreTranslateMessage(MSG& msg)
{
    return IsReturnOrEscape(msg);
}

bool SettingsDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    brush_.Reset(::CreateSolidBrush(pageColour_));

    if (!touch::EnableSystemProfilePrivilege()) {
        ShowMessage(IDS_NO_PRIVILEGE);
        EndDialog(0);
        return false;
    }
    if (!device_.Open()) {
        ShowMessage(IDS_DRIVER_NOT_LOADED);
        EndDialog(0);
        return false;
    }
    if (!ReadSettings()) {
        EndDialog(0);
        return false;
    }

    for (int i = 0; i < kTabCount; ++i)
        tab_.InsertItem(i, fw::LoadText(kTabTitles[i]).c_str());

    touchModePage_.mode = static_cast<int>(settings_.MouseMode);
    touchModePage_.region = static_cast<int32_t>(settings_.DblClkRegion);
    touchModePage_.dragDelay = static_cast<int>(settings_.DragDelay);
    soundPage_.mode = static_cast<int>(settings_.BeepMode);
    soundPage_.duration = static_cast<int>(settings_.BeepTime);
    soundPage_.frequency = static_cast<int>(settings_.BeepFreq);
    SettingsPage* const pages[] = {&calibrationPage_, &aboutPage_, &soundPage_, &touchModePage_};
    for (SettingsPage* page : pages)
        page->SetPageColours(pageColour_, brush_.Get());

    // Creation order is also the order in which the pages are placed.
    for (SettingsPage* page : pages) {
        if (!page->CreatePage(*this)) {
            EndDialog(0);
            return false;
        }
    }
    PlacePages();

    tab_.SetCurrentSelection(0);
    calibrationPage_.Show(SW_SHOW);
    return true;
}

// Below the row of tab titles, inset on the left and right by the first tab's left offset, with
// its top offset as a gap above and below.
bool SettingsDialog::PlacePages()
{
    RECT client = tab_.ClientRect();
    RECT item = {};
    if (!tab_.ItemRect(0, item))
        return false;
    RECT page = {item.left, item.top + item.bottom, client.right - item.left, client.bottom - item.top};
    ::MapWindowPoints(tab_.Handle(), hwnd_, reinterpret_cast<POINT*>(&page), 2);
    SettingsPage* const pages[] = {&calibrationPage_, &aboutPage_, &soundPage_, &touchModePage_};
    for (SettingsPage* p : pages)
        p->Move(page, true);
    return true;
}

fw::Dialog* SettingsDialog::PageAt(int index)
{
    switch (index) {
    case 0:
        return &calibrationPage_;
    case 1:
        return &touchModePage_;
    case 2:
        return &soundPage_;
    case 3:
        return &aboutPage_;
    default:
        return nullptr;
    }
}

LRESULT SettingsDialog::OnTabChanging(NMHDR&)
{
    if (fw::Dialog* page = PageAt(tab_.CurrentSelection()))
        page->Show(SW_HIDE);
    return 0;
}

LRESULT SettingsDialog::OnTabChanged(NMHDR&)
{
    if (fw::Dialog* page = PageAt(tab_.CurrentSelection()))
        page->Show(SW_SHOW);
    return 0;
}

bool SettingsDialog::ReadSettings()
{
    if (!LoadSettings(TheApp().deviceManager, settings_)) {
        ShowMessage(IDS_READ_SETTINGS_FAILED);
        return false;
    }
    return true;
}

bool SettingsDialog::WriteSettings(const TouchSettings& wanted)
{
    const StoreResult stored = StoreSettings(TheApp().deviceManager, wanted);
    if (!stored.keyOpened) {
        ShowMessage(IDS_READ_SETTINGS_FAILED);
        return false;
    }
    // Only what reached the registry counts as committed: a value that was not stored still
    // differs from its page, so the next Apply writes it again.
    CopySettings(settings_, wanted, stored.written);
    ApplySystemDoubleClick(wanted);
    if (stored.written != kAllSettings) {
        // The driver would not see the new value: the same message as when it cannot be told.
        ShowMessage(IDS_UPDATE_DRIVER_FAILED);
        return false;
    }
    return true;
}

void SettingsDialog::OnApply(UINT, UINT, HWND)
{
    touchModePage_.UpdateData(true);
    soundPage_.UpdateData(true);

    TouchSettings shown = settings_;
    shown.BeepFreq = static_cast<uint32_t>(soundPage_.frequency);
    shown.BeepMode = static_cast<uint32_t>(soundPage_.mode);
    shown.BeepTime = static_cast<uint32_t>(soundPage_.duration);
    shown.MouseMode = static_cast<uint32_t>(touchModePage_.mode);
    shown.DragDelay = static_cast<uint32_t>(touchModePage_.dragDelay);
    shown.DblClkRegion = static_cast<uint32_t>(touchModePage_.region);
    if (ChangedSettings(settings_, shown) == 0)
        return;

    WriteSettings(shown);

    switch (ReloadDriverSettings(TheApp().deviceManager, device_)) {
    case ReloadResult::Sent:
        break;
    case ReloadResult::NoDevice:
    case ReloadResult::Refused:
        ShowMessage(IDS_UPDATE_DRIVER_FAILED);
        break;
    }
}

void SettingsDialog::OnOK()
{
    OnApply(IDOK, BN_CLICKED, nullptr);
    EndDialog(IDOK);
}

LRESULT SettingsDialog::OnPaint(UINT, WPARAM, LPARAM, bool& handled)
{
    if (!::IsIconic(hwnd_)) {
        handled = false;
        return 0;
    }
    fw::PaintScope paint(hwnd_);
    Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Dc()), 0);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    const RECT client = ClientRect();
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(paint.Dc(), x, y, icon_);
    return 0;
}

LRESULT SettingsDialog::OnQueryDragIcon(UINT, WPARAM, LPARAM, bool&)
{
    return reinterpret_cast<LRESULT>(icon_);
}

LRESULT SettingsDialog::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    device_.Close();
    brush_.Reset();
    handled = false;
    return 0;
}

} // namespace settings
