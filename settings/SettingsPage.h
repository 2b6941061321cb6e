// What the four pages of the settings dialog share: the Return and Escape key-downs that never
// reach the dialog manager.
#pragma once

#include "framework/Dialog.h"

namespace settings {

class SettingsPage : public fw::Dialog {
public:
    explicit SettingsPage(UINT templateId) : Dialog(templateId) {}

    bool PreTranslateMessage(MSG& msg) override;
};

} // namespace settings
