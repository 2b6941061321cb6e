#include "calibrate/CalibrationDialog.h"

#include "calibrate/CalibrationWorker.h"
#include "calibrate/PromptLayout.h"
#include "calibrate/resource.h"
#include "framework/App.h"
#include "framework/PaintScope.h"

#include <commctrl.h>

#include <string>

namespace calibrate {

namespace {

constexpr COLORREF kBackgroundColour = RGB(212, 222, 244);

} // namespace

CalibrationDialog::CalibrationDialog(const CalibrationInputs& inputs, HWND parent)
    : Dialog(IDD_CALIBRATION, parent),
      inputs(inputs),
      icon(::LoadIconW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDI_MARKSMAN))),
      timerId(0),
      arrowCursor(nullptr),
      blankCursor(nullptr),
      backgroundColour(kBackgroundColour),
      closeRequested(false),
      workerFinished(false),
      requestSince(0),
      cancelPending(false)
{
}

CalibrationDialog::~CalibrationDialog()
{
    // The base destroys a window that is still there without asking us: end the worker and
    // release what it shares first.
    if (hwnd_ != nullptr && ::IsWindow(hwnd_))
        DestroyWindow();
    else
        ReleaseResources();
}

const fw::MessageMap& CalibrationDialog::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_PAINT, &CalibrationDialog::OnPaint),
        fw::OnMessage(WM_QUERYDRAGICON, &CalibrationDialog::OnQueryDragIcon),
        fw::OnMessage(WM_TIMER, &CalibrationDialog::OnTimer),
        fw::OnMessage(WM_LBUTTONDBLCLK, &CalibrationDialog::OnDoubleClick),
        fw::OnMessage(WM_CALIBRATION_ERROR, &CalibrationDialog::OnCalibrationError),
        fw::OnMessage(WM_CALIBRATION_PROMPT, &CalibrationDialog::OnCalibrationPrompt),
    };
    static const fw::MessageMap map(entries, &Dialog::Messages());
    return map;
}

void CalibrationDialog::DoDataExchange(fw::DataExchange& dx)
{
    dx.Bind(IDC_LOWER_PROMPT, lowerPrompt);
    dx.Bind(IDC_UPPER_PROMPT, upperPrompt);
    dx.Bind(IDC_TARGET, target);
}

bool CalibrationDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    if (!lowerPrompt.IsValid() || !upperPrompt.IsValid() || !target.IsValid()) {
        EndDialog(IDCANCEL);
        return true;
    }

    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    backgroundColour = kBackgroundColour;
    backgroundBrush.Reset(::CreateSolidBrush(backgroundColour));

    blankCursor = ::LoadCursorW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDCUR_BLANK));
    arrowCursor = ::LoadCursorW(nullptr, IDC_ARROW);

    const Rect& area = inputs.displayRect;
    const int width = static_cast<int>(WidthOf(area));
    const int height = static_cast<int>(HeightOf(area));
    if (!::SetWindowPos(hwnd_, HWND_TOPMOST, area.left, area.top, width, height, 0)) {
        EndDialog(IDCANCEL);
        return true;
    }

    // Opening the clip sizes the control to its frames (71 x 71); without it there is no target.
    if (!target.Open(fw::ProgramInstance(), IDR_TARGET_ANIMATION)) {
        EndDialog(IDCANCEL);
        return true;
    }

    target.Show(SW_HIDE);
    upperPrompt.Show(SW_HIDE);
    lowerPrompt.Show(SW_HIDE);

    cancelEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    acceptEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    // Without the events or the worker nothing would ever close the window.
    if (!backgroundBrush || !cancelEvent || !acceptEvent || !StartWorker()) {
        EndDialog(IDCANCEL);
        return true;
    }
    return true;
}

bool CalibrationDialog::StartWorker()
{
    DWORD threadId = 0;
    workerThread.Reset(::CreateThread(nullptr, 0, &CalibrationWorker::ThreadProc, this, 0, &threadId));
    return workerThread.Valid();
}

bool CalibrationDialog::JoinWorker(DWORD milliseconds)
{
    if (!workerThread)
        return true;
    if (!workerFinished.load()) {
        closeRequested.store(true);
        if (cancelEvent)
            ::SetEvent(cancelEvent.Get());
    }
    // The worker may still send to this window (a prompt, a failure message) before it ends:
    // handle sent messages while waiting, or both threads would wait for each other.
    const HANDLE thread = workerThread.Get();
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD waited = ::GetTickCount() - start;
        const DWORD left = waited < milliseconds ? milliseconds - waited : 0;
        const DWORD wait = ::MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
        if (wait == WAIT_OBJECT_0 + 1) {
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (wait != WAIT_OBJECT_0)
            return false;
        break;
    }
    workerThread.Reset();
    return true;
}

void CalibrationDialog::EndWorker()
{
    if (!workerAbandoned && !JoinWorker(kWorkerJoinMilliseconds))
        workerAbandoned = true;
}

void CalibrationDialog::ReleaseResources()
{
    EndWorker();
    // A worker still running may wake and use the events: they stay to the end of the process.
    if (workerAbandoned)
        return;
    acceptEvent.Reset();
    cancelEvent.Reset();
    errorText.Free();
    if (timerId.load() != 0) {
        if (hwnd_ != nullptr)
            KillTimer(timerId.load());
        timerId.store(0);
    }
    backgroundBrush.Reset();
}

bool CalibrationDialog::DestroyWindow()
{
    // The class cursor belongs to every dialog of the process: give the arrow back.
    if (hwnd_ != nullptr && arrowCursor != nullptr)
        ::SetClassLongPtrW(hwnd_, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(arrowCursor));
    ReleaseResources();
    return Dialog::DestroyWindow();
}

bool CalibrationDialog::PreTranslateMessage(MSG& msg)
{
    if (msg.message == WM_KEYDOWN) {
        if (msg.wParam == VK_ESCAPE) {
            if (cancelEvent)
                ::SetEvent(cancelEvent.Get());
            WatchForStall();
            return true;
        }
        if (msg.wParam == VK_RETURN) {
            if (acceptEvent)
                ::SetEvent(acceptEvent.Get());
            return true;
        }
    }
    return Dialog::PreTranslateMessage(msg);
}

void CalibrationDialog::OnOK() {}

void CalibrationDialog::OnCancel()
{
    if (workerFinished.load()) {
        EndDialog(IDCANCEL);
        return;
    }
    // A close from the system (close command, Alt+F4) while the worker runs: the worker ends the
    // calibration as on Esc during a target, restores the mode, and closes the window itself.
    closeRequested.store(true);
    if (cancelEvent)
        ::SetEvent(cancelEvent.Get());
    WatchForStall();
}

void CalibrationDialog::WorkerFinished()
{
    workerFinished.store(true);
    // Only the window's thread ends the modal loop: when the close cannot be posted it is sent,
    // which waits until that thread has handled it.
    if (!Post(WM_CLOSE))
        Send(WM_CLOSE);
}

void CalibrationDialog::RequestBegins()
{
    requestSince.store(::GetTickCount() | 1u);
}

void CalibrationDialog::RequestEnds()
{
    requestSince.store(0);
}

void CalibrationDialog::WatchForStall()
{
    cancelPending.store(true);
    if (stallWatch || workerFinished.load())
        return;
    stallWatch = ::SetTimer(hwnd_, kStallCheckTimer, kStallCheckMilliseconds, nullptr) != 0;
}

bool CalibrationDialog::StartTimeout()
{
    // The worker goes on to a new wait: it has answered the last cancel (a close stays pending).
    cancelPending.store(closeRequested.load());
    const UINT_PTR id = ::SetTimer(hwnd_, kTimeoutTimer, kTimeoutMilliseconds, nullptr);
    timerId.store(id);
    return id != 0;
}

void CalibrationDialog::StopTimeout()
{
    const UINT_PTR id = timerId.exchange(0);
    if (id != 0)
        ::KillTimer(hwnd_, id);
}

HBRUSH CalibrationDialog::OnCtlColor(HDC dc, HWND control, UINT)
{
    if (control != nullptr && control != hwnd_) {
        const int id = ::GetDlgCtrlID(control);
        if (id == IDC_TARGET || id == IDC_UPPER_PROMPT || id == IDC_LOWER_PROMPT) {
            ::SetBkColor(dc, backgroundColour);
            ::SetBkMode(dc, TRANSPARENT);
        }
    }
    return backgroundBrush.Get();
}

LRESULT CalibrationDialog::OnPaint(UINT, WPARAM, LPARAM, bool& handled)
{
    if (!::IsIconic(hwnd_) || icon == nullptr) {
        handled = false;
        return 0;
    }
    const fw::PaintScope paint(hwnd_);
    if (paint.Dc() != nullptr) {
        const RECT client = ClientRect();
        const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(paint.Dc(), x, y, icon);
    }
    return 0;
}

LRESULT CalibrationDialog::OnQueryDragIcon(UINT, WPARAM, LPARAM, bool&)
{
    return reinterpret_cast<LRESULT>(icon);
}

LRESULT CalibrationDialog::OnTimer(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    handled = false;
    if (wParam == kStallCheckTimer) {
        handled = true;
        const DWORD since = requestSince.load();
        if (workerFinished.load() || !cancelPending.load()) {
            ::KillTimer(hwnd_, kStallCheckTimer);
            stallWatch = false;
        } else if (since != 0 && ::GetTickCount() - since >= kStalledRequestMilliseconds) {
            // The worker waits for a driver that does not answer: the user's cancel or close
            // ends the window now. If the request returns, the worker finishes as after a close.
            ::KillTimer(hwnd_, kStallCheckTimer);
            stallWatch = false;
            closeRequested.store(true);
            EndDialog(IDCANCEL);
        }
        return 0;
    }
    const UINT_PTR running = timerId.load();
    if (running != 0 && wParam == running && cancelEvent) {
        ::SetEvent(cancelEvent.Get());
        WatchForStall();
    }
    return 0;
}

LRESULT CalibrationDialog::OnDoubleClick(UINT, WPARAM, LPARAM, bool& handled)
{
    if (acceptEvent)
        ::SetEvent(acceptEvent.Get());
    handled = false;
    return 0;
}

LRESULT CalibrationDialog::OnCalibrationError(UINT, WPARAM wParam, LPARAM lParam, bool&)
{
    std::wstring text = fw::LoadText(static_cast<UINT>(wParam));
    const DWORD code = static_cast<DWORD>(lParam);
    if (code != 0) {
        const wchar_t* systemText = errorText.FormatErrorText(code);
        if (systemText != nullptr)
            text += systemText;
    }
    // The blank cursor is the class cursor of every dialog, the message box's included.
    if (arrowCursor != nullptr)
        ::SetClassLongPtrW(hwnd_, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(arrowCursor));
    ::MessageBoxW(hwnd_, text.c_str(), fw::ProgramName().c_str(), MB_OK);
    return 0;
}

SIZE CalibrationDialog::MeasureText(const fw::Static& control, const std::wstring& text) const
{
    SIZE size = {0, 0};
    const fw::WindowDC dc(hwnd_, ::GetWindowDC(hwnd_));
    if (!dc)
        return size;
    const fw::SelectedObject font(dc.Get(), reinterpret_cast<HFONT>(control.Send(WM_GETFONT)));
    RECT rect = {0, 0, 0, 0};
    if (::DrawTextW(dc.Get(), text.c_str(), -1, &rect, DT_CALCRECT | DT_CENTER) != 0) {
        size.cx = rect.right - rect.left;
        size.cy = rect.bottom - rect.top;
    }
    return size;
}

Size CalibrationDialog::PreparePrompt(const fw::Static& control, UINT id, std::wstring* text) const
{
    if (id == 0) {
        control.Show(SW_HIDE);
        return Size{0, 0};
    }
    *text = fw::LoadText(id);
    const SIZE measured = MeasureText(control, *text);
    control.Show(SW_SHOW);
    return Size{measured.cx, measured.cy};
}

LRESULT CalibrationDialog::OnCalibrationPrompt(UINT, WPARAM wParam, LPARAM lParam, bool&)
{
    const UINT upperId = static_cast<UINT>(wParam);
    const UINT lowerId = static_cast<UINT>(lParam);
    std::wstring upperText, lowerText;
    const Size upperSize = PreparePrompt(upperPrompt, upperId, &upperText);
    const Size lowerSize = PreparePrompt(lowerPrompt, lowerId, &lowerText);

    const Rect& area = inputs.displayRect;
    const Size areaSize = {static_cast<int32_t>(WidthOf(area)), static_cast<int32_t>(HeightOf(area))};
    const PromptRects rects = LayoutPrompts(areaSize, upperSize, lowerSize);
    if (upperId != 0) {
        upperPrompt.Move(RECT{rects.upper.left, rects.upper.top, rects.upper.right, rects.upper.bottom});
        upperPrompt.SetText(upperText);
    }
    if (lowerId != 0) {
        lowerPrompt.Move(RECT{rects.lower.left, rects.lower.top, rects.lower.right, rects.lower.bottom});
        lowerPrompt.SetText(lowerText);
    }
    return 0;
}

} // namespace calibrate
