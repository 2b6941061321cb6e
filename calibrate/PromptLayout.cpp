#include "calibrate/PromptLayout.h"

#include "calibrate/Int32.h"

namespace calibrate {

namespace {

Rect Place(int64_t areaWidth, Size text, int64_t top)
{
    const int64_t left = (areaWidth - text.width) / 2;
    return Rect{ClampToInt32(left), ClampToInt32(top), ClampToInt32(left + text.width),
                ClampToInt32(top + text.height)};
}

} // namespace

PromptRects LayoutPrompts(Size area, Size upper, Size lower)
{
    const int64_t y1 = (int64_t(area.height) - upper.height - lower.height - kPromptGap) / 2;
    PromptRects r;
    r.upper = Place(area.width, upper, y1);
    r.lower = Place(area.width, lower, y1 + upper.height + kPromptGap);
    return r;
}

} // namespace calibrate
