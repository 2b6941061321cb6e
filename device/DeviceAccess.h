// Services both programs lean on when they talk to the touch driver.
#pragma once

#include <windows.h>

namespace touch {

// Enables "SeSystemProfilePrivilege" in the process token. False when the token cannot be opened,
// the privilege is unknown, or the account does not hold it (ERROR_NOT_ALL_ASSIGNED); the error
// is then in GetLastError.
bool EnableSystemProfilePrivilege();

// The last error text made for its owner (a window that shows error messages): a zero-terminated
// text in a LocalAlloc block, freed when the next one is made and when the holder goes.
class ErrorTextHolder {
public:
    ErrorTextHolder() = default;
    ~ErrorTextHolder();
    ErrorTextHolder(const ErrorTextHolder&) = delete;
    ErrorTextHolder& operator=(const ErrorTextHolder&) = delete;

    // The system's text for `code` (as the system gives it, line break included), or
    // "Code=(0x%08x)" when the system has none; null only when no memory could be had.
    const wchar_t* FormatErrorText(DWORD code);
    const wchar_t* Text() const { return text_; }
    void Free();

private:
    wchar_t* text_ = nullptr;
};

} // namespace touch
