// Page 131 "关于": the maker's logo, drawn through its mask over the page's own background, and
// seven lines of text.
#pragma once

#include "settings/SettingsPage.h"

namespace settings {

class AboutPage : public SettingsPage {
public:
    AboutPage();

    const fw::MessageMap& Messages() const override;

private:
    LRESULT OnPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
};

} // namespace settings
