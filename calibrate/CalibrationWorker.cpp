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
    {
        CalibrationWorker worker(window, window.Inputs());
        worker.Run();
    }
    // However the run ended, the window must learn that the worker is done, or it never closes.
    window.WorkerFinished();
    return 0;
}

CalibrationWorker::CalibrationWorker(CalibrationDialog& dialog, const CalibrationInputs& inputs)
    : dialog_(dialog),
      inputs_(inputs),
      savedMode_(0),
      modeChanged_(false),
      storedModeKnown_(false),
      storedMode_(0),
      targets_{},
      points_{},
      failureMessage_(0),
      lastError_(0)
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
                values = ComputeCalibration(points_[0], points_[1], points_[2]);
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
    if (modeChanged_) {
        // The settings program stored another click mode meanwhile (and told the driver, which
        // took it): the driver ends in that mode, as the stored settings say, not in the old one.
        uint32_t restore = savedMode_;
        uint32_t storedNow = 0;
        if (ReadStoredMode(&storedNow) && (!storedModeKnown_ || storedNow != storedMode_))
            restore = storedNow;
        const DriverRequest busy(dialog_);
        if (device_.SetMode(inputs_.deviceId, restore))
            modeChanged_ = false;
        else
            Fail(IDS_SET_MODE_FAILED, ::GetLastError());
    }
    if (failureMessage_ != 0) {
        dialog_.Target().Send(ACM_STOP);
        dialog_.Send(WM_CALIBRATION_ERROR, failureMessage_, static_cast<LPARAM>(lastError_));
    }
    device_.Close();
}

bool CalibrationWorker::ReadStoredMode(uint32_t* mode) const
{
    fw::RegistryKey key;
    uint32_t value = 0;
    if (!inputs_.openKey || !inputs_.openKey(key) || fw::ReadDword(key.Get(), L"MouseMode", &value) != ERROR_SUCCESS ||
        value > 3)
        return false;
    *mode = value;
    return true;
}

void CalibrationWorker::Fail(UINT messageId, DWORD error)
{
    if (failureMessage_ != 0)
        return;
    failureMessage_ = messageId;
    lastError_ = error;
}

bool CalibrationWorker::Start()
{
    if (!touch::EnableSystemProfilePrivilege()) {
        Fail(IDS_NO_PRIVILEGE, kNoSystemText);
        return false;
    }
    if (!device_.Open()) {
        Fail(IDS_DRIVER_NOT_LOADED, kNoSystemText);
        return false;
    }
    // A reply of the wrong size leaves the mode to restore unknown: ERROR_INVALID_DATA.
    const DriverRequest busy(dialog_);
    if (!device_.GetMode(inputs_.deviceId, &savedMode_)) {
        Fail(IDS_GET_MODE_FAILED, ::GetLastError());
        return false;
    }
    if (!device_.SetMode(inputs_.deviceId, touch::kCalibrationMode)) {
        Fail(IDS_SET_MODE_FAILED, ::GetLastError());
        return false;
    }
    modeChanged_ = true;
    storedModeKnown_ = ReadStoredMode(&storedMode_);

    const Rect& area = inputs_.displayRect;
    targets_ = ComputeTargets(static_cast<int32_t>(WidthOf(area)), static_cast<int32_t>(HeightOf(area)));
    return true;
}

void CalibrationWorker::PlaceTarget(Point at)
{
    const RECT control = dialog_.Target().WindowRect();
    const int width = control.right - control.left;
    const int height = control.bottom - control.top;
    const Point origin = TargetOrigin(at, width, height);
    ::MoveWindow(dialog_.Target().Handle(), origin.x, origin.y, width, height, TRUE);
}

void CalibrationWorker::Prompt(UINT upperId, UINT lowerId)
{
    dialog_.Send(WM_CALIBRATION_PROMPT, upperId, static_cast<LPARAM>(lowerId));
}

CalibrationWorker::Outcome CalibrationWorker::Pass()
{
    dialog_.Target().Show(SW_SHOW);
    ::SetClassLongPtrW(dialog_.Handle(), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(dialog_.BlankCursor()));

    for (int i = 0; i < kTargetCount; ++i) {
        if (!DriverRequest::Run(dialog_, [&] { return device_.ResetCalibrationState(inputs_.deviceId); })) {
            Fail(IDS_RESET_CAL_STATE_FAILED, ::GetLastError());
            return Outcome::Failed;
        }
        // Drops an Esc pressed during the glide; a close request stays.
        ::ResetEvent(dialog_.CancelEvent());
        if (dialog_.CloseRequested())
            return Outcome::Cancelled;

        PlaceTarget(targets_[i]);
        // From the first frame to the last, repeated until stopped.
        dialog_.Target().Send(ACM_PLAY, 0xFFFFFFFFu, MAKELPARAM(0, 0xFFFF));
        Prompt(kTargets[i].promptId, IDS_PROMPT_CANCEL);

        if (!dialog_.StartTimeout()) {
            Fail(IDS_WAIT_FAILED, kNoSystemText);
            return Outcome::Failed;
        }
        const Outcome touched = WaitForTouch(i);
        dialog_.StopTimeout();
        if (touched != Outcome::Accepted)
            return touched;

        if (i + 1 < kTargetCount) {
            dialog_.Target().Send(ACM_STOP);
            Prompt(IDS_PROMPT_MOVING, 0);
            Glide(targets_[i], targets_[i + 1]);
        }
    }

    if (!ApplyRecord(ComputeCalibration(points_[0], points_[1], points_[2])))
        return Outcome::Failed;
    return Verify();
}

CalibrationWorker::Outcome CalibrationWorker::WaitForTouch(int index)
{
    for (;;) {
        const DWORD wait = ::WaitForSingleObject(dialog_.CancelEvent(), kPollMilliseconds);
        if (wait == WAIT_OBJECT_0)
            return Outcome::Cancelled;  // Esc, the time-out, or a close request
        if (wait != WAIT_TIMEOUT) {
            Fail(IDS_WAIT_FAILED, kNoSystemText);
            return Outcome::Failed;
        }

        // A reply of other than 16 bytes fails with ERROR_INVALID_DATA.
        touch::CalibrationStateRecord state = {};
        if (!DriverRequest::Run(dialog_, [&] { return device_.GetCalibrationState(inputs_.deviceId, &state); })) {
            Fail(IDS_GET_CAL_STATE_FAILED, ::GetLastError());
            return Outcome::Failed;
        }
        if (state.state == touch::kCalStateReady) {
            points_[index] = RawPoint{state.rawX, state.rawY};
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
    const touch::CalibrationRecord record = {inputs_.deviceId, values.XLow, values.YLow,
                                             values.XHigh, values.YHigh, values.SwapXY};
    // Without the record the try would show the old mapping: a refused record is a failure too.
    const DriverRequest busy(dialog_);
    if (!device_.SetCalibration(record)) {
        Fail(IDS_SET_SCREEN_RANGE_FAILED, ::GetLastError());
        return false;
    }
    const ScreenRange& range = inputs_.screenRange;
    const touch::ScreenRangeRecord screen = {inputs_.deviceId, range.XMin, range.XRange, range.YMin, range.YRange};
    if (!device_.SetScreenRange(screen)) {
        Fail(IDS_SET_SCREEN_RANGE_FAILED, ::GetLastError());
        return false;
    }
    return true;
}

CalibrationWorker::Outcome CalibrationWorker::Verify()
{
    dialog_.Target().Show(SW_HIDE);
    ::SetClassLongPtrW(dialog_.Handle(), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(dialog_.ArrowCursor()));
    Prompt(IDS_PROMPT_CHECK, IDS_PROMPT_ACCEPT);
    if (!dialog_.StartTimeout()) {
        Fail(IDS_WAIT_FAILED, kNoSystemText);
        return Outcome::Failed;
    }
    ::ResetEvent(dialog_.AcceptEvent());
    ::ResetEvent(dialog_.CancelEvent());
    if (dialog_.CloseRequested()) {
        dialog_.StopTimeout();
        return Outcome::Cancelled;
    }

    const HANDLE events[2] = {dialog_.AcceptEvent(), dialog_.CancelEvent()};
    const DWORD wait = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    dialog_.StopTimeout();
    if (wait == WAIT_OBJECT_0)
        return Outcome::Accepted;
    if (wait == WAIT_OBJECT_0 + 1)
        return dialog_.CloseRequested() ? Outcome::Cancelled : Outcome::Rejected;
    Fail(IDS_WAIT_FAILED, kNoSystemText);
    return Outcome::Failed;
}

bool CalibrationWorker::Store(const CalibrationValues& values)
{
    fw::RegistryKey key;
    if (!inputs_.openKey || !inputs_.openKey(key)) {
        Fail(IDS_SAVE_FAILED, ::GetLastError());
        return false;
    }
    const ScreenRange& range = inputs_.screenRange;
    LONG firstError = ERROR_SUCCESS;
    // A failed write does not stop the later ones; the first failure's code is reported.
    for (const StoredValue& stored : StoredCalibrationValues(values, range.XMin, range.YMin, range.XRange, range.YRange)) {
        const LONG written = fw::WriteDword(key.Get(), stored.name, stored.value);
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
