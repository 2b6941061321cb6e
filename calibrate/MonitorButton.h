// One display's numbered button in the display selection's preview: owner-drawn, with a dark
// border when selected.
#pragma once

#include "framework/Controls.h"

#include <windows.h>

namespace calibrate {

class MonitorButton : public fw::Control {
public:
    ~MonitorButton() override;

    bool IsSelected() const { return selected_; }
    // Redraws the button when the state changes.
    void SetSelected(bool value);

    bool DrawItem(const DRAWITEMSTRUCT& item) override;

private:
    bool selected_ = false;
};

} // namespace calibrate
