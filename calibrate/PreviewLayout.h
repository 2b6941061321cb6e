// The display-selection dialog's picture of the desktop: the grey area fitted to the desktop's
// aspect, its middle 60 %, and one button per display mapped into it.
#pragma once

#include "calibrate/Geometry.h"

#include <vector>

namespace calibrate {

// Shrinks `area` (dialog client coordinates) about its centre to the aspect of `virtualScreen`,
// using floating-point ratios and truncation toward zero. Leaves it unchanged when the aspects
// are equal or either rectangle is empty.
Rect FitToAspect(const Rect& area, const Rect& virtualScreen);

// The desktop picture F: the fitted area with trunc(0.2 x width) taken off left and right and
// trunc(0.2 x height) off top and bottom.
Rect PreviewPicture(const Rect& area, const Rect& virtualScreen);

struct PreviewLayout {
    Rect picture;               // F
    std::vector<Rect> buttons;  // one per display, in the order of `displays`
};

// area: the grey control's client rectangle in dialog client coordinates; displays: each
// display's monitor rectangle in virtual-screen pixels. Buttons are the monitor rectangles
// mapped by RectMapper(F, virtualScreen).
PreviewLayout LayoutPreview(const Rect& area, const Rect& virtualScreen, const std::vector<Rect>& displays);

} // namespace calibrate
