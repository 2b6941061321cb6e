#include "calibrate/CalibrationRangeDialog.h"

#include "calibrate/CustomRange.h"
#include "calibrate/DisplaySelectDialog.h"
#include "calibrate/RectMapper.h"
#include "calibrate/resource.h"
#include "framework/App.h"

namespace calibrate {

bool InvertRange(HPEN pen, const Rect& rect)
{
    HDC dc = ::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    if (dc == nullptr)
        return false;
    const int oldMode = ::SetROP2(dc, R2_NOT);
    HGDIOBJ oldPen = pen != nullptr ? ::SelectObject(dc, pen) : nullptr;
    const bool drawn = ::Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom) != FALSE;
    // Reading a pixel pushes the drawing out to the screen before the context goes away.
    ::GetPixel(dc, rect.left, rect.top);
    if (oldPen != nullptr)
        ::SelectObject(dc, oldPen);
    if (oldMode != 0)
        ::SetROP2(dc, oldMode);
    ::DeleteDC(dc);
    return drawn;
}

// ---- DragIcon

DragIcon::~DragIcon() = default;

const fw::MessageMap& DragIcon::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_LBUTTONDOWN, &DragIcon::OnButtonDown),
        fw::OnMessage(WM_MOUSEMOVE, &DragIcon::OnMouseMove),
        fw::OnMessage(WM_LBUTTONUP, &DragIcon::OnButtonUp),
        fw::OnMessage(WM_CAPTURECHANGED, &DragIcon::OnCaptureChanged),
    };
    static const fw::MessageMap map(entries, &Static::Messages());
    return map;
}

void DragIcon::Notify(UINT code, const POINT* screen)
{
    HWND parent = ::GetParent(hwnd_);
    if (parent == nullptr)
        return;
    DragMoveNotification record = {};
    record.header.hwndFrom = hwnd_;
    record.header.idFrom = static_cast<UINT_PTR>(Id());
    record.header.code = code;
    if (screen != nullptr) {
        record.x = screen->x;
        record.y = screen->y;
    }
    ::SendMessageW(parent, WM_NOTIFY, record.header.idFrom, reinterpret_cast<LPARAM>(&record));
}

LRESULT DragIcon::OnButtonDown(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    HINSTANCE module = fw::ProgramInstance();
    ::SetCapture(hwnd_);
    HCURSOR target = ::LoadCursorW(module, MAKEINTRESOURCEW(IDCUR_DRAG_TARGET));
    if (target != nullptr)
        ::SetCursor(target);
    HICON empty = ::LoadIconW(module, MAKEINTRESOURCEW(IDI_DRAG_WINDOW));
    if (empty != nullptr)
        SetIcon(empty);
    dragging = true;
    Notify(kDragStarted, nullptr);
    return 0;
}

LRESULT DragIcon::OnMouseMove(UINT, WPARAM, LPARAM lParam, bool& handled)
{
    handled = false;
    if (!dragging)
        return 0;
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (!::ClientToScreen(hwnd_, &at))
        return 0;
    Notify(kDragMoved, &at);
    return 0;
}

LRESULT DragIcon::OnButtonUp(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    if (dragging)
        EndDrag(true);
    return 0;
}

// Losing the capture (another window took it, a message box opened) ends the drag as the
// button would: otherwise the inverted rectangle stayed on the screen.
LRESULT DragIcon::OnCaptureChanged(UINT, WPARAM, LPARAM lParam, bool& handled)
{
    handled = false;
    if (dragging && reinterpret_cast<HWND>(lParam) != hwnd_)
        EndDrag(false);
    return 0;
}

void DragIcon::EndDrag(bool releaseCapture)
{
    // Cleared first: releasing the capture reports WM_CAPTURECHANGED to this control.
    dragging = false;
    if (releaseCapture)
        ::ReleaseCapture();
    HICON target = ::LoadIconW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDI_DRAG_TARGET));
    if (target != nullptr)
        SetIcon(target);
    Notify(kDragEnded, nullptr);
}

// ---- CalibrationRangeDialog

CalibrationRangeDialog::CalibrationRangeDialog(HWND parent) : Dialog(IDD_CALIBRATION_RANGE, parent) {}

CalibrationRangeDialog::~CalibrationRangeDialog()
{
    // The pens go with the window (OnDestroy); this covers a window destroyed by the base.
    if (thinPen != nullptr)
        ::DeleteObject(thinPen);
    if (thickPen != nullptr)
        ::DeleteObject(thickPen);
}

const fw::MessageMap& CalibrationRangeDialog::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_MOVE, &CalibrationRangeDialog::OnMove),
        fw::OnMessage(WM_QUERYDRAGICON, &CalibrationRangeDialog::OnQueryDragIcon),
        fw::OnMessage(WM_DESTROY, &CalibrationRangeDialog::OnDestroy),
        fw::OnNotifyRange(IDC_TOP_LEFT_ICON, IDC_BOTTOM_RIGHT_ICON, kDragStarted, &CalibrationRangeDialog::OnDragStarted),
        fw::OnNotifyRange(IDC_TOP_LEFT_ICON, IDC_BOTTOM_RIGHT_ICON, kDragMoved, &CalibrationRangeDialog::OnDragMoved),
        fw::OnNotifyRange(IDC_TOP_LEFT_ICON, IDC_BOTTOM_RIGHT_ICON, kDragEnded, &CalibrationRangeDialog::OnDragEnded),
        fw::OnCommand(IDC_SHOW_RANGE, &CalibrationRangeDialog::OnShowRange),
    };
    static const fw::MessageMap map(entries, &Dialog::Messages());
    return map;
}

void CalibrationRangeDialog::DoDataExchange(fw::DataExchange& dx)
{
    dx.Int(IDC_RANGE_BOTTOM, range.bottom);
    dx.Int(IDC_RANGE_LEFT, range.left);
    dx.Int(IDC_RANGE_RIGHT, range.right);
    dx.Int(IDC_RANGE_TOP, range.top);
}

bool CalibrationRangeDialog::PreTranslateMessage(MSG& msg)
{
    return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
}

bool CalibrationRangeDialog::OnInitDialog()
{
    // A new window of a dialog shown before: moves only count once this one has its boxes.
    initialised = false;
    lastDrawnShown = false;
    Dialog::OnInitDialog();

    icon = ::LoadIconW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDI_MARKSMAN));
    if (icon != nullptr) {
        Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    topLeftIcon.SubclassItem(*this, IDC_TOP_LEFT_ICON);
    bottomRightIcon.SubclassItem(*this, IDC_BOTTOM_RIGHT_ICON);

    if (thinPen == nullptr)
        thinPen = ::CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    if (thickPen == nullptr)
        thickPen = ::CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
    initialised = true;
    return true;
}

LRESULT CalibrationRangeDialog::OnMove(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    if (!initialised || Item(IDC_RANGE_LEFT) == nullptr)
        return 0;
    RECT own;
    if (!::GetWindowRect(hwnd_, &own))
        return 0;
    range = Rect{own.left, own.top, own.right, own.bottom};
    UpdateData(false);
    return 0;
}

LRESULT CalibrationRangeDialog::OnQueryDragIcon(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = true;
    return reinterpret_cast<LRESULT>(icon);
}

LRESULT CalibrationRangeDialog::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    RestoreDragged();
    initialised = false;
    if (thinPen != nullptr) {
        ::DeleteObject(thinPen);
        thinPen = nullptr;
    }
    if (thickPen != nullptr) {
        ::DeleteObject(thickPen);
        thickPen = nullptr;
    }
    return 0;
}

void CalibrationRangeDialog::RestoreDragged()
{
    if (!lastDrawnShown)
        return;
    lastDrawnShown = false;
    InvertRange(thinPen, lastDrawn);
}

LRESULT CalibrationRangeDialog::OnDragStarted(NMHDR&)
{
    // Never two rectangles on the screen: one left by an unfinished drag goes first.
    RestoreDragged();
    InvertRange(thinPen, range);
    lastDrawn = range;
    lastDrawnShown = true;
    return 1;
}

LRESULT CalibrationRangeDialog::OnDragMoved(NMHDR& header)
{
    if (!lastDrawnShown)
        return 1;
    const DragMoveNotification& move = reinterpret_cast<const DragMoveNotification&>(header);
    // Typed values take effect; a box without a number stops the reading there (and prompts).
    UpdateData(true);
    // The prompt may have ended the drag meanwhile.
    if (!lastDrawnShown)
        return 1;
    const DragCorner corner = header.idFrom == IDC_TOP_LEFT_ICON ? DragCorner::TopLeft : DragCorner::BottomRight;
    range = ApplyDrag(range, corner, Point{move.x, move.y});
    UpdateData(false);
    InvertRange(thinPen, lastDrawn);
    InvertRange(thinPen, range);
    lastDrawn = range;
    return 1;
}

LRESULT CalibrationRangeDialog::OnDragEnded(NMHDR&)
{
    RestoreDragged();
    lastDrawn = range;
    range = NormaliseRange(range);
    UpdateData(false);
    return 1;
}

void CalibrationRangeDialog::OnShowRange(UINT, UINT, HWND)
{
    UpdateData(true);
    const Rect shown = range;
    InvertRange(thickPen, shown);
    // The user looks at the rectangle for a second; the dialog does not answer meanwhile.
    ::Sleep(1000);
    InvertRange(thickPen, shown);
}

// ---- DisplaySelectDialog::RunCustomRange

bool DisplaySelectDialog::RunCustomRange()
{
    const RectMapper toNormal(normalScreen, virtualScreen);
    CalibrationRangeDialog dialog(nullptr);
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

} // namespace calibrate
