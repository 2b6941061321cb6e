#include "calibrate/CalibrationWorker.h"

#include "calibrate/CalibrationDialog.h"
#include "calibrate/StoredCalibration.h"
#include "calibrate/resource.h"
#include "device/DeviceAccess.h"
#include "device/TouchProtocol.h"
#include "framework/Handle.h"

namespace calibrate {

namespace {

constexpr DWORD kPollMilliseconds = 100;

// An unknown calibration state is reported with the code of a malformed reply.
constexpr DWORD kMalformedReply = ERROR_INVALID_DATA;

// Messages 1, 2 and 14 are shown without system text: their failures are told by the message
// alone (a refused privilege, a driver that cannot be opened, a wait that failed).
constexpr DWORD kNoSystemText = 0;

// Marks the worker as waiting for the driver while it lives, so that the window can tell a
// stalled request from a worker that is merely busy (CalibrationDialog::StalledFor).
class DriverRequest {
public:
    explicit DriverRequest(CalibrationDialog& dialog) : dialog_(dialog) { dialog_.RequestBegins(); }
    ~DriverRequest() { dialog_.RequestEnds(); }
    DriverRequest(const DriverRequest&) = delete;
    DriverRequest& operator=(const DriverRequest&) = delete;

    template <typename Call>
    static bool Run(CalibrationDialog& dialog, Call call)
    {
        const DriverRequest busy(dialog);
        return call();
    }

private:
    CalibrationDialog& dialog_;
};

} // namespace

DWORD WINAPI CalibrationWorker::ThreadProc(void* dialog)
{
    CalibrationDialog& window = *static_cast<CalibrationDialog*>(dialog);
    try {
        CalibrationWorker worker(window, window.Inputs());
        worker.Run();
    } catch (...) {
    }
    // Whatever happened, the window must learn that the worker is done, or it never closes.
    window.WorkerFinished();
    return 0;
}

CalibrationWorker::CalibrationWorker(CalibrationDialog& dialog, const CalibrationInputs& inputs)
    : dialog(dialog),
      inputs(inputs),
      savedMode(0),
      modeChanged(false),
      storedModeKnown(false),
      storedMode(0),
      targets{},
      points{},
      halfW(0),
      halfH(0),
      failureMessage(0),
      lastError(0)
{
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
    Finish();
}

void CalibrationWorker::Finish()
{
    // After a failure too, the driver gets its mode back before the message is shown, so that
    // the user can answer it with the usual touch mode (mode 3 needs double taps).
    if (modeChanged) {
        // The settings program stored another click mode meanwhile (and told the driver, which
        // took it): the driver ends in that mode, as the stored settings say, not in the old one.
        uint32_t restore = savedMode;
        uint32_t storedNow = 0;
        if (ReadStoredMode(&storedNow) && (!storedModeKnown || storedNow != storedMode))
            restore = storedNow;
        const DriverRequest busy(dialog);
        if (device.SetMode(inputs.deviceId, restore))
            modeChanged = false;
        else
            Fail(IDS_SET_MODE_FAILED, ::GetLastError());
    }
    if (failureMessage != 0) {
        dialog.Target().Stop();
        dialog.Send(WM_CALIBRATION_ERROR, failureMessage, static_cast<LPARAM>(lastError));
    }
    device.Close();
}

bool CalibrationWorker::ReadStoredMode(uint32_t* mode) const
{
    fw::RegistryKey key;
    uint32_t value = 0;
    if (!inputs.openKey || !inputs.openKey(key) || key.ReadDword(L"MouseMode", &value) != ERROR_SUCCESS || value > 3)
        return false;
    *mode = value;
    return true;
}

void CalibrationWorker::Fail(UINT messageId, DWORD error)
{
    if (failureMessage != 0)
        return;
    failureMessage = messageId;
    lastError = error;
}

bool CalibrationWorker::Start()
{
    if (!touch::EnableSystemProfilePrivilege()) {
        Fail(IDS_NO_PRIVILEGE, kNoSystemText);
        return false;
    }
    if (!device.Open()) {
        Fail(IDS_DRIVER_NOT_LOADED, kNoSystemText);
        return false;
    }
    // A reply of the wrong size leaves the mode to restore unknown: ERROR_INVALID_DATA.
    const DriverRequest busy(dialog);
    if (!device.GetMode(inputs.deviceId, &savedMode)) {
        Fail(IDS_GET_MODE_FAILED, ::GetLastError());
        return false;
    }
    if (!device.SetMode(inputs.deviceId, touch::kCalibrationMode)) {
        Fail(IDS_SET_MODE_FAILED, ::GetLastError());
        return false;
    }
    modeChanged = true;
    storedModeKnown = ReadStoredMode(&storedMode);

    const RECT control = dialog.Target().WindowRect();
    halfW = (control.right - control.left - 1) / 2;
    halfH = (control.bottom - control.top - 1) / 2;
    const Rect& area = inputs.displayRect;
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
        if (!DriverRequest::Run(dialog, [&] { return device.ResetCalibrationState(inputs.deviceId); })) {
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
            Fail(IDS_WAIT_FAILED, kNoSystemText);
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
            Fail(IDS_WAIT_FAILED, kNoSystemText);
            return Outcome::Failed;
        }

        // A reply of other than 16 bytes fails with ERROR_INVALID_DATA.
        touch::CalibrationStateRecord state = {};
        if (!DriverRequest::Run(dialog, [&] { return device.GetCalibrationState(inputs.deviceId, &state); })) {
            Fail(IDS_GET_CAL_STATE_FAILED, ::GetLastError());
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
    const touch::CalibrationRecord record = {inputs.deviceId, values.XLow, values.YLow,
                                             values.XHigh, values.YHigh, values.SwapXY};
    // Without the record the try would show the old mapping: a refused record is a failure too.
    const DriverRequest busy(dialog);
    if (!device.SetCalibration(record)) {
        Fail(IDS_SET_SCREEN_RANGE_FAILED, ::GetLastError());
        return false;
    }
    const ScreenRange& range = inputs.screenRange;
    const touch::ScreenRangeRecord screen = {inputs.deviceId, range.XMin, range.XRange, range.YMin, range.YRange};
    if (!device.SetScreenRange(screen)) {
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
        Fail(IDS_WAIT_FAILED, kNoSystemText);
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
    Fail(IDS_WAIT_FAILED, kNoSystemText);
    return Outcome::Failed;
}

bool CalibrationWorker::Store(const CalibrationValues& values)
{
    fw::RegistryKey key;
    if (!inputs.openKey || !inputs.openKey(key)) {
        Fail(IDS_SAVE_FAILED, ::GetLastError());
        return false;
    }
    const ScreenRange& range = inputs.screenRange;
    LONG firstError = ERROR_SUCCESS;
    // A failed write does not stop the later ones; the first failure's code is reported.
    for (const StoredValue& stored : StoredCalibrationValues(values, range.XMin, range.YMin, range.XRange, range.YRange)) {
        const LONG written = key.WriteDword(stored.name, stored.value);
        if (written != ERROR_SUCCESS && firstError == ERROR_SUCCESS)
            firstError = written;
    }
    if (firstError != ERROR_SUCCESS) {
        Fail(IDS_SAVE_FAILED, static_cast<DWORD>(firstError));
        return false;
    }
    return true;
}

} // namespace calibrate
