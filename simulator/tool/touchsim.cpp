// touchsim: installs, starts and stops the simulated touch driver and the PnP fixture in a Wine
// prefix, configures controllers and device nodes, taps, injects faults and prints the driver's
// state as "word key=value ..." lines. Exit code 0 on success, 1 on a failure, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "simulator/FixtureRegistry.h"
#include "simulator/client/SimClient.h"

namespace {

using namespace touchsim;

const wchar_t kUsage[] =
    L"usage: touchsim <command> [arguments]\n"
    L"\n"
    L"Prefix set-up (run inside the prefix with wine64):\n"
    L"  install [--dir DIR] [--no-fixture]  copy TouchSim.sys (and the setupapi.dll stand-in) from DIR\n"
    L"                                  (default: touchsim.exe's folder), register and start service\n"
    L"                                  TouchSim, enable the PnP fixture (setupapi=native,builtin)\n"
    L"  uninstall                       stop and delete the service, restore the real SetupAPI\n"
    L"  start | stop                    start or stop the driver service\n"
    L"  status                          'status open=1' when \\\\.\\VOVUDA opens, else open=0 error=N\n"
    L"\n"
    L"Controllers (ids are decimal or 0x hex):\n"
    L"  reset                           forget controllers, faults and records; desktop 1024x768/32767\n"
    L"  desktop auto | L T R B [FULL]   desktop geometry: this session's virtual screen and full scale,\n"
    L"                                  or given (FULL default 32767)\n"
    L"  add ID NAME [PANEL...]          add or replace a controller with device object name NAME\n"
    L"  panel ID PANEL...               change a controller's panel\n"
    L"  remove ID                       remove a controller\n"
    L"    PANEL: area=L,T,R,B (default: the desktop)  raw=XMIN,XMAX,YMIN,YMAX (default 0,4095,0,4095)\n"
    L"           mirror=none|x|y|xy  swap=0|1  noise=N (raw units)  seed=N\n"
    L"  expect ID                       the calibration record and screen range that match the panel\n"
    L"\n"
    L"Touches:\n"
    L"  tap ID X Y                      complete a touch at desktop point X,Y (through the panel)\n"
    L"  tap-raw ID RX RY                complete a touch at a raw point\n"
    L"  map ID X Y | map-raw ID RX RY   where that point would land, without a touch\n"
    L"  follow ID [SECONDS]             turn left-button releases of the mouse into touches at the\n"
    L"                                  cursor (until SECONDS passed, or forever)\n"
    L"    tap, map and follow print: touch id=ID raw=RX,RY land=X,Y\n"
    L"\n"
    L"Faults:\n"
    L"  fault CODE KIND COUNT [VALUE]   the next COUNT requests of CODE are affected (COUNT 0 removes)\n"
    L"    CODE: set-calibration get-mode set-mode get-cal-state reset-cal-state reload\n"
    L"          set-screen-range get-device-list get-device-count, or the code's value;\n"
    L"          open (with error: \\\\.\\VOVUDA disappears, so that opening it fails as without\n"
    L"          a driver, until a handle to it is closed: for tests that keep one open)\n"
    L"    KIND: error (fail with Windows error VALUE)  bytes (report VALUE bytes)\n"
    L"          listcount (list count = requested + VALUE; device count = count + VALUE)\n"
    L"          state (calibration state = VALUE)\n"
    L"  fault CODE stall MS [COUNT]     the next COUNT (default 1) requests of CODE do not return\n"
    L"                                  for MS milliseconds; a reset or faults-clear serves them\n"
    L"  faults-clear                    remove all faults\n"
    L"\n"
    L"Read-back:\n"
    L"  state [ID]                      summary line, then per controller: controller, calibration,\n"
    L"                                  range, modes, calhistory, rangehistory, requests, panel lines\n"
    L"  history-clear                   zero request counters and histories\n"
    L"\n"
    L"Device nodes of the PnP fixture:\n"
    L"  node add INSTANCEID [name=OBJECTNAME] [mfg=TEXT] [desc=TEXT] [nodriverkey]\n"
    L"           [nameerror=E] [nametype=T] [mfgerror=E] [descerror=E]\n"
    L"                                  create a USB device node (with its driver key unless\n"
    L"                                  nodriverkey); the fixture reports OBJECTNAME as its physical\n"
    L"                                  device object name; *error=E makes that property fail with E\n"
    L"  node remove INSTANCEID | node clear | node list\n"
    L"  demo N                          reset, desktop auto, N straight controllers (ids 1..N, names\n"
    L"                                  \\Device\\TouchSim<i>) each with a USB device node\n";

int Usage()
{
    fwprintf(stderr, L"%ls", kUsage);
    return 2;
}

int Failed(const wchar_t* what, DWORD error)
{
    fwprintf(stderr, L"touchsim: %ls failed, error %lu\n", what, error);
    return 1;
}

bool ParseInt(const std::wstring& text, int64_t* value)
{
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    long long v = wcstoll(text.c_str(), &end, 0);
    if (end == nullptr || *end != 0)
        return false;
    *value = v;
    return true;
}

bool ParseU32(const std::wstring& text, uint32_t* value)
{
    int64_t v = 0;
    if (!ParseInt(text, &v) || v < 0 || v > 0xFFFFFFFFll)
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool ParseI32(const std::wstring& text, int32_t* value)
{
    int64_t v = 0;
    if (!ParseInt(text, &v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    *value = static_cast<int32_t>(v);
    return true;
}

bool ParseList(const std::wstring& text, int32_t* values, size_t count)
{
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t comma = text.find(L',', start);
        if ((comma == std::wstring::npos) != (i + 1 == count))
            return false;
        if (!ParseI32(text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start),
                      &values[i]))
            return false;
        start = comma + 1;
    }
    return true;
}

bool ParsePanel(const std::vector<std::wstring>& args, size_t first, PanelConfig* panel)
{
    for (size_t i = first; i < args.size(); ++i) {
        size_t eq = args[i].find(L'=');
        if (eq == std::wstring::npos)
            return false;
        std::wstring key = args[i].substr(0, eq);
        std::wstring value = args[i].substr(eq + 1);
        if (key == L"area") {
            if (!ParseList(value, &panel->area.left, 4))
                return false;
        } else if (key == L"raw") {
            int32_t v[4];
            if (!ParseList(value, v, 4))
                return false;
            panel->rawMinX = v[0];
            panel->rawMaxX = v[1];
            panel->rawMinY = v[2];
            panel->rawMaxY = v[3];
        } else if (key == L"mirror") {
            if (value != L"none" && value != L"x" && value != L"y" && value != L"xy")
                return false;
            panel->mirrorX = value.find(L'x') != std::wstring::npos;
            panel->mirrorY = value.find(L'y') != std::wstring::npos;
        } else if (key == L"swap") {
            if (!ParseU32(value, &panel->swapXY))
                return false;
        } else if (key == L"noise") {
            if (!ParseU32(value, &panel->noise))
                return false;
        } else if (key == L"seed") {
            if (!ParseU32(value, &panel->seed))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

struct CodeName {
    const wchar_t* name;
    uint32_t code;
};

const CodeName kCodes[] = {
    {L"set-calibration", touch::IOCTL_TOUCH_SET_CALIBRATION},
    {L"get-mode", touch::IOCTL_TOUCH_GET_MODE},
    {L"set-mode", touch::IOCTL_TOUCH_SET_MODE},
    {L"get-cal-state", touch::IOCTL_TOUCH_GET_CAL_STATE},
    {L"reset-cal-state", touch::IOCTL_TOUCH_RESET_CAL_STATE},
    {L"reload", touch::IOCTL_TOUCH_RELOAD_SETTINGS},
    {L"set-screen-range", touch::IOCTL_TOUCH_SET_SCREEN_RANGE},
    {L"get-device-list", touch::IOCTL_TOUCH_GET_DEVICE_LIST},
    {L"get-device-count", touch::IOCTL_TOUCH_GET_DEVICE_COUNT},
    {L"open", kSimOpenCode},
};

const wchar_t* CodeNameOf(uint32_t index)
{
    for (const CodeName& c : kCodes) {
        if (SuiteCodeIndex(c.code) == index)
            return c.name;
    }
    return L"?";
}

bool ParseCode(const std::wstring& text, uint32_t* code)
{
    for (const CodeName& c : kCodes) {
        if (text == c.name) {
            *code = c.code;
            return true;
        }
    }
    return ParseU32(text, code);
}

std::wstring Name(const uint16_t* units)
{
    std::wstring s;
    for (uint32_t i = 0; i < touch::kObjectNameUnits && units[i] != 0; ++i)
        s.push_back(static_cast<wchar_t>(units[i]));
    return s;
}

void PrintCalibration(const wchar_t* word, uint32_t id, const wchar_t* extra, const touch::CalibrationRecord& c)
{
    wprintf(L"%ls id=%lu %lsXLow=%ld YLow=%ld XHigh=%ld YHigh=%ld SwapXY=%lu\n", word, (unsigned long)id, extra,
            (long)c.XLow, (long)c.YLow, (long)c.XHigh, (long)c.YHigh, (unsigned long)c.SwapXY);
}

void PrintRange(const wchar_t* word, uint32_t id, const wchar_t* extra, const touch::ScreenRangeRecord& r)
{
    wprintf(L"%ls id=%lu %lsXMin=%ld XRange=%ld YMin=%ld YRange=%ld\n", word, (unsigned long)id, extra,
            (long)r.XMin, (long)r.XRange, (long)r.YMin, (long)r.YRange);
}

void PrintPanel(uint32_t id, const PanelConfig& p)
{
    const wchar_t* mirror = p.mirrorX && p.mirrorY ? L"xy" : p.mirrorX ? L"x" : p.mirrorY ? L"y" : L"none";
    wprintf(L"panel id=%lu area=%ld,%ld,%ld,%ld raw=%ld,%ld,%ld,%ld mirror=%ls swap=%lu noise=%lu seed=%lu\n",
            (unsigned long)id, (long)p.area.left, (long)p.area.top, (long)p.area.right, (long)p.area.bottom,
            (long)p.rawMinX, (long)p.rawMaxX, (long)p.rawMinY, (long)p.rawMaxY, mirror, (unsigned long)p.swapXY,
            (unsigned long)p.noise, (unsigned long)p.seed);
}

void PrintState(const SimControllerState& s)
{
    unsigned long id = s.deviceId;
    wprintf(L"controller id=%lu name=%ls mode=%lu calstate=0x%lx raw=%ld,%ld touches=%lu reloads=%lu\n", id,
            Name(s.objectName).c_str(), (unsigned long)s.mode, (unsigned long)s.calState, (long)s.rawX,
            (long)s.rawY, (unsigned long)s.touchCount, (unsigned long)s.reloadCount);
    wchar_t extra[32];
    swprintf(extra, 32, L"sent=%lu ", (unsigned long)s.calibrationSent);
    PrintCalibration(L"calibration", s.deviceId, extra, s.calibration);
    swprintf(extra, 32, L"sent=%lu ", (unsigned long)s.rangeSent);
    PrintRange(L"range", s.deviceId, extra, s.range);
    std::wstring history;
    uint32_t n = s.modeHistoryCount < kModeHistory ? s.modeHistoryCount : kModeHistory;
    for (uint32_t i = 0; i < n; ++i)
        history += (i ? L"," : L"") + std::to_wstring(s.modeHistory[i]);
    wprintf(L"modes id=%lu count=%lu history=%ls\n", id, (unsigned long)s.modeHistoryCount, history.c_str());
    n = s.calibrationHistoryCount < kRecordHistory ? s.calibrationHistoryCount : kRecordHistory;
    for (uint32_t i = 0; i < n; ++i) {
        swprintf(extra, 32, L"index=%lu ", (unsigned long)(s.calibrationHistoryCount - n + i));
        PrintCalibration(L"calhistory", s.deviceId, extra, s.calibrationHistory[i]);
    }
    n = s.rangeHistoryCount < kRecordHistory ? s.rangeHistoryCount : kRecordHistory;
    for (uint32_t i = 0; i < n; ++i) {
        swprintf(extra, 32, L"index=%lu ", (unsigned long)(s.rangeHistoryCount - n + i));
        PrintRange(L"rangehistory", s.deviceId, extra, s.rangeHistory[i]);
    }
    wprintf(L"requests id=%lu", id);
    for (uint32_t i = 0; i < kSuiteCodes; ++i)
        wprintf(L" %ls=%lu", CodeNameOf(i), (unsigned long)s.requests[i]);
    wprintf(L"\n");
    wprintf(L"sequence id=%lu runs=%lu order=", id, (unsigned long)s.requestRunCount);
    n = s.requestRunCount < kRequestRuns ? s.requestRunCount : kRequestRuns;
    for (uint32_t i = 0; i < n; ++i)
        wprintf(L"%ls%lsx%lu", i ? L"," : L"", CodeNameOf(SuiteCodeIndex(s.requestRuns[i].code)),
                (unsigned long)s.requestRuns[i].count);
    wprintf(L"\n");
    PrintPanel(s.deviceId, s.panel);
}

void PrintTouch(uint32_t id, const SimTouchResult& r)
{
    wprintf(L"touch id=%lu raw=%ld,%ld land=%ld,%ld\n", (unsigned long)id, (long)r.rawX, (long)r.rawY,
            (long)r.landX, (long)r.landY);
    fflush(stdout);
}

// --- prefix set-up -----------------------------------------------------------------------------

const wchar_t kService[] = L"TouchSim";

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE h) : h_(h) {}
    ~ServiceHandle() { if (h_ != nullptr) CloseServiceHandle(h_); }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE Get() const { return h_; }

private:
    SC_HANDLE h_;
};

std::wstring SystemDir()
{
    wchar_t dir[MAX_PATH];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::wstring(L"C:\\windows\\system32") : std::wstring(dir, n);
}

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    size_t slash = p.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : p.substr(0, slash);
}

int StartDriver()
{
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager.Get() == nullptr)
        return Failed(L"OpenSCManager", GetLastError());
    ServiceHandle service(OpenServiceW(manager.Get(), kService, SERVICE_ALL_ACCESS));
    if (service.Get() == nullptr)
        return Failed(L"OpenService", GetLastError());
    // Right after a prefix is made the service manager may still hold its database lock while
    // it starts the session's own services: retry that for a while.
    DWORD started = GetTickCount();
    while (!StartServiceW(service.Get(), 0, nullptr)) {
        DWORD e = GetLastError();
        if (e == ERROR_SERVICE_ALREADY_RUNNING)
            break;
        if (e != ERROR_SERVICE_DATABASE_LOCKED || GetTickCount() - started > 120000)
            return Failed(L"StartService", e);
        Sleep(250);
    }
    SimClient client;
    if (!client.Open())
        return Failed(L"opening \\\\.\\VOVUDA", client.LastError());
    wprintf(L"started\n");
    return 0;
}

int StopDriver()
{
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager.Get() == nullptr)
        return Failed(L"OpenSCManager", GetLastError());
    ServiceHandle service(OpenServiceW(manager.Get(), kService, SERVICE_ALL_ACCESS));
    if (service.Get() == nullptr)
        return Failed(L"OpenService", GetLastError());
    SERVICE_STATUS status = {};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD e = GetLastError();
        if (e != ERROR_SERVICE_NOT_ACTIVE)
            return Failed(L"stopping the service", e);
    }
    wprintf(L"stopped\n");
    return 0;
}

bool ReadWholeFile(const std::wstring& path, std::string* data)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    data->clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof(buffer), &got, nullptr) != FALSE) && got != 0)
        data->append(buffer, got);
    CloseHandle(file);
    return ok;
}

// Puts source at target without disturbing processes that have the old file mapped: copy beside
// it, then rename over it; a file that Wine will not replace while it is mapped as an image is
// renamed aside first. An identical target is left alone.
bool PlaceFile(const std::wstring& source, const std::wstring& target, DWORD* error)
{
    std::string wanted, present;
    if (!ReadWholeFile(source, &wanted)) {
        *error = GetLastError();
        return false;
    }
    if (ReadWholeFile(target, &present) && present == wanted)
        return true;
    std::wstring temp = target + L".new";
    if (!CopyFileW(source.c_str(), temp.c_str(), FALSE)) {
        *error = GetLastError();
        return false;
    }
    if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    std::wstring aside = target + L".old" + std::to_wstring(GetTickCount());
    if (MoveFileW(target.c_str(), aside.c_str()) && MoveFileW(temp.c_str(), target.c_str()))
        return true;
    *error = GetLastError();
    DeleteFileW(temp.c_str());
    return false;
}

bool SetOverride(const wchar_t* value)
{
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        return false;
    }
    if (value != nullptr)
        rc = RegSetValueExW(key, L"setupapi", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t)));
    else
        rc = RegDeleteValueW(key, L"setupapi");
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS && !(value == nullptr && rc == ERROR_FILE_NOT_FOUND)) {
        SetLastError(static_cast<DWORD>(rc));
        return false;
    }
    return true;
}

int Install(const std::vector<std::wstring>& args)
{
    std::wstring dir = ExeDir();
    bool fixture = true;
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == L"--dir" && i + 1 < args.size())
            dir = args[++i];
        else if (args[i] == L"--no-fixture")
            fixture = false;
        else
            return Usage();
    }
    std::wstring system = SystemDir();
    std::wstring sys = system + L"\\drivers\\TouchSim.sys";
    DWORD error = 0;
    if (!PlaceFile(dir + L"\\TouchSim.sys", sys, &error))
        return Failed(L"copying TouchSim.sys", error);

    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager.Get() == nullptr)
        return Failed(L"OpenSCManager", GetLastError());
    // A load-order group of its own gives the driver its own driver host under Wine, so that it
    // does not wait behind the session's other drivers (those of a fresh prefix can hold theirs).
    ServiceHandle created(CreateServiceW(manager.Get(), kService, kService, SERVICE_ALL_ACCESS,
                                         SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                         sys.c_str(), kService, nullptr, nullptr, nullptr, nullptr));
    if (created.Get() == nullptr) {
        DWORD e = GetLastError();
        if (e != ERROR_SERVICE_EXISTS)
            return Failed(L"CreateService", e);
        ServiceHandle existing(OpenServiceW(manager.Get(), kService, SERVICE_ALL_ACCESS));
        if (existing.Get() == nullptr
            || !ChangeServiceConfigW(existing.Get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_NORMAL, sys.c_str(), kService, nullptr, nullptr, nullptr,
                                     nullptr, nullptr))
            return Failed(L"updating the service", GetLastError());
    }

    if (fixture) {
        // The real SetupAPI moves aside once; the stand-in forwards to it under its new name.
        std::wstring real = system + L"\\" TOUCHSIM_REAL_SETUPAPI;
        std::wstring current = system + L"\\setupapi.dll";
        if (GetFileAttributesW(real.c_str()) == INVALID_FILE_ATTRIBUTES
            && !CopyFileW(current.c_str(), real.c_str(), TRUE))
            return Failed(L"keeping the real setupapi.dll", GetLastError());
        if (!PlaceFile(dir + L"\\setupapi.dll", current, &error))
            return Failed(L"placing the setupapi.dll stand-in", error);
        if (!SetOverride(L"native,builtin"))
            return Failed(L"setting the setupapi override", GetLastError());
    }
    // Wine's service manager gives a driver host a few seconds to come up, read when the session
    // starts; a busy machine needs longer. A longer time already set (an emulated prefix) stays.
    HKEY control = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, &control)
        == ERROR_SUCCESS) {
        DWORD timeout = 60000, present = 0, type = 0, size = sizeof(present);
        if (RegQueryValueExW(control, L"ServicesPipeTimeout", nullptr, &type, reinterpret_cast<BYTE*>(&present),
                             &size) != ERROR_SUCCESS
            || type != REG_DWORD || size != sizeof(present) || present < timeout)
            RegSetValueExW(control, L"ServicesPipeTimeout", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&timeout),
                           sizeof(timeout));
        RegCloseKey(control);
    }
    int rc = StartDriver();
    if (rc == 0)
        wprintf(L"installed fixture=%d\n", fixture ? 1 : 0);
    return rc;
}

int Uninstall()
{
    StopDriver();
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager.Get() == nullptr)
        return Failed(L"OpenSCManager", GetLastError());
    ServiceHandle service(OpenServiceW(manager.Get(), kService, SERVICE_ALL_ACCESS));
    if (service.Get() != nullptr && !DeleteService(service.Get()))
        return Failed(L"DeleteService", GetLastError());
    std::wstring system = SystemDir();
    DeleteFileW((system + L"\\drivers\\TouchSim.sys").c_str());
    std::wstring real = system + L"\\" TOUCHSIM_REAL_SETUPAPI;
    if (GetFileAttributesW(real.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DWORD error = 0;
        if (!PlaceFile(real, system + L"\\setupapi.dll", &error))
            return Failed(L"restoring setupapi.dll", error);
        DeleteFileW(real.c_str());
    }
    if (!SetOverride(nullptr))
        return Failed(L"removing the setupapi override", GetLastError());
    wprintf(L"uninstalled\n");
    return 0;
}

// --- follow the mouse --------------------------------------------------------------------------

// Left-button releases seen by the low-level mouse hook, at the point of the release.
struct HookState {
    bool seen = false;          // the hook works in this session: polling stands down
    std::vector<POINT> releases;
};
HookState g_hook;

LRESULT CALLBACK MouseHook(int code, WPARAM message, LPARAM data)
{
    if (code == HC_ACTION) {
        g_hook.seen = true;
        if (message == WM_LBUTTONUP)
            g_hook.releases.push_back(reinterpret_cast<const MSLLHOOKSTRUCT*>(data)->pt);
    }
    return CallNextHookEx(nullptr, code, message, data);
}

// A left-button release completes a touch where the button was released, as a finger's lift
// does. A low-level mouse hook reports releases when the session supports it; otherwise the
// button is polled, and a click between two polls counts through the "pressed since" bit.
int Follow(SimClient& client, uint32_t id, int64_t seconds)
{
    HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, MouseHook, GetModuleHandleW(nullptr), 0);
    DWORD start = GetTickCount();
    bool down = false;
    int rc = 0;
    wprintf(L"following id=%lu hook=%d\n", (unsigned long)id, hook != nullptr ? 1 : 0);
    fflush(stdout);
    GetAsyncKeyState(VK_LBUTTON);
    while (rc == 0 && (seconds <= 0 || GetTickCount() - start < static_cast<DWORD>(seconds) * 1000u)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        std::vector<POINT> releases;
        releases.swap(g_hook.releases);
        SHORT state = GetAsyncKeyState(VK_LBUTTON);
        bool pressed = (state & 0x8000) != 0;
        if (!g_hook.seen && ((down && !pressed) || (!down && !pressed && (state & 1) != 0))) {
            POINT p;
            if (GetCursorPos(&p))
                releases.push_back(p);
        }
        down = pressed;
        for (const POINT& p : releases) {
            SimTouchResult r = {};
            if (!client.TouchAt(id, p.x, p.y, &r)) {
                rc = Failed(L"touch", client.LastError());
                break;
            }
            PrintTouch(id, r);
        }
    }
    if (hook != nullptr)
        UnhookWindowsHookEx(hook);
    return rc;
}

// --- commands ----------------------------------------------------------------------------------

int NodeCommand(const std::vector<std::wstring>& args)
{
    if (args.size() < 3)
        return Usage();
    DWORD error = 0;
    const std::wstring& verb = args[2];
    if (verb == L"list") {
        std::vector<std::wstring> ids;
        if (!ListDeviceNodes(&ids, &error))
            return Failed(L"listing nodes", error);
        for (const std::wstring& id : ids)
            wprintf(L"node instance=%ls\n", id.c_str());
        return 0;
    }
    if (verb == L"clear") {
        if (!RemoveAllDeviceNodes(&error))
            return Failed(L"removing nodes", error);
        wprintf(L"nodes cleared\n");
        return 0;
    }
    if (args.size() < 4)
        return Usage();
    if (verb == L"remove") {
        if (!RemoveDeviceNode(args[3], &error))
            return Failed(L"removing the node", error);
        wprintf(L"node removed instance=%ls\n", args[3].c_str());
        return 0;
    }
    if (verb != L"add")
        return Usage();
    DeviceNodeSpec setup;
    setup.instanceId = args[3];
    setup.manufacturer = L"Qelvo";
    setup.description = L"Qelvo USB Touch Controller";
    for (size_t i = 4; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        size_t eq = a.find(L'=');
        std::wstring key = a.substr(0, eq);
        std::wstring value = eq == std::wstring::npos ? std::wstring() : a.substr(eq + 1);
        uint32_t n = 0;
        if (a == L"nodriverkey")
            setup.driverKey = false;
        else if (key == L"name")
            setup.objectName = value;
        else if (key == L"mfg")
            setup.manufacturer = value;
        else if (key == L"desc")
            setup.description = value;
        else if (key == L"nameerror" && ParseU32(value, &n))
            setup.objectNameError = n;
        else if (key == L"nametype" && ParseU32(value, &n))
            setup.objectNameType = n;
        else if (key == L"mfgerror" && ParseU32(value, &n))
            setup.manufacturerError = n;
        else if (key == L"descerror" && ParseU32(value, &n))
            setup.descriptionError = n;
        else
            return Usage();
    }
    if (!AddDeviceNode(setup, &error))
        return Failed(L"adding the node", error);
    wprintf(L"node added instance=%ls\n", setup.instanceId.c_str());
    return 0;
}

int StateCommand(SimClient& client, const std::vector<std::wstring>& args)
{
    SimSummary summary = {};
    if (!client.GetSummary(&summary))
        return Failed(L"reading the summary", client.LastError());
    const DesktopGeometry& d = summary.desktop;
    wprintf(L"summary controllers=%lu handles=%lu faults=%lu failed=%lu desktop=%ld,%ld,%ld,%ld fullscale=%ld",
            (unsigned long)summary.controllerCount, (unsigned long)summary.openHandles,
            (unsigned long)summary.pendingFaults, (unsigned long)summary.failedRequests,
            (long)d.virtualScreen.left, (long)d.virtualScreen.top, (long)d.virtualScreen.right,
            (long)d.virtualScreen.bottom, (long)d.fullScale);
    for (uint32_t i = 0; i < kSuiteCodes; ++i)
        wprintf(L" %ls=%lu", CodeNameOf(i), (unsigned long)summary.requests[i]);
    wprintf(L" stalled=%lu\n", (unsigned long)summary.stalledRequests);
    std::vector<uint32_t> ids;
    if (args.size() > 2) {
        uint32_t id = 0;
        if (!ParseU32(args[2], &id))
            return Usage();
        ids.push_back(id);
    } else {
        ids.assign(summary.deviceIds, summary.deviceIds + summary.controllerCount);
    }
    for (uint32_t id : ids) {
        SimControllerState s;
        if (!client.GetState(id, &s))
            return Failed(L"reading the controller state", client.LastError());
        PrintState(s);
    }
    return 0;
}

int Demo(SimClient& client, uint32_t count)
{
    DWORD error = 0;
    if (!client.Reset() || !client.SetDesktop(SystemDesktop()))
        return Failed(L"resetting the driver", client.LastError());
    if (!RemoveAllDeviceNodes(&error))
        return Failed(L"removing nodes", error);
    DesktopGeometry d = SystemDesktop();
    for (uint32_t i = 1; i <= count; ++i) {
        std::wstring name = L"\\Device\\TouchSim" + std::to_wstring(i);
        if (!client.AddController(i, name, StraightPanel(d.virtualScreen)))
            return Failed(L"adding a controller", client.LastError());
        DeviceNodeSpec setup;
        setup.instanceId = L"USB\\VID_0EEF&PID_0001\\SIM" + std::to_wstring(i);
        setup.objectName = name;
        setup.manufacturer = L"Qelvo";
        setup.description = L"Qelvo USB Touch Controller " + std::to_wstring(i);
        if (!AddDeviceNode(setup, &error))
            return Failed(L"adding a node", error);
        wprintf(L"demo id=%lu name=%ls instance=%ls\n", (unsigned long)i, name.c_str(), setup.instanceId.c_str());
    }
    return 0;
}

int Run(const std::vector<std::wstring>& args)
{
    if (args.size() < 2 || args[1] == L"--help" || args[1] == L"-h" || args[1] == L"help") {
        wprintf(L"%ls", kUsage);
        return args.size() < 2 ? 2 : 0;
    }
    const std::wstring& cmd = args[1];
    if (cmd == L"install")
        return Install(args);
    if (cmd == L"uninstall")
        return Uninstall();
    if (cmd == L"start")
        return StartDriver();
    if (cmd == L"stop")
        return StopDriver();
    if (cmd == L"node")
        return NodeCommand(args);

    SimClient client;
    if (!client.Open()) {
        if (cmd == L"status") {
            wprintf(L"status open=0 error=%lu\n", client.LastError());
            return 1;
        }
        return Failed(L"opening \\\\.\\VOVUDA", client.LastError());
    }
    uint32_t id = 0;
    if (cmd == L"status") {
        wprintf(L"status open=1\n");
        return 0;
    }
    if (cmd == L"reset") {
        if (!client.Reset())
            return Failed(L"reset", client.LastError());
        wprintf(L"reset\n");
        return 0;
    }
    if (cmd == L"desktop") {
        DesktopGeometry d = SystemDesktop();
        if (args.size() == 3 && args[2] == L"auto") {
        } else if (args.size() == 6 || args.size() == 7) {
            d.fullScale = 0x7FFF;
            if (!ParseI32(args[2], &d.virtualScreen.left) || !ParseI32(args[3], &d.virtualScreen.top)
                || !ParseI32(args[4], &d.virtualScreen.right) || !ParseI32(args[5], &d.virtualScreen.bottom)
                || (args.size() == 7 && !ParseI32(args[6], &d.fullScale)))
                return Usage();
        } else {
            return Usage();
        }
        if (!client.SetDesktop(d))
            return Failed(L"setting the desktop", client.LastError());
        wprintf(L"desktop %ld,%ld,%ld,%ld fullscale=%ld\n", (long)d.virtualScreen.left, (long)d.virtualScreen.top,
                (long)d.virtualScreen.right, (long)d.virtualScreen.bottom, (long)d.fullScale);
        return 0;
    }
    if (cmd == L"add") {
        if (args.size() < 4 || !ParseU32(args[2], &id))
            return Usage();
        SimSummary summary = {};
        if (!client.GetSummary(&summary))
            return Failed(L"reading the desktop", client.LastError());
        PanelConfig panel = StraightPanel(summary.desktop.virtualScreen);
        if (!ParsePanel(args, 4, &panel))
            return Usage();
        if (!client.AddController(id, args[3], panel))
            return Failed(L"adding the controller", client.LastError());
        wprintf(L"added id=%lu\n", (unsigned long)id);
        return 0;
    }
    if (cmd == L"panel" || cmd == L"expect") {
        SimControllerState s;
        if (args.size() < 3 || !ParseU32(args[2], &id))
            return Usage();
        if (!client.GetState(id, &s))
            return Failed(L"reading the controller", client.LastError());
        if (cmd == L"expect") {
            SimSummary summary = {};
            if (!client.GetSummary(&summary))
                return Failed(L"reading the desktop", client.LastError());
            touch::CalibrationRecord c = {};
            touch::ScreenRangeRecord r = {};
            MatchingCalibration(s.panel, summary.desktop, &c, &r);
            PrintCalibration(L"expect-calibration", id, L"", c);
            PrintRange(L"expect-range", id, L"", r);
            return 0;
        }
        PanelConfig panel = s.panel;
        if (!ParsePanel(args, 3, &panel))
            return Usage();
        if (!client.SetPanel(id, panel))
            return Failed(L"setting the panel", client.LastError());
        PrintPanel(id, panel);
        return 0;
    }
    if (cmd == L"remove") {
        if (args.size() != 3 || !ParseU32(args[2], &id))
            return Usage();
        if (!client.RemoveController(id))
            return Failed(L"removing the controller", client.LastError());
        wprintf(L"removed id=%lu\n", (unsigned long)id);
        return 0;
    }
    if (cmd == L"tap" || cmd == L"tap-raw" || cmd == L"map" || cmd == L"map-raw") {
        int32_t x = 0, y = 0;
        if (args.size() != 5 || !ParseU32(args[2], &id) || !ParseI32(args[3], &x) || !ParseI32(args[4], &y))
            return Usage();
        SimTouchResult r = {};
        bool ok = cmd == L"tap" ? client.TouchAt(id, x, y, &r)
                : cmd == L"tap-raw" ? client.TouchRaw(id, x, y, &r)
                : cmd == L"map" ? client.MapAt(id, x, y, &r)
                : client.MapRaw(id, x, y, &r);
        if (!ok)
            return Failed(cmd.c_str(), client.LastError());
        PrintTouch(id, r);
        return 0;
    }
    if (cmd == L"follow") {
        int64_t seconds = 0;
        if (args.size() < 3 || !ParseU32(args[2], &id) || (args.size() > 3 && !ParseInt(args[3], &seconds)))
            return Usage();
        return Follow(client, id, seconds);
    }
    if (cmd == L"fault") {
        uint32_t code = 0, count = 0, value = 0;
        if (args.size() >= 5 && args[3] == L"stall") {
            // fault CODE stall MS [COUNT]
            count = 1;
            if (args.size() > 6 || !ParseCode(args[2], &code) || !ParseU32(args[4], &value)
                || (args.size() == 6 && !ParseU32(args[5], &count)))
                return Usage();
            if (!client.StallRequests(code, value, count))
                return Failed(L"injecting the fault", client.LastError());
            wprintf(L"fault code=0x%08lx kind=stall count=%lu value=%lu\n", (unsigned long)code,
                    (unsigned long)count, (unsigned long)value);
            return 0;
        }
        if (args.size() < 5 || args.size() > 6 || !ParseCode(args[2], &code) || !ParseU32(args[4], &count)
            || (args.size() == 6 && !ParseU32(args[5], &value)))
            return Usage();
        const std::wstring& k = args[3];
        SimFaultKind kind = k == L"error" ? kFaultError
                          : k == L"bytes" ? kFaultByteCount
                          : k == L"listcount" ? kFaultListCount
                          : k == L"state" ? kFaultState
                          : static_cast<SimFaultKind>(0);
        if (kind == 0)
            return Usage();
        if (!client.InjectFault(code, kind, count, value))
            return Failed(L"injecting the fault", client.LastError());
        wprintf(L"fault code=0x%08lx kind=%ls count=%lu value=%lu\n", (unsigned long)code, k.c_str(),
                (unsigned long)count, (unsigned long)value);
        return 0;
    }
    if (cmd == L"faults-clear") {
        if (!client.ClearFaults())
            return Failed(L"clearing faults", client.LastError());
        wprintf(L"faults cleared\n");
        return 0;
    }
    if (cmd == L"history-clear") {
        if (!client.ClearHistory())
            return Failed(L"clearing the history", client.LastError());
        wprintf(L"history cleared\n");
        return 0;
    }
    if (cmd == L"state")
        return StateCommand(client, args);
    if (cmd == L"demo") {
        uint32_t n = 0;
        if (args.size() != 3 || !ParseU32(args[2], &n) || n == 0 || n > kMaxControllers)
            return Usage();
        return Demo(client, n);
    }
    return Usage();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv, argv + argc);
    return Run(args);
}
