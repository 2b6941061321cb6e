#include "framework/Language.h"

#include <cstring>

namespace fw {

LANGID ResourceLanguage()
{
    // GetUserDefaultUILanguage exists from Windows 2000 on and cannot fail.
    static const LANGID language = ResourceLanguageFor(::GetUserDefaultUILanguage());
    return language;
}

HRSRC FindProgramResource(HMODULE module, LPCWSTR type, LPCWSTR name)
{
    HRSRC found = ::FindResourceExW(module, type, name, ResourceLanguage());
    if (found == nullptr)
        found = ::FindResourceW(module, name, type);
    return found;
}

std::wstring LoadResourceString(HMODULE module, UINT id)
{
    // Strings live in blocks of 16: block id/16 + 1, each entry a length word and that many units.
    HRSRC block = FindProgramResource(module, MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(id / 16 + 1));
    if (block == nullptr)
        return std::wstring();
    const DWORD size = ::SizeofResource(module, block);
    HGLOBAL loaded = ::LoadResource(module, block);
    const unsigned char* data = loaded != nullptr ? static_cast<const unsigned char*>(::LockResource(loaded)) : nullptr;
    if (data == nullptr)
        return std::wstring();
    size_t offset = 0;
    for (UINT entry = 0;; ++entry) {
        WORD length = 0;
        if (offset + sizeof length > size)
            return std::wstring();
        std::memcpy(&length, data + offset, sizeof length);
        offset += sizeof length;
        const size_t bytes = static_cast<size_t>(length) * sizeof(wchar_t);
        if (offset + bytes > size)
            return std::wstring();
        if (entry == id % 16) {
            std::wstring text(length, L'\0');
            if (bytes != 0)
                std::memcpy(&text[0], data + offset, bytes);
            return text;
        }
        offset += bytes;
    }
}

} // namespace fw
