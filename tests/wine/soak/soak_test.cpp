// Repeated use of the shipped programs and of device discovery, measured by the counters of
// ProcessCounters.h: after a warm-up, N cycles must leave every counter where it was.
#include "SoakSupport.h"

#include "device/TouchDeviceManager.h"
#include "simulator/SimProtocol.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/calibration/CalibrationScenario.h"
#include "tests/wine/device/SimulatedControllers.h"
#include "tests/wine/setwell/SetwellSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <string>

#ifndef SCRIBE_PATH
#error SCRIBE_PATH must name the built Scribe.exe
#endif

using namespace qelvo::test;

namespace {

// ---- the counters themselves

TEST(SoakCounters, EachCounterSeesTheProbesObjectsComeAndGo)
{
    const soak::Proof& proof = soak::CounterProof();
    std::string text = "\nCounter proof: rise after the probe made 64 objects / change after it freed them\n\n";
    for (const std::string& name : soak::CounterNames()) {
        auto row = proof.find(name);
        char line[120];
        if (row == proof.end())
            std::snprintf(line, sizeof line, "| %-18s | not measured   | not measurable |\n", name.c_str());
        else
            std::snprintf(line, sizeof line, "| %-18s | %+4lld / %+4lld    | %-14s |\n", name.c_str(), row->second.rise,
                          row->second.afterFree, row->second.measurable ? "measurable" : "not measurable");
        text += line;
        EXPECT_TRUE(row != proof.end() && row->second.measurable) << name << " is not measurable";
    }
    soak::Report(text);
}

// ---- Scribe: strokes, clearing, minimising and restoring

const COLORREF kStroke = RGB(0, 0, 160);

// Within 6 px: after a restore Wine's idea of the client origin may be a few pixels off the
// picture on the screen (no window manager places the frame).
bool StrokeNear(POINT p)
{
    const RECT r = {p.x - 6, p.y - 6, p.x + 7, p.y + 7};
    std::vector<unsigned char> rgb;
    if (!CaptureScreenRgb(r, rgb))
        return false;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        if (RGB(rgb[i], rgb[i + 1], rgb[i + 2]) == kStroke)
            return true;
    }
    return false;
}

TEST(SoakScribe, DrawClearMinimiseRestore)
{
    const std::wstring path = caltest::WinePath(SCRIBE_PATH);
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMAXIMIZED;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                               &info))
        << GetLastError();
    CloseHandle(info.hThread);
    struct Ender {
        HANDLE process;
        ~Ender()
        {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 10000);
            }
            CloseHandle(process);
        }
    } ender{info.hProcess};
    HWND window = WaitForWindow({L"QelvoScribe", nullptr, info.dwProcessId}, 60000);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitFor([&] { return IsZoomed(window) != FALSE; }, 30000));

    // The client area on the screen, once it stays put between two looks (Wine may place a
    // maximised window once more after showing it).
    RECT client = {};
    POINT origin = {0, 0};
    auto settle = [&] {
        RECT lastClient = {-1, -1, -1, -1};
        POINT lastOrigin = {-1, -1};
        return WaitFor(
            [&] {
                origin = POINT{0, 0};
                if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin))
                    return false;
                const bool same = EqualRect(&client, &lastClient) && origin.x == lastOrigin.x &&
                                  origin.y == lastOrigin.y;
                lastClient = client;
                lastOrigin = origin;
                return same;
            },
            30000, 100);
    };
    auto minimiseAndRestore = [&] {
        if (!PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0) ||
            !WaitFor([&] { return IsIconic(window) != FALSE; }, 10000)) {
            ADD_FAILURE() << "not minimised";
            return false;
        }
        if (!PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0) ||
            !WaitFor([&] { return !IsIconic(window) && IsZoomed(window); }, 10000) || !settle()) {
            ADD_FAILURE() << "not restored: iconic " << IsIconic(window) << ", zoomed " << IsZoomed(window)
                          << "; screen in "
                          << testing::PrintToString(CaptureScreenPng(L"soak-scribe-restore.png"));
            return false;
        }
        return true;
    };
    ASSERT_TRUE(settle());
    const int warmUp = 2;
    const int last = warmUp + soak::Cycles() - 1;
    auto cycle = [&](int i) {
        if (!BringToFront(window))
            return false;
        // Away from the crosshairs (a tenth of the size in from the edges and the centre).
        const LONG w = client.right, h = client.bottom;
        const POINT from = {origin.x + w * 3 / 10 + (i % 7) * 5, origin.y + h * 3 / 10};
        const POINT to = {origin.x + w * 4 / 10, origin.y + h * 4 / 10 - (i % 5) * 5};
        const POINT middle = {(from.x + to.x) / 2, (from.y + to.y) / 2};
        // A press lost on the busy machine is lost as a user's would be: the stroke is drawn
        // again, three tries in all.
        bool drawn = false;
        for (int attempt = 0; attempt < 3 && !drawn; ++attempt)
            drawn = Drag(from, to) && WaitFor([&] { return StrokeNear(from) && StrokeNear(to); }, 5000, 50);
        if (!drawn) {
            ADD_FAILURE() << "stroke " << i << " not drawn from " << from.x << "," << from.y << " to " << to.x << ","
                          << to.y << "; foreground " << (GetForegroundWindow() == window) << "; screen in "
                          << testing::PrintToString(CaptureScreenPng(L"soak-scribe-stroke.png"));
            return false;
        }
        bool cleared = false;
        for (int attempt = 0; attempt < 3 && !cleared; ++attempt)
            cleared = Click(POINT{origin.x + w * 6 / 10, origin.y + h * 7 / 10}, true) &&
                      WaitFor([&] { return !StrokeNear(from) && !StrokeNear(middle) && !StrokeNear(to); }, 5000, 50);
        if (!cleared) {
            ADD_FAILURE() << "stroke " << i << " not cleared by the right button";
            return false;
        }
        // Minimised and restored at the end of the warm-up and of the cycles.
        return (i != warmUp - 1 && i != last) || minimiseAndRestore();
    };
    soak::MeasureCycles("Scribe.exe: drag and right-click clear, then minimise and restore", info.dwProcessId, warmUp,
                        cycle);

    ASSERT_TRUE(BringToFront(window));
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 15000), WAIT_OBJECT_0) << "Esc did not close Scribe";
}

// ---- Setwell: settings changed and applied, every tab shown, the About page repainted

const uint32_t kSetwellId = 0x21;
const wchar_t kSetwellName[] = L"\\Device\\SoakSetwell";
const wchar_t kSetwellNode[] = L"USB\\VID_0EEF&PID_0001\\SOAKSW";
const uint32_t kReload = touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_RELOAD_SETTINGS);

TEST(SoakSetwell, ApplyEveryTabAndAboutRepaint)
{
    using namespace setwelltest;
    SimulatedControllers sim;
    ASSERT_TRUE(sim.Start()) << sim.sim.LastError();
    DoubleClickSettings saved;
    ASSERT_TRUE(ReadDoubleClick(&saved));
    struct Restore {
        SimulatedControllers& sim;
        DoubleClickSettings saved;
        ~Restore()
        {
            SetDoubleClick(saved);
            sim.Clear();
        }
    } restore{sim, saved};
    ASSERT_TRUE(sim.sim.AddController(kSetwellId, kSetwellName, touchsim::StraightPanel(touchsim::Rect32{0, 0, 1024, 768})));
    ASSERT_TRUE(sim.AddNode(kSetwellNode, kSetwellName, L"Qelvo Ltd", L"Qelvo USB Touch"));
    ASSERT_TRUE(sim.sim.ClearHistory());

    Setwell setwell;
    ASSERT_TRUE(setwell.Start());
    HWND dialog = setwell.WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    Pages pages;
    ASSERT_TRUE(FindPages(dialog, &pages));

    auto reloads = [&] {
        touchsim::SimControllerState state = {};
        return sim.sim.GetState(kSetwellId, &state) ? state.requests[kReload] : 0xFFFFFFFFu;
    };
    int lastBeep = 2, lastMode = 3;  // what an empty key shows
    auto cycle = [&](int i) {
        const int beep = (lastBeep + 1 + i % 2) % 3;
        if (!SelectTab(dialog, 2) || !PickListRow(pages.sound, kBeepMode, beep)) {
            ADD_FAILURE() << "cycle " << i << ": beep mode " << beep;
            return false;
        }
        lastBeep = beep;
        if (i % 5 == 0) {
            const int mode = (lastMode + 1) % 4;
            if (!SelectTab(dialog, 1) ||
                !PressUntil(pages.touchMode, kModeFirst + mode, [&] { return CheckedMode(pages.touchMode) == mode; })) {
                ADD_FAILURE() << "cycle " << i << ": click mode " << mode;
                return false;
            }
            lastMode = mode;
        }
        const uint32_t before = reloads();
        if (!PressUntil(dialog, kApply, [&] { return reloads() != before; }) || reloads() != before + 1) {
            ADD_FAILURE() << "cycle " << i << ": Apply gave " << reloads() - before << " reloads";
            return false;
        }
        for (int tab = 0; tab < 4; ++tab) {
            if (!SelectTab(dialog, tab)) {
                ADD_FAILURE() << "cycle " << i << ": tab " << tab;
                return false;
            }
        }
        // The About page is showing now: repainted whole, and the dialog still answers after it.
        if (!RedrawWindow(pages.about, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN) ||
            SendMessageTimeoutW(pages.about, WM_NULL, 0, 0, SMTO_BLOCK, 10000, nullptr) == 0) {
            ADD_FAILURE() << "cycle " << i << ": About repaint";
            return false;
        }
        return true;
    };
    // The click mode changes every fifth cycle: five of warm-up, and settled over five in a row
    // (Wine's cache of device contexts was seen to grow after two unchanged cycles).
    uint32_t reloadsBefore = 0;
    soak::MeasureCycles("Setwell.exe: beep mode (click mode every fifth), Apply, every tab, About repaint",
                        setwell.Id(), 5, cycle, [&] { reloadsBefore = reloads(); }, {}, 5);
    EXPECT_EQ(reloads() - reloadsBefore, static_cast<uint32_t>(soak::Cycles())) << "one reload per Apply";

    // The key and the system hold what the last cycle applied.
    StoredValue values[6];
    DWORD error = 0;
    ASSERT_TRUE(ReadSettings(kSetwellNode, values, &error)) << error;
    EXPECT_EQ(values[0].value, static_cast<uint32_t>(lastBeep)) << "BeepMode";
    EXPECT_EQ(values[3].value, static_cast<uint32_t>(lastMode)) << "MouseMode";
    EXPECT_EQ(values[5].value, 25u) << "DblClkRegion";
    DoubleClickSettings now;
    ASSERT_TRUE(ReadDoubleClick(&now));
    const DoubleClickSettings expected = lastMode == 3 ? DoubleClickSettings{25, 25, 800} : DoubleClickSettings{5, 5, 400};
    EXPECT_EQ(now.width, expected.width);
    EXPECT_EQ(now.height, expected.height);
    EXPECT_EQ(now.time, expected.time);
    ASSERT_TRUE(PressUntil(dialog, IDCANCEL, [&] { return !setwell.Proc().IsRunning(); }));
}

// ---- device discovery in this process: every open paired with its close

// Opens and closes of the control device, device-information sets and driver keys, counted at
// this program's imports while `counting` is set.
struct OpenCounts {
    bool counting = false;
    long opens = 0, closes = 0;
    std::set<void*> open;
    void Opened(void* h)
    {
        if (!counting)
            return;
        ++opens;
        open.insert(h);
    }
    bool Closed(void* h)
    {
        if (!counting || open.erase(h) == 0)
            return false;
        ++closes;
        return true;
    }
};
OpenCounts g_counts;

struct Originals {
    decltype(&::CreateFileW) createFile;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::SetupDiGetClassDevsW) getClassDevs;
    decltype(&::SetupDiDestroyDeviceInfoList) destroyList;
    decltype(&::SetupDiOpenDevRegKey) openDevRegKey;
    decltype(&::RegCloseKey) regCloseKey;
} g_original;

HANDLE WINAPI CountedCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD how,
                                DWORD flags, HANDLE tmpl)
{
    HANDLE h = g_original.createFile(name, access, share, sa, how, flags, tmpl);
    const DWORD error = ::GetLastError();
    if (h != INVALID_HANDLE_VALUE)
        g_counts.Opened(h);
    ::SetLastError(error);
    return h;
}
BOOL WINAPI CountedCloseHandle(HANDLE h)
{
    g_counts.Closed(h);
    return g_original.closeHandle(h);
}
HDEVINFO WINAPI CountedGetClassDevs(const GUID* guid, PCWSTR enumerator, HWND parent, DWORD flags)
{
    HDEVINFO set = g_original.getClassDevs(guid, enumerator, parent, flags);
    const DWORD error = ::GetLastError();
    if (set != INVALID_HANDLE_VALUE)
        g_counts.Opened(set);
    ::SetLastError(error);
    return set;
}
BOOL WINAPI CountedDestroyList(HDEVINFO set)
{
    g_counts.Closed(set);
    return g_original.destroyList(set);
}
HKEY WINAPI CountedOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD scope, DWORD profile, DWORD type,
                                 REGSAM access)
{
    HKEY key = g_original.openDevRegKey(set, data, scope, profile, type, access);
    const DWORD error = ::GetLastError();
    if (key != INVALID_HANDLE_VALUE)
        g_counts.Opened(key);
    ::SetLastError(error);
    return key;
}
LONG WINAPI CountedRegCloseKey(HKEY key)
{
    g_counts.Closed(key);
    return g_original.regCloseKey(key);
}

template <class F>
bool Patch(const char* dll, const char* function, F replacement, F* original)
{
    void* old = PatchImport(::GetModuleHandleW(nullptr), dll, function, reinterpret_cast<void*>(replacement));
    *original = reinterpret_cast<F>(old);
    return old != nullptr;
}

TEST(SoakDeviceDiscovery, InitialiseSelectOpenKeyReleaseUnderRandomFaults)
{
    SimulatedControllers sim;
    ASSERT_TRUE(sim.Start()) << sim.sim.LastError();
    ASSERT_TRUE(sim.AddController(101, L"\\Device\\SoakSim1"));
    ASSERT_TRUE(sim.AddController(102, L"\\Device\\SoakSim2"));
    ASSERT_TRUE(sim.AddNode(L"USB\\VID_0EEF&PID_0001\\SOAK1", L"\\Device\\SoakSim1", L"Qelvo Ltd", L"Qelvo USB Touch 1"));
    ASSERT_TRUE(sim.AddNode(L"USB\\VID_0EEF&PID_0001\\SOAK2", L"\\Device\\SoakSim2", L"Qelvo Ltd", L"Qelvo USB Touch 2"));

    ASSERT_TRUE(Patch("kernel32.dll", "CreateFileW", &CountedCreateFile, &g_original.createFile));
    ASSERT_TRUE(Patch("kernel32.dll", "CloseHandle", &CountedCloseHandle, &g_original.closeHandle));
    ASSERT_TRUE(Patch("setupapi.dll", "SetupDiGetClassDevsW", &CountedGetClassDevs, &g_original.getClassDevs));
    ASSERT_TRUE(Patch("setupapi.dll", "SetupDiDestroyDeviceInfoList", &CountedDestroyList, &g_original.destroyList));
    ASSERT_TRUE(Patch("setupapi.dll", "SetupDiOpenDevRegKey", &CountedOpenDevRegKey, &g_original.openDevRegKey));
    ASSERT_TRUE(Patch("advapi32.dll", "RegCloseKey", &CountedRegCloseKey, &g_original.regCloseKey));
    struct Unpatch {
        ~Unpatch()
        {
            HMODULE self = ::GetModuleHandleW(nullptr);
            PatchImport(self, "kernel32.dll", "CreateFileW", reinterpret_cast<void*>(g_original.createFile));
            PatchImport(self, "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(g_original.closeHandle));
            PatchImport(self, "setupapi.dll", "SetupDiGetClassDevsW", reinterpret_cast<void*>(g_original.getClassDevs));
            PatchImport(self, "setupapi.dll", "SetupDiDestroyDeviceInfoList",
                        reinterpret_cast<void*>(g_original.destroyList));
            PatchImport(self, "setupapi.dll", "SetupDiOpenDevRegKey", reinterpret_cast<void*>(g_original.openDevRegKey));
            PatchImport(self, "advapi32.dll", "RegCloseKey", reinterpret_cast<void*>(g_original.regCloseKey));
        }
    } unpatch;

    struct Fault {
        const char* what;
        uint32_t code;
        touchsim::SimFaultKind kind;
        uint32_t value;
    };
    const Fault faults[] = {
        {"none", 0, touchsim::kFaultError, 0},
        {"count fails", touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultError, ERROR_ACCESS_DENIED},
        {"count short", touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultByteCount, 3},
        {"list fails", touch::IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultError, ERROR_GEN_FAILURE},
        {"list header only", touch::IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultByteCount, 8},
        {"list count above request", touch::IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultListCount, 1},
    };
    std::mt19937 random(19);
    long faulted = 0, clean = 0;
    touch::TouchDeviceManager manager;
    auto cycle = [&](int i) {
        const Fault& f = faults[random() % (sizeof faults / sizeof faults[0])];
        if (f.code != 0 && !sim.sim.InjectFault(f.code, f.kind, 1, f.value))
            return false;
        g_counts.counting = true;
        const bool initialised = manager.Initialize();
        bool selected = false, keyed = false;
        if (initialised) {
            selected = manager.SelectByName(L"\\Device\\SoakSim2");
            HKEY key = nullptr;
            keyed = manager.OpenDeviceKey(&key);
            if (keyed)
                manager.CloseDeviceKey(key);
        }
        manager.Release();
        g_counts.counting = false;
        touchsim::SimSummary summary = {};
        const bool reached = sim.sim.GetSummary(&summary) && summary.pendingFaults == 0;
        sim.sim.ClearFaults();
        (f.code != 0 ? faulted : clean) += 1;
        const bool expected = f.code != 0 ? !initialised && reached : initialised && selected && keyed;
        EXPECT_TRUE(expected) << "cycle " << i << " (" << f.what << "): initialised " << initialised << ", selected "
                              << selected << ", key " << keyed << ", fault reached " << reached;
        EXPECT_TRUE(g_counts.open.empty()) << "cycle " << i << " (" << f.what << "): " << g_counts.open.size()
                                           << " left open";
        return expected && g_counts.open.empty();
    };
    soak::MeasureCycles("Device discovery in-process: initialise, select, open key, release, random faults",
                        ::GetCurrentProcessId(), 2, cycle);
    char line[160];
    std::snprintf(line, sizeof line, "opens %ld, closes %ld (control device, device sets, driver keys); %ld cycles "
                                     "with a fault, %ld without\n",
                  g_counts.opens, g_counts.closes, faulted, clean);
    soak::Report(line);
    EXPECT_EQ(g_counts.opens, g_counts.closes);
    EXPECT_GT(g_counts.opens, 0);
}

// ---- Marksman: rejected tries in one run, and runs closed from outside

#ifndef MARKSMAN_PATH
#error MARKSMAN_PATH must name the built Marksman.exe
#endif

class SoakMarksman : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Prepare(caltest::Panel::Straight)) << rig.Sim().LastError(); }
    void TearDown() override
    {
        if (marksman->IsRunning())
            marksman->Terminate();
        rig.Sim().Reset();
        DWORD error = 0;
        touchsim::RemoveAllDeviceNodes(&error);
    }

    void Launch()
    {
        marksman.reset(new Process);
        ASSERT_TRUE(marksman->Start(L"\"" + caltest::WinePath(MARKSMAN_PATH) + L"\" " + caltest::kObjectName));
        dialog = WaitForWindow({L"#32770", nullptr, marksman->Id()}, 60000);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(caltest::WaitForPrompt(dialog, caltest::kPromptTarget[0], 60000));
    }

    // The state every end must leave: the user's mode, nothing stored, the mutex free.
    void ExpectLeftClean(const char* what)
    {
        touchsim::SimControllerState state = {};
        ASSERT_TRUE(rig.State(&state));
        EXPECT_EQ(state.mode, caltest::kInitialMode) << what;
        EXPECT_TRUE(caltest::NothingStored()) << what;
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Marksman");
        EXPECT_EQ(mutex, nullptr) << what << ": the \"Marksman\" mutex outlived the program";
        if (mutex != nullptr)
            CloseHandle(mutex);
    }

    caltest::Rig rig;
    std::unique_ptr<Process> marksman{new Process};
    HWND dialog = nullptr;
};

TEST_F(SoakMarksman, RejectedTriesInOneRun)
{
    ASSERT_NO_FATAL_FAILURE(Launch());
    auto cycle = [&](int i) {
        std::array<POINT, 3> raw = {};
        if (!caltest::TapTargets(dialog, rig, &raw) || !caltest::WaitForPrompt(dialog, caltest::kPromptCheck, 30000)) {
            ADD_FAILURE() << "try " << i << ": targets";
            return false;
        }
        if (!BringToFront(dialog) ||
            !caltest::AnswerUntil([] { return SendKey(VK_ESCAPE); },
                                  [&] { return ItemText(dialog, 1003) == caltest::kPromptTarget[0]; }, 60000) ||
            !caltest::WaitForPrompt(dialog, caltest::kPromptTarget[0], 30000)) {
            ADD_FAILURE() << "try " << i << ": Esc did not start the targets again";
            return false;
        }
        return true;
    };
    soak::MeasureCycles("Marksman.exe: rejected tries (three targets, Esc at the try)", marksman->Id(), 1, cycle);
    ASSERT_TRUE(BringToFront(dialog));
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    ASSERT_TRUE(marksman->WaitForExit(30000));
    ExpectLeftClean("after the rejected tries");
}

TEST_F(SoakMarksman, ClosedFromOutsideAtRandomMoments)
{
    std::mt19937 random(23);
    const int n = soak::Cycles();
    DWORD slowest = 0;
    int atMoment[5] = {};
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(testing::Message() << "close " << i);
        ASSERT_NO_FATAL_FAILURE(Launch());
        // The moment: at the first target, gliding to the second, at the second, gliding to the
        // third, or at the try.
        const int moment = static_cast<int>(random() % 5);
        ++atMoment[moment];
        const int taps[5] = {0, 1, 1, 2, 3};
        for (int t = 0; t < taps[moment]; ++t) {
            POINT raw = {};
            ASSERT_TRUE(caltest::WaitForPrompt(dialog, caltest::kPromptTarget[t], 30000));
            ASSERT_TRUE(rig.Tap(caltest::TargetCentre(dialog), &raw));
        }
        if (moment == 2) {
            ASSERT_TRUE(caltest::WaitForPrompt(dialog, caltest::kPromptTarget[1], 30000));
        } else if (moment == 4) {
            ASSERT_TRUE(caltest::WaitForPrompt(dialog, caltest::kPromptCheck, 30000));
        }
        // A random instant inside that moment (not a wait for anything).
        Sleep(random() % 400);
        const DWORD asked = GetTickCount();
        ASSERT_TRUE(PostMessageW(dialog, WM_CLOSE, 0, 0)) << GetLastError();
        const bool ended = marksman->WaitForExit(5000);
        const DWORD took = GetTickCount() - asked;
        slowest = std::max(slowest, took);
        ASSERT_TRUE(ended) << "moment " << moment << ": still running 5 s after WM_CLOSE";
        ASSERT_NO_FATAL_FAILURE(ExpectLeftClean("closed from outside"));
    }
    char line[400];
    std::snprintf(line, sizeof line,
                  "\nMarksman.exe closed from outside %d times (%d at the first target, %d gliding to the second, %d "
                  "at the second, %d gliding to the third, %d at the try): each ended, slowest %lu ms; mode "
                  "restored, nothing stored, mutex free\n",
                  n, atMoment[0], atMoment[1], atMoment[2], atMoment[3], atMoment[4], static_cast<unsigned long>(slowest));
    soak::Report(line);
}

// A driver that holds the calibration-state request: Esc must end the program within the hold
// plus 5 s, leave nothing stored and the mutex free.
TEST_F(SoakMarksman, StalledRequestEndsSoonAfterEsc)
{
    const uint32_t kStallMs = 8000;
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(rig.Sim().StallRequests(touch::IOCTL_TOUCH_GET_CAL_STATE, kStallMs)) << rig.Sim().LastError();
    ASSERT_TRUE(WaitFor(
        [&] {
            touchsim::SimSummary summary = {};
            return rig.Sim().GetSummary(&summary) && summary.stalledRequests == 1;
        },
        10000))
        << "the worker never reached the stalled request";
    ASSERT_TRUE(BringToFront(dialog));
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    const bool ended = marksman->WaitForExit(kStallMs + 5000);
    const DWORD took = GetTickCount() - pressed;
    ASSERT_TRUE(ended) << "still running " << kStallMs + 5000 << " ms after Esc";
    EXPECT_TRUE(caltest::NothingStored());
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Marksman");
    EXPECT_EQ(mutex, nullptr) << "the \"Marksman\" mutex outlived the program";
    if (mutex != nullptr)
        CloseHandle(mutex);
    touchsim::SimControllerState state = {};
    ASSERT_TRUE(rig.State(&state));
    char line[160];
    std::snprintf(line, sizeof line,
                  "\nMarksman.exe with the calibration-state request held %lu ms: ended %lu ms after Esc; driver mode "
                  "then %lu\n",
                  static_cast<unsigned long>(kStallMs), static_cast<unsigned long>(took),
                  static_cast<unsigned long>(state.mode));
    soak::Report(line);
}

} // namespace
