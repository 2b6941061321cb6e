#include "settings/SettingsPage.h"

namespace settings {

bool SettingsPage::PreTranslateMessage(MSG& msg)
{
    return fw::IsReturnOrEscape(msg);
}

} // namespace settings
