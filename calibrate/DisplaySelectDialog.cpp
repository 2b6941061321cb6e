#include "calibrate/DisplaySelectDialog.h"

#include "calibrate/PreviewLayout.h"
#include "calibrate/RectMapper.h"
#include "calibrate/resource.h"

#include <cwchar>
#include <new>
#include <vector>

namespace calibrate {

namespace {

const COLORREF kFaceColour = RGB(58, 110, 165);
const COLORREF kSelectedBorder = RGB(10, 36, 106);
const COLORREF kPlainBorder = RGB(128, 128, 128);

RECT ToRECT(const Rect& r)
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

RECT Inset(const RECT& r, int by)
{
    return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by};
}

// A solid brush owned for one drawing step.
class SolidBrush {
public:
    explicit SolidBrush(COLORREF colour) : brush_(::CreateSolidBrush(colour)) {}
    ~SolidBrush()
    {
        if (brush_ != nullptr)
            ::DeleteObject(brush_);
    }
    SolidBrush(const SolidBrush&) = delete;
    SolidBrush& operator=(const SolidBrush&) = delete;
    HBRUSH Get() const { return brush_; }

private:
    HBRUSH brush_;
};

// An Arial font of `points` for `dc`, selected into it while the object lives. When the font
// cannot be made the context's current font stays in use.
class ArialFont {
public:
    ArialFont(HDC dc, int points) : dc_(dc)
    {
        LOGFONTW logFont = {};
        logFont.lfHeight = -::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
        logFont.lfWeight = FW_NORMAL;
        logFont.lfCharSet = DEFAULT_CHARSET;
        std::wcscpy(logFont.lfFaceName, L"Arial");
        font_ = ::CreateFontIndirectW(&logFont);
        if (font_ != nullptr)
            previous_ = ::SelectObject(dc, font_);
    }
    ~ArialFont()
    {
        if (previous_ != nullptr)
            ::SelectObject(dc_, previous_);
        if (font_ != nullptr)
            ::DeleteObject(font_);
    }
    ArialFont(const ArialFont&) = delete;
    ArialFont& operator=(const ArialFont&) = delete;

private:
    HDC dc_;
    HFONT font_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

std::wstring DecimalText(long value)
{
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"%ld", value);
    return text;
}

volatile LONG liveNumberWindows = 0;

} // namespace

// ---- MonitorButton

MonitorButton::~MonitorButton() = default;

void MonitorButton::SetSelected(bool value)
{
    if (value == selected)
        return;
    selected = value;
    if (hwnd_ != nullptr)
        ::InvalidateRect(hwnd_, nullptr, TRUE);
}

bool MonitorButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    if ((item.itemAction & ODA_DRAWENTIRE) == 0)
        return true;
    HDC dc = item.hDC;
    const RECT whole = item.rcItem;

    SolidBrush white(RGB(255, 255, 255));
    SolidBrush face(kFaceColour);
    SolidBrush border(selected ? kSelectedBorder : kPlainBorder);
    if (white.Get() == nullptr || face.Get() == nullptr || border.Get() == nullptr)
        return true;

    RECT frame = Inset(whole, 4);
    ::FrameRect(dc, &frame, white.Get());
    RECT inner = Inset(whole, 5);
    ::FillRect(dc, &inner, face.Get());

    const std::wstring caption = Text();
    {
        ArialFont font(dc, 24);
        const COLORREF oldText = ::SetTextColor(dc, RGB(255, 255, 255));
        const COLORREF oldBack = ::SetBkColor(dc, kFaceColour);
        const int oldMode = ::SetBkMode(dc, OPAQUE);
        ::DrawTextW(dc, caption.c_str(), -1, &inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::SetBkMode(dc, oldMode);
        ::SetBkColor(dc, oldBack);
        ::SetTextColor(dc, oldText);
    }

    for (int inset = 0; inset < 4; ++inset) {
        RECT ring = Inset(whole, inset);
        ::FrameRect(dc, &ring, border.Get());
    }
    return true;
}

// ---- DisplayNumberWindow

const wchar_t* const DisplayNumberWindow::kClassName = L"QelvoDisplayNumber";

DisplayNumberWindow::DisplayNumberWindow(int number) : number(number)
{
    ::InterlockedIncrement(&liveNumberWindows);
}

DisplayNumberWindow::~DisplayNumberWindow()
{
    ::InterlockedDecrement(&liveNumberWindows);
}

long DisplayNumberWindow::LiveCount()
{
    return ::InterlockedCompareExchange(&liveNumberWindows, 0, 0);
}

bool DisplayNumberWindow::Show(int number, const Rect& monitor)
{
    DisplayNumberWindow* window = new (std::nothrow) DisplayNumberWindow(number);
    if (window == nullptr)
        return false;
    // Create frees the object itself when it fails.
    if (!window->Create(kClassName, DecimalText(number).c_str(), WS_POPUP, ToRECT(monitor)))
        return false;
    ::ShowWindow(window->Handle(), SW_SHOW);
    return true;
}

const fw::MessageMap& DisplayNumberWindow::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_CREATE, &DisplayNumberWindow::OnCreate),
        fw::OnMessage(WM_PAINT, &DisplayNumberWindow::OnPaint),
        fw::OnMessage(WM_TIMER, &DisplayNumberWindow::OnTimer),
        fw::OnMessage(WM_DESTROY, &DisplayNumberWindow::OnDestroy),
    };
    static const fw::MessageMap map(entries, &GenericWindow::Messages());
    return map;
}

bool DisplayNumberWindow::PreCreateWindow(CREATESTRUCTW& cs)
{
    HCURSOR arrow = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    if (!RegisterWindowClass(kClassName, 0, arrow, nullptr, nullptr))
        return false;
    cs.lpszClass = kClassName;
    return true;
}

void DisplayNumberWindow::OnFinalMessage()
{
    delete this;
}

LRESULT DisplayNumberWindow::OnCreate(UINT, WPARAM, LPARAM, bool& handled)
{
    // Without its timer the window would stay for good: refuse to exist instead.
    timerId = ::SetTimer(hwnd_, 1, 2000, nullptr);
    handled = true;
    return timerId != 0 ? 0 : -1;
}

LRESULT DisplayNumberWindow::OnPaint(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = true;
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd_, &paint);
    if (dc == nullptr)
        return 0;
    RECT client;
    if (::GetClientRect(hwnd_, &client)) {
        ArialFont font(dc, 360);
        const COLORREF oldText = ::SetTextColor(dc, RGB(255, 255, 255));
        const int oldMode = ::SetBkMode(dc, TRANSPARENT);
        const std::wstring text = DecimalText(number);
        ::DrawTextW(dc, text.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::SetBkMode(dc, oldMode);
        ::SetTextColor(dc, oldText);
    }
    ::EndPaint(hwnd_, &paint);
    return 0;
}

LRESULT DisplayNumberWindow::OnTimer(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    handled = true;
    if (wParam == timerId)
        ::DestroyWindow(hwnd_);
    return 0;
}

LRESULT DisplayNumberWindow::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    if (timerId != 0) {
        ::KillTimer(hwnd_, timerId);
        timerId = 0;
    }
    handled = false;
    return 0;
}

// ---- DisplaySelectDialog

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
