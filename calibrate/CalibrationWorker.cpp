#include "calibrate/CalibrationWorker.h"

#include "calibrate/CalibrationApp.h"
#include "calibrate/CalibrationDialog.h"
#include "calibrate/StoredCalibration.h"
#include "calibrate/resource.h"
#include "device/DeviceAccess.h"
#include "device/TouchProtocol.h"

namespace calibrate {

namespace {

constexpr DWORD kPollMilliseconds = 100;

// A request whose reply has the wrong size or an unknown state is reported with this code.
constexpr DWORD kMalformedReply = ERROR_INVALID_DATA;

bool Control(HANDLE device, uint32_t code, void* in, DWORD inBytes, void* out, DWORD outBytes, DWORD* returned)
{
    DWORD bytes = 0;
    const BOOL ok = ::DeviceIoControl(device, code, in, inBytes, out, outBytes, &bytes, nullptr);
    if (returned != nullptr)
        *returned = ok ? bytes : 0;
    return ok != FALSE;
}

} // namespace

DWORD WINAPI CalibrationWorker::ThreadProc(void* dialog)
{
    CalibrationDialog& window = *static_cast<CalibrationDialog*>(dialog);
    try {
        CalibrationWorker worker(window);
        worker.Run();
    } catch (...) {
    }
    // Whatever happened, the window must learn that the worker is done, or it never closes.
    window.WorkerFinished();
    return 0;
}

CalibrationWorker::CalibrationWorker(CalibrationDialog& dialog)
    : dialog(dialog),
      device(INVALID_HANDLE_VALUE),
      savedMode(0),
      modeChanged(false),
      targets{},
      points{},
      halfW(0),
      halfH(0),
      failureMessage(0),
      lastError(0)
{
}

CalibrationWorker::~CalibrationWorker()
{
    if (device != INVALID_HANDLE_VALUE)
        ::CloseHandle(device);
}

void CalibrationWorker::Run()
{
    if (Start()) {
        Outcome outcome;
        CalibrationValues values = {};
        do {
            outcome = Pass();
            if (outcome == Outcome::Accepted || outcome == Outcome::Rejected)
                values = ComputeCalibration(points[0], points[1], points[2]);
        } while (outcome == Outcome::Rejected);
        if (outcome == Outcome::Accepted)
            Store(values);
    }

    // Finish. After a failure too, the driver gets its mode back before the message is shown,
    // so that the user can answer it with the usual touch mode (mode 3 needs double taps).
    if (modeChanged && !RestoreMode() && failureMessage == 0)
        Fail(IDS_SET_MODE_FAILED, lastError);
    if (failureMessage != 0) {
        dialog.Target().Stop();
        dialog.Send(WM_CALIBRATION_ERROR, failureMessage, static_cast<LPARAM>(lastError));
    }
    if (device != INVALID_HANDLE_VALUE) {
        ::CloseHandle(device);
        device = INVALID_HANDLE_VALUE;
    }
}

void CalibrationWorker::Fail(UINT messageId, DWORD error)
{
    failureMessage = messageId;
    lastError = error;
}

bool CalibrationWorker::SelectedDeviceId(uint32_t* deviceId)
{
    return TheApp().deviceManager.GetSelectedDeviceId(deviceId);
}

bool CalibrationWorker::SetMode(uint32_t mode)
{
    touch::TouchModeRecord record = {0, mode};
    if (!SelectedDeviceId(&record.deviceId)) {
        ::SetLastError(ERROR_DEV_NOT_EXIST);
        return false;
    }
    return Control(device, touch::IOCTL_TOUCH_SET_MODE, &record, sizeof record, nullptr, 0, nullptr);
}

bool CalibrationWorker::RestoreMode()
{
    if (!SetMode(savedMode)) {
        lastError = ::GetLastError();
        return false;
    }
    modeChanged = false;
    return true;
}

bool CalibrationWorker::Start()
{
    if (!touch::EnableSystemProfilePrivilege()) {
        Fail(IDS_NO_PRIVILEGE, 0);
        return false;
    }
    device = touch::OpenTouchControlDevice();
    if (device == INVALID_HANDLE_VALUE) {
        Fail(IDS_DRIVER_NOT_LOADED, 0);
        return false;
    }

    touch::TouchModeRecord mode = {0, 0};
    if (!SelectedDeviceId(&mode.deviceId)) {
        Fail(IDS_GET_MODE_FAILED, ERROR_DEV_NOT_EXIST);
        return false;
    }
    DWORD returned = 0;
    if (!Control(device, touch::IOCTL_TOUCH_GET_MODE, &mode, sizeof mode, &mode, sizeof mode, &returned)) {
        Fail(IDS_GET_MODE_FAILED, ::GetLastError());
        return false;
    }
    // A short reply would leave the mode to restore unknown.
    if (returned != sizeof mode) {
        Fail(IDS_GET_MODE_FAILED, kMalformedReply);
        return false;
    }
    savedMode = mode.mode;

    if (!SetMode(touch::kCalibrationMode)) {
        Fail(IDS_SET_MODE_FAILED, ::GetLastError());
        return false;
    }
    modeChanged = true;

    const RECT control = dialog.Target().WindowRect();
    halfW = (control.right - control.left - 1) / 2;
    halfH = (control.bottom - control.top - 1) / 2;
    const Rect& area = TheApp().displayRect;
    targets = ComputeTargets(static_cast<int32_t>(WidthOf(area)), static_cast<int32_t>(HeightOf(area)));
    return true;
}

void CalibrationWorker::PlaceTarget(Point at)
{
    const RECT control = dialog.Target().WindowRect();
    const int width = control.right - control.left;
    const int height = control.bottom - control.top;
    ::MoveWindow(dialog.Target().Handle(), at.x - halfW, at.y - halfH, width, height, TRUE);
}

void CalibrationWorker::Prompt(UINT upperId, UINT lowerId)
{
    dialog.Send(WM_CALIBRATION_PROMPT, upperId, static_cast<LPARAM>(lowerId));
}

CalibrationWorker::Outcome CalibrationWorker::Pass()
{
    dialog.Target().Show(SW_SHOW);
    ::SetClassLongPtrW(dialog.Handle(), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(dialog.BlankCursor()));

    for (int i = 0; i < 3; ++i) {
        touch::DeviceIdRecord reset = {0};
        if (!SelectedDeviceId(&reset.deviceId)) {
            Fail(IDS_RESET_CAL_STATE_FAILED, ERROR_DEV_NOT_EXIST);
            return Outcome::Failed;
        }
        if (!Control(device, touch::IOCTL_TOUCH_RESET_CAL_STATE, &reset, sizeof reset, nullptr, 0, nullptr)) {
            Fail(IDS_RESET_CAL_STATE_FAILED, ::GetLastError());
            return Outcome::Failed;
        }
        // Drops an Esc pressed during the glide; a close request stays.
        ::ResetEvent(dialog.CancelEvent());
        if (dialog.CloseRequested())
            return Outcome::Cancelled;

        PlaceTarget(targets[i]);
        dialog.Target().Play(0, 0xFFFF, 0xFFFFFFFFu);
        Prompt(IDS_PROMPT_TOP_LEFT + i, IDS_PROMPT_CANCEL);

        if (!dialog.StartTimeout()) {
            Fail(IDS_WAIT_FAILED, ::GetLastError());
            return Outcome::Failed;
        }
        const Outcome touched = WaitForTouch(i);
        dialog.StopTimeout();
        if (touched != Outcome::Accepted)
            return touched;

        if (i < 2) {
            dialog.Target().Stop();
            Prompt(IDS_PROMPT_MOVING, 0);
            Glide(targets[i], targets[i + 1]);
        }
    }

    if (!ApplyRecord(ComputeCalibration(points[0], points[1], points[2])))
        return Outcome::Failed;
    return Verify();
}

CalibrationWorker::Outcome CalibrationWorker::WaitForTouch(int index)
{
    for (;;) {
        const DWORD wait = ::WaitForSingleObject(dialog.CancelEvent(), kPollMilliseconds);
        if (wait == WAIT_OBJECT_0)
            return Outcome::Cancelled;  // Esc, the time-out, or a close request
        if (wait != WAIT_TIMEOUT) {
            Fail(IDS_WAIT_FAILED, 0);
            return Outcome::Failed;
        }

        touch::CalibrationStateRecord state = {0, touch::kCalStateWaiting, 0, 0};
        if (!SelectedDeviceId(&state.deviceId)) {
            Fail(IDS_GET_CAL_STATE_FAILED, ERROR_DEV_NOT_EXIST);
            return Outcome::Failed;
        }
        DWORD returned = 0;
        if (!Control(device, touch::IOCTL_TOUCH_GET_CAL_STATE, &state, sizeof state, &state, sizeof state,
                     &returned)) {
            Fail(IDS_GET_CAL_STATE_FAILED, ::GetLastError());
            return Outcome::Failed;
        }
        if (returned != sizeof state) {
            Fail(IDS_GET_CAL_STATE_FAILED, kMalformedReply);
            return Outcome::Failed;
        }
        if (state.state == touch::kCalStateReady) {
            points[index] = RawPoint{state.rawX, state.rawY};
            return Outcome::Accepted;
        }
        // Any state but "waiting" and "ready" carries no point for this target.
        if (state.state != touch::kCalStateWaiting) {
            Fail(IDS_GET_CAL_STATE_FAILED, kMalformedReply);
            return Outcome::Failed;
        }
    }
}

void CalibrationWorker::Glide(Point from, Point to)
{
    for (const Point& at : GlidePositions(from, to)) {
        PlaceTarget(at);
        ::Sleep(kGlideStepMilliseconds);
    }
}

bool CalibrationWorker::ApplyRecord(const CalibrationValues& values)
{
    touch::CalibrationRecord record = {0, values.XLow, values.YLow, values.XHigh, values.YHigh, values.SwapXY};
    if (!SelectedDeviceId(&record.deviceId)) {
        Fail(IDS_SET_SCREEN_RANGE_FAILED, ERROR_DEV_NOT_EXIST);
        return false;
    }
    // Without the record the try would show the old mapping: a refused record is a failure too.
    if (!Control(device, touch::IOCTL_TOUCH_SET_CALIBRATION, &record, sizeof record, nullptr, 0, nullptr)) {
        Fail(IDS_SET_SCREEN_RANGE_FAILED, ::GetLastError());
        return false;
    }
    const ScreenRange& range = TheApp().screenRange;
    touch::ScreenRangeRecord screen = {record.deviceId, range.XMin, range.XRange, range.YMin, range.YRange};
    if (!Control(device, touch::IOCTL_TOUCH_SET_SCREEN_RANGE, &screen, sizeof screen, nullptr, 0, nullptr)) {
        Fail(IDS_SET_SCREEN_RANGE_FAILED, ::GetLastError());
        return false;
    }
    return true;
}

CalibrationWorker::Outcome CalibrationWorker::Verify()
{
    dialog.Target().Show(SW_HIDE);
    ::SetClassLongPtrW(dialog.Handle(), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(dialog.ArrowCursor()));
    Prompt(IDS_PROMPT_CHECK, IDS_PROMPT_ACCEPT);
    if (!dialog.StartTimeout()) {
        Fail(IDS_WAIT_FAILED, ::GetLastError());
        return Outcome::Failed;
    }
    ::ResetEvent(dialog.AcceptEvent());
    ::ResetEvent(dialog.CancelEvent());
    if (dialog.CloseRequested()) {
        dialog.StopTimeout();
        return Outcome::Cancelled;
    }

    const HANDLE events[2] = {dialog.AcceptEvent(), dialog.CancelEvent()};
    const DWORD wait = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    dialog.StopTimeout();
    if (wait == WAIT_OBJECT_0)
        return Outcome::Accepted;
    if (wait == WAIT_OBJECT_0 + 1)
        return dialog.CloseRequested() ? Outcome::Cancelled : Outcome::Rejected;
    Fail(IDS_WAIT_FAILED, 0);
    return Outcome::Failed;
}

bool CalibrationWorker::Store(const CalibrationValues& values)
{
    const CalibrationApp& app = TheApp();
    HKEY key = nullptr;
    if (!app.deviceManager.OpenDeviceKey(&key)) {
        Fail(IDS_SAVE_FAILED, ::GetLastError());
        return false;
    }
    const ScreenRange& range = app.screenRange;
    LONG firstError = ERROR_SUCCESS;
    // A failed write does not stop the later ones.
    for (const StoredValue& stored : StoredCalibrationValues(values, range.XMin, range.YMin, range.XRange, range.YRange)) {
        const DWORD data = stored.value;
        const LONG written = ::RegSetValueExW(key, stored.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                              sizeof data);
        if (written != ERROR_SUCCESS && firstError == ERROR_SUCCESS)
            firstError = written;
    }
    app.deviceManager.CloseDeviceKey(key);
    if (firstError != ERROR_SUCCESS) {
        Fail(IDS_SAVE_FAILED, static_cast<DWORD>(firstError));
        return false;
    }
    return true;
}

} // namespace calibrate
