// The calibration window: covers the chosen area topmost, shows the target and the prompts the
// worker asks for, and turns Esc, Enter, double clicks and the time-out timer into the two
// events that drive the worker (CalibrationWorker.h). It starts the worker when it is
// initialised and closes when the worker posts WM_CLOSE at its end.
//
//   calibrate::CalibrationDialog dialog(inputs, nullptr);
//   dialog.RunModal();
#pragma once

#include "calibrate/CalibrationInputs.h"
#include "device/DeviceAccess.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Handle.h"

#include <windows.h>

#include <atomic>

namespace calibrate {

// Sent by the worker; both return 0 once the window has handled them.
// wParam: string id of the failure message; lParam: Windows error code, 0 for none.
constexpr UINT WM_CALIBRATION_ERROR = WM_USER + 1;
// wParam: string id of the upper prompt; lParam: of the lower prompt; 0 hides that prompt.
constexpr UINT WM_CALIBRATION_PROMPT = WM_USER + 2;

constexpr UINT_PTR kTimeoutTimer = 1;
constexpr UINT kTimeoutMilliseconds = 30000;
// After Esc, the time-out or a close, a worker that has waited this long for one driver request
// is taken as stalled: the window goes without it.
constexpr UINT_PTR kStallCheckTimer = 2;
constexpr UINT kStallCheckMilliseconds = 250;
constexpr DWORD kStalledRequestMilliseconds = 1000;
// How long the window's end waits for the worker before it is left to the end of the process.
constexpr DWORD kWorkerJoinMilliseconds = 5000;

class CalibrationDialog : public fw::Dialog {
public:
    // The window keeps its own copy of `inputs` for itself and the worker.
    explicit CalibrationDialog(const CalibrationInputs& inputs, HWND parent = nullptr);
    ~CalibrationDialog() override;

    // Ends the worker (asking it to finish if it still runs, handling what it sends meanwhile),
    // then releases the events, the timer, the error text and the brush, then the window.
    bool DestroyWindow() override;
    const fw::MessageMap& Messages() const override;
    bool PreTranslateMessage(MSG& msg) override;

    // What the worker uses, from its own thread. The events are auto-reset; the window sets them.
    const CalibrationInputs& Inputs() const { return inputs_; }
    HANDLE CancelEvent() const { return cancelEvent_.Get(); }
    HANDLE AcceptEvent() const { return acceptEvent_.Get(); }
    const fw::Control& Target() const { return target_; }
    HCURSOR BlankCursor() const { return blankCursor_; }
    HCURSOR ArrowCursor() const { return arrowCursor_; }
    // Starts timer 1 with the 30-second time-out and keeps its id in timerId_; false if the
    // timer could not be started (error in GetLastError).
    bool StartTimeout();
    void StopTimeout();
    // True once the window has been asked to close by anyone but the worker; the worker then
    // ends the calibration as if cancelled (cancelEvent_ is set as well).
    bool CloseRequested() const { return closeRequested_.load(); }
    // The worker's last act: from now on a close ends the window.
    void WorkerFinished();
    // Around each driver request of the worker.
    void RequestBegins();
    void RequestEnds();
    // Waits (handling what the worker sends meanwhile) up to `milliseconds` for the worker to
    // end; true when it has ended or never ran. Called before what the worker uses goes.
    bool JoinWorker(DWORD milliseconds);
    // The worker was still in a stalled driver request when the window had to go: the process
    // must end without releasing what the worker may still touch.
    bool WorkerAbandoned() const { return workerAbandoned_; }

    // The id of the time-out timer now running, 0 for none.
    UINT_PTR TimerId() const { return timerId_.load(); }

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void OnOK() override;
    void OnCancel() override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT type) override;

private:
    LRESULT OnTimer(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnDoubleClick(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnCalibrationError(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnCalibrationPrompt(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    bool StartWorker();
    void EndWorker();
    // A cancel or close the worker has not answered yet: watch for a stalled request.
    void WatchForStall();
    void ReleaseResources();
    // Width and height of `text` drawn with `control`'s font, measured on the window's DC.
    SIZE MeasureText(const fw::Control& control, const std::wstring& text) const;
    // Loads and measures prompt `id` and shows `control`; id 0 hides it and measures nothing.
    Size PreparePrompt(const fw::Control& control, UINT id, std::wstring* text) const;

    const CalibrationInputs inputs_;
    fw::Control lowerPrompt_;
    fw::Control upperPrompt_;
    fw::Control target_;
    touch::ErrorTextHolder errorText_;
    fw::KernelHandle cancelEvent_;
    fw::KernelHandle acceptEvent_;
    std::atomic<UINT_PTR> timerId_;
    HCURSOR arrowCursor_;
    HCURSOR blankCursor_;
    COLORREF backgroundColour_;
    fw::GdiObject<HBRUSH> backgroundBrush_;

    fw::KernelHandle workerThread_;       // closed once the worker has ended
    std::atomic<bool> closeRequested_;
    std::atomic<bool> workerFinished_;
    std::atomic<DWORD> requestSince_;     // tick count (odd) when the worker's request began, 0 for none
    std::atomic<bool> cancelPending_;     // a cancel or close the worker has not answered yet
    bool stallWatch_ = false;             // window thread only
    bool workerAbandoned_ = false;        // window thread only
};

} // namespace calibrate
