// The language of the programs' resources, chosen once per process from the user's interface
// language: Chinese (Simplified) when that is any Chinese, English (United States) otherwise.
// FindResource picks a language by the thread locale on Windows 2000/XP and by the UI language
// list later, so the framework never leaves the choice to it: every string and dialog template
// it loads is looked up in ResourceLanguage() by FindResourceExW. A resource that exists in one
// language only (artwork, a tool's own template) is taken as FindResourceW finds it.
#pragma once

#include "framework/LanguageRule.h"

#include <windows.h>

#include <string>

namespace fw {

// Decided on the first call (the framework's wWinMain makes it before InitInstance), then fixed.
LANGID ResourceLanguage();

// Resource `name` of `type` in `module`, in ResourceLanguage() where it exists; null if none.
HRSRC FindProgramResource(HMODULE module, LPCWSTR type, LPCWSTR name);

// String `id` of `module` in ResourceLanguage(); empty when the string does not exist.
std::wstring LoadResourceString(HMODULE module, UINT id);

} // namespace fw
