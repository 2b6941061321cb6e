#include "calibrate/PreviewLayout.h"

#include "calibrate/RectMapper.h"

namespace calibrate {

namespace {

// trunc(0.2 x size) lies between 0 and size, so the moved edges stay between the old ones.
int32_t Fifth(int64_t size)
{
    return static_cast<int32_t>(static_cast<int64_t>(0.2 * static_cast<double>(size)));
}

} // namespace

Rect FitToAspect(const Rect& area, const Rect& virtualScreen)
{
    const int64_t w = WidthOf(area);
    const int64_t h = HeightOf(area);
    const int64_t vw = WidthOf(virtualScreen);
    const int64_t vh = HeightOf(virtualScreen);
    if (w <= 0 || h <= 0 || vw <= 0 || vh <= 0)
        return area;

    // Desktop pixels per preview pixel on each axis.
    const double rx = static_cast<double>(vw) / static_cast<double>(w);
    const double ry = static_cast<double>(vh) / static_cast<double>(h);
    Rect fitted = area;
    if (ry > rx) {
        // vw / ry < w here, so the inset lies in 0..w/2.
        const int64_t inset = static_cast<int64_t>((static_cast<double>(w) - static_cast<double>(vw) / ry) * 0.5);
        fitted.left = static_cast<int32_t>(area.left + inset);
        fitted.right = static_cast<int32_t>(area.right - inset);
    } else if (ry < rx) {
        const int64_t inset = static_cast<int64_t>((static_cast<double>(h) - static_cast<double>(vh) / rx) * 0.5);
        fitted.top = static_cast<int32_t>(area.top + inset);
        fitted.bottom = static_cast<int32_t>(area.bottom - inset);
    }
    return fitted;
}

Rect PreviewPicture(const Rect& area, const Rect& virtualScreen)
{
    const Rect fitted = FitToAspect(area, virtualScreen);
    const int32_t dx = Fifth(WidthOf(fitted));
    const int32_t dy = Fifth(HeightOf(fitted));
    return Rect{fitted.left + dx, fitted.top + dy, fitted.right - dx, fitted.bottom - dy};
}

PreviewLayout LayoutPreview(const Rect& area, const Rect& virtualScreen, const std::vector<Rect>& displays)
{
    PreviewLayout layout;
    layout.picture = PreviewPicture(area, virtualScreen);
    const RectMapper toPicture(layout.picture, virtualScreen);
    layout.buttons.reserve(displays.size());
    for (const Rect& d : displays)
        layout.buttons.push_back(toPicture.MapRect(d));
    return layout;
}

} // namespace calibrate
