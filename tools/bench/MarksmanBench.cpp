// Measurements for scripts/bench.sh, against the simulated driver under Wine. Prints one
// "key value..." line per figure; tools/bench/benchtable.py turns them into the table.
//
//   MarksmanBench.exe startup <Marksman.exe> <FrameworkSmoke.exe> <runs>
//       ms from process start to the first target shown (Marksman with one simulated
//       controller), and to the dialog shown (the bare framework dialog), median of <runs>
//   MarksmanBench.exe idle <seconds>
//       CPU of this process while a target of the calibration window (run here, on a thread of
//       its own) waits untouched; Wine reports no CPU times of other processes
//   MarksmanBench.exe accuracy
//       real calibrations through the panel model for each panel kind on the whole screen and on
//       a custom area; the largest distance of touches at nine points from where they land
#include "framework/App.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"
#include "tests/wine/calibration/CalibrationWindowThread.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace caltest;
using namespace qelvo::test;

void CleanUp(Rig& rig)
{
    rig.Sim().Reset();
    DWORD error = 0;
    touchsim::RemoveAllDeviceNodes(&error);
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// Starts `commandLine` and waits until `shown` holds for the process; ms taken, -1 on failure.
template <typename Shown>
double TimeToShown(const std::wstring& commandLine, Shown shown)
{
    Process process;
    LARGE_INTEGER started, seen;
    QueryPerformanceCounter(&started);
    if (!process.Start(commandLine))
        return -1;
    const bool ok = WaitFor([&] { return shown(process.Id()); }, 60000, 5);
    QueryPerformanceCounter(&seen);
    process.Terminate();
    process.WaitForExit(10000);
    return ok ? Milliseconds(started, seen) : -1;
}

int Startup(const std::wstring& marksman, const std::wstring& smoke, int runs)
{
    Rig rig;
    std::vector<double> marksmanMs, smokeMs;
    for (int i = 0; i < runs; ++i) {
        if (!rig.Prepare(Panel::Straight)) {
            std::fprintf(stderr, "simulator: error %lu\n", rig.Sim().LastError());
            return 1;
        }
        const double m = TimeToShown(L"\"" + marksman + L"\" " + kObjectName, [](DWORD id) {
            HWND dialog = FindTopWindow({L"#32770", nullptr, id});
            return dialog != nullptr && TargetVisible(dialog) && ItemText(dialog, 1003) == kPromptTarget[0];
        });
        const double s = TimeToShown(L"\"" + smoke + L"\"", [](DWORD id) {
            return FindTopWindow({L"#32770", nullptr, id}) != nullptr;
        });
        if (m < 0 || s < 0) {
            std::fprintf(stderr, "start-up run %d: a window did not show (marksman %.0f, dialog %.0f)\n", i, m, s);
            CleanUp(rig);
            return 1;
        }
        marksmanMs.push_back(m);
        smokeMs.push_back(s);
        CleanUp(rig);
    }
    const double m = Median(marksmanMs), s = Median(smokeMs);
    std::printf("startup marksman_ms %.0f dialog_ms %.0f ratio %.2f runs %d\n", m, s, m / s, runs);
    return 0;
}

ULONGLONG ProcessCpu100ns()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    return ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
           ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart;
}

int Idle(DWORD seconds)
{
    Rig rig;
    const RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    touch::TouchDeviceManager manager;
    calibrate::CalibrationInputs inputs;
    if (!rig.Prepare(Panel::Straight) || !MakeInputs(manager, area, &inputs)) {
        std::fprintf(stderr, "idle: set-up failed\n");
        return 1;
    }
    int status = 1;
    {
        CalibrationWindowThread run(inputs);
        if (run.Start() && WaitForPrompt(run.Window(), kPromptTarget[0], 30000)) {
            const ULONGLONG before = ProcessCpu100ns();
            const DWORD from = GetTickCount();
            // The measurement is the wait itself: this thread owns no window and only sleeps.
            Sleep(seconds * 1000);
            const DWORD waited = GetTickCount() - from;
            const ULONGLONG used = ProcessCpu100ns() - before;
            const bool stillWaiting = !run.Ended(0) && TargetVisible(run.Window());
            std::printf("idle cpu_ms %.0f wall_ms %lu percent %.2f target_waiting %d\n",
                        static_cast<double>(used) / 10000.0, static_cast<unsigned long>(waited),
                        100.0 * (static_cast<double>(used) / 10000.0) / waited, stillWaiting ? 1 : 0);
            status = stillWaiting ? 0 : 1;
        } else {
            std::fprintf(stderr, "idle: the first target did not show\n");
        }
    }
    CleanUp(rig);
    return status;
}

struct PanelCase {
    const char* name;
    Panel panel;
    uint32_t noise;
};

int Accuracy()
{
    const PanelCase panels[] = {
        {"straight", Panel::Straight, 0},  {"mirror-x", Panel::MirrorX, 0},
        {"mirror-y", Panel::MirrorY, 0},   {"swapped", Panel::Swapped, 0},
        {"swapped+mirror-x", Panel::SwappedMirrored, 0}, {"noisy-12raw", Panel::Straight, 12},
    };
    struct Area {
        const char* name;
        RECT rect;
    };
    const Area areas[] = {
        {"1024x768", RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}},
        {"custom(160,96)-(880,676)", RECT{160, 96, 880, 676}},
    };
    Rig rig;
    int status = 0;
    for (const Area& area : areas) {
        for (const PanelCase& kind : panels) {
            int error = -1;
            bool ok = rig.Prepare(kind.panel);
            if (ok && kind.noise != 0) {
                touchsim::PanelConfig panel = MakePanel(kind.panel, touchsim::SystemDesktop().virtualScreen);
                panel.noise = kind.noise;
                ok = rig.Sim().SetPanel(kDeviceId, panel);
            }
            touch::TouchDeviceManager manager;
            calibrate::CalibrationInputs inputs;
            ok = ok && MakeInputs(manager, area.rect, &inputs);
            if (ok) {
                CalibrationWindowThread run(inputs);
                std::array<POINT, 3> raw = {};
                ok = run.Start() && TapTargets(run.Window(), rig, &raw) &&
                     WaitForPrompt(run.Window(), kPromptCheck, 30000);
                const HWND window = run.Window();
                ok = ok && AnswerUntil([&] { return PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0) != FALSE; },
                                       [&] { return run.Ended(0); }, 60000);
                ok = ok && MaxLandingError(rig, area.rect, &error);
            }
            std::printf("accuracy area %s panel %s max_error_px %d\n", area.name, kind.name, ok ? error : -1);
            if (!ok)
                status = 1;
            CleanUp(rig);
        }
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (!fw::InitCommonControlClasses()) {
        std::fprintf(stderr, "common controls: error %lu\n", GetLastError());
        return 1;
    }
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "startup" && argc == 5) {
        const std::wstring marksman(argv[2], argv[2] + std::char_traits<char>::length(argv[2]));
        const std::wstring smoke(argv[3], argv[3] + std::char_traits<char>::length(argv[3]));
        return Startup(marksman, smoke, std::atoi(argv[4]));
    }
    if (mode == "idle" && argc == 3)
        return Idle(static_cast<DWORD>(std::atoi(argv[2])));
    if (mode == "accuracy" && argc == 2)
        return Accuracy();
    std::fprintf(stderr, "usage: MarksmanBench.exe startup <Marksman.exe> <FrameworkSmoke.exe> <runs> | idle <s> | accuracy\n");
    return 2;
}
