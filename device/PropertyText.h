// Texts read from device properties into fixed buffers. The system reports a property's size in
// bytes and may store it without a terminator; these helpers never read or write past a buffer.
// Templates over the 16-bit unit type, so that they are tested natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace touch {

// `buffer` has `bufferUnits` units, the last of which the system was not given to fill. Ends the
// text right after the `reportedBytes` the system reported (an odd byte is dropped). False, and
// the buffer untouched, when the size is below one unit or beyond what the system could fill.
template <class Unit>
bool TerminatePropertyText(Unit* buffer, size_t bufferUnits, uint32_t reportedBytes)
{
    static_assert(sizeof(Unit) == 2, "UTF-16 units");
    if (bufferUnits == 0 || reportedBytes < sizeof(Unit) || reportedBytes / sizeof(Unit) > bufferUnits - 1)
        return false;
    buffer[reportedBytes / sizeof(Unit)] = 0;
    return true;
}

// Copies a terminated text into a field of N units: at most N - 1 units and a terminator; the rest
// of the field is zeroed.
template <class Unit, size_t N>
void CopyTerminatedText(Unit (&field)[N], const Unit* text)
{
    static_assert(N > 0, "field");
    size_t i = 0;
    for (; i + 1 < N && text[i] != 0; ++i)
        field[i] = text[i];
    for (; i < N; ++i)
        field[i] = 0;
}

} // namespace touch
