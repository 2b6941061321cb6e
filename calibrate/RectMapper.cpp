#include "calibrate/RectMapper.h"

#include "calibrate/Int32.h"

namespace calibrate {

int32_t FullScaleForVersion(uint32_t major, uint32_t minor)
{
    if (major > 5 || (major == 5 && minor >= 1))
        return 0x7FFF;
    return 0x3FFF;
}

Rect NormalisedScreen(int32_t fullScale)
{
    return Rect{0, 0, fullScale, fullScale};
}

RectMapper::RectMapper(const Rect& dest, const Rect& source)
    : destWidth_(ClampToInt32(WidthOf(dest))),
      destHeight_(ClampToInt32(HeightOf(dest))),
      destLeft_(dest.left),
      destTop_(dest.top),
      sourceWidth_(ClampToInt32(WidthOf(source))),
      sourceHeight_(ClampToInt32(HeightOf(source))),
      sourceLeft_(source.left),
      sourceTop_(source.top)
{
    // A size that does not fit 32 bits is kept clamped; the checked forms refuse such a mapper.
    exact_ = FitsInt32(WidthOf(dest)) && FitsInt32(HeightOf(dest)) && FitsInt32(WidthOf(source)) &&
             FitsInt32(HeightOf(source));
}

bool RectMapper::MapAxis(int32_t v, int32_t srcOrigin, int32_t srcSize, int32_t destOrigin, int32_t destSize,
                         int32_t* out) const
{
    if (srcSize == 0) {
        *out = destOrigin;
        return false;
    }
    // |offset| < 2^32 and |destSize| <= 2^31, so the product cannot overflow 64 bits, and the
    // quotient of a 64-bit division truncates toward zero as the 32-bit one does.
    const int64_t offset = int64_t(v) - srcOrigin;
    const int64_t product = offset * destSize;
    const int64_t result = product / srcSize + destOrigin;
    *out = ClampToInt32(result);
    return exact_ && FitsInt32(offset) && FitsInt32(product) && FitsInt32(result);
}

Point RectMapper::MapPoint(int32_t x, int32_t y) const
{
    Point p;
    MapAxis(x, sourceLeft_, sourceWidth_, destLeft_, destWidth_, &p.x);
    MapAxis(y, sourceTop_, sourceHeight_, destTop_, destHeight_, &p.y);
    return p;
}

Rect RectMapper::MapRect(const Rect& r) const
{
    const Point a = MapPoint(r.left, r.top);
    const Point b = MapPoint(r.right, r.bottom);
    return Rect{a.x, a.y, b.x, b.y};
}

bool RectMapper::TryMapPoint(int32_t x, int32_t y, Point* out) const
{
    Point p;
    const bool xFits = MapAxis(x, sourceLeft_, sourceWidth_, destLeft_, destWidth_, &p.x);
    const bool yFits = MapAxis(y, sourceTop_, sourceHeight_, destTop_, destHeight_, &p.y);
    if (!xFits || !yFits)
        return false;
    *out = p;
    return true;
}

bool RectMapper::TryMapRect(const Rect& r, Rect* out) const
{
    Point a, b;
    if (!TryMapPoint(r.left, r.top, &a) || !TryMapPoint(r.right, r.bottom, &b))
        return false;
    *out = Rect{a.x, a.y, b.x, b.y};
    return true;
}

} // namespace calibrate
