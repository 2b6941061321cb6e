// Starts a tool that lies in the process's current directory (not the program's own): the
// calibration program and the line-drawing test. The only place that builds a command line.
#pragma once

#include <windows.h>

namespace settings {

struct ToolStart {
    const wchar_t* fileName;     // a name or a pattern ("Marksman*.exe", "Scribe.exe")
    const wchar_t* commandLine;  // null for none
    int showCommand;             // SW_SHOW, SW_SHOWMAXIMIZED
};

// Finds the first file matching `tool.fileName` in the current directory and starts it without
// waiting. Failures are shown in message boxes owned by `owner`: 9 (path too long), 6 (no such
// file), 7 with "Code=<error>" appended (the process could not be created). True when started.
bool LaunchTool(HWND owner, const ToolStart& tool);

} // namespace settings
