#include "settings/SettingsApp.h"

#include "framework/Handle.h"
#include "settings/SettingsDialog.h"
#include "settings/resource.h"

namespace settings {

namespace {

void ShowStartupMessage(UINT stringId)
{
    fw::ShowMessage(nullptr, stringId, MB_ICONEXCLAMATION);
}

} // namespace

// Always false: the program ends when start-up is done. The mutex is closed on every path by
// its owner, after the list has been released.
bool SettingsApp::InitInstance()
{
    fw::KernelHandle mutex;
    if (!fw::LockSingleInstance(L"Setwell", mutex, IDS_ALREADY_RUNNING))
        return false;

    if (!deviceManager.Initialize()) {
        ShowStartupMessage(IDS_DEVICE_INIT_FAILED);
        return false;
    }
    if (!deviceManager.SelectInteractively())
        return false;

    SettingsDialog dialog;
    dialog.RunModal();
    deviceManager.Release();
    mutex.Reset();
    return false;
}

} // namespace settings
