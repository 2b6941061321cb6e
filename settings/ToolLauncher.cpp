#include "settings/ToolLauncher.h"

#include "framework/App.h"
#include "framework/Handle.h"
#include "framework/Window.h"
#include "settings/ToolPath.h"
#include "settings/resource.h"

#include <string>
#include <vector>

namespace settings {

namespace {

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(STARTUPINFOW) == 68, "STARTUPINFOW of x86 Windows");
#endif

// Message 7 with the system's error code appended directly, e.g. "不能调用校准程序！Code=193".
void ShowStartFailure(HWND owner, DWORD error)
{
    const std::wstring text = fw::LoadText(IDS_CALIBRATOR_NOT_STARTED) + L"Code=" + std::to_wstring(static_cast<int>(error));
    ::MessageBoxW(owner, text.c_str(), fw::ProgramName().c_str(), MB_OK);
}

} // namespace

bool LaunchTool(HWND owner, const ToolStart& tool)
{
    wchar_t directory[kMaxPath] = {};
    const DWORD length = ::GetCurrentDirectoryW(kMaxPath, directory);
    std::wstring pattern;
    if (length == 0 || length >= kMaxPath || !JoinToolPath(directory, tool.fileName, pattern)) {
        fw::ShowMessage(owner, IDS_PATH_TOO_DEEP, 0);
        return false;
    }

    WIN32_FIND_DATAW found = {};
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        fw::ShowMessage(owner, IDS_CALIBRATOR_NOT_FOUND, 0);
        return false;
    }
    ::FindClose(search);
    // The file that was found, in place of the pattern; a long found name may not fit either.
    std::wstring path;
    if (!JoinToolPath(directory, found.cFileName, path)) {
        fw::ShowMessage(owner, IDS_PATH_TOO_DEEP, 0);
        return false;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(tool.showCommand);

    // CreateProcessW may write into its command line: a copy of its own.
    std::vector<wchar_t> commandLine;
    if (tool.commandLine != nullptr) {
        const std::wstring text(tool.commandLine);
        commandLine.assign(text.begin(), text.end());
        commandLine.push_back(L'\0');
    }
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(path.c_str(), commandLine.empty() ? nullptr : commandLine.data(), nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process)) {
        ShowStartFailure(owner, ::GetLastError());
        return false;
    }
    fw::KernelHandle thread(process.hThread);
    fw::KernelHandle child(process.hProcess);
    return true;
}

} // namespace settings
