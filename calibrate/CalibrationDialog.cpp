#include "calibrate/CalibrationDialog.h"

#include "calibrate/CalibrationWorker.h"
#include "calibrate/PromptLayout.h"
#include "calibrate/resource.h"
#include "framework/App.h"

#include <commctrl.h>

#include <string>

namespace calibrate {

CalibrationDialog::CalibrationDialog(const CalibrationInputs& inputs, HWND parent)
    : Dialog(IDD_CALIBRATION, parent),
      inputs_(inputs),
      timerId_(0),
      arrowCursor_(nullptr),
      blankCursor_(nullptr),
      backgroundColour_(fw::kPageColour),
      closeRequested_(false),
      workerFinished_(false),
      requestSince_(0),
      cancelPending_(false)
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
    dx.Bind(IDC_LOWER_PROMPT, lowerPrompt_);
    dx.Bind(IDC_UPPER_PROMPT, upperPrompt_);
    dx.Bind(IDC_TARGET, target_);
}

bool CalibrationDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    if (!::IsWindow(lowerPrompt_.Handle()) || !::IsWindow(upperPrompt_.Handle()) || !::IsWindow(target_.Handle())) {
        EndDialog(IDCANCEL);
        return true;
    }

    SetWindowIcon(IDI_MARKSMAN);

    backgroundColour_ = fw::kPageColour;
    backgroundBrush_.Reset(::CreateSolidBrush(backgroundColour_));

    blankCursor_ = ::LoadCursorW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDCUR_BLANK));
    arrowCursor_ = ::LoadCursorW(nullptr, IDC_ARROW);

    const Rect& area = inputs_.displayRect;
    const int width = static_cast<int>(WidthOf(area));
    const int height = static_cast<int>(HeightOf(area));
    if (!::SetWindowPos(hwnd_, HWND_TOPMOST, area.left, area.top, width, height, 0)) {
        EndDialog(IDCANCEL);
        return true;
    }

    // Opening the clip sizes the control to its frames (71 x 71); without it there is no target.
    if (!target_.Send(ACM_OPENW, reinterpret_cast<WPARAM>(fw::ProgramInstance()), IDR_TARGET_ANIMATION)) {
        EndDialog(IDCANCEL);
        return true;
    }

    target_.Show(SW_HIDE);
    upperPrompt_.Show(SW_HIDE);
    lowerPrompt_.Show(SW_HIDE);

    cancelEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    acceptEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    // Without the events or the worker nothing would ever close the window.
    if (!backgroundBrush_ || !cancelEvent_ || !acceptEvent_ || !StartWorker()) {
        EndDialog(IDCANCEL);
        return true;
    }
    return true;
}

bool CalibrationDialog::StartWorker()
{
    DWORD threadId = 0;
    workerThread_.Reset(::CreateThread(nullptr, 0, &CalibrationWorker::ThreadProc, this, 0, &threadId));
    return workerThread_.Valid();
}

bool CalibrationDialog::JoinWorker(DWORD milliseconds)
{
    if (!workerThread_)
        return true;
    if (!workerFinished_.load()) {
        closeRequested_.store(true);
        if (cancelEvent_)
            ::SetEvent(cancelEvent_.Get());
    }
    // The worker may still send to this window (a prompt, a failure message) before it ends:
    // handle sent messages while waiting, or both threads would wait for each other.
    const HANDLE thread = workerThread_.Get();
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
    workerThread_.Reset();
    return true;
}

void CalibrationDialog::EndWorker()
{
    if (!workerAbandoned_ && !JoinWorker(kWorkerJoinMilliseconds))
        workerAbandoned_ = true;
}

void CalibrationDialog::ReleaseResources()
{
    EndWorker();
    // A worker still running may wake and use the events: they stay to the end of the process.
    if (workerAbandoned_)
        return;
    acceptEvent_.Reset();
    cancelEvent_.Reset();
    errorText_.Free();
    if (timerId_.load() != 0) {
        if (hwnd_ != nullptr)
            ::KillTimer(hwnd_, timerId_.load());
        timerId_.store(0);
    }
    backgroundBrush_.Reset();
}

bool CalibrationDialog::DestroyWindow()
{
    // The class cursor belongs to every dialog of the process: give the arrow back.
    if (hwnd_ != nullptr && arrowCursor_ != nullptr)
        ::SetClassLongPtrW(hwnd_, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(arrowCursor_));
    ReleaseResources();
    return Dialog::DestroyWindow();
}

bool CalibrationDialog::PreTranslateMessage(MSG& msg)
{
    if (msg.message == WM_KEYDOWN) {
        if (msg.wParam == VK_ESCAPE) {
            if (cancelEvent_)
                ::SetEvent(cancelEvent_.Get());
            WatchForStall();
            return true;
        }
        if (msg.wParam == VK_RETURN) {
            if (acceptEvent_)
                ::SetEvent(acceptEvent_.Get());
            return true;
        }
    }
    return Dialog::PreTranslateMessage(msg);
}

void CalibrationDialog::OnOK() {}

void CalibrationDialog::OnCancel()
{
    if (workerFinished_.load()) {
        EndDialog(IDCANCEL);
        return;
    }
    // A close from the system (close command, Alt+F4) while the worker runs: the worker ends the
    // calibration as on Esc during a target, restores the mode, and closes the window itself.
    closeRequested_.store(true);
    if (cancelEvent_)
        ::SetEvent(cancelEvent_.Get());
    WatchForStall();
}

void CalibrationDialog::WorkerFinished()
{
    workerFinished_.store(true);
    // Only the window's thread ends the modal loop: when the close cannot be posted it is sent,
    // which waits until that thread has handled it.
    if (!::PostMessageW(hwnd_, WM_CLOSE, 0, 0))
        Send(WM_CLOSE);
}

void CalibrationDialog::RequestBegins()
{
    requestSince_.store(::GetTickCount() | 1u);
}

void CalibrationDialog::RequestEnds()
{
    requestSince_.store(0);
}

void CalibrationDialog::WatchForStall()
{
    cancelPending_.store(true);
    if (stallWatch_ || workerFinished_.load())
        return;
    stallWatch_ = ::SetTimer(hwnd_, kStallCheckTimer, kStallCheckMilliseconds, nullptr) != 0;
}

bool CalibrationDialog::StartTimeout()
{
    // The worker goes on to a new wait: it has answered the last cancel (a close stays pending).
    cancelPending_.store(closeRequested_.load());
    const UINT_PTR id = ::SetTimer(hwnd_, kTimeoutTimer, kTimeoutMilliseconds, nullptr);
    timerId_.store(id);
    return id != 0;
}

void CalibrationDialog::StopTimeout()
{
    const UINT_PTR id = timerId_.exchange(0);
    if (id != 0)
        ::KillTimer(hwnd_, id);
}

HBRUSH CalibrationDialog::OnCtlColor(HDC dc, HWND control, UINT)
{
    if (control != nullptr && control != hwnd_) {
        const int id = ::GetDlgCtrlID(control);
        if (id == IDC_TARGET || id == IDC_UPPER_PROMPT || id == IDC_LOWER_PROMPT) {
            ::SetBkColor(dc, backgroundColour_);
            ::SetBkMode(dc, TRANSPARENT);
        }
    }
    return backgroundBrush_.Get();
}

LRESULT CalibrationDialog::OnTimer(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    handled = false;
    if (wParam == kStallCheckTimer) {
        handled = true;
        const DWORD since = requestSince_.load();
        if (workerFinished_.load() || !cancelPending_.load()) {
            ::KillTimer(hwnd_, kStallCheckTimer);
            stallWatch_ = false;
        } else if (since != 0 && ::GetTickCount() - since >= kStalledRequestMilliseconds) {
            // The worker waits for a driver that does not answer: the user's cancel or close
            // ends the window now. If the request returns, the worker finishes as after a close.
            ::KillTimer(hwnd_, kStallCheckTimer);
            stallWatch_ = false;
            closeRequested_.store(true);
            EndDialog(IDCANCEL);
        }
        return 0;
    }
    const UINT_PTR running = timerId_.load();
    if (running != 0 && wParam == running && cancelEvent_) {
        ::SetEvent(cancelEvent_.Get());
        WatchForStall();
    }
    return 0;
}

LRESULT CalibrationDialog::OnDoubleClick(UINT, WPARAM, LPARAM, bool& handled)
{
    if (acceptEvent_)
        ::SetEvent(acceptEvent_.Get());
    handled = false;
    return 0;
}

LRESULT CalibrationDialog::OnCalibrationError(UINT, WPARAM wParam, LPARAM lParam, bool&)
{
    std::wstring text = fw::LoadText(static_cast<UINT>(wParam));
    const DWORD code = static_cast<DWORD>(lParam);
    if (code != 0) {
        const wchar_t* systemText = errorText_.FormatErrorText(code);
        if (systemText != nullptr)
            text += systemText;
    }
    // The blank cursor is the class cursor of every dialog, the message box's included.
    if (arrowCursor_ != nullptr)
        ::SetClassLongPtrW(hwnd_, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(arrowCursor_));
    ::MessageBoxW(hwnd_, text.c_str(), fw::ProgramName().c_str(), MB_OK);
    return 0;
}

SIZE CalibrationDialog::MeasureText(const fw::Control& control, const std::wstring& text) const
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

Size CalibrationDialog::PreparePrompt(const fw::Control& control, UINT id, std::wstring* text) const
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
    const Size upperSize = PreparePrompt(upperPrompt_, upperId, &upperText);
    const Size lowerSize = PreparePrompt(lowerPrompt_, lowerId, &lowerText);

    const Rect& area = inputs_.displayRect;
    const Size areaSize = {static_cast<int32_t>(WidthOf(area)), static_cast<int32_t>(HeightOf(area))};
    const PromptRects rects = LayoutPrompts(areaSize, upperSize, lowerSize);
    if (upperId != 0) {
        upperPrompt_.Move(RECT{rects.upper.left, rects.upper.top, rects.upper.right, rects.upper.bottom});
        ::SetWindowTextW(upperPrompt_.Handle(), upperText.c_str());
    }
    if (lowerId != 0) {
        lowerPrompt_.Move(RECT{rects.lower.left, rects.lower.top, rects.lower.right, rects.lower.bottom});
        ::SetWindowTextW(lowerPrompt_.Handle(), lowerText.c_str());
    }
    return 0;
}

} // namespace calibrate
