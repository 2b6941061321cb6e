// The calibration window run in this process: its inputs made for the simulated controller, and
// the window run modally on a thread of its own, as the program's UI thread would run it.
#pragma once

#include "calibrate/CalibrationDialog.h"
#include "calibrate/CalibrationInputs.h"
#include "calibrate/RectMapper.h"
#include "device/TouchDeviceManager.h"
#include "framework/Handle.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"

#include <windows.h>

#include <string>

namespace caltest {

// A message box shown by this process, or null.
inline HWND FindOwnMessageBox()
{
    for (HWND box : qelvo::test::FindTopWindows({L"#32770", nullptr, GetCurrentProcessId()})) {
        if (GetDlgItem(box, 1000) == nullptr && !qelvo::test::MessageBoxText(box).empty())
            return box;
    }
    return nullptr;
}

// The inputs for the controller of the Rig, `area` of the desktop, stored through `manager`
// (initialised and with the controller selected here; false when that fails).
inline bool MakeInputs(touch::TouchDeviceManager& manager, const RECT& area, calibrate::CalibrationInputs* inputs)
{
    if (!manager.Initialize() || !manager.SelectByName(kObjectName) ||
        !manager.GetSelectedDeviceId(&inputs->deviceId))
        return false;
    inputs->displayRect = calibrate::Rect{area.left, area.top, area.right, area.bottom};
    const touchsim::DesktopGeometry desktop = touchsim::SystemDesktop();
    const calibrate::Rect screen = {desktop.virtualScreen.left, desktop.virtualScreen.top,
                                    desktop.virtualScreen.right, desktop.virtualScreen.bottom};
    const calibrate::RectMapper toNormal(calibrate::NormalisedScreen(desktop.fullScale), screen);
    const calibrate::Rect normal = toNormal.MapRect(inputs->displayRect);
    inputs->screenRange = calibrate::ScreenRange{normal.left, normal.top, normal.right, normal.bottom};
    inputs->openKey = [&manager](fw::RegistryKey& key) { return manager.OpenDeviceKey(key); };
    return true;
}

class CalibrationWindowThread {
public:
    explicit CalibrationWindowThread(const calibrate::CalibrationInputs& inputs) : inputs_(inputs) {}
    ~CalibrationWindowThread()
    {
        if (!thread_)
            return;
        // A run that stopped early may leave a failure message open: answer it.
        qelvo::test::WaitFor(
            [&] {
                if (HWND box = FindOwnMessageBox())
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
                return WaitForSingleObject(thread_.Get(), 0) == WAIT_OBJECT_0;
            },
            60000);
    }
    CalibrationWindowThread(const CalibrationWindowThread&) = delete;
    CalibrationWindowThread& operator=(const CalibrationWindowThread&) = delete;

    // Starts the thread and waits until the window shows.
    bool Start()
    {
        thread_.Reset(CreateThread(nullptr, 0, &CalibrationWindowThread::Run, this, 0, &threadId_));
        if (!thread_)
            return false;
        return qelvo::test::WaitFor([&] { return Window() != nullptr; }, 30000);
    }
    HWND Window() const
    {
        HWND found = nullptr;
        EnumThreadWindows(threadId_, &CalibrationWindowThread::Find, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    DWORD ThreadId() const { return threadId_; }
    calibrate::CalibrationDialog* Dialog() const { return dialog_; }
    // Blocks without polling (this thread owns no window).
    bool Join(DWORD timeoutMs) { return thread_ && WaitForSingleObject(thread_.Get(), timeoutMs) == WAIT_OBJECT_0; }
    bool Ended(DWORD timeoutMs)
    {
        return thread_ &&
               qelvo::test::WaitFor([&] { return WaitForSingleObject(thread_.Get(), 0) == WAIT_OBJECT_0; }, timeoutMs);
    }

private:
    static BOOL CALLBACK Find(HWND hwnd, LPARAM found)
    {
        wchar_t cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        if (std::wstring(cls) == L"#32770" && GetDlgItem(hwnd, 1000) != nullptr && IsWindowVisible(hwnd)) {
            *reinterpret_cast<HWND*>(found) = hwnd;
            return FALSE;
        }
        return TRUE;
    }
    static DWORD WINAPI Run(void* self)
    {
        CalibrationWindowThread& me = *static_cast<CalibrationWindowThread*>(self);
        calibrate::CalibrationDialog dialog(me.inputs_, nullptr);
        me.dialog_ = &dialog;
        dialog.RunModal();
        me.dialog_ = nullptr;
        return 0;
    }

    const calibrate::CalibrationInputs& inputs_;
    fw::KernelHandle thread_;
    DWORD threadId_ = 0;
    calibrate::CalibrationDialog* volatile dialog_ = nullptr;
};

} // namespace caltest
