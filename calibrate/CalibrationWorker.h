// The calibration procedure, run on its own thread while the calibration window is open: mode 3,
// three targets polled through the driver, the record computed and tried on the live cursor,
// accepted (stored in the controller's key) or repeated, the earlier touch mode restored. It
// reaches the window only through SendMessageW, the window's controls, its timer and, at its
// very end, CalibrationDialog::WorkerFinished (which posts WM_CLOSE).
#pragma once

#include "calibrate/CalibrationInputs.h"
#include "calibrate/CalibrationMath.h"
#include "calibrate/Geometry.h"
#include "device/ControlDevice.h"

#include <windows.h>

#include <array>

namespace calibrate {

class CalibrationDialog;

class CalibrationWorker {
public:
    // The thread procedure; `dialog` is the CalibrationDialog that started it, whose inputs the
    // worker takes. Returns 0.
    static DWORD WINAPI ThreadProc(void* dialog);

private:
    // Where a step leaves the procedure.
    enum class Outcome { Accepted, Cancelled, Rejected, Failed };

    CalibrationWorker(CalibrationDialog& dialog, const CalibrationInputs& inputs);
    CalibrationWorker(const CalibrationWorker&) = delete;
    CalibrationWorker& operator=(const CalibrationWorker&) = delete;

    void Run();
    bool Start();
    Outcome Pass();
    Outcome WaitForTouch(int index);
    void Glide(Point from, Point to);
    bool ApplyRecord(const CalibrationValues& values);
    Outcome Verify();
    bool Store(const CalibrationValues& values);
    void Finish();
    // The click mode the settings program stored for the controller (value "MouseMode", 0 to 3).
    bool ReadStoredMode(uint32_t* mode) const;

    void PlaceTarget(Point at);
    void Prompt(UINT upperId, UINT lowerId);
    // Records the failure; it is shown once the driver has its mode back. The first failure
    // stands: a later one (the restore of the mode) does not replace its message or its code.
    void Fail(UINT messageId, DWORD error);

    CalibrationDialog& dialog_;
    const CalibrationInputs& inputs_;
    touch::ControlDevice device_;
    uint32_t savedMode_;
    bool modeChanged_;           // mode 3 is set and the saved mode not yet restored
    bool storedModeKnown_;       // the stored click mode at the start, if it could be read
    uint32_t storedMode_;
    std::array<Point, kTargetCount> targets_;
    std::array<RawPoint, kTargetCount> points_;
    UINT failureMessage_;        // 0 while nothing failed
    DWORD lastError_;
};

} // namespace calibrate
