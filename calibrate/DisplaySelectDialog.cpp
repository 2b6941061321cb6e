#include "calibrate/DisplaySelectDialog.h"

#include "calibrate/CalibrationRangeDialog.h"
#include "calibrate/CustomRange.h"
#include "calibrate/DisplayDrawing.h"
#include "calibrate/DisplayNumberWindow.h"
#include "calibrate/PreviewLayout.h"
#include "calibrate/RectMapper.h"
#include "calibrate/resource.h"

#include <cwchar>
#include <new>
#include <vector>

namespace calibrate {

DisplaySelectDialog::DisplaySelectDialog(HWND parent) : Dialog(IDD_DISPLAY_SELECT, parent) {}

// The buttons unsubclass themselves as the entries go; the window is gone by then or is
// destroyed by the base.
DisplaySelectDialog::~DisplaySelectDialog() = default;

const DisplayEntry* DisplaySelectDialog::Display(uint32_t index) const
{
    return displays != nullptr && index < displayCount ? &displays[index] : nullptr;
}

const fw::MessageMap& DisplaySelectDialog::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnCommandRange(IDC_MONITOR_BUTTON_FIRST, IDC_MONITOR_BUTTON_LAST, &DisplaySelectDialog::OnSelectDisplay),
        fw::OnCommand(IDC_IDENTIFY, &DisplaySelectDialog::OnIdentify),
        fw::OnCommand(IDC_CUSTOM_RANGE, &DisplaySelectDialog::OnCustom),
    };
    static const fw::MessageMap map(entries, &Dialog::Messages());
    return map;
}

void DisplaySelectDialog::DoDataExchange(fw::DataExchange& dx)
{
    dx.Bind(IDC_DISPLAY_RESOLUTION, resolutionText);
    dx.Bind(IDC_DISPLAY_NAME, nameText);
}

bool DisplaySelectDialog::PreTranslateMessage(MSG& msg)
{
    return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
}

int DisplaySelectDialog::CountMonitors() const
{
    return ::GetSystemMetrics(SM_CMONITORS);
}

bool DisplaySelectDialog::EnumerateDisplays()
{
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    virtualScreen = Rect{left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    const int counted = CountMonitors();
    displayCount = counted > 0 ? static_cast<uint32_t>(counted) : 0;

    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExW(&version))
        return false;
    normalScreen = NormalisedScreen(FullScaleForVersion(version.dwMajorVersion, version.dwMinorVersion));

    selected = -1;
    displays.reset(new (std::nothrow) DisplayEntry[displayCount]);
    if (displays == nullptr) {
        displayCount = 0;
        return false;
    }
    filled = 0;
    tooManyMonitors = false;
    bool completed = false;
    enumerationFailed = false;
    if (::EnumDisplayMonitors(nullptr, nullptr, &DisplaySelectDialog::AddMonitor, reinterpret_cast<LPARAM>(this)))
        completed = true;
    // The table was sized by the count: a different number of monitors means the desktop
    // changed after it was measured, and every normalised value would rest on a stale desktop.
    if (!completed || enumerationFailed || tooManyMonitors || filled != displayCount)
        return false;

    const RectMapper toNormal(normalScreen, virtualScreen);
    for (uint32_t i = 0; i < displayCount; ++i)
        displays[i].normalRect = toNormal.MapRect(displays[i].monitorRect);
    return true;
}

BOOL CALLBACK DisplaySelectDialog::AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context)
{
    DisplaySelectDialog* self = reinterpret_cast<DisplaySelectDialog*>(context);
    bool added = false;
    try {
        added = self->AddMonitor(monitor);
    } catch (...) {
        added = false;
    }
    if (!added)
        self->enumerationFailed = true;
    return added ? TRUE : FALSE;
}

bool DisplaySelectDialog::AddMonitor(HMONITOR monitor)
{
    if (filled >= displayCount) {
        tooManyMonitors = true;
        return false;
    }
    MONITORINFOEXW info = {};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoW(monitor, &info))
        return false;
    DisplayEntry& entry = displays[filled];
    entry.monitorRect = Rect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
    entry.deviceName = info.szDevice;
    if (!Describe(entry))
        return false;
    ++filled;
    return true;
}

bool DisplaySelectDialog::Describe(DisplayEntry& entry)
{
    DISPLAY_DEVICEW adapter = {};
    adapter.cb = sizeof adapter;
    for (DWORD index = 0;; ++index) {
        if (!::EnumDisplayDevicesW(nullptr, index, &adapter, 0))
            return false;
        if (entry.deviceName == adapter.DeviceName)
            break;
        adapter = DISPLAY_DEVICEW{};
        adapter.cb = sizeof adapter;
    }
    const std::wstring adapterText = adapter.DeviceString;

    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    if (!::EnumDisplaySettingsW(adapter.DeviceName, ENUM_CURRENT_SETTINGS, &mode))
        return false;
    entry.width = static_cast<int32_t>(mode.dmPelsWidth);
    entry.height = static_cast<int32_t>(mode.dmPelsHeight);
    // Some drivers answer for a secondary display with an empty mode; the display still shows
    // its monitor rectangle's pixels, so that is its resolution.
    if (entry.width <= 0 || entry.height <= 0) {
        entry.width = static_cast<int32_t>(WidthOf(entry.monitorRect));
        entry.height = static_cast<int32_t>(HeightOf(entry.monitorRect));
    }

    std::wstring monitorText;
    DISPLAY_DEVICEW device = {};
    device.cb = sizeof device;
    for (DWORD index = 0; ::EnumDisplayDevicesW(adapter.DeviceName, index, &device, 0); ++index) {
        if ((device.StateFlags & DISPLAY_DEVICE_ACTIVE) != 0) {
            monitorText = device.DeviceString;
            break;
        }
        device = DISPLAY_DEVICEW{};
        device.cb = sizeof device;
    }
    if (monitorText.empty())
        return false;
    entry.description = adapterText + L" -> " + monitorText;
    return true;
}

bool DisplaySelectDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    if (displayCount == 0 || displays == nullptr) {
        EndDialog(IDCANCEL);
        return true;
    }
    if (displayCount == 1) {
        if (!(askCustomRange && RunCustomRange())) {
            chosenRect = displays[0].monitorRect;
            chosenRange = displays[0].normalRect;
        }
        EndDialog(IDOK);
        return true;
    }
    if (!LayOutPreview()) {
        EndDialog(IDCANCEL);
        return true;
    }
    EnableItem(IDOK, false);
    resolutionText.SetText(L"");
    nameText.SetText(L"");
    return true;
}

bool DisplaySelectDialog::LayOutPreview()
{
    HWND grey = Item(IDC_DISPLAY_PREVIEW);
    if (grey == nullptr)
        return false;
    RECT client;
    if (!::GetClientRect(grey, &client))
        return false;
    ::SetLastError(0);
    if (::MapWindowPoints(grey, hwnd_, reinterpret_cast<POINT*>(&client), 2) == 0 && ::GetLastError() != 0)
        return false;
    const Rect area{client.left, client.top, client.right, client.bottom};

    std::vector<Rect> monitors;
    monitors.reserve(displayCount);
    for (uint32_t i = 0; i < displayCount; ++i)
        monitors.push_back(displays[i].monitorRect);
    const PreviewLayout layout = LayoutPreview(area, virtualScreen, monitors);

    // The buttons go right above the grey area in the z-order (keeping their place in the tab
    // order), and the grey area leaves them out when it paints.
    ::SetWindowLongW(grey, GWL_STYLE, ::GetWindowLongW(grey, GWL_STYLE) | WS_CLIPSIBLINGS);
    HWND after = ::GetWindow(grey, GW_HWNDPREV);
    for (uint32_t i = 0; i < displayCount; ++i) {
        DisplayEntry& entry = displays[i];
        entry.previewRect = layout.buttons[i];
        const int id = IDC_MONITOR_BUTTON_FIRST + static_cast<int>(i);
        if (!entry.button.Create(L"BUTTON", DecimalText(static_cast<long>(i) + 1).c_str(),
                                 WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, ToRECT(entry.previewRect), hwnd_, id))
            return false;
        ::SetWindowPos(entry.button.Handle(), after != nullptr ? after : HWND_TOP, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = entry.button.Handle();
    }
    return true;
}

void DisplaySelectDialog::OnSelectDisplay(UINT id, UINT, HWND)
{
    const int32_t k = static_cast<int32_t>(id) - IDC_MONITOR_BUTTON_FIRST;
    if (k < 0 || static_cast<uint32_t>(k) >= displayCount || k == selected)
        return;
    if (selected < 0)
        EnableItem(IDOK, true);
    else
        displays[selected].button.SetSelected(false);
    displays[k].button.SetSelected(true);
    selected = k;

    const DisplayEntry& entry = displays[k];
    nameText.SetText(entry.description);
    wchar_t resolution[32];
    std::swprintf(resolution, sizeof resolution / sizeof resolution[0], L"%dx%d", static_cast<int>(entry.width),
                  static_cast<int>(entry.height));
    resolutionText.SetText(resolution);
}

void DisplaySelectDialog::OnIdentify(UINT, UINT, HWND)
{
    for (uint32_t i = 0; i < displayCount; ++i)
        DisplayNumberWindow::Show(static_cast<int>(i) + 1, displays[i].monitorRect);
}

bool DisplaySelectDialog::RunCustomRange()
{
    // One range dialog at a time; while it runs, the shown selection dialog is its disabled owner.
    if (rangeDialogOpen)
        return false;
    rangeDialogOpen = true;
    struct Closed {
        bool& open;
        ~Closed() { open = false; }
    } closed{rangeDialogOpen};
    const RectMapper toNormal(normalScreen, virtualScreen);
    CalibrationRangeDialog dialog(hwnd_ != nullptr && ::IsWindowVisible(hwnd_) ? hwnd_ : nullptr);
    for (;;) {
        if (dialog.RunModal() != IDOK)
            return false;
        Rect normal{};
        // Too small, inverted, or so far off the desktop that its normalised form would not fit
        // 32 bits: the user is asked again.
        if (CheckCustomRange(dialog.range, toNormal, &normal) == RangeCheck::Accepted) {
            chosenRect = dialog.range;
            chosenRange = normal;
            return true;
        }
        ShowMessage(IDS_RANGE_TOO_SMALL);
    }
}

void DisplaySelectDialog::OnCustom(UINT, UINT, HWND)
{
    if (RunCustomRange())
        EndDialog(IDOK);
}

void DisplaySelectDialog::OnOK()
{
    if (selected < 0 || static_cast<uint32_t>(selected) >= displayCount)
        return;
    chosenRect = displays[selected].monitorRect;
    chosenRange = displays[selected].normalRect;
    EndDialog(IDOK);
}

} // namespace calibrate
