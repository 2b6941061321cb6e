#include "calibrate/CalibrationApp.h"

#include "calibrate/CalibrationDialog.h"
#include "calibrate/CommandLine.h"
#include "calibrate/DisplaySelectDialog.h"
#include "calibrate/resource.h"
#include "framework/Handle.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace calibrate {

namespace {

// Arguments after the program's name, split the way the system splits command lines.
bool SplitCommandLine(std::vector<std::wstring>* args)
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr)
        return false;
    // An allocation failure here ends the start-up (App::Run); the process frees argv with itself.
    for (int i = 1; i < argc; ++i)
        args->push_back(argv[i]);
    ::LocalFree(argv);
    return true;
}

void ShowStartupMessage(UINT stringId)
{
    fw::ShowMessage(nullptr, stringId, MB_ICONEXCLAMATION);
}

} // namespace

bool CalibrationApp::InitInstance()
{
    // Owned until start-up ends.
    fw::KernelHandle mutex;
    if (!fw::LockSingleInstance(L"Marksman", mutex, IDS_ALREADY_RUNNING))
        return false;

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

    // Lives to the end of start-up, after the calibration window.
    DisplaySelectDialog displaySelect(nullptr);
    displaySelect.askCustomRange = options.customRange;
    if (!displaySelect.EnumerateDisplays()) {
        ShowStartupMessage(IDS_DISPLAY_INIT_FAILED);
        return false;
    }
    if (displaySelect.RunModal() != IDOK)
        return false;
    displayRect = displaySelect.chosenRect;
    screenRange = ScreenRange{displaySelect.chosenRange.left, displaySelect.chosenRange.top,
                              displaySelect.chosenRange.right, displaySelect.chosenRange.bottom};

    CalibrationInputs inputs;
    if (!deviceManager.GetSelectedDeviceId(&inputs.deviceId))
        return false;
    inputs.displayRect = displayRect;
    inputs.screenRange = screenRange;
    inputs.openKey = [this](fw::RegistryKey& key) { return deviceManager.OpenDeviceKey(key); };

    // The list goes and the lock is given up before the two dialog objects go (calibration first).
    CalibrationDialog calibration(inputs, nullptr);
    calibration.RunModal();
    deviceManager.Release();
    mutex.Reset();
    return false;
}

} // namespace calibrate
