#include "calibrate/CalibrationApp.h"

#include "calibrate/CalibrationDialog.h"
#include "calibrate/CommandLine.h"
#include "calibrate/RectMapper.h"
#include "calibrate/resource.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace calibrate {

namespace {

// The single-instance lock: owned from creation until start-up ends.
class InstanceMutex {
public:
    InstanceMutex() = default;
    ~InstanceMutex() { Close(); }
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    // False when another instance holds the name (or it could not be created at all);
    // `alreadyRunning` tells the two apart.
    bool Create(const wchar_t* name, bool* alreadyRunning)
    {
        handle_ = ::CreateMutexW(nullptr, TRUE, name);
        const DWORD error = ::GetLastError();
        *alreadyRunning = error == ERROR_ALREADY_EXISTS || (handle_ == nullptr && error == ERROR_ACCESS_DENIED);
        return handle_ != nullptr && error != ERROR_ALREADY_EXISTS;
    }
    void Close()
    {
        if (handle_ != nullptr) {
            ::CloseHandle(handle_);
            handle_ = nullptr;
        }
    }

private:
    HANDLE handle_ = nullptr;
};

// Arguments after the program's name, split the way the system splits command lines.
bool SplitCommandLine(std::vector<std::wstring>* args)
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr)
        return false;
    bool ok = true;
    try {
        for (int i = 1; i < argc; ++i)
            args->push_back(argv[i]);
    } catch (...) {
        ok = false;
    }
    ::LocalFree(argv);
    return ok;
}

// The whole desktop in pixels and normalised units.
bool MeasureDesktop(Rect* pixels, ScreenRange* range)
{
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0)
        return false;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!::GetVersionExW(&version))
        return false;
    const Rect desktop = {left, top, left + width, top + height};
    const RectMapper toNormal(NormalisedScreen(FullScaleForVersion(version.dwMajorVersion, version.dwMinorVersion)),
                              desktop);
    const Rect normal = toNormal.MapRect(desktop);
    *pixels = desktop;
    *range = ScreenRange{normal.left, normal.top, normal.right, normal.bottom};
    return true;
}

void ShowStartupMessage(UINT stringId)
{
    fw::ShowMessage(nullptr, stringId, MB_ICONEXCLAMATION);
}

} // namespace

bool CalibrationApp::InitInstance()
{
    InstanceMutex mutex;
    bool alreadyRunning = false;
    if (!mutex.Create(L"Marksman", &alreadyRunning)) {
        mutex.Close();
        if (alreadyRunning)
            ShowStartupMessage(IDS_ALREADY_RUNNING);
        return false;
    }

    std::vector<std::wstring> args;
    if (!SplitCommandLine(&args))
        return false;
    const CommandLineOptions options = ParseCommandLine(args);

    if (!deviceManager.Initialize()) {
        ShowStartupMessage(IDS_DEVICE_INIT_FAILED);
        return false;
    }
    const bool chosen = options.hasDeviceName ? deviceManager.SelectByName(options.deviceName.c_str())
                                              : deviceManager.SelectInteractively();
    if (!chosen)
        return false;

    if (!MeasureDesktop(&displayRect, &screenRange)) {
        ShowStartupMessage(IDS_DISPLAY_INIT_FAILED);
        return false;
    }

    {
        CalibrationDialog calibration(nullptr);
        SetMainWindow(&calibration);
        calibration.RunModal();
        SetMainWindow(nullptr);
        deviceManager.Release();
    }
    return false;
}

} // namespace calibrate
