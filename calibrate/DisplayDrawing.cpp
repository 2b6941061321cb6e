#include "calibrate/DisplayDrawing.h"

#include <cwchar>

namespace calibrate {

RECT ToRECT(const Rect& r)
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

std::wstring DecimalText(long value)
{
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"%ld", value);
    return text;
}

ArialFont::ArialFont(HDC dc, int points) : font_(Create(dc, points)), selection_(dc, font_.Get()) {}

HFONT ArialFont::Create(HDC dc, int points)
{
    LOGFONTW logFont = {};
    logFont.lfHeight = -::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = DEFAULT_CHARSET;
    std::wcscpy(logFont.lfFaceName, L"Arial");
    return ::CreateFontIndirectW(&logFont);
}

} // namespace calibrate
