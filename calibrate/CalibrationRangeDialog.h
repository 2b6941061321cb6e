// The custom calibration range: two corners in virtual-screen pixels, typed or set by dragging
// a target out of one of two icons to the corner's place on the screen. DisplaySelectDialog's
// RunCustomRange runs it and checks the result.
#pragma once

#include "calibrate/DragIcon.h"
#include "calibrate/Geometry.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Handle.h"

#include <windows.h>

namespace calibrate {

// Inverts `rect` (virtual-screen pixels) on the whole desktop: the border drawn with `pen`'s
// width and the interior. Doing it twice with the same pen and rectangle restores the screen.
bool InvertRange(HPEN pen, const Rect& rect);

class CalibrationRangeDialog : public fw::Dialog {
public:
    explicit CalibrationRangeDialog(HWND parent);
    ~CalibrationRangeDialog() override;

    // The chosen area in virtual-screen pixels; kept between showings. After OK it holds what
    // the four boxes held.
    Rect range{};

    bool PreTranslateMessage(MSG& msg) override;
    const fw::MessageMap& Messages() const override;

protected:
    // Edit boxes <-> range, in the order bottom, left, right, top.
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;

private:
    LRESULT OnMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnDragStarted(NMHDR& header);
    LRESULT OnDragMoved(NMHDR& header);
    LRESULT OnDragEnded(NMHDR& header);
    void OnShowRange(UINT id, UINT code, HWND control);

    // Takes back the rectangle inverted during a drag, if one is on the screen.
    void RestoreDragged();

    DragIcon bottomRightIcon_;
    DragIcon topLeftIcon_;
    bool initialized_ = false;
    Rect lastDrawn_{};
    bool lastDrawnShown_ = false;  // lastDrawn_ is inverted on the screen now
    fw::GdiObject<HPEN> thinPen_;
    fw::GdiObject<HPEN> thickPen_;
};

} // namespace calibrate
