// Narrowing helpers for the 64-bit intermediate results of the portable calculations.
#pragma once

#include <stdint.h>

namespace calibrate {

inline bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

inline int32_t ClampToInt32(int64_t v)
{
    if (v < INT32_MIN)
        return INT32_MIN;
    if (v > INT32_MAX)
        return INT32_MAX;
    return static_cast<int32_t>(v);
}

} // namespace calibrate
