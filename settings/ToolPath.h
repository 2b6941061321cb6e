// Where the settings program looks for the tools it starts, and how it starts them. Portable.
#pragma once

#include <string>

namespace settings {

// Paths are limited to MAX_PATH (260) characters including the terminating zero.
constexpr size_t kMaxPath = 260;

// directory + "\" + name, or false when that would not fit in kMaxPath with its terminator.
// A directory that already ends in a backslash (a drive's root) gets no second one.
bool JoinToolPath(const std::wstring& directory, const std::wstring& name, std::wstring& path);

// The calibration program's command line: one space and the controller's device object name,
// which goes between quotes (with its quotes and the backslashes before them escaped, the
// Windows way) only when it holds a space, tab or quote or starts with '-' or '/', so that the
// calibration program reads it back whole and as a name, never as a switch.
std::wstring CalibrationCommandLine(const std::wstring& deviceName);

} // namespace settings
