#include "device/DeviceAccess.h"

#include "framework/Handle.h"

#include <stdio.h>

namespace touch {

bool EnableSystemProfilePrivilege()
{
    fw::KernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put()))
        return false;

    TOKEN_PRIVILEGES privileges = {};
    if (!::LookupPrivilegeValueW(nullptr, L"SeSystemProfilePrivilege", &privileges.Privileges[0].Luid))
        return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD returnLength = 0;
    if (!::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, &returnLength))
        return false;
    // Success with ERROR_NOT_ALL_ASSIGNED: the account does not hold the privilege.
    return ::GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

ErrorTextHolder::~ErrorTextHolder()
{
    Free();
}

void ErrorTextHolder::Free()
{
    if (text_ != nullptr) {
        ::LocalFree(text_);
        text_ = nullptr;
    }
}

const wchar_t* ErrorTextHolder::FormatErrorText(DWORD code)
{
    Free();

    // Inserts are left as they stand: no arguments are passed, so none may be read.
    wchar_t* systemText = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);
    if (length != 0 && systemText != nullptr) {
        text_ = systemText;
        return text_;
    }
    if (systemText != nullptr)
        ::LocalFree(systemText);

    // Two bytes per character of the format plus 10: room for "Code=(0x" + 8 digits + ")" + NUL.
    static const wchar_t format[] = L"Code=(0x%08x)";
    const size_t bytes = (sizeof(format) / sizeof(format[0]) - 1) * 2 + 10;
    const size_t units = bytes / sizeof(wchar_t);
    wchar_t* block = static_cast<wchar_t*>(::LocalAlloc(LMEM_ZEROINIT, bytes));
    if (block == nullptr)
        return nullptr;
    // The block is zero-filled and the last unit is never written: the text stays terminated.
    _snwprintf(block, units - 1, format, static_cast<unsigned>(code));
    text_ = block;
    return text_;
}

} // namespace touch
