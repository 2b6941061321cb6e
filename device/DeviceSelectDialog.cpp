#include "device/DeviceSelectDialog.h"

#include "device/DeviceSelectResource.h"

namespace touch {

DeviceSelectDialog::DeviceSelectDialog(const TouchDeviceEntry* entries, uint32_t count, HWND parent)
    : Dialog(IDD_DEVICE_SELECT, parent), entries_(entries), count_(entries != nullptr ? count : 0)
{
}

const fw::MessageMap& DeviceSelectDialog::Messages() const
{
    static const fw::MessageEntry table[] = {
        fw::OnControl(IDC_DEVICE_LIST, LBN_SELCHANGE, &DeviceSelectDialog::OnSelectionChange),
    };
    static const fw::MessageMap map(table, &Dialog::Messages());
    return map;
}

void DeviceSelectDialog::DoDataExchange(fw::DataExchange& dx)
{
    dx.Bind(IDC_DEVICE_MANUFACTURER, manufacturer_);
    dx.Bind(IDC_DEVICE_DESCRIPTION, description_);
    dx.Bind(IDC_DEVICE_LIST, list_);
}

bool DeviceSelectDialog::PreTranslateMessage(MSG& msg)
{
    // Enter and Esc never close the dialog: only the buttons and the close box do.
    return fw::IsReturnOrEscape(msg);
}

bool DeviceSelectDialog::OnInitDialog()
{
    const bool focus = Dialog::OnInitDialog();
    if (list_.Handle() == nullptr) {
        EndDialog(IDCANCEL);
        return focus;
    }
    // The list sorts by instance id; the item data leads back to the entry.
    for (uint32_t i = 0; i < count_; ++i) {
        const LRESULT row = list_.Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries_[i].instanceId));
        if (row < 0 || list_.Send(LB_SETITEMDATA, static_cast<WPARAM>(row), static_cast<LPARAM>(i)) == LB_ERR) {
            EndDialog(IDCANCEL);
            break;
        }
    }
    return focus;
}

const TouchDeviceEntry* DeviceSelectDialog::EntryOfRow(int row, int32_t* index) const
{
    if (row < 0)
        return nullptr;
    const LRESULT data = list_.Send(LB_GETITEMDATA, static_cast<WPARAM>(row));
    if (data < 0 || static_cast<unsigned long long>(data) >= count_)
        return nullptr;
    *index = static_cast<int32_t>(data);
    return &entries_[data];
}

void DeviceSelectDialog::OnSelectionChange(UINT, UINT, HWND)
{
    int32_t index = -1;
    const TouchDeviceEntry* entry = EntryOfRow(static_cast<int>(list_.Send(LB_GETCURSEL)), &index);
    if (entry == nullptr)
        return;
    ::SetWindowTextW(description_.Handle(), entry->description);
    ::SetWindowTextW(manufacturer_.Handle(), entry->manufacturer);
}

void DeviceSelectDialog::OnOK()
{
    int32_t index = -1;
    EntryOfRow(static_cast<int>(list_.Send(LB_GETCURSEL)), &index);
    chosen_ = index;
    EndDialog(IDOK);
}

} // namespace touch
