// Drawing helpers of the display selection's windows (the monitor buttons and the number windows).
#pragma once

#include "calibrate/Geometry.h"
#include "framework/Handle.h"

#include <windows.h>

#include <string>

namespace calibrate {

RECT ToRECT(const Rect& r);

std::wstring DecimalText(long value);

// An Arial font of `points` for `dc`, selected into it while the object lives. When the font
// cannot be made the context's current font stays in use.
class ArialFont {
public:
    ArialFont(HDC dc, int points);
    ArialFont(const ArialFont&) = delete;
    ArialFont& operator=(const ArialFont&) = delete;

private:
    static HFONT Create(HDC dc, int points);

    fw::GdiObject<HFONT> font_;
    fw::SelectedObject selection_;  // after the font: it is selected back out before the font goes
};

} // namespace calibrate
