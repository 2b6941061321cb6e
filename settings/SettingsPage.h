// What the four pages of the settings dialog share: the page colour and brush the dialog hands
// over, and the Return and Escape key-downs that never reach the dialog manager.
#pragma once

#include "framework/Dialog.h"

namespace settings {

class SettingsPage : public fw::Dialog {
public:
    explicit SettingsPage(UINT templateId) : Dialog(templateId) {}

    // The dialog's page colour and its brush (owned by the dialog; the pages keep the default
    // control colours and do not paint with it).
    void SetPageColours(COLORREF colour, HBRUSH brush)
    {
        pageColour = colour;
        pageBrush = brush;
    }

    bool PreTranslateMessage(MSG& msg) override;

protected:
    COLORREF pageColour = 0;
    HBRUSH pageBrush = nullptr;
};

// Key-downs of Return and Escape, which the dialog and every page swallow.
bool IsReturnOrEscape(const MSG& msg);

} // namespace settings
