#include "calibrate/CalibrationRangeDialog.h"

#include "calibrate/CustomRange.h"
#include "calibrate/resource.h"
#include "framework/App.h"

namespace calibrate {

bool InvertRange(HPEN pen, const Rect& rect)
{
    const fw::DeviceContext dc(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    if (!dc)
        return false;
    const int oldMode = ::SetROP2(dc.Get(), R2_NOT);
    bool drawn = false;
    {
        const fw::SelectedObject selected(dc.Get(), pen);
        drawn = ::Rectangle(dc.Get(), rect.left, rect.top, rect.right, rect.bottom) != FALSE;
        // Reading a pixel pushes the drawing out to the screen before the context goes away.
        ::GetPixel(dc.Get(), rect.left, rect.top);
    }
    if (oldMode != 0)
        ::SetROP2(dc.Get(), oldMode);
    return drawn;
}

CalibrationRangeDialog::CalibrationRangeDialog(HWND parent) : Dialog(IDD_CALIBRATION_RANGE, parent) {}

// The pens go with the window (OnDestroy), or with the object when the base destroyed it.
CalibrationRangeDialog::~CalibrationRangeDialog() = default;

const fw::MessageMap& CalibrationRangeDialog::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_MOVE, &CalibrationRangeDialog::OnMove),
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
    return fw::IsReturnOrEscape(msg);
}

bool CalibrationRangeDialog::OnInitDialog()
{
    // A new window of a dialog shown before: moves only count once this one has its boxes.
    initialized_ = false;
    lastDrawnShown_ = false;
    Dialog::OnInitDialog();

    SetWindowIcon(IDI_MARKSMAN);
    topLeftIcon_.SubclassItem(*this, IDC_TOP_LEFT_ICON);
    bottomRightIcon_.SubclassItem(*this, IDC_BOTTOM_RIGHT_ICON);

    if (!thinPen_)
        thinPen_.Reset(::CreatePen(PS_SOLID, 1, RGB(255, 0, 0)));
    if (!thickPen_)
        thickPen_.Reset(::CreatePen(PS_SOLID, 3, RGB(255, 0, 0)));
    initialized_ = true;
    return true;
}

LRESULT CalibrationRangeDialog::OnMove(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    if (!initialized_ || Item(IDC_RANGE_LEFT) == nullptr)
        return 0;
    RECT own;
    if (!::GetWindowRect(hwnd_, &own))
        return 0;
    range = Rect{own.left, own.top, own.right, own.bottom};
    UpdateData(false);
    return 0;
}

LRESULT CalibrationRangeDialog::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    RestoreDragged();
    initialized_ = false;
    thinPen_.Reset();
    thickPen_.Reset();
    return 0;
}

void CalibrationRangeDialog::RestoreDragged()
{
    if (!lastDrawnShown_)
        return;
    lastDrawnShown_ = false;
    InvertRange(thinPen_.Get(), lastDrawn_);
}

LRESULT CalibrationRangeDialog::OnDragStarted(NMHDR&)
{
    // Never two rectangles on the screen: one left by an unfinished drag goes first.
    RestoreDragged();
    InvertRange(thinPen_.Get(), range);
    lastDrawn_ = range;
    lastDrawnShown_ = true;
    return 1;
}

LRESULT CalibrationRangeDialog::OnDragMoved(NMHDR& header)
{
    if (!lastDrawnShown_)
        return 1;
    const DragMoveNotification& move = reinterpret_cast<const DragMoveNotification&>(header);
    // Typed values take effect; a box without a number stops the reading there (and prompts).
    UpdateData(true);
    // The prompt may have ended the drag meanwhile.
    if (!lastDrawnShown_)
        return 1;
    const DragCorner corner = header.idFrom == IDC_TOP_LEFT_ICON ? DragCorner::TopLeft : DragCorner::BottomRight;
    range = ApplyDrag(range, corner, Point{move.x, move.y});
    UpdateData(false);
    InvertRange(thinPen_.Get(), lastDrawn_);
    InvertRange(thinPen_.Get(), range);
    lastDrawn_ = range;
    return 1;
}

LRESULT CalibrationRangeDialog::OnDragEnded(NMHDR&)
{
    RestoreDragged();
    lastDrawn_ = range;
    range = NormaliseRange(range);
    UpdateData(false);
    return 1;
}

void CalibrationRangeDialog::OnShowRange(UINT, UINT, HWND)
{
    UpdateData(true);
    const Rect shown = range;
    InvertRange(thickPen_.Get(), shown);
    // The user looks at the rectangle for a second; the dialog does not answer meanwhile.
    ::Sleep(1000);
    InvertRange(thickPen_.Get(), shown);
}

} // namespace calibrate
