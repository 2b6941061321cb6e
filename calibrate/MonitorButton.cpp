#include "calibrate/MonitorButton.h"

#include "calibrate/DisplayDrawing.h"
#include "framework/Handle.h"

#include <string>

namespace calibrate {

namespace {

const COLORREF kFaceColour = RGB(58, 110, 165);
const COLORREF kSelectedBorder = RGB(10, 36, 106);
const COLORREF kPlainBorder = RGB(128, 128, 128);

RECT Inset(const RECT& r, int by)
{
    return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by};
}

} // namespace

MonitorButton::~MonitorButton() = default;

void MonitorButton::SetSelected(bool value)
{
    if (value == selected_)
        return;
    selected_ = value;
    if (hwnd_ != nullptr)
        ::InvalidateRect(hwnd_, nullptr, TRUE);
}

bool MonitorButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    if ((item.itemAction & ODA_DRAWENTIRE) == 0)
        return true;
    HDC dc = item.hDC;
    const RECT whole = item.rcItem;

    const fw::GdiObject<HBRUSH> white(::CreateSolidBrush(RGB(255, 255, 255)));
    const fw::GdiObject<HBRUSH> face(::CreateSolidBrush(kFaceColour));
    const fw::GdiObject<HBRUSH> border(::CreateSolidBrush(selected_ ? kSelectedBorder : kPlainBorder));
    if (!white || !face || !border)
        return true;

    RECT frame = Inset(whole, 4);
    ::FrameRect(dc, &frame, white.Get());
    RECT inner = Inset(whole, 5);
    ::FillRect(dc, &inner, face.Get());

    const std::wstring caption = Text();
    {
        const ArialFont font(dc, 24);
        const COLORREF oldText = ::SetTextColor(dc, RGB(255, 255, 255));
        const COLORREF oldBack = ::SetBkColor(dc, kFaceColour);
        const int oldMode = ::SetBkMode(dc, OPAQUE);
        ::DrawTextW(dc, caption.c_str(), -1, &inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::SetBkMode(dc, oldMode);
        ::SetBkColor(dc, oldBack);
        ::SetTextColor(dc, oldText);
    }

    for (int inset = 0; inset < 4; ++inset) {
        RECT ring = Inset(whole, inset);
        ::FrameRect(dc, &ring, border.Get());
    }
    return true;
}

} // namespace calibrate
