// The modal dialog in which the user picks one of several controllers (template 1079). It borrows
// the manager's entries: it copies nothing and must not outlive them.
#pragma once

#include "device/TouchDeviceManager.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

#include <stdint.h>

namespace touch {

class DeviceSelectDialog : public fw::Dialog {
public:
    DeviceSelectDialog(const TouchDeviceEntry* entries, uint32_t count, HWND parent = nullptr);

    // Index into the entries of the row chosen with OK; -1 after Cancel or OK without a selection.
    int32_t ChosenIndex() const { return chosen_; }

    bool PreTranslateMessage(MSG& msg) override;

protected:
    const fw::MessageMap& Messages() const override;
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnSelectionChange(UINT id, UINT code, HWND control);
    // Entry behind list row `row`, or null for no row or a row without valid item data.
    const TouchDeviceEntry* EntryOfRow(int row, int32_t* index) const;

    const TouchDeviceEntry* entries_;
    uint32_t count_;
    int32_t chosen_ = -1;
    fw::Control list_;
    fw::Control manufacturer_;
    fw::Control description_;
};

} // namespace touch
