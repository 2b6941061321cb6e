#include "tests/wine/calibration/CalibrationScenario.h"

#include "tests/support/WineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

namespace caltest {

using namespace touchsim;

const wchar_t kObjectName[] = L"\\Device\\USBPDO-7";
const wchar_t kInstanceId[] = L"USB\\VID_0EEF&PID_0001\\CALSIM1";

const char* PanelName(Panel panel)
{
    switch (panel) {
    case Panel::Straight: return "straight";
    case Panel::MirrorX: return "mirror-x";
    case Panel::MirrorY: return "mirror-y";
    case Panel::Swapped: return "swapped";
    case Panel::SwappedMirrored: return "swapped+mirror-x";
    }
    return "?";
}

PanelConfig MakePanel(Panel kind, const Rect32& area)
{
    // Not the full raw range, so that the edges are computed, not clamped.
    PanelConfig panel = StraightPanel(area);
    panel.rawMinX = 210;
    panel.rawMaxX = 3890;
    panel.rawMinY = 150;
    panel.rawMaxY = 3950;
    panel.mirrorX = kind == Panel::MirrorX || kind == Panel::SwappedMirrored;
    panel.mirrorY = kind == Panel::MirrorY;
    panel.swapXY = kind == Panel::Swapped || kind == Panel::SwappedMirrored;
    return panel;
}

namespace {

void Edges(int32_t first, int32_t second, int32_t* low, int32_t* high)
{
    const int32_t third = std::abs(second - first) / 3;
    if (first > second) {
        *low = first + third > 4096 ? 4096 : first + third;
        *high = second - third < 0 ? 0 : second - third;
    } else {
        *low = first - third < 0 ? 0 : first - third;
        *high = second + third > 4096 ? 4096 : second + third;
    }
}

} // namespace

Record ExpectedRecord(const std::array<POINT, 3>& raw)
{
    const POINT p0 = raw[0], p1 = raw[1], p2 = raw[2];
    // Unswapped the top-right point shares raw X with the bottom-right and raw Y with the top-left.
    const bool swapped = std::abs(p2.x - p0.x) < std::abs(p2.x - p1.x) && std::abs(p2.y - p1.y) < std::abs(p2.y - p0.y);
    int32_t xl, xh, yl, yh;
    Edges(p0.x, p1.x, &xl, &xh);
    Edges(p0.y, p1.y, &yl, &yh);
    if (swapped)
        return Record{yl, xl, yh, xh, 1};
    return Record{xl, yl, xh, yh, 0};
}

bool Rig::Prepare(Panel panel, bool driverKey, int32_t fullScale)
{
    if (!sim_.IsOpen() && !sim_.Open())
        return false;
    DesktopGeometry desktop = SystemDesktop();
    if (fullScale != 0)
        desktop.fullScale = fullScale;
    if (!sim_.Reset() || !sim_.SetDesktop(desktop))
        return false;
    if (!sim_.AddController(kDeviceId, kObjectName, MakePanel(panel, desktop.virtualScreen)))
        return false;
    touch::TouchModeRecord mode = {kDeviceId, kInitialMode};
    DWORD returned = 0;
    if (!sim_.Control(touch::IOCTL_TOUCH_SET_MODE, &mode, sizeof mode, nullptr, 0, &returned))
        return false;
    DWORD error = 0;
    if (!RemoveAllDeviceNodes(&error))
        return false;
    DeviceNodeSpec node;
    node.instanceId = kInstanceId;
    node.objectName = kObjectName;
    node.manufacturer = L"Qelvo";
    node.description = L"Qelvo USB touch controller";
    node.driverKey = driverKey;
    if (!AddDeviceNode(node, &error))
        return false;
    return sim_.ClearHistory();
}

bool Rig::Tap(POINT at, POINT* raw)
{
    SimTouchResult result = {};
    if (!sim_.TouchAt(kDeviceId, at.x, at.y, &result))
        return false;
    raw->x = result.rawX;
    raw->y = result.rawY;
    return true;
}

std::wstring WinePath(const wchar_t* unixPath)
{
    std::wstring path = std::wstring(L"Z:") + unixPath;
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

void ExpectStoredMatches(Rig& rig, const std::array<POINT, 3>& raw, int32_t fullScale)
{
    const Record expected = ExpectedRecord(raw);
    Stored stored = {};
    DWORD error = 0;
    ASSERT_TRUE(ReadStored(&stored, &error)) << "driver key values: error " << error;
    EXPECT_EQ(stored.value[0], static_cast<uint32_t>(expected.XLow));
    EXPECT_EQ(stored.value[1], static_cast<uint32_t>(expected.XHigh));
    EXPECT_EQ(stored.value[2], static_cast<uint32_t>(expected.YLow));
    EXPECT_EQ(stored.value[3], static_cast<uint32_t>(expected.YHigh));
    EXPECT_EQ(stored.value[4], expected.SwapXY);
    // XMin, XRange, YMin, YRange.
    EXPECT_EQ(stored.value[5], 0u);
    EXPECT_EQ(stored.value[6], static_cast<uint32_t>(fullScale));
    EXPECT_EQ(stored.value[7], 0u);
    EXPECT_EQ(stored.value[8], static_cast<uint32_t>(fullScale));
    SimControllerState state = {};
    ASSERT_TRUE(rig.State(&state));
    EXPECT_EQ(state.calibration.XLow, expected.XLow);
    EXPECT_EQ(state.calibration.YLow, expected.YLow);
    EXPECT_EQ(state.calibration.XHigh, expected.XHigh);
    EXPECT_EQ(state.calibration.YHigh, expected.YHigh);
    EXPECT_EQ(state.calibration.SwapXY, expected.SwapXY);
    EXPECT_EQ(state.range.XMin, 0);
    EXPECT_EQ(state.range.YMin, 0);
    EXPECT_EQ(state.range.XRange, fullScale);
    EXPECT_EQ(state.range.YRange, fullScale);
}

const wchar_t* const kStoredNames[9] = {L"XLow", L"XHigh", L"YLow", L"YHigh", L"SwapXY",
                                         L"XMin", L"XRange", L"YMin", L"YRange"};

bool ReadStoredValues(Stored* stored, bool present[9], DWORD* error)
{
    HKEY key = nullptr;
    if (!OpenDriverKey(kInstanceId, KEY_READ, &key, error))
        return false;
    *error = ERROR_SUCCESS;
    for (int i = 0; i < 9; ++i) {
        DWORD type = 0, size = sizeof(DWORD);
        const LONG status = RegQueryValueExW(key, kStoredNames[i], nullptr, &type,
                                             reinterpret_cast<BYTE*>(&stored->value[i]), &size);
        present[i] = status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(DWORD);
        if (!present[i] && *error == ERROR_SUCCESS)
            *error = status != ERROR_SUCCESS ? static_cast<DWORD>(status) : ERROR_INVALID_DATA;
    }
    RegCloseKey(key);
    return true;
}

bool ReadStored(Stored* stored, DWORD* error)
{
    bool present[9] = {};
    if (!ReadStoredValues(stored, present, error))
        return false;
    return std::all_of(present, present + 9, [](bool p) { return p; });
}

std::wstring SystemText(DWORD code)
{
    wchar_t* text = nullptr;
    std::wstring result;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
                       0, nullptr) != 0 &&
        text != nullptr) {
        result = text;
    } else {
        wchar_t buffer[32];
        swprintf(buffer, 32, L"Code=(0x%08x)", static_cast<unsigned>(code));
        result = buffer;
    }
    if (text != nullptr)
        LocalFree(text);
    return result;
}

std::vector<RequestRun> RequestSequence(const SimControllerState& state)
{
    std::vector<RequestRun> runs;
    const uint32_t n = state.requestRunCount < kRequestRuns ? state.requestRunCount : kRequestRuns;
    for (uint32_t i = 0; i < n; ++i)
        runs.push_back(RequestRun{state.requestRuns[i].code, state.requestRuns[i].count});
    return runs;
}

bool NothingStored()
{
    HKEY key = nullptr;
    DWORD error = 0;
    if (!OpenDriverKey(kInstanceId, KEY_READ, &key, &error))
        return true;
    DWORD type = 0, size = 0;
    const bool present = RegQueryValueExW(key, L"XLow", nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return !present;
}

bool TargetVisible(HWND dialog)
{
    HWND target = GetDlgItem(dialog, 1000);
    return target != nullptr && IsWindowVisible(target);
}

POINT TargetCentre(HWND dialog)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(dialog, 1000), &r);
    return POINT{r.left + (r.right - r.left - 1) / 2, r.top + (r.bottom - r.top - 1) / 2};
}

bool WaitForPrompt(HWND dialog, const wchar_t* upper, DWORD timeoutMs, DWORD pollMs)
{
    return qelvo::test::WaitFor(
        [&] {
            HWND prompt = GetDlgItem(dialog, 1003);
            return prompt != nullptr && IsWindowVisible(prompt) && qelvo::test::ItemText(dialog, 1003) == upper;
        },
        timeoutMs, pollMs);
}

bool TapTargets(HWND dialog, Rig& rig, std::array<POINT, 3>* raw, std::array<POINT, 3>* centres)
{
    for (int i = 0; i < 3; ++i) {
        if (!WaitForPrompt(dialog, kPromptTarget[i], 60000) || !TargetVisible(dialog))
            return false;
        const POINT centre = TargetCentre(dialog);
        if (centres != nullptr)
            (*centres)[i] = centre;
        if (!rig.Tap(centre, &(*raw)[i]))
            return false;
    }
    return true;
}

bool MaxLandingError(Rig& rig, const RECT& area, int* maxError)
{
    const LONG xs[3] = {area.left, (area.left + area.right) / 2, area.right - 1};
    const LONG ys[3] = {area.top, (area.top + area.bottom) / 2, area.bottom - 1};
    int worst = 0;
    for (LONG y : ys) {
        for (LONG x : xs) {
            SimTouchResult result = {};
            if (!rig.Sim().MapAt(kDeviceId, x, y, &result))
                return false;
            worst = std::max(worst, std::abs(result.landX - static_cast<int>(x)));
            worst = std::max(worst, std::abs(result.landY - static_cast<int>(y)));
        }
    }
    *maxError = worst;
    return true;
}

bool AnswerUntil(const std::function<bool()>& answer, const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    // An answer that cannot be given (the window went away meanwhile) is no failure: `done` decides.
    do {
        answer();
        if (qelvo::test::WaitFor(done, 2000))
            return true;
    } while (GetTickCount() - start < timeoutMs);
    return done();
}

bool CurrentMode(Rig& rig, uint32_t* mode)
{
    SimControllerState state = {};
    if (!rig.State(&state))
        return false;
    *mode = state.mode;
    return true;
}

} // namespace caltest
