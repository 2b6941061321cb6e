#include "calibrate/CalibrationApp.h"

#include "calibrate/CalibrationDialog.h"
#include "calibrate/CommandLine.h"
#include "calibrate/DisplaySelectDialog.h"
#include "calibrate/resource.h"
#include "framework/Handle.h"

#include <string>

namespace calibrate {

namespace {

// The single-instance lock, owned from creation until start-up ends. False when another
// instance holds the name (or it could not be created at all); `alreadyRunning` tells the two
// apart.
bool CreateInstanceMutex(const wchar_t* name, fw::KernelHandle* mutex, bool* alreadyRunning)
{
    mutex->Reset(::CreateMutexW(nullptr, TRUE, name));
    const DWORD error = ::GetLastError();
    *alreadyRunning = error == ERROR_ALREADY_EXISTS || (!*mutex && error == ERROR_ACCESS_DENIED);
    return mutex->Valid() && error != ERROR_ALREADY_EXISTS;
}

void ShowStartupMessage(UINT stringId)
{
    fw::ShowMessage(nullptr, stringId, MB_ICONEXCLAMATION);
}

} // namespace

bool CalibrationApp::InitInstance()
{
    fw::KernelHandle mutex;
    bool alreadyRunning = false;
    if (!CreateInstanceMutex(L"Marksman", &mutex, &alreadyRunning)) {
        mutex.Reset();
        if (alreadyRunning)
            ShowStartupMessage(IDS_ALREADY_RUNNING);
        return false;
    }

    // Split here rather than by the system, so that a quoted name starting with '-' or '/' stays
    // a name (see CommandLine.h).
    CommandLineOptions options;
    try {
        options = ParseWholeCommandLine(::GetCommandLineW());
    } catch (...) {
        return false;
    }

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
    SetMainWindow(&calibration);
    calibration.RunModal();
    SetMainWindow(nullptr);
    // The worker uses the manager: it ends first. One left in a stalled driver request ends with
    // the process, before anything it may still touch is released.
    if (calibration.WorkerAbandoned() || !calibration.JoinWorker(kWorkerJoinMilliseconds)) {
        mutex.Reset();
        ::ExitProcess(0);
    }
    deviceManager.Release();
    mutex.Reset();
    return false;
}

} // namespace calibrate
