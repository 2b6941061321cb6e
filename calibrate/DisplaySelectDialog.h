// Choice of the area to calibrate: one display of the desktop, picked from a scaled picture of
// it, or a custom rectangle (RunCustomRange, see CalibrationRangeDialog.h).
//
//   DisplaySelectDialog dialog(nullptr);
//   dialog.askCustomRange = pt;                 // the "pt" switch
//   if (!dialog.EnumerateDisplays()) ...        // string 21
//   if (dialog.RunModal() == IDOK) use dialog.chosenRect, dialog.chosenRange;
//
// With one display the dialog ends during its initialisation and is never seen.
#pragma once

#include "calibrate/Geometry.h"
#include "calibrate/MonitorButton.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace calibrate {

struct DisplayEntry {
    Rect monitorRect{};   // virtual-screen pixels
    Rect normalRect{};    // monitorRect in normalised units
    Rect previewRect{};   // the button, in dialog client coordinates
    int32_t width = 0;    // current display mode
    int32_t height = 0;
    std::wstring deviceName;   // the adapter output that drives the display
    std::wstring description;  // adapter text + " -> " + monitor text
    MonitorButton button;
};

class DisplaySelectDialog : public fw::Dialog {
public:
    explicit DisplaySelectDialog(HWND parent);
    ~DisplaySelectDialog() override;

    // Measures the desktop and fills one described entry per display. False when any display
    // cannot be described, or when the enumeration does not report exactly the number of
    // displays counted (the desktop changed while it was measured).
    bool EnumerateDisplays();

    // The custom range dialog; true when a large enough range was confirmed and stored in
    // chosenRect / chosenRange, false (results untouched) when the user cancelled.
    bool RunCustomRange();

    bool PreTranslateMessage(MSG& msg) override;
    const fw::MessageMap& Messages() const override;

    // Read-only views for the program and its tests.
    uint32_t DisplayCount() const { return displayCount_; }
    const DisplayEntry* Display(uint32_t index) const;
    int32_t SelectedIndex() const { return selected_; }
    const Rect& VirtualScreen() const { return virtualScreen_; }
    const Rect& NormalScreen() const { return normalScreen_; }

    Rect chosenRect{};
    Rect chosenRange{};
    bool askCustomRange = false;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;

    // SM_CMONITORS; a seam for tests that need the count and the enumeration to disagree.
    virtual int CountMonitors() const;

private:
    static BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context);
    bool AddMonitor(HMONITOR monitor);
    static bool Describe(DisplayEntry& entry);
    bool LayOutPreview();

    void OnSelectDisplay(UINT id, UINT code, HWND control);
    void OnIdentify(UINT id, UINT code, HWND control);
    void OnCustom(UINT id, UINT code, HWND control);

    fw::Control resolutionText_;
    fw::Control nameText_;
    std::unique_ptr<DisplayEntry[]> displays_;
    uint32_t displayCount_ = 0;
    int32_t selected_ = -1;
    bool rangeDialogOpen_ = false;
    uint32_t filled_ = 0;
    bool tooManyMonitors_ = false;   // the enumeration reported more than were counted
    bool enumerationFailed_ = false;
    Rect virtualScreen_{};
    Rect normalScreen_{};
};

} // namespace calibrate
