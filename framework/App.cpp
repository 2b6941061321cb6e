#include "framework/App.h"

#include "framework/Language.h"

#include <commctrl.h>

#include <vector>

namespace fw {

App::~App()
{
    if (current_ == this)
        current_ = nullptr;
}

int App::Run()
{
    ResourceLanguage();
    if (!InitCommonControlClasses())
        return 1;
    if (InitInstance()) {
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return ExitCode();
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

bool InitCommonControlClasses()
{
    const DWORD kinds = ICC_ANIMATE_CLASS | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS;
    INITCOMMONCONTROLSEX classes = {sizeof classes, kinds};
    if (!::InitCommonControlsEx(&classes))
        return false;
    // ICC_STANDARD_CLASSES is known to comctl32 6 only; older versions may refuse it, and there
    // user32 serves those classes anyway, so its result does not matter.
    INITCOMMONCONTROLSEX standard = {sizeof standard, 0x00004000};
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

bool LockSingleInstance(const wchar_t* name, KernelHandle& mutex, UINT alreadyRunningId)
{
    ::SetLastError(ERROR_SUCCESS);
    mutex.Reset(::CreateMutexW(nullptr, TRUE, name));
    const DWORD error = ::GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS)
        return true;
    mutex.Reset();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED)
        ShowMessage(nullptr, alreadyRunningId, MB_ICONEXCLAMATION);
    return false;
}

} // namespace fw

// The program's entry point: the application object does everything.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    fw::App* app = fw::App::Current();
    return app != nullptr ? app->Run() : 1;
}
