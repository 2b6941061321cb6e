#include "settings/SettingsPage.h"

namespace settings {

bool IsReturnOrEscape(const MSG& msg)
{
    return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
}

bool SettingsPage::PreTranslateMessage(MSG& msg)
{
    return IsReturnOrEscape(msg);
}

} // namespace settings
