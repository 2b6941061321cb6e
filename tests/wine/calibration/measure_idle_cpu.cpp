// Prints what the calibration costs while a target waits and nobody touches: the CPU time of the
// calibration window and its worker (in this process, against the simulated driver) over the
// 30 seconds until the target times out. A measurement, not a test: it prints, it does not judge.
// Wine reports no CPU times for other processes, so the window runs in-process.
//
//   bash scripts/wine-harness.sh run scripts/wine-run build/win64/tests/wine/calibration/measure_idle_cpu.exe
#include "framework/App.h"
#include "tests/wine/calibration/CalibrationScenario.h"
#include "tests/wine/calibration/CalibrationWindowThread.h"

#include <cstdio>

namespace {

ULONGLONG ProcessCpu100ns()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    return ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
           ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart;
}

int Measure(caltest::Rig& rig, touch::TouchDeviceManager& manager)
{
    if (!fw::InitCommonControlClasses()) {
        std::printf("common controls: error %lu\n", GetLastError());
        return 1;
    }
    if (!rig.Prepare(caltest::Panel::Straight)) {
        std::printf("simulated driver: error %lu\n", rig.Sim().LastError());
        return 1;
    }
    calibrate::CalibrationInputs inputs;
    const RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!caltest::MakeInputs(manager, area, &inputs)) {
        std::printf("controller not found: error %lu\n", GetLastError());
        return 1;
    }
    caltest::CalibrationWindowThread run(inputs);
    if (!run.Start() || !caltest::WaitForPrompt(run.Window(), caltest::kPromptTarget[0], 30000)) {
        std::printf("the first target did not show\n");
        return 1;
    }
    const ULONGLONG before = ProcessCpu100ns();
    const DWORD from = GetTickCount();
    // This thread only waits until the 30-second timer ends the calibration.
    if (!run.Join(60000)) {
        std::printf("the target did not time out\n");
        return 1;
    }
    const DWORD waited = GetTickCount() - from;
    const double usedMs = static_cast<double>(ProcessCpu100ns() - before) / 10000.0;
    std::printf("idle target: %.0f ms CPU in %lu ms = %.2f %% of a core\n", usedMs,
                static_cast<unsigned long>(waited), 100.0 * usedMs / (waited != 0 ? waited : 1));
    return 0;
}

} // namespace

int main()
{
    caltest::Rig rig;
    int result = 1;
    {
        touch::TouchDeviceManager manager;
        result = Measure(rig, manager);
    }
    rig.Sim().Reset();
    DWORD error = 0;
    touchsim::RemoveAllDeviceNodes(&error);
    return result;
}
