// The probe process of the counter proof: for each stage of ProbeStages.h it makes 64 objects of
// the stage's kind when told, then frees them when told again. Argument: the soak program's
// process id (it names the two events).
#include "ProbeStages.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

HANDLE stopThreads = nullptr;

DWORD WINAPI WaitForStop(void*)
{
    WaitForSingleObject(stopThreads, INFINITE);
    return 0;
}

// What one stage made, freed by Free.
struct Made {
    std::vector<HANDLE> handles;
    std::vector<HKEY> keys;
    std::vector<HGDIOBJ> objects;
    std::vector<HDC> dcs;
    std::vector<HWND> windows;
    std::vector<HANDLE> threads;
};

bool Make(const char* stage, Made* made)
{
    const int n = soak::kProbeObjects;
    wchar_t self[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0)
        return false;
    for (int i = 0; i < n; ++i) {
        HANDLE h = nullptr;
        if (!std::strcmp(stage, "handles") || !std::strcmp(stage, "handles.Event")) {
            h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        } else if (!std::strcmp(stage, "handles.Mutant")) {
            h = CreateMutexW(nullptr, FALSE, nullptr);
        } else if (!std::strcmp(stage, "handles.Semaphore")) {
            h = CreateSemaphoreW(nullptr, 0, 1, nullptr);
        } else if (!std::strcmp(stage, "handles.Timer")) {
            h = CreateWaitableTimerW(nullptr, FALSE, nullptr);
        } else if (!std::strcmp(stage, "handles.Key")) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) != ERROR_SUCCESS)
                return false;
            made->keys.push_back(key);
            continue;
        } else if (!std::strcmp(stage, "handles.File")) {
            h = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE)
                return false;
        } else if (!std::strcmp(stage, "handles.Section")) {
            h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
        } else if (!std::strcmp(stage, "handles.Thread")) {
            h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, GetCurrentThreadId());
        } else if (!std::strcmp(stage, "handles.Process")) {
            h = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
        } else if (!std::strcmp(stage, "handles.Token")) {
            if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h))
                return false;
        } else if (!std::strcmp(stage, "gdi") || !std::strcmp(stage, "gdi.Brush+Pen")) {
            HGDIOBJ o = i % 2 ? static_cast<HGDIOBJ>(CreateSolidBrush(RGB(i, 0, 0)))
                              : static_cast<HGDIOBJ>(CreatePen(PS_SOLID, 1, RGB(i, 0, 0)));
            if (o == nullptr)
                return false;
            made->objects.push_back(o);
            continue;
        } else if (!std::strcmp(stage, "gdi.DC")) {
            HDC dc = CreateCompatibleDC(nullptr);
            if (dc == nullptr)
                return false;
            made->dcs.push_back(dc);
            continue;
        } else if (!std::strcmp(stage, "gdi.Bitmap") || !std::strcmp(stage, "gdi.Font") ||
                   !std::strcmp(stage, "gdi.Region")) {
            HGDIOBJ o = stage[4] == 'B'   ? static_cast<HGDIOBJ>(CreateBitmap(4, 4, 1, 1, nullptr))
                        : stage[4] == 'F' ? static_cast<HGDIOBJ>(CreateFontW(-12 - i % 3, 0, 0, 0, FW_NORMAL, 0, 0, 0,
                                                                             DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"))
                                          : static_cast<HGDIOBJ>(CreateRectRgn(0, 0, i + 1, i + 1));
            if (o == nullptr)
                return false;
            made->objects.push_back(o);
            continue;
        } else if (!std::strcmp(stage, "windows")) {
            HWND w = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
            if (w == nullptr)
                return false;
            made->windows.push_back(w);
            continue;
        } else if (!std::strcmp(stage, "threads")) {
            HANDLE t = CreateThread(nullptr, 0, WaitForStop, nullptr, 0, nullptr);
            if (t == nullptr)
                return false;
            made->threads.push_back(t);
            continue;
        } else {
            return false;
        }
        if (h == nullptr)
            return false;
        made->handles.push_back(h);
    }
    return true;
}

void Free(Made* made)
{
    for (HANDLE h : made->handles)
        CloseHandle(h);
    for (HKEY k : made->keys)
        RegCloseKey(k);
    for (HGDIOBJ o : made->objects)
        DeleteObject(o);
    for (HDC dc : made->dcs)
        DeleteDC(dc);
    for (HWND w : made->windows)
        DestroyWindow(w);
    if (!made->threads.empty()) {
        SetEvent(stopThreads);
        for (HANDLE t : made->threads) {
            WaitForSingleObject(t, 30000);
            CloseHandle(t);
        }
        ResetEvent(stopThreads);
    }
    *made = Made();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    const unsigned long owner = std::wcstoul(argv[1], nullptr, 10);
    wchar_t goName[64], doneName[64];
    std::swprintf(goName, 64, soak::kProbeGoFormat, owner);
    std::swprintf(doneName, 64, soak::kProbeDoneFormat, owner);
    HANDLE go = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, goName);
    HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, doneName);
    stopThreads = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (go == nullptr || done == nullptr || stopThreads == nullptr)
        return 3;
    // What a first window, font or thread brings along once per process or thread comes now.
    for (const char* stage : {"windows", "gdi.Font", "threads"}) {
        Made warm;
        if (!Make(stage, &warm))
            return 4;
        Free(&warm);
    }
    // Wine makes a thread's IME window with its first window and drops it with its last: one window
    // stays, so that the stage counts only its own.
    HWND keeper = CreateWindowExW(0, L"STATIC", L"keeper", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (keeper == nullptr)
        return 4;
    SetEvent(done);
    for (int i = 0; i < soak::kProbeStageCount * soak::kProbeTries; ++i) {
        const char* stage = soak::kProbeStages[i / soak::kProbeTries];
        Made made;
        if (WaitForSingleObject(go, 60000) != WAIT_OBJECT_0)
            return 5;
        if (!Make(stage, &made))
            std::fprintf(stderr, "soak_probe: stage %s failed: %lu\n", stage, GetLastError());
        SetEvent(done);
        if (WaitForSingleObject(go, 60000) != WAIT_OBJECT_0)
            return 5;
        Free(&made);
        SetEvent(done);
    }
    DestroyWindow(keeper);
    return 0;
}
