// The language rule alone, without <windows.h>, so that it is tested natively.
#pragma once

#include <cstdint>

namespace fw {

constexpr uint16_t kLanguageChineseSimplified = 0x0804;  // LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED
constexpr uint16_t kLanguageEnglishUs = 0x0409;          // LANG_ENGLISH, SUBLANG_ENGLISH_US

// The resource language for a user interface language (a LANGID): every Chinese one, Traditional
// included, gets the Chinese resources; everything else the English ones.
constexpr uint16_t ResourceLanguageFor(uint16_t uiLanguage)
{
    return (uiLanguage & 0x3FF) == 0x04 /* LANG_CHINESE */ ? kLanguageChineseSimplified : kLanguageEnglishUs;
}

} // namespace fw
