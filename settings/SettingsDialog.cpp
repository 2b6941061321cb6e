#include "settings/SettingsDialog.h"

#include "device/DeviceAccess.h"
#include "settings/SettingsApp.h"
#include "settings/SettingsStore.h"
#include "settings/resource.h"

namespace settings {

SettingsDialog::SettingsDialog() : Dialog(IDD_SETTINGS) {}

const fw::MessageMap& SettingsDialog::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnCommand(IDC_APPLY, &SettingsDialog::OnApply),
        fw::OnNotify(IDC_TAB, TCN_SELCHANGING, &SettingsDialog::OnTabChanging),
        fw::OnNotify(IDC_TAB, TCN_SELCHANGE, &SettingsDialog::OnTabChanged),
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
    return fw::IsReturnOrEscape(msg);
}

bool SettingsDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    SetWindowIcon(IDI_SETWELL);

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

    for (SettingsPage* page : pages_)
        tab_.InsertItem(page->tab, fw::LoadText(page->titleId).c_str());
    // Creation order decides the pages' order among the dialog's children (keyboard navigation).
    SettingsPage* const creationOrder[] = {&calibrationPage_, &aboutPage_, &soundPage_, &touchModePage_};
    for (SettingsPage* page : creationOrder) {
        page->values = settings_;
        if (!page->CreatePage(*this)) {
            EndDialog(0);
            return false;
        }
    }
    PlacePages();

    tab_.Send(TCM_SETCURSEL, 0);
    calibrationPage_.Show(SW_SHOW);
    return true;
}

// Below the row of tab titles, inset on the left and right by the first tab's left offset, with
// its top offset as a gap above and below.
bool SettingsDialog::PlacePages()
{
    RECT client = tab_.ClientRect();
    RECT item = {};
    if (!tab_.Send(TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)))
        return false;
    RECT page = {item.left, item.top + item.bottom, client.right - item.left, client.bottom - item.top};
    ::MapWindowPoints(tab_.Handle(), hwnd_, reinterpret_cast<POINT*>(&page), 2);
    for (SettingsPage* p : pages_)
        p->Move(page);
    return true;
}

SettingsPage* SettingsDialog::PageAt(int index)
{
    return index >= 0 && index < kTabCount ? pages_[index] : nullptr;
}

LRESULT SettingsDialog::OnTabChanging(NMHDR&)
{
    if (fw::Dialog* page = PageAt(static_cast<int>(tab_.Send(TCM_GETCURSEL))))
        page->Show(SW_HIDE);
    return 0;
}

LRESULT SettingsDialog::OnTabChanged(NMHDR&)
{
    if (fw::Dialog* page = PageAt(static_cast<int>(tab_.Send(TCM_GETCURSEL))))
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
    for (SettingsPage* page : pages_)
        page->UpdateData(true);
    TouchSettings shown = settings_;
    for (const PageSetting& row : kPageSettings)
        shown.*row.field = pages_[row.page]->values.*row.field;
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

LRESULT SettingsDialog::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    device_.Close();
    handled = false;
    return 0;
}

} // namespace settings
