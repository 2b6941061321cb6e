#include "framework/IntegerText.h"

namespace fw {

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
} // namespace

bool ParseInt32(const std::wstring& text, int32_t& value)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    const size_t firstDigit = i;
    // Magnitude kept in 64 bits and checked per digit, so no overflow can happen on the way.
    int64_t magnitude = 0;
    const int64_t limit = negative ? INT64_C(2147483648) : INT64_C(2147483647);
    while (i < n && text[i] >= L'0' && text[i] <= L'9') {
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > limit)
            return false;
        ++i;
    }
    if (i == firstDigit)
        return false;
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i != n)
        return false;
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

} // namespace fw
