#include "framework/App.h"

#include "framework/Language.h"

#include <commctrl.h>

#include <vector>

namespace fw {

namespace {
App* currentApp = nullptr;
} // namespace

App::App()
{
    currentApp = this;
}

App::~App()
{
    if (currentApp == this)
        currentApp = nullptr;
}

App* App::Current()
{
    return currentApp;
}

HINSTANCE App::Instance() const
{
    return instance_ != nullptr ? instance_ : ProgramInstance();
}

int App::Run(HINSTANCE instance, const wchar_t* commandLine, int showCommand)
{
    instance_ = instance;
    commandLine_ = commandLine != nullptr ? commandLine : L"";
    showCommand_ = showCommand;
    ResourceLanguage();
    if (!InitCommonControlClasses())
        return 1;
    bool keepRunning = false;
    try {
        keepRunning = InitInstance();
    } catch (...) {
        keepRunning = false;
    }
    if (keepRunning) {
        MSG msg;
        BOOL got;
        while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    try {
        return ExitCode();
    } catch (...) {
        return 1;
    }
}

const std::wstring& ProgramName()
{
    static const std::wstring name = [] {
        std::vector<wchar_t> path(MAX_PATH);
        for (;;) {
            const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (length == 0)
                return std::wstring();
            // Windows 2000 truncates without an error: a full buffer means try with more room.
            if (length < path.size() - 1 || path.size() >= 32768) {
                std::wstring full(path.data(), length);
                const size_t slash = full.find_last_of(L"\\/");
                std::wstring file = slash == std::wstring::npos ? full : full.substr(slash + 1);
                const size_t dot = file.find_last_of(L'.');
                return dot == std::wstring::npos ? file : file.substr(0, dot);
            }
            path.resize(path.size() * 2);
        }
    }();
    return name;
}

HINSTANCE ProgramInstance()
{
    return ::GetModuleHandleW(nullptr);
}

bool InitCommonControlClasses()
{
    INITCOMMONCONTROLSEX classes = {};
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_ANIMATE_CLASS | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS;
    if (!::InitCommonControlsEx(&classes))
        return false;
    // ICC_STANDARD_CLASSES is known to comctl32 6 only; older versions may refuse it, and there
    // user32 serves those classes anyway, so its result does not matter.
    INITCOMMONCONTROLSEX standard = {};
    standard.dwSize = sizeof standard;
    standard.dwICC = 0x00004000;
    ::InitCommonControlsEx(&standard);
    return true;
}

int ShowMessage(HWND owner, UINT stringId, UINT iconFlags)
{
    const std::wstring text = LoadText(stringId);
    if (text.empty()) {
        ::SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    return ::MessageBoxW(owner, text.c_str(), ProgramName().c_str(), MB_OK | iconFlags);
}

} // namespace fw

// The program's entry point: the application object does everything.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand)
{
    fw::App* app = fw::App::Current();
    if (app == nullptr)
        return 1;
    return app->Run(instance, commandLine, showCommand);
}
