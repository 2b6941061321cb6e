#include "calibrate/CalibrationDialog.h"

#include "calibrate/CalibrationApp.h"
#include "calibrate/CalibrationWorker.h"
#include "calibrate/PromptLayout.h"
#include "calibrate/resource.h"
#include "framework/App.h"

#include <commctrl.h>

#include <string>

namespace calibrate {

namespace {

constexpr COLORREF kBackgroundColour = RGB(212, 222, 244);

} // namespace

CalibrationDialog::CalibrationDialog(HWND parent)
    : Dialog(IDD_CALIBRATION, parent),
      icon(::LoadIconW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDI_MARKSMAN))),
      cancelEvent(nullptr),
      acceptEvent(nullptr),
      timerId(0),
      arrowCursor(nullptr),
      blankCursor(nullptr),
      backgroundColour(kBackgroundColour),
      backgroundBrush(nullptr),
      workerThread(nullptr),
      closeRequested(false),
      workerFinished(false)
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
    backgroundBrush = ::CreateSolidBrush(backgroundColour);

    blankCursor = ::LoadCursorW(fw::ProgramInstance(), MAKEINTRESOURCEW(IDCUR_BLANK));
    arrowCursor = ::LoadCursorW(nullptr, IDC_ARROW);

    const Rect& area = TheApp().displayRect;
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

    cancelEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    acceptEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // Without the events or the worker nothing would ever close the window.
    if (backgroundBrush == nullptr || cancelEvent == nullptr || acceptEvent == nullptr || !StartWorker()) {
        EndDialog(IDCANCEL);
        return true;
    }
    return true;
}

bool CalibrationDialog::StartWorker()
{
    DWORD threadId = 0;
    workerThread = ::CreateThread(nullptr, 0, &CalibrationWorker::ThreadProc, this, 0, &threadId);
    return workerThread != nullptr;
}

void CalibrationDialog::EndWorker()
{
    if (workerThread == nullptr)
        return;
    if (!workerFinished.load()) {
        closeRequested.store(true);
        if (cancelEvent != nullptr)
            ::SetEvent(cancelEvent);
    }
    // The worker may still send to this window (a prompt, a failure message) before it ends:
    // handle sent messages while waiting, or both threads would wait for each other.
    for (;;) {
        const DWORD wait = ::MsgWaitForMultipleObjects(1, &workerThread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (wait != WAIT_OBJECT_0 + 1)
            break;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    ::CloseHandle(workerThread);
    workerThread = nullptr;
}

void CalibrationDialog::ReleaseResources()
{
    EndWorker();
    if (acceptEvent != nullptr) {
        ::CloseHandle(acceptEvent);
        acceptEvent = nullptr;
    }
    if (cancelEvent != nullptr) {
        ::CloseHandle(cancelEvent);
        cancelEvent = nullptr;
    }
    errorText.Free();
    if (timerId.load() != 0) {
        if (hwnd_ != nullptr)
            KillTimer(timerId.load());
        timerId.store(0);
    }
    if (backgroundBrush != nullptr) {
        ::DeleteObject(backgroundBrush);
        backgroundBrush = nullptr;
    }
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
            if (cancelEvent != nullptr)
                ::SetEvent(cancelEvent);
            return true;
        }
        if (msg.wParam == VK_RETURN) {
            if (acceptEvent != nullptr)
                ::SetEvent(acceptEvent);
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
    if (cancelEvent != nullptr)
        ::SetEvent(cancelEvent);
}

void CalibrationDialog::WorkerFinished()
{
    workerFinished.store(true);
    if (!Post(WM_CLOSE)) {
        // Nothing else would end the modal loop.
        EndDialog(IDCANCEL);
    }
}

bool CalibrationDialog::StartTimeout()
{
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
    return backgroundBrush;
}

LRESULT CalibrationDialog::OnPaint(UINT, WPARAM, LPARAM, bool& handled)
{
    if (!::IsIconic(hwnd_) || icon == nullptr) {
        handled = false;
        return 0;
    }
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd_, &paint);
    if (dc != nullptr) {
        const RECT client = ClientRect();
        const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, icon);
    }
    ::EndPaint(hwnd_, &paint);
    return 0;
}

LRESULT CalibrationDialog::OnQueryDragIcon(UINT, WPARAM, LPARAM, bool&)
{
    return reinterpret_cast<LRESULT>(icon);
}

LRESULT CalibrationDialog::OnTimer(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    const UINT_PTR running = timerId.load();
    if (running != 0 && wParam == running && cancelEvent != nullptr)
        ::SetEvent(cancelEvent);
    handled = false;
    return 0;
}

LRESULT CalibrationDialog::OnDoubleClick(UINT, WPARAM, LPARAM, bool& handled)
{
    if (acceptEvent != nullptr)
        ::SetEvent(acceptEvent);
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
    HDC dc = ::GetWindowDC(hwnd_);
    if (dc == nullptr)
        return size;
    HFONT font = reinterpret_cast<HFONT>(control.Send(WM_GETFONT));
    HGDIOBJ previous = font != nullptr ? ::SelectObject(dc, font) : nullptr;
    RECT rect = {0, 0, 0, 0};
    if (::DrawTextW(dc, text.c_str(), -1, &rect, DT_CALCRECT | DT_CENTER) != 0) {
        size.cx = rect.right - rect.left;
        size.cy = rect.bottom - rect.top;
    }
    if (previous != nullptr)
        ::SelectObject(dc, previous);
    ::ReleaseDC(hwnd_, dc);
    return size;
}

LRESULT CalibrationDialog::OnCalibrationPrompt(UINT, WPARAM wParam, LPARAM lParam, bool&)
{
    const UINT upperId = static_cast<UINT>(wParam);
    const UINT lowerId = static_cast<UINT>(lParam);
    std::wstring upperText, lowerText;
    Size upperSize = {0, 0}, lowerSize = {0, 0};
    if (upperId != 0) {
        upperText = fw::LoadText(upperId);
        const SIZE s = MeasureText(upperPrompt, upperText);
        upperSize = Size{s.cx, s.cy};
        upperPrompt.Show(SW_SHOW);
    } else {
        upperPrompt.Show(SW_HIDE);
    }
    if (lowerId != 0) {
        lowerText = fw::LoadText(lowerId);
        const SIZE s = MeasureText(lowerPrompt, lowerText);
        lowerSize = Size{s.cx, s.cy};
        lowerPrompt.Show(SW_SHOW);
    } else {
        lowerPrompt.Show(SW_HIDE);
    }

    const Rect& area = TheApp().displayRect;
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
