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
    return displays_ != nullptr && index < displayCount_ ? &displays_[index] : nullptr;
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
    dx.Bind(IDC_DISPLAY_RESOLUTION, resolutionText_);
    dx.Bind(IDC_DISPLAY_NAME, nameText_);
}

bool DisplaySelectDialog::PreTranslateMessage(MSG& msg)
{
    return fw::IsReturnOrEscape(msg);
}

int DisplaySelectDialog::CountMonitors() const
{
    return ::GetSystemMetrics(SM_CMONITORS);
}

bool DisplaySelectDialog::EnumerateDisplays()
{
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    virtualScreen_ = Rect{left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    const int counted = CountMonitors();
    displayCount_ = counted > 0 ? static_cast<uint32_t>(counted) : 0;

    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExW(&version))
        return false;
    normalScreen_ = NormalisedScreen(FullScaleForVersion(version.dwMajorVersion, version.dwMinorVersion));

    selected_ = -1;
    displays_.reset(new (std::nothrow) DisplayEntry[displayCount_]);
    if (displays_ == nullptr) {
        displayCount_ = 0;
        return false;
    }
    filled_ = 0;
    tooManyMonitors_ = false;
    bool completed = false;
    enumerationFailed_ = false;
    if (::EnumDisplayMonitors(nullptr, nullptr, &DisplaySelectDialog::AddMonitor, reinterpret_cast<LPARAM>(this)))
        completed = true;
    // The table was sized by the count: a different number of monitors means the desktop
    // changed after it was measured, and every normalised value would rest on a stale desktop.
    if (!completed || enumerationFailed_ || tooManyMonitors_ || filled_ != displayCount_)
        return false;

    const RectMapper toNormal(normalScreen_, virtualScreen_);
    for (uint32_t i = 0; i < displayCount_; ++i)
        displays_[i].normalRect = toNormal.MapRect(displays_[i].monitorRect);
    return true;
}

BOOL CALLBACK DisplaySelectDialog::AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context)
{
    DisplaySelectDialog* self = reinterpret_cast<DisplaySelectDialog*>(context);
    const bool added = self->AddMonitor(monitor);
    if (!added)
        self->enumerationFailed_ = true;
    return added ? TRUE : FALSE;
}

bool DisplaySelectDialog::AddMonitor(HMONITOR monitor)
{
    if (filled_ >= displayCount_) {
        tooManyMonitors_ = true;
        return false;
    }
    MONITORINFOEXW info = {};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoW(monitor, &info))
        return false;
    DisplayEntry& entry = displays_[filled_];
    entry.monitorRect = Rect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
    entry.deviceName = info.szDevice;
    if (!Describe(entry))
        return false;
    ++filled_;
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
    if (displayCount_ == 0 || displays_ == nullptr) {
        EndDialog(IDCANCEL);
        return true;
    }
    if (displayCount_ == 1) {
        if (!(askCustomRange && RunCustomRange())) {
            chosenRect = displays_[0].monitorRect;
            chosenRange = displays_[0].normalRect;
        }
        EndDialog(IDOK);
        return true;
    }
    if (!LayOutPreview()) {
        EndDialog(IDCANCEL);
        return true;
    }
    ::EnableWindow(Item(IDOK), FALSE);
    ::SetWindowTextW(resolutionText_.Handle(), L"");
    ::SetWindowTextW(nameText_.Handle(), L"");
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
    monitors.reserve(displayCount_);
    for (uint32_t i = 0; i < displayCount_; ++i)
        monitors.push_back(displays_[i].monitorRect);
    const PreviewLayout layout = LayoutPreview(area, virtualScreen_, monitors);

    // The buttons go right above the grey area in the z-order (keeping their place in the tab
    // order), and the grey area leaves them out when it paints.
    ::SetWindowLongW(grey, GWL_STYLE, ::GetWindowLongW(grey, GWL_STYLE) | WS_CLIPSIBLINGS);
    HWND after = ::GetWindow(grey, GW_HWNDPREV);
    for (uint32_t i = 0; i < displayCount_; ++i) {
        DisplayEntry& entry = displays_[i];
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
    if (k < 0 || static_cast<uint32_t>(k) >= displayCount_ || k == selected_)
        return;
    if (selected_ < 0)
        ::EnableWindow(Item(IDOK), TRUE);
    else
        displays_[selected_].button.SetSelected(false);
    displays_[k].button.SetSelected(true);
    selected_ = k;

    const DisplayEntry& entry = displays_[k];
    ::SetWindowTextW(nameText_.Handle(), entry.description.c_str());
    wchar_t resolution[32];
    std::swprintf(resolution, sizeof resolution / sizeof resolution[0], L"%dx%d", static_cast<int>(entry.width),
                  static_cast<int>(entry.height));
    ::SetWindowTextW(resolutionText_.Handle(), resolution);
}

void DisplaySelectDialog::OnIdentify(UINT, UINT, HWND)
{
    for (uint32_t i = 0; i < displayCount_; ++i)
        DisplayNumberWindow::Show(static_cast<int>(i) + 1, displays_[i].monitorRect);
}

bool DisplaySelectDialog::RunCustomRange()
{
    // One range dialog at a time; while it runs, the shown selection dialog is its disabled owner.
    if (rangeDialogOpen_)
        return false;
    rangeDialogOpen_ = true;
    struct Closed {
        bool& open;
        ~Closed() { open = false; }
    } closed{rangeDialogOpen_};
    const RectMapper toNormal(normalScreen_, virtualScreen_);
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
    if (selected_ < 0 || static_cast<uint32_t>(selected_) >= displayCount_)
        return;
    chosenRect = displays_[selected_].monitorRect;
    chosenRange = displays_[selected_].normalRect;
    EndDialog(IDOK);
}

} // namespace calibrate
