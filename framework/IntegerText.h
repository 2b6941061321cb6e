// Text <-> signed 32-bit integer for edit boxes, without the platform.
#pragma once

#include <cstdint>
#include <string>

namespace fw {

// Accepts optional blanks, an optional sign and decimal digits, then optional blanks. Anything
// else, an empty text or a value outside the signed 32-bit range is refused (false, value untouched).
bool ParseInt32(const std::wstring& text, int32_t& value);

} // namespace fw
