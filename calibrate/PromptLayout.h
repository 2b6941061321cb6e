// Placement of the calibration window's two prompt lines: one block, centred in the area.
#pragma once

#include "calibrate/Geometry.h"

namespace calibrate {

constexpr int32_t kPromptGap = 20;

struct PromptRects {
    Rect upper;  // static 1003
    Rect lower;  // static 1004
};

// area: the calibration window's client size W x H. upper / lower: the measured text sizes,
// 0 x 0 for a hidden prompt. Each text is centred horizontally, left = (W - w) / 2; the block
// starts at y1 = (H - h1 - h2 - kPromptGap) / 2 (truncating) and the lower text at
// y1 + h1 + kPromptGap. The rects have exactly the measured sizes.
PromptRects LayoutPrompts(Size area, Size upper, Size lower);

} // namespace calibrate
